#include "framework/data/error_manager.h"

#include <gtest/gtest.h>

#include <barrier>
#include <initializer_list>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "framework/data/scripted_host.h"
#include "runtime/values/clock.h"
#include "runtime/values/code_page.h"
#include "runtime/values/error_state.h"
#include "runtime/values/format.h"
#include "runtime/values/picture.h"
#include "runtime/values/runtime_messages.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"

namespace zuna::framework {
namespace {

using testing::ReadFileBytes;
using values::W;

// What the error manager asked the host to show, field by field.
struct ExpectedBox {
  std::string caption;
  std::string text;
  int32_t icon = Icon::None;
  int32_t buttons = Button::OK;
  int32_t default_button = Button::OK;
};

void ExpectBox(const MessageBoxRequest& shown, const ExpectedBox& expected) {
  EXPECT_EQ(shown.caption, expected.caption);
  EXPECT_EQ(shown.text, expected.text);
  EXPECT_EQ(shown.icon, expected.icon);
  EXPECT_EQ(shown.buttons, expected.buttons);
  EXPECT_EQ(shown.default_button, expected.default_button);
}

// The assertion reports `host` showed, in order, each beginning with its
// check's text.
void ExpectAssertions(const ScriptedHost& host,
                      std::initializer_list<std::string_view> checks) {
  const std::vector<std::string> shown = host.Assertions();
  ASSERT_EQ(shown.size(), checks.size());
  size_t at = 0;
  for (std::string_view check : checks) {
    EXPECT_TRUE(shown[at].starts_with(check)) << shown[at];
    ++at;
  }
}

class ErrorManagerTest : public ::testing::Test {
 protected:
  ErrorManagerTest() : installed_(host_) {
    values::ClearError();
    errors_.Init(status_);
  }
  ~ErrorManagerTest() override { values::ClearError(); }

  // The text of the last message box that was not an assertion report.
  std::string LastText() const {
    const auto shown = host_.Messages();
    return shown.empty() ? std::string("<none>") : shown.back().request.text;
  }

