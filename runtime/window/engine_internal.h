// The engine's state of windows and logical threads.  Only engine_*.cpp
// include this; every field is guarded by Engine::Impl::mu unless its
// comment says otherwise.
#ifndef ZUNA_RUNTIME_WINDOW_ENGINE_INTERNAL_H_
#define ZUNA_RUNTIME_WINDOW_ENGINE_INTERNAL_H_

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/values/picture.h"
#include "runtime/values/variable.h"
#include "runtime/window/backend.h"
#include "runtime/window/engine_core.h"

namespace zuna::window::internal {

struct QueuedEvent {
  int32_t code = 0;
  int32_t field = 0;
  int32_t keycode = 0;
  int32_t keychar = 0;
  // An EVENT::Accepted the accept-all pass queued: only its default action
  // moves the pass on (the OK button's own Accepted, during which the pass
  // starts, must not).
  bool of_accept_all = false;
};

struct ControlModel {
  int32_t number = 0;
  int32_t type = 0;
  std::string label;
  int32_t parent = 0;
  std::map<int32_t, std::string> props;
  // List boxes.
  std::vector<ListColumn> columns;
  std::vector<values::Picture> column_pictures;
  const ListSource* list = nullptr;
  std::shared_ptr<const ListRows> rows;
  // The bound variable: read and written only on the owning thread, with
  // the lock released.
  bool bound = false;
  values::VariableRef variable;
  values::Picture picture;
  std::string use_label;
  // The text DISPLAY showed last, for ACCEPT's redisplay of changed values.
  bool has_shown = false;
  std::string shown;
  // The user changed the text since it was last shown or taken.
  bool edited = false;
  std::vector<int32_t> alerts;
};

struct MenuModel {
  MenuSnapshot snapshot;
  std::string label;
  std::map<int32_t, std::string> props;
};

struct WindowModel {
  int32_t id = 0;
  WindowKind kind = WindowKind::kMdiChild;
  std::string name;
  int32_t thread = 0;
  int32_t owner_id = 0;
  Window* handle = nullptr;  // the program's object; alive while open
  std::map<int32_t, std::string> props;
  std::vector<ControlModel> controls;  // [i] is control i + 1
  std::vector<MenuModel> menus;        // [i] is menu −(i + 1)
  std::deque<QueuedEvent> queue;
  std::vector<int32_t> alerts;         // window-wide
  bool open = true;
  bool realized = false;  // on screen: input is taken from now on
  int32_t focus = 0;
  bool accept_all = false;
  // The event ACCEPT handed out last and not yet given its default action.
  bool has_pending_default = false;
  bool cycled = false;
  QueuedEvent last;
  // The event ACCEPT handed out last, kept to restore EVENT() and FIELD()
  // when a window opened above this one closes.
  bool has_delivered = false;
  QueuedEvent delivered;
  // Moves and sizes held back while the window's DeferMove is not 0, shown
  // together when it is set back to 0.
  std::vector<Delta> deferred_moves;

  ControlModel* control(int32_t number) {
    if (number < 1 || number > static_cast<int32_t>(controls.size())) return nullptr;
    return &controls[number - 1];
  }
  const ControlModel* control(int32_t number) const {
    if (number < 1 || number > static_cast<int32_t>(controls.size())) return nullptr;
    return &controls[number - 1];
  }
  MenuModel* menu(int32_t number) {
    if (number > -1 || -number > static_cast<int32_t>(menus.size())) return nullptr;
    return &menus[-number - 1];
  }
};

struct Notification {
  int32_t code = 0;
  int32_t thread = 0;
  int32_t parameter = 0;
};

enum class Activity : uint8_t {
  kRunning,
  kInAccept,      // blocked in ACCEPT with nothing to deliver
  kInModal,       // blocked on a message box or popup
  kInCloseDown,   // the frame waiting for the others to close down
  kEnded,
};

struct ThreadState {
  int32_t number = 0;
  bool started = false;  // by RunMain or START: counts for WaitIdle
  Activity activity = Activity::kRunning;
  std::vector<std::shared_ptr<WindowModel>> windows;  // current window last
  QueuedEvent current;
  int32_t keycode = 0;
  int32_t keychar = 0;
  std::deque<Notification> notifications;
  std::condition_variable cv;
  // The question this thread waits on.
  int64_t modal_id = 0;
  bool modal_answered = false;
  int32_t modal_result = 0;
  // Close-down: set when this thread cycled an EVENT::CloseDown.
  bool refused_close_down = false;

