// START, THREAD() and closing the main frame while child threads run.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "runtime/values/error_state.h"
#include "runtime/window/engine.h"
#include "runtime/window/headless.h"
#include "tests/runtime/window/window_fixtures.h"

namespace zuna::window {
namespace {

using testing::ChildDefinition;
using testing::FrameDefinition;
using values::W;

// The register's pattern: the frame starts a child procedure per menu
// choice; each child runs its own window on its own thread.
class FrameWithChildren : public ::testing::Test {
 protected:
  void SetUp() override {
    screen_.RunMain([this] { Main(); });
    ASSERT_TRUE(screen_.Settle());
    frame_ = screen_.FindWindow(W("Дни рождения"));
    ASSERT_NE(frame_, 0);
  }

  void Main() {
    main_thread_ = THREAD();
    Window frame(FrameDefinition());
    ASSERT_TRUE(frame.Open());
    while (ACCEPT(frame)) {
      if (ACCEPTED() == -2) {
        int32_t started = START([this] { Child(); }, 25000);
        std::lock_guard lock(mu_);
        started_.push_back(started);
      }
    }
  }

  void Child() {
    Window window(ChildDefinition());
    ASSERT_TRUE(window.Open());
    {
      std::lock_guard lock(mu_);
      child_threads_.insert(THREAD());
    }
    while (ACCEPT(window)) {
      std::lock_guard lock(mu_);
      if (EVENT() == EVENT::CloseDown) {
        close_downs_.push_back(THREAD());
        if (refuse_close_down_) CYCLE();
      }
      if (ACCEPTED() == 8) POST(EVENT::CloseWindow);
    }
    std::lock_guard lock(mu_);
    ended_.push_back(THREAD());
  }

