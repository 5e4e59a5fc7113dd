// Two procedure threads of one process change the register at once, each
// through its own Access_ZUN and Relate_ZUN and its own instance of the
// THREAD file ZUN, as two windows of the program would.  Each thread
// inserts people, changes records it has just read (under WATCH, the way a
// form reads) and deletes records it has just read; a change or delete may
// be refused because the other thread got there first, and the test counts
// those refusals.  Afterwards the file must hold exactly what the accepted
// changes leave:
//   - records == inserts - deletes accepted, and each key has an entry for
//     every record;
//   - every name in the file was written by an accepted insert or change,
//     and no accepted change or delete took away a name that an earlier
//     accepted one had already taken away (names are unique, so the names
//     written minus the names taken away are exactly the file's);
//   - `zunatool check` finds no fault;
//   - the only boxes shown are the refusals a change or delete may meet.
// The random work is RegisterChurn's (tests/support/register/), which the
// program zuna_register_station runs too, one process a copy.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/globals.h"
#include "app/zun_dictionary.h"
#include "app/zunabc.h"
#include "app/zunabc0.h"
#include "framework/data/file_callbacks.h"
#include "framework/data/scripted_host.h"
#include "runtime/datfile/statements.h"
#include "runtime/values/code_page.h"
#include "runtime/values/error_state.h"
#include "runtime/values/locale.h"
#include "tests/support/register/register_churn.h"
#include "tests/support/run_program.h"
#include "tests/support/shipped_locale.h"
#include "tests/support/temp_dir.h"

