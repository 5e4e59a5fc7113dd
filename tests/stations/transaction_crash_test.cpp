// Transactions against crashes, with real processes: a station starts a
// transaction, changes several records (both keys move) and commits or
// rolls back, and is killed with SIGKILL at a chosen crash point (a log
// record on disk before its write, the commit point passed, part of a
// rollback undone) or after a random delay.  Another station then opens
// the file shared, which recovers it: the data file and both key files
// must be byte for byte as before the transaction or as after its commit,
// no log or transaction file may remain, and zunatool check must pass.
// ZUNA_CRASH_TRIALS sets the number of trials of each test (default 100;
// scripts/soak-transactions runs more).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/run_program.h"
#include "tests/support/station_client.h"
#include "tests/support/temp_dir.h"

namespace zuna::testing {
namespace {

using Files = std::map<std::string, std::string>;
constexpr const char* kRegisterFiles[] = {"ZUN.DAT", "ZUN.K01", "ZUN.K02"};
constexpr auto kTimeout = std::chrono::seconds(30);

int Trials() {
  const char* env = std::getenv("ZUNA_CRASH_TRIALS");
  return env != nullptr ? std::max(1, std::atoi(env)) : 100;
}

class TransactionCrashTest : public ::testing::Test {
 protected:
  std::string Path() const { return dir_.File("ZUN"); }

  Files Read() const {
    Files files;
    for (const char* name : kRegisterFiles) {
      std::ifstream in(dir_.File(name), std::ios::binary);
      std::ostringstream bytes;
      bytes << in.rdbuf();
      files[name] = bytes.str();
    }
    return files;
  }

  void Write(const Files& files) const {
    for (const auto& [name, bytes] : files) {
      std::ofstream(dir_.File(name), std::ios::binary | std::ios::trunc) << bytes;
    }
  }

  std::vector<std::string> Leftovers() const {
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      const std::string name = entry.path().filename().string();
      if (name.ends_with(".LOG") || name.ends_with(".TR$")) left.push_back(name);
    }
    return left;
  }

  // Runs `commands` in a station started with `options`, then quits; its
  // exit code: 0 when it ran to the end, -1 when a signal ended it.
  int RunStationExit(const std::vector<std::string>& options,
                     const std::vector<std::string>& commands,
                     std::chrono::microseconds kill_after = {}) {
    ChildProcess station(TestProgramPath("zuna_station"), options);
    for (const std::string& command : commands) station.SendLine(command);
    station.SendLine("quit");
    if (kill_after.count() > 0) {
      std::this_thread::sleep_for(kill_after);
      station.Kill();
      return -1;
    }
    return station.Wait(kTimeout);
  }

  bool RunStation(const std::vector<std::string>& options,
                  const std::vector<std::string>& commands,
                  std::chrono::microseconds kill_after = {}) {
    return RunStationExit(options, commands, kill_after) == 0;
  }

  void MakeRegister() {
    std::vector<std::string> commands{"create " + Path(), "open " + Path() + " 0x12"};
    for (int i = 0; i < 40; ++i) {
      commands.push_back("add P" + std::to_string(i * 7919 % 1000) + " " +
                         std::to_string(60000 + i * 37 % 300));
    }
    commands.push_back("close");
    ASSERT_TRUE(RunStation({"--fixed-clock"}, commands));
  }

  // A transaction that moves entries in both keys: PUTs, an ADD (an
  // append, or a reused slot), DELETEs.
  std::vector<std::string> Transaction(bool commit) const {
    return {"share " + Path(), "logout",
            "get 3",  "put Aaron 59000",
            "get 17", "put Zorin 61000",
            "add Middle 60150",
            "get 5",  "delete",
            "get 30", "put Borisov 60001",
            "get 8",  "delete",
            commit ? "commit" : "rollback", "close"};
  }

  // Which files differ, and where first.
  static std::string Differences(const Files& now, const Files& expected) {
    std::string out;
    for (const auto& [name, bytes] : now) {
      const std::string& other = expected.at(name);
      if (bytes == other) continue;
      size_t at = 0;
      while (at < bytes.size() && at < other.size() && bytes[at] == other[at]) ++at;
      out += name + " (" + std::to_string(bytes.size()) + " bytes, was " +
             std::to_string(other.size()) + ", first change at " + std::to_string(at) + ") ";
    }
    return out;
  }

  // What a recovering open leaves, checked against the two allowed states.
  void ExpectRecovered(const Files& before, const Files* after, const std::string& where) {
    ASSERT_TRUE(RunStation({}, {"share " + Path(), "records", "close"})) << where;
    const Files now = Read();
    EXPECT_TRUE(now == before || (after != nullptr && now == *after))
        << where << ": " << Differences(now, before) << " from before";
    EXPECT_EQ(Leftovers(), std::vector<std::string>{}) << where;
    const ProgramResult check = RunProgram(BinPath("zunatool"), {"check", Path()});
    EXPECT_EQ(check.exit_code, 0) << where << "\n" << check.out << check.err;
  }