  ScriptedHost host_;
  ScopedHost installed_;
  ErrorStatusClass status_;
  ErrorClass errors_;
};

// --- Placeholders ---------------------------------------------------------

TEST_F(ErrorManagerTest, PlaceholdersAreReplacedLongestFirst) {
  errors_.AddError(500,
                   "A=%FileErrorCode B=%FileError C=%File D=%Key E=%ErrorCode "
                   "F=%ErrorText G=%Error H=%Message I=%Field J=%Category",
                   "T", Level::Notify, "CAT");
  values::PostFileError(90, "FEC", "driver text");
  const std::string runtime_text = values::ERROR();
  errors_.SetFile("ZUN");
  errors_.SetKey("KEY");
  errors_.SetField("FLD");
  errors_.SetMessageText("MSG");
  EXPECT_EQ(errors_.Throw(500), Level::Notify);
  EXPECT_EQ(LastText(), "A=FEC B=driver text C=ZUN D=KEY E=90 "
                        "F=driver text (FEC) G=" + runtime_text +
                        " H=MSG I=FLD J=CAT");
}

TEST_F(ErrorManagerTest, PlaceholdersIgnoreCase) {
  errors_.AddError(501, "%file/%FILE/%FiLe/%fileERROR/%message", "T",
                   Level::Notify);
  values::PostFileError(5, "7", "fe");
  errors_.SetFile("x");
  errors_.SetMessageText(W("имя"));
  errors_.Throw(501);
  EXPECT_EQ(LastText(), "x/x/x/fe/" + W("имя"));
}

TEST_F(ErrorManagerTest, ValueHoldingItsOwnPlaceholderIsInsertedOnce) {
  errors_.AddError(502, "%File+%File", "T", Level::Notify);
  errors_.SetFile("A%fileB");
  errors_.Throw(502);
  EXPECT_EQ(LastText(), "A%fileB+A%fileB");
}

TEST_F(ErrorManagerTest, ValueEqualToItsPlaceholderChangesNothing) {
  errors_.AddError(503, "[%File] [%field]", "T", Level::Notify);
  errors_.SetFile("%FILE");
  errors_.SetField("%Field");
  errors_.Throw(503);
  EXPECT_EQ(LastText(), "[%File] [%field]");
}

TEST_F(ErrorManagerTest, PreviousIsTheEarlierEntryTextUnfilled) {
  errors_.AddError(510, "first %File", "T1", Level::Notify);
  errors_.AddError(511, "then: %previous; %PREVIOUS", "T2", Level::Notify);
  errors_.SetFile("Z");
  errors_.Throw(511);  // nothing came before on this thread
  EXPECT_EQ(LastText(), "then: ; ");
  errors_.Throw(510);
  EXPECT_EQ(LastText(), "first Z");
  errors_.Throw(511);
  EXPECT_EQ(LastText(), "then: first %File; first %File");
}

TEST_F(ErrorManagerTest, ErrorTextIsTheDriversOwnOnlyForNinetyAndHundred) {
  errors_.AddError(520, "<%ErrorText>", "T", Level::Notify);
  struct Row {
    int32_t code;
    std::string expected;
  };
  const Row rows[] = {
      {90, "<driver says (D7)>"},
      {100, "<driver says (D7)>"},
      {5, "<Access Denied (5)>"},
      {2, "<File Not Found (2)>"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    values::PostFileError(row.code, "D7", "driver says");
    errors_.Throw(520);
    EXPECT_EQ(LastText(), row.expected);
  }
}

TEST_F(ErrorManagerTest, LongTextsAreCutAtTwoThousand) {
  errors_.AddError(530, std::string(10, 'x') + "%File%File%File%File%File"
                   "%File%File%File%File%File", "T", Level::Notify);
  errors_.SetFile(std::string(300, 'f'));  // kept to 254
  errors_.Throw(530);
  const std::string text = LastText();
  EXPECT_EQ(text.size(), kSubstitutionLimit);
  EXPECT_EQ(text.substr(0, 12), "xxxxxxxxxxff");
}

// --- Levels ---------------------------------------------------------------

TEST_F(ErrorManagerTest, UserQuestionsAskYesOrNo) {
  host_.Answer(Button::No);
  EXPECT_EQ(errors_.Throw(Msg::ConfirmDelete), Level::Cancel);
  host_.Answer(Button::Yes);
  EXPECT_EQ(errors_.Throw(Msg::ConfirmDelete), Level::Benign);
  const auto shown = host_.Messages();
  ASSERT_EQ(shown.size(), 2u);
  ExpectBox(shown[0].request,
            {W("Подтвердите Удаление"),
             W("Вы уверены что желаете удалить выделенную запись?"), 32515, 6, 2});
  EXPECT_EQ(shown[0].request.level, Level::User);
}

TEST_F(ErrorManagerTest, CancelLevelInTheTableAsksLikeUser) {
  errors_.AddError(540, "q", "T", Level::Cancel);
  host_.Answer(Button::Yes);
  EXPECT_EQ(errors_.TakeError(540), Level::Benign);
  EXPECT_EQ(host_.Messages().at(0).request.buttons, Button::Yes | Button::No);
}

TEST_F(ErrorManagerTest, NoticesShowOkWithTheInformationIcon) {
  errors_.SetFile("ZUN");
  EXPECT_EQ(errors_.Throw(Msg::KeyCorrupt), Level::Notify);
  const auto shown = host_.Messages();
  ASSERT_EQ(shown.size(), 1u);
  ExpectBox(shown[0].request,
            {W("Неверный ключ"),
             W("Файл ZUN - ключ испорчен. Ключ необходимо перестроить."), 32516, 1, 1});
  EXPECT_TRUE(host_.Stops().empty());
}

TEST_F(ErrorManagerTest, BenignShowsNothing) {
  errors_.AddError(541, "quiet", "T", Level::Benign);
  EXPECT_EQ(errors_.TakeError(541), Level::Benign);
  EXPECT_TRUE(host_.MessageBoxes().empty());
}

TEST_F(ErrorManagerTest, FatalLevelsStopTheProgramWithAFailureCode) {
  errors_.AddError(600, "boom", "Seven", 7);
  errors_.SetFile("ZUN");
  struct Row {
    uint16_t id;
    std::string text;
    std::string title;
  };
  const Row rows[] = {
      {600, "boom  Press OK to end this application", "Seven"},
      {Msg::OpenFailed,
       W("Файл ZUN не может быть открыт.  Ошибка:  (0).") +
           "  Press OK to end this application",
       W("Ошибка доступа к файлу")},
      {Msg::FileNotOpen,
       W("Попытка работы с файлом (ZUN) до его открытия ") +
           "  Press OK to end this application",
       W("Ошибка использования файла")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    host_.Clear();
    // The test host lets the stop return; the handler then says Fatal.
    EXPECT_EQ(errors_.TakeError(row.id), Level::Fatal);
    const auto shown = host_.Messages();
    ASSERT_EQ(shown.size(), 1u);
    ExpectBox(shown[0].request, {row.title, row.text, Icon::Information});
    const auto stops = host_.Stops();
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_NE(stops[0].exit_code, 0);
    EXPECT_EQ(stops[0].exit_code, kFatalStopExitCode);
    EXPECT_EQ(stops[0].message, row.title);
  }
}

TEST_F(ErrorManagerTest, UnknownIdIsAnAssertionAndThenBenign) {
  host_.Answer(Button::Yes);
  errors_.Throw(Msg::ConfirmCancel);
  host_.Clear();
  EXPECT_EQ(errors_.TakeError(999), Level::Benign);
  ExpectAssertions(host_, {"Identifier not found."});
  // The previous question is neither asked again nor answered again.
  EXPECT_TRUE(host_.Messages().empty());
  EXPECT_EQ(errors_.GetErrorBufferId(), 999);
  EXPECT_EQ(errors_.GetErrorBufferFatality(), Level::Benign);
}

// --- Silent, Message ----------------------------------------------------------

TEST_F(ErrorManagerTest, SilentShowsNothingAndAnswersDefaults) {
  errors_.Silent = 1;
  EXPECT_EQ(errors_.Throw(Msg::AddAnother), Level::Benign);
  EXPECT_EQ(errors_.Throw(Msg::KeyCorrupt), Level::Notify);
  EXPECT_EQ(errors_.Message(Msg::DeleteRetry, Button::Yes | Button::No,
                            Button::No),
            Button::No);
  EXPECT_TRUE(host_.MessageBoxes().empty());
  EXPECT_TRUE(errors_.GetSilent());
}

TEST_F(ErrorManagerTest, MessageAsksWithoutLogOrHistory) {
  testing::TempDir dir;
  StandardErrorLogClass log(dir.File("VFCError.Log"));
  errors_.SetErrorLog(&log);
  errors_.LogErrors = 1;
  errors_.SetHistoryThreshold(-1);
  host_.Answer(Button::Cancel);
  EXPECT_EQ(errors_.Message(Msg::UpdateRetry,
                            Button::Yes | Button::No | Button::Cancel,
                            Button::Yes),
            Button::Cancel);
  const auto shown = host_.Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].request.caption, W("Ошибка перезаписи"));
  EXPECT_EQ(shown[0].request.icon, Icon::Exclamation);
  EXPECT_EQ(shown[0].request.buttons, 2 + 4 + 64);
  EXPECT_EQ(shown[0].request.default_button, Button::Yes);
  EXPECT_EQ(shown[0].request.level, 0);
  EXPECT_TRUE(errors_.GetHistory().empty());
  EXPECT_EQ(ReadFileBytes(dir.File("VFCError.Log")), "");
  EXPECT_EQ(errors_.Message(999, Button::OK, Button::OK), Button::OK);
  EXPECT_EQ(host_.Messages().size(), 1u);
}

TEST_F(ErrorManagerTest, MsgStyleReachesEveryBox) {
  errors_.MsgStyle = 12;
  errors_.Throw(Msg::KeyCorrupt);
  EXPECT_EQ(host_.Messages().at(0).request.style, 12);
}

// --- The table ------------------------------------------------------------

TEST_F(ErrorManagerTest, AddErrorOverridesAndRemoveErrorUncovers) {
  const std::string original =
      W("Возникла ошибка при создании записи. Ошибка:  (0).");
  errors_.Throw(Msg::InsertFailed);
  EXPECT_EQ(LastText(), original);
  errors_.AddError(Msg::InsertFailed, W("Замена: %ErrorText"), W("Заголовок"),
                   Level::Notify);
  errors_.Throw(Msg::InsertFailed);
  EXPECT_EQ(LastText(), W("Замена:  (0)"));
  EXPECT_EQ(host_.Messages().back().request.caption, W("Заголовок"));
  errors_.RemoveError(Msg::InsertFailed);
  errors_.Throw(Msg::InsertFailed);
  EXPECT_EQ(LastText(), original);
  EXPECT_TRUE(host_.Assertions().empty());
}

TEST_F(ErrorManagerTest, SetIdSearchesBackFromAPosition) {
  EXPECT_EQ(errors_.ErrorCount(), 53u);
  errors_.AddError(Msg::KeyCorrupt, "newer", "T", Level::Notify);
  ErrorEntryGroup entry;
  EXPECT_EQ(errors_.GetErrorEntry(Msg::KeyCorrupt, entry, 54), Level::Benign);
  EXPECT_EQ(entry.Message, "newer");
  EXPECT_EQ(errors_.GetErrorEntry(Msg::KeyCorrupt, entry, 53), Level::Benign);
  EXPECT_EQ(entry.Title, W("Неверный ключ"));
  // Id 30 is stored first: nothing before position 1 but itself.
  EXPECT_EQ(errors_.SetId(Msg::KeyRebuildFailed, 1), Level::Notify);
  EXPECT_EQ(errors_.SetId(999, 10), Level::Notify);
  EXPECT_TRUE(host_.Assertions().empty());
  EXPECT_EQ(errors_.SetId(999), Level::Notify);
  EXPECT_EQ(host_.Assertions().size(), 1u);
}

TEST_F(ErrorManagerTest, EachSetErrorLogLoadsTheTableAgain) {
  StandardErrorLogClass other("unused.log");
  errors_.SetErrorLog(&other);
  EXPECT_EQ(errors_.ErrorCount(), 106u);
  errors_.Kill();
  EXPECT_EQ(errors_.ErrorCount(), 0u);
  errors_.Kill();
  errors_.Init();
  EXPECT_EQ(errors_.ErrorCount(), 53u);
  errors_.Init();
  EXPECT_EQ(errors_.ErrorCount(), 53u);
}

TEST_F(ErrorManagerTest, AddErrorsAppendsAPackedBlock) {
  ErrorEntryGroup mine;
  mine.Id = 700;
  mine.Fatality = Level::Notify;
  mine.Title = "T";
  mine.Message = "block text";
  errors_.AddErrors(PackErrorBlock({mine}));
  errors_.Throw(700);
  EXPECT_EQ(LastText(), "block text");
  errors_.AddErrors(std::string_view("\x05\x00", 2));  // counts 5, holds 0
  EXPECT_EQ(host_.Assertions().size(), 1u);
}

TEST_F(ErrorManagerTest, CategoriesFallBackToTheDefault) {
  EXPECT_EQ(errors_.GetDefaultCategory(), "VFC");
  EXPECT_EQ(errors_.GetCategory(Msg::KeyCorrupt), "VFC");
  EXPECT_EQ(errors_.GetCategory(999), "VFC");
  errors_.SetCategory(Msg::KeyCorrupt, W("Ключи"));
  EXPECT_EQ(errors_.GetCategory(Msg::KeyCorrupt), W("Ключи"));
  errors_.SetCategory(-1, "APP");
  EXPECT_EQ(errors_.GetCategory(Msg::KeyRebuildFailed), "APP");
  errors_.AddError(701, "[%Category]", "T", Level::Notify, "OWN");
  errors_.Throw(701);
  EXPECT_EQ(LastText(), "[OWN]");
}

// --- History --------------------------------------------------------------

TEST_F(ErrorManagerTest, HistoryKeepsTheLastThreshold) {
  errors_.SetHistoryThreshold(3);
  for (int i = 1; i <= 5; ++i) {
    errors_.ThrowMessage(Msg::ProcedureMissing, "P" + std::to_string(i));
  }
  const std::vector<HistoryEntry> history = errors_.GetHistory();
  ASSERT_EQ(history.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(history[i].Text, W("Процедура P" + std::to_string(i + 3) +
                                 " не была определена."));
    EXPECT_EQ(history[i].Id, Msg::ProcedureMissing);
    EXPECT_EQ(history[i].Category, "VFC");
  }
  // Notify is not the view level (3): nothing was shown.
  EXPECT_TRUE(host_.MessageBoxes().empty());
  EXPECT_TRUE(host_.HistoryWindows().empty());
}

TEST_F(ErrorManagerTest, HistoryBelowTheViewLevelShowsNothingButIsListed) {
  errors_.SetHistoryThreshold(-1);
  errors_.SetFile("ZUN");
  EXPECT_EQ(errors_.Msg("direct", "C", Icon::Information, Button::OK,
                        Button::Help),
            Button::Help);
  EXPECT_EQ(errors_.Throw(Msg::KeyCorrupt), Level::Notify);
  EXPECT_TRUE(host_.MessageBoxes().empty());
  host_.Answer(Button::Help);
  EXPECT_EQ(errors_.ViewHistory(), Button::Help);
  const auto windows = host_.HistoryWindows();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].request.caption, "Errors History");
  EXPECT_EQ(windows[0].request.buttons, 129);
  EXPECT_EQ(windows[0].request.default_button, 1);
  EXPECT_EQ(windows[0].request.icon, 0);
  ASSERT_EQ(windows[0].request.lines.size(), 2u);
  EXPECT_EQ(windows[0].request.lines[0].text, "direct");
  EXPECT_EQ(windows[0].request.lines[1].text,
            W("Файл ZUN - ключ испорчен. Ключ необходимо перестроить."));
  EXPECT_EQ(windows[0].request.lines[1].category, "VFC");
  EXPECT_EQ(errors_.GetHistory().size(), 2u);  // viewing keeps it
}

