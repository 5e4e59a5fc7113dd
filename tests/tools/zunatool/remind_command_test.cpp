// zunatool remind, run as a real process against a notification service
// of the test's own on a private session bus: one notification with the
// right words, or none; and a clear refusal when nobody answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/desktop/notification_server.h"
#include "tests/support/desktop/private_session_bus.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tools/zunatool/remind_text.h"

namespace zuna::testing {
namespace {

// On 26 December 2011 (the default week): today, tomorrow, in 3 and in 6
// days; the one in June is not due.
constexpr const char* kPeople =
    "Жуков Георгий;26/12/1980\n"
    "Петров Пётр;27/12/1966\n"
    "Сидорова Анна;29/12/1990\n"
    "Новый Год;01/01/2000\n"
    "Далеко Летом;15/06/1975\n";
constexpr const char* kWeekBody =
    "сегодня — Жуков Георгий, 31 год\n"
    "завтра, 27 декабря — Петров Пётр, 45 лет\n"
    "через 3 дня, 29 декабря — Сидорова Анна, 21 год\n"
    "через 6 дней, 1 января — Новый Год, 12 лет";

class ZunatoolRemindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bus_ = std::make_unique<PrivateSessionBus>(dir_.path());
    ASSERT_FALSE(bus_->address().empty());
    // The register where the program keeps it: $XDG_DATA_HOME/Zuna.
    std::filesystem::create_directories(dir_.File("data/Zuna"));
    std::filesystem::create_directories(dir_.File("config"));
    MakeRegister(dir_.File("data/Zuna/ZUN"), kPeople);
  }

  void MakeRegister(const std::string& zun, const std::string& csv_text) {
    const std::string csv = dir_.File("people.csv");
    std::ofstream(csv, std::ios::binary) << csv_text;
    ASSERT_EQ(RunProgram(BinPath("zunatool"), {"create", zun}).exit_code, 0);
    const ProgramResult r = RunProgram(BinPath("zunatool"), {"import", zun, csv});
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }

  // Runs zunatool with today fixed, on the private bus, with the user's
  // directories inside the test's.
  ProgramResult Remind(const std::vector<std::string>& args,
                       std::vector<std::string> env = {}) {
    std::vector<std::string> command = {"--today", "20111226", "remind"};
    command.insert(command.end(), args.begin(), args.end());
    env.insert(env.begin(), {"DBUS_SESSION_BUS_ADDRESS=" + bus_->address(),
                             "XDG_DATA_HOME=" + dir_.File("data"),
                             "XDG_CONFIG_HOME=" + dir_.File("config")});
    return RunProgram(BinPath("zunatool"), command, env);
  }

  TempDir dir_;
  std::unique_ptr<PrivateSessionBus> bus_;
};

TEST_F(ZunatoolRemindTest, OneNotificationNamesTheWeeksBirthdays) {
  struct Row {
    const char* what;
    std::vector<std::string> args;
  } rows[] = {
      {"the program's register", {}},
      {"a named register", {dir_.File("data/Zuna/ZUN")}},
      {"a week said aloud", {"--days", "7"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    NotificationServer server(bus_->address(), {"body", "actions"});
    const ProgramResult r = Remind(row.args);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    const std::vector<ReceivedNotice> got = server.Received();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].app_name, "Zuna");
    EXPECT_EQ(got[0].summary, "Дни рождения");
    EXPECT_EQ(got[0].body, kWeekBody);
  }
}

TEST_F(ZunatoolRemindTest, DaysWidenAndNarrowTheList) {
  NotificationServer server(bus_->address(), {"body"});
  ASSERT_EQ(Remind({"--days", "1"}).exit_code, 0);
  ASSERT_EQ(Remind({"--days", "366"}).exit_code, 0);
  const std::vector<ReceivedNotice> got = server.Received();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].body,
            "сегодня — Жуков Георгий, 31 год\n"
            "завтра, 27 декабря — Петров Пётр, 45 лет");
  EXPECT_EQ(got[1].body, std::string(kWeekBody) +
                             "\nчерез 172 дня, 15 июня — Далеко Летом, 37 лет");
}

