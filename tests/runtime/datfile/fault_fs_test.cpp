#include "tests/support/fault_fs.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/mem_fs.h"
#include "tests/support/status_matchers.h"

namespace zuna::testing {
namespace {

namespace Err = datfile::Err;
using datfile::File;
using datfile::OpenOptions;
using datfile::Status;

std::span<const char> Bytes(std::string_view text) {
  return {text.data(), text.size()};
}

OpenOptions CreateNew() {
  return OpenOptions{.write = true, .create = true, .exclusive = true};
}

class FaultFileSystemTest : public ::testing::Test {
 protected:
  // Opens `name` for writing through the fault file system.
  std::unique_ptr<File> OpenForWrite(const std::string& name) {
    std::unique_ptr<File> file;
    EXPECT_OK(fs_.Open(name, OpenOptions{.write = true, .create = true}, &file));
    return file;
  }

  // The codes of `count` one-byte writes at offsets 0, 1, 2 ...
  std::vector<int32_t> WriteCodes(File& file, int count) {
    std::vector<int32_t> codes;
    for (int i = 0; i < count; ++i) {
      codes.push_back(file.WriteAt(static_cast<uint64_t>(i), Bytes("x")).code());
    }
    return codes;
  }

  MemFileSystem mem_;
  FaultFileSystem fs_{mem_};
};

TEST_F(FaultFileSystemTest, PassesEverythingThroughWhenNothingIsArmed) {
  std::unique_ptr<File> file = OpenForWrite("ZUN.DAT");
  ASSERT_OK(file->WriteAt(0, Bytes("abc")));
  ASSERT_OK(file->Sync());
  ASSERT_OK(file->Truncate(2));
  uint64_t size = 0;
  ASSERT_OK(file->Size(&size));
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(mem_.Contents("ZUN.DAT"), "ab");
  EXPECT_EQ(file->path(), "ZUN.DAT");
  EXPECT_NE(file->handle(), datfile::kNoFileHandle);
  ASSERT_OK(fs_.Rename("ZUN.DAT", "ZUN.OLD"));
  EXPECT_TRUE(fs_.Exists("ZUN.OLD"));
  std::string resolved;
  ASSERT_OK(fs_.ResolveName("zun.old", &resolved));
  EXPECT_EQ(resolved, "ZUN.OLD");
  EXPECT_EQ(fs_.FaultsFired(), 0u);
  EXPECT_EQ(fs_.Calls(FaultKind::kWrite), 1u);
  EXPECT_EQ(fs_.Calls(FaultKind::kOpen), 1u);
}

TEST_F(FaultFileSystemTest, TransientFaultFiresOnceOnTheNthCall) {
  std::unique_ptr<File> file = OpenForWrite("ZUN.DAT");
  fs_.FailNth(FaultKind::kWrite, 3, FaultMode::kTransient, Err::kAccessDenied);
  EXPECT_EQ(WriteCodes(*file, 6), (std::vector<int32_t>{0, 0, 5, 0, 0, 0}));
  EXPECT_EQ(fs_.FaultsFired(), 1u);
  EXPECT_EQ(fs_.Calls(FaultKind::kWrite), 6u);
  EXPECT_EQ(mem_.Contents("ZUN.DAT"), std::string("xx\0xxx", 6));  // a hole
  EXPECT_EQ(mem_.Counters("ZUN.DAT").writes, 5u);  // the failed one never arrived
}

TEST_F(FaultFileSystemTest, PersistentFaultFiresFromTheNthCallOn) {
  std::unique_ptr<File> file = OpenForWrite("ZUN.DAT");
  fs_.FailNth(FaultKind::kWrite, 2, FaultMode::kPersistent, 48);
  EXPECT_EQ(WriteCodes(*file, 4), (std::vector<int32_t>{0, 48, 48, 48}));
  EXPECT_EQ(fs_.FaultsFired(), 3u);
  fs_.ClearFaults();
  EXPECT_EQ(WriteCodes(*file, 2), (std::vector<int32_t>{0, 0}));
}

TEST_F(FaultFileSystemTest, CallsAreCountedFromArming) {
  std::unique_ptr<File> file = OpenForWrite("ZUN.DAT");
  WriteCodes(*file, 5);
  fs_.FailNth(FaultKind::kWrite, 1, FaultMode::kTransient);
  EXPECT_EQ(WriteCodes(*file, 2), (std::vector<int32_t>{5, 0}));
  EXPECT_EQ(fs_.Calls(FaultKind::kWrite), 7u);
  fs_.ResetCounters();
  EXPECT_EQ(fs_.Calls(FaultKind::kWrite), 0u);
  EXPECT_EQ(fs_.FaultsFired(), 0u);
}

TEST_F(FaultFileSystemTest, FaultDetailNamesTheFile) {
  std::unique_ptr<File> file = OpenForWrite("ZUN.DAT");
  Fault fault;
  fault.kind = FaultKind::kSync;
  fault.detail = "Remote I/O error";
  fs_.Inject(fault);
  Status status = file->Sync();
  EXPECT_EQ(status.ToString(), "5 (ZUN.DAT: Remote I/O error)");
}

TEST_F(FaultFileSystemTest, EveryKindCanFail) {
  mem_.SetContents("ZUN.DAT", "data");
  mem_.SetContents("ZUN.K01", "key");
  std::unique_ptr<File> file = OpenForWrite("ZUN.DAT");
  char buffer[4];
  size_t got = 0;
  uint64_t size = 0;
  std::unique_ptr<File> other;
  struct Case {
    FaultKind kind;
    std::function<Status()> call;
  };
  const Case cases[] = {
      {FaultKind::kOpen, [&] { return fs_.Open("ZUN.DAT", {}, &other); }},
      {FaultKind::kOpen, [&] { return fs_.CreateTemp("TMP", &other); }},
      {FaultKind::kRead, [&] { return file->ReadAt(0, buffer, &got); }},
      {FaultKind::kWrite, [&] { return file->WriteAt(0, Bytes("D")); }},
      {FaultKind::kSync, [&] { return file->Sync(); }},
      {FaultKind::kTruncate, [&] { return file->Truncate(0); }},
      {FaultKind::kSize, [&] { return file->Size(&size); }},
      {FaultKind::kRemove, [&] { return fs_.Remove("ZUN.K01"); }},
      {FaultKind::kRename, [&] { return fs_.Rename("ZUN.K01", "ZUN.K02"); }},
      {FaultKind::kSyncDirectory, [&] { return fs_.SyncDirectory("/"); }},
      {FaultKind::kLock,
       [&] { return file->Lock(0, 1, datfile::LockKind::kExclusive); }},
      {FaultKind::kLock, [&] { return file->Unlock(0, 1); }},
      {FaultKind::kProbe, [&] { return file->ProbeSoleOpener(); }},
      {FaultKind::kProbe, [&] { return fs_.ProbeUnused("ZUN.K01"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    fs_.FailNth(c.kind, 1, FaultMode::kTransient, Err::kTooManyFiles);
    EXPECT_STATUS_CODE(c.call(), Err::kTooManyFiles);
    EXPECT_OK(c.call());  // transient: quiet again
    fs_.ClearFaults();
    // Put back what the successful call changed.
    mem_.SetContents("ZUN.DAT", "data");
    mem_.SetContents("ZUN.K01", "key");
    (void)mem_.Remove("ZUN.K02");
  }
  EXPECT_EQ(fs_.FaultsFired(), std::size(cases));
}

TEST_F(FaultFileSystemTest, AFailedCallDoesNotReachTheFileSystem) {
  mem_.SetContents("ZUN.DAT", "data");
  fs_.FailNth(FaultKind::kRename, 1, FaultMode::kTransient);
  EXPECT_FALSE(fs_.Rename("ZUN.DAT", "ZUN.OLD").ok());
  EXPECT_TRUE(mem_.Exists("ZUN.DAT"));
  fs_.FailNth(FaultKind::kRemove, 1, FaultMode::kTransient);
  EXPECT_FALSE(fs_.Remove("ZUN.DAT").ok());
  EXPECT_TRUE(mem_.Exists("ZUN.DAT"));
  fs_.FailNth(FaultKind::kOpen, 1, FaultMode::kTransient);
  std::unique_ptr<File> file;
  EXPECT_FALSE(fs_.Open("NEW.DAT", CreateNew(), &file).ok());
  EXPECT_EQ(file, nullptr);
  EXPECT_FALSE(mem_.Exists("NEW.DAT"));
  EXPECT_EQ(mem_.OpenFileCount(), 0u);
}

// Another station's lock, played by a fault: the Nth lock is refused with
// 5 while the locks of the file system underneath stay as they were.
TEST_F(FaultFileSystemTest, LockFaultsPlayConflictsAndLockingFailures) {
  std::unique_ptr<File> file = OpenForWrite("ZUN.DAT");
  fs_.FailNth(FaultKind::kLock, 2, FaultMode::kTransient, Err::kAccessDenied);
  EXPECT_OK(file->Lock(0, 1, datfile::LockKind::kExclusive));
  EXPECT_STATUS_CODE(file->Lock(1, 1, datfile::LockKind::kExclusive),
                     Err::kAccessDenied);
  EXPECT_EQ(mem_.HeldLockCount("ZUN.DAT"), 1u);
  fs_.FailNth(FaultKind::kLock, 1, FaultMode::kTransient, Err::kInvalidHandle);
  Status failed = file->Unlock(0, 1);
  EXPECT_TRUE(datfile::IsLockingFailure(failed)) << failed.ToString();
  EXPECT_EQ(fs_.Calls(FaultKind::kLock), 3u);
  EXPECT_OK(file->Unlock(0, 1));
  EXPECT_EQ(mem_.HeldLockCount("ZUN.DAT"), 0u);

  // Probes pass through: the real answer when nothing is armed.
  std::unique_ptr<File> other;
  ASSERT_OK(fs_.Open("ZUN.DAT", OpenOptions{}, &other));
  EXPECT_STATUS_CODE(file->ProbeSoleOpener(), Err::kAccessDenied);
  EXPECT_STATUS_CODE(fs_.ProbeUnused("ZUN.DAT"), Err::kAccessDenied);
  mem_.set_host_local_locks("mounted with nolock");
  std::string reason;
  EXPECT_TRUE(fs_.LocksAreHostLocal("ZUN.DAT", &reason));
  EXPECT_EQ(reason, "mounted with nolock");
}

TEST_F(FaultFileSystemTest, PathFilterCountsOnlyMatchingFiles) {
  std::unique_ptr<File> data = OpenForWrite("ZUN.DAT");
  std::unique_ptr<File> key = OpenForWrite("ZUN.K01");
  Fault fault;
  fault.kind = FaultKind::kWrite;
  fault.nth = 2;
  fault.path_contains = ".K01";
  fs_.Inject(fault);
  EXPECT_OK(data->WriteAt(0, Bytes("d")));
  EXPECT_OK(key->WriteAt(0, Bytes("k")));
  EXPECT_OK(data->WriteAt(1, Bytes("d")));
  EXPECT_FALSE(key->WriteAt(1, Bytes("k")).ok());
  EXPECT_EQ(fs_.Calls(FaultKind::kWrite), 4u);
  EXPECT_EQ(mem_.Contents("ZUN.K01"), "k");
  EXPECT_EQ(mem_.Contents("ZUN.DAT"), "dd");
}

TEST_F(FaultFileSystemTest, ShortWriteKeepsTheFirstBytesAndFails) {
  std::unique_ptr<File> file = OpenForWrite("ZUN.DAT");
  ASSERT_OK(file->WriteAt(0, Bytes("..........")));
  fs_.ShortWriteNth(1, 3);
  EXPECT_STATUS_CODE(file->WriteAt(2, Bytes("ABCDEF")), Err::kAccessDenied);
  EXPECT_EQ(mem_.Contents("ZUN.DAT"), "..ABC.....");
  EXPECT_OK(file->WriteAt(2, Bytes("ABCDEF")));
  EXPECT_EQ(mem_.Contents("ZUN.DAT"), "..ABCDEF..");
}

TEST_F(FaultFileSystemTest, FullDiskStopsGrowthButNotOverwrites) {
  std::unique_ptr<File> file = OpenForWrite("ZUN.DAT");
  ASSERT_OK(file->WriteAt(0, Bytes("0123")));
  fs_.SetDiskSpace(6);
  EXPECT_OK(file->WriteAt(4, Bytes("4567")));   // grows by 4, 2 left
  EXPECT_OK(file->WriteAt(0, Bytes("abcdefgh")));  // no growth
  Status full = file->WriteAt(6, Bytes("GHIJKL"));  // needs 4, 2 left
  EXPECT_EQ(full.ToString(), "39 (ZUN.DAT: No space left on device)");
  EXPECT_EQ(mem_.Contents("ZUN.DAT"), "abcdefGHIJ");
  EXPECT_STATUS_CODE(file->WriteAt(10, Bytes("K")), Err::kDiskFull);
  EXPECT_STATUS_CODE(file->Truncate(20), Err::kDiskFull);
  EXPECT_OK(file->WriteAt(0, Bytes("ABCD")));
  EXPECT_OK(file->Truncate(2));
  EXPECT_EQ(fs_.FaultsFired(), 3u);

  std::unique_ptr<File> other = OpenForWrite("ZUN.K01");
  EXPECT_STATUS_CODE(other->WriteAt(0, Bytes("k")), Err::kDiskFull);
  fs_.ClearFaults();
  EXPECT_OK(other->WriteAt(0, Bytes("k")));
}

// The shape of an I/O-fault loop: walk N up until the fault no longer fires;
// every run fails with the injected number and leaves no partial write past
// the failed one.
TEST_F(FaultFileSystemTest, FaultLoopEndsAtTheFirstNThatNeverFires) {
  auto operation = [](datfile::FileSystem& fs) -> Status {
    std::unique_ptr<File> file;
    ZUNA_RETURN_IF_ERROR(
        fs.Open("ZUN.DAT", OpenOptions{.write = true, .create = true}, &file));
    ZUNA_RETURN_IF_ERROR(file->WriteAt(0, Bytes("A")));
    ZUNA_RETURN_IF_ERROR(file->WriteAt(1, Bytes("B")));
    ZUNA_RETURN_IF_ERROR(file->WriteAt(2, Bytes("C")));
    return file->Sync();
  };
  const std::string expected_after[] = {"", "A", "AB"};
  uint64_t n = 1;
  for (;; ++n) {
    SCOPED_TRACE(n);
    MemFileSystem mem;
    FaultFileSystem fs(mem);
    fs.FailNth(FaultKind::kWrite, n, FaultMode::kPersistent, Err::kUnableToLog);
    Status status = operation(fs);
    if (fs.FaultsFired() == 0) {
      ASSERT_OK(status);
      EXPECT_EQ(mem.Contents("ZUN.DAT"), "ABC");
      break;
    }
    EXPECT_EQ(status.code(), Err::kUnableToLog);
    ASSERT_LE(n, 3u);
    EXPECT_EQ(mem.Contents("ZUN.DAT"), expected_after[n - 1]);
    EXPECT_EQ(mem.OpenFileCount(), 0u);
  }
  EXPECT_EQ(n, 4u);
}

}  // namespace
}  // namespace zuna::testing
