// A list of the register, page-loaded over the name key, driven through the
// headless screen: scrolling over registers of 0, 1, one page, one page and
// one, and 1,000 people against a model of the page; the thumb; the search
// locator; the update actions and the re-positioning after each; a refill
// while hidden; a file-loaded list; and other stations changing the
// register under the list.
#include "framework/window/browse_class.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/zun_dictionary.h"
#include "app/zunabc.h"
#include "app/zunabc0.h"
#include "framework/window/engine_host.h"
#include "runtime/datfile/statements.h"
#include "runtime/datfile/view.h"
#include "runtime/values/code_page.h"
#include "runtime/values/error_state.h"
#include "runtime/values/locale.h"
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
namespace KEY = window::KEY;
namespace PROP = window::PROP;

constexpr int32_t kList = 1;
constexpr int32_t kSearch = 2;
constexpr int32_t kInsert = 3;
constexpr int32_t kChange = 4;
constexpr int32_t kDelete = 5;
constexpr int32_t kView = 6;
constexpr int32_t kSelect = 7;
constexpr int32_t kProbe = 8;
constexpr int32_t kLines = 5;
constexpr datfile::Key kByName{app::kKey2Index};
const char* const kTitle = "Список";

// With `toolbar`, the frame's toolbar buttons too, at their fixed numbers
// (3001-3013), after hidden fillers.
window::WindowDefinition ListDefinition(bool toolbar) {
  window::WindowDefinition list;
  list.name = "LIST_RSC";
  list.kind = window::WindowKind::kModal;
  list.title = W(kTitle);
  list.width = 250;
  list.height = 120;
  auto add = [&](int32_t type, const char* label, const char* text, int32_t height = 12) {
    window::ControlDefinition control;
    control.type = type;
    control.label = label;
    control.text = W(text);
    control.width = 100;
    control.height = height;
    list.controls.push_back(control);
    return &list.controls.back();
  };
  window::ControlDefinition* box =
      add(window::ControlType::List, "?Browse:1", "", kLines * 8);
  box->format = "120L@s30@40L@D6@";
  box->imm = true;
  box->vscroll = true;
  add(window::ControlType::Entry, "?FFF", "")->picture = "@s40";
  add(window::ControlType::Button, "?Insert", "Добавить");
  add(window::ControlType::Button, "?Change", "Изменить");
  add(window::ControlType::Button, "?Delete", "Удалить");
  add(window::ControlType::Button, "?View", "Просмотр");
  add(window::ControlType::Button, "?Select", "Выбрать");
  add(window::ControlType::Button, "?Probe", "probe");
  if (toolbar) {
    while (list.controls.size() < ToolbarButton::Insert - 1) {
      add(window::ControlType::String, "", "")->hidden = true;
    }
    for (int32_t button = ToolbarButton::Insert; button <= ToolbarButton::Help; ++button) {
      add(window::ControlType::Button, "", "tb");
    }
  }
  return list;
}

values::VariableRef Fio() {
  return values::RefString(Access_ZUN->Buffer.data(), app::kZunFioSize);
}
values::VariableRef Data() {
  return values::RefLong(*reinterpret_cast<int32_t*>(Access_ZUN->Buffer.data() + 30));
}

// The register's list as a procedure sets it up; the update procedure is
// whatever the test gives as `form`, run on the list's thread.
class ListWindow : public WindowManager {
 public:
  using Setup = std::function<void(ListWindow&)>;
  ListWindow(uint8_t request, Setup setup, bool toolbar = false)
      : request_(request), setup_(std::move(setup)), window_(ListDefinition(toolbar)),
        queue_(std::span<char>(row_, sizeof row_)) {
    queue_.AddColumn(values::RefString(row_, 30), "NAME");
    queue_.AddColumn(values::RefLong(*reinterpret_cast<int32_t*>(row_ + 30)), "DATE");
  }

