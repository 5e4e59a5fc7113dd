// What the framework needs from the program around it and cannot do itself:
// show a message box, show the errors-history window, tell which procedure
// thread is running, and stop the program.  The window engine provides the
// real thing; until a host is installed the framework uses StderrHost, which
// writes every message to stderr and answers each box with its default
// button.  Tests install ScriptedHost (scripted_host.h).
//
// All texts passed through here are Windows-1251 bytes.
//
// Ownership and threads: one host serves the whole process.  SetHost() is
// for start-up and tests; the installed host must outlive every call made
// through Host().  Every method of a host may be called from any thread at
// once; a message box blocks only the thread that asked for it.  The
// framework never calls a host method while it holds one of its own locks.
#ifndef ZUNA_FRAMEWORK_DATA_FRAMEWORK_HOST_H_
#define ZUNA_FRAMEWORK_DATA_FRAMEWORK_HOST_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/window/message_box.h"

namespace zuna::framework {

// Message-box buttons and icons are the window engine's own values: a mask,
// an answer or an icon passes to the engine unchanged.
namespace Button = window::BUTTON;
namespace Icon = window::SystemIcon;

// The exit code of a fatal stop.  Not 0: the operating system and scripts
// must see that the program did not end normally.
inline constexpr int kFatalStopExitCode = 3;

struct MessageBoxRequest {
  std::string caption;
  std::string text;
  int32_t icon = Icon::None;
  int32_t buttons = Button::OK;         // mask of Button values
  int32_t default_button = Button::OK;  // one Button value
  int32_t style = 0;                    // passed through unchanged
  uint8_t level = 0;                    // the level of the message, for hosts
                                        // that show levels differently
};

// One line of the errors-history window.
struct HistoryLine {
  std::string text;
  std::string category;
};

// The errors-history window: a modal window listing `lines` (oldest first,
// two columns: text and category) with one button per set bit of the mask,
// captioned and in the order HistoryButtons() gives.
struct HistoryWindowRequest {
  std::string caption;
  int32_t icon = Icon::None;
  int32_t buttons = Button::OK;
  int32_t default_button = Button::OK;
  std::vector<HistoryLine> lines;
};

// The history window's buttons for a mask, lowest bit first, each with its
// caption ("O&k", "&Yes", "&No", "&Abort", "&Retry", "&Ignore", "&Cancel",
// "&Help").  Bits above Help are ignored.
std::vector<std::pair<int32_t, std::string>> HistoryButtons(int32_t buttons);

class FrameworkHost {
 public:
  virtual ~FrameworkHost() = default;

  // Shows a modal message box and returns the Button value pressed.  Blocks
  // the calling thread only.
  virtual int32_t MessageBox(const MessageBoxRequest& request) = 0;

  // Shows the errors-history window; returns the Button value pressed.
  virtual int32_t ShowHistory(const HistoryWindowRequest& request) = 0;

  // Ends the program with `exit_code`; `message` says why.  The real host
  // does not return.  A test host may return, and the caller then goes on
  // as its contract says for a stop that did not happen.
  virtual void Stop(int exit_code, std::string_view message) = 0;

  // THREAD(): the number of the calling procedure thread, never reused in
  // the process.  The default numbers threads 1, 2, ... in the order they
  // first ask; the window engine replaces it with its own numbering.
  virtual int32_t ThreadNumber();

  // The mouse pointer of the calling thread's windows becomes the wait
  // cursor (`waiting`) or the arrow again, around long file work.  The
  // default does nothing.
  virtual void SetWaitCursor(bool /*waiting*/) {}
};

// The end of the program for a host's Stop(): writes "Program stopped: "
// and `message` (converted to UTF-8) to stderr, flushes the C streams and
// ends the process with std::quick_exit(exit_code).  Static destructors do
// not run while other threads may still be working; handlers registered
// with std::at_quick_exit do (that is where open files are closed).
[[noreturn]] void EndProgram(int exit_code, std::string_view message);

// Writes each message box and history window to stderr (converted to UTF-8)
// and answers with the default button.  Stop() is EndProgram().
class StderrHost final : public FrameworkHost {
 public:
  int32_t MessageBox(const MessageBoxRequest& request) override;
  int32_t ShowHistory(const HistoryWindowRequest& request) override;
  void Stop(int exit_code, std::string_view message) override;
};

// The installed host (StderrHost until SetHost is called).
FrameworkHost& Host();

// Installs `host` (nullptr: back to the StderrHost) and returns the one it
// replaces (nullptr when that was the StderrHost).
FrameworkHost* SetHost(FrameworkHost* host);

// The installed host's wait cursor for the life of a scope: long file work
// on the calling thread.
class WaitCursor final {
 public:
  WaitCursor() { Host().SetWaitCursor(true); }
  ~WaitCursor() { Host().SetWaitCursor(false); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// Installs a host for the life of a scope, then puts the previous one back.
class ScopedHost final {
 public:
  explicit ScopedHost(FrameworkHost& host) : previous_(SetHost(&host)) {}
  ~ScopedHost() { SetHost(previous_); }
  ScopedHost(const ScopedHost&) = delete;
  ScopedHost& operator=(const ScopedHost&) = delete;

 private:
  FrameworkHost* previous_;
};

// THREAD() of the calling thread, as the installed host numbers it.
int32_t CurrentThreadNumber();

// The fatal stop: ends the program with kFatalStopExitCode and `message`
// through the installed host.  Returns only when a test host lets it.
void FatalStop(std::string_view message);

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_DATA_FRAMEWORK_HOST_H_
