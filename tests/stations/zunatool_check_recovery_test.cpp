// `zunatool check` after a crash.  A station imports into the register
// inside a transaction and is killed half way (it kills itself at the Nth
// point where a transaction can be caught half done, so the moment is
// exact).  Then:
//   - `check --no-recover` on a copy of what it left reads only: the copy's
//     files keep every byte, the log is named, and the half-written changes
//     show as faults for some of the moments;
//   - `check` undoes the transaction first, as the first open would, says
//     so, and finds the register sound (exit 0), byte for byte as it was
//     before the import, with no log or transaction file left.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/run_program.h"
#include "tests/support/station_client.h"
#include "tests/support/temp_dir.h"

namespace zuna::testing {
namespace {

namespace fs = std::filesystem;

ProgramResult Zunatool(const std::vector<std::string>& args) {
  return RunProgram(BinPath("zunatool"), args);
}


bool HasTransactionFiles(const std::map<std::string, std::string>& files) {
  for (const auto& [name, bytes] : files) {
    if (name.ends_with(".LOG") || name.ends_with(".TR$")) return true;
  }
  return false;
}

TEST(ZunatoolCheckRecoveryTest, CheckUndoesAnImportKilledHalfWay) {
  int moments_with_faults = 0;
  // Moments: inside the first added record, a few records in, and well in.
  for (const int crash_at : {1, 2, 5, 9, 17, 40}) {
    SCOPED_TRACE("killed at transaction point " + std::to_string(crash_at));
    TempDir dir;
    const std::string zun = dir.File("ZUN");
    ASSERT_EQ(Zunatool({"create", zun}).exit_code, 0);
    for (const char* name : {"Иванов Иван", "Петров Пётр", "Сидоров Сидор"}) {
      ASSERT_EQ(Zunatool({"add", zun, name, "05/03/1990"}).exit_code, 0);
    }
    const std::map<std::string, std::string> before = ReadDirectoryBytes(dir.path());

    {
      // Started with options only, the station is in command mode: the
      // client has already waited for its "ready".
      StationClient station({"--crash-at", std::to_string(crash_at)});
      ASSERT_EQ(station.Code("share " + zun), 0);
      ASSERT_EQ(station.Code("logout"), 0);
      ASSERT_EQ(station.Code("stream"), 0);
      bool died = false;
      auto run = [&](const std::string& command) {
        station.Send(command);
        const StationReply reply = station.Receive(std::chrono::seconds(30));
        died = !reply.answered;
        if (!died) EXPECT_EQ(reply.code, 0) << command << ": " << reply.line;
      };
      // The transaction gathers its writes and makes them in batches; a
      // FLUSH every few records makes one, as a long import does by itself.
      for (int i = 0; i < 200 && !died; ++i) {
        run("add Import" + std::to_string(i) + " " + std::to_string(60000 + i));
        if (!died && i % 4 == 3) run("flush");
        if (!died && i % 4 == 3) run("stream");
      }
      ASSERT_TRUE(died) << "the station finished its import";
      EXPECT_EQ(station.Wait(std::chrono::seconds(10)), -1);  // killed
    }
    const std::map<std::string, std::string> crashed = ReadDirectoryBytes(dir.path());
    ASSERT_TRUE(crashed.count("ZUN.LOG")) << "no transaction left behind";

    // A copy, checked as it is.
    TempDir copy;
    for (const auto& [name, bytes] : crashed) {
      std::ofstream(copy.File(name), std::ios::binary) << bytes;
    }
    const ProgramResult inspected = Zunatool({"check", "--no-recover", copy.File("ZUN")});
    EXPECT_NE(inspected.out.find("найден журнал незавершённой транзакции " +
                                 copy.File("ZUN.LOG")),
              std::string::npos)
        << inspected.out;
    EXPECT_TRUE(ReadDirectoryBytes(copy.path()) == crashed) << "check --no-recover changed the files";
    EXPECT_EQ(inspected.exit_code == 0,
              inspected.out.find(": ошибок нет\n") != std::string::npos)
        << inspected.out;
    moments_with_faults += inspected.exit_code == 1;

    // The register itself: undone first, then sound.
    const ProgramResult checked = Zunatool({"check", zun});
    EXPECT_EQ(checked.exit_code, 0) << checked.out << checked.err;
    EXPECT_NE(checked.out.find("Незавершённая транзакция отменена, как при первом "
                               "открытии файла: ZUN.DAT возвращён к состоянию до неё"),
              std::string::npos)
        << checked.out;
    EXPECT_NE(checked.out.find("Проверка ZUN.DAT: записей 3, удалённых 0"),
              std::string::npos)
        << checked.out;
    const std::map<std::string, std::string> after = ReadDirectoryBytes(dir.path());
    EXPECT_FALSE(HasTransactionFiles(after));
    EXPECT_TRUE(after == before) << "the register is not as it was before the import";

    // Nothing left to undo: a second check says nothing of a transaction.
    const ProgramResult again = Zunatool({"check", zun});
    EXPECT_EQ(again.exit_code, 0) << again.out << again.err;
    EXPECT_EQ(again.out.find("транзакци"), std::string::npos) << again.out;
  }
  // The faults a half import leaves are what --no-recover is for.
  EXPECT_GT(moments_with_faults, 0);
}

}  // namespace
}  // namespace zuna::testing