  uint8_t Init() override {
    Request = request_;
    if (uint8_t level = WindowManager::Init(); level != Level::Benign) return level;
    Errors = &GlobalErrors;
    VCRRequest = &vcr_;
    Relate_ZUN->Open();
    FilesOpened = 1;
    Open(window_);
    browse.Init(kList, queue_, view_, *Relate_ZUN, *this);
    thumb.Init(StepFlag::Letters | StepFlag::Digits | StepFlag::Punctuation,
               StepMode::Runtime);
    browse.AddSortOrder(&thumb, kByName);
    locator.Init(kSearch, Fio(), 1, browse);
    browse.AddLocator(locator);
    browse.AddField(Fio(), values::RefString(row_, 30));
    browse.AddField(Data(), values::RefLong(*reinterpret_cast<int32_t*>(row_ + 30)));
    browse.InsertControl = kInsert;
    browse.ChangeControl = kChange;
    browse.DeleteControl = kDelete;
    browse.ViewControl = kView;
    browse.SelectControl = kSelect;
    browse.AskProcedure = 1;
    if (window_.definition().controls.size() >= ToolbarButton::Help) {
      AddItem(toolbar);
      browse.AddToolbarTarget(toolbar);
    }
    if (setup_) setup_(*this);
    SetAlerts();
    return Level::Benign;
  }

  uint8_t Kill() override {
    const uint8_t level = WindowManager::Kill();
    if (level == Level::Benign && FilesOpened) Relate_ZUN->Close();
    return level;
  }

  using WindowManager::Run;
  uint8_t Run(uint16_t, uint8_t request) override {
    requests.push_back(request);
    return form ? form(request) : RequestCancelled;
  }

  uint8_t TakeAccepted() override {
    if (window::ACCEPTED() == kProbe && probe) probe(*this);
    return WindowManager::TakeAccepted();
  }

  BrowseClass browse;
  StepStringClass thumb;
  IncrementalLocatorClass locator;
  ToolbarClass toolbar;
  std::function<uint8_t(uint8_t)> form;
  std::function<void(ListWindow&)> probe;
  std::vector<uint8_t> requests;  // what the update procedure was asked
  int32_t reset_field = 0;        // a value the list fills again on change
  datfile::View& view() { return view_; }

 private:
  uint8_t request_;
  Setup setup_;
  int32_t vcr_ = 0;
  window::Window window_;
  char row_[34] = {};
  datfile::View view_{app::ZUN()};
  ListQueue queue_;
};

std::string Trim(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// "P0001" ... : ASCII names sort the same under every collation.
std::string Numbered(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "P%04d", i);
  return name;
}

class BrowseTest : public ::testing::Test {
 protected:
  BrowseTest() : host_([](int, std::string_view) {}), installed_(host_) {
    zuna::testing::InstallShippedLocale();
    values::ClearError();
    GlobalErrors.Init(GlobalErrorStatus);
    EXPECT_EQ(::getcwd(previous_dir_, sizeof previous_dir_), previous_dir_);
    EXPECT_EQ(::chdir(dir_.path().c_str()), 0);
  }
  ~BrowseTest() override {
    EXPECT_EQ(::chdir(previous_dir_), 0);
    GlobalErrors.Kill();
    values::ClearError();
  }

  // Thread 1: the register filled with `names`, then the list until it closes.
  void RunList(std::vector<std::string> names, ListWindow::Setup setup = {},
               uint8_t request = 0, bool toolbar = false) {
    // A register of its own for every list.
    run_dir_ = dir_.File("run" + std::to_string(++runs_));
    ASSERT_EQ(::mkdir(run_dir_.c_str(), 0700), 0);
    ASSERT_EQ(::chdir(run_dir_.c_str()), 0);
    ASSERT_TRUE(screen_.RunMain([this, names, setup, request, toolbar] {
      app::ZUNABC::DctInit();
      Relate_ZUN->Open();
      Access_ZUN->UseFile();
      datfile::STREAM(app::ZUN());
      int day = 1;
      for (const std::string& name : names) {
        app::WriteZunRecord(app::MakeZunRecord(name, 70000 + day++), Access_ZUN->Buffer);
        EXPECT_EQ(datfile::ADD(app::ZUN()), 0);
      }
      datfile::FLUSH(app::ZUN());
      {
        ListWindow list(request, setup, toolbar);
        list.Run();
        std::lock_guard lock(mu_);
        requests_ = list.requests;
        buffer_after_ = Trim(values::ReadString(Fio()));
      }
      Relate_ZUN->Close();
      app::ZUNABC::DctKill();
      if (app::ZUN().is_open()) datfile::CLOSE(app::ZUN());
    }));
    ASSERT_TRUE(screen_.Settle());
    win_ = screen_.FindWindow(W(kTitle));
    ASSERT_NE(win_, 0);
  }

  void Close() {
    screen_.CloseBox(win_);
    ASSERT_TRUE(screen_.Settle());
    ASSERT_TRUE(screen_.Finish());
  }

