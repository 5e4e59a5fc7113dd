#include "framework/window/engine_host.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/data/error_manager.h"
#include "runtime/values/code_page.h"
#include "runtime/values/error_state.h"
#include "runtime/window/engine.h"
#include "runtime/window/headless.h"
#include "runtime/window/list_format.h"
#include "runtime/window/properties.h"
#include "tests/runtime/window/window_fixtures.h"

namespace zuna::framework {
namespace {

using values::W;
namespace BUTTON = window::BUTTON;
using window::EVENT;
using window::HeadlessEngine;
namespace ICON = window::ICON;
using window::ModalRequest;

// What a procedure thread saw: its THREAD(), and what the error manager
// handed back to it.
struct ThreadResult {
  int32_t thread = 0;
  int32_t host_thread = 0;  // CurrentThreadNumber(): the host's numbering
  int32_t answer = -1;
};

// The register's set-up: the error manager reports through the engine; the
// main frame (thread 1) starts a procedure on its own thread for each
// choice of menu −2, and runs `child_` there.  Stops are recorded, not
// carried out.
class EngineHostTest : public ::testing::Test {
 protected:
  EngineHostTest()
      : host_([this](int exit_code, std::string_view message) {
          std::lock_guard lock(mu_);
          stops_.emplace_back(exit_code, std::string(message));
        }),
        installed_(host_) {
    values::ClearError();
    errors_.Init(status_);
  }
  ~EngineHostTest() override { values::ClearError(); }

  // Opens the frame; each StartChild() then runs `child_` on a new thread.
  void OpenFrame() {
    ASSERT_TRUE(screen_.RunMain([this] {
      window::Window frame(window::testing::FrameDefinition());
      if (!frame.Open()) return;
      while (window::ACCEPT(frame)) {
        if (window::ACCEPTED() == -2) window::START([this] { RunChild(); }, 25000);
      }
    }));
    ASSERT_TRUE(screen_.Settle());
    frame_ = screen_.FindWindow(W("Дни рождения"));
    ASSERT_NE(frame_, 0);
  }

  void StartChild() {
    screen_.ChooseMenu(frame_, -2);
    ASSERT_TRUE(screen_.Settle());
  }

  void CloseFrame() {
    screen_.ChooseMenu(frame_, -3);
    ASSERT_TRUE(screen_.Finish());
  }

  void RunChild() {
    ThreadResult result;
    result.thread = window::THREAD();
    result.host_thread = CurrentThreadNumber();
    result.answer = child_(result.thread);
    std::lock_guard lock(mu_);
    results_[result.thread] = result;
  }

  std::map<int32_t, ThreadResult> Results() {
    std::lock_guard lock(mu_);
    return results_;
  }

  std::vector<std::pair<int, std::string>> Stops() {
    std::lock_guard lock(mu_);
    return stops_;
  }

  ErrorStatusClass status_;
  ErrorClass errors_;
  EngineHost host_;
  ScopedHost installed_;
  // Run on each child thread with its THREAD(); returns what it got back.
  std::function<int32_t(int32_t thread)> child_;
  int32_t frame_ = 0;
  std::mutex mu_;
  std::map<int32_t, ThreadResult> results_;
  std::vector<std::pair<int, std::string>> stops_;
  // Last: its destructor ends the procedures, which use the members above.
  HeadlessEngine screen_;
};

TEST_F(EngineHostTest, AQuestionBlocksOnlyItsThreadAndTheAnswerComesBackToIt) {
  child_ = [this](int32_t) { return errors_.Throw(Msg::ConfirmDelete); };
  OpenFrame();
  StartChild();
  std::vector<ModalRequest> questions = screen_.Questions();
  ASSERT_EQ(questions.size(), 1u);
  const ModalRequest first = questions[0];
  EXPECT_EQ(first.kind, ModalRequest::Kind::kMessage);
  EXPECT_EQ(first.caption, W("Подтвердите Удаление"));
  EXPECT_EQ(first.text, W("Вы уверены что желаете удалить выделенную запись?"));
  EXPECT_EQ(first.icon, ICON::Exclamation);
  EXPECT_EQ(first.buttons, BUTTON::Yes | BUTTON::No);
  EXPECT_EQ(first.default_button, BUTTON::Yes);
  EXPECT_NE(first.thread, 1);

  // The frame's thread goes on while the question waits: it starts another.
  StartChild();
  questions = screen_.Questions();
  ASSERT_EQ(questions.size(), 2u);
  const int32_t second_thread = questions[1].thread;
  EXPECT_NE(second_thread, first.thread);
  EXPECT_TRUE(Results().empty());

  ASSERT_TRUE(screen_.Answer(BUTTON::No));  // the oldest: the first thread's
  ASSERT_TRUE(screen_.Settle());
  std::map<int32_t, ThreadResult> results = Results();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results.at(first.thread).answer, Level::Cancel);

