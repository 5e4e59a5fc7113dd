// LOGOUT, COMMIT, ROLLBACK and recovery, in the in-memory file system.  A
// crash is simulated by copying every file at a crash point (what a killed
// process leaves: its writes are in the files, nothing more happens) and
// opening the copies afresh.
#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "runtime/datfile/checker.h"
#include "runtime/datfile/logged_file.h"
#include "runtime/datfile/transaction.h"
#include "tests/support/status_matchers.h"
#include "tests/runtime/datfile/driver_test_util.h"

namespace zuna::datfile::driver_test {
namespace {

using Files = std::map<std::string, std::string>;

constexpr uint32_t kShared = kAccessReadWrite | kShareDenyNone;

class TransactionTest : public DriverFixture {
 protected:
  void SetUp() override {
    CreateThreePeople();
    before_ = Snapshot(fs_);
  }
  void TearDown() override { transaction::SetCrashHook(nullptr); }

  static Files Snapshot(testing::MemFileSystem& fs) {
    Files files;
    for (const std::string& path : fs.ListFiles()) files[path] = fs.Contents(path);
    return files;
  }

  // The register's three files and nothing else: no log, no transaction
  // file left over.
  static Files RegisterFiles(const Files& files) {
    Files kept;
    for (const char* name : {"/ZUN.DAT", "/ZUN.K01", "/ZUN.K02"}) {
      const auto it = files.find(name);
      if (it != files.end()) kept[name] = it->second;
    }
    return kept;
  }

  static std::vector<std::string> Leftovers(testing::MemFileSystem& fs) {
    std::vector<std::string> left;
    for (const std::string& path : fs.ListFiles()) {
      if (path.ends_with(".LOG") || path.ends_with(".TR$")) left.push_back(path);
    }
    return left;
  }

  std::unique_ptr<DatFileInstance> Station(testing::MemFileSystem& fs,
                                           uint32_t mode = kShared) {
    auto zun = std::make_unique<DatFileInstance>(testing::ZunDeclaration(), fs);
    zun->set_name("/ZUN");
    EXPECT_EQ(OPEN(*zun, mode), 0);
    return zun;
  }

  void ExpectClean(testing::MemFileSystem& fs) {
    CheckResult result;
    ASSERT_TRUE(CheckDataFile(fs, "/ZUN.DAT", CheckOptions{}, &result).ok());
    for (const CheckFault& fault : result.faults) ADD_FAILURE() << FormatFault(fault);
  }