  // Runs `probe` on the list's thread (a list set up WithProbe) and waits.
  void Probe(std::function<void(ListWindow&)> probe) {
    {
      std::lock_guard lock(mu_);
      pending_probe_ = std::move(probe);
    }
    screen_.Send(win_, window::EVENT::Accepted, kProbe);
    ASSERT_TRUE(screen_.Settle());
  }

  std::vector<std::string> Shown() const {
    std::vector<std::string> names;
    for (const auto& row : screen_.Rows(win_, kList)) names.push_back(Trim(row.at(0)));
    return names;
  }
  int32_t Highlight() const { return screen_.PropLong(win_, kList, PROP::Selected); }
  std::string Highlighted() const {
    const auto shown = Shown();
    const int32_t h = Highlight();
    return h >= 1 && h <= static_cast<int32_t>(shown.size()) ? shown[h - 1] : "";
  }
  bool Disabled(int32_t control) const {
    return screen_.Prop(win_, control, PROP::Disable) == "1";
  }
  void Key(int32_t key, int32_t control = kList) {
    screen_.PressKey(win_, control, key);
    ASSERT_TRUE(screen_.Settle());
  }
  void Answer(int32_t button) {
    ASSERT_TRUE(screen_.Answer(button));
    ASSERT_TRUE(screen_.Settle());
  }
  std::vector<std::string> Questions() const {
    std::vector<std::string> texts;
    for (const auto& q : screen_.Questions()) texts.push_back(q.text);
    return texts;
  }

  void TearDown() override {
    if (!HasFailure()) return;
    for (const std::string& line : screen_.Transcript()) {
      std::cout << values::Cp1251ToUtf8(line) << "\n";
    }
  }

  // The list installs the probe the test set: see ListSetup.
  ListWindow::Setup WithProbe(ListWindow::Setup more = {}) {
    return [this, more](ListWindow& list) {
      list.probe = [this](ListWindow& l) {
        std::function<void(ListWindow&)> probe;
        {
          std::lock_guard lock(mu_);
          probe = std::move(pending_probe_);
        }
        if (probe) probe(l);
      };
      if (more) more(list);
    };
  }

  EngineHost host_;
  ScopedHost installed_;
  zuna::testing::TempDir dir_;
  char previous_dir_[4096] = {};
  std::mutex mu_;
  std::function<void(ListWindow&)> pending_probe_;
  std::vector<uint8_t> requests_;
  std::string buffer_after_;  // the record buffer's name when the list closed
  int32_t win_ = 0;
  std::string run_dir_;
  int runs_ = 0;
  window::HeadlessEngine screen_;
};

// The page as the list's behaviour makes it: the first record shown and
// the highlighted line, over n records and kLines lines.
struct PageModel {
  int n;
  int first = 0;  // 0-based index of the first record shown
  int line = 1;

  int rows() const { return std::min(n, kLines); }
  void Apply(int32_t key) {
    if (n == 0) return;
    switch (key) {
      case KEY::Down:
        if (line < rows()) ++line; else if (first + rows() < n) ++first;
        break;
      case KEY::Up:
        if (line > 1) --line; else if (first > 0) --first;
        break;
      case KEY::PgDn: {
        const int read = std::min(kLines, n - (first + rows()));
        first += read;
        line = std::min(rows(), line + (kLines - read));
        break;
      }
      case KEY::PgUp: {
        const int read = std::min(kLines, first);
        first -= read;
        line = std::max(1, line - (kLines - read));
        break;
      }
      case KEY::End: first = n - rows(); line = rows(); break;
      case KEY::Home: first = 0; line = 1; break;
      default: break;
    }
  }
};

const char* KeyName(int32_t key) {
  switch (key) {
    case KEY::Down: return "Down";
    case KEY::Up: return "Up";
    case KEY::PgDn: return "PgDn";
    case KEY::PgUp: return "PgUp";
    case KEY::End: return "End";
    case KEY::Home: return "Home";
    default: return "?";
  }
}

