// The headless window engine: windows that exist only as state, and a
// script that acts as the user.  Every framework and application test
// drives the program through it.
//
//   HeadlessEngine screen;                       // current from now on
//   screen.RunMain(Main);                        // thread 1
//   ASSERT_TRUE(screen.Settle());                // every thread waits
//   int32_t frame = screen.FindWindow(W("Дни рождения"));
//   screen.ChooseMenu(frame, -2);
//   ASSERT_TRUE(screen.Settle());
//   int32_t list = screen.FindWindow(W("День рождения в ближайшие 7 дней"));
//   EXPECT_EQ(screen.Text(list, 8), "3");
//
// Determinism.  The user acts only when every procedure thread waits (in
// ACCEPT, on a question, or in the frame's close-down): each action first
// waits for that, then queues its input and returns.  So every action is
// one step, and what the program does in reply to each is fixed whatever
// the threads' timing.  Settle waits for the last step to be done before
// the script reads the screen.
//
// Questions.  A message box or popup waits until the script answers it
// (Answer, AnswerPopup), unless a handler set with AnswerWith answers it at
// once on the asking thread.  Every question is written to the transcript.
//
// Texts are in the program's code page (W("…") for literals).  Windows are
// named by the engine's window id (Window::Id()).
//
// Threads: the script's methods may be called from any one thread (the
// test's); the engine's threads run the procedures.  The destructor ends
// what is still running (Engine::Abandon) and joins it: the procedures run
// until then, so declare the HeadlessEngine after everything they use.
#ifndef ZUNA_RUNTIME_WINDOW_HEADLESS_H_
#define ZUNA_RUNTIME_WINDOW_HEADLESS_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/window/backend.h"
#include "runtime/window/engine_core.h"

namespace zuna::window {

// The backend: records, and holds questions for the script.
class HeadlessBackend final : public Backend {
 public:
  HeadlessBackend() = default;
  void Attach(Engine* engine) { engine_ = engine; }

  std::optional<std::vector<PropUpdate>> Realize(const WindowSnapshot& window) override;
  void Apply(int32_t window_id, std::vector<Delta> deltas) override;
  void Destroy(int32_t window_id) override;
  void RunModal(const ModalRequest& request) override;
  void Beep() override;
  void SetCursor(int32_t cursor) override;

  // The next `count` windows fail to open (as if the screen refused).
  void FailNextRealize(int32_t count = 1);
  void SetAnswerHandler(
      std::function<std::optional<int32_t>(const ModalRequest&)> handler);
  std::vector<ModalRequest> Pending() const;
  bool Complete(int64_t request_id, int32_t result);
  std::vector<std::string> Transcript() const;
  void Note(std::string line);
  int32_t beeps() const;
  int32_t cursor() const;

 private:
  Engine* engine_ = nullptr;
  mutable std::mutex mu_;
  int32_t fail_realize_ = 0;
  std::function<std::optional<int32_t>(const ModalRequest&)> handler_;
  std::vector<ModalRequest> pending_;
  std::vector<std::string> transcript_;
  int32_t beeps_ = 0;
  int32_t cursor_ = CURSOR::Arrow;
};

class HeadlessEngine final {
 public:
  HeadlessEngine();
  ~HeadlessEngine();
  HeadlessEngine(const HeadlessEngine&) = delete;
  HeadlessEngine& operator=(const HeadlessEngine&) = delete;

  Engine& engine() { return engine_; }
  HeadlessBackend& backend() { return backend_; }