  ASSERT_TRUE(screen_.Answer(BUTTON::Yes));
  ASSERT_TRUE(screen_.Settle());
  results = Results();
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results.at(second_thread).answer, Level::Benign);
  CloseFrame();
}

TEST_F(EngineHostTest, EachThreadSeesItsOwnNumberFileAndProcedure) {
  errors_.AddError(900, "%Procedure: %File (%Message)", W("Вопрос"), Level::User);
  child_ = [this](int32_t thread) {
    const std::string number = std::to_string(thread);
    errors_.SetProcedureName("Child" + number);
    errors_.SetFile("F" + number + ".DAT");
    const uint8_t level = errors_.ThrowMessage(900, number);
    errors_.SetProcedureName();
    return level;
  };
  OpenFrame();
  StartChild();
  StartChild();
  const std::vector<ModalRequest> questions = screen_.Questions();
  ASSERT_EQ(questions.size(), 2u);
  for (const ModalRequest& question : questions) {
    const std::string number = std::to_string(question.thread);
    EXPECT_EQ(question.text, "Child" + number + ": F" + number + ".DAT (" + number + ")");
    EXPECT_EQ(question.caption, W("Вопрос"));
  }
  ASSERT_TRUE(screen_.Answer(BUTTON::Yes));
  ASSERT_TRUE(screen_.Answer(BUTTON::Yes));
  ASSERT_TRUE(screen_.Settle());
  const std::map<int32_t, ThreadResult> results = Results();
  ASSERT_EQ(results.size(), 2u);
  for (const auto& [thread, result] : results) {
    EXPECT_EQ(result.host_thread, thread);  // the host numbers as THREAD()
    EXPECT_EQ(result.answer, Level::Benign);
  }
  EXPECT_EQ(errors_.GetProcedureName(), "");
  CloseFrame();
}

TEST_F(EngineHostTest, NoticesAndQuestionsCarryTheErrorManagersChoice) {
  errors_.MsgStyle = 12;
  child_ = [this](int32_t) {
    errors_.SetFile("ZUN");
    errors_.Throw(Msg::KeyCorrupt);
    return errors_.Message(Msg::UpdateRetry, Button::Yes | Button::No | Button::Cancel,
                           Button::No);
  };
  OpenFrame();
  StartChild();
  std::vector<ModalRequest> questions = screen_.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].caption, W("Неверный ключ"));
  EXPECT_EQ(questions[0].text, W("Файл ZUN - ключ испорчен. Ключ необходимо перестроить."));
  EXPECT_EQ(questions[0].icon, ICON::Information);
  EXPECT_EQ(window::SystemIconNumber(questions[0].icon), Icon::Information);
  EXPECT_EQ(questions[0].buttons, BUTTON::OK);
  EXPECT_EQ(questions[0].default_button, BUTTON::OK);
  EXPECT_EQ(questions[0].style, 12);
  ASSERT_TRUE(screen_.Answer(BUTTON::OK));
  ASSERT_TRUE(screen_.Settle());

  questions = screen_.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].caption, W("Ошибка перезаписи"));
  EXPECT_EQ(questions[0].icon, ICON::Exclamation);
  EXPECT_EQ(questions[0].buttons, BUTTON::Yes | BUTTON::No | BUTTON::Cancel);
  EXPECT_EQ(questions[0].default_button, BUTTON::No);
  ASSERT_TRUE(screen_.Answer(BUTTON::Cancel));
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(Results().begin()->second.answer, Button::Cancel);
  CloseFrame();
}

