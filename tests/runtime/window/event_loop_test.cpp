// The ACCEPT loop of one window: the events of opening, posting and
// closing, their order, CYCLE, and what EVENT(), FIELD(), ACCEPTED() and
// SELECTED() say about each.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>
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

// What a procedure saw: one line per event.
std::string Seen() {
  std::string line = EventName(EVENT());
  if (FIELD() != 0) line += "(" + std::to_string(FIELD()) + ")";
  return line;
}

TEST(EventCodes, MessageNumbersAreTheCodePlusA000h) {
  EXPECT_EQ(MessageNumber(EVENT::Accepted), 0xA001);
  EXPECT_EQ(MessageNumber(EVENT::Selected), 0xA101);
  EXPECT_EQ(MessageNumber(EVENT::CloseWindow), 0xA201);
  EXPECT_EQ(MessageNumber(EVENT::BuildDone), 0xA242);
  EXPECT_EQ(EventOfMessage(0xA225), EVENT::Completed);
  // Codes as the event table gives them.
  EXPECT_EQ(EVENT::ColumnResize, 0x1E);
  EXPECT_EQ(EVENT::Selecting, 0x102);
  EXPECT_EQ(EVENT::Notify, 0x20A);
  EXPECT_EQ(EVENT::Sized, 0x231);
  EXPECT_EQ(EVENT::UnDocked, 0x236);
  EXPECT_TRUE(IsFieldEventCode(EVENT::Selected));
  EXPECT_FALSE(IsFieldEventCode(EVENT::OpenWindow));
  EXPECT_EQ(EventName(EVENT::NewSelection), "NewSelection");
  EXPECT_EQ(EventName(0x3FF), "Event3FFh");
}

// A window opened on the test thread, with events queued before the loop
// runs, so the loop never has to wait.
TEST(EventLoop, OpenPostAndCloseInOrder) {
  HeadlessEngine screen;
  ASSERT_TRUE(screen.engine().AttachMainThread());
  Window window(ChildDefinition(WindowKind::kModal));
  ASSERT_TRUE(window.Open());
  EXPECT_EQ(THREAD(), 1);
  EXPECT_TRUE(POST(EVENT::Accepted, 8));
  EXPECT_TRUE(POST(0x3FF));
  EXPECT_TRUE(POST(EVENT::CloseWindow));

  std::vector<std::string> seen;
  std::vector<int32_t> accepted;
  while (ACCEPT(window)) {
    seen.push_back(Seen());
    accepted.push_back(ACCEPTED());
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"OpenWindow", "GainFocus", "Sized",
                                            "Accepted(8)", "Event3FFh", "CloseWindow"}));
  EXPECT_EQ(accepted, (std::vector<int32_t>{0, 0, 0, 8, 0, 0}));
  EXPECT_FALSE(window.IsOpen());
  EXPECT_EQ(screen.Transcript().back(), "close 1");
}

TEST(EventLoop, CycleKeepsTheWindowOpen) {
  HeadlessEngine screen;
  ASSERT_TRUE(screen.engine().AttachMainThread());
  Window window(ChildDefinition(WindowKind::kModal));
  ASSERT_TRUE(window.Open());
  POST(EVENT::CloseWindow);
  bool refused = false;
  std::vector<std::string> seen;
  while (ACCEPT(window)) {
    seen.push_back(Seen());
    if (EVENT() == EVENT::CloseWindow && !refused) {
      refused = true;
      CYCLE();
      POST(EVENT::Accepted, 9);
      POST(EVENT::CloseWindow);
    }
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"OpenWindow", "GainFocus", "Sized",
                                            "CloseWindow", "Accepted(9)", "CloseWindow"}));
}

TEST(EventLoop, SelectQueuesSelectedAndGivesFocus) {
  HeadlessEngine screen;
  ASSERT_TRUE(screen.engine().AttachMainThread());
  Window window(ChildDefinition(WindowKind::kModal));
  ASSERT_TRUE(window.Open());
  window.Select(5);
  POST(EVENT::CloseWindow);
  std::vector<int32_t> selected;
  while (ACCEPT(window)) selected.push_back(SELECTED());
  EXPECT_EQ(selected, (std::vector<int32_t>{0, 0, 0, 5, 0}));
}

