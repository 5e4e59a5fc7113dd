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
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/globals.h"
#include "app/zun_dictionary.h"
#include "app/zunabc.h"
#include "app/zunabc0.h"
#include "framework/data/error_table.h"
#include "framework/data/file_callbacks.h"
#include "framework/data/scripted_host.h"
#include "runtime/datfile/statements.h"
#include "runtime/values/code_page.h"
#include "runtime/values/error_state.h"
#include "runtime/values/locale.h"
#include "runtime/values/runtime_messages.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace zuna::app {
namespace {

namespace Level = framework::Level;
namespace Msg = framework::Msg;
using values::W;

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
  std::ifstream in(std::string(ZUNA_BIN_DIR) + "/Zuna.ENV", std::ios::binary);
  if (!in) return false;
  std::stringstream content;
  content << in.rdbuf();
  const values::LocaleTables shipped =
      values::LoadLocale(values::ReadRegionalSettings(), content.str());
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

// The surnames names start with.  Cyrillic ones go through the file's OEM
// conversion and the shipped case and order tables; Latin ones sort and
// fold alike under any tables.
std::vector<std::string> Surnames(bool cyrillic) {
  if (!cyrillic) return {"Petrov", "Ivanova", "Smirnov", "Kuznetsov", "Popova"};
  return {W("Петров"), W("Иванова"), W("Смирнов"), W("Кузнецов"),
          W("Попова"), W("Ёлкин"),   W("лебедева"), W("СОКОЛОВ")};
}

// What one thread did.
struct Tally {
  uint64_t inserts = 0;
  uint64_t updates = 0;
  uint64_t deletes = 0;
  std::map<uint16_t, uint64_t> refused;  // by the message id shown
  uint64_t nothing_read = 0;  // no record found to change or delete
  std::vector<std::string> written;   // inserted, or given by a change
  std::vector<std::string> taken;     // replaced by a change, or deleted
  std::vector<std::string> unexpected;
  // How long each change refused with message 24 waited for the
  // transaction.
  std::vector<double> busy_waits;
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One thread's random work on the register, through the thread's own
// managers; Relate_ZUN is open while it runs.
class RegisterChurn {
 public:
  RegisterChurn(std::string tag, uint32_t seed, std::vector<std::string> surnames)
      : tag_(std::move(tag)), random_(seed), surnames_(std::move(surnames)) {}

  void Run(int operations) {
    for (int i = 0; i < operations; ++i) {
      const uint32_t dice = Uniform(0, 99);
      if (dice < 40) {
        Insert();
      } else if (!ReadSome()) {
        ++tally_.nothing_read;
        Insert();
      } else if (dice < 75) {
        Update();
      } else {
        Delete();
      }
    }
  }

  const Tally& tally() const { return tally_; }

 private:
  static constexpr int kPicks = 20;

  uint32_t Uniform(uint32_t low, uint32_t high) {
    return std::uniform_int_distribution<uint32_t>(low, high)(random_);
  }
  const std::string& Surname() { return surnames_[Uniform(0, surnames_.size() - 1)]; }
  std::string NextName() {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "-%05u", ++sequence_);
    return Surname() + " " + tag_ + suffix;
  }
  int32_t RandomDate() { return static_cast<int32_t>(Uniform(20000, 80000)); }

  void Unexpected(std::string what) {
    what += " (thread " + tag_ + ", ERRORCODE " +
            std::to_string(values::ERRORCODE()) + ", LastError " +
            std::to_string(Access_ZUN->LastError) + ")";
    tally_.unexpected.push_back(std::move(what));
  }

  void Insert() {
    const std::string name = NextName();
    WriteZunRecord(MakeZunRecord(name, RandomDate(), static_cast<int32_t>(Uniform(0, 1000000))),
                   Access_ZUN->Buffer);
    const uint8_t level = Access_ZUN->Insert();
    if (level != Level::Benign) {
      Unexpected("Insert of \"" + name + "\": level " + std::to_string(level));
      return;
    }
    ++tally_.inserts;
    tally_.written.push_back(name);
  }

  // Makes some record current, read under WATCH, and notes its name.
  bool ReadSome() {
    for (int pick = 0; pick < kPicks; ++pick) {
      const bool read = Uniform(0, 1) == 0 ? ReadByNumber() : ReadByName();
      if (read) {
        const ZUN_Record record = ReadZunRecord(Access_ZUN->Buffer);
        seen_ = std::string(ZunName(record));
        return true;
      }
    }
    return false;
  }

