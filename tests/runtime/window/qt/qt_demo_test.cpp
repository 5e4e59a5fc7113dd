// The window demonstration on the real Qt screen, offscreen: the frame
// opens, its menu starts child windows on threads of their own, a child's
// button asks a Yes/No question, the user answers it, and the answer
// reaches the thread that asked.  While one child waits for its answer the
// others go on working.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/window_demo/demo_procedures.h"
#include "runtime/window/properties.h"
#include "runtime/window/qt/qt_session.h"
#include "tests/support/temp_dir.h"

namespace zuna::window::qt {
namespace {

namespace demo = zuna::app::demo;

constexpr int kWait = 10000;  // ms; only a stuck GUI takes this long

TEST(QtDemo, TheAnswerReachesTheAskingThread) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int argc = 1;
  char name[] = "window_qt_tests";
  char* argv[] = {name, nullptr};
  QtSession session(argc, argv);
  size_t answered_before = demo::Answers().size();  // the log is the process's
  ASSERT_TRUE(session.Start(demo::DemoMain));

  // The frame and its menu.
  ASSERT_TRUE(session.PumpUntil([&] { return session.TriggerMenuItem(demo::kNewWindowItem); },
                                kWait));
  std::string first = demo::ChildTitle(2);
  ASSERT_TRUE(session.PumpUntil([&] { return session.ChildTitles().size() == 1; }, kWait));
  EXPECT_EQ(session.ChildTitles(), std::vector<std::string>{first});

  // A second child on thread 3.
  ASSERT_TRUE(session.TriggerMenuItem(demo::kNewWindowItem));
  std::string second = demo::ChildTitle(3);
  ASSERT_TRUE(session.PumpUntil([&] { return session.ChildTitles().size() == 2; }, kWait));

  // The first child asks; the question is on screen, in Russian.
  ASSERT_TRUE(session.ClickButton(first, demo::kAskButton));
  ASSERT_TRUE(session.PumpUntil([&] { return !session.MessageBoxText().empty(); }, kWait));
  EXPECT_EQ(session.MessageBoxText(), demo::kQuestion);
  EXPECT_EQ(session.MessageBoxCaption(), "Вопрос окна 2");
  EXPECT_EQ(demo::Answers().size(), answered_before);

  // Thread 3 is not blocked by thread 2's question: it closes its window
  // and ends.
  ASSERT_TRUE(session.ClickButton(second, demo::kCloseButton));
  ASSERT_TRUE(session.PumpUntil([&] { return session.ChildTitles().size() == 1; }, kWait));

  // The answer reaches thread 2, which shows it.
  ASSERT_TRUE(session.AnswerMessageBox(BUTTON::No));
  ASSERT_TRUE(session.PumpUntil(
      [&] { return session.HasLabelStartingWith(first, demo::kAnswerNo); }, kWait));
  std::vector<demo::Answer> answers = demo::Answers();
  ASSERT_EQ(answers.size(), answered_before + 1);
  EXPECT_EQ(answers.back().asked_on, 2);
  EXPECT_EQ(answers.back().received_on, 2);
  EXPECT_EQ(answers.back().button, BUTTON::No);

  // A picture of what is shown can be taken (and is not kept).
  zuna::testing::TempDir dir;
  std::string picture = dir.File("screen.png");
  ASSERT_TRUE(session.GrabScreen(picture));
  EXPECT_GT(std::filesystem::file_size(picture), 0u);

  // "Выход" closes the child first, then the frame; the program ends.
  ASSERT_TRUE(session.TriggerMenuItem(demo::kExitItem));
  ASSERT_TRUE(session.PumpUntil([&] { return session.MainEnded(); }, kWait));
  EXPECT_TRUE(session.PumpUntil([&] { return session.ChildTitles().empty(); }, kWait));
}

}  // namespace
}  // namespace zuna::window::qt