// The user's side: a procedure on thread 1 waits in ACCEPT while the
// script acts.
TEST(EventLoop, ScriptedUserEventsReachTheProcedure) {
  HeadlessEngine screen;
  std::vector<std::string> seen;
  int32_t window_id = 0;
  screen.RunMain([&] {
    Window window(ChildDefinition(WindowKind::kModal));
    ASSERT_TRUE(window.Open());
    window_id = window.Id();
    while (ACCEPT(window)) {
      seen.push_back(Seen());
      if (ACCEPTED() == 8) POST(EVENT::CloseWindow);
    }
  });
  ASSERT_TRUE(screen.Settle());
  screen.Click(window_id, 9);
  screen.SelectRow(window_id, 1, 1);
  screen.Resize(window_id, 300, 200);
  ASSERT_TRUE(screen.Settle());
  EXPECT_EQ(screen.PropLong(window_id, 0, PROP::ClientWidth), 300);
  screen.Click(window_id, 8);
  ASSERT_TRUE(screen.Finish());
  EXPECT_EQ(seen, (std::vector<std::string>{"OpenWindow", "GainFocus", "Sized", "Accepted(9)",
                                            "NewSelection(1)", "Sized", "Accepted(8)",
                                            "CloseWindow"}));
  EXPECT_EQ(screen.EventsOf(window_id).size(), seen.size());
}

TEST(EventLoop, DisabledControlsTakeNoInput) {
  HeadlessEngine screen;
  std::vector<std::string> seen;
  int32_t window_id = 0;
  screen.RunMain([&] {
    Window window(ChildDefinition(WindowKind::kModal));
    ASSERT_TRUE(window.Open());
    window.Disable(9);
    window_id = window.Id();
    while (ACCEPT(window)) {
      if (EVENT() == EVENT::Accepted) seen.push_back(Seen());
    }
  });
  ASSERT_TRUE(screen.Settle());
  screen.Click(window_id, 9);
  screen.Click(window_id, 8);
  screen.CloseBox(window_id);
  ASSERT_TRUE(screen.Finish());
  EXPECT_EQ(seen, (std::vector<std::string>{"Accepted(8)"}));
}

TEST(Post, EventsArriveInPostingOrderAcrossThreads) {
  HeadlessEngine screen;
  std::vector<int32_t> codes;
  std::atomic<int32_t> thread_number{0};
  screen.RunMain([&] {
    Window window(ChildDefinition(WindowKind::kModal));
    ASSERT_TRUE(window.Open());
    thread_number = THREAD();
    while (ACCEPT(window)) {
      if (EVENT() >= 0x400) codes.push_back(EVENT());
      if (EVENT() == 0x405) POST(EVENT::CloseWindow);
    }
  });
  ASSERT_TRUE(screen.Settle());
  // Another thread posts a burst to thread 1.
  std::thread poster([&] {
    for (int32_t code = 0x400; code <= 0x405; ++code) POST(code, 0, thread_number);
  });
  poster.join();
  ASSERT_TRUE(screen.Finish());
  EXPECT_EQ(codes, (std::vector<int32_t>{0x400, 0x401, 0x402, 0x403, 0x404, 0x405}));
}

TEST(Post, ToAThreadWithoutAWindowFails) {
  HeadlessEngine screen;
  ASSERT_TRUE(screen.engine().AttachMainThread());
  EXPECT_FALSE(POST(EVENT::Accepted, 1));
  EXPECT_FALSE(POST(EVENT::Accepted, 1, 77));
}

// A second window on the same thread (the record form over its list):
// events for the list wait until the form closes, and EVENT() is the
// list's own again afterwards.
TEST(Post, EventsForALowerWindowWaitForTheTopOneToClose) {
  HeadlessEngine screen;
  std::vector<std::string> list_seen;
  std::vector<std::string> form_seen;
  screen.RunMain([&] {
    Window frame(FrameDefinition());
    ASSERT_TRUE(frame.Open());
    START([&] {
      Window list(ChildDefinition());
      ASSERT_TRUE(list.Open());
      while (ACCEPT(list)) {
        list_seen.push_back(Seen());
        if (ACCEPTED() == 9) {
          Window form(ChildDefinition());
          ASSERT_TRUE(form.Open());
          POST(EVENT::Accepted, 8);  // to the form: the thread's current window
          while (ACCEPT(form)) {
            form_seen.push_back(Seen());
            if (ACCEPTED() == 8) POST(EVENT::CloseWindow);
          }
          list_seen.push_back("back:" + Seen());
        }
        if (ACCEPTED() == 8) POST(EVENT::CloseWindow);
      }
    });
    while (ACCEPT(frame)) {
    }
  });
  ASSERT_TRUE(screen.Settle());
  int32_t list = screen.TopWindowOf(2);
  screen.Click(list, 9);
  ASSERT_TRUE(screen.Settle());
  screen.Click(list, 8);
  ASSERT_TRUE(screen.Settle());
  EXPECT_EQ(form_seen, (std::vector<std::string>{"OpenWindow", "GainFocus", "Sized",
                                                 "Accepted(8)", "CloseWindow"}));
  // The list lost the focus to the form and got it back when it closed.
  EXPECT_EQ(list_seen, (std::vector<std::string>{"OpenWindow", "GainFocus", "Sized",
                                                 "Accepted(9)", "back:Accepted(9)",
                                                 "LoseFocus", "GainFocus", "Accepted(8)",
                                                 "CloseWindow"}));
  screen.ChooseMenu(screen.FindWindow(values::W("Дни рождения")), -3);
  ASSERT_TRUE(screen.Finish());
}

