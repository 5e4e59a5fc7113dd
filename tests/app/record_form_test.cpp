// The register's record form on the headless screen, called the way the
// maintenance list calls it: on a thread of its own, the request in
// GlobalRequest, the record in the thread's buffer.  Each request shows its
// title; OK does what the request asks; view mode never completes.
#include "app/record_form.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/zun_dictionary.h"
#include "framework/window/engine_host.h"
#include "framework/window/window_manager.h"
#include "runtime/values/code_page.h"
#include "runtime/values/error_state.h"
#include "runtime/window/headless.h"
#include "tests/support/register/form_calls.h"
#include "tests/support/shipped_locale.h"
#include "tests/support/temp_dir.h"

namespace zuna::app {
namespace {

using values::W;
using zuna::testing::FormCalls;
namespace BUTTON = window::BUTTON;

class RecordFormTest : public ::testing::Test {
 protected:
  RecordFormTest() : host_([](int, std::string_view) {}), installed_(host_) {
    zuna::testing::InstallShippedLocale();
    values::ClearError();
    GlobalErrors.Init(GlobalErrorStatus);
    EXPECT_EQ(::getcwd(previous_dir_, sizeof previous_dir_), previous_dir_);
    EXPECT_EQ(::chdir(dir_.path().c_str()), 0);
  }
  ~RecordFormTest() override {
    EXPECT_EQ(::chdir(previous_dir_), 0);
    GlobalErrors.Kill();
    values::ClearError();
  }

  void OpenFrame() {
    ASSERT_TRUE(screen_.RunMain(FormCalls::Main(calls_)));
    ASSERT_TRUE(screen_.Settle());
    frame_ = screen_.FindWindow(zuna::testing::CallerFrameTitle());
    ASSERT_NE(frame_, 0);
  }

  // Calls the form; returns its window (0 when it did not open).
  int32_t CallForm(uint8_t request, std::string name = {}) {
    calls_.Queue({request, std::move(name)});
    screen_.ChooseMenu(frame_, zuna::testing::kCallFormItem);
    EXPECT_TRUE(screen_.Settle());
    auto windows = screen_.Windows();
    return windows.size() > 1 ? windows.back() : 0;
  }

  void Do(const std::function<void()>& act) {
    act();
    ASSERT_TRUE(screen_.Settle());
  }

  framework::EngineHost host_;
  framework::ScopedHost installed_;
  zuna::testing::TempDir dir_;
  char previous_dir_[4096] = {};
  FormCalls calls_;
  int32_t frame_ = 0;
  window::HeadlessEngine screen_;
};

TEST_F(RecordFormTest, EachRequestThroughTheForm) {
  OpenFrame();
  // Insert: the title says so; OK adds the person.
  int32_t form = CallForm(framework::InsertRecord);
  ASSERT_NE(form, 0);
  EXPECT_EQ(screen_.Title(form), W("Добавить ???"));
  EXPECT_EQ(screen_.Text(form, kFormActionMessage), W("Добавить ???"));
  Do([&] { screen_.Type(form, kFormName, W("Иванов Иван")); });
  Do([&] { screen_.Type(form, kFormDate, "05/03/2009"); });
  Do([&] { screen_.Click(form, kFormOk); });
  EXPECT_TRUE(screen_.Questions().empty());

  // View: shown, OK closes, the answer is always "cancelled".
  form = CallForm(framework::ViewRecord, W("Иванов Иван"));
  ASSERT_NE(form, 0);
  EXPECT_EQ(screen_.Title(form), "View Record");
  EXPECT_EQ(screen_.Text(form, kFormDate), " 5/03/2009");
  Do([&] { screen_.Click(form, kFormOk); });

  // Change: the ditto key here brings back the last record saved on this
  // (new) thread: none, so a blank name.
  form = CallForm(framework::ChangeRecord, W("Иванов Иван"));
  ASSERT_NE(form, 0);
  EXPECT_EQ(screen_.Title(form), W("Изменить ???"));
  Do([&] { screen_.Focus(form, kFormName); });
  Do([&] { screen_.PressKey(form, kFormName, window::KEY::CtrlQuote); });
  EXPECT_EQ(screen_.Text(form, kFormName), std::string(kZunFioSize, ' '));
  Do([&] { screen_.Type(form, kFormName, W("Иванов Иван Иванович")); });
  Do([&] { screen_.Click(form, kFormCancel); });
  ASSERT_EQ(screen_.Questions().size(), 1u);
  EXPECT_EQ(screen_.Questions()[0].caption, W("Сохранение записи"));
  Do([&] { screen_.Answer(BUTTON::Yes); });

  // Delete: the record is shown; OK deletes it without a further question.
  form = CallForm(framework::DeleteRecord, W("Иванов Иван Иванович"));
  ASSERT_NE(form, 0);
  EXPECT_EQ(screen_.Title(form), W("Удалить ???"));
  Do([&] { screen_.Click(form, kFormOk); });
  EXPECT_TRUE(screen_.Questions().empty());

  EXPECT_EQ(calls_.Responses(), (std::vector<uint8_t>{framework::RequestCompleted,
                                                      framework::RequestCancelled,
                                                      framework::RequestCompleted,
                                                      framework::RequestCompleted}));
  EXPECT_TRUE(calls_.Names().empty()) << "the last form deleted the only person";
}

}  // namespace
}  // namespace zuna::app
