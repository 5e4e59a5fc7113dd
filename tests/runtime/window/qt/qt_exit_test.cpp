// The Qt screen on the way out.  A program may end with child windows of
// other threads open, questions on screen and workers waiting on them; it
// must end at once and cleanly: no widget used after the window that owned
// it went, no answer lost with its box, no thread left waiting on a GUI loop
// that has stopped.  Run under AddressSanitizer too: most of these faults
// are uses of freed memory that a plain build only sometimes crashes on.
#include <gtest/gtest.h>

#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/window/engine.h"
#include "runtime/window/qt/qt_session.h"
#include "tests/support/qt_session_test.h"

namespace zuna::window::qt {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWait = 10000;  // ms; only a stuck GUI takes this long
// What a clean ending may take, with room for a loaded machine: the faults
// below cost a minute or never end.
constexpr auto kPrompt = std::chrono::seconds(2);

constexpr const char* kNewChildItem = "New child";
constexpr const char* kWorkerAsksItem = "Worker asks";
constexpr const char* kLeaveItem = "Leave";
constexpr const char* kExitItem = "Exit";
constexpr const char* kAskButton = "Ask";
constexpr int32_t kNewChild = -2;
constexpr int32_t kWorkerAsks = -3;
constexpr int32_t kLeave = -4;
constexpr int32_t kAsk = 1;

// What the program saw, for the test to check.
struct Program {
  bool ask_before_frame = false;
  std::atomic<bool> frame_opened{false};
  std::atomic<int32_t> worker_answer{-1};
};

WindowDefinition FrameDefinition() {
  WindowDefinition frame;
  frame.kind = WindowKind::kApplication;
  frame.title = "Frame";
  frame.width = 400;
  frame.height = 260;
  frame.menus = {
      MenuDefinition{.is_menu = true, .text = "&File"},
      MenuDefinition{.parent = -1, .text = kNewChildItem},
      MenuDefinition{.parent = -1, .text = kWorkerAsksItem},
      MenuDefinition{.parent = -1, .text = kLeaveItem},
      MenuDefinition{.parent = -1, .text = kExitItem, .action = MenuAction::kClose},
      MenuDefinition{.is_menu = true, .text = "&Window", .action = MenuAction::kWindowList},
  };
  return frame;
}

std::string ChildTitle(int32_t thread) { return "Child " + std::to_string(thread); }

void ChildProcedure() {
  WindowDefinition definition;
  definition.kind = WindowKind::kMdiChild;
  definition.title = ChildTitle(THREAD());
  definition.width = 160;
  definition.height = 60;
  definition.controls = {ControlDefinition{.type = ControlType::Button, .text = kAskButton,
                                           .x = 4, .y = 4, .width = 50, .height = 14}};
  Window child(definition);
  if (!child.Open()) return;
  while (ACCEPT(child)) {
    if (ACCEPTED() == kAsk) MESSAGE("Child's question", "Child", {}, BUTTON::Yes + BUTTON::No);
  }
}

std::function<void()> MainProcedure(Program& program) {
  return [&program] {
    if (program.ask_before_frame) MESSAGE("Before the frame");
    Window frame(FrameDefinition());
    if (!frame.Open()) return;
    program.frame_opened = true;
    while (ACCEPT(frame)) {
      if (ACCEPTED() == kNewChild) START(ChildProcedure);
      if (ACCEPTED() == kWorkerAsks) {
        // A worker with no window of its own: its question stands over the
        // frame.
        START([&program] {
          program.worker_answer = MESSAGE("Worker's question", "Worker", {},
                                          BUTTON::Yes + BUTTON::No, BUTTON::No);
        });
      }
      if (ACCEPTED() == kLeave) break;  // children still open
    }
  };
}

// A user at the screen while QtSession::Run turns the GUI loop: each step
// is tried every few milliseconds until it succeeds, then the next.  A
// script that stalls gives up, so that the program still ends.
class Script {
 public:
  Script(QtSession& session, std::vector<std::function<bool()>> steps)
      : session_(session), steps_(std::move(steps)) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start();
  }
  bool finished() const { return next_ == steps_.size(); }

 private:
  void Tick() {
    if (finished()) return;
    if (steps_[next_]()) {
      ++next_;
      started_ = Clock::now();
    } else if (Clock::now() - started_ > std::chrono::milliseconds(kWait)) {
      timer_.stop();
      session_.engine().Abandon();
    }
  }

  QtSession& session_;
  std::vector<std::function<bool()>> steps_;
  size_t next_ = 0;
  Clock::time_point started_ = Clock::now();
  QTimer timer_;
};

class QtExit : public zuna::testing::QtSessionTest {
 protected:
  // The session (its threads) ends before the program state they use.
  ~QtExit() override { session_.reset(); }

  // Opens `count` children from the frame's menu and waits for them.
  void OpenChildren(size_t count) {
    for (size_t opened = 1; opened <= count; ++opened) {
      ASSERT_TRUE(Pump([&] { return Settled() && session().TriggerMenuItem(kNewChildItem); }));
      ASSERT_TRUE(Pump([&] { return session().ChildTitles().size() == opened; }));
    }
  }

