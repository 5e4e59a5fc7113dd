// Several copies of the program change the register at once through the
// framework: each is a zuna_register_station process with its own host,
// GlobalErrors, Access_ZUN and Relate_ZUN, doing random inserts, changes
// and (but for --no-deletes) deletes on one ZUN in one directory.
// Afterwards the file must hold exactly what their accepted changes leave:
//   - records == inserts - deletes over all processes, and each key has an
//     entry for every record;
//   - names are unique, so the names the logs say were written, less the
//     names they say were taken away (each at most once, and only after
//     being written), are exactly the names in the file;
//   - `zunatool check` finds no fault and no transaction left behind;
//   - every process ended with exit code 0 and saw no box but a refusal.
// The register is made first by one run of no operations, so the churn
// tests start from one file; the last test races to create it.
// ZUNA_STATIONS and ZUNA_STATION_OPS scale the churn up
// (scripts/soak-register).
#include <algorithm>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/zun_dictionary.h"
#include "runtime/datfile/file_instance.h"
#include "runtime/datfile/statements.h"
#include "runtime/values/code_page.h"
#include "tests/support/child_process.h"
#include "tests/support/run_program.h"
#include "tests/support/summary_line.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace zuna::testing {
namespace {

// One line of a station's log: INS name, UPD old new, DEL name.
struct LoggedChange {
  std::string op;
  std::string name;      // INS, DEL: the name; UPD: the old name
  std::string new_name;  // UPD only
};

std::vector<LoggedChange> ReadLog(const std::string& path) {
  std::vector<LoggedChange> changes;
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.is_open()) << path;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    size_t from = 0;
    for (size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1) {
      fields.push_back(line.substr(from, tab - from));
    }
    fields.push_back(line.substr(from));
    LoggedChange change;
    change.op = fields[0];
    if ((change.op == "INS" || change.op == "DEL") && fields.size() == 2) {
      change.name = fields[1];
    } else if (change.op == "UPD" && fields.size() == 3) {
      change.name = fields[1];
      change.new_name = fields[2];
    } else {
      ADD_FAILURE() << path << ": malformed line \"" << values::Cp1251ToUtf8(line) << "\"";
      continue;
    }
    changes.push_back(change);
  }
  return changes;
}

std::string Utf8(const std::string& cp1251) { return values::Cp1251ToUtf8(cp1251); }

class RegisterStationTest : public ::testing::Test {
 protected:
  // Makes the register in the test's directory: one program run of no
  // operations.
  void MakeRegister() {
    const ProgramResult made =
        RunProgram(TestProgramPath("zuna_register_station"), {dir_.path(), "0", "0"});
    ASSERT_EQ(made.exit_code, 0) << made.out << made.err;
  }

  // Starts `count` programs at once on the register, `operations` random
  // operations each with `options`, waits for them and checks what they
  // left.
  void RunAtOnce(int count, int operations, const std::vector<std::string>& options);

  TempDir dir_;
};

