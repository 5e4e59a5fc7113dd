// Several zunatool processes adding and importing into one register at
// once, as scripts do, beside the other programs a register meets: alone,
// beside a station that holds a record, and beside a copy of the program
// (zuna_register_station) inserting and changing people through the
// framework.  Every command must succeed, and afterwards every name must be
// in the file exactly once -- none lost, none twice -- `zunatool check`
// must find no fault and no transaction may be left behind.
//
// ZUNA_TOOL_ADDERS, ZUNA_TOOL_ADDS, ZUNA_TOOL_IMPORTERS and
// ZUNA_TOOL_IMPORT_RECORDS scale the work up (scripts/soak-zunatool).
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/values/code_page.h"
#include "tests/support/child_process.h"
#include "tests/support/run_program.h"
#include "tests/support/station_client.h"
#include "tests/support/summary_line.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace zuna::testing {
namespace {

// Generous: under a loaded machine one import may keep the others waiting
// for a while, and the test is about losing nothing, not about patience.
const std::string kWait = "120";

enum class Neighbour { kNone, kHoldingStation, kRegisterProgram };

struct Workload {
  int adders = EnvOr("ZUNA_TOOL_ADDERS", 3);
  int adds = EnvOr("ZUNA_TOOL_ADDS", 6);
  int importers = EnvOr("ZUNA_TOOL_IMPORTERS", 3);
  int import_records = EnvOr("ZUNA_TOOL_IMPORT_RECORDS", 120);
};

// Collects the failures of the worker threads for the test thread.
class Failures {
 public:
  void Add(const std::string& what) {
    std::lock_guard lock(mutex_);
    lines_.push_back(what);
  }
  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

ProgramResult Zunatool(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"--wait", kWait};
  all.insert(all.end(), args.begin(), args.end());
  return RunProgram(BinPath("zunatool"), all);
}

// The names in the register, from export ("name;date" lines).
std::multiset<std::string> NamesInFile(const std::string& zun) {
  const ProgramResult exported = Zunatool({"export", zun});
  EXPECT_EQ(exported.exit_code, 0) << exported.err;
  std::multiset<std::string> names;
  std::istringstream lines(exported.out);
  for (std::string line; std::getline(lines, line);) {
    names.insert(line.substr(0, line.rfind(';')));
  }
  return names;
}

// The register program's log (tab-separated, names in Windows-1251):
// INS name, UPD old new.  Each name written counts +1, each name taken
// away -1, whatever the order the programs' logs interleave in.
void CountRegisterChanges(const std::string& log, std::map<std::string, int>* count) {
  std::ifstream in(log, std::ios::binary);
  ASSERT_TRUE(in.is_open()) << log;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) {
      fields.push_back(values::Cp1251ToUtf8(field));
    }
    if (fields.size() == 2 && fields[0] == "INS") {
      ++(*count)[fields[1]];
    } else if (fields.size() == 3 && fields[0] == "UPD") {
      --(*count)[fields[1]];
      ++(*count)[fields[2]];
    } else {
      ADD_FAILURE() << log << ": unexpected line " << values::Cp1251ToUtf8(line);
    }
  }
}

class ZunatoolSharingTest : public ::testing::TestWithParam<Neighbour> {
 protected:
  std::string Zun() const { return dir_.File("ZUN"); }

  // Writes importer `k`'s CSV; its names go to `expected`.
  std::string WriteCsv(int k, int records, std::map<std::string, int>* expected) {
    const std::string path = dir_.File("import" + std::to_string(k) + ".csv");
    std::ofstream out(path, std::ios::binary);
    for (int i = 1; i <= records; ++i) {
      const std::string name = "Импорт" + std::to_string(k) + "-" + std::to_string(i);
      out << name << ";" << (i % 28 + 1) << "/" << (i % 12 + 1) << "/19" << (40 + i % 60)
          << "\n";
      ++(*expected)[name];
    }
    return path;
  }

  TempDir dir_;
};

