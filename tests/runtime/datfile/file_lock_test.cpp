// Share modes, byte-range locks and the "in use" probes of os_file.h: the
// same checks against the real and the in-memory file system, then what
// only the real one has (the reserved bytes, the fallback base, the open
// gate, other processes) and the mountinfo reader.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/datfile/coding.h"
#include "runtime/datfile/os_file.h"
#include "runtime/datfile/posix_file_internal.h"
#include "tests/support/child_process.h"
#include "tests/support/mem_fs.h"
#include "tests/support/status_matchers.h"
#include "tests/support/temp_dir.h"

namespace zuna::datfile {
namespace {

using zuna::testing::ChildProcess;
using zuna::testing::MemFileSystem;
using zuna::testing::TempDir;

constexpr LockKind kShared = LockKind::kShared;
constexpr LockKind kExclusive = LockKind::kExclusive;

OpenOptions Options(bool write, ShareMode share) {
  return OpenOptions{.write = write, .share = share};
}

const char* ShareName(ShareMode share) {
  switch (share) {
    case ShareMode::kCompat: return "compat";
    case ShareMode::kDenyAll: return "deny-all";
    case ShareMode::kDenyWrite: return "deny-write";
    case ShareMode::kDenyRead: return "deny-read";
    case ShareMode::kDenyNone: return "deny-none";
  }
  return "?";
}

// --- The same rules on both file systems ------------------------------------

enum class Backend { kPosix, kMemory };

class FileLockTest : public ::testing::TestWithParam<Backend> {
 protected:
  FileLockTest() {
    if (GetParam() == Backend::kPosix) {
      fs_ = &PosixFileSystem();
      name_ = dir_.File("ZUN.DAT");
    } else {
      fs_ = &mem_;
      name_ = "/data/ZUN.DAT";
    }
    WriteContents(name_, "header and records");
  }

  void WriteContents(const std::string& name, const std::string& bytes) {
    std::unique_ptr<File> file;
    ASSERT_OK(fs_->Open(name, OpenOptions{.write = true, .create = true,
                                          .truncate = true},
                        &file));
    ASSERT_OK(file->WriteAt(0, {bytes.data(), bytes.size()}));
  }

  std::string Contents() {
    std::unique_ptr<File> file;
    EXPECT_OK(fs_->Open(name_, OpenOptions{}, &file));
    if (file == nullptr) return "";
    uint64_t size = 0;
    EXPECT_OK(file->Size(&size));
    std::string bytes(size, '\0');
    size_t got = 0;
    EXPECT_OK(file->ReadAt(0, {bytes.data(), bytes.size()}, &got));
    return bytes.substr(0, got);
  }

  // Opens name_, expecting success.
  std::unique_ptr<File> OpenOk(bool write, ShareMode share) {
    std::unique_ptr<File> file;
    EXPECT_OK(fs_->Open(name_, Options(write, share), &file));
    return file;
  }