void RegisterStationTest::RunAtOnce(int count, int operations,
                                    const std::vector<std::string>& options) {
  const uint32_t seed_base =
      static_cast<uint32_t>(::testing::UnitTest::GetInstance()->random_seed());

  const auto start = std::chrono::steady_clock::now();
  std::vector<std::unique_ptr<ChildProcess>> stations;
  std::vector<std::string> logs;
  for (int i = 1; i <= count; ++i) {
    const std::string seed = std::to_string(seed_base * 10 + static_cast<uint32_t>(i));
    logs.push_back(dir_.File("register_station_" + seed + ".log"));
    std::cout << "station " << i << ": seed " << seed
              << " (--gtest_random_seed=" << seed_base << ")\n";
    std::vector<std::string> args = {dir_.path(), seed, std::to_string(operations)};
    args.insert(args.end(), options.begin(), options.end());
    stations.push_back(
        std::make_unique<ChildProcess>(TestProgramPath("zuna_register_station"), args));
  }
  std::map<std::string, uint64_t> totals;
  for (int i = 0; i < count; ++i) {
    SCOPED_TRACE("station " + std::to_string(i + 1));
    std::string summary;
    EXPECT_TRUE(stations[i]->ReadLine(&summary, std::chrono::seconds(180))) << "no summary";
    EXPECT_EQ(stations[i]->Wait(std::chrono::seconds(10)), 0) << summary;
    const std::map<std::string, uint64_t> fields = ParseSummary(summary);
    EXPECT_EQ(fields.count("unexpected") == 1 ? fields.at("unexpected") : 1, 0u) << summary;
    for (const auto& [name, value] : fields) totals[name] += value;
  }
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << count << " programs x " << operations << " operations in " << elapsed
            << " s:";
  for (const auto& [name, value] : totals) std::cout << ' ' << name << '=' << value;
  std::cout << std::endl;

  // Contention may refuse a change now and then, never most of them: a
  // churn whose changes were all refused would prove nothing below.
  const bool deleting =
      std::find(options.begin(), options.end(), "--no-deletes") == options.end();
  EXPECT_GT(totals["inserts"], 0u);
  EXPECT_GT(totals["updates"], 0u);
  EXPECT_EQ(totals["deletes"] > 0, deleting);
  EXPECT_LT(totals["refused"] * 4, totals["updates"] + totals["deletes"] + totals["refused"])
      << "most changes were refused";

  // No transaction was left behind, and the checker finds nothing.
  EXPECT_NE(::access(dir_.File("ZUN.LOG").c_str(), F_OK), 0);
  const ProgramResult check = RunProgram(BinPath("zunatool"), {"check", dir_.File("ZUN")});
  EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
  EXPECT_NE(check.out.find(": ошибок нет\n"), std::string::npos) << check.out;
  EXPECT_EQ(check.out.find("незавершённой транзакции"), std::string::npos) << check.out;

  // The file as they left it.
  datfile::DatFileInstance file(app::ZunDeclaration());
  file.set_name(dir_.File("ZUN"));
  ASSERT_EQ(datfile::OPEN(file, 0x40), 0);
  const uint32_t records = datfile::RECORDS(file);
  EXPECT_EQ(int64_t{records}, int64_t(totals["inserts"]) - int64_t(totals["deletes"]));
  EXPECT_EQ(datfile::RECORDS(file, datfile::Key{app::kZunKeyIndex}), records);
  EXPECT_EQ(datfile::RECORDS(file, datfile::Key{app::kKey2Index}), records);
  std::multiset<std::string> in_file;
  ASSERT_EQ(datfile::SET(file), 0);
  int32_t code = 0;
  while ((code = datfile::NEXT(file)) == 0) {
    const app::ZUN_Record record = app::ReadZunRecord(file.record());
    in_file.insert(std::string(app::ZunName(record)));
  }
  EXPECT_EQ(code, 33);
  std::multiset<std::string> by_name;
  ASSERT_EQ(datfile::SET(file, datfile::Key{app::kKey2Index}), 0);
  while ((code = datfile::NEXT(file)) == 0) {
    const app::ZUN_Record record = app::ReadZunRecord(file.record());
    by_name.insert(std::string(app::ZunName(record)));
  }
  EXPECT_EQ(code, 33);
  EXPECT_EQ(datfile::CLOSE(file), 0);
  EXPECT_EQ(in_file.size(), records);
  EXPECT_TRUE(by_name == in_file) << "the name key lists other records than the file";

  // The logs agree with the summaries, and explain the file.
  std::vector<LoggedChange> changes;
  for (const std::string& log : logs) {
    std::vector<LoggedChange> one = ReadLog(log);
    changes.insert(changes.end(), one.begin(), one.end());
  }
  std::map<std::string, uint64_t> logged;
  std::multiset<std::string> written;
  std::vector<std::string> taken;
  for (const LoggedChange& change : changes) {
    ++logged[change.op];
    if (change.op == "INS") written.insert(change.name);
    if (change.op == "UPD") {
      taken.push_back(change.name);
      written.insert(change.new_name);
    }
    if (change.op == "DEL") taken.push_back(change.name);
  }
  EXPECT_EQ(logged["INS"], totals["inserts"]);
  EXPECT_EQ(logged["UPD"], totals["updates"]);
  EXPECT_EQ(logged["DEL"], totals["deletes"]);
  ASSERT_EQ(written.size(), std::set<std::string>(written.begin(), written.end()).size())
      << "a name was written twice";

  int faults = 0;
  std::multiset<std::string> expected = written;
  for (const std::string& name : taken) {
    const auto found = expected.find(name);
    if (found == expected.end()) {
      if (++faults <= 20) {
        ADD_FAILURE() << "\"" << Utf8(name)
                      << "\" was taken away by two accepted changes, or was never written";
      }
      continue;
    }
    expected.erase(found);
  }
  for (const std::string& name : in_file) {
    if (!expected.count(name) && ++faults <= 40) {
      ADD_FAILURE() << "the file holds \"" << Utf8(name)
                    << "\", which no accepted change left there";
    }
  }
  for (const std::string& name : expected) {
    if (!in_file.count(name) && ++faults <= 60) {
      ADD_FAILURE() << "\"" << Utf8(name)
                    << "\" was written by an accepted change and is missing";
    }
  }
  EXPECT_EQ(faults, 0) << faults << " faults in all";
}

TEST_F(RegisterStationTest, ProgramsInsertingAndChangingTheRegisterAtOnceLoseNothing) {
  ASSERT_NO_FATAL_FAILURE(MakeRegister());
  RunAtOnce(EnvOr("ZUNA_STATIONS", 3), EnvOr("ZUNA_STATION_OPS", 300),
            {"--no-deletes"});
}

// Deletes too: a delete re-reads its record watched, so a change another
// process makes after that check fails the delete instead of being lost.
TEST_F(RegisterStationTest, ProgramsChangingAndDeletingTheRegisterAtOnceLoseNothing) {
  ASSERT_NO_FATAL_FAILURE(MakeRegister());
  RunAtOnce(EnvOr("ZUNA_STATIONS", 3), EnvOr("ZUNA_STATION_OPS", 300), {});
}

// Programs that all find the register missing race to create it; each must
// end up with it open.  The loser of the race may open the data file while
// the winner still writes it or its keys: the open waits for them.
TEST_F(RegisterStationTest, ProgramsThatFindTheRegisterMissingAtOnceAllOpenIt) {
  for (int round = 1; round <= 5; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::string dir = dir_.File("round" + std::to_string(round));
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    std::vector<std::unique_ptr<ChildProcess>> programs;
    for (int i = 0; i < 3; ++i) {
      programs.push_back(std::make_unique<ChildProcess>(
          TestProgramPath("zuna_register_station"),
          std::vector<std::string>{dir, "0", "0"}));
    }
    for (std::unique_ptr<ChildProcess>& program : programs) {
      std::string summary;
      EXPECT_TRUE(program->ReadLine(&summary, std::chrono::seconds(30))) << "no summary";
      EXPECT_EQ(program->Wait(std::chrono::seconds(10)), 0) << summary;
    }
    const ProgramResult check = RunProgram(BinPath("zunatool"), {"check", dir + "/ZUN"});
    EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
  }
}

}  // namespace
}  // namespace zuna::testing
