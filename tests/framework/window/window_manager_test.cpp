// A small record form over the real register file, driven through the
// headless screen as a user would: insert, change and delete through the
// form, the questions on closing, the retry questions while another
// process holds the register's transaction log, the ditto key, and the
// life-cycle rules of the window manager.
#include "framework/window/window_manager.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/zun_dictionary.h"
#include "app/zunabc.h"
#include "app/zunabc0.h"
#include "framework/window/engine_host.h"
#include "framework/window/toolbar.h"
#include "framework/window/window_resizer.h"
#include "runtime/datfile/statements.h"
#include "runtime/values/code_page.h"
#include "runtime/values/date_serial.h"
#include "runtime/values/error_state.h"
#include "runtime/window/headless.h"
#include "tests/support/shipped_locale.h"
#include "tests/support/station_client.h"
#include "tests/support/temp_dir.h"

namespace zuna::framework {
namespace {

using app::Access_ZUN;
using app::GlobalErrors;
using app::GlobalErrorStatus;
using app::Relate_ZUN;
using values::W;
namespace BUTTON = window::BUTTON;
namespace KEY = window::KEY;

constexpr int32_t kName = 1;
constexpr int32_t kDate = 2;
constexpr int32_t kOk = 3;
constexpr int32_t kExit = 4;
constexpr datfile::Key kByName{app::kKey2Index};

window::WindowDefinition FormDefinition() {
  window::WindowDefinition form;
  form.name = "FORM_RSC";
  form.kind = window::WindowKind::kModal;
  form.title = W("Добавить-изменить");
  form.width = 193;
  form.height = 84;
  auto add = [&](int32_t type, const char* label, const char* text, int32_t x, int32_t y,
                 const char* picture = "") {
    window::ControlDefinition control;
    control.type = type;
    control.label = label;
    control.text = W(text);
    control.x = x;
    control.y = y;
    control.width = 100;
    control.height = 12;
    control.picture = picture;
    form.controls.push_back(control);
  };
  add(window::ControlType::Entry, "?ZUN:FIO", "", 60, 10, "@s30");
  add(window::ControlType::Entry, "?ZUN:DATA", "", 60, 28, "@D6");
  add(window::ControlType::Button, "?OK", "OK", 60, 60);
  add(window::ControlType::Button, "?Cancel", "Выход", 120, 60);
  return form;
}

// Counts what the manager asks of a component.
class CountingComponent final : public WindowComponent {
 public:
  void Kill() override { ++kills; }
  void Reset(uint8_t) override { ++resets; }
  uint8_t ResetRequired() override { return 0; }
  void SetAlerts() override {}
  uint8_t TakeEvent() override { return Level::Benign; }
  void Update() override {}
  void UpdateWindow() override {}
  int resets = 0;
  int kills = 0;
};

// The record's fields as the history pair sees them.
RecordGroup ZunGroup() {
  std::span<char> bytes = Access_ZUN->Buffer;
  return RecordGroup{bytes,
                     {values::RefString(bytes.data(), app::kZunFioSize),
                      values::RefLong(*reinterpret_cast<int32_t*>(bytes.data() + 30))}};
}

// The ditto values of the thread, blank until a record is saved.
app::ZUN_Record& ThreadHistory() {
  thread_local app::ZUN_Record history = app::MakeZunRecord("", 0);
  return history;
}

// The form, set up as a register form sets itself up.
class SmallForm : public WindowManager {
 public:
  explicit SmallForm(uint8_t request) : request_(request), window_(FormDefinition()) {
    std::span<char> bytes = Access_ZUN->Buffer;
    window_.Bind(kName, values::RefString(bytes.data(), app::kZunFioSize));
    window_.Bind(kDate, values::RefLong(*reinterpret_cast<int32_t*>(bytes.data() + 30)));
  }

