// Several stations on one register file: each station is a real zuna_station
// process with its own FILE, stepped in lockstep through pipes.  These are
// the rules every station relies on: a read-only open changes nothing, a
// LOCK shuts the others out until UNLOCK, a held record is readable but not
// writable by the others, WATCH catches a lost update, share modes refuse
// what they deny, RECOVER frees what a killed station left behind, and many
// stations changing one file at once lose no accepted change and leave a
// file the checker passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/station_client.h"
#include "tests/support/summary_line.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace zuna::testing {
namespace {

using std::chrono::seconds;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string Hex(uint32_t mode) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02x", mode);
  return text;
}

class StationTest : public ::testing::Test {
 protected:
  // The register file every station opens: ZUN.DAT, ZUN.K01, ZUN.K02.
  std::string Path() const { return dir_.File("ZUN"); }

  // Creates the register with `names` (record numbers 1, 2, ... in order;
  // DATA 60001, 60002, ...) through a station that opens it exclusively,
  // and closes it again.
  void MakeRegister(const std::vector<std::string>& names) {
    StationClient maker;
    ASSERT_EQ(maker.Code("create " + Path()), 0);
    ASSERT_EQ(maker.Code("open " + Path() + " 0x12"), 0);
    for (size_t i = 0; i < names.size(); ++i) {
      ASSERT_EQ(maker.Ask("add " + names[i] + " " + std::to_string(60001 + i)).line,
                "0 " + std::to_string(i + 1));
    }
    ASSERT_EQ(maker.Code("close"), 0);
  }

  // `zunatool check` over the register: data and keys agree.
  void ExpectCheckPasses() {
    const ProgramResult r = RunProgram(BinPath("zunatool"), {"check", Path()});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  }

  // Opens the register shared in each of `stations`, in order.  Call under
  // ASSERT_NO_FATAL_FAILURE: a refused open ends the test.
  void ShareAll(std::initializer_list<StationClient*> stations) {
    for (StationClient* s : stations) ASSERT_EQ(s->Code("share " + Path()), 0);
  }

  // Closes the register in each of `stations`, in order, then checks it.
  void CloseAllAndCheck(std::initializer_list<StationClient*> stations) {
    for (StationClient* s : stations) EXPECT_EQ(s->Code("close"), 0);
    ExpectCheckPasses();
  }

  TempDir dir_;
};

// --- Read-only open ---------------------------------------------------------

TEST_F(StationTest, ReadOnlyOpenRefusesEveryChangeAndWritesNothing) {
  MakeRegister({"Alice", "Bob"});
  const std::vector<std::string> files = {"ZUN.DAT", "ZUN.K01", "ZUN.K02"};
  std::vector<std::string> before;
  for (const std::string& name : files) before.push_back(ReadBytes(dir_.File(name)));

  for (uint32_t mode : {0x40u, 0x00u, 0x20u, 0x10u}) {
    SCOPED_TRACE("mode " + Hex(mode));
    StationClient reader;
    ASSERT_EQ(reader.Code("open " + Path() + " " + Hex(mode)), 0);
    ASSERT_EQ(reader.Ask("get 1").line, "0 1 Alice 60001");
    EXPECT_EQ(reader.Code("put Carol 60003"), 5);
    EXPECT_EQ(reader.Code("delete"), 5);
    EXPECT_EQ(reader.Code("add Dan 60004"), 5);
    EXPECT_EQ(reader.Ask("get 2").line, "0 2 Bob 60002");
    EXPECT_EQ(reader.Code("delete"), 5);
    EXPECT_EQ(reader.Ask("records").line, "0 2");
    EXPECT_EQ(reader.Code("close"), 0);
    for (size_t i = 0; i < files.size(); ++i) {
      EXPECT_TRUE(ReadBytes(dir_.File(files[i])) == before[i]) << files[i] << " changed";
    }
  }
}