  // GET of a record number from 1 to a little past the highest known, so
  // that records the other thread added are found too.
  bool ReadByNumber() {
    const uint32_t records = datfile::RECORDS(ZUN());
    if (values::ERRORCODE() == 0) highest_ = std::max(highest_, records);
    const uint32_t record_no = Uniform(1, highest_ + 4);
    if (datfile::WATCH(ZUN()) != 0) {
      Unexpected("WATCH");
      return false;
    }
    const int32_t code = datfile::GET(ZUN(), record_no);
    if (code == 0) {
      highest_ = std::max(highest_, record_no);
      return true;
    }
    // 35: a deleted slot or one past the end.
    if (code != 35) Unexpected("GET " + std::to_string(record_no));
    return false;
  }

  // The first record at or after a surname in the name key, or a few after
  // it, read through the file manager.
  bool ReadByName() {
    WriteZunRecord(MakeZunRecord(Surname(), 0), Access_ZUN->Buffer);
    if (datfile::SET(ZUN(), kByName) != 0) {
      Unexpected("SET by name");
      return false;
    }
    const uint32_t steps = Uniform(1, 3);
    for (uint32_t step = 0; step < steps; ++step) {
      if (datfile::WATCH(ZUN()) != 0) {
        Unexpected("WATCH");
        return false;
      }
      if (Access_ZUN->TryNext() != Level::Benign) {
        if (!Access_ZUN->GetEOF()) Unexpected("NEXT by name");
        return false;
      }
    }
    return true;
  }

  void Update() {
    const ZUN_Record old = ReadZunRecord(Access_ZUN->Buffer);
    const std::string name = NextName();
    WriteZunRecord(MakeZunRecord(name, RandomDate(), old.DATA1), Access_ZUN->Buffer);
    Access_ZUN->LastError = 0;
    const auto started = std::chrono::steady_clock::now();
    const uint8_t level = Relate_ZUN->Update(0);
    if (Access_ZUN->LastError == Msg::TransactionFailed) {
      tally_.busy_waits.push_back(SecondsSince(started));
    }
    if (level == Level::Benign) {
      ++tally_.updates;
      tally_.taken.push_back(seen_);
      tally_.written.push_back(name);
      return;
    }
    Refused("Update of \"" + seen_ + "\"", level);
  }

  void Delete() {
    Access_ZUN->LastError = 0;
    const uint8_t level = Relate_ZUN->Delete(0);
    if (level == Level::Benign) {
      ++tally_.deletes;
      tally_.taken.push_back(seen_);
      return;
    }
    Refused("Delete of \"" + seen_ + "\"", level);
  }

  // A change or delete that did not happen: one of the refusals another
  // thread's work may cause, or a fault.
  void Refused(const std::string& what, uint8_t level) {
    framework::ErrorStatusGroup status;
    GlobalErrors.GetAllStatusVariables(status);
    const uint16_t id = Access_ZUN->LastError;
    const bool gone = status.SaveErrorCode == 33 || status.SaveErrorCode == 35;
    const bool expected = id == Msg::RecordChangedElsewhere ||
                          id == Msg::RecordChangedShown ||
                          id == Msg::RecordReadFailed ||
                          id == Msg::TransactionFailed ||
                          (id == Msg::UpdateFailed && gone);
    if (expected) {
      ++tally_.refused[id];
    } else {
      Unexpected(what + ": level " + std::to_string(level) + ", message " +
                 std::to_string(id) + ", captured error " +
                 std::to_string(status.SaveErrorCode));
    }
  }