namespace zuna::app {
namespace {

namespace Level = framework::Level;
using zuna::testing::RegisterChange;
using zuna::testing::RegisterChurn;

constexpr datfile::Key kByDate{kZunKeyIndex};
constexpr datfile::Key kByName{kKey2Index};

constexpr int kOperationsPerThread = 200;
constexpr auto kPatience = std::chrono::seconds(180);

// Key files are shared with zunatool, which builds its collation from the
// environment file shipped beside it: the test makes the process use the
// same tables, so the keys it builds are in the order the checker expects.
// True when the process's tables are the shipped ones (they cannot change
// once another test of this binary has read them).
bool UseShippedLocale() {
  const values::LocaleTables shipped = zuna::testing::ShippedLocale();
  values::InstallLocale(shipped);
  const values::LocaleTables& now = values::Locale();
  if (now.collation != shipped.collation || now.char_class != shipped.char_class) {
    return false;
  }
  for (int code = 0; code < 256; ++code) {
    const char c = static_cast<char>(code);
    if (values::ToUpper(c, now) != values::ToUpper(c, shipped) ||
        values::ToLower(c, now) != values::ToLower(c, shipped)) {
      return false;
    }
  }
  return true;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Fails the process when the threads have not finished in time: a hang
// would otherwise hold the whole test binary.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit)
      : thread_([this, limit] {
          std::unique_lock lock(mutex_);
          if (!done_cv_.wait_for(lock, limit, [this] { return done_; })) {
            std::cerr << "register threads still running after " << limit.count()
                      << " s: stopping the test binary" << std::endl;
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    done_cv_.notify_all();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
  std::thread thread_;
};

class RegisterThreadsTest : public ::testing::Test {
 protected:
  RegisterThreadsTest() : installed_(host_) {
    cyrillic_ = UseShippedLocale();
    host_.ThreadNumber();  // this thread is thread 1
    GlobalErrors.Init(GlobalErrorStatus);
    EXPECT_EQ(::getcwd(previous_dir_, sizeof previous_dir_), previous_dir_);
    EXPECT_EQ(::chdir(dir_.path().c_str()), 0);
    ZUNABC::DctInit();
  }
  ~RegisterThreadsTest() override {
    ZUNABC::DctKill();
    if (ZUN().is_open()) datfile::CLOSE(ZUN());
    EXPECT_EQ(::chdir(previous_dir_), 0);
    GlobalErrors.Kill();
    values::ClearError();
  }

  framework::ScriptedHost host_;
  framework::ScopedHost installed_;
  zuna::testing::TempDir dir_;
  char previous_dir_[4096] = {};
  bool cyrillic_ = false;
};

TEST_F(RegisterThreadsTest, TwoThreadsChangingTheRegisterAtOnceLoseNothing) {
  ASSERT_EQ(framework::CurrentThreadNumber(), 1);
  if (!cyrillic_) {
    std::cout << "the process's locale is not the shipped one: Latin names only\n";
  }
  const uint32_t seed_base =
      static_cast<uint32_t>(::testing::UnitTest::GetInstance()->random_seed());
  std::cout << "threads T1, T2: seeds " << seed_base * 10 + 1 << ", " << seed_base * 10 + 2
            << " (--gtest_random_seed=" << seed_base << ")\n";

  std::vector<RegisterChurn> churns;
  for (uint32_t t = 0; t < 2; ++t) {
    churns.emplace_back(
        RegisterChurn::Options{.tag = "T" + std::to_string(t + 1),
                               .seed = seed_base * 10 + t + 1,
                               .surnames = zuna::testing::RegisterSurnames(cyrillic_)});
  }
  std::vector<std::vector<std::string>> faults_on_thread(2);  // besides the churn's
  const auto start = std::chrono::steady_clock::now();
  std::vector<int32_t> thread_numbers(2);
  {
    Watchdog watchdog(kPatience);
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
      threads.emplace_back([&, t] {
        StartThreadDictionary();
        thread_numbers[t] = framework::CurrentThreadNumber();
        if (Relate_ZUN == nullptr) {
          faults_on_thread[t].push_back("no Relate_ZUN on the thread");
        } else if (const uint8_t level = Relate_ZUN->Open(0); level != Level::Benign) {
          faults_on_thread[t].push_back("Open: level " + std::to_string(level));
        } else {
          churns[t].Run(kOperationsPerThread);
          if (const uint8_t closed = Relate_ZUN->Close(0); closed != Level::Benign) {
            faults_on_thread[t].push_back("Close: level " + std::to_string(closed));
          }
        }
        EndThreadDictionary();
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  const double elapsed = SecondsSince(start);
  EXPECT_NE(thread_numbers[0], 1);
  EXPECT_NE(thread_numbers[1], 1);
  EXPECT_NE(thread_numbers[0], thread_numbers[1]);

  // What both threads did.
  uint64_t inserts = 0;
  uint64_t updates = 0;
  uint64_t deletes = 0;
  uint64_t nothing_read = 0;
  std::map<std::string, uint64_t> refused;
  std::vector<std::string> written;  // inserted, or given by a change
  std::vector<std::string> taken;    // replaced by a change, or deleted
  std::vector<double> busy_waits;
  for (int t = 0; t < 2; ++t) {
    const RegisterChurn& churn = churns[t];
    inserts += churn.inserts();
    updates += churn.updates();
    deletes += churn.deletes();
    nothing_read += churn.nothing_read();
    for (const auto& [kind, count] : churn.refused()) refused[kind] += count;
    for (const RegisterChange& change : churn.changes()) {
      if (change.kind != RegisterChange::Kind::kDelete) written.push_back(change.written);
      if (change.kind != RegisterChange::Kind::kInsert) taken.push_back(change.taken);
    }
    busy_waits.insert(busy_waits.end(), churn.busy_waits().begin(), churn.busy_waits().end());
    for (const std::string& what : churn.unexpected()) {
      ADD_FAILURE() << values::Cp1251ToUtf8(what);
    }
    for (const std::string& what : faults_on_thread[t]) {
      ADD_FAILURE() << what << " (thread T" << t + 1 << ")";
    }
  }
  std::cout << "2 threads x " << kOperationsPerThread << " operations in " << elapsed
            << " s: inserts " << inserts << ", updates " << updates << ", deletes "
            << deletes << ", nothing to read " << nothing_read << "; refused";
  for (const auto& [kind, count] : refused) std::cout << ' ' << kind << ':' << count;
  if (!busy_waits.empty()) {
    std::cout << "; changes refused as the transaction was busy waited at most "
              << *std::max_element(busy_waits.begin(), busy_waits.end()) << " s";
  }
  std::cout << std::endl;

  // What was shown: refusals only, each as often as the threads counted it;
  // a delete that could not start its transaction asked to try again.
  EXPECT_TRUE(host_.Assertions().empty()) << host_.Assertions().front();
  EXPECT_TRUE(host_.Stops().empty());
  EXPECT_TRUE(host_.HistoryWindows().empty());
  std::vector<framework::MessageBoxRequest> boxes;
  for (const framework::ScriptedHost::ShownBox& box : host_.Messages()) {
    boxes.push_back(box.request);
  }
  const zuna::testing::BoxAccount account = zuna::testing::AccountForBoxes(
      boxes, refused, zuna::testing::ChurnSharing::kThreadsOfOneProcess);
  for (const std::string& fault : account.faults) {
    ADD_FAILURE() << values::Cp1251ToUtf8(fault);
  }

  // The names accepted changes left: each taken away at most once, and
  // only after it was written.
  std::multiset<std::string> expected(written.begin(), written.end());
  ASSERT_EQ(expected.size(), std::set<std::string>(written.begin(), written.end()).size())
      << "a name was written twice";
  int faults = 0;
  for (const std::string& name : taken) {
    const auto found = expected.find(name);
    if (found == expected.end()) {
      if (++faults <= 20) {
        ADD_FAILURE() << "\"" << values::Cp1251ToUtf8(name)
                      << "\" was taken away by two accepted changes, or was never written";
      }
      continue;
    }
    expected.erase(found);
  }

  // The file as it was left.
  ASSERT_EQ(Relate_ZUN->Open(0), Level::Benign);
  const uint32_t records = datfile::RECORDS(ZUN());
  EXPECT_EQ(int64_t{records}, int64_t(inserts) - int64_t(deletes));
  EXPECT_EQ(datfile::RECORDS(ZUN(), kByDate), records);
  EXPECT_EQ(datfile::RECORDS(ZUN(), kByName), records);
  std::multiset<std::string> in_file;
  ASSERT_EQ(datfile::SET(ZUN()), 0);
  int32_t code = 0;
  while ((code = datfile::NEXT(ZUN())) == 0) {
    const ZUN_Record record = ReadZunRecord(ZUN().record());
    in_file.insert(std::string(ZunName(record)));
  }
  EXPECT_EQ(code, 33);
  std::multiset<std::string> by_name;
  ASSERT_EQ(datfile::SET(ZUN(), kByName), 0);
  while ((code = datfile::NEXT(ZUN())) == 0) {
    const ZUN_Record record = ReadZunRecord(ZUN().record());
    by_name.insert(std::string(ZunName(record)));
  }
  EXPECT_EQ(code, 33);
  EXPECT_EQ(Relate_ZUN->Close(0), Level::Benign);
  EXPECT_FALSE(ZUN().is_open());

  EXPECT_EQ(in_file.size(), records);
  EXPECT_TRUE(by_name == in_file) << "the name key lists other records than the file";
  for (const std::string& name : in_file) {
    if (!expected.count(name) && ++faults <= 40) {
      ADD_FAILURE() << "the file holds \"" << values::Cp1251ToUtf8(name)
                    << "\", which no accepted change left there";
    }
  }
  for (const std::string& name : expected) {
    if (!in_file.count(name) && ++faults <= 60) {
      ADD_FAILURE() << "\"" << values::Cp1251ToUtf8(name)
                    << "\" was written by an accepted change and is missing";
    }
  }
  EXPECT_EQ(faults, 0) << faults << " faults in all";

  // No transaction was left behind, and the checker finds nothing.
  EXPECT_NE(::access(dir_.File("ZUN.LOG").c_str(), F_OK), 0);
  const zuna::testing::ProgramResult check =
      zuna::testing::RunProgram(zuna::testing::BinPath("zunatool"), {"check", dir_.File("ZUN")});
  EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
  EXPECT_NE(check.out.find(": ошибок нет\n"), std::string::npos) << check.out;
  EXPECT_EQ(check.out.find("незавершённой транзакции"), std::string::npos) << check.out;
}

// Each thread changes a record of its own over and over, so all the two
// share is the process's one transaction, which neither keeps longer than
// a few writes take.  A change waits for the other thread's transaction up
// to 2 s (LogoutTimeout) before it is refused with message 24, so none
// should be refused here, and certainly none sooner: the wait takes the
// turn as it ends, so the other thread cannot slip in before the LOGOUT.
TEST_F(RegisterThreadsTest, AChangeWaitsForTheOtherThreadsTransaction) {
  constexpr int kChanges = 100;
  ASSERT_EQ(Relate_ZUN->Open(0), Level::Benign);
  for (const char* name : {"First", "Second"}) {
    WriteZunRecord(MakeZunRecord(name, 40000), Access_ZUN->Buffer);
    ASSERT_EQ(Access_ZUN->Insert(), Level::Benign);
  }
  ASSERT_EQ(Relate_ZUN->Close(0), Level::Benign);

  struct Refusal {
    double waited = 0;
    uint16_t id = 0;
  };
  std::vector<std::vector<Refusal>> refusals(2);
  std::vector<int> accepted(2);
  std::vector<std::string> last_accepted(2);
  {
    Watchdog watchdog(kPatience);
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
      threads.emplace_back([&, t] {
        StartThreadDictionary();
        if (Relate_ZUN != nullptr && Relate_ZUN->Open(0) == Level::Benign) {
          for (int i = 0; i < kChanges; ++i) {
            if (datfile::GET(ZUN(), static_cast<uint32_t>(t + 1)) != 0) break;
            const std::string name = "Thread" + std::to_string(t + 1) + "-" + std::to_string(i);
            WriteZunRecord(MakeZunRecord(name, 40000 + i), Access_ZUN->Buffer);
            Access_ZUN->LastError = 0;
            const auto started = std::chrono::steady_clock::now();
            if (Relate_ZUN->Update(0) == Level::Benign) {
              ++accepted[t];
              last_accepted[t] = name;
            } else {
              refusals[t].push_back({SecondsSince(started), Access_ZUN->LastError});
            }
          }
          Relate_ZUN->Close(0);
        }
        EndThreadDictionary();
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  // Each thread changes its own record, and a transaction lasts
  // milliseconds: a change waits for the other's, it is not refused, but
  // for the rare wait beyond the two seconds allowed on a loaded machine.
  ASSERT_EQ(Relate_ZUN->Open(0), Level::Benign);
  for (int t = 0; t < 2; ++t) {
    EXPECT_EQ(accepted[t] + static_cast<int>(refusals[t].size()), kChanges);
    EXPECT_GE(accepted[t], kChanges - 3) << "thread " << t + 1;
    for (const Refusal& refusal : refusals[t]) {
      EXPECT_GE(refusal.waited, 1.9) << "thread " << t + 1 << ": message " << refusal.id
                                     << " after " << refusal.waited << " s";
    }
    // What stays is the thread's last accepted change.
    ASSERT_EQ(datfile::GET(ZUN(), static_cast<uint32_t>(t + 1)), 0);
    EXPECT_EQ(ZunName(ReadZunRecord(ZUN().record())), last_accepted[t]);
  }
  ASSERT_EQ(Relate_ZUN->Close(0), Level::Benign);
}

// Another station, through an instance of ZUN of its own, changes the
// record after the delete has checked it and just before the DELETE runs
// (from a file callback that hears the DELETE coming).  The record the
// caller saw is then no longer there, so the delete must take nothing and
// the other station's change must stay: the re-read is watched, and the
// driver's DELETE tests the watch as PUT does.
class ChangeBeforeDelete final : public framework::FileCallbackInterface {
 public:
  explicit ChangeBeforeDelete(datfile::DatFileInstance& other) : other_(other) {}
  void FunctionCalled(uint16_t code) override {
    if (code != framework::FileFunction::kDelete || changed) return;
    if (datfile::GET(other_, 1u) != 0) return;
    WriteZunRecord(MakeZunRecord("Changed", 40001), other_.record());
    changed = datfile::PUT(other_) == 0;
  }
  void FunctionDone(uint16_t /*code*/, int32_t /*error*/) override {}

  bool changed = false;

 private:
  datfile::DatFileInstance& other_;
};

TEST_F(RegisterThreadsTest, ADeleteNeverTakesAChangeMadeElsewhereAfterItsCheck) {
  ASSERT_EQ(Relate_ZUN->Open(0), Level::Benign);
  WriteZunRecord(MakeZunRecord("Seen", 40000), Access_ZUN->Buffer);
  ASSERT_EQ(Access_ZUN->Insert(), Level::Benign);
  ASSERT_EQ(datfile::GET(ZUN(), 1u), 0);

  datfile::DatFileInstance other(ZunDeclaration());
  ASSERT_EQ(datfile::SHARE(other), 0);
  ChangeBeforeDelete change(other);
  framework::RegisterFileCallback(ZUN(), &change);
  const uint8_t level = Relate_ZUN->Delete(0);
  framework::UnregisterFileCallback(ZUN(), &change);
  ASSERT_TRUE(change.changed);

  EXPECT_NE(level, Level::Benign);
  EXPECT_EQ(datfile::GET(other, 1u), 0) << "the other station's change was deleted";
  const ZUN_Record stored = ReadZunRecord(other.record());
  EXPECT_EQ(ZunName(stored), "Changed");
  EXPECT_EQ(datfile::RECORDS(other), 1u);
  EXPECT_EQ(datfile::CLOSE(other), 0);
  EXPECT_EQ(Relate_ZUN->Close(0), Level::Benign);
}

}  // namespace
}  // namespace zuna::app
