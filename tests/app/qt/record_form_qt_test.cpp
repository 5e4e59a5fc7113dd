// The register's record form through the real Qt widgets: an insert typed
// and saved with OK, a change closed with "Выход" and the question that
// follows (Cancel stays, Yes saves), and a new record given up with No.
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise;
// with ZUNA_SHOT_DIR set, the screen is saved there while the change form
// is open (run under Xvfb to see it as a user would).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/record_form.h"
#include "framework/window/engine_host.h"
#include "framework/window/window_manager.h"
#include "runtime/values/code_page.h"
#include "runtime/values/error_state.h"
#include "runtime/window/qt/qt_session.h"
#include "tests/support/register/form_calls.h"
#include "tests/support/qt_session_test.h"
#include "tests/support/shipped_locale.h"
#include "tests/support/temp_dir.h"

namespace zuna::app {
namespace {

using values::W;
using zuna::testing::FormCalls;
namespace BUTTON = window::BUTTON;

const char* const kInsertTitle = "Добавить ???";
const char* const kChangeTitle = "Изменить ???";

class RecordFormQt : public zuna::testing::QtSessionTest {
 protected:
  RecordFormQt() : host_([](int, std::string_view) {}) {
    installed_ = std::make_unique<framework::ScopedHost>(host_);
    zuna::testing::InstallShippedLocale();
    values::ClearError();
    GlobalErrors.Init(GlobalErrorStatus);
    EXPECT_EQ(::getcwd(previous_dir_, sizeof previous_dir_), previous_dir_);
    EXPECT_EQ(::chdir(dir_.path().c_str()), 0);
  }
  ~RecordFormQt() override {
    session_.reset();  // every procedure thread ends here
    installed_.reset();
    EXPECT_EQ(::chdir(previous_dir_), 0);
    GlobalErrors.Kill();
    values::ClearError();
  }

  bool FormOpen(const char* title) {
    for (const std::string& t : session_->ChildTitles()) {
      if (t == title) return true;
    }
    return false;
  }

  // Calls the form and waits until it stands titled `title`.
  void CallForm(uint8_t request, std::string name, const char* title) {
    calls_.Queue({request, std::move(name)});
    ASSERT_TRUE(Pump([&] { return Settled() && session_->TriggerMenuItem("Форма"); }));
    ASSERT_TRUE(Pump([&] { return Settled() && FormOpen(title); }));
  }
  void Type(const char* title, int32_t control, const char* text, bool leave) {
    ASSERT_TRUE(session_->TypeInto(title, control, text, leave));
    ASSERT_TRUE(Pump([&] { return Settled(); }));
  }
  void Click(const char* title, const char* caption) {
    ASSERT_TRUE(session_->ClickButton(title, caption));
  }
  void AnswerQuestion(const char* caption, int32_t button) {
    ASSERT_TRUE(Pump([&] { return session_->MessageBoxCaption() == caption; }));
    ASSERT_TRUE(session_->AnswerMessageBox(button));
  }
  void WaitClosed() {
    ASSERT_TRUE(Pump([&] { return Settled() && session_->ChildTitles().empty(); }));
  }

  framework::EngineHost host_;
  zuna::testing::TempDir dir_;
  char previous_dir_[4096] = {};
  FormCalls calls_;
  std::unique_ptr<framework::ScopedHost> installed_;
};

TEST_F(RecordFormQt, InsertChangeAndCloseWithQuestionsThroughTheWidgets) {
  ASSERT_TRUE(session_->Start(FormCalls::Main(calls_)));

  CallForm(framework::InsertRecord, {}, kInsertTitle);
  Type(kInsertTitle, kFormName, "Иванов Иван", /*leave=*/true);
  Type(kInsertTitle, kFormDate, "05/03/2009", /*leave=*/true);
  Click(kInsertTitle, "OK");
  WaitClosed();
  EXPECT_EQ(calls_.Names(), std::vector<std::string>{W("Иванов Иван")});

  CallForm(framework::ChangeRecord, W("Иванов Иван"), kChangeTitle);
  EXPECT_EQ(session_->EntryText(kChangeTitle, kFormDate), " 5/03/2009");
  // What a screen reader says for each control: the entries by the prompts
  // beside them.
  EXPECT_EQ(session_->AccessibleNames(kChangeTitle),
            (std::vector<std::string>{"CurrentTab", "", "ActionMessage", "Ф И О", "Ф И О",
                                      "День рождения", "День рождения", "OK", "Выход"}));
  Type(kChangeTitle, kFormName, "Иванова Анна", /*leave=*/false);
  if (const char* shots = std::getenv("ZUNA_SHOT_DIR")) {
    EXPECT_TRUE(session_->GrabScreen(std::string(shots) + "/record-form.png"));
  }
  Click(kChangeTitle, "Выход");
  AnswerQuestion("Сохранение записи", BUTTON::Cancel);
  ASSERT_TRUE(Pump([&] { return Settled(); }));
  EXPECT_TRUE(FormOpen(kChangeTitle)) << "Cancel returns to the form";
  EXPECT_EQ(session_->EntryText(kChangeTitle, kFormName), "Иванова Анна");
  Click(kChangeTitle, "Выход");
  AnswerQuestion("Сохранение записи", BUTTON::Yes);
  WaitClosed();
  EXPECT_EQ(calls_.Names(), std::vector<std::string>{W("Иванова Анна")});

  CallForm(framework::InsertRecord, {}, kInsertTitle);
  Type(kInsertTitle, kFormName, "Петров Пётр", /*leave=*/true);
  Click(kInsertTitle, "Выход");
  AnswerQuestion("Сохранение записи", BUTTON::No);
  WaitClosed();
  EXPECT_EQ(calls_.Names(), std::vector<std::string>{W("Иванова Анна")});

  EXPECT_EQ(calls_.Responses(),
            (std::vector<uint8_t>{framework::RequestCompleted, framework::RequestCompleted,
                                  framework::RequestCancelled}));
  ASSERT_TRUE(session_->TriggerMenuItem("Выход"));
  EXPECT_TRUE(Pump([&] { return session_->MainEnded(); }));
}

}  // namespace
}  // namespace zuna::app