TEST_F(ErrorManagerTest, HistoryAtTheViewLevelShowsTheWindow) {
  errors_.SetHistoryThreshold(-1);
  errors_.SetHistoryViewLevel(Level::Notify);
  errors_.SetHistoryResetOnView(true);
  errors_.ThrowMessage(Msg::ProcedureMissing, "A");
  EXPECT_TRUE(host_.MessageBoxes().empty());
  const auto windows = host_.HistoryWindows();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].request.caption, W("Процедура не определена"));
  EXPECT_EQ(windows[0].request.buttons, Button::OK);
  ASSERT_EQ(windows[0].request.lines.size(), 1u);
  EXPECT_TRUE(errors_.GetHistory().empty());  // reset on view
}

TEST(HistoryButtonsTest, CaptionsFollowTheBits) {
  const auto buttons = HistoryButtons(255);
  ASSERT_EQ(buttons.size(), 8u);
  const char* captions[] = {"O&k",    "&Yes",    "&No",     "&Abort",
                            "&Retry", "&Ignore", "&Cancel", "&Help"};
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(buttons[i].first, 1 << i);
    EXPECT_EQ(buttons[i].second, captions[i]);
  }
  const auto ok_help = HistoryButtons(129);
  ASSERT_EQ(ok_help.size(), 2u);
  EXPECT_EQ(ok_help[1].second, "&Help");
}