// Activating another thread's window moves the focus events between the
// threads.
TEST(EventLoop, FocusMovesBetweenThreads) {
  HeadlessEngine screen;
  std::mutex mu;
  std::map<int32_t, std::vector<std::string>> seen;  // by thread
  screen.RunMain([&] {
    Window frame(FrameDefinition());
    ASSERT_TRUE(frame.Open());
    auto child = [&] {
      Window window(ChildDefinition());
      ASSERT_TRUE(window.Open());
      while (ACCEPT(window)) {
        std::lock_guard lock(mu);
        seen[THREAD()].push_back(Seen());
      }
    };
    START(child);
    while (ACCEPT(frame)) {
      if (ACCEPTED() == -2) START(child);
    }
  });
  ASSERT_TRUE(screen.Settle());
  screen.ChooseMenu(screen.FindWindow(values::W("Дни рождения")), -2);
  ASSERT_TRUE(screen.Settle());
  int32_t first = screen.TopWindowOf(2);
  int32_t second = screen.TopWindowOf(3);
  EXPECT_EQ(screen.engine().ActiveWindow(), second);
  {
    std::lock_guard lock(mu);
    seen.clear();
  }
  screen.Activate(first);
  screen.Activate(first);  // already active: nothing
  screen.SelectRow(first, 1, 1);
  ASSERT_TRUE(screen.Settle());
  std::lock_guard lock(mu);
  EXPECT_EQ(seen[3], std::vector<std::string>{"LoseFocus"});
  EXPECT_EQ(seen[2], (std::vector<std::string>{"GainFocus", "NewSelection(1)"}));
  EXPECT_EQ(screen.Prop(first, 0, PROP::Active), "1");
  EXPECT_EQ(screen.Prop(second, 0, PROP::Active), "0");
}

// The screen may report the same selection, thumb drag or size several
// times before the program looks: the queue keeps one of each.
TEST(EventLoop, RepeatedReportsWaitingInTheQueueArriveOnce) {
  HeadlessEngine screen;
  ASSERT_TRUE(screen.engine().AttachMainThread());
  Window window(ChildDefinition(WindowKind::kModal));
  ASSERT_TRUE(window.Open());
  int32_t id = window.Id();
  screen.SelectRow(id, 1, 1);
  screen.Resize(id, 250, 200);
  screen.SelectRow(id, 1, 2);
  screen.DragThumb(id, 1, 30);
  screen.Resize(id, 260, 210);
  screen.DragThumb(id, 1, 40);
  screen.Click(id, 9);
  POST(EVENT::CloseWindow);
  std::vector<std::string> seen;
  while (ACCEPT(window)) seen.push_back(Seen());
  // The first size report after opening absorbed the user's two.
  EXPECT_EQ(seen, (std::vector<std::string>{"OpenWindow", "GainFocus", "Sized",
                                            "NewSelection(1)", "ScrollDrag(1)", "Accepted(9)",
                                            "CloseWindow"}));
  EXPECT_EQ(window.IsOpen(), false);
}

TEST(EventLoop, TargetAndKeyCodeBelongToTheCallingThread) {
  HeadlessEngine screen;
  ASSERT_TRUE(screen.engine().AttachMainThread());
  EXPECT_EQ(TARGET(), nullptr);
  Window window(ChildDefinition(WindowKind::kModal));
  ASSERT_TRUE(window.Open());
  EXPECT_EQ(TARGET(), &window);
  SETKEYCODE(KEY::MouseRightUp);
  EXPECT_EQ(KEYCODE(), KEY::MouseRightUp);
  std::thread other([] {
    EXPECT_EQ(KEYCODE(), 0);
    EXPECT_EQ(TARGET(), nullptr);
  });
  other.join();
  SETKEYCODE(0);
  EXPECT_EQ(KEYCODE(), 0);
}

TEST(Notify, CarriesCodeSenderAndParameter) {
  HeadlessEngine screen;
  std::vector<int32_t> got;
  screen.RunMain([&] {
    Window window(ChildDefinition(WindowKind::kModal));
    ASSERT_TRUE(window.Open());
    while (ACCEPT(window)) {
      if (EVENT() != EVENT::Notify) continue;
      int32_t code = 0, thread = 0, parameter = 0;
      ASSERT_TRUE(NOTIFICATION(code, thread, parameter));
      got = {code, thread, parameter};
      POST(EVENT::CloseWindow);
    }
  });
  ASSERT_TRUE(screen.Settle());
  std::thread sender([&] { NOTIFY(7, 1, 42); });
  sender.join();
  ASSERT_TRUE(screen.Finish());
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], 7);
  EXPECT_NE(got[1], 1);  // the sender's own thread number
  EXPECT_EQ(got[2], 42);
}

}  // namespace
}  // namespace zuna::window
