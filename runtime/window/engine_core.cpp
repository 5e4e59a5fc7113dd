// The engine's threads, windows and event loop.  Controls, properties and
// views are in engine_controls.cpp.
#include "runtime/window/engine_core.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "runtime/values/error_state.h"
#include "runtime/window/engine_internal.h"

namespace zuna::window {

using internal::Activity;
using internal::ControlModel;
using internal::QueuedEvent;
using internal::ThreadState;
using internal::WindowModel;

namespace {

std::atomic<uint64_t> g_next_serial{1};
std::atomic<Engine*> g_current{nullptr};

// The logical thread an OS thread is, per engine.  A binding left by an
// engine that is gone has another serial and is replaced on next use.
struct ThreadBinding {
  uint64_t serial = 0;
  std::shared_ptr<ThreadState> state;
};
thread_local ThreadBinding tls_binding;

// The engine used when the program made none current: shows nothing and
// answers every question with its default.
class UnattendedBackend final : public Backend {
 public:
  void Attach(Engine* engine) { engine_ = engine; }
  std::optional<std::vector<PropUpdate>> Realize(const WindowSnapshot&) override {
    return std::vector<PropUpdate>{};
  }
  void Apply(int32_t, std::vector<Delta>) override {}
  void Destroy(int32_t) override {}
  void RunModal(const ModalRequest& request) override {
    engine_->CompleteModal(request.id, request.kind == ModalRequest::Kind::kPopup
                                           ? 0
                                           : request.default_button);
  }