// --- LOCK -------------------------------------------------------------------

TEST_F(StationTest, LockShutsOtherStationsOutUntilUnlock) {
  MakeRegister({"Alice"});
  StationClient a;
  StationClient b;
  StationClient c;
  ASSERT_NO_FATAL_FAILURE(ShareAll({&a, &b}));
  ASSERT_EQ(b.Code("lock"), 0);

  // The station holding the LOCK goes on working.
  EXPECT_EQ(b.Ask("add Bob 60002").line, "0 2");
  EXPECT_EQ(a.Code("add Carol 60003"), 32);
  EXPECT_EQ(a.Code("records"), 32);
  // A refused open leaves the FILE closed; "close" makes sure of it, so
  // one wrong answer does not turn the later opens into 52.
  EXPECT_EQ(c.Code("share " + Path()), 5);
  EXPECT_EQ(c.Code("close"), 0);
  EXPECT_EQ(c.Code("open " + Path() + " 0x42"), 5);
  EXPECT_EQ(c.Code("close"), 0);

  ASSERT_EQ(b.Code("unlock"), 0);
  EXPECT_EQ(a.Ask("add Carol 60003").line, "0 3");
  EXPECT_EQ(c.Code("share " + Path()), 0);
  EXPECT_EQ(c.Ask("records").line, "0 3");
  EXPECT_EQ(c.Ask("get 2").line, "0 2 Bob 60002");

  CloseAllAndCheck({&a, &b, &c});
}

TEST_F(StationTest, CloseGivesTheLockUp) {
  MakeRegister({"Alice"});
  StationClient a;
  StationClient b;
  ASSERT_NO_FATAL_FAILURE(ShareAll({&a, &b}));
  ASSERT_EQ(b.Code("lock"), 0);
  EXPECT_EQ(a.Code("add Bob 60002"), 32);
  ASSERT_EQ(b.Code("close"), 0);
  EXPECT_EQ(a.Ask("add Bob 60002").line, "0 2");
  CloseAllAndCheck({&a});
}

// --- Held records -----------------------------------------------------------

TEST_F(StationTest, HeldRecordIsReadableButNotWritableByOthers) {
  MakeRegister({"Alice", "Bob"});
  StationClient a;
  StationClient b;
  ASSERT_EQ(a.Code("share " + Path()), 0);
  ASSERT_EQ(a.Code("hold 1"), 0);
  ASSERT_EQ(a.Ask("get 1").line, "0 1 Alice 60001");

  ASSERT_EQ(b.Code("share " + Path()), 0);
  EXPECT_EQ(b.Ask("get 1").line, "0 1 Alice 60001");
  EXPECT_EQ(b.Code("put Carol 60003"), 5);
  EXPECT_EQ(b.Code("delete"), 5);

  ASSERT_EQ(b.Code("hold 2"), 0);
  const StationReply refused = b.Ask("get 1");
  EXPECT_EQ(refused.code, 43) << refused.line;
  EXPECT_GE(refused.seconds(), 1.5);
  EXPECT_LE(refused.seconds(), 4.0);

  // Another record is not held.
  ASSERT_EQ(b.Code("hold 2"), 0);
  const StationReply other = b.Ask("get 2");
  EXPECT_EQ(other.line, "0 2 Bob 60002");
  EXPECT_LT(other.seconds(), 1.0);
  EXPECT_EQ(b.Code("release"), 0);

  // Once A lets go, B can hold and change it.
  ASSERT_EQ(a.Code("release"), 0);
  ASSERT_EQ(b.Code("hold 2"), 0);
  EXPECT_EQ(b.Ask("get 1").line, "0 1 Alice 60001");
  EXPECT_EQ(b.Code("put Carol 60003"), 0);
  EXPECT_EQ(b.Code("release"), 0);
  EXPECT_EQ(a.Ask("get 1").line, "0 1 Carol 60003");

  CloseAllAndCheck({&a, &b});
}

