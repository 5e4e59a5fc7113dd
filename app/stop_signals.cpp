#include "app/stop_signals.h"

#include <pthread.h>
#include <signal.h>

namespace zuna::app {
namespace {

sigset_t StopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

StopSignals::StopSignals(std::function<void()> on_stop) : on_stop_(std::move(on_stop)) {
  ::signal(SIGPIPE, SIG_IGN);
  const sigset_t set = StopSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  waiter_ = std::thread([this] { Wait(); });
}

StopSignals::~StopSignals() {
  leaving_ = true;
  pthread_kill(waiter_.native_handle(), SIGTERM);
  waiter_.join();
}

void StopSignals::Wait() {
  const sigset_t set = StopSet();
  int signal_number = 0;
  while (sigwait(&set, &signal_number) == 0) {
    if (leaving_) return;
    if (received_.exchange(signal_number) == 0 && on_stop_) on_stop_();
  }
}

}  // namespace zuna::app