  // --- The program. ---
  bool RunMain(std::function<void()> procedure);
  // True once every procedure thread waits; false after `timeout`.
  bool Settle(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // True once every started thread has ended (and been joined).
  bool Finish(std::chrono::milliseconds timeout = std::chrono::seconds(10));

  // --- What is on the screen. ---
  std::vector<int32_t> Windows() const;
  // The newest open window with this title; 0 when none.
  int32_t FindWindow(std::string_view title) const;
  int32_t TopWindowOf(int32_t thread) const { return engine_.TopWindowOf(thread); }
  std::optional<WindowView> View(int32_t window) const { return engine_.ReadWindow(window); }
  std::string Title(int32_t window) const;
  // A control's text on the screen (control 0: the window's title).
  std::string Text(int32_t window, int32_t control) const;
  std::string Prop(int32_t window, int32_t control, int32_t prop) const;
  int32_t PropLong(int32_t window, int32_t control, int32_t prop) const;
  ListRows Rows(int32_t window, int32_t control) const;
  // The control whose label is `label` ("?Close"); 0 when none.
  int32_t ControlNumber(int32_t window, std::string_view label) const;

  // --- Acting as the user (each queues input; Settle lets it work). ---
  void ChooseMenu(int32_t window, int32_t menu);
  void Click(int32_t window, int32_t control);
  // Replaces an entry's text without leaving it.
  void Edit(int32_t window, int32_t control, std::string_view text);
  // Replaces an entry's text and leaves it: EVENT::Accepted follows.
  void Type(int32_t window, int32_t control, std::string_view text);
  // Presses keys one by one in a control: each character key is alerted
  // or typed at the end of an entry's text.
  void TypeKeys(int32_t window, int32_t control, std::string_view text);
  // One key: alerted keys become EVENT::AlertKey; otherwise Enter accepts
  // a button or an entry, and on a list the arrow and paging keys scroll
  // (events for an Imm list, the highlight otherwise).
  void PressKey(int32_t window, int32_t control, int32_t keycode, int32_t keychar = 0);
  void SelectRow(int32_t window, int32_t control, int32_t row);
  void DoubleClickRow(int32_t window, int32_t control, int32_t row);
  // The right button pressed on a row (it becomes the highlighted one: a
  // new selection with KEY::MouseRight) and released (KEY::MouseRightUp).
  void RightClickRow(int32_t window, int32_t control, int32_t row);
  void Scroll(int32_t window, int32_t control, int32_t event);
  void DragThumb(int32_t window, int32_t control, int32_t position);
  void SelectTab(int32_t window, int32_t sheet, int32_t tab);
  // Sizes the client area as the user drags the frame: the size stops at
  // the window's MinWidth/MinHeight and MaxWidth/MaxHeight (0: no maximum).
  void Resize(int32_t window, int32_t width, int32_t height);
  void CloseBox(int32_t window);
  void Activate(int32_t window);
  void Focus(int32_t window, int32_t control);
  // Any event, as the screen would queue it.
  void Send(int32_t window, int32_t event, int32_t control = 0);

  // --- Questions. ---
  std::vector<ModalRequest> Questions() const { return backend_.Pending(); }
  // Answers the oldest waiting question; false when none waits.
  bool Answer(int32_t result);
  // Chooses the entry with this text (marks included as shown, "&" kept)
  // in the oldest waiting popup; false when there is none or no such line
  // that is enabled (a user cannot choose a disabled line).
  bool AnswerPopup(std::string_view entry_text);
  void AnswerWith(std::function<std::optional<int32_t>(const ModalRequest&)> handler) {
    backend_.SetAnswerHandler(std::move(handler));
  }

  // --- Records. ---
  std::vector<std::string> Transcript() const { return backend_.Transcript(); }
  // The events ACCEPT handed out for a window, as "Name" or "Name(field)".
  std::vector<std::string> EventsOf(int32_t window) const;

 private:
  void SendInput(int32_t window, const UserInput& input);

  HeadlessBackend backend_;
  Engine engine_;
  ScopedCurrentEngine current_;
};

// The key code the key producing `character` (program's code page) has on
// a Russian-and-Latin keyboard, Shift included for capitals; 0 when no key
// types it.
int32_t KeyCodeForCharacter(char character);

}  // namespace zuna::window

#endif  // ZUNA_RUNTIME_WINDOW_HEADLESS_H_
