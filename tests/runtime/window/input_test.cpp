// Keys, alerts, list clicks, message boxes and popup menus answered by the
// script.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "runtime/values/code_page.h"
#include "runtime/window/engine.h"
#include "runtime/window/headless.h"
#include "runtime/window/popup_menu.h"
#include "tests/runtime/window/window_fixtures.h"

namespace zuna::window {
namespace {

using testing::ChildDefinition;
using testing::FrameDefinition;
using values::W;

struct KeySeen {
  int32_t event;
  int32_t field;
  int32_t keycode;
  int32_t keychar;
  bool operator==(const KeySeen&) const = default;
};

class Keys : public ::testing::Test {
 protected:
  void SetUp() override {
    screen_.RunMain([this] {
      Window window(ChildDefinition(WindowKind::kModal));
      ASSERT_TRUE(window.Open());
      window.Alert(1, KEY::MouseLeft2);
      window.Alert(1, KEY::MouseRightUp);
      window.Alert(1, KEY::Apps);
      window.Alert(1, KEY::BS);
      window.Alert(5, KEY::CtrlQuote);
      window.Alert(0, KEY::F1);
      id_ = window.Id();
      while (ACCEPT(window)) {
        if (EVENT() >= EVENT::OpenWindow && EVENT() <= EVENT::Sized) continue;
        seen_.push_back(KeySeen{EVENT(), FIELD(), KEYCODE(), KEYCHAR()});
        if (EVENT() == EVENT::AlertKey && KEYCODE() == KEY::Apps) SETKEYCODE(0);
      }
    });
    ASSERT_TRUE(screen_.Settle());
  }