  // Ends the session as a test that stops early does; how long it took.
  Clock::duration EndSession() {
    Clock::time_point start = Clock::now();
    session_.reset();
    return Clock::now() - start;
  }

  Program program_;
};

// Thread 1 leaves its loop with two children of other threads open: the
// frame goes first, and its widgets took the children's with them.
TEST_F(QtExit, TheFrameGoesWhileChildrenAreOpen) {
  ASSERT_TRUE(session().Start(MainProcedure(program_)));
  OpenChildren(2);
  ASSERT_TRUE(session().TriggerMenuItem(kLeaveItem));
  ASSERT_TRUE(Pump([&] { return session().MainEnded(); }));
  EXPECT_TRUE(Pump([&] { return session().ChildTitles().empty(); }));
  EXPECT_LT(EndSession(), kPrompt);
}

// A test that stops early: the session ends with the frame, two children
// and a child's question on screen.  Closing the children one by one makes
// the MDI area activate the next; nothing may reach a dead engine or walk
// a half-emptied list of windows.
TEST_F(QtExit, ASessionEndsWithChildrenAndAQuestionOpen) {
  ASSERT_TRUE(session().Start(MainProcedure(program_)));
  OpenChildren(2);
  ASSERT_TRUE(Pump([&] { return Settled(); }));
  ASSERT_TRUE(session().ClickButton(ChildTitle(2), kAskButton));
  ASSERT_TRUE(Pump([&] { return !session().MessageBoxText().empty(); }));
  EXPECT_LT(EndSession(), std::chrono::seconds(1));
}

// A windowless worker's question stands over the frame.  The frame closes
// (the worker has no window to be asked to close down) and takes the box
// with it: the worker gets the box's default answer and ends.
TEST_F(QtExit, AQuestionThatGoesWithTheFrameIsAnswered) {
  ASSERT_TRUE(session().Start(MainProcedure(program_)));
  ASSERT_TRUE(Pump([&] { return Settled() && session().TriggerMenuItem(kWorkerAsksItem); }));
  ASSERT_TRUE(Pump([&] { return !session().MessageBoxText().empty() && Settled(); }));
  ASSERT_TRUE(session().TriggerMenuItem(kExitItem));
  ASSERT_TRUE(Pump([&] { return session().MainEnded(); }));
  EXPECT_TRUE(Pump([&] { return session().engine().LiveThreads().empty(); },
                   static_cast<int>(std::chrono::milliseconds(kPrompt).count())));
  EXPECT_EQ(program_.worker_answer, BUTTON::No);
}

// The whole program under Run: thread 1 leaves with a child open, whose
// thread waits in ACCEPT.  Run returns at once instead of waiting for it.
TEST_F(QtExit, RunReturnsWhenMainLeavesChildrenBehind) {
  Script script(session(), {
      [&] { return Settled() && session().TriggerMenuItem(kNewChildItem); },
      [&] { return session().ChildTitles().size() == 1 && Settled(); },
      [&] { return session().TriggerMenuItem(kLeaveItem); },
  });
  Clock::time_point start = Clock::now();
  EXPECT_EQ(session().Run(MainProcedure(program_)), 0);
  EXPECT_LT(Clock::now() - start, kPrompt);
  EXPECT_TRUE(script.finished());
  EXPECT_TRUE(session().engine().LiveThreads().empty());
}

// Under Run, with a worker's question open when the user leaves by the
// menu: Run returns at once and the worker has its default answer.
TEST_F(QtExit, RunReturnsWithAWorkersQuestionOpen) {
  Script script(session(), {
      [&] { return Settled() && session().TriggerMenuItem(kWorkerAsksItem); },
      [&] { return !session().MessageBoxText().empty() && Settled(); },
      [&] { return session().TriggerMenuItem(kExitItem); },
  });
  Clock::time_point start = Clock::now();
  EXPECT_EQ(session().Run(MainProcedure(program_)), 0);
  EXPECT_LT(Clock::now() - start, kPrompt);
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(program_.worker_answer, BUTTON::No);
}

// A question before the frame exists is, for a moment, the only window on
// screen; answering it must not end the GUI loop under thread 1.
TEST_F(QtExit, AQuestionBeforeTheFrameDoesNotEndTheProgram) {
  program_.ask_before_frame = true;
  Script script(session(), {
      [&] { return session().AnswerMessageBox(BUTTON::OK); },
      [&] { return Settled() && session().TriggerMenuItem(kExitItem); },
  });
  Clock::time_point start = Clock::now();
  EXPECT_EQ(session().Run(MainProcedure(program_)), 0);
  EXPECT_LT(Clock::now() - start, kPrompt);
  EXPECT_TRUE(script.finished());
  EXPECT_TRUE(program_.frame_opened);
}

}  // namespace
}  // namespace zuna::window::qt
