// WindowResizeClass: keeps the controls of a resizable window in a sensible
// place when the user resizes, maximises or restores it.
//
// At Init it records every control's initial rectangle and gives each a
// position strategy and a resize strategy, chosen from the window's overall
// strategy (AppStrategy 1-5) and the control's type.  On every size change
// each control's new rectangle is computed from its initial rectangle, the
// initial and the present rectangle of its parent (the window, or a control
// that encloses it) and its strategies, never from where it stands now: so
// a window taken through any sizes and back to one of them puts every
// control exactly where it was at that size, and at the initial size every
// control gets its initial rectangle back.
//
//   Window window(definition);              // declared before the resizer
//   WindowResizeClass resizer;
//   window.Open();
//   resizer.Init(2, 1, 0);                  // the calling thread's window
//   while (ACCEPT(window)) {
//     if (EVENT() == EVENT::Sized) POST(kResizeEvent);  // the window manager
//   }
//   resizer.Kill();
//
// Events.  The window manager posts kResizeEvent (3FFh) to its own thread
// after EVENT::Sized.  Init registers TakeResize with the window for that
// event, EVENT::Restored, EVENT::GainFocus and EVENT::Maximized, so ACCEPT
// runs it before the program sees them; Kill (or the destructor)
// unregisters it.
//
// Ownership and threads: the procedure owns the resizer; it works on the
// calling thread's current window at Init (TARGET()), which must outlive it
// (Kill, or the destructor, unregisters from that window).  Every method
// runs on the window's thread.
//
// Failures are programming errors and are reported as internal assertions
// (assertion.h): a control missing from the queue, a tab given to
// SetParentDefault, a method other than Init/Kill before Init.
#ifndef ZUNA_FRAMEWORK_WINDOW_WINDOW_RESIZER_H_
#define ZUNA_FRAMEWORK_WINDOW_WINDOW_RESIZER_H_

#include <cstdint>
#include <vector>

#include "runtime/window/engine.h"

namespace zuna::framework {

// Posted by the window manager to its own thread after a resize.
inline constexpr int32_t kResizeEvent = 0x3FF;

// Position strategy: the low byte the horizontal rule, the high byte the
// vertical one (Resize: proportional offset when neither bit is set).
namespace PositionStrategy {
inline constexpr uint16_t FixLeft = 1;        // keep the initial coordinate
inline constexpr uint16_t FixRight = 2;       // keep the distance from the right edge
inline constexpr uint16_t FixNearestLeft = 4; // keep the distance from the left edge
inline constexpr uint16_t FixCentre = 8;      // keep the offset from the centre
inline constexpr uint16_t FixNearestX = 16;   // 4 or 2, whichever edge is nearer
inline constexpr uint16_t MoveHalfX = 32;     // move by half the width change
inline constexpr uint16_t FixTop = 256;
inline constexpr uint16_t FixBottom = 512;
inline constexpr uint16_t FixNearestTop = 1024;
inline constexpr uint16_t FixCentreY = 2048;
inline constexpr uint16_t FixNearestY = 4096;
inline constexpr uint16_t MoveHalfY = 8192;
}  // namespace PositionStrategy

// Resize strategy: bit flags (none: the size is scaled by the parent's).
namespace ResizeStrategy {
inline constexpr uint16_t LockWidth = 1;
inline constexpr uint16_t LockHeight = 2;
inline constexpr uint16_t ConstantRight = 4;   // the right margin is kept
inline constexpr uint16_t ConstantBottom = 8;  // the bottom margin is kept
inline constexpr uint16_t HalfRight = 16;      // right edge moves by half the change
inline constexpr uint16_t HalfBottom = 32;
}  // namespace ResizeStrategy

// A rectangle in dialog units, relative to the window's client area.
struct PositionGroup {
  int32_t XPos = 0;
  int32_t YPos = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  friend bool operator==(const PositionGroup&, const PositionGroup&) = default;
};

struct WindowPositionGroup {
  PositionGroup Pos{};
  uint8_t Maximized = 0;
  uint8_t Iconized = 0;
};

// A row of ControlQueue.
struct ResizeControl {
  int32_t ID = 0;    // control number
  int32_t Type = 0;  // the engine's control type
  uint8_t HasChildren = 0;
  uint16_t PositionalStrategy = 0;
  uint16_t ResizeStrategy = 0;
  PositionGroup Pos{};  // the initial rectangle
  int32_t ParentID = 0; // 0 = the window
};

// A row of ResizeList: one pending move.
struct ResizeMove {
  int32_t Priority = 0;
  int32_t ControlID = 0;
  int32_t Type = 0;
  PositionGroup Before{};
  PositionGroup After{};
};

class WindowResizeClass {
 public:
  WindowResizeClass() = default;
  virtual ~WindowResizeClass() { Kill(); }
  WindowResizeClass(const WindowResizeClass&) = delete;
  WindowResizeClass& operator=(const WindowResizeClass&) = delete;

