#include "framework/window/toolbar.h"

#include <algorithm>
#include <utility>

#include "framework/data/assertion.h"
#include "framework/window/window_manager.h"
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