  uint8_t Init() override {
    Request = request_;
    const uint8_t level = WindowManager::Init();
    if (level != Level::Benign) return level;
    if (fail_init) return Level::Notify;
    Errors = &GlobalErrors;
    FirstField = kName;
    HistoryKey = KEY::CtrlQuote;
    AddHistoryFile(ZunGroup(),
                   std::span<char>(reinterpret_cast<char*>(&ThreadHistory()),
                                   sizeof(app::ZUN_Record)));
    AddHistoryField(kName, 1);
    AddHistoryField(kDate, 2);
    AddUpdateFile(*Access_ZUN);
    AddItem(kExit, RequestCancelled);
    VCRRequest = &vcr_request_;
    AddItem(toolbar_);
    Relate_ZUN->Open();
    Relate_ZUN->LogoutTimeout = 1;
    FilesOpened = 1;
    Primary = Relate_ZUN;
    DeleteAction = Delete::Form;
    OKControl = kOk;
    if (PrimeUpdate() != 0) return Level::Notify;
    Open(window_);
    resizer_.Init(2, /*SetWindowMinSize=*/1, 0);
    resizer_.SetParentDefaults();
    AddItem(resizer_);
    AddItem(component);
    SetAlerts();
    return Level::Benign;
  }

  uint8_t Kill() override {
    const uint8_t level = WindowManager::Kill();
    if (level != Level::Benign) return level;
    if (FilesOpened) Relate_ZUN->Close();
    return level;
  }

  bool fail_init = false;
  CountingComponent component;

 private:
  uint8_t request_;
  int32_t vcr_request_ = 0;
  ToolbarClass toolbar_;
  window::Window window_;  // before the resizer, which works on it
  WindowResizeClass resizer_;
};

class WindowManagerTest : public ::testing::Test {
 protected:
  WindowManagerTest()
      : host_([](int, std::string_view) {}), installed_(host_) {
    zuna::testing::InstallShippedLocale();
    values::ClearError();
    GlobalErrors.Init(GlobalErrorStatus);
    EXPECT_EQ(::getcwd(previous_dir_, sizeof previous_dir_), previous_dir_);
    EXPECT_EQ(::chdir(dir_.path().c_str()), 0);
  }
  ~WindowManagerTest() override {
    EXPECT_EQ(::chdir(previous_dir_), 0);
    GlobalErrors.Kill();
    values::ClearError();
  }

  // Runs `body` as the program's thread 1, with the register's dictionary.
  void RunProgram(std::function<void()> body) {
    ASSERT_TRUE(screen_.RunMain([body] {
      app::ZUNABC::DctInit();
      // Held open across the forms, as the list that calls them does.
      Relate_ZUN->Open();
      Access_ZUN->UseFile();
      body();
      Relate_ZUN->Close();
      app::ZUNABC::DctKill();
      if (app::ZUN().is_open()) datfile::CLOSE(app::ZUN());
    }));
    ASSERT_TRUE(screen_.Settle());
  }

  // Runs a form for `request` on the record the buffer holds; its
  // response is noted.
  void RunForm(uint8_t request, std::function<void(SmallForm&)> setup = {}) {
    SmallForm form(request);
    if (setup) setup(form);
    const uint8_t response = form.Run();
    std::lock_guard lock(mu_);
    responses_.push_back(response);
    kill_again_.push_back(form.Kill());
    resets_.push_back(form.component.resets);
    kills_.push_back(form.component.kills);
  }

  // The form window now on screen (0 when none).
  int32_t Form() const { return screen_.FindWindow(W("Добавить-изменить")); }

  // The text of the question waiting, "" when none.
  std::string Question() const {
    auto questions = screen_.Questions();
    return questions.empty() ? std::string() : questions.front().caption;
  }

  // Answers the notices (boxes with OK alone) waiting; returns how many.
  int AnswerNotices() {
    int answered = 0;
    for (;;) {
      auto questions = screen_.Questions();
      if (questions.empty() || questions.front().buttons != BUTTON::OK) return answered;
      EXPECT_TRUE(screen_.Answer(BUTTON::OK));
      EXPECT_TRUE(screen_.Settle());
      ++answered;
    }
  }

  void Answer(int32_t button) {
    ASSERT_TRUE(screen_.Answer(button));
    ASSERT_TRUE(screen_.Settle());
  }

