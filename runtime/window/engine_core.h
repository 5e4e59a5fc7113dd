// The window engine: the state of every window and logical thread, the
// event queues, the ACCEPT loop and the rules of engine.h, over a Backend
// that shows it.
//
// Ownership.  The program (or a test) makes one Engine over one Backend and
// makes it current; the free functions of engine.h act on the current
// engine.  When none is current, the first use makes a process-wide
// headless one that answers every message box with its default button.  An
// Engine must outlive the threads it started: its destructor ends them
// (Abandon) and joins them.
//
// Threads.  Every member may be called from any thread.  One mutex guards
// all state; it is never held while a backend call, a program variable or a
// hook runs, so a screen thread that calls Input never waits for a
// procedure thread.  Procedure threads block only in ACCEPT, in MESSAGE and
// POPUP, and while the main frame waits for the others to close down.
//
// Thread activity, for WaitIdle:
//   running  – doing the program's work (or about to: an event was queued
//              for its current window, an answer arrived);
//   waiting  – blocked in ACCEPT with nothing to deliver, on an unanswered
//              message box or popup, or in the close-down wait;
//   ended.
// An event is marked for delivery (the thread becomes running) under the
// lock that queues it, so "every thread waiting" is a stable state that
// only outside input (a script, the screen) can leave.
#ifndef ZUNA_RUNTIME_WINDOW_ENGINE_CORE_H_
#define ZUNA_RUNTIME_WINDOW_ENGINE_CORE_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "runtime/window/backend.h"
#include "runtime/window/engine.h"

namespace zuna::window {

namespace internal {
struct ThreadState;
}

// A copy of what one control shows, for scripts and tests.
struct ControlView {
  int32_t number = 0;
  int32_t type = 0;
  std::string label;
  int32_t parent = 0;
  std::map<int32_t, std::string> props;
  std::shared_ptr<const ListRows> rows;
  std::vector<int32_t> alerts;
  // Convenience readings of props.
  std::string text;
  bool disabled = false;
  bool hidden = false;
  bool visible = false;
};

struct WindowView {
  int32_t id = 0;
  WindowKind kind = WindowKind::kMdiChild;
  std::string name;
  std::string title;
  int32_t thread = 0;
  int32_t owner_id = 0;
  int32_t focus = 0;
  bool active = false;
  bool accept_all = false;
  std::map<int32_t, std::string> props;
  std::vector<ControlView> controls;   // [i] is control i + 1
  std::vector<MenuSnapshot> menus;     // [i] is menu −(i + 1)
  std::vector<int32_t> alerts;         // window-wide
  size_t queued_events = 0;
};

// One event handed out by ACCEPT, in the order handed out.
struct DeliveredEvent {
  int32_t thread = 0;
  int32_t window_id = 0;
  int32_t event = 0;
  int32_t field = 0;
  int32_t keycode = 0;
};

class Engine final {
 public:
  explicit Engine(Backend& backend);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // The engine the free functions of engine.h use.  MakeCurrent replaces
  // any other; the destructor of the current engine leaves none current.
  static Engine& Current();
  void MakeCurrent();

  // Run on every logical thread this engine starts (RunMain and START),
  // before and after its procedure: the program's per-thread set-up and
  // tear-down.  Set before starting threads.
  void SetThreadHooks(std::function<void()> on_start,
                      std::function<void()> on_end);

  // Runs `procedure` as thread 1 on a new OS thread and returns at once.
  // `on_exit` runs on that thread after the procedure and the end hook:
  // the Qt program quits its GUI loop there.  False when thread 1 exists.
  bool RunMain(std::function<void()> procedure,
               std::function<void()> on_exit = {});
  // Makes the calling OS thread logical thread 1 (tests that run a
  // procedure straight on the test thread).  False when thread 1 exists.
  bool AttachMainThread();