TEST_F(ZunatoolRemindTest, NobodyDueSendsNothing) {
  NotificationServer server(bus_->address(), {"body"});
  for (const char* today : {"20110301", "20111210"}) {
    SCOPED_TRACE(today);
    const ProgramResult r = RunProgram(
        BinPath("zunatool"), {"--today", today, "remind", dir_.File("data/Zuna/ZUN")},
        {"DBUS_SESSION_BUS_ADDRESS=" + bus_->address()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
  }
  EXPECT_EQ(Remind({"--days", "0", dir_.File("data/Zuna/ZUN")}).exit_code, 0);
  EXPECT_EQ(server.Received().size(), 1u);  // the last: Жуков Георгий today
  // An empty register: nobody at all.
  MakeRegister(dir_.File("EMPTY"), "");
  EXPECT_EQ(Remind({dir_.File("EMPTY")}).exit_code, 0);
  EXPECT_EQ(server.Received().size(), 1u);
}

// The settings file's directory comes before the data directory, as for
// zuna.
TEST_F(ZunatoolRemindTest, TheSettingsFileCanNameTheRegistersDirectory) {
  std::filesystem::create_directories(dir_.File("config/Zuna"));
  std::filesystem::create_directories(dir_.File("shared"));
  MakeRegister(dir_.File("shared/ZUN"), "Общий Знакомый;28/12/1970\n");
  std::ofstream(dir_.File("config/Zuna/Zuna.INI"))
      << "[Register]\nDirectory=" << dir_.File("shared") << "\n";
  NotificationServer server(bus_->address(), {"body"});
  const ProgramResult r = Remind({});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<ReceivedNotice> got = server.Received();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].body, "через 2 дня, 28 декабря — Общий Знакомый, 41 год");
}

// A service that reads markup in bodies gets the text escaped; one that
// does not gets it as it is.
TEST_F(ZunatoolRemindTest, MarkupIsEscapedOnlyForAServiceThatReadsIt) {
  MakeRegister(dir_.File("MARKUP"), "Том & Джерри <b>;26/12/1990\n");
  {
    NotificationServer plain(bus_->address(), {"body"});
    ASSERT_EQ(Remind({dir_.File("MARKUP")}).exit_code, 0);
    ASSERT_EQ(plain.Received().size(), 1u);
    EXPECT_EQ(plain.Received()[0].body, "сегодня — Том & Джерри <b>, 21 год");
  }
  NotificationServer marked(bus_->address(), {"body", "body-markup"});
  ASSERT_EQ(Remind({dir_.File("MARKUP")}).exit_code, 0);
  ASSERT_EQ(marked.Received().size(), 1u);
  EXPECT_EQ(marked.Received()[0].body, "сегодня — Том &amp; Джерри &lt;b&gt;, 21 год");
}

TEST_F(ZunatoolRemindTest, NoServiceIsARefusalInRussian) {
  struct Row {
    const char* what;
    std::vector<std::string> env;
  } rows[] = {
      {"a bus without the service", {}},
      {"no session bus", {"DBUS_SESSION_BUS_ADDRESS=", "DISPLAY=",
                          "XDG_RUNTIME_DIR=" + dir_.path()}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const ProgramResult r = Remind({}, row.env);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with(
        "zunatool: напоминание не показано: служба уведомлений рабочего стола не "
        "ответила (нужен сеанс с D-Bus и org.freedesktop.Notifications): "))
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
}

TEST_F(ZunatoolRemindTest, BadArgumentsAndAMissingRegister) {
  ProgramResult r = Remind({"--days", "400"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "zunatool: после --days нужно число дней от 0 до 366, а написано \"400\"\n");
  r = Remind({"A", "B"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "вызов: zunatool remind [FILE] [--days N]\n");
  r = Remind({dir_.File("NONE")});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(r.err.starts_with("zunatool: " + dir_.File("NONE") + ".DAT: файл не найден"))
      << r.err;
  // Before the program has made its register, the timer's remind finds
  // nobody due and says nothing.
  NotificationServer server(bus_->address(), {"body"});
  r = Remind({}, {"XDG_DATA_HOME=" + dir_.File("fresh")});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_TRUE(server.Received().empty());
}

TEST(RemindTextTest, CountsTakeTheRussianForm) {
  static constexpr const char* kDays[3] = {"день", "дня", "дней"};
  const struct {
    int n;
    const char* text;
  } rows[] = {{1, "1 день"},     {2, "2 дня"},     {4, "4 дня"},       {5, "5 дней"},
              {11, "11 дней"},   {12, "12 дней"},  {14, "14 дней"},    {21, "21 день"},
              {22, "22 дня"},    {25, "25 дней"},  {101, "101 день"},  {111, "111 дней"},
              {112, "112 дней"}, {123, "123 дня"}, {366, "366 дней"}};
  for (const auto& row : rows) EXPECT_EQ(tool::CountOf(row.n, kDays), row.text) << row.n;
}

TEST(RemindTextTest, LinesSoonestFirstWithoutAnAgeNotYetReached) {
  using tool::NextBirthday;
  // Serials: 4 is 1 January 1801; only days_until, turns and the date's
  // day and month are read.
  const std::vector<tool::UpcomingPerson> people = {
      {"\xC0", 4, NextBirthday{4 + 365, 2, 1}},    // "А", 3 January 1802
      {"\xC1", 4, NextBirthday{4 + 364, 0, -3}},   // "Б", born after today
      {"\xC2", 4, NextBirthday{4 + 365, 2, 100}},  // "В", same day as "А"
  };
  EXPECT_EQ(tool::RemindBody(people),
            "сегодня — Б\n"
            "через 2 дня, 1 января — А, 1 год\n"
            "через 2 дня, 1 января — В, 100 лет");
}

}  // namespace
}  // namespace zuna::testing