  TempDir dir_;
  MemFileSystem mem_;
  FileSystem* fs_ = nullptr;
  std::string name_;
};

// Hand-derived from the rule "refused when the other denies what you ask
// (every open reads; w also writes) or holds what you deny".
TEST_P(FileLockTest, ShareModesAdmitOrRefuseASecondOpener) {
  struct Case {
    bool first_write;
    ShareMode first_share;
    bool second_write;
    ShareMode second_share;
    int32_t code;
  };
  using S = ShareMode;
  const Case cases[] = {
      {true, S::kDenyNone, true, S::kDenyNone, 0},
      {true, S::kCompat, true, S::kDenyNone, 0},
      {false, S::kCompat, false, S::kCompat, 0},
      {false, S::kDenyNone, true, S::kDenyNone, 0},
      {true, S::kDenyWrite, true, S::kDenyNone, 5},   // second writes
      {true, S::kDenyWrite, false, S::kDenyNone, 0},  // a reader may come
      {false, S::kDenyWrite, false, S::kDenyWrite, 0},
      {false, S::kDenyWrite, true, S::kDenyWrite, 5},
      {true, S::kDenyNone, false, S::kDenyWrite, 5},  // first already writes
      {true, S::kDenyWrite, false, S::kDenyWrite, 5},
      {false, S::kDenyNone, false, S::kDenyWrite, 0},
      {false, S::kDenyRead, false, S::kDenyNone, 5},  // read-only vs deny-read
      {false, S::kDenyNone, false, S::kDenyRead, 5},  // first already reads
      {false, S::kDenyAll, false, S::kCompat, 5},
      {true, S::kCompat, false, S::kDenyAll, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.first_write ? "rw " : "r ") +
                 ShareName(c.first_share) + " then " +
                 (c.second_write ? "rw " : "r ") + ShareName(c.second_share));
    std::unique_ptr<File> first = OpenOk(c.first_write, c.first_share);
    std::unique_ptr<File> second;
    Status status =
        fs_->Open(name_, Options(c.second_write, c.second_share), &second);
    EXPECT_EQ(status.code(), c.code) << status.ToString();
    if (c.code != 0) {
      EXPECT_EQ(second, nullptr);
      EXPECT_NE(status.detail().find("sharing violation"), std::string::npos)
          << status.detail();
    }
  }
}

TEST_P(FileLockTest, ARefusedOpenCutsNothingAndLeavesNothingBehind) {
  std::unique_ptr<File> holder = OpenOk(true, ShareMode::kDenyWrite);
  std::unique_ptr<File> refused;
  EXPECT_STATUS_CODE(
      fs_->Open(name_, OpenOptions{.write = true, .truncate = true}, &refused),
      Err::kAccessDenied);
  EXPECT_EQ(Contents(), "header and records");
  // The refused open holds no share bytes: the holder is alone.
  EXPECT_OK(holder->ProbeSoleOpener());
  holder.reset();
  EXPECT_OK(fs_->ProbeUnused(name_));

  // Granted, the same open does cut the file.
  ASSERT_OK(
      fs_->Open(name_, OpenOptions{.write = true, .truncate = true}, &refused));
  refused.reset();
  EXPECT_EQ(Contents(), "");
}

TEST_P(FileLockTest, ClosingOneFileKeepsTheOthersShareModeAndLocks) {
  std::unique_ptr<File> holder = OpenOk(true, ShareMode::kDenyWrite);
  ASSERT_OK(holder->Lock(0, 1, kExclusive));
  {
    std::unique_ptr<File> passer_by = OpenOk(false, ShareMode::kDenyNone);
    ASSERT_OK(passer_by->Lock(8, 1, kShared));
  }
  if (GetParam() == Backend::kPosix) {
    // What drops every classic lock of a process: another descriptor of the
    // file opened and closed.
    std::ifstream stray(name_);
    EXPECT_TRUE(stray.good());
  }
  std::unique_ptr<File> other;
  EXPECT_STATUS_CODE(fs_->Open(name_, Options(true, ShareMode::kDenyNone), &other),
                     Err::kAccessDenied);
  other = OpenOk(false, ShareMode::kDenyNone);
  EXPECT_STATUS_CODE(other->Lock(0, 1, kShared), Err::kAccessDenied);
  // The passer-by's own lock went with it.
  EXPECT_OK(holder->Lock(8, 1, kExclusive));
}

TEST_P(FileLockTest, ByteLocksConflictBetweenFilesOfOneProcess) {
  std::unique_ptr<File> a = OpenOk(true, ShareMode::kDenyNone);
  std::unique_ptr<File> b = OpenOk(true, ShareMode::kDenyNone);

  ASSERT_OK(a->Lock(0, 1, kShared));
  ASSERT_OK(b->Lock(0, 1, kShared));  // readers together
  // B's change to exclusive meets A's shared lock; B keeps its shared one.
  EXPECT_STATUS_CODE(b->Lock(0, 1, kExclusive), Err::kAccessDenied);
  EXPECT_STATUS_CODE(a->Lock(0, 1, kExclusive), Err::kAccessDenied);
  ASSERT_OK(b->Unlock(0, 1));
  ASSERT_OK(a->Lock(0, 1, kExclusive));  // now A's alone: the change is made
  EXPECT_STATUS_CODE(b->Lock(0, 1, kShared), Err::kAccessDenied);
  EXPECT_STATUS_CODE(b->Lock(0, 2, kShared), Err::kAccessDenied);  // overlaps
  EXPECT_OK(b->Lock(1, 1, kExclusive));  // the next byte is free

  // Not counted: twice locked, once unlocked, and it is free.
  ASSERT_OK(a->Lock(0, 1, kExclusive));
  ASSERT_OK(a->Unlock(0, 1));
  EXPECT_OK(b->Lock(0, 1, kExclusive));
  // Unlocking what one does not hold changes nothing and is no error.
  EXPECT_OK(a->Unlock(0, 100));
  EXPECT_STATUS_CODE(a->Lock(0, 1, kShared), Err::kAccessDenied);
}

TEST_P(FileLockTest, UnlockingPartOfARangeKeepsTheRest) {
  std::unique_ptr<File> a = OpenOk(true, ShareMode::kDenyNone);
  std::unique_ptr<File> b = OpenOk(true, ShareMode::kDenyNone);
  ASSERT_OK(a->Lock(10, 10, kExclusive));  // bytes 10..19
  ASSERT_OK(a->Unlock(14, 2));             // frees 14, 15
  EXPECT_OK(b->Lock(14, 2, kExclusive));
  EXPECT_STATUS_CODE(b->Lock(13, 1, kShared), Err::kAccessDenied);
  EXPECT_STATUS_CODE(b->Lock(16, 1, kShared), Err::kAccessDenied);
  EXPECT_STATUS_CODE(b->Lock(19, 1, kShared), Err::kAccessDenied);
  EXPECT_OK(b->Lock(20, 1, kShared));
}

TEST_P(FileLockTest, ExclusiveLocksNeedWriteAccess) {
  std::unique_ptr<File> reader = OpenOk(false, ShareMode::kDenyNone);
  Status status = reader->Lock(0, 1, kExclusive);
  EXPECT_EQ(status.code(), Err::kInvalidHandle) << status.ToString();
  EXPECT_TRUE(IsLockingFailure(status));
  // A read-only station keeps writers out with a shared lock instead.
  ASSERT_OK(reader->Lock(0, 1, kShared));
  std::unique_ptr<File> writer = OpenOk(true, ShareMode::kDenyNone);
  EXPECT_STATUS_CODE(writer->Lock(0, 1, kExclusive), Err::kAccessDenied);
}

TEST_P(FileLockTest, RangesOutsideTheLockableBytesAreLockingFailures) {
  std::unique_ptr<File> file = OpenOk(true, ShareMode::kDenyNone);
  const struct {
    uint64_t offset;
    uint64_t length;
  } bad[] = {
      {0, 0},
      {kLockRangeLimit, 1},
      {kLockRangeLimit - 1, 2},
      {kShareLockBase, 1},
      {UINT64_MAX, 2},
  };
  for (const auto& range : bad) {
    SCOPED_TRACE(std::to_string(range.offset) + "+" + std::to_string(range.length));
    Status lock = file->Lock(range.offset, range.length, kShared);
    EXPECT_TRUE(IsLockingFailure(lock)) << lock.ToString();
    EXPECT_TRUE(IsLockingFailure(file->Unlock(range.offset, range.length)));
  }
  EXPECT_OK(file->Lock(kLockRangeLimit - 1, 1, kExclusive));
  EXPECT_OK(file->Unlock(kLockRangeLimit - 1, 1));
}

TEST_P(FileLockTest, ProbesTellWhetherAnotherFileHasItOpen) {
  EXPECT_OK(fs_->ProbeUnused(name_));
  std::unique_ptr<File> a = OpenOk(false, ShareMode::kCompat);
  EXPECT_OK(a->ProbeSoleOpener());
  EXPECT_STATUS_CODE(fs_->ProbeUnused(name_), Err::kAccessDenied);

  std::unique_ptr<File> b = OpenOk(true, ShareMode::kDenyNone);
  EXPECT_STATUS_CODE(a->ProbeSoleOpener(), Err::kAccessDenied);
  EXPECT_STATUS_CODE(b->ProbeSoleOpener(), Err::kAccessDenied);
  // Byte locks are not openings: b's own lock does not count against it.
  ASSERT_OK(b->Lock(0, 1, kExclusive));
  a.reset();
  EXPECT_OK(b->ProbeSoleOpener());
  b.reset();
  EXPECT_OK(fs_->ProbeUnused(name_));

  // The probe took nothing: a deny-all open still gets the file.
  std::unique_ptr<File> all = OpenOk(true, ShareMode::kDenyAll);
  EXPECT_NE(all, nullptr);

  const std::string missing =
      GetParam() == Backend::kPosix ? dir_.File("NONE.DAT") : "/data/NONE.DAT";
  EXPECT_STATUS_CODE(fs_->ProbeUnused(missing), Err::kFileNotFound);
}

TEST_P(FileLockTest, LocksAndShareModesFollowTheFileNotItsName) {
  std::unique_ptr<File> holder = OpenOk(true, ShareMode::kDenyWrite);
  ASSERT_OK(holder->Lock(0, 1, kExclusive));
  const std::string new_name =
      GetParam() == Backend::kPosix ? dir_.File("ZUN.OLD") : "/data/ZUN.OLD";
  ASSERT_OK(fs_->Rename(name_, new_name));
  name_ = new_name;
  std::unique_ptr<File> other;
  EXPECT_STATUS_CODE(fs_->Open(name_, Options(true, ShareMode::kDenyNone), &other),
                     Err::kAccessDenied);
  other = OpenOk(false, ShareMode::kDenyNone);
  EXPECT_STATUS_CODE(other->Lock(0, 1, kShared), Err::kAccessDenied);
}

// Two threads, each with its own File, as two threads' instances of a THREAD
// file: the exclusive lock on byte 0 must make their read-modify-writes of a
// counter one at a time.
TEST_P(FileLockTest, AnExclusiveLockSerialisesThreads) {
  WriteContents(name_, std::string(4, '\0'));
  constexpr int kRounds = 200;
  auto work = [&] {
    std::unique_ptr<File> file = OpenOk(true, ShareMode::kDenyNone);
    ASSERT_NE(file, nullptr);
    for (int i = 0; i < kRounds; ++i) {
      Status status;
      while ((status = file->Lock(0, 1, kExclusive)).code() ==
             Err::kAccessDenied) {
        std::this_thread::yield();
      }
      ASSERT_OK(status);
      char counter[4];
      ASSERT_OK(ReadExact(*file, 0, counter, Err::kInvalidDataFile));
      EncodeFixed32(counter, DecodeFixed32(counter) + 1);
      ASSERT_OK(file->WriteAt(0, counter));
      ASSERT_OK(file->Unlock(0, 1));
    }
  };
  std::thread first(work);
  std::thread second(work);
  first.join();
  second.join();
  const std::string bytes = Contents();
  ASSERT_EQ(bytes.size(), 4u);
  EXPECT_EQ(DecodeFixed32(bytes.data()), uint32_t{2 * kRounds});
}

INSTANTIATE_TEST_SUITE_P(
    FileSystems, FileLockTest,
    ::testing::Values(Backend::kPosix, Backend::kMemory),
    [](const ::testing::TestParamInfo<Backend>& info) {
      return info.param == Backend::kPosix ? "Posix" : "Memory";
    });

// --- The reserved bytes, the fallback and the gate (real file system) ---------

// What another description sees at `offset`: F_UNLCK, F_RDLCK or F_WRLCK.
short LockTypeAt(int fd, uint64_t offset) {
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = 1;
  if (::fcntl(fd, F_OFD_GETLK, &lock) != 0) return -1;
  return lock.l_type;
}

bool SetLockAt(int fd, uint64_t offset, short type) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = 1;
  return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// Restores the open gate's patience when a test has changed it.
class ScopedGateWait final {
 public:
  explicit ScopedGateWait(std::chrono::milliseconds wait)
      : saved_(ShareGateWait()) {
    SetShareGateWait(wait);
  }
  ~ScopedGateWait() { SetShareGateWait(saved_); }