TEST_F(BrowseTest, ScrollingFollowsThePageModelOverEveryRegisterSize) {
  const int32_t script[] = {KEY::Down, KEY::Down, KEY::Down, KEY::Down, KEY::Down,
                            KEY::Down, KEY::Down, KEY::PgDn, KEY::PgDn, KEY::Up,
                            KEY::End,  KEY::Down, KEY::Down, KEY::PgDn, KEY::Up,
                            KEY::Up,   KEY::Up,   KEY::Up,   KEY::Up,   KEY::PgUp,
                            KEY::PgDn, KEY::Home, KEY::Up,   KEY::PgUp, KEY::PgDn};
  for (int n : {0, 1, kLines, kLines + 1, 1000}) {
    SCOPED_TRACE("register of " + std::to_string(n));
    std::vector<std::string> names;
    for (int i = 1; i <= n; ++i) names.push_back(Numbered(i));
    RunList(names);
    PageModel model{n};
    auto check = [&](const char* after) {
      SCOPED_TRACE(after);
      std::vector<std::string> expected(names.begin() + model.first,
                                        names.begin() + model.first + model.rows());
      EXPECT_EQ(Shown(), expected);
      EXPECT_EQ(Highlight(), n == 0 ? 0 : model.line);
    };
    check("first fill");
    // A set smaller than the list shows no scroll bar; an empty one leaves
    // nothing to change, delete or view.
    EXPECT_EQ(screen_.PropLong(win_, kList, PROP::VScroll), n >= kLines ? 1 : 0);
    for (int32_t control : {kChange, kDelete, kView}) EXPECT_EQ(Disabled(control), n == 0);
    EXPECT_FALSE(Disabled(kInsert));
    EXPECT_EQ(Disabled(kSearch), n == 0) << "nothing to search in an empty list";
    for (int32_t key : script) {
      Key(key);
      model.Apply(key);
      check(KeyName(key));
    }
    Close();
    EXPECT_TRUE(requests_.empty());
  }
}

TEST_F(BrowseTest, TheThumbGoesToEitherEndAndJumpsByValue) {
  // Names spread over the alphabet, as surnames are, so that halfway by
  // value is near halfway by count.
  std::vector<std::string> names;
  for (int i = 0; i < 1000; ++i) {
    names.push_back(std::string(1, static_cast<char>('A' + i * 26 / 1000)) +
                    static_cast<char>('A' + i % 26) + Numbered(i));
  }
  std::sort(names.begin(), names.end());
  RunList(names);
  EXPECT_EQ(screen_.PropLong(win_, kList, PROP::VScrollPos), 0) << "first record at the top";
  screen_.DragThumb(win_, kList, 100);
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(Shown(), std::vector<std::string>(names.end() - kLines, names.end()));
  EXPECT_EQ(Highlight(), kLines);
  EXPECT_EQ(screen_.PropLong(win_, kList, PROP::VScrollPos), 100);
  screen_.DragThumb(win_, kList, 1);
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(Shown(), std::vector<std::string>(names.begin(), names.begin() + kLines));
  EXPECT_EQ(Highlight(), 1);
  // Halfway by value: the list restarts at the middle of the alphabet.
  // (Which of two neighbouring names comes first depends on how the
  // register's OEM key stores the letters of 1251 that code page 866
  // lacks, which the thumb's value may contain.)
  screen_.DragThumb(win_, kList, 50);
  ASSERT_TRUE(screen_.Settle());
  const std::string middle = Highlighted();
  ASSERT_FALSE(middle.empty());
  EXPECT_TRUE(middle[0] == 'M' || middle[0] == 'N') << middle;
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), static_cast<size_t>(kLines));
  EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
  EXPECT_EQ(std::set<std::string>(shown.begin(), shown.end()).size(), shown.size());
  const int32_t thumb = screen_.PropLong(win_, kList, PROP::VScrollPos);
  EXPECT_GE(thumb, 45);
  EXPECT_LE(thumb, 55) << middle;
  Close();
}

std::vector<std::string> CyrillicNames() {
  return {W("АНДРЕЕВ"), W("ИВАН ПАВЛОВ"), W("ИВАН ПЕТРОВ"), W("ИВАНОВ"),
          W("КУЗНЕЦОВ"), W("ПЕТРОВ"),    W("СИДОРОВ"),    W("ЯКОВЛЕВ")};
}

