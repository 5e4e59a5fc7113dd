// The same demonstration procedures on the headless screen: what the Qt
// test shows on real widgets holds for the script too, event for event.
#include <gtest/gtest.h>

#include <vector>

#include "app/window_demo/demo_procedures.h"
#include "app/window_demo/people_window.h"
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

  screen.ChooseMenu(frame, -5);  // "Выход" (−4 is the separator)
  ASSERT_TRUE(screen.Finish());
  EXPECT_TRUE(screen.Windows().empty());
}

// The resizable window under strategy 2: the list keeps its margins, the
// buttons their size and their nearer edges; its list's right-click menu
// mirrors the buttons, the disabled one disabled.
TEST(DemoOnTheHeadlessScreen, ThePeopleWindowKeepsItsControlsInPlace) {
  HeadlessEngine screen;
  ASSERT_TRUE(screen.RunMain(demo::DemoMain));
  ASSERT_TRUE(screen.Settle());
  int32_t frame = screen.FindWindow(W(demo::kFrameTitle));
  screen.ChooseMenu(frame, -3);  // "Список людей"
  ASSERT_TRUE(screen.Settle());
  int32_t people = screen.FindWindow(W(demo::kPeopleTitle));
  ASSERT_NE(people, 0);
  EXPECT_EQ(screen.Rows(people, demo::kPeopleList).size(), 8u);

  screen.Resize(people, demo::kPeopleWidth + 40, demo::kPeopleHeight + 40);
  ASSERT_TRUE(screen.Settle());
  struct Place {
    int32_t control;
    int32_t x, y, width, height;
  };
  const Place places[] = {
      {demo::kPeopleList, 4, 18, 188 + 40, 110 + 40},  // margins kept
      {demo::kInsertButton, 198 + 40, 4, 58, 14},     // right and top edges
      {demo::kChangeButton, 198 + 40, 22, 58, 14},
      {demo::kCloseButton_, 198 + 40, 132 + 40, 58, 14},  // right and bottom
  };
  for (const Place& place : places) {
    SCOPED_TRACE(place.control);
    EXPECT_EQ(screen.PropLong(people, place.control, PROP::Xpos), place.x);
    EXPECT_EQ(screen.PropLong(people, place.control, PROP::Ypos), place.y);
    EXPECT_EQ(screen.PropLong(people, place.control, PROP::Width), place.width);
    EXPECT_EQ(screen.PropLong(people, place.control, PROP::Height), place.height);
  }
  EXPECT_EQ(screen.PropLong(people, demo::kStatusLine, PROP::Ypos), 5);  // keeps its top

  // Never smaller than defined.
  screen.Resize(people, 100, 50);
  ASSERT_TRUE(screen.Settle());
  EXPECT_EQ(screen.PropLong(people, 0, PROP::ClientWidth), demo::kPeopleWidth);
  EXPECT_EQ(screen.PropLong(people, demo::kCloseButton_, PROP::Ypos), 132);

  screen.RightClickRow(people, demo::kPeopleList, 3);
  ASSERT_TRUE(screen.Settle());
  std::vector<ModalRequest> questions = screen.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text, W("&Добавить|&Изменить|~&Удалить|-|&Закрыть"));
  ASSERT_TRUE(screen.AnswerPopup(W("&Изменить")));
  ASSERT_TRUE(screen.Settle());
  EXPECT_EQ(screen.Text(people, demo::kStatusLine).substr(0, W("Выбрано: Изменить").size()),
            W("Выбрано: Изменить"));

  screen.ChooseMenu(frame, -5);  // "Выход"
  ASSERT_TRUE(screen.Finish());
  EXPECT_TRUE(screen.Windows().empty());
}

}  // namespace
}  // namespace zuna::window