 private:
  std::chrono::milliseconds saved_;
};

class ShareBytesTest : public ::testing::Test {
 protected:
  ShareBytesTest() : name_(dir_.File("ZUN.DAT")) {
    std::ofstream(name_) << "data";
    raw_ = ::open(name_.c_str(), O_RDWR | O_CLOEXEC);
  }
  ~ShareBytesTest() override { ::close(raw_); }

  // The lock type another description sees on each of the five bytes.
  std::vector<short> Bytes(uint64_t base) {
    std::vector<short> types;
    for (uint64_t i = 0; i < 5; ++i) types.push_back(LockTypeAt(raw_, base + i));
    return types;
  }

  FileSystem& fs_ = PosixFileSystem();
  TempDir dir_;
  std::string name_;
  int raw_ = -1;  // a description of the test's own, outside the File layer
};

TEST_F(ShareBytesTest, ShareBytesSitFarBeyondTheData) {
  constexpr uint64_t kBase = 0x7FFFFFFF00000000;  // read, write, deny r, deny w, gate
  std::unique_ptr<File> file;
  ASSERT_OK(fs_.Open(name_, Options(true, ShareMode::kDenyWrite), &file));
  EXPECT_EQ(Bytes(kBase),
            (std::vector<short>{F_RDLCK, F_RDLCK, F_UNLCK, F_RDLCK, F_UNLCK}));
  file.reset();
  ASSERT_OK(fs_.Open(name_, Options(false, ShareMode::kDenyRead), &file));
  EXPECT_EQ(Bytes(kBase),
            (std::vector<short>{F_RDLCK, F_UNLCK, F_RDLCK, F_UNLCK, F_UNLCK}));
  file.reset();
  ASSERT_OK(fs_.Open(name_, Options(false, ShareMode::kCompat), &file));
  EXPECT_EQ(Bytes(kBase),
            (std::vector<short>{F_RDLCK, F_UNLCK, F_UNLCK, F_UNLCK, F_UNLCK}));
  file.reset();
  EXPECT_EQ(Bytes(kBase), std::vector<short>(5, F_UNLCK));
}

// A file system that refuses lock offsets beyond 2 GiB, as NFSv2 does.
struct LowOffsetsOnly {
  static int OfdLock(int fd, int command, struct flock* lock) {
    if (lock->l_start > INT32_MAX) {
      errno = EINVAL;
      return -1;
    }
    return ::fcntl(fd, command, lock);
  }
};

TEST_F(ShareBytesTest, HighOffsetsRefusedMoveTheShareBytesBelowTwoGigabytes) {
  PosixSysCalls calls = ActivePosixSysCalls();
  calls.ofd_lock = &LowOffsetsOnly::OfdLock;
  ScopedPosixSysCalls low(calls);
  constexpr uint64_t kFallback = 0x7FFFFF00;

  std::unique_ptr<File> holder;
  ASSERT_OK(fs_.Open(name_, Options(true, ShareMode::kDenyWrite), &holder));
  EXPECT_EQ(Bytes(kFallback),
            (std::vector<short>{F_RDLCK, F_RDLCK, F_UNLCK, F_RDLCK, F_UNLCK}));
  std::unique_ptr<File> other;
  EXPECT_STATUS_CODE(fs_.Open(name_, Options(true, ShareMode::kDenyNone), &other),
                     Err::kAccessDenied);
  ASSERT_OK(fs_.Open(name_, Options(false, ShareMode::kDenyNone), &other));
  EXPECT_STATUS_CODE(holder->ProbeSoleOpener(), Err::kAccessDenied);
  EXPECT_STATUS_CODE(fs_.ProbeUnused(name_), Err::kAccessDenied);
  other.reset();
  holder.reset();
  EXPECT_OK(fs_.ProbeUnused(name_));
}

// Releases the test's hold on the gate the first time an open finds it
// busy, so the open must wait and try again to succeed.
struct GateReleaser {
  static inline int holder = -1;
  static inline int refusals = 0;
  static int OfdLock(int fd, int command, struct flock* lock) {
    const int rc = ::fcntl(fd, command, lock);
    if (rc != 0 && command == F_OFD_SETLK && lock->l_type != F_UNLCK &&
        static_cast<uint64_t>(lock->l_start) == kShareLockBase + 4) {
      const int saved = errno;
      ++refusals;
      SetLockAt(holder, kShareLockBase + 4, F_UNLCK);
      errno = saved;
    }
    return rc;
  }
};

TEST_F(ShareBytesTest, AnOpenWaitsForAnotherOpenersGate) {
  ASSERT_TRUE(SetLockAt(raw_, kShareLockBase + 4, F_WRLCK));
  GateReleaser::holder = raw_;
  GateReleaser::refusals = 0;
  PosixSysCalls calls = ActivePosixSysCalls();
  calls.ofd_lock = &GateReleaser::OfdLock;
  ScopedPosixSysCalls releasing(calls);
  std::unique_ptr<File> file;
  ASSERT_OK(fs_.Open(name_, Options(true, ShareMode::kDenyAll), &file));
  EXPECT_EQ(GateReleaser::refusals, 1);
}

TEST_F(ShareBytesTest, AGateHeldTooLongRefusesTheOpen) {
  ASSERT_TRUE(SetLockAt(raw_, kShareLockBase + 4, F_RDLCK));
  ScopedGateWait impatient(std::chrono::milliseconds(0));
  std::unique_ptr<File> file;
  Status status = fs_.Open(name_, Options(true, ShareMode::kDenyNone), &file);
  EXPECT_EQ(status.code(), Err::kAccessDenied);
  EXPECT_NE(status.detail().find("gate"), std::string::npos) << status.detail();
  EXPECT_EQ(file, nullptr);
  // A reader shares the gate with another reader.
  EXPECT_OK(fs_.Open(name_, Options(false, ShareMode::kDenyNone), &file));
  file.reset();
  // Someone in the middle of opening counts as a user of the file.
  EXPECT_STATUS_CODE(fs_.ProbeUnused(name_), Err::kAccessDenied);
  ASSERT_TRUE(SetLockAt(raw_, kShareLockBase + 4, F_UNLCK));
  EXPECT_OK(fs_.ProbeUnused(name_));
}

// A description of the temporary file the process opened in `dir` (it is
// unlinked at once, so only /proc/self/fd still names it); -1 if none.
int OpenTemporaryAgain(const std::string& dir) {
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
    if (!error && target.starts_with(dir + "/TMP") && target.ends_with(" (deleted)")) {
      return ::open(fd.path().c_str(), O_RDWR | O_CLOEXEC);
    }
  }
  return -1;
}