// --- Procedure names and threads ----------------------------------------------

TEST_F(ErrorManagerTest, ProcedureNamesFormAStack) {
  EXPECT_EQ(errors_.GetProcedureName(), "");
  errors_.SetProcedureName("Main");
  errors_.SetProcedureName("UpdateZUN");
  EXPECT_EQ(errors_.GetProcedureName(), "UpdateZUN");
  errors_.AddError(800, "in %procedure", "T", Level::Notify);
  errors_.Throw(800);
  EXPECT_EQ(LastText(), "in UpdateZUN");
  errors_.SetProcedureName();
  EXPECT_EQ(errors_.GetProcedureName(), "Main");
  errors_.SetProcedureName();
  errors_.SetProcedureName();  // nothing left: no effect
  EXPECT_EQ(errors_.GetProcedureName(), "");
  EXPECT_TRUE(host_.Assertions().empty());
}

TEST_F(ErrorManagerTest, EachThreadSeesItsOwnFileAndProcedure) {
  errors_.AddError(801, "%File in %Procedure (%ErrorCode)", "T",
                   Level::Notify);
  errors_.SetProcedureName("Main");
  std::barrier both(2);
  struct Seen {
    int32_t thread = 0;
  };
  Seen seen[2];
  auto work = [&](int which, const std::string& file, const std::string& proc,
                  int32_t code) {
    seen[which].thread = CurrentThreadNumber();
    errors_.SetProcedureName(proc);
    errors_.SetFile(file);
    values::PostError(code);
    errors_.SetErrors();
    both.arrive_and_wait();  // both threads have set their state
    errors_.TakeError(801);
    both.arrive_and_wait();
    errors_.SetProcedureName();
  };
  std::thread a(work, 0, "A.DAT", "BrowseA", 2);
  std::thread b(work, 1, "B.DAT", "BrowseB", 5);
  a.join();
  b.join();
  const auto shown = host_.Messages();
  ASSERT_EQ(shown.size(), 2u);
  for (const auto& box : shown) {
    if (box.thread == seen[0].thread) {
      EXPECT_EQ(box.request.text, "A.DAT in BrowseA (2)");
    } else {
      EXPECT_EQ(box.thread, seen[1].thread);
      EXPECT_EQ(box.request.text, "B.DAT in BrowseB (5)");
    }
  }
  EXPECT_NE(seen[0].thread, seen[1].thread);
  EXPECT_EQ(errors_.GetProcedureName(), "Main");
}