TEST_F(BrowseTest, TypingLocatesThroughTheCaseTable) {
  RunList(CyrillicNames());
  // Lower case typed on the list, the space bar included.
  screen_.TypeKeys(win_, kList, W("иван пет"));
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(Highlighted(), W("ИВАН ПЕТРОВ"));
  EXPECT_EQ(Trim(screen_.Text(win_, kSearch)), W("иван пет"));
  // Backspace past the start: the shadow stays empty and the list goes to
  // the start of the set.
  for (int i = 0; i < 10; ++i) Key(KEY::BS);
  EXPECT_EQ(Trim(screen_.Text(win_, kSearch)), "");
  EXPECT_EQ(Highlighted(), W("АНДРЕЕВ"));
  EXPECT_EQ(Highlight(), 1);
  // Typed in the search entry, the highlight follows each key.
  screen_.TypeKeys(win_, kSearch, W("к"));
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(Highlighted(), W("КУЗНЕЦОВ"));
  screen_.TypeKeys(win_, kSearch, W("я"));
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(Highlighted(), W("ПЕТРОВ")) << "the first name after «КЯ»";
  Key(KEY::BS, kSearch);
  EXPECT_EQ(Highlighted(), W("КУЗНЕЦОВ"));
  Key(KEY::BS, kSearch);
  screen_.TypeKeys(win_, kSearch, W("ИВАНО"));
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(Highlighted(), W("ИВАНОВ"));
  // Moving the highlight starts the typing afresh.
  Key(KEY::Down);
  EXPECT_EQ(Trim(screen_.Text(win_, kSearch)), "");
  Close();
}

// What the register's form does with the record the list hands it, as the
// test scripts it: on the list's thread, through the file manager.
uint8_t Rename(const std::string& name) {
  values::WriteString(Fio(), name);
  return Access_ZUN->Update() == Level::Benign ? RequestCompleted : RequestCancelled;
}

TEST_F(BrowseTest, UpdateActionsFindTheirPlaceAgain) {
  std::vector<std::string> names;
  for (int i = 1; i <= 8; ++i) names.push_back(Numbered(i * 10));  // P0010 .. P0080
  RunList(names, WithProbe([](ListWindow& list) {
            list.browse.SetFilter("ZUN:DATA > 0");
          }));
  auto form = [&](std::function<uint8_t(uint8_t)> f) {
    Probe([f](ListWindow& list) { list.form = f; });
  };
  // Line 3 highlighted, then an insert cancelled: the same page and line.
  Key(KEY::Down);
  Key(KEY::Down);
  const auto before = Shown();
  form([](uint8_t) { return RequestCancelled; });
  Key(KEY::Insert);
  EXPECT_EQ(Shown(), before);
  EXPECT_EQ(Highlight(), 3);
  // A change that moves the record down the order keeps it on its line.
  form([](uint8_t request) {
    EXPECT_EQ(request, ChangeRecord);
    return Rename("P0055");
  });
  Key(KEY::CtrlEnter);  // P0030 becomes P0055
  EXPECT_EQ(Highlighted(), "P0055");
  EXPECT_EQ(Highlight(), 3);
  EXPECT_EQ(Shown(), (std::vector<std::string>{"P0040", "P0050", "P0055", "P0060", "P0070"}));
  // A change the filter no longer passes removes the row; the highlight
  // stays on the line, now on the next record.
  form([](uint8_t) {
    values::WriteLong(Data(), 0);
    return Access_ZUN->Update() == Level::Benign ? RequestCompleted : RequestCancelled;
  });
  Key(KEY::CtrlEnter);  // P0055 filtered out
  EXPECT_EQ(Shown(), (std::vector<std::string>{"P0040", "P0050", "P0060", "P0070", "P0080"}));
  EXPECT_EQ(Highlight(), 3);
  // An insert shows the new record highlighted.
  form([](uint8_t request) {
    EXPECT_EQ(request, InsertRecord);
    values::WriteString(Fio(), "P0045");
    values::WriteLong(Data(), 70100);
    return Access_ZUN->Insert() == Level::Benign ? RequestCompleted : RequestCancelled;
  });
  Key(KEY::Insert);
  EXPECT_EQ(Highlighted(), "P0045");
  // Delete: the row goes, the line stays.
  form([](uint8_t request) {
    EXPECT_EQ(request, DeleteRecord);
    return Relate_ZUN->Delete(0) == Level::Benign ? RequestCompleted : RequestCancelled;
  });
  const int32_t line = Highlight();
  Key(KEY::Delete);
  EXPECT_EQ(Highlight(), line);
  const auto after = Shown();
  EXPECT_EQ(std::count(after.begin(), after.end(), "P0045"), 0);
  // The view button and a double-click on a row reach the form too.
  form([](uint8_t) { return RequestCancelled; });
  Key(KEY::ShiftEnter);
  screen_.DoubleClickRow(win_, kList, 2);
  ASSERT_TRUE(screen_.Settle());
  EXPECT_TRUE(Questions().empty());
  Close();
  EXPECT_EQ(requests_, (std::vector<uint8_t>{InsertRecord, ChangeRecord, ChangeRecord,
                                             InsertRecord, DeleteRecord, ViewRecord,
                                             ChangeRecord}));
}