TEST_F(ShareBytesTest, TemporaryFilesLockButTakeNoShareBytes) {
  const char* saved = std::getenv("TMPDIR");
  const std::string saved_tmpdir = saved != nullptr ? saved : "";
  ::setenv("TMPDIR", dir_.path().c_str(), 1);
  std::unique_ptr<File> temp;
  const Status created = fs_.CreateTemp("TMP", &temp);
  if (saved != nullptr) {
    ::setenv("TMPDIR", saved_tmpdir.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
  ASSERT_OK(created);
  const int other = OpenTemporaryAgain(dir_.path());
  ASSERT_GE(other, 0);
  EXPECT_OK(temp->ProbeSoleOpener());
  EXPECT_OK(temp->Lock(0, 1, kExclusive));
  // Another description sees the byte lock, and no share byte at either
  // place the share bytes can live.
  EXPECT_EQ(LockTypeAt(other, 0), F_WRLCK);
  for (const uint64_t base : {kShareLockBase, kFallbackShareLockBase}) {
    for (uint64_t i = 0; i < kShareLockBytes; ++i) {
      EXPECT_EQ(LockTypeAt(other, base + i), F_UNLCK) << base << "+" << i;
    }
  }
  EXPECT_OK(temp->Unlock(0, 1));
  EXPECT_EQ(LockTypeAt(other, 0), F_UNLCK);
  ::close(other);
}

// --- Another process ----------------------------------------------------------

// os_lock_station (tests/tools/os_lock_station.cpp) as another process: it
// says one line when ready, then answers each command line with one line.
class LockStation final {
 public:
  LockStation() : child_(zuna::testing::TestProgramPath("os_lock_station"), {}) {
    std::string ready;
    if (child_.running() && !child_.ReadLine(&ready, kAnswerTimeout)) {
      ADD_FAILURE() << "os_lock_station did not start";
      child_.Kill();
    }
  }

  // The answer to `command`; "" when the station is gone or stays silent.
  std::string Ask(const std::string& command) {
    std::string answer;
    if (!child_.SendLine(command) || !child_.ReadLine(&answer, kAnswerTimeout)) return "";
    return answer;
  }

  // SIGKILL, then reaped: every lock the station held is released.
  void Kill() { child_.Kill(); }

 private:
  static constexpr std::chrono::seconds kAnswerTimeout{10};
  ChildProcess child_;
};

class StationLockTest : public ::testing::Test {
 protected:
  StationLockTest() : name_(dir_.File("ZUN.DAT")) {
    std::ofstream(name_) << "data";
  }

  FileSystem& fs_ = PosixFileSystem();
  TempDir dir_;
  std::string name_;
};

TEST_F(StationLockTest, ShareModesHoldBetweenProcesses) {
  LockStation station;
  ASSERT_EQ(station.Ask("open a " + name_ + " w write"), "0");
  std::unique_ptr<File> file;
  EXPECT_STATUS_CODE(fs_.Open(name_, Options(true, ShareMode::kDenyNone), &file),
                     Err::kAccessDenied);
  ASSERT_OK(fs_.Open(name_, Options(false, ShareMode::kDenyNone), &file));
  // Our reader now stands in the way of a deny-read opener over there.
  EXPECT_EQ(station.Ask("open b " + name_ + " r read"), "5");
  EXPECT_EQ(station.Ask("close a"), "0");
  std::unique_ptr<File> writer;
  EXPECT_OK(fs_.Open(name_, Options(true, ShareMode::kDenyWrite), &writer));
  EXPECT_EQ(station.Ask("open c " + name_ + " w none"), "5");
  EXPECT_EQ(station.Ask("open c " + name_ + " r none"), "0");
}

TEST_F(StationLockTest, ByteLocksConflictBetweenProcesses) {
  LockStation station;
  ASSERT_EQ(station.Ask("open a " + name_ + " w none"), "0");
  ASSERT_EQ(station.Ask("lock a 0 1 x"), "0");
  std::unique_ptr<File> file;
  ASSERT_OK(fs_.Open(name_, Options(true, ShareMode::kDenyNone), &file));
  EXPECT_STATUS_CODE(file->Lock(0, 1, kShared), Err::kAccessDenied);
  ASSERT_OK(file->Lock(1, 1, kShared));
  EXPECT_EQ(station.Ask("lock a 1 1 x"), "5");
  EXPECT_EQ(station.Ask("lock a 1 1 s"), "0");
  ASSERT_EQ(station.Ask("unlock a 0 1"), "0");
  EXPECT_OK(file->Lock(0, 1, kExclusive));
  EXPECT_EQ(station.Ask("lock a 0 1 s"), "5");
}

TEST_F(StationLockTest, AKilledStationLeavesNoLockBehind) {
  LockStation station;
  ASSERT_EQ(station.Ask("open a " + name_ + " w all"), "0");
  ASSERT_EQ(station.Ask("lock a 0 1 x"), "0");
  std::unique_ptr<File> file;
  EXPECT_STATUS_CODE(fs_.Open(name_, Options(false, ShareMode::kDenyNone), &file),
                     Err::kAccessDenied);
  EXPECT_STATUS_CODE(fs_.ProbeUnused(name_), Err::kAccessDenied);

  station.Kill();
  EXPECT_OK(fs_.ProbeUnused(name_));
  ASSERT_OK(fs_.Open(name_, Options(true, ShareMode::kDenyAll), &file));
  EXPECT_OK(file->Lock(0, 1, kExclusive));
}

TEST_F(StationLockTest, ProbesSeeTheOtherProcess) {
  LockStation station;
  ASSERT_EQ(station.Ask("open a " + name_ + " r none"), "0");
  EXPECT_EQ(station.Ask("sole a"), "0");
  EXPECT_STATUS_CODE(fs_.ProbeUnused(name_), Err::kAccessDenied);
  std::unique_ptr<File> file;
  ASSERT_OK(fs_.Open(name_, Options(true, ShareMode::kDenyNone), &file));
  EXPECT_STATUS_CODE(file->ProbeSoleOpener(), Err::kAccessDenied);
  EXPECT_EQ(station.Ask("sole a"), "5");
  EXPECT_EQ(station.Ask("close a"), "0");
  EXPECT_OK(file->ProbeSoleOpener());
  EXPECT_EQ(station.Ask("unused " + name_), "5");
  file.reset();
  EXPECT_EQ(station.Ask("unused " + name_), "0");
}

// --- Mounts whose locks stay on this host ---------------------------------------

constexpr char kMountInfo[] =
    "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
    "30 22 0:40 / /srv/nfs rw,relatime shared:20 - nfs server:/export "
    "rw,vers=3,rsize=1048576,hard,proto=tcp,sec=sys,local_lock=none,"
    "addr=10.0.0.1\n"
    "31 22 0:41 / /srv/nolock rw,relatime shared:21 - nfs server:/export "
    "rw,vers=3,nolock,proto=tcp,local_lock=all,addr=10.0.0.1\n"
    "32 22 0:42 / /srv/v4 rw,relatime shared:22 - nfs4 server:/ "
    "rw,vers=4.2,local_lock=none,addr=10.0.0.1\n"
    "33 22 0:43 / /srv/flock rw,relatime - nfs server:/e "
    "rw,vers=3,local_lock=flock,addr=10.0.0.1\n"
    "34 22 0:44 / /srv/posix rw,relatime - nfs server:/e "
    "rw,vers=3,local_lock=posix,addr=10.0.0.1\n"
    "35 22 0:45 / /mnt/smb rw,relatime shared:23 - cifs //host/share "
    "rw,vers=3.1.1,cache=strict,nobrl,uid=1000\n"
    "36 22 0:46 / /mnt/smb2 rw,relatime - cifs //host/share "
    "rw,vers=3.1.1,cache=strict,uid=1000\n"
    "37 22 0:47 / /mnt/My\\040Share rw - smb3 //host/My\\040Share rw,nobrl\n"
    "38 22 0:48 / /home/u/remote rw,nosuid,nodev - fuse.sshfs u@host:/data "
    "rw,user_id=1000\n"
    "39 31 8:17 / /srv/nolock/local rw - ext4 /dev/sdb1 rw\n"
    "this line is not a mount\n"
    "40 22 0:49 / /srv/broken rw shared:9\n";

TEST(MountInfoTest, FindsMountsWhoseLocksStayOnThisHost) {
  const struct {
    const char* path;
    bool host_local;
    const char* why;  // a piece of the reason
  } cases[] = {
      {"/data/ZUN.DAT", false, ""},
      {"/srv/nfs/ZUN.DAT", false, ""},
      {"/srv/nolock/ZUN.DAT", true, "nolock"},
      {"/srv/nolock", true, "/srv/nolock "},
      {"/srv/nolockx/ZUN.DAT", false, ""},  // not below /srv/nolock
      {"/srv/nolock/local/ZUN.DAT", false, ""},  // a local disk mounted inside
      {"/srv/v4/ZUN.DAT", false, ""},
      {"/srv/flock/ZUN.DAT", false, ""},  // flock() only, never used here
      {"/srv/posix/ZUN.DAT", true, "local_lock=posix"},
      {"/mnt/smb/ZUN.DAT", true, "nobrl"},
      {"/mnt/smb2/ZUN.DAT", false, ""},
      {"/mnt/My Share/ZUN.DAT", true, "/mnt/My Share is a smb3 mount"},
      {"/home/u/remote/ZUN.DAT", true, "fuse.sshfs"},
      {"/srv/broken/ZUN.DAT", false, ""},  // its line did not parse: root
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::string reason = "stale";
    EXPECT_EQ(MountKeepsLocksLocal(kMountInfo, c.path, &reason), c.host_local);
    if (c.host_local) {
      EXPECT_NE(reason.find(c.why), std::string::npos) << reason;
    } else {
      EXPECT_EQ(reason, "");
    }
  }
}

TEST(MountInfoTest, TheMountOnTopDecides) {
  const std::string under =
      "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "2 1 0:40 / /srv rw - nfs s:/a rw,vers=3,local_lock=none\n";
  const std::string nolock = "3 1 0:41 / /srv rw - nfs s:/b rw,vers=3,nolock\n";
  std::string reason;
  EXPECT_TRUE(MountKeepsLocksLocal(under + nolock, "/srv/ZUN.DAT", &reason));
  EXPECT_FALSE(MountKeepsLocksLocal(nolock + under, "/srv/ZUN.DAT", &reason));
  EXPECT_FALSE(MountKeepsLocksLocal("", "/srv/ZUN.DAT", &reason));
}

TEST(MountInfoTest, TheRealFileSystemGivesAReasonExactlyWhenHostLocal) {
  TempDir dir;
  std::string reason = "stale";
  const bool host_local =
      PosixFileSystem().LocksAreHostLocal(dir.File("ZUN.DAT"), &reason);
  EXPECT_EQ(host_local, !reason.empty()) << reason;
}

}  // namespace
}  // namespace zuna::datfile