// --- Log ------------------------------------------------------------------

class LogTest : public ErrorManagerTest {
 protected:
  LogTest() : log_(dir_.File("VFCError.Log")) {
    values::LocalDateTime now;
    now.year = 2009;
    now.month = 3;
    now.day = 5;
    now.centiseconds = ((13 * 60 + 45) * 60 + 56) * 100 + 78;
    clock_ = std::make_unique<values::FixedClock>(now);
    values::SetClock(clock_.get());
    errors_.SetErrorLog(&log_);
    errors_.LogErrors = 1;
  }
  ~LogTest() override { values::SetClock(nullptr); }

  std::string Stamp() const {
    return values::FormatDate(values::TODAY(), values::CompilePicture("@D17")) +
           "@" +
           values::FormatTime(values::CLOCK(), values::CompilePicture("@T8")) +
           " --> ";
  }

  testing::TempDir dir_;
  StandardErrorLogClass log_;
  std::unique_ptr<values::FixedClock> clock_;
};

TEST_F(LogTest, EveryMessageIsOneLine) {
  ASSERT_EQ(values::TODAY(), 76038);  // 5 March 2009
  errors_.SetFile("ZUN");
  errors_.Throw(Msg::KeyCorrupt);
  errors_.Msg("second line   ");
  const std::string expected =
      Stamp() + W("Файл ZUN - ключ испорчен. Ключ необходимо перестроить.") +
      "\n" + Stamp() + "second line\n";
  EXPECT_EQ(ReadFileBytes(dir_.File("VFCError.Log")), expected);
  EXPECT_NE(Stamp().find("@"), std::string::npos);
  EXPECT_EQ(log_.OpenCount(), 0);
  EXPECT_TRUE(host_.Assertions().empty());
}