TEST_F(EngineHostTest, AFatalErrorIsAcknowledgedThenStopsWithAFailureCode) {
  child_ = [this](int32_t) {
    errors_.SetFile("ZUN");
    return errors_.TakeError(Msg::OpenFailed);
  };
  OpenFrame();
  StartChild();
  const std::vector<ModalRequest> questions = screen_.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].caption, W("Ошибка доступа к файлу"));
  EXPECT_EQ(questions[0].text, W("Файл ZUN не может быть открыт.  Ошибка:  (0).") +
                                   "  Press OK to end this application");
  EXPECT_EQ(questions[0].icon, ICON::Information);
  EXPECT_EQ(questions[0].buttons, BUTTON::OK);
  EXPECT_TRUE(Stops().empty());  // not before the message is acknowledged
  ASSERT_TRUE(screen_.Answer(BUTTON::OK));
  ASSERT_TRUE(screen_.Settle());
  const auto stops = Stops();
  ASSERT_EQ(stops.size(), 1u);
  EXPECT_EQ(stops[0].first, kFatalStopExitCode);
  EXPECT_EQ(stops[0].second, W("Ошибка доступа к файлу"));
  // This stop returned (a test's), so the handler says Fatal.
  EXPECT_EQ(Results().begin()->second.answer, Level::Fatal);
  CloseFrame();
}

// --- The history window ------------------------------------------------------

TEST_F(EngineHostTest, HistoryIsAModalWindowWithTwoColumnsAndTheMaskButtons) {
  errors_.SetHistoryThreshold(-1);
  child_ = [this](int32_t) {
    errors_.SetFile("ZUN");
    errors_.Msg("direct", "C", Icon::Information, Button::OK, Button::OK);
    errors_.Throw(Msg::KeyCorrupt);  // below the view level: only listed
    return errors_.ViewHistory();
  };
  OpenFrame();
  StartChild();
  EXPECT_TRUE(screen_.Questions().empty());
  const int32_t history = screen_.FindWindow("Errors History");
  ASSERT_NE(history, 0);
  const std::optional<window::WindowView> view = screen_.View(history);
  ASSERT_TRUE(view.has_value());
  EXPECT_EQ(view->kind, window::WindowKind::kModal);
  EXPECT_EQ(view->name, kHistoryWindowName);
  EXPECT_NE(view->thread, 1);
  EXPECT_EQ(screen_.TopWindowOf(view->thread), history);

  const window::ListRows rows = screen_.Rows(history, kHistoryList);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"direct", "VFC"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{
                         W("Файл ZUN - ключ испорчен. Ключ необходимо перестроить."), "VFC"}));

  // OK and Help (129), OK the default.
  ASSERT_EQ(view->controls.size(), 3u);
  EXPECT_EQ(screen_.ControlNumber(history, "?Ok"), kHistoryFirstButton);
  EXPECT_EQ(screen_.ControlNumber(history, "?Help"), kHistoryFirstButton + 1);
  EXPECT_EQ(screen_.Text(history, kHistoryFirstButton), "O&k");
  EXPECT_EQ(screen_.Text(history, kHistoryFirstButton + 1), "&Help");
  EXPECT_EQ(screen_.PropLong(history, kHistoryFirstButton, window::PROP::Default), 1);
  EXPECT_EQ(screen_.PropLong(history, kHistoryFirstButton + 1, window::PROP::Default), 0);

  screen_.Click(history, kHistoryFirstButton + 1);
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(screen_.FindWindow("Errors History"), 0);
  ASSERT_EQ(Results().size(), 1u);
  EXPECT_EQ(Results().begin()->second.answer, Button::Help);
  CloseFrame();
}