  void Torture(bool commit) {
    MakeRegister();
    const Files before = Read();
    ASSERT_TRUE(RunStation({"--fixed-clock"}, Transaction(commit)));
    const Files after = Read();
    if (commit) {
      ASSERT_NE(after, before);
    } else {
      ASSERT_EQ(after, before);
    }
    const int trials = Trials();
    std::mt19937 random(commit ? 11 : 12);
    // Crash points the station was killed at, and those it ran past.  Only
    // these trials show that a crash point fired: a timed kill proves
    // nothing about them.
    std::set<int> fired;
    std::set<int> passed;
    for (int trial = 0; trial < trials && !HasFailure(); ++trial) {
      Write(before);
      std::string where = "trial " + std::to_string(trial);
      if (trial % 2 == 0) {
        // Every crash point in turn (a commit passes 17, a rollback 32),
        // then around again.
        const int point = trial / 2 % 40 + 1;
        where += ", crash point " + std::to_string(point);
        const int exit = RunStationExit(
            {"--fixed-clock", "--crash-at", std::to_string(point)}, Transaction(commit));
        ASSERT_TRUE(exit == 0 || exit == -1) << where << ": exit " << exit;
        (exit == 0 ? passed : fired).insert(point);
      } else {
        const auto delay = std::chrono::microseconds(random() % 60000 + 1);
        where += ", killed after " + std::to_string(delay.count()) + " us";
        RunStation({"--fixed-clock"}, Transaction(commit), delay);
      }
      ExpectRecovered(before, commit ? &after : nullptr, where);
    }
    // The points a transaction passes are numbered from 1: the station must
    // have died at each of 1..P and run past every later one.
    ASSERT_FALSE(fired.empty()) << "no crash point fired";
    EXPECT_EQ(static_cast<size_t>(*fired.rbegin()), fired.size());
    if (!passed.empty()) {
      EXPECT_GT(*passed.begin(), *fired.rbegin());
    }
    std::cout << (commit ? "commit" : "rollback") << ": " << trials << " trials, killed at "
              << fired.size() << " crash points, ran past " << passed.size() << std::endl;
  }

  TempDir dir_;
};

// Two copies of the program on one machine each run transactions on the
// same file: one at a time (the second is refused with 48 while the first
// holds the file's log), and each may go on once the other has finished.
// While one program's transaction is open on the file, another waits
// before it reads or writes it: it must neither see what may yet be undone
// nor write what the undo would then wipe out.  After the COMMIT it goes
// on.
TEST_F(TransactionCrashTest, TwoProgramsTakeTurnsWithTransactionsOnOneFile) {
  MakeRegister();
  StationClient a;
  StationClient b;
  ASSERT_EQ(a.Code("share " + Path()), 0);
  ASSERT_EQ(b.Code("share " + Path()), 0);
  ASSERT_EQ(a.Code("logout"), 0);
  ASSERT_EQ(a.Code("get 1"), 0);
  ASSERT_EQ(a.Code("put FromA 60001"), 0);
  ASSERT_TRUE(b.Send("get 2"));
  EXPECT_FALSE(b.Receive(std::chrono::milliseconds(300)).answered);
  EXPECT_EQ(a.Code("commit"), 0);
  EXPECT_EQ(b.Receive(std::chrono::seconds(10)).code, 0);
  ASSERT_EQ(b.Code("logout"), 0);
  EXPECT_EQ(b.Code("put FromB 60002"), 0);
  EXPECT_EQ(b.Code("commit"), 0);
  EXPECT_EQ(a.Ask("get 1").line, "0 1 FromA 60001");
  EXPECT_EQ(a.Ask("get 2").line, "0 2 FromB 60002");
  EXPECT_EQ(a.Code("close"), 0);
  EXPECT_EQ(b.Code("close"), 0);
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

// A program dies inside its transaction while another waits to add a
// person: the waiting one undoes the dead one's change first, then adds,
// and nothing it added is lost to that undo.
TEST_F(TransactionCrashTest, AProgramDyingInItsTransactionCostsTheOthersNothing) {
  MakeRegister();
  StationClient a;
  StationClient b;
  ASSERT_EQ(a.Code("share " + Path()), 0);
  ASSERT_EQ(b.Code("share " + Path()), 0);
  const std::string first = b.Ask("get 1").line;
  ASSERT_EQ(a.Code("logout"), 0);
  ASSERT_EQ(a.Code("get 1"), 0);
  ASSERT_EQ(a.Code("put FromA 60001"), 0);
  ASSERT_EQ(a.Code("getname P919"), 0);
  ASSERT_EQ(a.Code("delete"), 0);
  ASSERT_TRUE(b.Send("add Newcomer 60099"));
  EXPECT_FALSE(b.Receive(std::chrono::milliseconds(300)).answered);
  a.Kill();
  const StationReply added = b.Receive(std::chrono::seconds(10));
  ASSERT_TRUE(added.answered);
  EXPECT_EQ(added.code, 0);
  EXPECT_EQ(b.Ask("get 1").line, first);
  EXPECT_EQ(b.Ask("records").line, "0 41");
  EXPECT_EQ(b.Ask("getname Newcomer").code, 0);
  EXPECT_EQ(b.Code("close"), 0);
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
  const ProgramResult check = RunProgram(BinPath("zunatool"), {"check", Path()});
  EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
}

TEST_F(TransactionCrashTest, ACommitKilledAnywhereLeavesBeforeOrAfter) {
  Torture(/*commit=*/true);
}

TEST_F(TransactionCrashTest, ARollbackKilledHalfWayIsFinishedByTheNextOpen) {
  Torture(/*commit=*/false);
}

}  // namespace
}  // namespace zuna::testing
