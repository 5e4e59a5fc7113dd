// The fixture of tests that drive the Qt screen: a QtSession on the
// offscreen platform (unless QT_QPA_PLATFORM names another, as under Xvfb),
// and the two waits every such test needs.  Header only: the support
// library itself does not link Qt.
#ifndef ZUNA_TESTS_SUPPORT_QT_SESSION_TEST_H_
#define ZUNA_TESTS_SUPPORT_QT_SESSION_TEST_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <functional>
#include <memory>

#include "runtime/window/qt/qt_session.h"

namespace zuna::testing {

// Only a stuck program takes this long (ms).
inline constexpr int kQtWait = 10000;

class QtSessionTest : public ::testing::Test {
 protected:
  QtSessionTest() {
    setenv("QT_QPA_PLATFORM", "offscreen", /*overwrite=*/0);
    session_ = std::make_unique<window::qt::QtSession>(argc_, argv_);
  }

  window::qt::QtSession& session() { return *session_; }
  // Turns the GUI loop until `done` or the time is up.
  bool Pump(const std::function<bool()>& done, int timeout_ms = kQtWait) {
    return session_->PumpUntil(done, timeout_ms);
  }
  // Input to a window is dropped until its thread has it on screen: a user
  // acts on what has settled.
  bool Settled() { return session_->engine().WaitIdle(std::chrono::milliseconds(0)); }

  int argc_ = 1;
  char name_[16] = "qt_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<window::qt::QtSession> session_;
};

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_QT_SESSION_TEST_H_
