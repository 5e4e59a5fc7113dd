// Orderly stops on signals: SIGTERM and SIGHUP (a session ending, `kill`)
// close the program as its own "Выход" would, without questions: forms are
// cancelled, files closed, holds and LOCK flags released; no transaction is
// left open, since none stays open while a window waits.  SIGPIPE is
// ignored, so a closed pipe is an error to handle, not a death.
//
//   int main() {
//     StopSignals signals([] { ... end the program's waiting ... });
//     ... start threads ...
//   }
//
// Threads: construct it on the main thread before any other thread starts:
// the two signals are blocked there, so every thread started later has
// them blocked too, and one thread of the object waits for them.  `on_stop`
// runs on that thread, once, at the first signal.  The destructor ends the
// waiting thread.
#ifndef ZUNA_APP_STOP_SIGNALS_H_
#define ZUNA_APP_STOP_SIGNALS_H_

#include <atomic>
#include <functional>
#include <thread>

namespace zuna::app {

class StopSignals final {
 public:
  explicit StopSignals(std::function<void()> on_stop);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The signal that stopped the program; 0 while none came.
  int received() const { return received_.load(); }

 private:
  void Wait();

  std::function<void()> on_stop_;
  std::atomic<int> received_{0};
  std::atomic<bool> leaving_{false};
  std::thread waiter_;
};

}  // namespace zuna::app

#endif  // ZUNA_APP_STOP_SIGNALS_H_