// --- WATCH ------------------------------------------------------------------

TEST_F(StationTest, WatchCatchesAnotherStationsPut) {
  MakeRegister({"Alice"});
  StationClient a;
  StationClient b;
  ASSERT_NO_FATAL_FAILURE(ShareAll({&a, &b}));

  // Only reads in between: the PUT goes through.
  ASSERT_EQ(a.Code("watch"), 0);
  ASSERT_EQ(a.Code("get 1"), 0);
  ASSERT_EQ(b.Code("get 1"), 0);
  EXPECT_EQ(a.Code("put Bob 60002"), 0);

  // B changes the record between A's read and A's PUT.
  ASSERT_EQ(a.Code("watch"), 0);
  ASSERT_EQ(a.Ask("get 1").line, "0 1 Bob 60002");
  ASSERT_EQ(b.Ask("get 1").line, "0 1 Bob 60002");
  ASSERT_EQ(b.Code("put Carol 60003"), 0);
  EXPECT_EQ(a.Code("put Dan 60004"), 89);
  EXPECT_EQ(a.Ask("get 1").line, "0 1 Carol 60003");

  // Read again under WATCH, A's change is accepted.
  ASSERT_EQ(a.Code("watch"), 0);
  ASSERT_EQ(a.Code("get 1"), 0);
  EXPECT_EQ(a.Code("put Dan 60004"), 0);
  EXPECT_EQ(b.Ask("get 1").line, "0 1 Dan 60004");

  CloseAllAndCheck({&a, &b});
}

// --- IGNORESTATUS -----------------------------------------------------------

TEST_F(StationTest, IgnoreStatusNeedsTheFileToItself) {
  MakeRegister({"Alice", "Bob"});
  StationClient a;
  ASSERT_EQ(a.Code("share " + Path()), 0);
  EXPECT_EQ(a.Code("send IGNORESTATUS=ON"), 63);
  EXPECT_EQ(a.Code("close"), 0);

  ASSERT_EQ(a.Code("open " + Path() + " 0x12"), 0);
  EXPECT_EQ(a.Ask("send IGNORESTATUS=ON").line, "0 ON");
  ASSERT_EQ(a.Code("get 2"), 0);
  ASSERT_EQ(a.Code("delete"), 0);
  EXPECT_EQ(a.Ask("get 2").line, "0 2 Bob 60002");
  EXPECT_EQ(a.Ask("send DELETED").line, "0 ON");
  EXPECT_EQ(a.Code("close"), 0);
}

// --- Share modes ------------------------------------------------------------

TEST_F(StationTest, ShareModesRefuseWhatTheyDeny) {
  MakeRegister({"Alice"});
  struct Row {
    uint32_t first;
    uint32_t second;
    int expected;
  };
  const Row rows[] = {
      {0x22, 0x42, 5},  // deny write: no other writer
      {0x22, 0x40, 0},  // ... but a reader that denies nothing
      {0x12, 0x40, 5},  // deny all: nobody else
      {0x12, 0x42, 5},
      {0x12, 0x22, 5},
      {0x12, 0x12, 5},
      {0x12, 0x00, 5},
      {0x42, 0x42, 0},  // deny none twice: both
      {0x42, 0x40, 0},
      {0x42, 0x22, 5},  // denying write to a station that already writes
  };
  StationClient a;
  StationClient b;
  for (const Row& row : rows) {
    SCOPED_TRACE("first " + Hex(row.first) + ", second " + Hex(row.second));
    ASSERT_EQ(a.Code("open " + Path() + " " + Hex(row.first)), 0);
    const int opened = b.Code("open " + Path() + " " + Hex(row.second));
    EXPECT_EQ(opened, row.expected);
    if (opened == 0 && row.expected == 0) {
      EXPECT_EQ(b.Ask("get 1").line, "0 1 Alice 60001");
    }
    EXPECT_EQ(b.Code("close"), 0);
    EXPECT_EQ(a.Code("close"), 0);
  }

  // Two deny-none stations both change the file.
  ASSERT_EQ(a.Code("open " + Path() + " 0x42"), 0);
  ASSERT_EQ(b.Code("open " + Path() + " 0x42"), 0);
  EXPECT_EQ(a.Ask("add Bob 60002").line, "0 2");
  EXPECT_EQ(b.Ask("add Carol 60003").line, "0 3");
  EXPECT_EQ(a.Ask("records").line, "0 3");
  CloseAllAndCheck({&a, &b});
}