TEST_F(BrowseTest, WithNoRowsOnlyInsertReachesTheForm) {
  RunList({});
  for (int32_t key : {KEY::Delete, KEY::CtrlEnter, KEY::ShiftEnter}) Key(key);
  screen_.DoubleClickRow(win_, kList, 1);
  ASSERT_TRUE(screen_.Settle());
  Key(KEY::Insert);
  Close();
  EXPECT_EQ(requests_, std::vector<uint8_t>{InsertRecord});
}

TEST_F(BrowseTest, AHiddenListOwesItsFillUntilShown) {
  std::vector<std::string> names;
  for (int i = 1; i <= 7; ++i) names.push_back(Numbered(i));
  RunList(names, WithProbe());
  uint8_t pending_hidden = 9, pending_shown = 9;
  Probe([&](ListWindow& list) {
    list.MyWindow->Hide(kList);
    // Another station's record arrives; the list is asked to fill again.
    values::WriteString(Fio(), "P0000");
    Access_ZUN->Insert();
    list.browse.ResetSort(1);
    pending_hidden = list.browse.LoadPending;
  });
  EXPECT_EQ(pending_hidden, 1);
  EXPECT_EQ(Shown().front(), "P0001") << "nothing read while hidden";
  Probe([&](ListWindow& list) {
    list.MyWindow->Unhide(kList);
    list.browse.ResetSort(0);
    pending_shown = list.browse.LoadPending;
    list.browse.ScrollEnd(window::EVENT::ScrollTop);
    list.browse.UpdateWindow();
  });
  EXPECT_EQ(pending_shown, 0);
  EXPECT_EQ(Shown().front(), "P0000");
  Close();
}

TEST_F(BrowseTest, AFileLoadedListPagesWithoutReading) {
  std::vector<std::string> names;
  for (int i = 1; i <= 12; ++i) names.push_back(Numbered(i));
  RunList(names, WithProbe([](ListWindow& list) { list.browse.FileLoaded = 1; }));
  EXPECT_EQ(Shown(), names) << "the whole set is in the queue";
  uint64_t examined_before = 0, examined_after = 0;
  Probe([&](ListWindow& list) { examined_before = list.view().records_examined(); });
  Key(KEY::PgDn);
  EXPECT_EQ(Highlight(), 1 + kLines);
  Key(KEY::PgDn);
  Key(KEY::PgDn);
  EXPECT_EQ(Highlight(), 12);
  Key(KEY::PgUp);
  EXPECT_EQ(Highlight(), 12 - kLines);
  screen_.DragThumb(win_, kList, 50);
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(Highlight(), 6);
  Probe([&](ListWindow& list) { examined_after = list.view().records_examined(); });
  EXPECT_EQ(examined_after, examined_before);
  Close();
}

TEST_F(BrowseTest, AThumbDragOnAShortFileLoadedListChangesNothing) {
  RunList({"P0001", "P0002", "P0003"}, WithProbe([](ListWindow& list) {
            list.browse.FileLoaded = 1;
            list.browse.AllowUnfilled = 1;  // keeps the scroll bar on a short list
          }));
  Key(KEY::Down);
  screen_.DragThumb(win_, kList, 40);
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(Highlight(), 2);
  Close();
}


TEST_F(BrowseTest, SelectModeStartsAtTheCallersRecordAndHandsBackTheChoice) {
  std::vector<std::string> names;
  for (int i = 1; i <= 12; ++i) names.push_back(Numbered(i));
  // The caller's record is the last one added: P0012.
  RunList(names, {}, SelectRecord);
  EXPECT_EQ(Highlighted(), "P0012") << "the first fill starts at the caller's record";
  EXPECT_FALSE(Disabled(kSelect));
  EXPECT_EQ(screen_.PropLong(win_, kSelect, PROP::Default), 1);
  Key(KEY::Home);
  screen_.DoubleClickRow(win_, kList, 2);  // chooses, as the select button does
  ASSERT_TRUE(screen_.Settle());
  ASSERT_TRUE(screen_.Finish());
  EXPECT_EQ(buffer_after_, "P0002");
  EXPECT_TRUE(requests_.empty()) << "a double-click while choosing is no change";

  RunList({"P0001", "P0002", "P0003"}, {}, SelectRecord);
  Key(KEY::Home);
  Close();  // the close box: nothing chosen
  EXPECT_EQ(buffer_after_, "P0003") << "the caller's record is given back";
}

