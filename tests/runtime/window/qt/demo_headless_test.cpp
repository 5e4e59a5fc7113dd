// The same demonstration procedures on the headless screen: what the Qt
// test shows on real widgets holds for the script too, event for event.
#include <gtest/gtest.h>

#include <vector>

#include "app/window_demo/demo_procedures.h"
#include "runtime/values/code_page.h"
#include "runtime/window/headless.h"

namespace zuna::window {
namespace {

namespace demo = zuna::app::demo;
using values::W;

TEST(DemoOnTheHeadlessScreen, TheAnswerReachesTheAskingThread) {
  size_t answered_before = demo::Answers().size();
  HeadlessEngine screen;
  ASSERT_TRUE(screen.RunMain(demo::DemoMain));
  ASSERT_TRUE(screen.Settle());
  int32_t frame = screen.FindWindow(W(demo::kFrameTitle));
  ASSERT_NE(frame, 0);
  screen.ChooseMenu(frame, -2);  // "Новое окно"
  ASSERT_TRUE(screen.Settle());
  int32_t child = screen.FindWindow(W(demo::ChildTitle(2)));
  ASSERT_NE(child, 0);

  screen.Click(child, screen.ControlNumber(child, "?Ask"));
  ASSERT_TRUE(screen.Settle());
  std::vector<ModalRequest> questions = screen.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text, W(demo::kQuestion));
  EXPECT_EQ(questions[0].thread, 2);
  ASSERT_TRUE(screen.Answer(BUTTON::Yes));
  ASSERT_TRUE(screen.Settle());

  EXPECT_EQ(screen.Text(child, 7).substr(0, W(demo::kAnswerYes).size()), W(demo::kAnswerYes));
  ASSERT_EQ(screen.Rows(child, 3).size(), 1u);
  std::vector<demo::Answer> answers = demo::Answers();
  ASSERT_EQ(answers.size(), answered_before + 1);
  EXPECT_EQ(answers.back().received_on, 2);

  screen.ChooseMenu(frame, -4);  // "Выход" (−3 is the separator)
  ASSERT_TRUE(screen.Finish());
  EXPECT_TRUE(screen.Windows().empty());
}

}  // namespace
}  // namespace zuna::window
