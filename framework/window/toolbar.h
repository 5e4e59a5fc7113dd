// ToolbarClass: one set of toolbar buttons on the main frame that drives
// whichever list or form is active on a thread.  Each window that takes
// part adds a ToolbarTarget for one of its controls; the toolbar forwards
// the frame's button presses to the current target, which turns them into
// presses of its window's own buttons.
//
//   ToolbarClass toolbar;
//   toolbar.Init();
//   ToolbarTarget target;            // lives as long as the toolbar uses it
//   target.InsertButton = kInsert;   // the window's own buttons
//   toolbar.AddTarget(target, kList);
//   toolbar.SetTarget(kList);
//   ...  on EVENT::Accepted: toolbar.TakeEvent(&vcr_request, manager);
//   toolbar.Kill();
//
// The frame's toolbar buttons carry fixed control numbers (ToolbarButton::…);
// 3005-3010 are also the navigation requests a form leaves in its thread's
// VCRRequest, and 3001 there asks for a new record.
//
// Ownership and threads: the toolbar holds its targets by reference, not
// owning them; it and its targets belong to one procedure thread and act
// on that thread's current window.  Missing Init before AddTarget,
// SetTarget or TakeEvent, an unknown control in SetTarget, and
// DisplayButtons without a current target are internal assertions.
#ifndef ZUNA_FRAMEWORK_WINDOW_TOOLBAR_H_
#define ZUNA_FRAMEWORK_WINDOW_TOOLBAR_H_

#include <cstdint>
#include <memory>
#include <vector>

namespace zuna::framework {

class BrowseClass;
class WindowManager;

namespace ToolbarButton {
inline constexpr int32_t Insert = 3001;
inline constexpr int32_t Change = 3002;
inline constexpr int32_t Delete = 3003;
inline constexpr int32_t Select = 3004;
inline constexpr int32_t Bottom = 3005;
inline constexpr int32_t Top = 3006;
inline constexpr int32_t PageDown = 3007;
inline constexpr int32_t PageUp = 3008;
inline constexpr int32_t Down = 3009;
inline constexpr int32_t Up = 3010;
inline constexpr int32_t Locate = 3011;
inline constexpr int32_t History = 3012;
inline constexpr int32_t Help = 3013;
}  // namespace ToolbarButton

// What the toolbar buttons stand for in one window: its own buttons
// (0 = none).
class ToolbarTarget {
 public:
  virtual ~ToolbarTarget() = default;

  int32_t Control = 0;
  int32_t HelpButton = 0;
  int32_t InsertButton = 0;
  int32_t ChangeButton = 0;
  int32_t DeleteButton = 0;
  int32_t SelectButton = 0;
  int32_t LocateButton = 0;

  // Enables each toolbar button whose own button exists and is enabled,
  // and disables the others (select, delete, change, insert, help, locate).
  virtual void DisplayButtons();
  // Makes this target the toolbar's: DisplayButtons.
  virtual void TakeToolbar();
  // TakeToolbar when this target can act now; false when it cannot.
  virtual bool TryTakeToolbar();
  // Help presses F1; insert, change and delete accept the own buttons.
  virtual void TakeEvent(int32_t* VCRRequest, WindowManager& W);
};

// A list's target: the toolbar's navigation buttons scroll the list.
class ToolbarListboxClass final : public ToolbarTarget {
 public:
  BrowseClass* Browse = nullptr;

  // Navigation buttons enabled, history disabled, then the base rule.
  void DisplayButtons() override;
  // The list's tooltips on the toolbar buttons, then DisplayButtons.
  void TakeToolbar() override;
  // Only while the list is visible.
  bool TryTakeToolbar() override;
  // Select completes the window; the navigation buttons scroll the list.
  void TakeEvent(int32_t* VCRRequest, WindowManager& W) override;
};

class ToolbarClass {
 public:
  virtual ~ToolbarClass() = default;

  struct Row {
    int32_t Id = 0;
    ToolbarTarget* Item = nullptr;
  };
  // In Id order; null until Init.
  std::unique_ptr<std::vector<Row>> List;

  // The current target's DisplayButtons.
  virtual void DisplayButtons();
  virtual void Kill();
  // The current target's TakeEvent, when there are targets.
  virtual void TakeEvent(int32_t* VCRRequest, WindowManager& W);

  void Init();
  void AddTarget(ToolbarTarget& T, int32_t Control);
  // With a control: its target takes the toolbar.  With 0: every target
  // is offered it in turn; the last that takes it becomes current.
  void SetTarget(int32_t Control);

 private:
  ToolbarTarget* current_ = nullptr;
};

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_WINDOW_TOOLBAR_H_