TEST_F(BrowseTest, AFormsNextRecordButtonWalksTheList) {
  std::vector<std::string> names;
  for (int i = 1; i <= 8; ++i) names.push_back(Numbered(i));
  RunList(names, WithProbe());
  std::vector<std::string> opened;  // the record each pass of the form had
  auto walk = [&](int passes) {
    Probe([&opened, passes](ListWindow& list) {
      auto left = std::make_shared<int>(passes);
      list.form = [&opened, &list, left](uint8_t request) {
        EXPECT_EQ(request, ChangeRecord);
        opened.push_back(Trim(values::ReadString(Fio())));
        *list.VCRRequest = --*left > 0 ? ToolbarButton::Down : 0;
        return RequestCancelled;
      };
    });
  };
  walk(3);
  Key(KEY::Down);
  Key(KEY::CtrlEnter);
  EXPECT_EQ(opened, (std::vector<std::string>{"P0002", "P0003", "P0004"}));
  EXPECT_EQ(Highlighted(), "P0004");
  EXPECT_EQ(Highlight(), 4);
  // On the last record the highlight stays and the form opens on it again.
  opened.clear();
  walk(2);
  Key(KEY::End);
  Key(KEY::CtrlEnter);
  EXPECT_EQ(opened, (std::vector<std::string>{"P0008", "P0008"}));
  EXPECT_EQ(Highlighted(), "P0008");
  Close();
}

TEST_F(BrowseTest, TheRightButtonOpensTheListsMenu) {
  RunList({"P0001", "P0002", "P0003", "P0004"});
  screen_.RightClickRow(win_, kList, 3);
  ASSERT_TRUE(screen_.Settle());
  auto questions = screen_.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].kind, window::ModalRequest::Kind::kPopup);
  EXPECT_EQ(Highlight(), 3) << "the row clicked is highlighted first";
  // Each entry mimics its button and shows the button's caption.
  EXPECT_EQ(questions[0].text, W("Добавить|Изменить|Удалить|Просмотр"));
  ASSERT_TRUE(screen_.AnswerPopup(W("Удалить")));
  ASSERT_TRUE(screen_.Settle());
  Close();
  EXPECT_EQ(requests_, std::vector<uint8_t>{DeleteRecord});
}

TEST_F(BrowseTest, AnAcceptedSearchEntryLocatesWithoutUpperCasing) {
  RunList(CyrillicNames());
  screen_.Type(win_, kSearch, W("петр"));
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(Highlighted(), W("ПЕТРОВ")) << "the key compares without case";
  EXPECT_EQ(Trim(screen_.Text(win_, kSearch)), W("петр"));
  Close();
}

TEST_F(BrowseTest, AChangedResetFieldFillsTheListAgain) {
  std::vector<std::string> names;
  for (int i = 1; i <= 9; ++i) names.push_back(Numbered(i));
  RunList(names, WithProbe([](ListWindow& list) {
            list.browse.AddResetField(values::RefLong(list.reset_field));
          }));
  uint64_t first = 0, unchanged = 0, changed = 0;
  Probe([&](ListWindow& list) { first = list.view().records_examined(); });
  Probe([&](ListWindow& list) { unchanged = list.view().records_examined(); });
  EXPECT_EQ(unchanged, first) << "events alone read nothing";
  Probe([&](ListWindow& list) { list.reset_field = 7; });
  Probe([&](ListWindow& list) { changed = list.view().records_examined(); });
  EXPECT_GE(changed, first + kLines) << "the page was read again";
  Close();
}