  std::string tag_;
  std::mt19937 random_;
  std::vector<std::string> surnames_;
  uint32_t sequence_ = 0;
  uint32_t highest_ = 0;
  std::string seen_;  // the name of the record read last
  Tally tally_;
};

// Which refusal a box shows: the message id, or 0 for any other box.
uint16_t RefusalShown(const framework::MessageBoxRequest& box) {
  for (uint16_t id : {Msg::RecordChangedElsewhere, Msg::RecordChangedShown,
                      Msg::RecordReadFailed, Msg::TransactionFailed,
                      Msg::UpdateFailed, Msg::DeleteRetry}) {
    framework::ErrorEntryGroup entry;
    if (GlobalErrors.GetErrorEntry(id, entry) != Level::Benign) continue;
    if (box.caption != entry.Title) continue;
    switch (id) {
      case Msg::RecordReadFailed:
      case Msg::TransactionFailed:
        return id;  // titles of their own; the texts carry the error
      case Msg::UpdateFailed:
        // Only as the record being gone.
        if (box.text.find(values::RuntimeMessage(33)) != std::string::npos ||
            box.text.find(values::RuntimeMessage(35)) != std::string::npos) {
          return id;
        }
        break;
      default:
        if (box.text == entry.Message) return id;
    }
  }
  return 0;
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
  const std::vector<std::string> surnames = Surnames(cyrillic_);
  std::cout << "threads T1, T2: seeds " << seed_base * 10 + 1 << ", " << seed_base * 10 + 2
            << " (--gtest_random_seed=" << seed_base << ")\n";

  const auto start = std::chrono::steady_clock::now();
  std::vector<Tally> tallies(2);
  std::vector<int32_t> thread_numbers(2);
  {
    Watchdog watchdog(kPatience);
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
      threads.emplace_back([&, t] {
        StartThreadDictionary();
        thread_numbers[t] = framework::CurrentThreadNumber();
        if (Relate_ZUN == nullptr) {
          tallies[t].unexpected.push_back("no Relate_ZUN on the thread");
        } else if (const uint8_t level = Relate_ZUN->Open(0); level != Level::Benign) {
          tallies[t].unexpected.push_back("Open: level " + std::to_string(level));
        } else {
          RegisterChurn churn("T" + std::to_string(t + 1), seed_base * 10 + t + 1,
                              surnames);
          churn.Run(kOperationsPerThread);
          tallies[t] = churn.tally();
          if (const uint8_t closed = Relate_ZUN->Close(0); closed != Level::Benign) {
            tallies[t].unexpected.push_back("Close: level " + std::to_string(closed));
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

  Tally total;
  for (const Tally& tally : tallies) {
    total.inserts += tally.inserts;
    total.updates += tally.updates;
    total.deletes += tally.deletes;
    total.nothing_read += tally.nothing_read;
    for (const auto& [id, count] : tally.refused) total.refused[id] += count;
    total.written.insert(total.written.end(), tally.written.begin(), tally.written.end());
    total.taken.insert(total.taken.end(), tally.taken.begin(), tally.taken.end());
    total.busy_waits.insert(total.busy_waits.end(), tally.busy_waits.begin(),
                            tally.busy_waits.end());
    for (const std::string& what : tally.unexpected) ADD_FAILURE() << what;
  }
  std::cout << "2 threads x " << kOperationsPerThread << " operations in " << elapsed
            << " s: inserts " << total.inserts << ", updates " << total.updates
            << ", deletes " << total.deletes << ", nothing to read " << total.nothing_read
            << "; refused";
  for (const auto& [id, count] : total.refused) std::cout << ' ' << id << ':' << count;
  if (!total.busy_waits.empty()) {
    std::cout << "; changes refused as the transaction was busy waited at most "
              << *std::max_element(total.busy_waits.begin(), total.busy_waits.end())
              << " s";
  }
  std::cout << std::endl;

  // What was shown: refusals only, each as often as the threads counted it;
  // a delete that could not start its transaction asked to try again.
  EXPECT_TRUE(host_.Assertions().empty()) << host_.Assertions().front();
  EXPECT_TRUE(host_.Stops().empty());
  EXPECT_TRUE(host_.HistoryWindows().empty());
  std::map<uint16_t, uint64_t> shown;
  for (const framework::ScriptedHost::ShownBox& box : host_.Messages()) {
    const uint16_t id = RefusalShown(box.request);
    EXPECT_NE(id, 0) << "unexpected box on thread " << box.thread << ": ["
                     << values::Cp1251ToUtf8(box.request.caption) << "] "
                     << values::Cp1251ToUtf8(box.request.text);
    ++shown[id];
  }
  for (uint16_t id : {Msg::RecordChangedElsewhere, Msg::RecordChangedShown,
                      Msg::RecordReadFailed, Msg::UpdateFailed}) {
    EXPECT_EQ(shown[id], total.refused[id]) << "message " << id;
  }
  EXPECT_EQ(shown[Msg::TransactionFailed],
            total.refused[Msg::TransactionFailed] + shown[Msg::DeleteRetry]);

  // The names accepted changes left: each taken away at most once, and
  // only after it was written.
  std::multiset<std::string> expected(total.written.begin(), total.written.end());
  ASSERT_EQ(expected.size(), std::set<std::string>(total.written.begin(),
                                                   total.written.end()).size())
      << "a name was written twice";
  int faults = 0;
  for (const std::string& name : total.taken) {
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
  EXPECT_EQ(int64_t{records}, int64_t(total.inserts) - int64_t(total.deletes));
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
  for (int t = 0; t < 2; ++t) {
    EXPECT_EQ(accepted[t] + static_cast<int>(refusals[t].size()), kChanges);
    for (const Refusal& refusal : refusals[t]) {
      EXPECT_GE(refusal.waited, 1.9) << "thread " << t + 1 << ": message " << refusal.id
                                     << " after " << refusal.waited << " s";
    }
  }
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