// --- A station killed while holding something ------------------------------

TEST_F(StationTest, RecoverBreaksTheHoldOfAKilledStation) {
  MakeRegister({"Alice"});
  StationClient a;
  ASSERT_EQ(a.Code("share " + Path()), 0);
  ASSERT_EQ(a.Code("hold 1"), 0);
  ASSERT_EQ(a.Code("get 1"), 0);
  a.Kill();

  StationClient b;
  ASSERT_EQ(b.Code("share " + Path()), 0);
  // Without RECOVER the hold outlives its station.
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_EQ(b.Code("hold 1"), 0);
    const StationReply held = b.Ask("get 1");
    EXPECT_EQ(held.code, 43) << held.line;
  }
  EXPECT_EQ(b.Ask("get 1").line, "0 1 Alice 60001");
  EXPECT_EQ(b.Code("put Bob 60002"), 5);

  EXPECT_EQ(b.Ask("send RECOVER=2").line, "0 2");
  ASSERT_EQ(b.Code("hold 5"), 0);
  const StationReply recovered = b.Ask("get 1");
  EXPECT_EQ(recovered.line, "0 1 Alice 60001");
  EXPECT_GE(recovered.seconds(), 1.5);
  EXPECT_LE(recovered.seconds(), 6.0);
  EXPECT_EQ(b.Code("put Bob 60002"), 0);
  EXPECT_EQ(b.Code("release"), 0);

  // The held bit is gone from the file: a station without RECOVER holds
  // the record at once.
  StationClient c;
  ASSERT_EQ(c.Code("share " + Path()), 0);
  ASSERT_EQ(c.Code("hold 1"), 0);
  const StationReply at_once = c.Ask("get 1");
  EXPECT_EQ(at_once.line, "0 1 Bob 60002");
  EXPECT_LT(at_once.seconds(), 1.0);

  CloseAllAndCheck({&b, &c});
}

TEST_F(StationTest, RecoverBreaksTheLockOfAKilledStation) {
  MakeRegister({"Alice"});
  StationClient a;
  StationClient b;
  ASSERT_NO_FATAL_FAILURE(ShareAll({&a, &b}));
  ASSERT_EQ(a.Code("lock"), 0);
  a.Kill();

  // Without RECOVER the LOCK outlives its station.
  EXPECT_EQ(b.Code("add Bob 60002"), 32);
  EXPECT_EQ(b.Code("add Bob 60002"), 32);
  {
    StationClient c;
    EXPECT_EQ(c.Code("share " + Path()), 5);
    EXPECT_EQ(c.Code("close"), 0);
  }

  EXPECT_EQ(b.Ask("send RECOVER=2").line, "0 2");
  const StationReply recovered = b.Ask("add Bob 60002");
  EXPECT_EQ(recovered.line, "0 2");
  EXPECT_GE(recovered.seconds(), 1.5);
  EXPECT_LE(recovered.seconds(), 6.0);

  // The LOCK flag is gone from the file.
  StationClient c;
  ASSERT_EQ(c.Code("share " + Path()), 0);
  EXPECT_EQ(c.Ask("add Carol 60003").line, "0 3");
  EXPECT_EQ(b.Ask("records").line, "0 3");

  CloseAllAndCheck({&b, &c});
}