TEST_F(BrowseTest, TheFramesToolbarDrivesTheList) {
  std::vector<std::string> names;
  for (int i = 1; i <= 12; ++i) names.push_back(Numbered(i));
  RunList(names, [](ListWindow& list) { list.browse.HideSelect = 1; }, 0, true);
  EXPECT_TRUE(Disabled(ToolbarButton::History)) << "a list has no history";
  for (int32_t b : {ToolbarButton::Bottom, ToolbarButton::Top, ToolbarButton::Insert,
                    ToolbarButton::Change, ToolbarButton::Delete}) {
    EXPECT_FALSE(Disabled(b)) << b;
  }
  EXPECT_TRUE(Disabled(kSelect));
  EXPECT_EQ(screen_.Prop(win_, kSelect, PROP::Hide), "1") << "hidden while not selecting";
  EXPECT_TRUE(Disabled(ToolbarButton::Select)) << "as the list's own select button";
  EXPECT_EQ(screen_.Prop(win_, ToolbarButton::Down, PROP::Tip), "Go to the Next Record");
  auto press = [&](int32_t button) {
    screen_.Click(win_, button);
    ASSERT_TRUE(screen_.Settle());
  };
  press(ToolbarButton::PageDown);
  EXPECT_EQ(Shown().front(), "P0006");
  press(ToolbarButton::Bottom);
  EXPECT_EQ(Highlighted(), "P0012");
  press(ToolbarButton::Top);
  press(ToolbarButton::Down);
  EXPECT_EQ(Highlighted(), "P0002");
  press(ToolbarButton::Change);  // the list's own change button
  Close();
  EXPECT_EQ(requests_, std::vector<uint8_t>{ChangeRecord});
}

TEST_F(BrowseTest, ARecordAnotherStationDeletedIsNotActedOn) {
  RunList({"P0001", "P0002", "P0003", "P0004"});
  zuna::testing::StationClient other;
  ASSERT_EQ(other.Code("share " + run_dir_ + "/ZUN"), 0);
  ASSERT_EQ(other.Code("getname P0002"), 0);
  ASSERT_EQ(other.Code("delete"), 0);
  Key(KEY::Down);  // P0002, still shown
  ASSERT_EQ(Highlighted(), "P0002");
  Key(KEY::CtrlEnter);
  auto questions = Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_NE(questions[0].find(W("изменена или удалена")), std::string::npos);
  Answer(window::BUTTON::OK);
  EXPECT_EQ(Shown(), (std::vector<std::string>{"P0001", "P0003", "P0004"}));
  EXPECT_EQ(Highlight(), 2);
  // Changed elsewhere while shown: the row no longer shows the record.
  ASSERT_EQ(other.Code("getname P0003"), 0);
  ASSERT_EQ(other.Code("put P0003 12345"), 0);
  Key(KEY::Delete);
  ASSERT_EQ(Questions().size(), 1u);
  Answer(window::BUTTON::OK);
  Close();
  EXPECT_TRUE(requests_.empty()) << "the form never opened on a stale record";
}

TEST_F(BrowseTest, PagingWhileAnotherStationInsertsAndDeletes) {
  std::vector<std::string> names;
  for (int i = 0; i < 60; ++i) names.push_back(Numbered(i * 10));
  RunList(names);
  zuna::testing::StationClient other;
  ASSERT_EQ(other.Code("share " + run_dir_ + "/ZUN"), 0);
  std::set<std::string> present(names.begin(), names.end());
  std::mt19937 random(20261210);
  const int32_t keys[] = {KEY::PgDn, KEY::PgUp, KEY::Down, KEY::Up, KEY::End, KEY::Home};
  for (int step = 0; step < 150; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    // The other station adds one person and takes one away.
    const std::string added = Numbered(static_cast<int>(random() % 600));
    if (!present.count(added) && other.Code("add " + added + " 70000") == 0) {
      present.insert(added);
    }
    auto victim = present.begin();
    std::advance(victim, random() % present.size());
    if (other.Code("getname " + *victim) == 0 && other.Code("delete") == 0) {
      present.erase(victim);
    }
    Key(keys[random() % std::size(keys)]);
    const auto shown = Shown();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(std::set<std::string>(shown.begin(), shown.end()).size(), shown.size())
        << "a row twice on one page";
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
  }
  // The highlighted person goes: acting on it tells the user, and the
  // highlight stays on the line, on the nearest person.
  Key(KEY::Home);
  Key(KEY::Down);
  const auto page = Shown();
  const std::string gone = page.at(1);
  ASSERT_EQ(other.Code("getname " + gone), 0);
  ASSERT_EQ(other.Code("delete"), 0);
  Key(KEY::CtrlEnter);
  ASSERT_EQ(Questions().size(), 1u);
  Answer(window::BUTTON::OK);
  EXPECT_EQ(Highlighted(), page.at(2));
  EXPECT_EQ(Highlight(), 2);
  Close();
}

}  // namespace
}  // namespace zuna::framework
