// A program on the Qt screen: the QApplication, the Qt backend and the
// engine, made together, with the main frame's procedure on thread 1 and
// the GUI loop on the calling thread.  No Qt type crosses this header.
//
//   int main(int argc, char** argv) {
//     zuna::window::qt::QtSession session(argc, argv);
//     return session.Run(Main);
//   }
//
// Threads: make, use and destroy a QtSession on one thread, the process's
// main thread; it becomes the GUI thread.  The procedures run on the
// engine's threads.  The driving methods (TriggerMenuItem, ClickButton …)
// act on the real widgets as a user would, for tests and demonstrations;
// they run on the GUI thread and let the GUI loop turn while they wait.
#ifndef ZUNA_RUNTIME_WINDOW_QT_QT_SESSION_H_
#define ZUNA_RUNTIME_WINDOW_QT_QT_SESSION_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/window/engine_core.h"
#include "runtime/window/qt/qt_keys.h"

namespace zuna::window::qt {

class QtSession final {
 public:
  // Makes the QApplication (unless one exists), the screen and the engine,
  // and makes the engine current.  `argc` must outlive the session.
  QtSession(int& argc, char** argv);
  // Takes every window and question off screen, lets every waiting thread
  // go (Engine::Abandon) and joins them: at once, unless one is at work.
  ~QtSession();
  QtSession(const QtSession&) = delete;
  QtSession& operator=(const QtSession&) = delete;

  Engine& engine();

  // Runs `main_procedure` as thread 1 and the GUI loop until it returns
  // (closing the last window does not end it); then takes what is left off
  // screen, lets the threads still waiting go and joins every thread.
  // Returns the process exit code (0).
  int Run(std::function<void()> main_procedure);

  // --- Driving (GUI thread). ---
  // Starts thread 1 and returns at once; the GUI loop turns only inside
  // the methods below.
  bool Start(std::function<void()> main_procedure);
  // Turns the GUI loop until `done` is true or `timeout_ms` passes.
  bool PumpUntil(const std::function<bool()>& done, int timeout_ms);
  // True once thread 1 has returned.
  bool MainEnded() const;
  // Triggers the enabled menu item of the main frame whose text (access
  // marks removed) is `text`.
  bool TriggerMenuItem(std::string_view text_utf8);
  // Clicks the button with this caption (access marks removed) in the
  // child window titled `window_title`.
  bool ClickButton(std::string_view window_title_utf8, std::string_view caption_utf8);
  // Titles of the open child windows, and the text shown by a control of
  // one of them (a label or an entry), found by its text's start.
  std::vector<std::string> ChildTitles() const;
  bool HasLabelStartingWith(std::string_view window_title_utf8,
                            std::string_view start_utf8) const;
  // The text and caption of the message box on screen; empty when none.
  std::string MessageBoxText() const;
  std::string MessageBoxCaption() const;
  // Presses one of the message box's buttons (a BUTTON value).
  bool AnswerMessageBox(int32_t button);
  // Saves a picture of the whole screen (PNG).
  bool GrabScreen(const std::string& path) const;

  // Windows are named by title below: a child's, a plain window's or the
  // frame's.  Sizes and places are the client area's dialog units.
  // Triggers the enabled menu item `text` of that window's menu bar.
  bool TriggerMenuItem(std::string_view window_title_utf8, std::string_view text_utf8);
  // Opens the frame's menu titled `text` as a click on the menu bar does
  // (a window list fills itself), and closes every menu again.
  bool OpenFrameMenu(std::string_view text_utf8);
  void CloseMenus();
  // Sizes a window as the user drags its border, or maximizes it with its
  // title bar's button; reads its client size and whether it is maximized.
  bool DragWindowTo(std::string_view window_title_utf8, int32_t width, int32_t height);
  bool MaximizeWindow(std::string_view window_title_utf8);
  bool IsMaximized(std::string_view window_title_utf8) const;
  bool ClientSize(std::string_view window_title_utf8, int32_t& width, int32_t& height) const;
  // The popup menu on screen: where it stands in the client area of the
  // window it was asked over; choosing one of its lines by text.
  bool PopupPosition(int32_t& x, int32_t& y) const;
  bool ChoosePopupItem(std::string_view text_utf8);
  // Moves the mouse pointer over a point of a window.
  bool MoveMouseTo(std::string_view window_title_utf8, int32_t x, int32_t y);
  bool WaitCursorShown() const;
  // A key pressed and released in a control (0: the window), as the
  // keyboard reports it.
  bool PressKey(std::string_view window_title_utf8, int32_t control, const QtKeyPress& press);
  // Types `text` into entry `control` as the keyboard would (the entry
  // takes the focus and its text is replaced); with `leave` the user then
  // leaves it, which accepts it.  The entry's text on screen.
  bool TypeInto(std::string_view window_title_utf8, int32_t control,
                std::string_view text_utf8, bool leave);
  std::string EntryText(std::string_view window_title_utf8, int32_t control) const;
  // The accessible name of each control of the window, by control number
  // (index 0 is control 1; empty for a control without a widget, a tab).
  std::vector<std::string> AccessibleNames(std::string_view window_title_utf8) const;
  // The right mouse button pressed and released over row `row` of a list.
  bool RightClickRow(std::string_view window_title_utf8, int32_t control, int32_t row);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zuna::window::qt

#endif  // ZUNA_RUNTIME_WINDOW_QT_QT_SESSION_H_