TEST_F(LogTest, LongLinesAreCutToOneRecord) {
  errors_.Msg(std::string(3000, 'y'));
  const std::string text = ReadFileBytes(dir_.File("VFCError.Log"));
  EXPECT_EQ(text.size(), kErrorLogLineSize + 1);
}

TEST_F(LogTest, AnUnopenableLogIsReportedAndTheMessageStillShows) {
  StandardErrorLogClass nowhere(dir_.File("missing/dir/VFCError.Log"));
  errors_.SetErrorLog(&nowhere);
  errors_.Throw(Msg::KeyCorrupt);
  ExpectAssertions(host_, {"Unable to Open error log;Path Not Found"});
  EXPECT_EQ(host_.Messages().size(), 1u);
}

TEST_F(LogTest, FailingTakeAndCloseAreReported) {
  class FailingLog final : public ErrorLogInterface {
   public:
    uint8_t Open(bool) override { return 0; }
    uint8_t Take(std::string_view) override {
      values::PostError(5);
      return 5;
    }
    uint8_t Close(bool) override {
      values::PostError(6);
      return 5;
    }
  } failing;
  errors_.SetErrorLog(&failing);
  errors_.Msg("x");
  ExpectAssertions(host_, {"Unable to update error log; Access Denied",
                           "Unable to close error log;Invalid File Handle"});
}

TEST_F(LogTest, NoLogObjectIsReported) {
  errors_.SetErrorLog(nullptr);
  errors_.Msg("x");
  ExpectAssertions(host_, {"Attempt to LogErrors with ErrorLogInterface NULL!"});
}