TEST_F(EngineHostTest, HistoryAtTheViewLevelShowsTheEntrysCaptionAndButtons) {
  errors_.SetHistoryThreshold(-1);
  errors_.SetHistoryViewLevel(Level::User);
  child_ = [this](int32_t) { return errors_.Throw(Msg::ConfirmDelete); };
  OpenFrame();
  StartChild();
  const int32_t history = screen_.FindWindow(W("Подтвердите Удаление"));
  ASSERT_NE(history, 0);
  EXPECT_EQ(screen_.View(history)->props.at(window::PROP::Icon), ICON::Exclamation);
  EXPECT_EQ(screen_.ControlNumber(history, "?Yes"), kHistoryFirstButton);
  EXPECT_EQ(screen_.ControlNumber(history, "?No"), kHistoryFirstButton + 1);
  EXPECT_EQ(screen_.PropLong(history, kHistoryFirstButton, window::PROP::Default), 1);
  screen_.Click(history, screen_.ControlNumber(history, "?No"));
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(Results().begin()->second.answer, Level::Cancel);
  CloseFrame();
}

TEST_F(EngineHostTest, ClosingTheHistoryWindowAnswersTheDefault) {
  child_ = [this](int32_t) { return errors_.ViewHistory(); };
  OpenFrame();
  StartChild();
  const int32_t history = screen_.FindWindow("Errors History");
  ASSERT_NE(history, 0);
  EXPECT_TRUE(screen_.Rows(history, kHistoryList).empty());
  screen_.CloseBox(history);
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(screen_.FindWindow("Errors History"), 0);
  EXPECT_EQ(Results().begin()->second.answer, Button::OK);
  CloseFrame();
}

TEST(HistoryWindowDefinitionTest, ButtonsFollowTheMaskInARowUnderTheList) {
  HistoryWindowRequest request;
  request.caption = "C";
  request.buttons = Button::Yes | Button::No | Button::Cancel;
  request.default_button = Button::Cancel;
  const window::WindowDefinition definition = HistoryWindowDefinition(request);
  EXPECT_EQ(definition.kind, window::WindowKind::kModal);
  EXPECT_EQ(definition.title, "C");
  EXPECT_EQ(definition.icon, ICON::None);
  ASSERT_EQ(definition.controls.size(), 4u);
  const window::ControlDefinition& list = definition.controls[kHistoryList - 1];
  EXPECT_EQ(list.type, window::ControlType::List);
  EXPECT_EQ(window::ParseListFormat(list.format).size(), 2u);
  const char* labels[] = {"?Yes", "?No", "?Cancel"};
  for (size_t i = 1; i < 4; ++i) {
    const window::ControlDefinition& button = definition.controls[i];
    EXPECT_EQ(button.type, window::ControlType::Button);
    EXPECT_EQ(button.label, labels[i - 1]);
    EXPECT_EQ(button.is_default, i == 3);
    EXPECT_GE(button.y, list.y + list.height);
    EXPECT_LE(button.x + button.width, definition.width);
    if (i > 1) {
      EXPECT_GT(button.x, definition.controls[i - 1].x);
    }
  }
}

// --- The real stop -------------------------------------------------------------

TEST(EngineHostDeathTest, AFatalErrorOnAProcedureThreadEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ErrorStatusClass status;
        ErrorClass errors;
        EngineHost host;
        ScopedHost installed(host);
        errors.Init(status);
        HeadlessEngine screen;
        screen.AnswerWith([](const ModalRequest& request) {
          return std::optional<int32_t>(request.default_button);
        });
        screen.RunMain([&] {
          errors.SetFile("ZUN");
          errors.TakeError(Msg::OpenFailed);
        });
        screen.Finish();
      },
      ::testing::ExitedWithCode(kFatalStopExitCode), "Program stopped: ");
}

}  // namespace
}  // namespace zuna::framework