// --- Contention -------------------------------------------------------------
//
// Several churn stations change one shared file at once.  Each logs every
// change the driver accepted, with the monotonic-clock interval inside which
// it took effect.  Afterwards the file must pass the checker and hold
// exactly what the logs allow: adds − deletes records, each name one that
// an ADD or PUT wrote, no name twice, and every record number in the state
// that one of its possibly-last accepted changes left (a change is surely
// earlier than another when its interval ends before the other's begins).
// ZUNA_STATIONS and ZUNA_STATION_OPS scale it up (scripts/soak-stations).

struct LoggedChange {
  int64_t begin = 0;
  int64_t end = 0;
  std::string op;  // ADD, PUT or DEL
  uint32_t record_no = 0;
  std::string name;  // "-" for DEL
  int station = 0;
};

std::vector<LoggedChange> ReadLog(const std::string& path, int station) {
  std::vector<LoggedChange> changes;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    LoggedChange change;
    change.station = station;
    if (fields >> change.begin >> change.end >> change.op >> change.record_no >>
        change.name) {
      changes.push_back(change);
    } else {
      ADD_FAILURE() << path << ": malformed line \"" << line << "\"";
    }
  }
  return changes;
}

// The live records a "dump" answer lists: record number → name.
std::map<uint32_t, std::string> ParseDump(const std::string& value, size_t* count) {
  std::map<uint32_t, std::string> records;
  std::istringstream in(value);
  in >> *count;
  for (std::string word; in >> word;) {
    const size_t first = word.find(':');
    const size_t second = word.find(':', first + 1);
    const uint32_t record_no =
        static_cast<uint32_t>(std::strtoul(word.substr(0, first).c_str(), nullptr, 10));
    records[record_no] = word.substr(first + 1, second - first - 1);
  }
  return records;
}

