// EngineHost: the framework's host (framework/data/framework_host.h) over
// the window engine (runtime/window/engine.h), so the error manager's
// messages, its history window and its idea of THREAD() are the engine's.
//
//   HeadlessEngine screen;      // or the Qt session: the current engine
//   EngineHost host;
//   ScopedHost installed(host);
//   ... GlobalErrors.Throw(id) on any procedure thread asks through MESSAGE
//
// What each call does:
//   MessageBox   MESSAGE with the request's text, caption, buttons, default
//                button and style; the icon's resource number (32515
//                exclamation, 32516 information, 0 none) becomes the
//                engine's system icon name (SystemIconName).  The level is
//                not shown.
//   ShowHistory  a modal window (HistoryWindowDefinition) owned by the
//                calling thread's current window, run by its own ACCEPT
//                loop on the calling thread; the button pressed is the
//                answer.  Closing the window answers the default button, as
//                does a window the screen cannot open (ERRORCODE() then says
//                why).
//   ThreadNumber THREAD().
//   Stop         the stop action given at construction; by default
//                EndProgram().  The engine's own close-down starts at the
//                main frame, may be refused by any procedure (CYCLE on
//                EVENT::CloseDown) and carries no exit code, so it cannot
//                make a fatal stop.
//
// Ownership and threads: the host holds no state of its own beyond the stop
// action; it acts on whichever engine is current when a call is made
// (Engine::Current(); with none, the unattended engine that answers every
// box with its default).  Every method may be called from any thread at
// once; a message box or history window blocks only the thread that asked,
// which must not hold a lock that the screen or another procedure waits for.
// Texts are Windows-1251, the engine's code page too.
#ifndef ZUNA_FRAMEWORK_WINDOW_ENGINE_HOST_H_
#define ZUNA_FRAMEWORK_WINDOW_ENGINE_HOST_H_

#include <cstdint>
#include <functional>
#include <string_view>

#include "framework/data/framework_host.h"
#include "runtime/window/engine.h"

namespace zuna::framework {

// The history window's controls: the list of history lines (two columns:
// text, then category), then one button per HistoryButtons() entry, in that
// order, labelled "?" and the caption without its '&' ("?Ok", "?Help").
inline constexpr int32_t kHistoryList = 1;
inline constexpr int32_t kHistoryFirstButton = 2;
inline constexpr std::string_view kHistoryWindowName = "ERRORHISTORY_RSC";

// The history window for `request`: a plain (modal) window captioned
// `request.caption`, with the system icon of `request.icon` (none for 0),
// the list and the buttons of the mask, the default button marked.
window::WindowDefinition HistoryWindowDefinition(
    const HistoryWindowRequest& request);

class EngineHost final : public FrameworkHost {
 public:
  using StopAction = std::function<void(int exit_code, std::string_view message)>;

  // Stop() ends the program through EndProgram().
  EngineHost();
  // Stop() calls `stop` (tests: to see a stop and go on).  A `stop` that
  // returns makes Stop() return.
  explicit EngineHost(StopAction stop);

  int32_t MessageBox(const MessageBoxRequest& request) override;
  int32_t ShowHistory(const HistoryWindowRequest& request) override;
  void Stop(int exit_code, std::string_view message) override;
  int32_t ThreadNumber() override;
  void SetWaitCursor(bool waiting) override;

 private:
  const StopAction stop_;
};

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_WINDOW_ENGINE_HOST_H_