TEST_P(ZunatoolSharingTest, AddsAndImportsAtOnceLoseNothing) {
  const Workload work;
  const Neighbour neighbour = GetParam();
  ASSERT_EQ(Zunatool({"create", Zun()}).exit_code, 0);
  std::map<std::string, int> expected;  // name -> times it must be there

  // The neighbour, working before the tools start and until they end.
  std::unique_ptr<StationClient> holder;
  std::string held_record;
  std::unique_ptr<ChildProcess> program;
  std::string program_log;
  if (neighbour == Neighbour::kHoldingStation) {
    holder = std::make_unique<StationClient>();
    ASSERT_EQ(holder->Code("share " + Zun()), 0);
    // The station's names are program (1251) text: an ASCII one reads the
    // same in both.
    const StationReply added = holder->Ask("add Holder 60000");
    ASSERT_EQ(added.code, 0) << added.line;
    held_record = added.value;
    ASSERT_EQ(holder->Code("hold 0"), 0);
    ASSERT_EQ(holder->Code("get " + held_record), 0);
    ++expected["Holder"];
  } else if (neighbour == Neighbour::kRegisterProgram) {
    const std::string seed = "7";
    program_log = dir_.File("register_station_" + seed + ".log");
    program = std::make_unique<ChildProcess>(
        TestProgramPath("zuna_register_station"),
        std::vector<std::string>{dir_.path(), seed, std::to_string(20 * work.adders),
                                 "--no-deletes"});
  }

  std::vector<std::string> csvs;
  for (int k = 1; k <= work.importers; ++k) {
    csvs.push_back(WriteCsv(k, work.import_records, &expected));
  }
  Failures failures;
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> scripts;
  for (int a = 1; a <= work.adders; ++a) {
    std::vector<std::string> names;
    for (int i = 1; i <= work.adds; ++i) {
      names.push_back("Добавлен" + std::to_string(a) + "-" + std::to_string(i));
      ++expected[names.back()];
    }
    scripts.emplace_back([this, names, &failures] {
      for (const std::string& name : names) {
        const ProgramResult r = Zunatool({"add", Zun(), name, "05/03/2009"});
        if (r.exit_code != 0) failures.Add("add " + name + ": " + r.err);
      }
    });
  }
  for (const std::string& csv : csvs) {
    scripts.emplace_back([this, csv, &failures] {
      const ProgramResult r = Zunatool({"import", Zun(), csv});
      if (r.exit_code != 0) failures.Add("import " + csv + ": " + r.err);
    });
  }
  for (std::thread& script : scripts) script.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (const std::string& failure : failures.lines()) ADD_FAILURE() << failure;

  if (holder) {
    // The hold lasted all along: another station's hold-read still meets it.
    StationClient other;
    EXPECT_EQ(other.Code("share " + Zun()), 0);
    EXPECT_EQ(other.Code("hold 1"), 0);
    EXPECT_EQ(other.Code("get " + held_record), 43);
    EXPECT_EQ(other.Code("close"), 0);
    EXPECT_EQ(holder->Code("release"), 0);
    EXPECT_EQ(holder->Code("close"), 0);
  }
  if (program) {
    std::string summary;
    EXPECT_TRUE(program->ReadLine(&summary, std::chrono::seconds(180))) << "no summary";
    EXPECT_EQ(program->Wait(std::chrono::seconds(10)), 0) << summary;
    EXPECT_EQ(ParseSummary(summary).count("unexpected") == 1
                  ? ParseSummary(summary).at("unexpected")
                  : 1,
              0u)
        << summary;
    CountRegisterChanges(program_log, &expected);
  }

  // Every name that must be there, exactly once; nothing else.
  std::multiset<std::string> wanted;
  for (const auto& [name, times] : expected) {
    EXPECT_TRUE(times == 0 || times == 1) << name << " " << times;
    if (times > 0) wanted.insert(name);
  }
  const std::multiset<std::string> in_file = NamesInFile(Zun());
  size_t lost = 0;
  for (const std::string& name : wanted) {
    if (in_file.count(name) == 0) ++lost;
    EXPECT_EQ(in_file.count(name), 1u) << name;
  }
  EXPECT_EQ(in_file.size(), wanted.size());
  std::cout << work.adders << " adding scripts x " << work.adds << " adds, "
            << work.importers << " imports x " << work.import_records << " records"
            << (program ? ", a register program" : holder ? ", a held record" : "")
            << ": " << (work.adders * work.adds + work.importers) << " zunatool processes, "
            << wanted.size() << " names expected, " << in_file.size() << " in the file, "
            << lost << " lost, in " << seconds << " s" << std::endl;

  const ProgramResult check = Zunatool({"check", Zun()});
  EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
  EXPECT_NE(check.out.find(": ошибок нет\n"), std::string::npos) << check.out;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_FALSE(name.ends_with(".LOG") || name.ends_with(".TR$")) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Neighbours, ZunatoolSharingTest,
                         ::testing::Values(Neighbour::kNone, Neighbour::kHoldingStation,
                                           Neighbour::kRegisterProgram),
                         [](const ::testing::TestParamInfo<Neighbour>& info) {
                           switch (info.param) {
                             case Neighbour::kNone:
                               return "Alone";
                             case Neighbour::kHoldingStation:
                               return "BesideAHeldRecord";
                             case Neighbour::kRegisterProgram:
                               return "BesideTheRegisterProgram";
                           }
                           return "Unknown";
                         });

}  // namespace
}  // namespace zuna::testing