TEST_F(StationTest, ConcurrentChangesLoseNothing) {
  const int station_count = EnvOr("ZUNA_STATIONS", 4);
  const int operations = EnvOr("ZUNA_STATION_OPS", 300);
  const uint32_t seed_base = static_cast<uint32_t>(::testing::UnitTest::GetInstance()->random_seed());
  {
    StationClient maker;
    ASSERT_EQ(maker.Code("create " + Path()), 0);
  }

  const auto start = std::chrono::steady_clock::now();
  std::vector<std::unique_ptr<StationClient>> stations;
  std::vector<std::string> logs;
  for (int i = 1; i <= station_count; ++i) {
    const std::string seed = std::to_string(seed_base * 100 + static_cast<uint32_t>(i));
    logs.push_back(dir_.File("station" + std::to_string(i) + ".log"));
    std::cout << "station " << i << ": seed " << seed
              << " (--gtest_random_seed=" << seed_base << ")\n";
    stations.push_back(std::make_unique<StationClient>(std::vector<std::string>{
        "churn", Path(), seed, std::to_string(operations), "--id",
        std::to_string(i), "--log", logs.back()}));
  }
  const auto patience =
      std::chrono::milliseconds(std::max<int64_t>(120000, int64_t{operations} * 100));
  std::map<std::string, uint64_t> totals;
  for (int i = 0; i < station_count; ++i) {
    SCOPED_TRACE("station " + std::to_string(i + 1));
    std::string summary;
    EXPECT_TRUE(stations[i]->ReadLine(&summary, patience)) << "no summary";
    EXPECT_EQ(stations[i]->Wait(seconds(10)), 0) << summary;
    const std::map<std::string, uint64_t> fields = ParseSummary(summary);
    EXPECT_EQ(fields.count("error") == 1 ? fields.at("error") : 1, 0u) << summary;
    for (const auto& [name, value] : fields) {
      if (name != "error") totals[name] += value;
    }
  }
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  ExpectCheckPasses();

  StationClient reader;
  ASSERT_EQ(reader.Code("open " + Path() + " 0x40"), 0);
  const StationReply records = reader.Ask("records");
  const StationReply dump = reader.Ask("dump");
  ASSERT_EQ(dump.code, 0) << dump.line;
  size_t count = 0;
  const std::map<uint32_t, std::string> live = ParseDump(dump.value, &count);
  ASSERT_EQ(live.size(), count) << "record numbers repeat in the dump";

  const uint64_t adds = totals["adds"];
  const uint64_t deletes = totals["deletes"];
  std::cout << "stations " << station_count << " x " << operations
            << " operations in " << elapsed << " s: adds " << adds
            << ", deletes " << deletes << ", puts " << totals["puts"]
            << ", records " << count << "; retries";
  for (const auto& [name, value] : totals) {
    if (name.starts_with("r")) std::cout << ' ' << name.substr(1) << ':' << value;
  }
  std::cout << std::endl;

  EXPECT_EQ(int64_t(count), int64_t(adds) - int64_t(deletes));
  EXPECT_EQ(records.line, "0 " + std::to_string(count));

  std::vector<LoggedChange> changes;
  for (int i = 0; i < station_count; ++i) {
    std::vector<LoggedChange> one = ReadLog(logs[i], i + 1);
    changes.insert(changes.end(), one.begin(), one.end());
  }
  uint64_t logged_adds = 0;
  uint64_t logged_deletes = 0;
  std::set<std::string> written;
  std::map<uint32_t, std::vector<const LoggedChange*>> by_record;
  for (const LoggedChange& change : changes) {
    if (change.op == "ADD") ++logged_adds;
    if (change.op == "DEL") ++logged_deletes;
    if (change.op != "DEL") {
      EXPECT_TRUE(written.insert(change.name).second) << change.name << " written twice";
    }
    by_record[change.record_no].push_back(&change);
  }
  EXPECT_EQ(logged_adds, adds);
  EXPECT_EQ(logged_deletes, deletes);

  // Each name in the file was written by an accepted ADD or PUT, once.
  std::set<std::string> seen;
  int faults = 0;
  auto report = [&](const std::string& what) {
    if (++faults <= 20) ADD_FAILURE() << what;
  };
  for (const auto& [record_no, name] : live) {
    if (!written.count(name)) {
      report("record " + std::to_string(record_no) + " holds \"" + name +
             "\", which no accepted change wrote");
    }
    if (!seen.insert(name).second) report("\"" + name + "\" is in the file twice");
  }

  // Each record number is in the state one of its possibly-last changes
  // left: no accepted change was lost or undone.
  for (const auto& [record_no, list] : by_record) {
    std::vector<const LoggedChange*> last;
    for (const LoggedChange* change : list) {
      const bool superseded = std::any_of(list.begin(), list.end(), [&](const LoggedChange* other) {
        return change->end < other->begin;
      });
      if (!superseded) last.push_back(change);
    }
    const auto found = live.find(record_no);
    const bool explained = std::any_of(last.begin(), last.end(), [&](const LoggedChange* change) {
      if (found == live.end()) return change->op == "DEL";
      return change->op != "DEL" && change->name == found->second;
    });
    if (!explained) {
      std::string candidates;
      for (const LoggedChange* change : last) {
        candidates += " " + change->op + " " + change->name + " by S" +
                      std::to_string(change->station);
      }
      report("record " + std::to_string(record_no) + " is " +
             (found == live.end() ? std::string("not live")
                                  : "\"" + found->second + "\"") +
             ", but its last accepted change was one of:" + candidates);
    }
  }
  for (const auto& [record_no, name] : live) {
    if (!by_record.count(record_no)) {
      report("record " + std::to_string(record_no) + " (\"" + name +
             "\") has no logged change");
    }
  }
  EXPECT_EQ(faults, 0) << faults << " faults in all";
  EXPECT_EQ(reader.Code("close"), 0);
}

}  // namespace
}  // namespace zuna::testing