  std::atomic<int32_t> id_{0};
  std::vector<KeySeen> seen_;
  // Last: its destructor ends the procedure, which uses the members above.
  HeadlessEngine screen_;
};

TEST_F(Keys, AlertedKeysArriveAsAlertKeyWithTheirCodeAndCharacter) {
  screen_.PressKey(id_, 1, KEY::BS);
  screen_.PressKey(id_, 5, KEY::CtrlQuote);
  screen_.PressKey(id_, 7, KEY::F1);  // alerted on the whole window
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(seen_, (std::vector<KeySeen>{{EVENT::AlertKey, 1, KEY::BS, 0},
                                         {EVENT::AlertKey, 5, 734, 0},
                                         {EVENT::AlertKey, 7, KEY::F1, 0}}));
}

TEST_F(Keys, KeysNotAlertedDoWhatTheControlDoes) {
  screen_.PressKey(id_, 5, KEY::BS);        // nothing to report
  screen_.PressKey(id_, 9, KEY::Enter);     // a button is pressed
  screen_.PressKey(id_, 1, KEY::Down);      // an Imm list scrolls by event
  screen_.PressKey(id_, 1, KEY::PgDn);
  ASSERT_TRUE(screen_.Settle());
  ASSERT_EQ(seen_.size(), 3u);
  EXPECT_EQ(seen_[0].event, EVENT::Accepted);
  EXPECT_EQ(seen_[0].field, 9);
  EXPECT_EQ(seen_[1].event, EVENT::ScrollDown);
  EXPECT_EQ(seen_[2].event, EVENT::PageDown);
}

TEST_F(Keys, ClicksOnTheListAreKeysToo) {
  screen_.DoubleClickRow(id_, 1, 1);
  screen_.RightClickRow(id_, 1, 1);
  screen_.PressKey(id_, 1, KEY::Apps);
  ASSERT_TRUE(screen_.Settle());
  ASSERT_EQ(seen_.size(), 4u);
  EXPECT_EQ(seen_[0].event, EVENT::NewSelection);
  EXPECT_EQ(seen_[1], (KeySeen{EVENT::AlertKey, 1, KEY::MouseLeft2, 0}));
  EXPECT_EQ(seen_[2], (KeySeen{EVENT::AlertKey, 1, KEY::MouseRightUp, 0}));
  EXPECT_EQ(screen_.PropLong(id_, 1, PROP::MouseDownZone), ListZone::Row);
  EXPECT_EQ(seen_[3], (KeySeen{EVENT::AlertKey, 1, KEY::Apps, 0}));
  // On another row the press moves the highlight there first.
  screen_.RightClickRow(id_, 1, 2);
  ASSERT_TRUE(screen_.Settle());
  ASSERT_EQ(seen_.size(), 6u);
  EXPECT_EQ(seen_[4], (KeySeen{EVENT::NewSelection, 1, KEY::MouseRight, 0}));
  EXPECT_EQ(seen_[5], (KeySeen{EVENT::AlertKey, 1, KEY::MouseRightUp, 0}));
  EXPECT_EQ(screen_.PropLong(id_, 1, PROP::Selected), 2);
}

TEST_F(Keys, TypedCharactersCarryTheirKeyAndCharacter) {
  screen_.TypeKeys(id_, 5, W("Ив"));
  screen_.Send(id_, 0x400);
  ASSERT_TRUE(screen_.Settle());
  // Not alerted: typed into the entry.
  EXPECT_EQ(screen_.Text(id_, 5), W("Ив"));
  EXPECT_EQ(KeyCodeForCharacter(W("ф")[0]), 'A');
  EXPECT_EQ(KeyCodeForCharacter(W("Я")[0]), KEY::Shift + 'Z');
  EXPECT_EQ(KeyCodeForCharacter(W("э")[0]), KEY::Quote);
  EXPECT_EQ(KeyCodeForCharacter(' '), KEY::Space);
  EXPECT_EQ(KeyCodeForCharacter('7'), '7');
}

TEST(KeyCodes, ModifiersAddToTheVirtualKey) {
  EXPECT_EQ(KEY::CtrlEnter, 0x20D);
  EXPECT_EQ(KEY::ShiftEnter, 0x10D);
  EXPECT_EQ(KEY::CtrlQuote, 734);
  EXPECT_EQ(KEY::Insert, 0x2D);
  EXPECT_EQ(KEY::Delete, 0x2E);
  EXPECT_EQ(KEY::Apps, 0x5D);
  EXPECT_EQ(KEY::MouseRightUp, 0x82);
}

// A message box blocks the asking thread only: another thread goes on
// taking its events meanwhile.
TEST(MessageBox, BlocksOnlyTheAskingThreadUntilAnswered) {
  HeadlessEngine screen;
  std::atomic<int32_t> answer{-1};
  std::atomic<int32_t> answered_on{0};
  std::atomic<int32_t> other_events{0};
  screen.RunMain([&] {
    Window frame(FrameDefinition());
    ASSERT_TRUE(frame.Open());
    START([&] {
      Window window(ChildDefinition());
      ASSERT_TRUE(window.Open());
      while (ACCEPT(window)) {
        if (ACCEPTED() == 9) {
          answer = MESSAGE(W("Продолжить?"), W("Вопрос"), ICON::Question,
                           BUTTON::Yes + BUTTON::No, BUTTON::No);
          answered_on = THREAD();
        }
      }
    });
    START([&] {
      Window window(ChildDefinition());
      ASSERT_TRUE(window.Open());
      while (ACCEPT(window)) {
        if (EVENT() == 0x400) ++other_events;
      }
    });
    while (ACCEPT(frame)) {
    }
  });
  ASSERT_TRUE(screen.Settle());
  screen.Click(screen.TopWindowOf(2), 9);
  ASSERT_TRUE(screen.Settle());
  std::vector<ModalRequest> questions = screen.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].thread, 2);
  EXPECT_EQ(questions[0].caption, W("Вопрос"));
  EXPECT_EQ(questions[0].text, W("Продолжить?"));
  EXPECT_EQ(questions[0].buttons, BUTTON::Yes + BUTTON::No);
  EXPECT_EQ(questions[0].default_button, BUTTON::No);
  EXPECT_EQ(SystemIconNumber(questions[0].icon), 32514);
  EXPECT_EQ(answer, -1);

  screen.Send(screen.TopWindowOf(3), 0x400);
  ASSERT_TRUE(screen.Settle());
  EXPECT_EQ(other_events, 1);
  EXPECT_EQ(answer, -1);

  ASSERT_TRUE(screen.Answer(BUTTON::Yes));
  ASSERT_TRUE(screen.Settle());
  EXPECT_EQ(answer, BUTTON::Yes);
  EXPECT_EQ(answered_on, 2);
  EXPECT_TRUE(screen.Questions().empty());
  screen.CloseBox(screen.FindWindow(W("Дни рождения")));
  ASSERT_TRUE(screen.Finish());
}