  int32_t frame_ = 0;
  std::atomic<int32_t> main_thread_{0};
  std::mutex mu_;
  std::vector<int32_t> started_;
  std::set<int32_t> child_threads_;
  std::vector<int32_t> close_downs_;
  std::vector<int32_t> ended_;
  bool refuse_close_down_ = false;
  // Last: its destructor ends the procedures, which use the members above.
  HeadlessEngine screen_;
};

TEST_F(FrameWithChildren, StartRunsEachChildOnANewThread) {
  screen_.ChooseMenu(frame_, -2);
  screen_.ChooseMenu(frame_, -2);
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(main_thread_, 1);
  {
    std::lock_guard lock(mu_);
    EXPECT_EQ(started_, (std::vector<int32_t>{2, 3}));
    EXPECT_EQ(child_threads_, (std::set<int32_t>{2, 3}));
  }
  // Two windows of the same kind, each on its own thread, both live.
  int32_t first = screen_.TopWindowOf(2);
  int32_t second = screen_.TopWindowOf(3);
  ASSERT_NE(first, 0);
  ASSERT_NE(second, 0);
  EXPECT_EQ(screen_.PropLong(first, 0, PROP::Thread), 2);
  EXPECT_EQ(screen_.PropLong(second, 0, PROP::Thread), 3);

  // Closing one leaves the other; a later START gets a new number.
  screen_.Click(first, 8);
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(screen_.TopWindowOf(2), 0);
  screen_.ChooseMenu(frame_, -2);
  ASSERT_TRUE(screen_.Settle());
  std::lock_guard lock(mu_);
  EXPECT_EQ(started_.back(), 4);
}

TEST_F(FrameWithChildren, ClosingTheFrameClosesDownEveryThreadFirst) {
  screen_.ChooseMenu(frame_, -2);
  screen_.ChooseMenu(frame_, -2);
  ASSERT_TRUE(screen_.Settle());
  screen_.ChooseMenu(frame_, -3);  // "Выход"
  ASSERT_TRUE(screen_.Finish());
  std::lock_guard lock(mu_);
  EXPECT_EQ(std::set<int32_t>(close_downs_.begin(), close_downs_.end()),
            (std::set<int32_t>{2, 3}));
  EXPECT_EQ(std::set<int32_t>(ended_.begin(), ended_.end()), (std::set<int32_t>{2, 3}));
  EXPECT_TRUE(screen_.Windows().empty());
}

TEST_F(FrameWithChildren, AChildThatRefusesKeepsTheFrameOpen) {
  refuse_close_down_ = true;
  screen_.ChooseMenu(frame_, -2);
  ASSERT_TRUE(screen_.Settle());
  screen_.CloseBox(frame_);
  ASSERT_TRUE(screen_.Settle());
  EXPECT_NE(screen_.FindWindow(W("Дни рождения")), 0);
  EXPECT_NE(screen_.TopWindowOf(2), 0);
  // Once the child has gone, the frame closes.
  screen_.Click(screen_.TopWindowOf(2), 8);
  ASSERT_TRUE(screen_.Settle());
  screen_.CloseBox(frame_);
  ASSERT_TRUE(screen_.Finish());
  EXPECT_TRUE(screen_.Windows().empty());
}

// A thread that opens its first window while the frame closes down was
// not asked to close and would not be waited for: its window is refused.
// The late thread waits on a question until the frame is waiting for the
// other child, whose own question holds the close-down open meanwhile.
TEST(CloseDown, AThreadOpeningItsFirstWindowMeanwhileIsRefused) {
  std::atomic<int32_t> late_opened{-1};
  std::atomic<int32_t> late_error{0};
  auto late = [&] {
    MESSAGE("late: ready");
    Window window(ChildDefinition());
    late_opened = window.Open() ? 1 : 0;
    late_error = values::ERRORCODE();
    while (ACCEPT(window)) {
    }
  };
  auto child = [] {
    Window window(ChildDefinition());
    ASSERT_TRUE(window.Open());
    while (ACCEPT(window)) {
      if (EVENT() == EVENT::CloseDown) MESSAGE("child: closing");
    }
  };
  HeadlessEngine screen;
  screen.RunMain([&] {
    Window frame(FrameDefinition());
    ASSERT_TRUE(frame.Open());
    START(late);
    START(child);
    while (ACCEPT(frame)) {
    }
  });
  ASSERT_TRUE(screen.Settle());
  ASSERT_EQ(screen.Questions().size(), 1u);  // the late thread's
  screen.ChooseMenu(screen.FindWindow(W("Дни рождения")), -3);  // "Выход"
  ASSERT_TRUE(screen.Settle());
  ASSERT_EQ(screen.Questions().size(), 2u);  // the child is closing down

  ASSERT_TRUE(screen.Answer(BUTTON::OK));  // the late thread goes on
  ASSERT_TRUE(screen.Settle());
  EXPECT_EQ(late_opened, 0);
  EXPECT_EQ(late_error, WindowError::kMdiFailed);
  std::vector<std::string> transcript = screen.Transcript();
  EXPECT_EQ(std::count_if(transcript.begin(), transcript.end(),
                          [](const std::string& line) { return line.starts_with("open "); }),
            2);  // the frame and the child only

  ASSERT_TRUE(screen.Answer(BUTTON::OK));  // the child closes, then the frame
  ASSERT_TRUE(screen.Finish());
  EXPECT_TRUE(screen.Windows().empty());
}

TEST(Start, ReturnsAtOnceAndRunsTheHooksAroundTheProcedure) {
  HeadlessEngine screen;
  std::mutex mu;
  std::vector<std::string> order;
  screen.engine().SetThreadHooks(
      [&] {
        std::lock_guard lock(mu);
        order.push_back("start " + std::to_string(THREAD()));
      },
      [&] {
        std::lock_guard lock(mu);
        order.push_back("end " + std::to_string(THREAD()));
      });
  std::atomic<bool> release{false};
  ASSERT_TRUE(screen.engine().AttachMainThread());
  int32_t number = START([&] {
    while (!release) std::this_thread::yield();
    std::lock_guard lock(mu);
    order.push_back("body " + std::to_string(THREAD()));
  });
  EXPECT_EQ(number, 2);  // returned while the body still waits
  release = true;
  ASSERT_TRUE(screen.Finish());
  EXPECT_EQ(order, (std::vector<std::string>{"start 2", "body 2", "end 2"}));
}

TEST(Start, ThreadNumbersAreNeverReused) {
  HeadlessEngine screen;
  ASSERT_TRUE(screen.engine().AttachMainThread());
  std::set<int32_t> seen;
  std::mutex mu;
  for (int i = 0; i < 5; ++i) {
    START([&] {
      std::lock_guard lock(mu);
      seen.insert(THREAD());
    });
    ASSERT_TRUE(screen.Finish());
  }
  EXPECT_EQ(seen, (std::set<int32_t>{2, 3, 4, 5, 6}));
}

}  // namespace
}  // namespace zuna::window
