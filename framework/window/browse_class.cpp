#include "framework/window/browse_class.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "framework/data/assertion.h"
#include "framework/data/error_table.h"
#include "framework/data/framework_host.h"
#include "runtime/datfile/statements.h"
#include "runtime/values/code_page.h"
#include "runtime/values/error_state.h"
#include "runtime/values/evaluator.h"

namespace zuna::framework {

namespace {

namespace KEY = window::KEY;
namespace PROP = window::PROP;
using values::W;

// The runtime's "record changed by another station" error.
constexpr int32_t kRecordChanged = 89;
// How far past equal key values a written record is looked for.
constexpr int kDuplicateSearchLimit = 10000;

bool IsScrollEvent(int32_t event) {
  return event >= window::EVENT::ScrollUp && event <= window::EVENT::ScrollBottom;
}

}  // namespace

// --- ListQueue ---------------------------------------------------------------

void ListQueue::AddColumn(const values::VariableRef& field, std::string name) {
  columns_.push_back(field);
  names_.push_back(std::move(name));
}

std::string ListQueue::CellText(int32_t row, size_t column,
                                const values::Picture& picture) const {
  if (row < 1 || row > Records() || column >= columns_.size()) return {};
  values::VariableRef cell = columns_[column];
  // The column's place in the row buffer, read from the stored copy.
  const auto offset = static_cast<const char*>(cell.address) - row_.data();
  if (offset < 0 || static_cast<size_t>(offset) + cell.size > row_.size()) return {};
  cell.address = const_cast<char*>(rows_[row - 1].bytes.data()) + offset;
  return window::FormatVariable(cell, picture);
}

void ListQueue::InsertAt(int32_t pos) {
  pos = std::clamp(pos, 1, Records() + 1);
  rows_.insert(rows_.begin() + (pos - 1), Row{Bytes(), ViewPosition});
  pointer_ = pos;
}

bool ListQueue::Get(int32_t pos) {
  if (pos < 1 || pos > Records()) return false;
  const Row& r = rows_[pos - 1];
  std::memcpy(row_.data(), r.bytes.data(), std::min(row_.size(), r.bytes.size()));
  ViewPosition = r.position;
  pointer_ = pos;
  return true;
}

void ListQueue::Put() {
  if (pointer_ < 1 || pointer_ > Records()) return;
  rows_[pointer_ - 1] = Row{Bytes(), ViewPosition};
}

void ListQueue::Remove() {
  if (pointer_ < 1 || pointer_ > Records()) return;
  rows_.erase(rows_.begin() + (pointer_ - 1));
  pointer_ = 0;
}

std::string ListQueue::Name(int32_t column) const {
  if (column < 1 || static_cast<size_t>(column) > names_.size()) return {};
  return names_[column - 1];
}

// --- StandardBehavior --------------------------------------------------------

void StandardBehavior::Init(ListQueue& queue, int32_t control, WindowManager& window) {
  Q = &queue;
  LC = control;
  window_ = &window;
  if (window::Window* w = Screen()) w->BindList(control, &queue);
}

window::Window* StandardBehavior::Screen() const {
  return window_ != nullptr ? window_->MyWindow : nullptr;
}

int32_t StandardBehavior::Choice() {
  window::Window* w = Screen();
  return w != nullptr && w->IsOpen() ? w->Choice(LC) : 0;
}

int32_t StandardBehavior::GetItems() {
  window::Window* w = Screen();
  return w != nullptr && w->IsOpen() ? w->PropLong(LC, PROP::Items) : -1;
}

uint8_t StandardBehavior::GetVisible() {
  window::Window* w = Screen();
  return w != nullptr && w->IsOpen() && w->Prop(LC, PROP::Visible) == "1";
}

void StandardBehavior::SetChoice(int32_t C) {
  window::Window* w = Screen();
  if (w != nullptr && w->IsOpen()) w->SetProp(LC, PROP::Selected, C);
}

// --- Set-up ------------------------------------------------------------------

BrowseClass::BrowseClass() = default;

BrowseClass::~BrowseClass() = default;

void BrowseClass::Init(int32_t list_control, ::zuna::framework::ListQueue& queue,
                       datfile::View& view, RelationManager& primary,
                       WindowManager& window) {
  behavior_ = std::make_unique<StandardBehavior>();
  behavior_->Init(queue, list_control, window);
  Init(*behavior_, view, *behavior_, primary, window);
}

void BrowseClass::Init(IListControl& list, datfile::View& view, BrowseQueue& queue,
                       RelationManager& primary, WindowManager& window) {
  UseMRP = 1;
  PrevChoice = 0;
  Window = &window;
  ListQueue = &queue;
  ILC = &list;
  Sort.clear();
  Fields.Init();
  Popup = std::make_unique<PopupClass>();
  RetainRow = 1;
  Popup->Init();
  killed_ = false;
  ViewManager::Init(view, primary);
  window.AddItem(*this);
  if (Selecting && primary.Me != nullptr) {
    primary.Me->UseFile(UseType::Return);
    Buffer = primary.Me->SaveBuffer();
  }
}

uint8_t BrowseClass::AddSortOrder(StepClass* thumb, std::optional<datfile::Key> key) {
  const uint8_t number = ViewManager::AddSortOrder(key);
  if (number == 0) return 0;
  if (Sort.size() < number) Sort.resize(number);
  Sort[number - 1].Thumb = thumb;
  Sort[number - 1].Resets = std::make_unique<FieldPairsClass>();
  Sort[number - 1].Resets->Init();
  return number;
}

void BrowseClass::AddLocator(LocatorClass& locator) {
  if (BrowseSortRow* row = CurrentBrowseSort()) row->Locator = &locator;
}

void BrowseClass::AddField(const values::VariableRef& view_field,
                           const values::VariableRef& queue_field) {
  Fields.AddPair(view_field, queue_field);
}

void BrowseClass::AddResetField(const values::VariableRef& field) {
  BrowseSortRow* row = CurrentBrowseSort();
  if (!Assert(row != nullptr && row->Resets, "Reset field added without a sort order")) return;
  // The value at the last fill lives in storage of the field's own shape.
  reset_storage_.push_back(std::make_unique<char[]>(field.size));
  values::VariableRef copy = field;
  copy.address = reset_storage_.back().get();
  copy.dimension_count = 0;
  std::memcpy(copy.address, field.address, field.size);
  row->Resets->AddPair(field, copy);
}

BrowseSortRow* BrowseClass::CurrentBrowseSort() {
  const uint8_t number = GetSort();
  if (number == 0 || number > Sort.size()) return nullptr;
  return &Sort[number - 1];
}

void BrowseClass::Kill() {
  if (killed_) return;
  killed_ = true;
  for (BrowseSortRow& row : Sort) {
    if (row.Thumb != nullptr) row.Thumb->Kill();
    if (row.Resets) row.Resets->Kill();
  }
  if (Window != nullptr) Window->RemoveItem(Component);
  ViewManager::Kill();
  Sort.clear();
  Fields.Kill();
  if (Popup) {
    Popup->Kill();
    Popup.reset();
  }
  ToolbarItem.reset();
  reset_storage_.clear();
}

// --- Queries -----------------------------------------------------------------

int32_t BrowseClass::Records() {
  const int32_t rows = ListQueue != nullptr ? ListQueue->Records() : 0;
  if (BrowseSortRow* row = CurrentBrowseSort(); row && row->Locator) {
    row->Locator->SetEnabled(rows > 0);
  }
  if (rows == 0) CurrentChoice = 0;
  return rows;
}

void BrowseClass::SetQueueRecord() {
  Fields.AssignLeftToRight();
  ListQueue->SetViewPosition(View->Position());
}

void BrowseClass::UpdateBuffer() {
  const int32_t rows = Records();
  if (rows > 0) {
    ListQueue->Fetch(std::clamp(CurrentChoice, 1, rows));
    Fields.AssignRightToLeft();
  } else {
    Fields.ClearLeft();
  }
}

void BrowseClass::UpdateResets() {
  if (BrowseSortRow* row = CurrentBrowseSort(); row && row->Resets) {
    row->Resets->AssignRightToLeft();
  }
}

void BrowseClass::ResetResets() {
  if (BrowseSortRow* row = CurrentBrowseSort(); row && row->Resets) {
    row->Resets->AssignLeftToRight();
  }
}

uint8_t BrowseClass::Next() {
  const uint8_t level = ViewManager::Next();
  if (level == Level::Notify) UpdateResets();
  if (level == Level::Fatal) window::POST(window::EVENT::CloseWindow);
  return level;
}

uint8_t BrowseClass::Previous() {
  const uint8_t level = ViewManager::Previous();
  if (level == Level::Notify) UpdateResets();
  if (level == Level::Fatal) window::POST(window::EVENT::CloseWindow);
  return level;
}

// --- Filling -----------------------------------------------------------------

void BrowseClass::Fetch(uint8_t Direction) {
  const bool forward = Direction == kFillForward;
  if (QuickScan && ItemsToFill > 1 && Primary != nullptr) Primary->SetQuickScan(1);
  std::string edge;  // the position of the row at the end we read from
  if (ListQueue->Records() > 0) {
    ListQueue->Fetch(forward ? ListQueue->Records() : 1);
    edge = ListQueue->GetViewPosition();
    View->Reset(edge);
  }
  bool skip_first = !edge.empty();
  while (ItemsToFill > 0) {
    const uint8_t level = forward ? Next() : Previous();
    if (level == Level::Notify) break;
    if (level == Level::Fatal) return;
    const std::string position = View->Position();
    if (skip_first) {
      skip_first = false;
      if (position == edge) continue;
    }
    // Another station may have moved records since the page was read:
    // never show one record twice on a page.
    if (!FileLoaded && FindRow(position) != 0) break;
    if (ListQueue->Records() >= LastItems) {
      ListQueue->Fetch(forward ? 1 : ListQueue->Records());
      ListQueue->Delete();
    }
    SetQueueRecord();
    if (forward) {
      ListQueue->Insert();
    } else {
      ListQueue->Insert(1);
    }
    --ItemsToFill;
  }
  if (QuickScan && Primary != nullptr) Primary->SetQuickScan(0);
}

int32_t BrowseClass::FindRow(const std::string& position) {
  for (int32_t r = 1; r <= ListQueue->Records(); ++r) {
    ListQueue->Fetch(r);
    if (ListQueue->GetViewPosition() == position) return r;
  }
  return 0;
}

void BrowseClass::ResetQueue(uint8_t Mode) {
  if (!ActiveInvisible && !ILC->GetVisible()) {
    LoadPending = 1;
    return;
  }
  Loaded = 1;
  LoadPending = 0;
  WaitCursor wait;
  if (CurrentChoice == 0) CurrentChoice = 1;
  std::string highlighted;
  int32_t top_margin = 0;
  int32_t wanted_line = 0;
  bool from_top = false;

  if (Mode == kResetPositioned) {
    if (RetainRow) {
      if (LastItems > 0 && CurrentChoice > LastItems) {
        // The list got shorter: keep the highlighted row, drop from the top.
        highlighted = ListQueue->GetViewPosition();
        while (ListQueue->Records() > LastItems && CurrentChoice > 1) {
          ListQueue->Fetch(1);
          ListQueue->Delete();
          --CurrentChoice;
        }
        ILC->SetChoice(CurrentChoice);
        ListQueue->Fetch(CurrentChoice);
      }
      top_margin = CurrentChoice - 1;
    }
  } else if (ListQueue->Records() > 0) {
    if (CurrentChoice > ListQueue->Records()) CurrentChoice = ListQueue->Records();
    ListQueue->Fetch(CurrentChoice);
    highlighted = ListQueue->GetViewPosition();
    ListQueue->Fetch(1);
    View->Reset(ListQueue->GetViewPosition());
  } else {
    from_top = true;
    Reset();
  }
  if (RetainRow) wanted_line = CurrentChoice;

  ListQueue->Free();
  ItemsToFill = LastItems - top_margin;
  Fetch(kFillForward);
  const bool end_hit = ItemsToFill != 0;

  auto search = [&] {
    if (highlighted.empty() && ListQueue->Records() > 0) {
      ListQueue->Fetch(1);
      highlighted = ListQueue->GetViewPosition();
    }
    CurrentChoice = highlighted.empty() ? 1 : FindRow(highlighted);
    if (CurrentChoice == 0 && RetainRow) {
      // The highlighted record went (another station, or the action just
      // taken): the record now on its line is the nearest.
      CurrentChoice = std::clamp(wanted_line, 1, std::max(1, ListQueue->Records()));
    }
    if (RetainRow) top_margin = wanted_line - CurrentChoice;
  };
  search();
  if (ListQueue->Records() == 0) Reset();

  ItemsToFill = AllowUnfilled ? 0 : LastItems - ListQueue->Records();
  if (!from_top && (ItemsToFill > 0 || top_margin > 0)) {
    ItemsToFill = std::max(ItemsToFill, top_margin);
    Fetch(kFillBackward);
    if (highlighted.empty() && ListQueue->Records() > 0) {
      ListQueue->Fetch(ListQueue->Records());
      highlighted = ListQueue->GetViewPosition();
    }
    search();
  }
  if (RetainRow && (top_margin < 0 || (ListQueue->Records() < LastItems && !end_hit))) {
    ItemsToFill = std::max(-top_margin, LastItems - ListQueue->Records());
    Fetch(kFillForward);
    search();
  }
  while (ListQueue->Records() > LastItems) {
    if (top_margin < 0) {
      ListQueue->Fetch(1);
      ListQueue->Delete();
      ++top_margin;
      --CurrentChoice;
    } else {
      ListQueue->Fetch(ListQueue->Records());
      ListQueue->Delete();
    }
  }
  if (CurrentChoice <= 0) CurrentChoice = 1;
  if (Records() != 0) {
    UpdateBuffer();
  } else if (Primary != nullptr && Primary->Me != nullptr) {
    Primary->Me->ClearRecord();
  }
}

void BrowseClass::ResetFromView() {
  WaitCursor wait;
  ResetThumbLimits();
  UpdateThumb();
}

bool BrowseClass::PositionAtFileRecord() {
  const uint32_t record = datfile::POINTER(View->primary());
  if (record == 0) return false;
  if (View->Set(View->order_items()) != 0) return false;
  for (int i = 0; i < kDuplicateSearchLimit; ++i) {
    if (View->Next() != 0) return false;
    if (View->current_record() == record) {
      return View->Reset(View->Position()) == 0;
    }
  }
  return false;
}

void BrowseClass::ResetFromFile() {
  // The record the form wrote is in the buffer: the view starts at it, so
  // the refill highlights it on the line it was on.
  if (!PositionAtFileRecord()) View->Set(View->order_items());
  ResetQueue(kResetPositioned);
}

void BrowseClass::RestartAtBuffer() {
  const SortOrderRow* row = CurrentSortOrder();
  if (row == nullptr || !row->MainKey) {
    Reset(1);
  } else {
    Reset(GetFreeElementPosition());
  }
}

void BrowseClass::ResetFromBuffer() {
  const SortOrderRow* row = CurrentSortOrder();
  if (row == nullptr || !row->MainKey || Primary == nullptr || Primary->Me == nullptr) {
    Reset(1);
  } else {
    Reset(Primary->Me->GetComponents(*row->MainKey));
  }
  ResetQueue(kResetPositioned);
  UpdateWindow();
}

uint8_t BrowseClass::ApplyRange() {
  const int32_t n = ILC != nullptr ? ILC->GetItems() : -1;
  if (FileLoaded) {
    LastItems = INT32_MAX;
  } else if (n >= 0 && n != LastItems) {
    LastItems = n;
    return 1;
  }
  BrowseSortRow* row = CurrentBrowseSort();
  const bool resets_changed = row != nullptr && row->Resets && !row->Resets->Equal();
  if (ViewManager::ApplyRange() || resets_changed) {
    LoadPending = 1;
    return 1;
  }
  return 0;
}

uint8_t BrowseClass::InitSort(uint8_t new_order) {
  if (!ViewManager::SetSort(new_order)) return 0;
  if (BrowseSortRow* row = CurrentBrowseSort(); row && row->Locator) row->Locator->Set();
  return 1;
}

uint8_t BrowseClass::SetSort(uint8_t new_order, uint8_t force) {
  const bool sort_changed = InitSort(new_order) != 0;
  const bool range_changed = ApplyRange() != 0;
  uint8_t result = 0;
  if (!sort_changed && !range_changed && !force && Loaded && !LoadPending) {
    UpdateBuffer();
    return 0;
  }
  ResetResets();
  Open();
  const SortOrderRow* row = CurrentSortOrder();
  if ((Selecting || StartAtCurrent) && !Loaded) {
    Reset(row == nullptr || !row->MainKey ? 1 : GetFreeElementPosition());
    ResetQueue(kResetPositioned);
  } else if (ListQueue->Records() > 0) {
    // From the highlighted row, which the refill keeps on its line.
    ListQueue->Fetch(std::clamp(CurrentChoice, 1, ListQueue->Records()));
    View->Reset(ListQueue->GetViewPosition());
    ResetQueue(kResetPositioned);
  } else {
    ResetQueue(kResetKeepPage);
  }
  if (!LoadPending) {
    PostNewSelection();
    ResetFromView();
    result = 1;
  }
  UpdateBuffer();
  return result;
}

void BrowseClass::ResetSort(uint8_t Force) { SetSort(GetSort(), Force); }

void BrowseClass::ResetThumbLimits() {
  BrowseSortRow* sort = CurrentBrowseSort();
  SortOrderRow* row = CurrentSortOrder();
  if (sort == nullptr || sort->Thumb == nullptr || row == nullptr || !row->FreeElement ||
      !sort->Thumb->SetLimitNeeded()) {
    return;
  }
  if (!AllowUnfilled && ILC->GetItems() > ListQueue->Records()) return;
  const values::VariableRef field = *row->FreeElement;
  // The view's Set leaves Previous reading from the last record.
  Reset();
  if (Previous() != Level::Benign) return;
  std::vector<char> high(field.size);
  std::memcpy(high.data(), field.address, field.size);
  Reset();
  if (Next() != Level::Benign) return;
  values::VariableRef high_ref = field;
  high_ref.address = high.data();
  high_ref.dimension_count = 0;
  sort->Thumb->SetLimit(field, high_ref);
}

// --- Scrolling ---------------------------------------------------------------

void BrowseClass::ScrollOne(int32_t Event) {
  CurrentEvent = Event;
  if (Event == window::EVENT::ScrollUp && CurrentChoice > 1) {
    --CurrentChoice;
  } else if (Event == window::EVENT::ScrollDown && CurrentChoice < ListQueue->Records()) {
    ++CurrentChoice;
  } else if (!FileLoaded) {
    ItemsToFill = 1;
    Fetch(Event == window::EVENT::ScrollUp ? kFillBackward : kFillForward);
  }
}

void BrowseClass::KeepLine(int32_t offset) {
  window::Window* w = Screen();
  if (w == nullptr || !w->IsOpen()) return;
  const int32_t origin = std::max(1, CurrentChoice - offset + 1);
  w->SetProp(ListControl(), PROP::YOrigin, origin);
}

void BrowseClass::ScrollPage(int32_t Event) {
  CurrentEvent = Event;
  int32_t n = ILC->GetItems();
  int32_t offset = 1;
  if (FileLoaded) {
    if (window::Window* w = Screen()) {
      offset = ILC->Choice() - w->PropLong(ListControl(), PROP::YOrigin) + 1;
    }
  } else {
    ItemsToFill = n;
    Fetch(Event == window::EVENT::PageUp ? kFillBackward : kFillForward);
    n = ItemsToFill;
  }
  const int32_t rows = ListQueue->Records();
  if (Event == window::EVENT::PageUp) {
    CurrentChoice = std::max(1, CurrentChoice - n);
  } else {
    CurrentChoice = std::min(rows, CurrentChoice + n);
  }
  if (FileLoaded) KeepLine(offset);
}

void BrowseClass::ScrollEnd(int32_t Event) {
  CurrentEvent = Event;
  if (!FileLoaded) {
    ListQueue->Free();
    Reset();
    ItemsToFill = ILC->GetItems();
    Fetch(Event == window::EVENT::ScrollTop ? kFillForward : kFillBackward);
  }
  CurrentChoice = Event == window::EVENT::ScrollTop ? 1 : ListQueue->Records();
}

void BrowseClass::TakeScroll(int32_t Event) {
  if (Event == 0) Event = window::EVENT();
  if (ListQueue->Records() == 0) return;
  switch (Event) {
    case window::EVENT::ScrollUp:
    case window::EVENT::ScrollDown:
      ScrollOne(Event);
      break;
    case window::EVENT::PageUp:
    case window::EVENT::PageDown:
      ScrollPage(Event);
      break;
    case window::EVENT::ScrollTop:
    case window::EVENT::ScrollBottom:
      ScrollEnd(Event);
      break;
    default:
      return;
  }
  TakeChoiceChanged();
}

void BrowseClass::TakeVCRScroll(int32_t VCRRequest) {
  int32_t event = 0;
  switch (VCRRequest) {
    case ToolbarButton::Down: event = window::EVENT::ScrollDown; break;
    case ToolbarButton::Up: event = window::EVENT::ScrollUp; break;
    case ToolbarButton::PageDown: event = window::EVENT::PageDown; break;
    case ToolbarButton::PageUp: event = window::EVENT::PageUp; break;
    case ToolbarButton::Top: event = window::EVENT::ScrollTop; break;
    case ToolbarButton::Bottom: event = window::EVENT::ScrollBottom; break;
    default: return;
  }
  TakeScroll(event);
  Window->Reset(0);
  Window->Update();
}

void BrowseClass::TakeChoiceChanged() {
  BrowseSortRow* sort = CurrentBrowseSort();
  if (sort != nullptr && sort->Locator != nullptr) sort->Locator->Set();
  PostNewSelection();
  if (sort == nullptr || sort->Thumb == nullptr) UpdateThumbFixed();
  UpdateBuffer();
}

void BrowseClass::PostNewSelection() {
  if (PrevChoice != 0 || CurrentChoice != 0 || window::KEYCODE() == KEY::MouseRightUp) {
    PrevChoice = CurrentChoice;
    ILC->SetChoice(CurrentChoice);
    window::POST(window::EVENT::NewSelection, ListControl());
  }
}

void BrowseClass::TakeNewSelection() {
  if (Records() > 0) {
    const int32_t choice = ILC->Choice();
    if (choice > 0) CurrentChoice = choice;
    LastChoice = CurrentChoice;
  }
  UpdateBuffer();
  const int32_t key = window::KEYCODE();
  if ((key == KEY::MouseRightUp || key == KEY::Apps) && UsePopup && Popup) {
    window::SETKEYCODE(0);
    Popup->Ask();
  } else {
    Window->Reset(0);
  }
}

void BrowseClass::TakeThumbDrag() {
  window::Window* w = Screen();
  if (w == nullptr) return;
  const int32_t list = ListControl();
  double pct = w->PropLong(list, PROP::VScrollPos);
  if (pct <= 1) window::POST(window::EVENT::ScrollTop, list);
  if (pct >= 100) {
    window::POST(window::EVENT::ScrollBottom, list);
    return;
  }
  const int32_t rows = ListQueue->Records();
  const int32_t lines = ILC->GetItems();
  if (FileLoaded) {
    // The whole set is in the queue: the thumb picks a row of it.  With no
    // more rows than lines there is nothing to move to.
    if (rows <= lines) return;
    const int32_t offset = ILC->Choice() - w->PropLong(list, PROP::YOrigin) + 1;
    CurrentChoice = std::clamp(static_cast<int32_t>(pct * rows / 100), 1, rows);
    TakeChoiceChanged();
    KeepLine(offset);
    w->SetProp(list, PROP::VScrollPos, static_cast<int32_t>(pct));
    return;
  }
  BrowseSortRow* sort = CurrentBrowseSort();
  SortOrderRow* row = CurrentSortOrder();
  if (sort != nullptr && sort->Thumb != nullptr && row != nullptr && row->FreeElement) {
    values::WriteString(*row->FreeElement,
                        sort->Thumb->GetValue(static_cast<uint8_t>(pct)));
    ResetFromBuffer();
    return;
  }
  window::POST(pct < 50 ? window::EVENT::PageUp : window::EVENT::PageDown, list);
}

// --- Display -----------------------------------------------------------------

window::Window* BrowseClass::Screen() const {
  return Window != nullptr ? Window->MyWindow : nullptr;
}

void BrowseClass::UpdateWindow() {
  window::Window* w = Screen();
  BrowseSortRow* sort = CurrentBrowseSort();
  if (sort != nullptr && sort->Locator != nullptr) sort->Locator->UpdateWindow();
  if (w == nullptr || !w->IsOpen()) return;
  const bool rows = Records() != 0;
  for (int32_t control : {ChangeControl, DeleteControl, PrintControl, ViewControl}) {
    if (control == 0) continue;
    if (rows) {
      w->Enable(control);
    } else {
      w->Disable(control);
    }
  }
  if (SelectControl != 0) {
    if (Selecting) {
      if (rows && Window->Request == SelectRecord) {
        w->Enable(SelectControl);
        w->SetProp(SelectControl, PROP::Default, 1);
      } else {
        w->Disable(SelectControl);
      }
    } else if (HideSelect) {
      w->Disable(SelectControl);
      w->Hide(SelectControl);
    }
  }
  UpdateThumb();
  if (Toolbar != nullptr && ToolbarItem) Toolbar->DisplayButtons();
  w->Display(ListControl());
  ILC->SetChoice(CurrentChoice);
}

void BrowseClass::UpdateThumb() {
  window::Window* w = Screen();
  if (w == nullptr || !w->IsOpen()) return;
  const int32_t list = ListControl();
  const int32_t rows = ListQueue->Records();
  const int32_t lines = ILC->GetItems();
  if (!HasThumb || (rows < lines && !AllowUnfilled)) {
    w->SetProp(list, PROP::VScroll, 0);
    return;
  }
  w->SetProp(list, PROP::VScroll, 1);
  BrowseSortRow* sort = CurrentBrowseSort();
  SortOrderRow* row = CurrentSortOrder();
  if (sort == nullptr || sort->Thumb == nullptr || row == nullptr || !row->FreeElement) {
    UpdateThumbFixed();
    return;
  }
  if (!Loaded || LoadPending) return;
  UpdateBuffer();
  int32_t p = sort->Thumb->GetPercentile(*row->FreeElement);
  if (rows == lines) {
    if (p == 1) p = 0;
    if (p == 99) p = 100;
  }
  w->SetProp(list, PROP::VScrollPos, p);
}

void BrowseClass::UpdateThumbFixed() {
  window::Window* w = Screen();
  if (w == nullptr || !w->IsOpen()) return;
  const int32_t list = ListControl();
  const bool imm = w->PropLong(list, PROP::Imm) != 0;
  const int32_t rows = ListQueue->Records();
  const int32_t lines = ILC->GetItems();
  int32_t p = 50;
  if (FileLoaded) {
    if (rows > lines) {
      p = CurrentChoice <= 1 ? 0 : CurrentChoice * 100 / rows;
    }
    if (!imm) return;
  } else if (ItemsToFill != 0) {
    const bool downwards = CurrentEvent == window::EVENT::ScrollDown ||
                           CurrentEvent == window::EVENT::PageDown ||
                           CurrentEvent == window::EVENT::ScrollBottom;
    if (downwards && CurrentChoice == rows) {
      p = imm ? 100 : rows;
    } else if (!downwards && CurrentChoice == 1) {
      p = 0;
    }
  }
  w->SetProp(list, PROP::VScrollPos, p);
}

void BrowseClass::UpdateViewRecord() {
  const int32_t rows = Records();
  if (rows == 0) return;
  const int32_t choice = ILC->Choice();
  if (choice > 0) CurrentChoice = std::min(choice, rows);
  ListQueue->Fetch(CurrentChoice);
  const std::string seen = ListQueue->GetViewPosition();
  int32_t error = View->Reget(seen);
  if (error == 0) error = View->Watch();
  // The slot may have been freed and reused, or the record changed, since
  // the row was read: the record must still sort where the row does and
  // show what the row shows, or the action would touch another record.
  if (error == 0 && (View->Position() != seen || !Fields.Equal())) {
    error = kRecordChanged;
    values::PostError(error);
  }
  if (error != 0) NeedRefresh = NotifyUpdateError();
}

void BrowseClass::SetAlerts() {
  window::Window* w = Screen();
  if (w == nullptr) return;
  const int32_t list = ListControl();
  for (int32_t key : {KEY::MouseLeft2, KEY::MouseRightUp, KEY::Apps}) w->Alert(list, key);
  HasThumb = w->PropLong(list, PROP::VScroll) != 0;
  w->SetProp(list, PROP::VScroll, 0);
  for (BrowseSortRow& row : Sort) {
    if (row.Locator != nullptr) row.Locator->SetAlerts(list);
  }
  if (!Popup) return;
  struct Entry {
    bool wanted;
    int32_t control;
    const char* text;
    int32_t key;
  };
  const Entry entries[] = {
      {EditViaPopup && InsertControl != 0, InsertControl, "Добавить", KEY::Insert},
      {EditViaPopup && ChangeControl != 0, ChangeControl, "Изменить", KEY::CtrlEnter},
      {EditViaPopup && DeleteControl != 0, DeleteControl, "Удалить", KEY::Delete},
      {EditViaPopup && ViewControl != 0, ViewControl, "Просмотреть", KEY::ShiftEnter},
      {PrintControl != 0, PrintControl, "Печать", 0},
  };
  for (const Entry& e : entries) {
    if (!e.wanted) continue;
    Popup->AddItemMimic(W(std::string("!&") + e.text), e.control,
                        W(std::string("&") + e.text));
    if (e.key != 0) w->Alert(list, e.key);
  }
  if (QueryControl != 0) {
    if (Popup->GetItems(0) > 0) Popup->AddItem("-", "Separator2");
    Popup->AddItemMimic(W("!&Фильтр"), QueryControl, W("&Фильтр"));
  }
  if (SelectControl != 0 && Selecting) {
    Popup->AddItemMimic(W("!&Выбрать"), SelectControl, W("&Выбрать"));
  }
  if (ToolControl != 0) {
    if (Popup->GetItems(0) > 0) Popup->AddItem("-", "ToolSeparator2");
    Popup->AddItemMimic(W("!&Панель"), ToolControl, W("&Панель"));
  }
}

// --- Events ------------------------------------------------------------------

void BrowseClass::TakeEvent() {
  const int32_t event = window::EVENT();
  const int32_t field = window::FIELD();
  const int32_t list = ListControl();
  if (field == 0 && ILC != nullptr && ILC->Choice() > 0) CurrentChoice = ILC->Choice();
  BrowseSortRow* sort = CurrentBrowseSort();
  const bool on_locator = sort != nullptr && sort->Locator != nullptr &&
                          sort->Locator->Control != 0 && field == sort->Locator->Control;
  if (field == list && list != 0) {
    if (IsScrollEvent(event)) {
      TakeScroll(0);
    } else if (event == window::EVENT::ScrollDrag) {
      TakeThumbDrag();
    } else if (event == window::EVENT::AlertKey) {
      TakeKey();
    } else if (event == window::EVENT::NewSelection) {
      TakeNewSelection();
    } else if (event == window::EVENT::Locate) {
      TakeLocate();
    }
  } else if (on_locator && event == window::EVENT::AlertKey) {
    TakeKey();
  }
  if (event == window::EVENT::Accepted && window::ACCEPTED() != 0) {
    NeedRefresh = 0;
    TakeAcceptedButton(window::ACCEPTED());
    if (NeedRefresh) {
      ResetQueue(kResetKeepPage);
      NeedRefresh = 0;
      UpdateWindow();
      PostNewSelection();
    }
  }
  if (event == window::EVENT::CloseWindow && Selecting) TakeCloseWhileSelecting();
}

void BrowseClass::TakeAcceptedButton(int32_t control) {
  if (control == DeleteControl || control == ChangeControl) {
    Window->Update();
    if (!NeedRefresh) Ask(control == DeleteControl ? DeleteRecord : ChangeRecord);
  } else if (control == InsertControl) {
    Ask(InsertRecord);
  } else if (control == ViewControl) {
    // The form shows the record as it is now, not as the row was read.
    Window->Update();
    if (!NeedRefresh) Ask(ViewRecord);
  } else if (control == PrintControl) {
    UpdateViewRecord();
    if (!NeedRefresh) {
      Window->Run(PrintProcedure, PrintRecord);
      UpdateBuffer();
    }
  } else if (control == SelectControl) {
    Window->Response = RequestCompleted;
    window::POST(window::EVENT::CloseWindow);
  } else if (control == QueryControl) {
    TakeLocate();
  } else if (control == ToolControl) {
    if (Popup) Popup->Ask();
  } else {
    TakeAcceptedLocator();
  }
}

void BrowseClass::TakeCloseWhileSelecting() {
  if (Primary == nullptr || Primary->Me == nullptr || Buffer == 0) return;
  if (Window->Response == RequestCompleted) {
    Primary->Me->ReleaseBuffer(Buffer);
    if (SelectWholeRecord) {
      UpdateViewRecord();
    } else {
      UpdateBuffer();
    }
  } else {
    Primary->Me->RestoreBuffer(Buffer, 1);
  }
}

void BrowseClass::TakeAcceptedLocator() {
  BrowseSortRow* sort = CurrentBrowseSort();
  if (sort == nullptr || sort->Locator == nullptr || sort->Locator->Control == 0 ||
      window::ACCEPTED() != sort->Locator->Control) {
    return;
  }
  if (!sort->Locator->TakeAccepted()) return;
  RestartAtBuffer();
  if (window::Window* w = Screen()) w->Select(ListControl());
  ResetQueue(kResetPositioned);
  sort->Locator->Reset();
  UpdateWindow();
  PostNewSelection();
}

bool BrowseClass::ButtonUsable(int32_t control) const {
  window::Window* w = Screen();
  return control != 0 && w != nullptr && w->Prop(control, PROP::Disable) != "1";
}

void BrowseClass::Accept(int32_t control) { window::POST(window::EVENT::Accepted, control); }

bool BrowseClass::TakeUpdateKey(int32_t key) {
  // Each key stands for a button, and acts only while that button could be
  // pressed.
  auto press = [this](int32_t control, bool load_row) {
    if (!ButtonUsable(control)) return false;
    if (load_row) UpdateBuffer();
    Accept(control);
    return true;
  };
  switch (key) {
    case KEY::Insert:
      return press(InsertControl, false);
    case KEY::Delete:
      return press(DeleteControl, false);
    case KEY::CtrlEnter:
      return press(ChangeControl, true);
    case KEY::ShiftEnter:
      return press(ViewControl, true);
    case KEY::MouseLeft2:
      if (Selecting) return press(SelectControl, false);
      // Only a double-click on a row opens it, not one on the header.
      return Screen()->PropLong(ListControl(), PROP::MouseDownZone) == window::ListZone::Row &&
             press(ChangeControl, false);
    case KEY::Apps:
      return true;  // the popup opens when the selection comes back
    default:
      return false;
  }
}

uint8_t BrowseClass::TakeKey() {
  const int32_t key = window::KEYCODE();
  const bool on_list = window::FIELD() == ListControl();
  bool handled = false;
  if (on_list && key == KEY::MouseRightUp) {
    window::Window* w = Screen();
    const int32_t row = w != nullptr ? w->PropLong(ListControl(), PROP::MouseDownRow) : 0;
    if (row > 0) CurrentChoice = row;
    PostNewSelection();
    return 1;
  }
  if (on_list && Records() > 0) handled = TakeUpdateKey(key);
  if (!handled) {
    BrowseSortRow* sort = CurrentBrowseSort();
    if (sort != nullptr && sort->Locator != nullptr && sort->Locator->TakeKey()) {
      RestartAtBuffer();
      ResetQueue(kResetPositioned);
      handled = true;
    } else if (Records() > 0) {
      handled = on_list;
    } else if (on_list && key == KEY::Insert && ButtonUsable(InsertControl)) {
      Accept(InsertControl);
      handled = true;
    }
  }
  if (!handled) return 0;
  UpdateWindow();
  PostNewSelection();
  return 1;
}

// --- Update actions ----------------------------------------------------------

int32_t& BrowseClass::VCR() {
  return Window != nullptr && Window->VCRRequest != nullptr ? *Window->VCRRequest
                                                            : vcr_request_;
}

uint8_t BrowseClass::Ask(uint8_t Request) {
  uint8_t response = RequestCancelled;
  do {
    VCR() = 0;
    if (window::KEYCODE() == KEY::MouseRightUp) window::SETKEYCODE(0);
    if (AskProcedure != 0) {
      if (Request == InsertRecord && PrimeRecord(0) != Level::Benign) {
        return RequestCancelled;
      }
      response = Window->Run(static_cast<uint16_t>(AskProcedure), Request);
      ResetFromAsk(Request, response);
    } else {
      response = AskRecord(Request);
    }
  } while (VCR() != 0);
  return response;
}

uint8_t BrowseClass::AskRecord(uint8_t /*Request*/) {
  // Editing in place is not part of this program's lists.
  return RequestCancelled;
}

bool BrowseClass::FilterPasses() {
  // Evaluated on the list's own thread, where the view bound the file's
  // fields when it opened, so the text sees the record the form wrote.  A
  // text that cannot be evaluated keeps the record rather than hiding it.
  values::ClearError();
  const std::string result = values::EVALUATE(View->filter());
  if (values::ERRORCODE() != 0) return true;
  return !(result.empty() || result == "0");
}

void BrowseClass::ResetFromAsk(uint8_t& Request, uint8_t& Response) {
  if (Response == RequestCompleted) {
    const bool leaves = Request == DeleteRecord ||
                        (Request == ChangeRecord && View->has_filter() && !FilterPasses());
    if (leaves) {
      const int32_t rows = ListQueue->Records();
      if (rows > 0) {
        ListQueue->Fetch(std::clamp(CurrentChoice, 1, rows));
        ListQueue->Delete();
      }
      ResetQueue(kResetKeepPage);
    } else {
      ResetFromFile();
    }
  } else {
    ResetQueue(kResetKeepPage);
  }
  const int32_t vcr = VCR();
  if (vcr == ToolbarButton::Insert || (vcr == ToolbarButton::Down && Request == InsertRecord)) {
    Request = InsertRecord;
    if (Primary != nullptr && Primary->Me != nullptr) Primary->Me->ClearRecord();
  } else if (vcr != 0) {
    TakeVCRScroll(vcr);
  }
  if (vcr == 0) {
    ResetFromView();
    UpdateWindow();
    PostNewSelection();
    if (window::Window* w = Screen(); w != nullptr && w->IsOpen()) w->Select(ListControl());
  }
}

uint8_t BrowseClass::NotifyUpdateError() {
  if (Primary != nullptr && Primary->Me != nullptr) Primary->Me->Throw(Msg::RecordReadFailed);
  return 1;
}

void BrowseClass::AddToolbarTarget(ToolbarClass& toolbar) {
  Toolbar = &toolbar;
  ToolbarItem = std::make_unique<ToolbarListboxClass>();
  ToolbarItem->Browse = this;
  toolbar.AddTarget(*ToolbarItem, ListControl());
  UpdateToolbarButtons();
}

void BrowseClass::UpdateToolbarButtons() {
  if (!ToolbarItem || Toolbar == nullptr) return;
  if (InsertControl) ToolbarItem->InsertButton = InsertControl;
  if (DeleteControl) ToolbarItem->DeleteButton = DeleteControl;
  if (ChangeControl) ToolbarItem->ChangeButton = ChangeControl;
  if (SelectControl) ToolbarItem->SelectButton = SelectControl;
  if (QueryControl) ToolbarItem->LocateButton = QueryControl;
  Toolbar->SetTarget(ListControl());
}

}  // namespace zuna::framework