  // Fields, in the order the framework gives them.
  uint8_t AppStrategy = 0;
  uint8_t AutoTransparent = 0;
  WindowPositionGroup OrigWin{};
  std::vector<ResizeControl> ControlQueue;  // in the engine's control order
  uint8_t DeferMoves = 0;
  PositionGroup PreviousWin{};
  uint8_t ResizeCalled = 0;
  std::vector<ResizeMove> ResizeList;

  // --- Virtual, in slot order. ---

  // The ParentID of `Control` (0 and an assertion when it is not queued).
  virtual int32_t GetParentControl(int32_t Control);
  // Records the window's and every control's present rectangle as the
  // initial ones; controls already queued keep their strategies and parent.
  virtual void Reset();
  // Resize(0).
  virtual void Resize();
  // Moves the children of `Control` (0: every control of the window) to
  // their places for the parent's present rectangle.
  virtual void Resize(int32_t Control);
  // Gives the window its initial maximised and iconised state, width and
  // height (not its position), and every control its initial rectangle.
  virtual void RestoreWindow();
  // SetParentDefault for every queued control.
  virtual void SetParentDefaults();
  // Chooses the parent of control `Control`: the nearest queued container
  // (its Parent property, walked up past tabs), else the smallest queued
  // control whose initial rectangle strictly encloses it, else the window.
  virtual void SetParentDefault(int32_t Control);
  // The new rectangle of `Control` for its parent's present rectangle `P`,
  // the parent's initial rectangle `O` and its own initial one `C`.
  virtual PositionGroup SetPosition(int32_t Control, const PositionGroup& P,
                                    const PositionGroup& O,
                                    const PositionGroup& C);

  // --- Non-virtual. ---

  // Starts on the calling thread's current window: TakeResize registered
  // for the resize events, the window's Imm set, Reset, for strategies 2
  // and 4 SetParentDefaults, the window's minimum (maximum) size set to its
  // initial size when asked, DeferMoves on.  A second Init starts afresh.
  void Init(uint8_t AppStrategy, uint8_t SetWindowMinSize = 0,
            uint8_t SetWindowMaxSize = 0);
  // Unregisters from the window and empties the queues.  Idempotent.
  void Kill();
  // False (and an assertion) when `Control` is not queued.
  bool GetOrigPos(int32_t Control, PositionGroup& pos);
  void GetCurrentPos(int32_t Control, PositionGroup& pos);
  // Strategies of the tables for a control of `type`; with `use_own` set the
  // object's AppStrategy stands for `strategy`.
  uint16_t GetPositionStrategy(int16_t type, uint8_t strategy, uint8_t use_own = 0) const;
  uint16_t GetResizeStrategy(int16_t type, uint8_t strategy, uint8_t use_own = 0) const;
  // The control's present rectangle; for 0 the window's client width and
  // height at the window's position.
  void GetSizeInfo(int32_t Control, PositionGroup& pos);
  // Moves the children of `Parent` (recursively) from the parent's initial
  // rectangle `initial` to its present one `current`, adding ResizeList rows.
  void ResizeChildren(int32_t Parent, const PositionGroup& initial,
                      const PositionGroup& current);
  void RestoreControls();
  void SetParentControl(int32_t Control, int32_t Parent);
  void SetPriorities();
  // Moves and sizes the control when `pos` differs from where it stands.
  void SetSize(int32_t Control, const PositionGroup& pos);
  // The event handler: Resize().  Returns Level::Benign.
  uint8_t TakeResize();

 private:
  ResizeControl* Row(int32_t Control);
  // False (and an assertion) before Init.
  bool Ready();
  void AddControl(int32_t number, int32_t type);
  void ResizeChildrenAt(int32_t Parent, const PositionGroup& initial,
                        const PositionGroup& current, size_t depth);

  window::Window* window_ = nullptr;
  std::vector<int32_t> handler_ids_;
};

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_WINDOW_WINDOW_RESIZER_H_