TEST(StandardErrorLogTest, OpensAreCounted) {
  testing::TempDir dir;
  StandardErrorLogClass log(dir.File("VFCError.Log"));
  EXPECT_EQ(log.Take("closed"), 5);
  EXPECT_EQ(values::ERRORCODE(), 37);
  EXPECT_EQ(log.Open(false), 0);
  EXPECT_EQ(log.Open(false), 0);
  EXPECT_EQ(log.OpenCount(), 2);
  EXPECT_EQ(log.Close(false), 0);
  EXPECT_EQ(log.Take("one"), 0);
  EXPECT_EQ(log.Close(false), 0);
  EXPECT_EQ(log.OpenCount(), 0);
  EXPECT_EQ(log.Take("two"), 5);
  EXPECT_EQ(log.Close(false), 0);
  EXPECT_EQ(log.OpenCount(), 0);
  EXPECT_EQ(log.Open(false), 0);
  EXPECT_EQ(log.Open(true), 0);
  EXPECT_EQ(log.OpenCount(), 2);
  EXPECT_EQ(log.Close(true), 0);
  EXPECT_EQ(log.OpenCount(), 0);
  EXPECT_EQ(ReadFileBytes(dir.File("VFCError.Log")), "one\n");
}

TEST(StandardErrorLogTest, TwoWritersNeverSplitALine) {
  testing::TempDir dir;
  const std::string path = dir.File("VFCError.Log");
  constexpr int kLines = 200;
  auto writer = [&](char mark) {
    StandardErrorLogClass log(path);
    ASSERT_EQ(log.Open(false), 0);
    for (int i = 0; i < kLines; ++i) {
      ASSERT_EQ(log.Take(std::string(40, mark)), 0);
    }
    log.Close(false);
  };
  std::thread a(writer, 'a');
  std::thread b(writer, 'b');
  a.join();
  b.join();
  std::istringstream text(ReadFileBytes(path));
  std::string line;
  int count = 0;
  while (std::getline(text, line)) {
    ++count;
    EXPECT_TRUE(line == std::string(40, 'a') || line == std::string(40, 'b'))
        << line;
  }
  EXPECT_EQ(count, 2 * kLines);
}

// --- Misuse -----------------------------------------------------------------

TEST(ErrorManagerMisuseTest, ReportsUseBeforeInit) {
  ScriptedHost host;
  ScopedHost installed(host);
  ErrorClass errors;
  EXPECT_EQ(errors.SetId(1), Level::Notify);
  errors.AddError(1, "m", "t", Level::Notify);
  EXPECT_EQ(errors.GetProcedureName(), "");
  errors.Init();  // no status
  errors.SetFile("x");
  EXPECT_EQ(errors.TakeError(Msg::KeyCorrupt), Level::Benign);
  ExpectAssertions(host, {"ErrorClass not correctly initialized\n",
                          "ErrorClass incorrectly initialized.",
                          "ErrorClass incorrectly initialized.",
                          "ErrorClass not correctly initialized with Status",
                          "ErrorClass not correctly initialized with Status"});
  EXPECT_TRUE(host.Messages().empty());
}

// A host that checks, when a box is shown, whether another thread could take
// the error manager's lock at that moment.
class ExposedErrorClass : public ErrorClass {
 public:
  std::recursive_mutex& Lock() { return CritSect; }
};

class LockProbeHost final : public FrameworkHost {
 public:
  explicit LockProbeHost(std::recursive_mutex& lock) : lock_(lock) {}
  int32_t MessageBox(const MessageBoxRequest& request) override {
    std::thread probe([this] {
      if (lock_.try_lock()) {
        lock_.unlock();
        ++free_;
      } else {
        ++held_;
      }
    });
    probe.join();
    return request.default_button;
  }
  int32_t ShowHistory(const HistoryWindowRequest& request) override {
    return request.default_button;
  }
  void Stop(int, std::string_view) override {}
  int free_ = 0;
  int held_ = 0;

 private:
  std::recursive_mutex& lock_;
};

TEST(ErrorManagerLockTest, ReportsAreShownWithTheLockReleased) {
  ErrorStatusClass status;
  ExposedErrorClass errors;
  LockProbeHost host(errors.Lock());
  ScopedHost installed(host);
  errors.Init(status);
  errors.SetId(999);            // assertion raised under the lock
  errors.Throw(Msg::KeyCorrupt);  // notice
  EXPECT_EQ(host.free_, 2);
  EXPECT_EQ(host.held_, 0);
}

}  // namespace
}  // namespace zuna::framework