  Files before_;
};

TEST_F(TransactionTest, AnAppendRolledBackCutsTheFilesBack) {
  auto zun = Station(fs_);
  ASSERT_EQ(LOGOUT(*zun), 0);
  ASSERT_EQ(AddZun(*zun, "Kuznetsov", 400), 0);
  EXPECT_EQ(RECORDS(*zun), 4u);
  EXPECT_FALSE(Leftovers(fs_).empty());
  ASSERT_EQ(ROLLBACK(*zun), 0);
  EXPECT_EQ(RECORDS(*zun), 3u);
  EXPECT_EQ(RegisterFiles(Snapshot(fs_)), RegisterFiles(before_));
  EXPECT_TRUE(Leftovers(fs_).empty());
  // The FILE goes on from the files as they are now.
  EXPECT_EQ(AddZun(*zun, "Kuznetsov", 400), 0);
  EXPECT_EQ(POINTER(*zun), 4u);
  ASSERT_EQ(CLOSE(*zun), 0);
  ExpectClean(fs_);
}

TEST_F(TransactionTest, APutRolledBackRestoresDataAndKeysByteForByte) {
  auto zun = Station(fs_);
  ASSERT_EQ(LOGOUT(*zun), 0);
  ASSERT_EQ(GET(*zun, 1u), 0);
  SetZun(*zun, "Zaitsev", 999);
  ASSERT_EQ(PUT(*zun), 0);
  ASSERT_EQ(GET(*zun, 2u), 0);
  ASSERT_EQ(DELETE(*zun), 0);
  ASSERT_EQ(ROLLBACK(*zun), 0);
  EXPECT_EQ(RegisterFiles(Snapshot(fs_)), RegisterFiles(before_));
  EXPECT_EQ(WalkKey(*zun, kByName), (std::vector<uint32_t>{1, 2, 3}));
}

TEST_F(TransactionTest, CommitKeepsTheChangesAndLeavesNoLog) {
  auto zun = Station(fs_, kAccessReadWrite | kShareDenyWrite);
  ASSERT_EQ(LOGOUT(*zun), 0);
  ASSERT_EQ(GET(*zun, 1u), 0);
  SetZun(*zun, "Zaitsev", 999);
  ASSERT_EQ(PUT(*zun), 0);
  ASSERT_EQ(COMMIT(*zun), 0);
  EXPECT_TRUE(Leftovers(fs_).empty());
  // Not logged any more: this change is not part of any transaction.
  ASSERT_EQ(AddZun(*zun, "Later", 5), 0);
  EXPECT_TRUE(Leftovers(fs_).empty());
  ASSERT_EQ(CLOSE(*zun), 0);
  auto again = Station(fs_);
  SetZun(*again, "Zaitsev", 0);
  EXPECT_EQ(GET(*again, kByName), 0);
  EXPECT_EQ(RECORDS(*again), 4u);
}

TEST_F(TransactionTest, OneTransactionCoversSeveralFilesOfTheProcess) {
  auto a = Station(fs_);
  auto b = Station(fs_);
  ASSERT_EQ(LOGOUT(*a), 0);
  ASSERT_EQ(LOGOUT(*b), 0);
  ASSERT_EQ(AddZun(*a, "FromA", 1), 0);
  ASSERT_EQ(AddZun(*b, "FromB", 2), 0);
  ASSERT_EQ(ROLLBACK(*a), 0);
  // b's change went with a's; b reads the files afresh.
  EXPECT_EQ(RECORDS(*b), 3u);
  EXPECT_EQ(RegisterFiles(Snapshot(fs_)), RegisterFiles(before_));
}

// Inside a transaction a FILE keeps its headers in memory from one
// operation to the next only while it alone has changed the data file:
// here two FILEs of one thread take turns adding, and each must see the
// other's records (no slot written twice, the keys holding every one).
TEST_F(TransactionTest, TwoFilesTakingTurnsInOneTransactionSeeEachOthersAdds) {
  auto a = Station(fs_);
  auto b = Station(fs_);
  ASSERT_EQ(LOGOUT(*a), 0);
  ASSERT_EQ(LOGOUT(*b), 0);
  const std::vector<std::pair<DatFileInstance*, const char*>> turns = {
      {a.get(), "A1"}, {a.get(), "A2"}, {b.get(), "B1"},
      {a.get(), "A3"}, {b.get(), "B2"}, {a.get(), "A4"}};
  uint32_t expected = 4;
  for (const auto& [zun, name] : turns) {
    SCOPED_TRACE(name);
    ASSERT_EQ(AddZun(*zun, name, 100), 0);
    EXPECT_EQ(POINTER(*zun), expected++);
    EXPECT_EQ(RECORDS(*zun), expected - 1);
  }
  ASSERT_EQ(COMMIT(*a), 0);
  ASSERT_EQ(CLOSE(*a), 0);
  ASSERT_EQ(CLOSE(*b), 0);
  ExpectClean(fs_);
  auto again = Station(fs_);
  for (const char* name : {"A1", "A2", "A3", "A4", "B1", "B2"}) {
    SetZun(*again, name, 0);
    EXPECT_EQ(GET(*again, kByName), 0) << name;
  }
}

// A FILE of the process outside the transaction adds to the data file
// the transaction changes: the transaction's FILE must see that record at
// its next add, not write over it from headers it kept.
TEST_F(TransactionTest, AFileOutsideTheTransactionAddsAndTheTransactionSeesIt) {
  for (const bool stream : {false, true}) {
    SCOPED_TRACE(stream ? "streamed" : "written through");
    testing::MemFileSystem fs;
    for (const auto& [path, bytes] : before_) fs.SetContents(path, bytes);
    auto a = Station(fs);
    auto b = Station(fs);
    ASSERT_EQ(LOGOUT(*a), 0);
    if (stream) ASSERT_EQ(STREAM(*a), 0);
    ASSERT_EQ(AddZun(*a, "InA1", 1), 0);
    ASSERT_EQ(AddZun(*b, "Outside", 2), 0);
    EXPECT_EQ(POINTER(*b), 5u);
    ASSERT_EQ(AddZun(*a, "InA2", 3), 0);
    EXPECT_EQ(POINTER(*a), 6u);
    ASSERT_EQ(FLUSH(*a), 0);
    ASSERT_EQ(COMMIT(*a), 0);
    ASSERT_EQ(CLOSE(*a), 0);
    ASSERT_EQ(CLOSE(*b), 0);
    ExpectClean(fs);
    auto again = Station(fs);
    EXPECT_EQ(RECORDS(*again), 6u);
    for (const char* name : {"InA1", "Outside", "InA2"}) {
      SetZun(*again, name, 0);
      EXPECT_EQ(GET(*again, kByName), 0) << name;
    }
  }
}

TEST_F(TransactionTest, ALogWithOnlyItsMarkerUndoesToNothing) {
  // A transaction that died right after its data file was registered.
  Files files = before_;
  const std::string tr_name = "/dead-0000-1.TR$";
  std::string marker = tr_name;
  marker.resize(transaction::kNameSize, '\0');
  marker += std::string("\0\0\0\0\x4f\0\0\0", 8);
  std::string directory(transaction::kDirectoryRecordSize, '\0');
  directory[0] = 1;
  const std::string data_name = "/ZUN.DAT";
  std::copy(data_name.begin(), data_name.end(), directory.begin() + 4);
  fs_.SetContents("/ZUN.LOG", marker);
  fs_.SetContents(tr_name, directory);
  auto zun = Station(fs_);
  EXPECT_EQ(RECORDS(*zun), 3u);
  EXPECT_TRUE(Leftovers(fs_).empty());
  EXPECT_EQ(RegisterFiles(Snapshot(fs_)), RegisterFiles(before_));
}

TEST_F(TransactionTest, ALogCutShortInItsMarkerIsRemoved) {
  // Its process died writing the marker: nothing it protects was written.
  fs_.SetContents("/ZUN.LOG", std::string("/dead-00", 8));
  auto zun = Station(fs_);
  EXPECT_EQ(RECORDS(*zun), 3u);
  EXPECT_TRUE(Leftovers(fs_).empty());
}

TEST_F(TransactionTest, ALogWhoseTransactionFileIsGoneWasCommitted) {
  auto zun = Station(fs_);
  ASSERT_EQ(LOGOUT(*zun), 0);
  ASSERT_EQ(AddZun(*zun, "Kept", 1), 0);
  const Files with_log = Snapshot(fs_);
  ASSERT_EQ(COMMIT(*zun), 0);
  ASSERT_EQ(CLOSE(*zun), 0);
  const Files after = RegisterFiles(Snapshot(fs_));
  // Put the log back, but not the transaction file.
  fs_.SetContents("/ZUN.LOG", with_log.at("/ZUN.LOG"));
  auto again = Station(fs_);
  EXPECT_EQ(RECORDS(*again), 4u);
  EXPECT_TRUE(Leftovers(fs_).empty());
  ASSERT_EQ(CLOSE(*again), 0);
  EXPECT_EQ(RegisterFiles(Snapshot(fs_)), after);
}

TEST_F(TransactionTest, AnotherThreadWaitsForTheOpenTransaction) {
  auto a = Station(fs_);
  ASSERT_EQ(LOGOUT(*a), 0);
  int32_t refused = -1;
  double waited = 0;
  std::thread([&] {
    auto b = Station(fs_);
    const auto start = std::chrono::steady_clock::now();
    refused = LOGOUT(*b);
    waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    (void)CLOSE(*b);
  }).join();
  EXPECT_EQ(refused, 56);
  EXPECT_GE(waited, 1.9);
  ASSERT_EQ(COMMIT(*a), 0);
  int32_t accepted = -1;
  std::thread([&] {
    auto b = Station(fs_);
    accepted = LOGOUT(*b);
    (void)ROLLBACK(*b);
    (void)CLOSE(*b);
  }).join();
  EXPECT_EQ(accepted, 0);
}

// Two threads waiting for the same transaction: when it ends, one takes
// the turn and the other goes on waiting for it, instead of being refused.
TEST_F(TransactionTest, ThreadsWaitingForATransactionTakeTurns) {
  auto a = Station(fs_);
  ASSERT_EQ(LOGOUT(*a), 0);
  std::atomic<int> started{0};
  int32_t results[2] = {-1, -1};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i) {
    waiters.emplace_back([&, i] {
      auto b = Station(fs_);
      ++started;
      results[i] = LOGOUT(*b);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (results[i] == 0) results[i] = COMMIT(*b);
      (void)CLOSE(*b);
    });
  }
  while (started < 2) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_EQ(COMMIT(*a), 0);
  for (std::thread& waiter : waiters) waiter.join();
  EXPECT_EQ(results[0], 0);
  EXPECT_EQ(results[1], 0);
}

// The file as its LoggedFile shows it: size and bytes.
std::string ReadWhole(File& file) {
  uint64_t size = 0;
  EXPECT_OK(file.Size(&size));
  std::string bytes(size, '?');
  size_t read = 0;
  EXPECT_OK(file.ReadAt(0, bytes, &read));
  bytes.resize(read);
  return bytes;
}

// A write that starts inside a file and runs past its end: the log keeps
// the bytes it overwrites and the old end, so ROLLBACK restores the one
// and cuts the file back to the other.  So does a shrinking Truncate.
// Writes are gathered: the file shows them at once, the disk once they
// are made (a Truncate or Sync makes them).
TEST_F(TransactionTest, WritesPastTheEndAndCutsAreUndoneToo) {
  fs_.SetContents("/PLAIN.DAT", "0123456789");
  auto binding = std::make_shared<LogBinding>();
  binding->data_path = "/PLAIN.DAT";
  LoggingFileSystem logged(fs_, binding);
  std::unique_ptr<File> file;
  OpenOptions options;
  options.write = true;
  ASSERT_OK(logged.Open("/PLAIN.DAT", options, &file));
  ASSERT_OK(transaction::Logout(fs_, binding));
  ASSERT_OK(file->WriteAt(6, std::string("abcdefgh")));
  EXPECT_EQ(ReadWhole(*file), "012345abcdefgh");
  EXPECT_EQ(fs_.Contents("/PLAIN.DAT"), "0123456789");
  ASSERT_OK(file->Truncate(3));
  EXPECT_EQ(fs_.Contents("/PLAIN.DAT"), "012");
  ASSERT_OK(file->WriteAt(3, std::string("XY")));
  ASSERT_OK(file->Sync());
  EXPECT_EQ(fs_.Contents("/PLAIN.DAT"), "012XY");
  ASSERT_OK(transaction::Rollback(binding));
  EXPECT_EQ(fs_.Contents("/PLAIN.DAT"), "0123456789");
  EXPECT_TRUE(Leftovers(fs_).empty());
}

// Gathered writes as a reader of the file sees them, table-driven: each
// row writes some ranges (in order) over "0123456789" and reads one
// range back before anything is made.  Overlapping and touching writes
// merge, later ones win, and a write beyond the end leaves a gap that
// reads as zeros.  A ROLLBACK then finds the disk untouched.
TEST_F(TransactionTest, GatheredWritesReadBackAsIfMade) {
  struct Row {
    const char* name;
    std::vector<std::pair<uint64_t, std::string>> writes;
    uint64_t read_at;
    size_t read_length;
    std::string expected;  // what the read gives (its length: bytes read)
  };
  const std::vector<Row> rows = {
      {"inside", {{2, "ab"}}, 0, 10, "01ab456789"},
      {"overlapping, later wins", {{2, "abcd"}, {4, "XY"}}, 1, 6, "1abXY6"},
      {"touching", {{2, "ab"}, {4, "cd"}, {0, "Z"}}, 0, 7, "Z1abcd6"},
      {"past the end", {{8, "abcd"}}, 6, 10, "67abcd"},
      {"a gap", {{12, "ab"}}, 9, 10, std::string("9\0\0ab", 5)},
      {"read before", {{12, "ab"}}, 0, 3, "012"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testing::MemFileSystem fs;
    fs.SetContents("/PLAIN.DAT", "0123456789");
    auto binding = std::make_shared<LogBinding>();
    binding->data_path = "/PLAIN.DAT";
    LoggingFileSystem logged(fs, binding);
    std::unique_ptr<File> file;
    OpenOptions options;
    options.write = true;
    ASSERT_OK(logged.Open("/PLAIN.DAT", options, &file));
    ASSERT_OK(transaction::Logout(fs, binding));
    for (const auto& [offset, bytes] : row.writes) ASSERT_OK(file->WriteAt(offset, bytes));
    std::string out(row.read_length, '?');
    size_t read = 0;
    ASSERT_OK(file->ReadAt(row.read_at, out, &read));
    out.resize(read);
    EXPECT_EQ(out, row.expected);
    EXPECT_EQ(fs.Contents("/PLAIN.DAT"), "0123456789");
    ASSERT_OK(transaction::Rollback(binding));
    EXPECT_EQ(fs.Contents("/PLAIN.DAT"), "0123456789");
  }
}

// Every crash point of a transaction that changes several records (both
// keys move), commits, and of one that rolls back: the files a recovering
// open leaves are exactly those before the transaction or after its
// commit, and no log remains.
std::vector<Files>* crash_snapshots = nullptr;
testing::MemFileSystem* crash_fs = nullptr;

TEST_F(TransactionTest, RecoveryAfterACrashAtAnyPointLeavesBeforeOrAfter) {
  for (const auto& [commit, stream] :
       {std::pair{true, false}, {false, false}, {true, true}, {false, true}}) {
    SCOPED_TRACE(commit ? "commit" : "rollback");
    // Under STREAM the adds leave their key entries for later.
    SCOPED_TRACE(stream ? "streamed" : "written through");
    testing::MemFileSystem fs;
    for (const auto& [path, bytes] : before_) fs.SetContents(path, bytes);
    std::vector<Files> snapshots;
    crash_snapshots = &snapshots;
    crash_fs = &fs;
    transaction::SetCrashHook([](transaction::CrashPoint) {
      crash_snapshots->push_back(Snapshot(*crash_fs));
    });
    auto zun = Station(fs);
    ASSERT_EQ(LOGOUT(*zun), 0);
    if (stream) {
      ASSERT_EQ(STREAM(*zun), 0);
      for (const char* name : {"Zhukov", "Belov", "Markov"}) {
        ASSERT_EQ(AddZun(*zun, name, 70), 0);
      }
    }
    ASSERT_EQ(GET(*zun, 1u), 0);
    SetZun(*zun, "Yakovlev", 50);
    ASSERT_EQ(PUT(*zun), 0);
    ASSERT_EQ(AddZun(*zun, "Abramov", 150), 0);
    ASSERT_EQ(GET(*zun, 3u), 0);
    ASSERT_EQ(DELETE(*zun), 0);
    ASSERT_EQ(commit ? COMMIT(*zun) : ROLLBACK(*zun), 0);
    transaction::SetCrashHook(nullptr);
    ASSERT_EQ(CLOSE(*zun), 0);
    const Files after = RegisterFiles(Snapshot(fs));
    const Files before = RegisterFiles(before_);
    // A batch per write-through operation: its log records, each write.
    // Streamed, the writes wait for COMMIT: a rollback leaves nothing to
    // undo on disk.
    if (commit || !stream) ASSERT_GT(snapshots.size(), 8u);
    for (size_t i = 0; i < snapshots.size(); ++i) {
      SCOPED_TRACE("crash point " + std::to_string(i));
      testing::MemFileSystem recovered;
      for (const auto& [path, bytes] : snapshots[i]) recovered.SetContents(path, bytes);
      auto station = Station(recovered);
      ASSERT_EQ(CLOSE(*station), 0);
      const Files now = RegisterFiles(Snapshot(recovered));
      EXPECT_TRUE(now == before || (commit && now == after));
      EXPECT_TRUE(Leftovers(recovered).empty());
      ExpectClean(recovered);
    }
  }
}

// The file system as a station opening the data file at the wrong moment
// leaves it: a new log, made and not yet held, is taken for the log of a
// process that died before its marker and removed -- once.
class LogRemovedAsMade final : public FileSystem {
 public:
  explicit LogRemovedAsMade(FileSystem& base) : base_(base) {}
  Status Open(const std::string& path, const OpenOptions& options,
              std::unique_ptr<File>* file) override {
    ZUNA_RETURN_IF_ERROR(base_.Open(path, options, file));
    if (options.create && path.ends_with(".LOG") && !removed_) {
      removed_ = true;
      (void)base_.Remove(path);
    }
    return Status::OK();
  }
  Status CreateTemp(const std::string& prefix, std::unique_ptr<File>* file) override {
    return base_.CreateTemp(prefix, file);
  }
  Status Remove(const std::string& path) override { return base_.Remove(path); }
  Status Rename(const std::string& from, const std::string& to) override {
    return base_.Rename(from, to);
  }
  bool Exists(const std::string& path) override { return base_.Exists(path); }
  Status SyncDirectory(const std::string& directory) override {
    return base_.SyncDirectory(directory);
  }
  Status ResolveName(const std::string& path, std::string* resolved) override {
    return base_.ResolveName(path, resolved);
  }
  Status ProbeUnused(const std::string& path) override { return base_.ProbeUnused(path); }
  bool LocksAreHostLocal(const std::string& path, std::string* reason) override {
    return base_.LocksAreHostLocal(path, reason);
  }
  bool removed() const { return removed_; }

 private:
  FileSystem& base_;
  bool removed_ = false;
};

// Other stations wait for a transaction only while its log is there under
// its name: a log removed as soon as it was made is made again.
TEST_F(TransactionTest, ALogRemovedAsSoonAsMadeIsMadeAgain) {
  LogRemovedAsMade fs(fs_);
  auto zun = std::make_unique<DatFileInstance>(testing::ZunDeclaration(), fs);
  zun->set_name("/ZUN");
  ASSERT_EQ(OPEN(*zun, kShared), 0);
  ASSERT_EQ(LOGOUT(*zun), 0);
  ASSERT_EQ(AddZun(*zun, "Kuznetsov", 400), 0);
  EXPECT_TRUE(fs.removed());
  EXPECT_TRUE(fs_.Exists("/ZUN.LOG")) << "the transaction's log has no name";
  ASSERT_EQ(COMMIT(*zun), 0);
  EXPECT_TRUE(Leftovers(fs_).empty());
  EXPECT_EQ(RECORDS(*zun), 4u);
  ASSERT_EQ(CLOSE(*zun), 0);
  ExpectClean(fs_);
}

}  // namespace
}  // namespace zuna::datfile::driver_test
