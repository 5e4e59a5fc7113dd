#include "framework/window/window_resizer.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "framework/data/assertion.h"
#include "framework/data/error_table.h"
#include "runtime/window/events.h"
#include "runtime/window/properties.h"

namespace zuna::framework {
namespace {

namespace PROP = window::PROP;
namespace ControlType = window::ControlType;
using window::EVENT;

constexpr std::string_view kNotInited = "Resizer used before Init.";
constexpr std::string_view kRowMissing = "Control not in the resize queue.";
constexpr std::string_view kTabGiven = "A tab has no place of its own to resize.";

// Control types the tables group together.
bool IsOneOf(int32_t type, std::initializer_list<int32_t> types) {
  return std::find(types.begin(), types.end(), type) != types.end();
}
bool IsButtonLike(int32_t t) { return IsOneOf(t, {9, 12, 21}); }
bool IsLarge(int32_t t) { return IsOneOf(t, {3, 4, 11, 13, 14, 37, 39}); }

// Types that never take part: menus, items, the menu bar, toolbar-only
// kinds, and tabs, which share their sheet's rectangle.
bool IsSkippedType(int32_t t) { return IsOneOf(t, {19, 20, 22, 24, 25, 38}); }

// The arithmetic is done in fractions; storing into a LONG truncates, as the
// program's LONG assignment does, and saturates rather than overflow.
int32_t StoreLong(double value) {
  double t = std::trunc(value);
  if (t >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  if (t <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(t);
}

// A window or control that was zero wide at the start has no scale to keep:
// its ratio is 1 (it would otherwise divide by zero).
double Ratio(int32_t present, int32_t initial) {
  return initial == 0 ? 1.0 : static_cast<double>(present) / initial;
}

// One axis of SetPosition's position rules.  `rule` is the horizontal code
// (the vertical one shifted down by 8).
struct Axis {
  double parent_pos;   // P.XPos
  double parent_size;  // P.Width
  double orig_size;    // O.Width
  double orig_pos;     // O.XPos
  double own_pos;      // C.XPos
  double offset;       // dx
  double ratio;        // rx
  bool locked;         // resize flag 1 (2 vertically)
};

double PlaceOnAxis(uint16_t rule, const Axis& a) {
  double scale = a.locked ? 1.0 : a.ratio;
  switch (rule) {
    case PositionStrategy::FixLeft:
      return a.own_pos;
    case PositionStrategy::FixRight:
      return a.parent_pos + a.parent_size - (a.orig_size - a.offset) * scale;
    case PositionStrategy::FixNearestLeft:
      return a.parent_pos + a.offset;
    case PositionStrategy::FixCentre:
      return a.parent_pos + a.parent_size / 2 - (a.orig_size / 2 - a.offset) * scale;
    case PositionStrategy::MoveHalfX:
      return a.own_pos + (a.parent_size - a.orig_size) / 2 + (a.parent_pos - a.orig_pos);
    default:  // 0, and codes no rule names: proportional
      return a.parent_pos + a.offset * a.ratio;
  }
}

}  // namespace

bool WindowResizeClass::Ready() {
  return Assert(window_ != nullptr, kNotInited);
}

ResizeControl* WindowResizeClass::Row(int32_t Control) {
  for (ResizeControl& row : ControlQueue) {
    if (row.ID == Control) return &row;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Virtual.

int32_t WindowResizeClass::GetParentControl(int32_t Control) {
  ResizeControl* row = Row(Control);
  if (!Assert(row != nullptr, kRowMissing)) return 0;
  return row->ParentID;
}

void WindowResizeClass::Reset() {
  if (!Ready()) return;
  GetSizeInfo(0, OrigWin.Pos);
  OrigWin.Maximized = window_->PropLong(0, PROP::Maximize) != 0 ? 1 : 0;
  OrigWin.Iconized = window_->PropLong(0, PROP::Iconize) != 0 ? 1 : 0;
  PreviousWin = OrigWin.Pos;
  // NextField numbers rise; a control seen again would mean a loop.
  int32_t last = 0;
  for (int32_t number = window_->PropLong(0, PROP::NextField); number > last;
       number = window_->PropLong(number, PROP::NextField)) {
    last = number;
    if (ResizeControl* row = Row(number)) {
      GetSizeInfo(number, row->Pos);
      continue;
    }
    int32_t type = window_->PropLong(number, PROP::Type);
    if (window_->PropLong(number, PROP::InToolBar) != 0) continue;
    if (type < ControlType::kFirst || type > ControlType::kLast) continue;
    if (IsSkippedType(type)) continue;
    AddControl(number, type);
  }
  ResizeCalled = 0;
}

void WindowResizeClass::AddControl(int32_t number, int32_t type) {
  int32_t table_type = type;
  if (type == ControlType::List && window_->PropLong(number, PROP::Drop) != 0) {
    table_type = ControlType::Entry;  // a drop list sizes like an entry
  }
  ResizeControl row;
  row.ID = number;
  row.Type = type;
  row.PositionalStrategy = GetPositionStrategy(static_cast<int16_t>(table_type), 0, 1);
  row.ResizeStrategy = GetResizeStrategy(static_cast<int16_t>(table_type), 0, 1);
  GetSizeInfo(number, row.Pos);
  ControlQueue.push_back(row);
}

void WindowResizeClass::Resize() { Resize(0); }

void WindowResizeClass::Resize(int32_t Control) {
  if (!Ready()) return;
  ResizeList.clear();
  PositionGroup now;
  GetSizeInfo(0, now);
  // A closed or iconised window has nothing to lay out; squeezing every
  // control into an empty client area would only be undone on restore.
  if (!window_->IsOpen() || window_->PropLong(0, PROP::Iconize) != 0 || now.Width <= 0 ||
      now.Height <= 0) {
    return;
  }
  if (Control == 0 && now.Width == PreviousWin.Width && now.Height == PreviousWin.Height) {
    return;
  }
  int32_t outer_defer = 0;
  if (DeferMoves) {
    outer_defer = window_->PropLong(0, PROP::DeferMove);
    window_->SetProp(0, PROP::DeferMove, static_cast<int32_t>(ControlQueue.size()));
  }
  if (now.Width == OrigWin.Pos.Width && now.Height == OrigWin.Pos.Height) {
    RestoreControls();
  } else {
    PositionGroup initial{0, 0, OrigWin.Pos.Width, OrigWin.Pos.Height};
    PositionGroup current{0, 0, now.Width, now.Height};
    if (Control != 0) {
      GetOrigPos(Control, initial);
      GetCurrentPos(Control, current);
    }
    ResizeChildren(Control, initial, current);
    if (!DeferMoves) {
      // Growing, the farthest controls move first; shrinking, the nearest:
      // no control is ever moved onto one that has not moved yet.
      SetPriorities();
      bool grew = PreviousWin.Width / 2 + PreviousWin.Height / 2 <= now.Width / 2 + now.Height / 2;
      std::stable_sort(ResizeList.begin(), ResizeList.end(),
                       [grew](const ResizeMove& a, const ResizeMove& b) {
                         return grew ? a.Priority > b.Priority : a.Priority < b.Priority;
                       });
    }
    for (const ResizeMove& move : ResizeList) {
      if (move.After != move.Before) SetSize(move.ControlID, move.After);
    }
  }
  if (DeferMoves) {
    window_->SetProp(0, PROP::DeferMove, outer_defer < 0 ? outer_defer : 0);
  }
  ResizeCalled = 1;
  PreviousWin = now;
}

void WindowResizeClass::RestoreWindow() {
  if (!Ready()) return;
  window_->SetProp(0, PROP::Maximize, OrigWin.Maximized);
  window_->SetProp(0, PROP::Iconize, OrigWin.Iconized);
  window_->SetProp(0, PROP::Width, OrigWin.Pos.Width);
  window_->SetProp(0, PROP::Height, OrigWin.Pos.Height);
  RestoreControls();
}

void WindowResizeClass::SetParentDefaults() {
  for (size_t i = 0; i < ControlQueue.size(); ++i) SetParentDefault(ControlQueue[i].ID);
}

void WindowResizeClass::SetParentDefault(int32_t Control) {
  if (!Ready()) return;
  ResizeControl* row = Row(Control);
  if (!Assert(row != nullptr, kRowMissing)) return;
  if (!Assert(row->Type != ControlType::Tab, kTabGiven)) return;
  int32_t parent = 0;
  int32_t container = window_->PropLong(Control, PROP::Parent);
  if (container != 0) {
    // Up the containers to the first one that is resized itself; a tab is
    // not (it shares its sheet's rectangle), so a control on a sheet's page
    // follows the sheet.
    for (size_t steps = 0; container > 0 && steps <= ControlQueue.size() + 1; ++steps) {
      if (container != Control && Row(container) != nullptr) {
        parent = container;
        break;
      }
      container = window_->PropLong(container, PROP::Parent);
    }
  } else {
    // The smallest control that encloses this one.  Strictly larger, so two
    // controls on the same rectangle never become each other's parent.
    const PositionGroup& c = row->Pos;
    int64_t own_area = int64_t{c.Width} * c.Height;
    int64_t best_area = 0;
    for (const ResizeControl& other : ControlQueue) {
      if (other.ID == Control) continue;
      const PositionGroup& o = other.Pos;
      bool encloses = o.XPos <= c.XPos && o.YPos <= c.YPos &&
                      int64_t{o.XPos} + o.Width >= int64_t{c.XPos} + c.Width &&
                      int64_t{o.YPos} + o.Height >= int64_t{c.YPos} + c.Height;
      int64_t area = int64_t{o.Width} * o.Height;
      if (!encloses || area <= own_area) continue;
      if (parent == 0 || area < best_area) {
        parent = other.ID;
        best_area = area;
      }
    }
  }
  if (parent == 0) {
    row->ParentID = 0;
  } else {
    SetParentControl(Control, parent);
  }
}

PositionGroup WindowResizeClass::SetPosition(int32_t Control, const PositionGroup& P,
                                             const PositionGroup& O,
                                             const PositionGroup& C) {
  ResizeControl* row = Row(Control);
  if (!Assert(row != nullptr, kRowMissing)) return C;
  const uint16_t resize = row->ResizeStrategy;
  double rx = Ratio(P.Width, O.Width);
  double ry = Ratio(P.Height, O.Height);
  double dx = static_cast<double>(C.XPos) - O.XPos;
  double dy = static_cast<double>(C.YPos) - O.YPos;

  PositionGroup N = C;
  if (!(resize & (ResizeStrategy::ConstantRight | ResizeStrategy::HalfRight))) {
    N.Width = (resize & ResizeStrategy::LockWidth) ? C.Width : StoreLong(C.Width * rx);
  }
  if (!(resize & (ResizeStrategy::ConstantBottom | ResizeStrategy::HalfBottom))) {
    N.Height = (resize & ResizeStrategy::LockHeight) ? C.Height : StoreLong(C.Height * ry);
  }

  uint16_t across = row->PositionalStrategy & 0xFF;
  uint16_t down = static_cast<uint16_t>(row->PositionalStrategy >> 8);
  if (across == PositionStrategy::FixNearestX) {
    across = dx < O.Width - dx - C.Width ? PositionStrategy::FixNearestLeft
                                         : PositionStrategy::FixRight;
  }
  if (down == (PositionStrategy::FixNearestY >> 8)) {
    down = dy < O.Height - dy - C.Height ? PositionStrategy::FixNearestLeft
                                         : PositionStrategy::FixRight;
  }
  N.XPos = StoreLong(PlaceOnAxis(across, Axis{double(P.XPos), double(P.Width), double(O.Width),
                                              double(O.XPos), double(C.XPos), dx, rx,
                                              (resize & ResizeStrategy::LockWidth) != 0}));
  N.YPos = StoreLong(PlaceOnAxis(down, Axis{double(P.YPos), double(P.Height), double(O.Height),
                                            double(O.YPos), double(C.YPos), dy, ry,
                                            (resize & ResizeStrategy::LockHeight) != 0}));

  if (resize & ResizeStrategy::ConstantRight) {
    N.Width = StoreLong(double(P.XPos) + P.Width - (O.Width - dx - C.Width) - N.XPos);
  } else if (resize & ResizeStrategy::HalfRight) {
    N.Width = StoreLong((double(P.XPos) + P.Width + dx - O.Width - N.XPos) / 2 + C.Width);
  }
  if (resize & ResizeStrategy::ConstantBottom) {
    N.Height = StoreLong(double(P.YPos) + P.Height - (O.Height - dy - C.Height) - N.YPos);
  } else if (resize & ResizeStrategy::HalfBottom) {
    N.Height = StoreLong((double(P.YPos) + P.Height + dy - O.Height - N.YPos) / 2 + C.Height);
  }
  // A margin kept in a parent grown smaller than the margin leaves no room:
  // the control shrinks to nothing rather than to a negative size.
  N.Width = std::max(N.Width, 0);
  N.Height = std::max(N.Height, 0);
  return N;
}

// ---------------------------------------------------------------------------
// Non-virtual.

void WindowResizeClass::Init(uint8_t app_strategy, uint8_t SetWindowMinSize,
                             uint8_t SetWindowMaxSize) {
  Kill();
  window_ = window::TARGET();
  if (!Assert(window_ != nullptr, kNotInited)) return;
  AppStrategy = app_strategy;
  for (int32_t event : {kResizeEvent, EVENT::Restored, EVENT::GainFocus, EVENT::Maximized}) {
    handler_ids_.push_back(window_->Register(event, [this] { TakeResize(); }));
  }
  window_->SetProp(0, PROP::Imm, 1);
  Reset();
  if (AppStrategy == 2 || AppStrategy == 4) SetParentDefaults();
  if (SetWindowMinSize) {
    window_->SetProp(0, PROP::MinWidth, OrigWin.Pos.Width);
    window_->SetProp(0, PROP::MinHeight, OrigWin.Pos.Height);
  }
  if (SetWindowMaxSize) {
    window_->SetProp(0, PROP::MaxWidth, OrigWin.Pos.Width);
    window_->SetProp(0, PROP::MaxHeight, OrigWin.Pos.Height);
  }
  DeferMoves = 1;
}

void WindowResizeClass::Kill() {
  if (window_ != nullptr) {
    for (int32_t id : handler_ids_) window_->Unregister(id);
  }
  handler_ids_.clear();
  ControlQueue.clear();
  ControlQueue.shrink_to_fit();
  ResizeList.clear();
  ResizeList.shrink_to_fit();
  window_ = nullptr;
}

bool WindowResizeClass::GetOrigPos(int32_t Control, PositionGroup& pos) {
  ResizeControl* row = Row(Control);
  if (!Assert(row != nullptr, kRowMissing)) return false;
  pos = row->Pos;
  return true;
}

void WindowResizeClass::GetCurrentPos(int32_t Control, PositionGroup& pos) {
  GetSizeInfo(Control, pos);
}

uint16_t WindowResizeClass::GetPositionStrategy(int16_t type, uint8_t strategy,
                                                uint8_t use_own) const {
  switch (use_own ? AppStrategy : strategy) {
    case 1:
      return IsButtonLike(type) ? 4112 : 0;
    case 2:
      if (IsButtonLike(type)) return 4112;
      if (IsOneOf(type, {1, 2, 8, 10, 15, 16, 34})) return 1024;
      if (IsLarge(type)) return 1028;
      return 0;
    case 4:
      if (IsButtonLike(type)) return 4112;
      if (IsOneOf(type, {1, 2, 8, 10, 15, 16, 34}) || IsLarge(type) || type == 17) return 1028;
      return 0;
    case 5:
      return 2056;
    default:  // 3, and a strategy nobody defined: leave everything where it is
      return 257;
  }
}

uint16_t WindowResizeClass::GetResizeStrategy(int16_t type, uint8_t strategy,
                                              uint8_t use_own) const {
  switch (use_own ? AppStrategy : strategy) {
    case 1:
      if (IsButtonLike(type)) return 3;
      if (IsOneOf(type, {8, 15, 16, 34})) return 2;
      return 0;
    case 2:
      if (IsButtonLike(type)) return 3;
      if (IsOneOf(type, {8, 15, 16, 34, 1, 2, 10})) return 2;
      if (IsLarge(type)) return 12;
      return 0;
    case 4:
      if (IsButtonLike(type) || IsOneOf(type, {1, 2, 10})) return 3;
      if (IsOneOf(type, {8, 15, 16, 34})) return 6;
      if (IsLarge(type) || type == 17) return 12;
      return 0;
    default:  // 3, 5 and undefined strategies: every size kept
      return 3;
  }
}

void WindowResizeClass::GetSizeInfo(int32_t Control, PositionGroup& pos) {
  if (!Ready()) return;
  if (Control == 0) {
    pos.XPos = window_->PropLong(0, PROP::Xpos);
    pos.YPos = window_->PropLong(0, PROP::Ypos);
    pos.Width = window_->PropLong(0, PROP::ClientWidth);
    pos.Height = window_->PropLong(0, PROP::ClientHeight);
    return;
  }
  pos.XPos = window_->PropLong(Control, PROP::Xpos);
  pos.YPos = window_->PropLong(Control, PROP::Ypos);
  pos.Width = window_->PropLong(Control, PROP::Width);
  pos.Height = window_->PropLong(Control, PROP::Height);
}

void WindowResizeClass::ResizeChildren(int32_t Parent, const PositionGroup& initial,
                                       const PositionGroup& current) {
  ResizeChildrenAt(Parent, initial, current, 0);
}

void WindowResizeClass::ResizeChildrenAt(int32_t Parent, const PositionGroup& initial,
                                         const PositionGroup& current, size_t depth) {
  // Parents set by hand could form a loop; no real nesting is deeper than
  // the number of controls.
  if (depth > ControlQueue.size()) return;
  for (size_t i = 0; i < ControlQueue.size(); ++i) {
    const ResizeControl row = ControlQueue[i];
    if (row.ParentID != Parent || row.ID == Parent) continue;
    ResizeMove move;
    move.ControlID = row.ID;
    move.Type = row.Type;
    GetCurrentPos(row.ID, move.Before);
    move.After = SetPosition(row.ID, current, initial, row.Pos);
    ResizeList.push_back(move);
    if (move.After == move.Before && window_->PropLong(row.ID, PROP::Full) == 0) continue;
    if (row.HasChildren) ResizeChildrenAt(row.ID, row.Pos, move.After, depth + 1);
  }
}

void WindowResizeClass::RestoreControls() {
  for (size_t i = 0; i < ControlQueue.size(); ++i) {
    SetSize(ControlQueue[i].ID, ControlQueue[i].Pos);
  }
}

void WindowResizeClass::SetParentControl(int32_t Control, int32_t Parent) {
  ResizeControl* row = Row(Control);
  if (!Assert(row != nullptr, kRowMissing)) return;
  if (Parent != 0) {
    ResizeControl* parent = Row(Parent);
    if (!Assert(parent != nullptr, kRowMissing)) return;
    parent->HasChildren = 1;
  }
  row->ParentID = Parent;
}

void WindowResizeClass::SetPriorities() {
  if (!Ready()) return;
  PositionGroup now;
  GetSizeInfo(0, now);
  bool width_changed = now.Width != PreviousWin.Width;
  bool height_changed = now.Height != PreviousWin.Height;
  for (ResizeMove& move : ResizeList) {
    if (width_changed && !height_changed) {
      move.Priority = move.After.XPos;
    } else if (height_changed && !width_changed) {
      move.Priority = move.After.YPos;
    } else {
      move.Priority = move.After.XPos + move.After.YPos;
    }
  }
}

void WindowResizeClass::SetSize(int32_t Control, const PositionGroup& pos) {
  if (!Ready()) return;
  PositionGroup present;
  GetCurrentPos(Control, present);
  if (present == pos) return;
  // A control that takes its width from its contents keeps it.
  bool keeps_width = window_->PropLong(Control, PROP::NoWidth) != 0;
  if (present.XPos != pos.XPos) window_->SetProp(Control, PROP::Xpos, pos.XPos);
  if (present.YPos != pos.YPos) window_->SetProp(Control, PROP::Ypos, pos.YPos);
  if (!keeps_width && present.Width != pos.Width) {
    window_->SetProp(Control, PROP::Width, pos.Width);
  }
  if (present.Height != pos.Height) window_->SetProp(Control, PROP::Height, pos.Height);
}

uint8_t WindowResizeClass::TakeResize() {
  Resize();
  return Level::Benign;
}

}  // namespace zuna::framework
