#include "framework/window/toolbar.h"

#include <algorithm>
#include <utility>

#include "framework/data/assertion.h"
#include "framework/window/browse_class.h"
#include "framework/window/window_manager.h"
#include "runtime/values/code_page.h"
#include "runtime/window/engine.h"

namespace zuna::framework {

namespace {

namespace PROP = window::PROP;

// True when the calling thread's current window has control `number`: the
// frame's toolbar buttons exist only where a window carries them.
bool HasControl(window::Window* w, int32_t number) {
  return w != nullptr && number > 0 &&
         static_cast<size_t>(number) <= w->definition().controls.size();
}

bool IsEnabled(window::Window* w, int32_t number) {
  return HasControl(w, number) && w->Prop(number, PROP::Disable) != "1";
}

}  // namespace

// --- ToolbarTarget ----------------------------------------------------------

void ToolbarTarget::DisplayButtons() {
  window::Window* w = window::TARGET();
  const std::pair<int32_t, int32_t> buttons[] = {
      {ToolbarButton::Select, SelectButton}, {ToolbarButton::Delete, DeleteButton},
      {ToolbarButton::Change, ChangeButton}, {ToolbarButton::Insert, InsertButton},
      {ToolbarButton::Help, HelpButton},     {ToolbarButton::Locate, LocateButton},
  };
  for (const auto& [toolbar_button, own_button] : buttons) {
    if (!HasControl(w, toolbar_button)) continue;
    if (own_button != 0 && IsEnabled(w, own_button)) {
      w->Enable(toolbar_button);
    } else {
      w->Disable(toolbar_button);
    }
  }
}

void ToolbarTarget::TakeToolbar() { DisplayButtons(); }

bool ToolbarTarget::TryTakeToolbar() {
  TakeToolbar();
  return true;
}

void ToolbarTarget::TakeEvent(int32_t* /*VCRRequest*/, WindowManager& /*W*/) {
  switch (window::ACCEPTED()) {
    case ToolbarButton::Help:
      window::SETKEYCODE(window::KEY::F1);
      window::POST(window::EVENT::AlertKey, window::FIELD());
      break;
    case ToolbarButton::Insert:
      if (InsertButton != 0) window::POST(window::EVENT::Accepted, InsertButton);
      break;
    case ToolbarButton::Change:
      if (ChangeButton != 0) window::POST(window::EVENT::Accepted, ChangeButton);
      break;
    case ToolbarButton::Delete:
      if (DeleteButton != 0) window::POST(window::EVENT::Accepted, DeleteButton);
      break;
    default:
      break;
  }
}

// --- ToolbarListboxClass ----------------------------------------------------

namespace {

// The tooltips a list puts on the frame's buttons, in the order applied
// (3009 twice, as the program has always had it).
struct Tip {
  int32_t control;
  const char* text;
};
constexpr Tip kListTips[] = {
    {ToolbarButton::Down, "Go to the Next Record"},
    {ToolbarButton::Bottom, "Go to the Last Page"},
    {ToolbarButton::Top, "Go to the First Page"},
    {ToolbarButton::PageDown, "Go to the Next Page"},
    {ToolbarButton::PageUp, "Go to the Prior Page"},
    {ToolbarButton::Down, "Go to the Next Record"},
    {ToolbarButton::Up, "Go to the Prior Record"},
    {ToolbarButton::Insert, "Insert a new Record"},
};

}  // namespace

void ToolbarListboxClass::DisplayButtons() {
  window::Window* w = window::TARGET();
  if (HasControl(w, ToolbarButton::History)) w->Disable(ToolbarButton::History);
  for (int32_t button = ToolbarButton::Bottom; button <= ToolbarButton::Locate; ++button) {
    if (HasControl(w, button)) w->Enable(button);
  }
  ToolbarTarget::DisplayButtons();
}

void ToolbarListboxClass::TakeToolbar() {
  window::Window* w = window::TARGET();
  for (const Tip& tip : kListTips) {
    if (HasControl(w, tip.control)) w->SetProp(tip.control, PROP::Tip, tip.text);
  }
  DisplayButtons();
}

bool ToolbarListboxClass::TryTakeToolbar() {
  if (Browse == nullptr || Browse->ILC == nullptr || !Browse->ILC->GetVisible()) return false;
  TakeToolbar();
  return true;
}

void ToolbarListboxClass::TakeEvent(int32_t* VCRRequest, WindowManager& W) {
  const int32_t accepted = window::ACCEPTED();
  int32_t event = 0;
  switch (accepted) {
    case ToolbarButton::Select:
      W.Update();
      W.Response = RequestCompleted;
      window::POST(window::EVENT::CloseWindow);
      return;
    case ToolbarButton::Bottom: event = window::EVENT::ScrollBottom; break;
    case ToolbarButton::Top: event = window::EVENT::ScrollTop; break;
    case ToolbarButton::PageDown: event = window::EVENT::PageDown; break;
    case ToolbarButton::PageUp: event = window::EVENT::PageUp; break;
    case ToolbarButton::Down: event = window::EVENT::ScrollDown; break;
    case ToolbarButton::Up: event = window::EVENT::ScrollUp; break;
    case ToolbarButton::Locate: event = window::EVENT::Locate; break;
    default:
      ToolbarTarget::TakeEvent(VCRRequest, W);
      return;
  }
  window::POST(event, Control);
}

// --- ToolbarClass -----------------------------------------------------------

void ToolbarClass::Init() {
  List = std::make_unique<std::vector<Row>>();
  current_ = nullptr;
}

void ToolbarClass::Kill() {
  List.reset();
  current_ = nullptr;
}

void ToolbarClass::AddTarget(ToolbarTarget& T, int32_t Control) {
  if (!Assert(List != nullptr, "Toolbar used before Init")) return;
  T.Control = Control;
  auto at = std::upper_bound(
      List->begin(), List->end(), Control,
      [](int32_t id, const Row& row) { return id < row.Id; });
  List->insert(at, Row{Control, &T});
}

void ToolbarClass::SetTarget(int32_t Control) {
  if (!Assert(List != nullptr, "Toolbar used before Init")) return;
  if (Control != 0) {
    auto row = std::find_if(List->begin(), List->end(),
                            [&](const Row& r) { return r.Id == Control; });
    if (!Assert(row != List->end(), "Toolbar target not found")) return;
    current_ = row->Item;
    current_->TakeToolbar();
    return;
  }
  for (Row& row : *List) {
    if (row.Item->TryTakeToolbar()) current_ = row.Item;
  }
}

void ToolbarClass::DisplayButtons() {
  if (!Assert(current_ != nullptr, "Toolbar has no current target")) return;
  current_->DisplayButtons();
}

void ToolbarClass::TakeEvent(int32_t* VCRRequest, WindowManager& W) {
  if (!Assert(List != nullptr, "Toolbar used before Init")) return;
  if (List->empty()) return;
  if (current_ == nullptr) current_ = List->front().Item;
  current_->TakeEvent(VCRRequest, W);
}

}  // namespace zuna::framework