  void Act(const std::function<void(int32_t)>& act) {
    const int32_t form = Form();
    ASSERT_NE(form, 0);
    act(form);
    ASSERT_TRUE(screen_.Settle());
  }

  // Names in the register, by name, noted on the program's thread.
  void NoteNames() {
    std::vector<std::string> names;
    datfile::SET(app::ZUN(), kByName);
    while (datfile::NEXT(app::ZUN()) == 0) {
      names.emplace_back(app::ZunName(app::ReadZunRecord(app::ZUN().record())));
    }
    std::lock_guard lock(mu_);
    names_.push_back(std::move(names));
  }

  // Makes the record named `name` the buffer's, as a list does before it
  // calls a form (watched, so a change elsewhere is seen).
  static bool Fetch(std::string_view name) {
    datfile::SET(app::ZUN(), kByName);
    for (;;) {
      datfile::WATCH(app::ZUN());
      if (datfile::NEXT(app::ZUN()) != 0) return false;
      if (app::ZunName(app::ReadZunRecord(app::ZUN().record())) == name) return true;
    }
  }

  static void AddPerson(std::string_view name, int32_t date) {
    app::WriteZunRecord(app::MakeZunRecord(name, date), Access_ZUN->Buffer);
    EXPECT_EQ(Access_ZUN->Insert(), Level::Benign);
  }

  void Finish() { ASSERT_TRUE(screen_.Finish()); }

  // The ditto key in `control`.
  void Ditto(int32_t control) {
    Act([&](int32_t f) { screen_.Focus(f, control); });
    Act([&](int32_t f) { screen_.PressKey(f, control, KEY::CtrlQuote); });
  }

  // What the screen saw, for the reader of a failure.
  void TearDown() override {
    if (!HasFailure()) return;
    for (const std::string& line : screen_.Transcript()) {
      std::cout << values::Cp1251ToUtf8(line) << "\n";
    }
  }

  // A control's text without the blanks that pad it.
  std::string Shown(int32_t control) const {
    std::string text = screen_.Text(Form(), control);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
  }