  bool waiting() const {
    return activity == Activity::kInAccept || activity == Activity::kInModal ||
           activity == Activity::kInCloseDown || activity == Activity::kEnded;
  }
};

}  // namespace zuna::window::internal

namespace zuna::window {

struct Engine::Impl {
  explicit Impl(Backend& b) : backend(b) {}
  Backend& backend;
  uint64_t serial = 0;  // tells this engine's thread bindings from others'
  mutable std::mutex mu;
  std::condition_variable idle_cv;  // activity changes, thread ends
  std::map<int32_t, std::shared_ptr<internal::ThreadState>> threads;
  std::map<int32_t, std::shared_ptr<internal::WindowModel>> windows;
  std::vector<int32_t> window_order;  // open windows, in opening order
  int32_t next_window_id = 1;
  int32_t next_thread = 2;  // 1 is the main frame's
  int64_t next_request = 1;
  int32_t application_id = 0;
  // The frame is closing down: from asking the other threads until it is
  // gone (or one of them refused).  A thread without a window may not open
  // one meanwhile: nobody would ask it to close, and on screen it would be
  // built into a frame about to go.
  bool frame_closing = false;
  int32_t active_id = 0;
  std::map<int64_t, std::shared_ptr<internal::ThreadState>> questions;
  std::vector<DeliveredEvent> deliveries;
  bool abandoned = false;
  std::function<void()> on_start;
  std::function<void()> on_end;
  // Not guarded by mu: touched only by the thread that starts threads and
  // the one that joins them, which JoinAll keeps apart.
  std::mutex os_threads_mu;
  std::vector<std::thread> os_threads;
};

namespace internal {

// Helpers shared by the engine's files; each REQUIRES impl.mu held.

// The calling OS thread's logical thread, attached on first use.
ThreadState& Self(Engine::Impl& impl);
// Queues an event for a window; when the window is its thread's current
// one and the thread waits in ACCEPT, the thread becomes running at once.
// `coalesce`: an identical event already queued absorbs this one.
void QueueEvent(Engine::Impl& impl, WindowModel& window, QueuedEvent event,
                bool coalesce = false);
// The thread owning a window; nullptr once it ended.
ThreadState* OwnerOf(Engine::Impl& impl, const WindowModel& window);
// The thread of the newest open plain (modal) window, 0 when none.
int32_t ModalThread(const Engine::Impl& impl);
// Makes `window_id` the active window: LoseFocus to the old one, GainFocus
// to the new one.  Nothing when it already is.
void Activate(Engine::Impl& impl, int32_t window_id);
// A property as the program reads it (computed ones included).
std::string ReadProp(const Engine::Impl& impl, const WindowModel& window,
                     int32_t control, int32_t prop);
ControlSnapshot SnapshotOf(const ControlModel& control);
ControlView ViewOf(const Engine::Impl& impl, const WindowModel& window,
                   const ControlModel& control);
// Builds a control's model from its definition.
ControlModel MakeControl(const ControlDefinition& definition, int32_t number);
// Controls whose text the user edits and ACCEPT takes into the variable.
bool IsEntryLike(int32_t type);
// Lines a list box shows at its height, by the headless metrics (a line is
// 8 dialog units; the header, when there is one, takes one more).
int32_t ListLinesFor(int32_t height, bool has_headers);
// Keeps a list's highlighted row among the rows shown (YOrigin).
void KeepChoiceShown(ControlModel& list);

inline constexpr int32_t kListLineDlu = 8;

}  // namespace internal
}  // namespace zuna::window

#endif  // ZUNA_RUNTIME_WINDOW_ENGINE_INTERNAL_H_