 private:
  Engine* engine_ = nullptr;
};

int32_t DefaultAnswer(const ModalRequest& request) {
  return request.kind == ModalRequest::Kind::kPopup ? 0 : request.default_button;
}

bool IsCloseEvent(int32_t code) {
  return code == EVENT::CloseWindow || code == EVENT::CloseDown;
}

// A thread ended or refused to close down: the frame waiting for the
// others has something to look at.  REQUIRES impl.mu held.
void WakeCloseDownWaiters(Engine::Impl& impl) {
  for (auto& [number, state] : impl.threads) {
    if (state->activity == Activity::kInCloseDown) state->activity = Activity::kRunning;
  }
  impl.idle_cv.notify_all();
}

int32_t OpenFailureCode(WindowKind kind) {
  switch (kind) {
    case WindowKind::kApplication:
      return WindowError::kApplicationFailed;
    case WindowKind::kMdiChild:
      return WindowError::kMdiFailed;
    case WindowKind::kModal:
      break;
  }
  return WindowError::kWindowFailed;
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared helpers (impl.mu held).

namespace internal {

ThreadState& Self(Engine::Impl& impl) {
  if (tls_binding.serial == impl.serial && tls_binding.state) {
    return *tls_binding.state;
  }
  auto state = std::make_shared<ThreadState>();
  state->number = impl.next_thread++;
  impl.threads[state->number] = state;
  tls_binding = ThreadBinding{impl.serial, state};
  return *state;
}

ThreadState* OwnerOf(Engine::Impl& impl, const WindowModel& window) {
  auto it = impl.threads.find(window.thread);
  return it == impl.threads.end() ? nullptr : it->second.get();
}

void QueueEvent(Engine::Impl& impl, WindowModel& window, QueuedEvent event,
                bool coalesce) {
  if (!window.open) return;
  if (coalesce) {
    for (const QueuedEvent& queued : window.queue) {
      if (queued.code == event.code && queued.field == event.field) return;
    }
  }
  window.queue.push_back(event);
  ThreadState* owner = OwnerOf(impl, window);
  if (owner == nullptr || owner->windows.empty()) return;
  if (owner->windows.back().get() != &window) return;  // waits beneath
  if (owner->activity == Activity::kInAccept) {
    owner->activity = Activity::kRunning;
    owner->cv.notify_all();
  }
}

int32_t ModalThread(const Engine::Impl& impl) {
  for (auto it = impl.window_order.rbegin(); it != impl.window_order.rend(); ++it) {
    auto found = impl.windows.find(*it);
    if (found != impl.windows.end() && found->second->kind == WindowKind::kModal) {
      return found->second->thread;
    }
  }
  return 0;
}

void Activate(Engine::Impl& impl, int32_t window_id) {
  if (impl.active_id == window_id) return;
  auto old = impl.windows.find(impl.active_id);
  if (old != impl.windows.end() && old->second->open) {
    QueueEvent(impl, *old->second, QueuedEvent{EVENT::LoseFocus, 0, 0, 0});
  }
  impl.active_id = window_id;
  auto now = impl.windows.find(window_id);
  if (now != impl.windows.end()) {
    QueueEvent(impl, *now->second, QueuedEvent{EVENT::GainFocus, 0, 0, 0});
  }
}

}  // namespace internal

// ---------------------------------------------------------------------------
// Life and currency.

Engine::Engine(Backend& backend) : impl_(std::make_unique<Impl>(backend)) {
  impl_->serial = g_next_serial.fetch_add(1);
}

Engine::~Engine() {
  Abandon();
  JoinAll(std::chrono::hours(1));
  Engine* self = this;
  g_current.compare_exchange_strong(self, nullptr);
}

Engine& Engine::Current() {
  Engine* engine = g_current.load();
  if (engine != nullptr) return *engine;
  // Made once, never destroyed: threads of a program that never chose an
  // engine may still be running while statics are torn down.
  static UnattendedBackend* backend = new UnattendedBackend;
  static Engine* unattended = [] {
    auto* made = new Engine(*backend);
    backend->Attach(made);
    return made;
  }();
  Engine* expected = nullptr;
  g_current.compare_exchange_strong(expected, unattended);
  return *g_current.load();
}

void Engine::MakeCurrent() { g_current.store(this); }

ScopedCurrentEngine::ScopedCurrentEngine(Engine& engine)
    : previous_(g_current.load()) {
  engine.MakeCurrent();
}

ScopedCurrentEngine::~ScopedCurrentEngine() { g_current.store(previous_); }

void Engine::SetThreadHooks(std::function<void()> on_start,
                            std::function<void()> on_end) {
  std::lock_guard lock(impl_->mu);
  impl_->on_start = std::move(on_start);
  impl_->on_end = std::move(on_end);
}

// ---------------------------------------------------------------------------
// Threads.

namespace {

// The body of every thread the engine starts.
void RunLogicalThread(Engine& engine, Engine::Impl& impl,
                      std::shared_ptr<ThreadState> state,
                      std::function<void()> procedure,
                      std::function<void()> on_exit) {
  tls_binding = ThreadBinding{impl.serial, state};
  std::function<void()> on_start;
  std::function<void()> on_end;
  {
    std::lock_guard lock(impl.mu);
    on_start = impl.on_start;
    on_end = impl.on_end;
  }
  if (on_start) on_start();
  procedure();
  // Windows the procedure left open close with it, newest first.
  for (;;) {
    Window* handle = nullptr;
    {
      std::lock_guard lock(impl.mu);
      if (state->windows.empty()) break;
      handle = state->windows.back()->handle;
    }
    engine.CloseWindow(*handle);
  }
  if (on_end) on_end();
  {
    std::lock_guard lock(impl.mu);
    state->activity = Activity::kEnded;
    impl.threads.erase(state->number);
    WakeCloseDownWaiters(impl);
  }
  if (on_exit) on_exit();
  tls_binding = ThreadBinding{};
}

}  // namespace

bool Engine::RunMain(std::function<void()> procedure,
                     std::function<void()> on_exit) {
  std::lock_guard lock(impl_->mu);
  if (impl_->threads.count(1) != 0) return false;
  auto state = std::make_shared<ThreadState>();
  state->number = 1;
  state->started = true;
  impl_->threads[1] = state;
  std::lock_guard os_lock(impl_->os_threads_mu);
  impl_->os_threads.emplace_back(RunLogicalThread, std::ref(*this), std::ref(*impl_),
                                 state, std::move(procedure), std::move(on_exit));
  return true;
}

bool Engine::AttachMainThread() {
  std::lock_guard lock(impl_->mu);
  if (impl_->threads.count(1) != 0) return false;
  if (tls_binding.serial == impl_->serial && tls_binding.state) {
    impl_->threads.erase(tls_binding.state->number);
  }
  auto state = std::make_shared<ThreadState>();
  state->number = 1;
  impl_->threads[1] = state;
  tls_binding = ThreadBinding{impl_->serial, state};
  return true;
}

int32_t Engine::Start(std::function<void()> procedure) {
  std::lock_guard lock(impl_->mu);
  auto state = std::make_shared<ThreadState>();
  state->number = impl_->next_thread++;
  state->started = true;
  impl_->threads[state->number] = state;
  std::lock_guard os_lock(impl_->os_threads_mu);
  impl_->os_threads.emplace_back(RunLogicalThread, std::ref(*this), std::ref(*impl_),
                                 state, std::move(procedure), std::function<void()>{});
  return state->number;
}

int32_t Engine::ThreadNumber() {
  std::lock_guard lock(impl_->mu);
  return internal::Self(*impl_).number;
}

bool Engine::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(impl_->mu);
  return impl_->idle_cv.wait_for(lock, timeout, [&] {
    for (const auto& [number, state] : impl_->threads) {
      if (state->started && !state->waiting()) return false;
    }
    return true;
  });
}

bool Engine::JoinAll(std::chrono::milliseconds timeout) {
  {
    std::unique_lock lock(impl_->mu);
    bool ended = impl_->idle_cv.wait_for(lock, timeout, [&] {
      for (const auto& [number, state] : impl_->threads) {
        if (state->started) return false;
      }
      return true;
    });
    if (!ended) return false;
  }
  std::vector<std::thread> finished;
  {
    std::lock_guard os_lock(impl_->os_threads_mu);
    finished.swap(impl_->os_threads);
  }
  for (std::thread& thread : finished) {
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) {
      thread.join();
    } else if (thread.joinable()) {
      thread.detach();
    }
  }
  return true;
}

void Engine::Abandon() {
  std::lock_guard lock(impl_->mu);
  impl_->abandoned = true;
  for (auto& [number, state] : impl_->threads) state->cv.notify_all();
  impl_->idle_cv.notify_all();
}

bool Engine::abandoned() const {
  std::lock_guard lock(impl_->mu);
  return impl_->abandoned;
}

std::vector<int32_t> Engine::LiveThreads() const {
  std::lock_guard lock(impl_->mu);
  std::vector<int32_t> live;
  for (const auto& [number, state] : impl_->threads) {
    if (state->started) live.push_back(number);
  }
  return live;
}

// ---------------------------------------------------------------------------
// Opening and closing.

bool Engine::OpenWindow(Window& window, const Window* owner) {
  const WindowDefinition& definition = window.definition_;
  std::shared_ptr<WindowModel> model;
  {
    std::lock_guard lock(impl_->mu);
    ThreadState& self = internal::Self(*impl_);
    if (window.model_ && window.model_->open) {
      values::PostError(WindowError::kAlreadyOpen);
      return false;
    }
    if (impl_->frame_closing && self.windows.empty() &&
        definition.kind != WindowKind::kApplication) {
      values::PostError(OpenFailureCode(definition.kind));
      return false;
    }
    int32_t modal_thread = internal::ModalThread(*impl_);
    bool modal_elsewhere = modal_thread != 0 && modal_thread != self.number;
    switch (definition.kind) {
      case WindowKind::kApplication:
        if (impl_->application_id != 0) {
          values::PostError(WindowError::kApplicationActive);
          return false;
        }
        if (modal_elsewhere) {
          values::PostError(WindowError::kApplicationModal);
          return false;
        }
        break;
      case WindowKind::kMdiChild: {
        auto app = impl_->windows.find(impl_->application_id);
        if (app == impl_->windows.end()) {
          values::PostError(WindowError::kNoApplication);
          return false;
        }
        if (app->second->thread == self.number) {
          values::PostError(WindowError::kMdiOnApplicationThread);
          return false;
        }
        if (modal_elsewhere) {
          values::PostError(WindowError::kMdiModal);
          return false;
        }
        break;
      }
      case WindowKind::kModal:
        break;
    }

    model = std::make_shared<WindowModel>();
    model->id = impl_->next_window_id++;
    model->kind = definition.kind;
    model->name = definition.name;
    model->thread = self.number;
    model->owner_id = owner != nullptr ? owner->Id() : 0;
    model->handle = &window;
    model->props[PROP::Text] = definition.title;
    model->props[PROP::Width] = std::to_string(definition.width);
    model->props[PROP::Height] = std::to_string(definition.height);
    model->props[PROP::ClientWidth] = std::to_string(definition.width);
    model->props[PROP::ClientHeight] = std::to_string(definition.height);
    model->props[PROP::Imm] = definition.imm ? "1" : "0";
    if (!definition.icon.empty()) model->props[PROP::Icon] = definition.icon;
    for (size_t i = 0; i < definition.controls.size(); ++i) {
      model->controls.push_back(
          internal::MakeControl(definition.controls[i], static_cast<int32_t>(i + 1)));
    }
    for (size_t i = 0; i < definition.menus.size(); ++i) {
      const MenuDefinition& menu = definition.menus[i];
      internal::MenuModel made;
      made.snapshot.number = -static_cast<int32_t>(i + 1);
      made.snapshot.parent = menu.parent;
      made.snapshot.is_menu = menu.is_menu;
      made.snapshot.separator = menu.separator;
      made.snapshot.text = menu.text;
      made.snapshot.action = menu.action;
      made.snapshot.msg = menu.msg;
      made.label = menu.label;
      made.props[PROP::Text] = menu.text;
      if (!menu.msg.empty()) made.props[PROP::Msg] = menu.msg;
      model->menus.push_back(std::move(made));
    }
    for (const Window::Binding& binding : window.bindings_) {
      ControlModel* control = model->control(binding.control);
      if (control == nullptr) continue;
      control->bound = true;
      control->variable = binding.variable;
      control->use_label = binding.label;
      if (binding.has_picture) {
        control->picture = values::CompilePicture(binding.picture);
        control->props[PROP::Picture] = binding.picture;
      }
    }
    for (const auto& [number, rows] : window.lists_) {
      ControlModel* control = model->control(number);
      if (control != nullptr) control->list = rows;
    }
    window.model_ = model;
    impl_->windows[model->id] = model;
    impl_->window_order.push_back(model->id);
    self.windows.push_back(model);
    if (model->kind == WindowKind::kApplication) impl_->application_id = model->id;
  }

  // The first display, before the window is shown, so it never shows
  // stale or empty values.
  Display(window, 0);

  WindowSnapshot snapshot;
  {
    std::lock_guard lock(impl_->mu);
    snapshot.id = model->id;
    snapshot.kind = model->kind;
    snapshot.thread = model->thread;
    snapshot.owner_id = model->owner_id;
    snapshot.name = model->name;
    snapshot.title = definition.title;
    snapshot.width = definition.width;
    snapshot.height = definition.height;
    snapshot.font = definition.font;
    snapshot.font_size = definition.font_size;
    snapshot.icon = definition.icon;
    snapshot.wallpaper = definition.wallpaper;
    snapshot.props = model->props;
    for (const ControlModel& control : model->controls) {
      snapshot.controls.push_back(internal::SnapshotOf(control));
    }
    for (const internal::MenuModel& menu : model->menus) {
      snapshot.menus.push_back(menu.snapshot);
    }
  }

  std::optional<std::vector<PropUpdate>> measured =
      impl_->backend.Realize(snapshot);

  std::lock_guard lock(impl_->mu);
  ThreadState& self = internal::Self(*impl_);
  if (!measured) {
    model->open = false;
    impl_->windows.erase(model->id);
    std::erase(impl_->window_order, model->id);
    std::erase(self.windows, model);
    if (impl_->application_id == model->id) impl_->application_id = 0;
    window.model_.reset();
    values::PostError(OpenFailureCode(definition.kind));
    return false;
  }
  for (const PropUpdate& update : *measured) {
    if (update.control == 0) {
      model->props[update.prop] = update.value;
    } else if (ControlModel* control = model->control(update.control)) {
      control->props[update.prop] = update.value;
    }
  }
  model->realized = true;
  internal::QueueEvent(*impl_, *model, QueuedEvent{EVENT::OpenWindow, 0, 0, 0});
  internal::Activate(*impl_, model->id);
  internal::QueueEvent(*impl_, *model, QueuedEvent{EVENT::Sized, 0, 0, 0});
  values::ClearError();
  return true;
}

void Engine::CloseWindow(Window& window) {
  std::shared_ptr<WindowModel> model;
  {
    std::lock_guard lock(impl_->mu);
    model = window.model_;
    if (!model || !model->open) {
      values::PostError(WindowError::kNotOpen);
      return;
    }
    ThreadState& self = internal::Self(*impl_);
    if (model->thread != self.number) {
      values::PostError(WindowError::kNotCurrentThread);
      return;
    }
    model->open = false;
    model->queue.clear();
    impl_->windows.erase(model->id);
    std::erase(impl_->window_order, model->id);
    bool was_current = !self.windows.empty() && self.windows.back() == model;
    std::erase(self.windows, model);
    if (impl_->application_id == model->id) {
      impl_->application_id = 0;
      impl_->frame_closing = false;
    }
    window.model_.reset();
    if (was_current && !self.windows.empty()) {
      const WindowModel& beneath = *self.windows.back();
      self.current = beneath.has_delivered ? beneath.delivered : QueuedEvent{};
    }
    if (impl_->active_id == model->id) {
      // Focus passes to the window beneath on the same thread, else to the
      // newest other window.
      int32_t next = 0;
      if (!self.windows.empty()) {
        next = self.windows.back()->id;
      } else {
        for (auto it = impl_->window_order.rbegin(); it != impl_->window_order.rend(); ++it) {
          if (*it != impl_->application_id) {
            next = *it;
            break;
          }
        }
        if (next == 0) next = impl_->application_id;
      }
      impl_->active_id = 0;
      if (next != 0) internal::Activate(*impl_, next);
    }
    impl_->idle_cv.notify_all();
  }
  impl_->backend.Destroy(model->id);
}

// ---------------------------------------------------------------------------
// The event loop.

namespace {

// The next control after `after` that the accept-all pass visits; 0 when
// none is left.
int32_t NextAcceptAllControl(const Engine::Impl& impl, const WindowModel& window,
                             int32_t after) {
  for (int32_t number = after + 1;
       number <= static_cast<int32_t>(window.controls.size()); ++number) {
    const ControlModel& control = window.controls[number - 1];
    if (!internal::IsEntryLike(control.type)) continue;
    if (internal::ReadProp(impl, window, number, PROP::Disable) == "1") continue;
    if (internal::ReadProp(impl, window, number, PROP::Visible) != "1") continue;
    return number;
  }
  return 0;
}

}  // namespace

void Engine::StartAcceptAll(Window& window) {
  std::lock_guard lock(impl_->mu);
  auto model = window.model_;
  if (!model || !model->open) {
    values::PostError(WindowError::kNotOpen);
    return;
  }
  model->accept_all = true;
  int32_t first = NextAcceptAllControl(*impl_, *model, 0);
  if (first != 0) {
    internal::QueueEvent(*impl_, *model, QueuedEvent{EVENT::Accepted, first, 0, 0, true});
  } else {
    model->accept_all = false;
    internal::QueueEvent(*impl_, *model, QueuedEvent{EVENT::Completed, 0, 0, 0});
  }
}

bool Engine::IsAcceptAll(const Window& window) const {
  std::lock_guard lock(impl_->mu);
  return window.model_ && window.model_->accept_all;
}

bool Engine::Accept(Window& window) {
  std::unique_lock lock(impl_->mu);
  ThreadState& self = internal::Self(*impl_);
  if (impl_->abandoned) return false;
  std::shared_ptr<WindowModel> model = window.model_;
  if (!model || !model->open) {
    values::PostError(self.windows.empty() ? WindowError::kAcceptNeedsWindow
                                           : WindowError::kNotOpen);
    return false;
  }
  if (model->thread != self.number) {
    values::PostError(WindowError::kNotCurrentThread);
    return false;
  }
  if (self.windows.back() != model) {
    values::PostError(WindowError::kAcceptModal);
    return false;
  }

  // The default action of the event handed out last.
  if (model->has_pending_default) {
    model->has_pending_default = false;
    QueuedEvent last = model->last;
    if (model->cycled) {
      if (last.code == EVENT::CloseDown) {
        self.refused_close_down = true;
        WakeCloseDownWaiters(*impl_);
      }
      if (last.code == EVENT::Accepted && last.of_accept_all) model->accept_all = false;
    } else if (IsCloseEvent(last.code)) {
      bool close = true;
      if (model->kind == WindowKind::kApplication) {
        close = CloseDownOthers(lock, self);
      }
      if (close) {
        lock.unlock();
        CloseWindow(window);
        return false;
      }
    } else if (last.code == EVENT::Accepted && last.of_accept_all && model->accept_all) {
      int32_t next = NextAcceptAllControl(*impl_, *model, last.field);
      if (next != 0) {
        internal::QueueEvent(*impl_, *model, QueuedEvent{EVENT::Accepted, next, 0, 0, true});
      } else {
        model->accept_all = false;
        internal::QueueEvent(*impl_, *model, QueuedEvent{EVENT::Completed, 0, 0, 0});
      }
    }
  }

  lock.unlock();
  RedisplayChanged(window);
  lock.lock();
  if (!model->open) return false;

  while (model->queue.empty() && !impl_->abandoned) {
    self.activity = Activity::kInAccept;
    impl_->idle_cv.notify_all();
    self.cv.wait(lock);
  }
  self.activity = Activity::kRunning;
  if (impl_->abandoned) return false;

  QueuedEvent event = model->queue.front();
  model->queue.pop_front();

  // An accepted entry first gives its text to the variable.
  if (event.code == EVENT::Accepted) {
    ControlModel* control = model->control(event.field);
    if (control != nullptr && control->bound && control->edited &&
        internal::IsEntryLike(control->type)) {
      std::string text = control->props[PROP::Text];
      values::VariableRef variable = control->variable;
      values::Picture picture = control->picture;
      lock.unlock();
      bool valid = DeformatIntoVariable(text, variable, picture);
      lock.lock();
      if (valid) {
        control->edited = false;
        control->has_shown = false;  // show it again in its picture's form
      } else {
        event.code = EVENT::Rejected;
        model->accept_all = false;
      }
    }
  }

  self.current = event;
  if (event.keycode != 0) {
    self.keycode = event.keycode;
    self.keychar = event.keychar;
  }
  model->has_pending_default = true;
  model->cycled = false;
  model->last = event;
  model->has_delivered = true;
  model->delivered = event;
  impl_->deliveries.push_back(
      DeliveredEvent{self.number, model->id, event.code, event.field, event.keycode});
  return true;
}

bool Engine::CloseDownOthers(std::unique_lock<std::mutex>& lock, ThreadState& self) {
  std::vector<std::shared_ptr<ThreadState>> asked;
  for (auto& [number, state] : impl_->threads) {
    if (state.get() == &self || state->windows.empty()) continue;
    state->refused_close_down = false;
    for (auto& window : state->windows) {
      internal::QueueEvent(*impl_, *window, QueuedEvent{EVENT::CloseDown, 0, 0, 0});
    }
    asked.push_back(state);
  }
  impl_->frame_closing = true;
  if (asked.empty()) return true;
  bool refused = false;
  auto decided = [&] {
    if (impl_->abandoned) return true;
    bool all_ended = true;
    for (const auto& state : asked) {
      if (state->refused_close_down) refused = true;
      if (state->activity != Activity::kEnded) all_ended = false;
    }
    return refused || all_ended;
  };
  // Whoever makes the answer known (a thread ending or refusing) marks
  // this thread running again (WakeCloseDownWaiters), so WaitIdle never
  // sees it waiting once it has something to do.
  while (!decided()) {
    self.activity = Activity::kInCloseDown;
    impl_->idle_cv.notify_all();
    impl_->idle_cv.wait(lock);
  }
  self.activity = Activity::kRunning;
  if (refused) impl_->frame_closing = false;
  return !refused;
}

void Engine::Cycle() {
  std::lock_guard lock(impl_->mu);
  ThreadState& self = internal::Self(*impl_);
  if (self.windows.empty()) return;
  WindowModel& top = *self.windows.back();
  if (top.has_pending_default) top.cycled = true;
}

int32_t Engine::CurrentEvent() const {
  std::lock_guard lock(impl_->mu);
  return internal::Self(*impl_).current.code;
}

int32_t Engine::CurrentField() const {
  std::lock_guard lock(impl_->mu);
  return internal::Self(*impl_).current.field;
}

int32_t Engine::KeyCode() const {
  std::lock_guard lock(impl_->mu);
  return internal::Self(*impl_).keycode;
}

int32_t Engine::KeyChar() const {
  std::lock_guard lock(impl_->mu);
  return internal::Self(*impl_).keychar;
}

void Engine::SetKeyCode(int32_t keycode) {
  std::lock_guard lock(impl_->mu);
  ThreadState& self = internal::Self(*impl_);
  self.keycode = keycode;
  if (keycode == 0) self.keychar = 0;
}

bool Engine::Post(int32_t event, int32_t control, int32_t thread) {
  std::lock_guard lock(impl_->mu);
  ThreadState* target = nullptr;
  if (thread == 0) {
    target = &internal::Self(*impl_);
  } else {
    auto it = impl_->threads.find(thread);
    if (it != impl_->threads.end()) target = it->second.get();
  }
  if (target == nullptr || target->windows.empty()) return false;
  internal::QueueEvent(*impl_, *target->windows.back(),
                       QueuedEvent{event, control, 0, 0});
  return true;
}

bool Engine::Notify(int32_t code, int32_t thread, int32_t parameter) {
  std::lock_guard lock(impl_->mu);
  ThreadState& self = internal::Self(*impl_);
  auto it = impl_->threads.find(thread);
  if (it == impl_->threads.end() || it->second->windows.empty()) return false;
  it->second->notifications.push_back(internal::Notification{code, self.number, parameter});
  internal::QueueEvent(*impl_, *it->second->windows.back(),
                       QueuedEvent{EVENT::Notify, 0, 0, 0});
  return true;
}

bool Engine::TakeNotification(int32_t& code, int32_t& thread, int32_t& parameter) {
  std::lock_guard lock(impl_->mu);
  ThreadState& self = internal::Self(*impl_);
  if (self.notifications.empty()) return false;
  internal::Notification taken = self.notifications.front();
  self.notifications.pop_front();
  code = taken.code;
  thread = taken.thread;
  parameter = taken.parameter;
  return true;
}

Window* Engine::Target() {
  std::lock_guard lock(impl_->mu);
  ThreadState& self = internal::Self(*impl_);
  return self.windows.empty() ? nullptr : self.windows.back()->handle;
}

// ---------------------------------------------------------------------------
// Questions.

int32_t Engine::Ask(ModalRequest request) {
  std::unique_lock lock(impl_->mu);
  ThreadState& self = internal::Self(*impl_);
  if (impl_->abandoned) return DefaultAnswer(request);
  if (request.kind == ModalRequest::Kind::kPopup) {
    int32_t modal_thread = internal::ModalThread(*impl_);
    if (modal_thread != 0 && modal_thread != self.number) {
      values::PostError(WindowError::kOperationModal);
      return 0;
    }
  }
  request.id = impl_->next_request++;
  request.thread = self.number;
  request.window_id = self.windows.empty() ? 0 : self.windows.back()->id;
  self.modal_id = request.id;
  self.modal_answered = false;
  self.modal_result = 0;
  impl_->questions[request.id] = tls_binding.state;
  lock.unlock();
  impl_->backend.RunModal(request);
  lock.lock();
  // Waiting only from here: by now the screen holds the question, so a
  // script that finds every thread waiting also finds the question.
  if (!self.modal_answered) {
    self.activity = Activity::kInModal;
    impl_->idle_cv.notify_all();
  }
  self.cv.wait(lock, [&] { return self.modal_answered || impl_->abandoned; });
  impl_->questions.erase(request.id);
  self.activity = Activity::kRunning;
  self.modal_id = 0;
  return self.modal_answered ? self.modal_result : DefaultAnswer(request);
}

void Engine::CompleteModal(int64_t request_id, int32_t result) {
  std::lock_guard lock(impl_->mu);
  auto it = impl_->questions.find(request_id);
  if (it == impl_->questions.end()) return;
  ThreadState& asker = *it->second;
  if (asker.modal_id != request_id || asker.modal_answered) return;
  asker.modal_answered = true;
  asker.modal_result = result;
  asker.activity = Activity::kRunning;
  asker.cv.notify_all();
}

void Engine::Beep() { impl_->backend.Beep(); }

void Engine::SetCursor(int32_t cursor) { impl_->backend.SetCursor(cursor); }

// ---------------------------------------------------------------------------
// Input from the screen.

bool Engine::IsAlerted(int32_t window_id, int32_t control, int32_t keycode) const {
  std::lock_guard lock(impl_->mu);
  auto it = impl_->windows.find(window_id);
  if (it == impl_->windows.end()) return false;
  const WindowModel& window = *it->second;
  auto has = [&](const std::vector<int32_t>& alerts) {
    return std::find(alerts.begin(), alerts.end(), keycode) != alerts.end();
  };
  if (has(window.alerts)) return true;
  const ControlModel* target = window.control(control);
  return target != nullptr && has(target->alerts);
}

void Engine::Input(int32_t window_id, const UserInput& input) {
  bool alerted = input.keycode != 0 && IsAlerted(window_id, input.control, input.keycode);
  std::lock_guard lock(impl_->mu);
  auto it = impl_->windows.find(window_id);
  if (it == impl_->windows.end()) return;
  WindowModel& window = *it->second;
  if (!window.open || !window.realized) return;

  for (const PropUpdate& update : input.updates) {
    if (update.control == 0) {
      if (update.prop == PROP::Focus) {
        window.focus = PropertyNumber(update.value);
      } else {
        window.props[update.prop] = update.value;
      }
    } else if (ControlModel* control = window.control(update.control)) {
      if (update.prop == PROP::Text && internal::IsEntryLike(control->type) &&
          control->props[PROP::Text] != update.value) {
        control->edited = true;
      }
      control->props[update.prop] = update.value;
      if (update.prop == PROP::Selected && control->type == ControlType::List) {
        internal::KeepChoiceShown(*control);
      }
    } else if (internal::MenuModel* menu = window.menu(update.control)) {
      menu->props[update.prop] = update.value;
    }
  }
  if (input.activated) internal::Activate(*impl_, window_id);

  QueuedEvent event{input.event, input.control, input.keycode, input.keychar};
  if (alerted) {
    event.code = EVENT::AlertKey;
  }
  if (event.code == 0) return;

  // A disabled control or menu item takes no input.
  if (input.control > 0) {
    if (internal::ReadProp(*impl_, window, input.control, PROP::Disable) == "1") return;
  } else if (input.control < 0) {
    internal::MenuModel* menu = window.menu(input.control);
    if (menu == nullptr || menu->props[PROP::Disable] == "1") return;
    if (event.code == EVENT::Accepted && menu->snapshot.action == MenuAction::kClose) {
      event = QueuedEvent{EVENT::CloseWindow, 0, 0, 0};
    }
  }
  // Window events concern no control.
  if (!IsFieldEventCode(event.code)) event.field = 0;
  bool coalesce = event.code == EVENT::Sized || event.code == EVENT::ScrollDrag ||
                  event.code == EVENT::NewSelection;
  internal::QueueEvent(*impl_, window, event, coalesce);
}

// ---------------------------------------------------------------------------
// Observation.

std::vector<int32_t> Engine::WindowIds() const {
  std::lock_guard lock(impl_->mu);
  return impl_->window_order;
}

int32_t Engine::ActiveWindow() const {
  std::lock_guard lock(impl_->mu);
  return impl_->active_id;
}

int32_t Engine::TopWindowOf(int32_t thread) const {
  std::lock_guard lock(impl_->mu);
  auto it = impl_->threads.find(thread);
  if (it == impl_->threads.end() || it->second->windows.empty()) return 0;
  return it->second->windows.back()->id;
}

std::vector<DeliveredEvent> Engine::Deliveries() const {
  std::lock_guard lock(impl_->mu);
  return impl_->deliveries;
}

void Engine::ClearDeliveries() {
  std::lock_guard lock(impl_->mu);
  impl_->deliveries.clear();
}

}  // namespace zuna::window