  EngineHost host_;
  ScopedHost installed_;
  zuna::testing::TempDir dir_;
  char previous_dir_[4096] = {};
  std::mutex mu_;
  std::vector<uint8_t> responses_, kill_again_;
  std::vector<int> resets_, kills_;
  std::vector<std::vector<std::string>> names_;
  window::HeadlessEngine screen_;
};

const int32_t kMarch5 = values::DATE(3, 5, 2009);

TEST_F(WindowManagerTest, InsertAndTheQuestionsOnClosing) {
  RunProgram([this] {
    for (int form = 0; form < 5; ++form) {
      Access_ZUN->UseFile();
      Access_ZUN->ClearRecord();
      RunForm(InsertRecord);
    }
    NoteNames();
  });
  // 1: typed and saved with OK.
  Act([&](int32_t f) { screen_.Type(f, kName, W("Иванов Иван")); });
  Act([&](int32_t f) { screen_.Type(f, kDate, "05/03/2009"); });
  Act([&](int32_t f) { screen_.Click(f, kOk); });
  EXPECT_EQ(Question(), "");
  // 2: nothing typed: the close box closes at once, without a question.
  Act([&](int32_t f) { screen_.CloseBox(f); });
  EXPECT_EQ(Question(), "");
  // 3: typed, then closed: Cancel returns to the form, No discards.
  Act([&](int32_t f) { screen_.Type(f, kName, W("Петров Пётр")); });
  Act([&](int32_t f) { screen_.CloseBox(f); });
  EXPECT_EQ(Question(), W("Сохранение записи"));
  Answer(BUTTON::Cancel);
  ASSERT_NE(Form(), 0) << "Cancel keeps the form open";
  Act([&](int32_t f) { screen_.Click(f, kExit); });
  EXPECT_EQ(Question(), W("Сохранение записи"));
  Answer(BUTTON::No);
  // 4: typed without leaving the field, then "Выход": Yes saves.  The
  // screen may report the focus elsewhere (a window the window manager
  // never activated): the typing still counts.
  Act([&](int32_t f) { screen_.Focus(f, kDate); });
  Act([&](int32_t f) { screen_.Edit(f, kName, W("Сидоров Сидор")); });
  Act([&](int32_t f) { screen_.Click(f, kExit); });
  EXPECT_EQ(Question(), W("Сохранение записи"));
  Answer(BUTTON::Yes);
  // 5: an impossible date, still in its field when OK is pressed, is
  // refused: the form stays and nothing is written.
  Act([&](int32_t f) { screen_.Type(f, kName, W("Козлов Кирилл")); });
  Act([&](int32_t f) { screen_.Edit(f, kDate, "31/02/2009"); });
  Act([&](int32_t f) { screen_.Click(f, kOk); });
  ASSERT_EQ(screen_.Questions().size(), 1u);
  EXPECT_EQ(screen_.Questions()[0].caption, W("Неверный ввод"));
  EXPECT_EQ(screen_.Questions()[0].text,
            W("«31/02/2009» не подходит: нужна существующая дата в виде ДД/ММ/ГГГГ."));
  Answer(BUTTON::OK);
  ASSERT_NE(Form(), 0) << "the form stays after a rejected date";
  EXPECT_EQ(Shown(kDate), "31/02/2009") << "the refused text stays to be mended";
  EXPECT_EQ(screen_.Prop(Form(), 0, window::PROP::Focus), std::to_string(kDate));
  // A name longer than the field is refused the same way, not cut.
  Act([&](int32_t f) { screen_.Type(f, kDate, "01/01/2000"); });
  Act([&](int32_t f) { screen_.Type(f, kName, std::string(31, 'X')); });
  ASSERT_EQ(screen_.Questions().size(), 1u);
  EXPECT_EQ(screen_.Questions()[0].text,
            W("«") + std::string(31, 'X') + W("» не подходит: не длиннее 30 знаков."));
  Answer(BUTTON::OK);
  Act([&](int32_t f) { screen_.Click(f, kExit); });
  EXPECT_EQ(Question(), W("Сохранение записи"));
  Answer(BUTTON::No);
  Finish();

  ASSERT_EQ(responses_.size(), 5u);
  EXPECT_EQ(responses_, (std::vector<uint8_t>{RequestCompleted, RequestCancelled,
                                              RequestCancelled, RequestCompleted,
                                              RequestCancelled}));
  EXPECT_EQ(kill_again_, std::vector<uint8_t>(5, Level::Notify)) << "a second Kill";
  EXPECT_EQ(kills_, std::vector<int>(5, 1)) << "each component killed once";
  ASSERT_EQ(names_.size(), 1u);
  EXPECT_EQ(names_[0], (std::vector<std::string>{W("Иванов Иван"), W("Сидоров Сидор")}));
}

TEST_F(WindowManagerTest, ChangeAndDeleteThroughTheForm) {
  struct Seen {
    std::string name;
    int32_t date = 0;
  };
  std::vector<Seen> buffers;  // the caller's buffer after each form
  auto note_buffer = [&] {
    app::ZUN_Record record = app::ReadZunRecord(Access_ZUN->Buffer);
    std::lock_guard lock(mu_);
    buffers.push_back({std::string(app::ZunName(record)), record.DATA});
  };
  RunProgram([&] {
    AddPerson(W("Алексеев Алексей"), kMarch5);
    AddPerson(W("Борисов Борис"), kMarch5);
    // Unchanged OK: completed, nothing written.
    ASSERT_TRUE(Fetch(W("Алексеев Алексей")));
    RunForm(ChangeRecord);
    // Changed and saved: the caller's buffer holds what was written.
    ASSERT_TRUE(Fetch(W("Алексеев Алексей")));
    RunForm(ChangeRecord);
    note_buffer();
    // Changed, then given up: the caller's buffer is as it was.
    ASSERT_TRUE(Fetch(W("Борисов Борис")));
    RunForm(ChangeRecord);
    note_buffer();
    // The form shows the record; OK deletes it.
    ASSERT_TRUE(Fetch(W("Борисов Борис")));
    RunForm(DeleteRecord);
    NoteNames();
  });
  Act([&](int32_t f) { screen_.Click(f, kOk); });
  Act([&](int32_t f) { screen_.Type(f, kName, W("Алексеева Анна")); });
  Act([&](int32_t f) { screen_.Click(f, kOk); });
  Act([&](int32_t f) { screen_.Type(f, kName, W("Никто")); });
  Act([&](int32_t f) { screen_.Click(f, kExit); });
  Answer(BUTTON::No);
  EXPECT_EQ(Shown(kName), W("Борисов Борис"));
  Act([&](int32_t f) { screen_.Click(f, kOk); });
  EXPECT_EQ(Question(), "") << "Delete:Form deletes without a further question";
  Finish();

  EXPECT_EQ(responses_, (std::vector<uint8_t>{RequestCompleted, RequestCompleted,
                                              RequestCancelled, RequestCompleted}));
  ASSERT_EQ(buffers.size(), 2u);
  EXPECT_EQ(buffers[0].name, W("Алексеева Анна"));
  EXPECT_EQ(buffers[1].name, W("Борисов Борис"));
  EXPECT_EQ(buffers[1].date, kMarch5);
  ASSERT_EQ(names_.size(), 1u);
  EXPECT_EQ(names_[0], std::vector<std::string>{W("Алексеева Анна")});
}

TEST_F(WindowManagerTest, LifeCycle) {
  RunProgram([this] {
    Access_ZUN->UseFile();
    Access_ZUN->ClearRecord();
    RunForm(InsertRecord);
    RunForm(InsertRecord, [](SmallForm& form) { form.fail_init = true; });
  });
  const int32_t form = Form();
  ASSERT_NE(form, 0);
  std::vector<std::string> opening = screen_.EventsOf(form);
  // Opening resets once (Open()); gaining the focus once more; the first
  // sized event, which the open itself causes, does not.
  EXPECT_EQ(std::count(opening.begin(), opening.end(), "Sized"), 1);
  // Each later size moves the controls (the resizer acts on the event the
  // manager posts after a resize); the first size puts them back exactly.
  auto rectangle = [&](int32_t control) {
    std::vector<int32_t> r;
    for (int32_t prop : {window::PROP::Xpos, window::PROP::Ypos, window::PROP::Width,
                         window::PROP::Height}) {
      r.push_back(screen_.PropLong(form, control, prop));
    }
    return r;
  };
  const auto ok_first = rectangle(kOk);
  const auto name_first = rectangle(kName);
  Act([&](int32_t f) { screen_.Resize(f, 250, 120); });
  EXPECT_NE(rectangle(kOk), ok_first);
  Act([&](int32_t f) { screen_.Resize(f, 300, 140); });
  Act([&](int32_t f) { screen_.Resize(f, 100, 40); });
  EXPECT_EQ(screen_.PropLong(form, 0, window::PROP::ClientWidth), 193) << "the minimum holds";
  Act([&](int32_t f) { screen_.Resize(f, 193, 84); });
  EXPECT_EQ(rectangle(kOk), ok_first);
  EXPECT_EQ(rectangle(kName), name_first);
  Act([&](int32_t f) { screen_.Click(f, kExit); });
  Finish();

  ASSERT_EQ(responses_.size(), 2u);
  ASSERT_EQ(resets_.size(), 2u);
  EXPECT_EQ(resets_[0], 2 + 4) << "open and focus, then one per later resize";
  EXPECT_EQ(responses_[1], RequestCancelled) << "Init failed";
  EXPECT_EQ(kill_again_[1], Level::Notify) << "Kill ran after the failed Init";
}

TEST_F(WindowManagerTest, DittoKeyRestoresTheLastSavedRecord) {
  RunProgram([this] {
    for (int form = 0; form < 2; ++form) {
      Access_ZUN->UseFile();
      Access_ZUN->ClearRecord();
      app::WriteZunRecord(app::MakeZunRecord(W("Черновик"), 777), Access_ZUN->Buffer);
      RunForm(InsertRecord);
    }
  });
  // A fresh thread: nothing saved yet, so a blank name and the date 0.
  Ditto(kName);
  Ditto(kDate);
  EXPECT_EQ(Shown(kName), "");
  EXPECT_EQ(Shown(kDate), "  /  /");
  Act([&](int32_t f) { screen_.Type(f, kName, W("Дмитриев Дмитрий")); });
  Act([&](int32_t f) { screen_.Type(f, kDate, "05/03/2009"); });
  Act([&](int32_t f) { screen_.Click(f, kOk); });
  // The next form: the ditto key brings back what was saved.
  EXPECT_EQ(Shown(kName), W("Черновик"));
  Ditto(kName);
  EXPECT_EQ(Shown(kName), W("Дмитриев Дмитрий"));
  EXPECT_EQ(Shown(kDate), "13/02/1803") << "only the field with the focus";
  Ditto(kDate);
  EXPECT_EQ(Shown(kDate), " 5/03/2009");
  Act([&](int32_t f) { screen_.Click(f, kOk); });
  Finish();
  EXPECT_EQ(responses_, (std::vector<uint8_t>{RequestCompleted, RequestCompleted}));
}

// Another station has locked the register the form is about to write: the write
// is refused at once, the user is told, then asked whether to try again;
// Yes tries again, Cancel returns to the form, No gives up.  A failed
// delete asks once, with the same three answers.
TEST_F(WindowManagerTest, RetryQuestionsWhileAnotherStationLocksTheRegister) {
  RunProgram([this] {
    AddPerson(W("Егоров Егор"), kMarch5);
    AddPerson(W("Жуков Жорж"), kMarch5);
    ASSERT_TRUE(Fetch(W("Егоров Егор")));
    RunForm(ChangeRecord);
    ASSERT_TRUE(Fetch(W("Жуков Жорж")));
    RunForm(DeleteRecord);
    NoteNames();
  });
  zuna::testing::StationClient other;
  ASSERT_EQ(other.Code("share " + dir_.File("ZUN")), 0);

  ASSERT_EQ(other.Code("lock"), 0);
  Act([&](int32_t f) { screen_.Type(f, kName, W("Егорова Ева")); });
  Act([&](int32_t f) { screen_.Click(f, kOk); });
  EXPECT_EQ(AnswerNotices(), 1) << "the refusal is explained";
  EXPECT_EQ(Question(), W("Ошибка перезаписи"));
  Answer(BUTTON::Yes);
  EXPECT_EQ(AnswerNotices(), 1);
  EXPECT_EQ(Question(), W("Ошибка перезаписи")) << "still held: asked again";
  Answer(BUTTON::Cancel);
  EXPECT_EQ(Question(), "");
  ASSERT_NE(Form(), 0) << "Cancel returns to the form";
  Act([&](int32_t f) { screen_.Click(f, kOk); });
  EXPECT_EQ(AnswerNotices(), 1);
  EXPECT_EQ(Question(), W("Ошибка перезаписи"));
  ASSERT_EQ(other.Code("unlock"), 0);
  Answer(BUTTON::Yes);
  EXPECT_EQ(Question(), "") << "written once the register is free";

  ASSERT_EQ(other.Code("lock"), 0);
  Act([&](int32_t f) { screen_.Click(f, kOk); });
  AnswerNotices();
  EXPECT_EQ(Question(), W("Ошибка удаления записи"));
  Answer(BUTTON::Cancel);
  EXPECT_EQ(Question(), "") << "one question per failed delete";
  ASSERT_NE(Form(), 0);
  Act([&](int32_t f) { screen_.Click(f, kOk); });
  AnswerNotices();
  EXPECT_EQ(Question(), W("Ошибка удаления записи"));
  ASSERT_EQ(other.Code("unlock"), 0);
  Answer(BUTTON::No);
  EXPECT_EQ(Question(), "");
  EXPECT_EQ(Form(), 0) << "No closes the form";
  Finish();

  EXPECT_EQ(responses_, (std::vector<uint8_t>{RequestCompleted, RequestCancelled}));
  ASSERT_EQ(names_.size(), 1u);
  EXPECT_EQ(names_[0], (std::vector<std::string>{W("Егорова Ева"), W("Жуков Жорж")}));
}

}  // namespace
}  // namespace zuna::framework