  // Waits until no thread is running (see above) or `timeout` passes;
  // true when idle.  Started threads that ended count as idle.
  bool WaitIdle(std::chrono::milliseconds timeout);
  // Waits until every started thread has ended, then joins them.
  bool JoinAll(std::chrono::milliseconds timeout);
  // Ends the program's waiting for good: every ACCEPT returns false, every
  // unanswered or later question returns its default.  For tear-down.
  void Abandon();
  bool abandoned() const;

  // --- From the screen (any thread). ---
  // Stores the updates and queues the event the input stands for.  Input
  // for a window that is not open, or not yet on screen, is dropped.
  void Input(int32_t window_id, const UserInput& input);
  // Answers a message box or popup (by request id).  Late or repeated
  // answers are ignored.
  void CompleteModal(int64_t request_id, int32_t result);
  // True when `keycode` is alerted on `control` or on the window.
  bool IsAlerted(int32_t window_id, int32_t control, int32_t keycode) const;

  // --- Observation (any thread). ---
  std::vector<int32_t> WindowIds() const;  // open windows, in opening order
  std::optional<WindowView> ReadWindow(int32_t window_id) const;
  int32_t ActiveWindow() const;
  int32_t TopWindowOf(int32_t thread) const;  // 0 when it has none
  std::vector<int32_t> LiveThreads() const;   // started, not ended
  std::vector<DeliveredEvent> Deliveries() const;
  void ClearDeliveries();

  // --- Used by engine.h's Window and free functions. ---
  bool OpenWindow(Window& window, const Window* owner);
  bool IsOpen(const Window& window) const;
  int32_t IdOf(const Window& window) const;
  void CloseWindow(Window& window);
  bool Accept(Window& window);
  void Cycle();
  int32_t CurrentEvent() const;
  int32_t CurrentField() const;
  int32_t KeyCode() const;
  int32_t KeyChar() const;
  void SetKeyCode(int32_t keycode);
  bool Post(int32_t event, int32_t control, int32_t thread);
  bool Notify(int32_t code, int32_t thread, int32_t parameter);
  bool TakeNotification(int32_t& code, int32_t& thread, int32_t& parameter);
  int32_t Start(std::function<void()> procedure);
  int32_t ThreadNumber();
  Window* Target();
  int32_t Ask(ModalRequest request);  // MESSAGE and POPUP
  void Beep();
  void SetCursor(int32_t cursor);

  void Display(Window& window, int32_t control);
  bool Update(Window& window, int32_t control);
  void Select(Window& window, int32_t control);
  std::string Prop(const Window& window, int32_t control, int32_t prop) const;
  void SetProp(Window& window, int32_t control, int32_t prop,
               std::string_view value);
  void Alert(Window& window, int32_t control, int32_t keycode, bool add);
  void StartAcceptAll(Window& window);
  bool IsAcceptAll(const Window& window) const;
  int32_t CreateControl(Window& window, ControlDefinition control);
  void Rebind(Window& window, const Window::Binding& binding);
  void RebindList(Window& window, int32_t control, const ListSource* rows);

 // The engine's state; public only so the engine's own files can name it.
  struct Impl;

 private:
  void DisplayControls(Window& window, int32_t control, bool only_changed);
  void RedisplayChanged(Window& window) { DisplayControls(window, 0, true); }
  bool CloseDownOthers(std::unique_lock<std::mutex>& lock,
                       internal::ThreadState& self);

  std::unique_ptr<Impl> impl_;
};

// Makes an engine current for a scope and restores the previous one.
class ScopedCurrentEngine final {
 public:
  explicit ScopedCurrentEngine(Engine& engine);
  ~ScopedCurrentEngine();
  ScopedCurrentEngine(const ScopedCurrentEngine&) = delete;
  ScopedCurrentEngine& operator=(const ScopedCurrentEngine&) = delete;

 private:
  Engine* previous_;
};

}  // namespace zuna::window

#endif  // ZUNA_RUNTIME_WINDOW_ENGINE_CORE_H_