TEST(MessageBox, AHandlerAnswersAtOnceAndTheTranscriptKeepsIt) {
  HeadlessEngine screen;
  ASSERT_TRUE(screen.engine().AttachMainThread());
  screen.AnswerWith([](const ModalRequest& request) -> std::optional<int32_t> {
    if (request.text == "Delete?") return BUTTON::Cancel;
    return std::nullopt;
  });
  EXPECT_EQ(MESSAGE("Delete?", "Ask", ICON::Exclamation,
                    BUTTON::Yes + BUTTON::No + BUTTON::Cancel, BUTTON::Cancel),
            BUTTON::Cancel);
  std::vector<std::string> transcript = screen.Transcript();
  ASSERT_GE(transcript.size(), 2u);
  EXPECT_EQ(transcript[transcript.size() - 2],
            "message 1 \"Ask\" \"Delete?\" buttons 70 default 64");
  EXPECT_EQ(transcript.back(), "answer 64");
}

TEST(MessageBox, ADefaultOutsideTheButtonsFallsBackToTheFirst) {
  HeadlessEngine screen;
  ASSERT_TRUE(screen.engine().AttachMainThread());
  std::optional<ModalRequest> asked;
  screen.AnswerWith([&](const ModalRequest& request) -> std::optional<int32_t> {
    asked = request;
    return request.default_button;
  });
  EXPECT_EQ(MESSAGE("x", "y", ICON::None, BUTTON::Yes + BUTTON::No, BUTTON::Cancel),
            BUTTON::Yes);
  EXPECT_EQ(MESSAGE("x"), BUTTON::OK);
  ASSERT_TRUE(asked);
  EXPECT_EQ(asked->buttons, BUTTON::OK);
}

TEST(Popup, TheScriptChoosesALineByItsText) {
  HeadlessEngine screen;
  std::atomic<int32_t> chosen{-1};
  screen.RunMain([&] {
    Window window(ChildDefinition(WindowKind::kModal));
    ASSERT_TRUE(window.Open());
    while (ACCEPT(window)) {
      if (EVENT() == 0x400) {
        chosen = POPUP(W("&Добавить|~&Изменить|-|Сортировка{По имени|По дате}&Удалить"));
      }
    }
  });
  ASSERT_TRUE(screen.Settle());
  screen.Send(screen.TopWindowOf(1), 0x400);
  ASSERT_TRUE(screen.Settle());
  ASSERT_EQ(screen.Questions().size(), 1u);
  EXPECT_FALSE(screen.AnswerPopup(W("Нет такого")));
  EXPECT_FALSE(screen.AnswerPopup(W("&Изменить")));  // shown disabled
  ASSERT_TRUE(screen.AnswerPopup(W("По дате")));
  ASSERT_TRUE(screen.Settle());
  EXPECT_EQ(chosen, 4);
  screen.CloseBox(screen.TopWindowOf(1));
  ASSERT_TRUE(screen.Finish());
}

TEST(PopupMenu, LinesSkipSeparatorsAndSubmenuHeaders) {
  std::vector<PopupEntry> entries =
      ParsePopupMenu(W("~&Добавить|+&Изменить|-|-Вид|Сортировка{По имени|[ico]По дате}Закрыть"));
  ASSERT_EQ(entries.size(), 8u);
  EXPECT_TRUE(entries[0].disabled);
  EXPECT_EQ(entries[0].text, W("&Добавить"));
  EXPECT_EQ(entries[0].line, 1);
  EXPECT_EQ(entries[1].check, 1);
  EXPECT_TRUE(entries[2].separator);
  EXPECT_EQ(entries[2].line, 0);
  EXPECT_EQ(entries[3].check, 2);
  EXPECT_EQ(entries[3].text, W("Вид"));
  EXPECT_TRUE(entries[4].submenu);
  EXPECT_EQ(entries[4].line, 0);
  EXPECT_EQ(entries[5].depth, 2);
  EXPECT_EQ(entries[6].attributes, "ico");
  EXPECT_EQ(entries[6].line, 5);
  EXPECT_EQ(entries[7].depth, 1);
  EXPECT_EQ(entries[7].line, 6);
  EXPECT_EQ(FindPopupLine(entries, 6)->text, W("Закрыть"));
  EXPECT_EQ(FindPopupLine(entries, 7), nullptr);
}

TEST(Unattended, WithoutAnEngineQuestionsGetTheirDefault) {
  // No engine made current in this test: the process-wide one answers.
  EXPECT_EQ(MESSAGE("Anyone?", "", ICON::None, BUTTON::Yes + BUTTON::No, BUTTON::No),
            BUTTON::No);
  EXPECT_GT(THREAD(), 0);
}

}  // namespace
}  // namespace zuna::window
