#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "runtime/datfile/handle_table.h"
#include "runtime/datfile/os_file.h"
#include "runtime/datfile/posix_error_internal.h"
#include "runtime/datfile/posix_file_internal.h"
#include "tests/support/status_matchers.h"
#include "tests/support/temp_dir.h"

namespace zuna::datfile {
namespace {

using zuna::testing::TempDir;

std::span<const char> Bytes(std::string_view text) {
  return {text.data(), text.size()};
}

void WriteRealFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ReadAll(File& file) {
  uint64_t size = 0;
  EXPECT_OK(file.Size(&size));
  std::string bytes(size, '\0');
  size_t got = 0;
  EXPECT_OK(file.ReadAt(0, {bytes.data(), bytes.size()}, &got));
  bytes.resize(got);
  return bytes;
}

OpenOptions ReadOnly() { return OpenOptions{}; }
OpenOptions ReadWrite() { return OpenOptions{.write = true}; }
OpenOptions CreateNew() {
  return OpenOptions{.write = true, .create = true, .exclusive = true};
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv final {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (saved_) {
      ::setenv(name_, saved_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

class PosixFileTest : public ::testing::Test {
 protected:
  FileSystem& fs_ = PosixFileSystem();
  TempDir dir_;
};

// --- Reading and writing ---------------------------------------------------

TEST_F(PosixFileTest, WritesReadBackAndExtendWithZeros) {
  std::unique_ptr<File> file;
  ASSERT_OK(fs_.Open(dir_.File("ZUN.DAT"), CreateNew(), &file));
  ASSERT_OK(file->WriteAt(0, Bytes("hello")));
  ASSERT_OK(file->WriteAt(8, Bytes("xy")));  // leaves a 3-byte hole

  uint64_t size = 0;
  ASSERT_OK(file->Size(&size));
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(ReadAll(*file), std::string("hello\0\0\0xy", 10));

  ASSERT_OK(file->WriteAt(1, Bytes("ELL")));  // overwrite in place
  EXPECT_EQ(ReadAll(*file), std::string("hELLo\0\0\0xy", 10));
}

TEST_F(PosixFileTest, ReadAtStopsAtEndOfFile) {
  WriteRealFile(dir_.File("ZUN.DAT"), "0123456789");
  std::unique_ptr<File> file;
  ASSERT_OK(fs_.Open(dir_.File("ZUN.DAT"), ReadOnly(), &file));

  char buffer[8];
  size_t got = 99;
  ASSERT_OK(file->ReadAt(6, buffer, &got));
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(std::string(buffer, got), "6789");

  ASSERT_OK(file->ReadAt(10, buffer, &got));
  EXPECT_EQ(got, 0u);
  ASSERT_OK(file->ReadAt(1000, buffer, &got));
  EXPECT_EQ(got, 0u);
}

TEST_F(PosixFileTest, ReadExactReportsAShortReadWithTheCallersNumber) {
  WriteRealFile(dir_.File("ZUN.DAT"), "0123456789");
  std::unique_ptr<File> file;
  ASSERT_OK(fs_.Open(dir_.File("ZUN.DAT"), ReadOnly(), &file));

  char buffer[4];
  ASSERT_OK(ReadExact(*file, 6, buffer, Err::kInvalidDataFile));
  EXPECT_EQ(std::string(buffer, 4), "6789");

  Status status = ReadExact(*file, 7, buffer, Err::kKeyFileMustBeRebuilt);
  EXPECT_EQ(status.code(), Err::kKeyFileMustBeRebuilt);
  EXPECT_NE(status.detail().find("ZUN.DAT"), std::string::npos);
  EXPECT_NE(status.detail().find("offset 7"), std::string::npos);
  EXPECT_STATUS_CODE(ReadExact(*file, 20, buffer, Err::kMemoFileMissing),
                     Err::kMemoFileMissing);
}

TEST_F(PosixFileTest, TruncateShrinksAndExtends) {
  std::unique_ptr<File> file;
  ASSERT_OK(fs_.Open(dir_.File("ZUN.DAT"), CreateNew(), &file));
  ASSERT_OK(file->WriteAt(0, Bytes("abcdefgh")));
  ASSERT_OK(file->Truncate(3));
  EXPECT_EQ(ReadAll(*file), "abc");
  ASSERT_OK(file->Truncate(5));
  EXPECT_EQ(ReadAll(*file), std::string("abc\0\0", 5));
  EXPECT_EQ(std::filesystem::file_size(dir_.File("ZUN.DAT")), 5u);
}

TEST_F(PosixFileTest, SyncSucceedsOnWritableAndReadOnlyFiles) {
  std::unique_ptr<File> writer;
  ASSERT_OK(fs_.Open(dir_.File("ZUN.DAT"), CreateNew(), &writer));
  ASSERT_OK(writer->WriteAt(0, Bytes("x")));
  EXPECT_OK(writer->Sync());
  std::unique_ptr<File> reader;
  ASSERT_OK(fs_.Open(dir_.File("ZUN.DAT"), ReadOnly(), &reader));
  EXPECT_OK(reader->Sync());
}

TEST_F(PosixFileTest, ReadOnlyFileRefusesChanges) {
  WriteRealFile(dir_.File("ZUN.DAT"), "data");
  std::unique_ptr<File> file;
  ASSERT_OK(fs_.Open(dir_.File("ZUN.DAT"), ReadOnly(), &file));
  EXPECT_STATUS_CODE(file->WriteAt(0, Bytes("x")), Err::kInvalidHandle);
  EXPECT_STATUS_CODE(file->Truncate(0), Err::kAccessDenied);
  EXPECT_EQ(ReadAll(*file), "data");
}

TEST_F(PosixFileTest, OffsetsBeyondTheLargestFileAreRefused) {
  std::unique_ptr<File> file;
  ASSERT_OK(fs_.Open(dir_.File("ZUN.DAT"), CreateNew(), &file));
  const uint64_t huge = uint64_t{1} << 63;
  char buffer[4];
  size_t got = 7;
  EXPECT_STATUS_CODE(file->ReadAt(huge, buffer, &got), Err::kAccessDenied);
  EXPECT_EQ(got, 0u);
  EXPECT_STATUS_CODE(file->WriteAt(huge - 2, Bytes("abcd")),
                     Err::kAccessDenied);
  EXPECT_STATUS_CODE(file->Truncate(huge), Err::kAccessDenied);
}

// Offsets above 4 GiB reach the file unchanged (64-bit off_t); the hole
// costs no disk space on the file systems tests run on.
TEST_F(PosixFileTest, WritesAndReadsBeyondFourGigabytes) {
  std::unique_ptr<File> file;
  ASSERT_OK(fs_.Open(dir_.File("BIG.DAT"), CreateNew(), &file));
  const uint64_t offset = (uint64_t{1} << 32) + 5;
  Status status = file->WriteAt(offset, Bytes("far"));
  if (!status.ok()) GTEST_SKIP() << "no sparse 4 GiB file here: " << status.ToString();
  uint64_t size = 0;
  ASSERT_OK(file->Size(&size));
  EXPECT_EQ(size, offset + 3);
  char buffer[3];
  ASSERT_OK(ReadExact(*file, offset, buffer, Err::kInvalidDataFile));
  EXPECT_EQ(std::string(buffer, 3), "far");
}

// --- Opening -----------------------------------------------------------------

TEST_F(PosixFileTest, OpenFailuresCarryTheRuntimeNumbers) {
  WriteRealFile(dir_.File("PLAIN"), "x");
  ASSERT_EQ(::mkdir(dir_.File("SUB").c_str(), 0777), 0);
  const std::string long_name(300, 'a');
  struct Case {
    std::string name;
    OpenOptions options;
    int32_t code;
  };
  const Case cases[] = {
      {dir_.File("MISSING.DAT"), ReadOnly(), Err::kFileNotFound},
      {dir_.File("MISSING.DAT"), ReadWrite(), Err::kFileNotFound},
      {dir_.File("NODIR/ZUN.DAT"), ReadOnly(), Err::kPathNotFound},
      {dir_.File("NODIR/ZUN.DAT"), CreateNew(), Err::kPathNotFound},
      {dir_.File("PLAIN/ZUN.DAT"), CreateNew(), Err::kPathNotFound},
      {dir_.File(long_name), CreateNew(), Err::kInvalidFilename},
      {dir_.File("SUB"), ReadOnly(), Err::kAccessDenied},
      {dir_.File("PLAIN"), OpenOptions{.truncate = true}, Err::kAccessDenied},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.substr(dir_.path().size()));
    std::unique_ptr<File> file;
    Status status = fs_.Open(c.name, c.options, &file);
    EXPECT_EQ(status.code(), c.code) << status.ToString();
    EXPECT_EQ(file, nullptr);
    EXPECT_FALSE(status.IsAlreadyExists());
  }
}

TEST_F(PosixFileTest, FailureDetailNamesTheFileAndTheReason) {
  std::unique_ptr<File> file;
  Status status = fs_.Open(dir_.File("MISSING.DAT"), ReadOnly(), &file);
  EXPECT_EQ(status.detail(),
            dir_.File("MISSING.DAT") + ": No such file or directory");
}

TEST_F(PosixFileTest, ExclusiveCreateOfAnExistingFileIsAlreadyExists) {
  WriteRealFile(dir_.File("ZUN.DAT"), "first station's file");
  std::unique_ptr<File> file;
  Status status = fs_.Open(dir_.File("ZUN.DAT"), CreateNew(), &file);
  EXPECT_EQ(status.code(), Err::kAccessDenied);
  EXPECT_TRUE(IsAlreadyExists(status)) << status.ToString();
  EXPECT_EQ(file, nullptr);

  // The loser of the race did not touch the winner's file.
  ASSERT_OK(fs_.Open(dir_.File("ZUN.DAT"), ReadOnly(), &file));
  EXPECT_EQ(ReadAll(*file), "first station's file");
}

TEST_F(PosixFileTest, CreateKeepsAndTruncateEmptiesAnExistingFile) {
  WriteRealFile(dir_.File("ZUN.DAT"), "keep");
  std::unique_ptr<File> file;
  ASSERT_OK(fs_.Open(dir_.File("ZUN.DAT"),
                     OpenOptions{.write = true, .create = true}, &file));
  EXPECT_EQ(ReadAll(*file), "keep");
  ASSERT_OK(fs_.Open(dir_.File("ZUN.DAT"),
                     OpenOptions{.write = true, .truncate = true}, &file));
  EXPECT_EQ(ReadAll(*file), "");
}

TEST_F(PosixFileTest, EachOpenIsItsOwnDescriptionWithCloseOnExec) {
  std::unique_ptr<File> first;
  std::unique_ptr<File> second;
  ASSERT_OK(fs_.Open(dir_.File("ZUN.DAT"), CreateNew(), &first));
  ASSERT_OK(fs_.Open(dir_.File("ZUN.DAT"), ReadOnly(), &second));
  const int fd1 = PosixDescriptor(*first);
  const int fd2 = PosixDescriptor(*second);
  ASSERT_GE(fd1, 0);
  ASSERT_GE(fd2, 0);
  EXPECT_NE(fd1, fd2);
  EXPECT_TRUE(::fcntl(fd1, F_GETFD) & FD_CLOEXEC);
  EXPECT_TRUE(::fcntl(fd2, F_GETFD) & FD_CLOEXEC);

  // Separate descriptions have separate status flags: one is read-write,
  // the other read-only, which a dup() could not give.
  EXPECT_EQ(::fcntl(fd1, F_GETFL) & O_ACCMODE, O_RDWR);
  EXPECT_EQ(::fcntl(fd2, F_GETFL) & O_ACCMODE, O_RDONLY);

  ASSERT_OK(first->WriteAt(0, Bytes("shared")));
  EXPECT_EQ(ReadAll(*second), "shared");
  EXPECT_EQ(first->path(), dir_.File("ZUN.DAT"));
}

// --- System calls interrupted or cut short -----------------------------------

// Fake system calls: every call first fails with EINTR, then the retry
// moves at most 3 bytes.  The loops must still move everything.
struct FlakyCalls {
  static inline int calls = 0;
  static inline bool interrupt_next = true;

  static bool Interrupt() {
    ++calls;
    interrupt_next = !interrupt_next;
    if (!interrupt_next) {  // was true: interrupt this one
      errno = EINTR;
      return true;
    }
    return false;
  }
  static ssize_t Pread(int fd, void* buffer, size_t count, off_t offset) {
    if (Interrupt()) return -1;
    return ::pread(fd, buffer, std::min<size_t>(count, 3), offset);
  }
  static ssize_t Pwrite(int fd, const void* buffer, size_t count,
                        off_t offset) {
    if (Interrupt()) return -1;
    return ::pwrite(fd, buffer, std::min<size_t>(count, 3), offset);
  }
  static int Fdatasync(int fd) { return Interrupt() ? -1 : ::fdatasync(fd); }
  static int Ftruncate(int fd, off_t length) {
    return Interrupt() ? -1 : ::ftruncate(fd, length);
  }
  static int OfdLock(int fd, int command, struct flock* lock) {
    return Interrupt() ? -1 : ::fcntl(fd, command, lock);
  }
};

TEST_F(PosixFileTest, InterruptedAndShortTransfersAreCompleted) {
  std::unique_ptr<File> file;
  ASSERT_OK(fs_.Open(dir_.File("ZUN.DAT"), CreateNew(), &file));
  FlakyCalls::calls = 0;
  FlakyCalls::interrupt_next = true;
  {
    ScopedPosixSysCalls flaky({&FlakyCalls::Pread, &FlakyCalls::Pwrite,
                               &FlakyCalls::Fdatasync, &FlakyCalls::Ftruncate,
                               &FlakyCalls::OfdLock});
    ASSERT_OK(file->WriteAt(0, Bytes("0123456789")));  // 4 pieces, 4 EINTRs
    EXPECT_EQ(FlakyCalls::calls, 8);
    char buffer[10];
    ASSERT_OK(ReadExact(*file, 0, buffer, Err::kInvalidDataFile));
    EXPECT_EQ(std::string(buffer, 10), "0123456789");
    ASSERT_OK(file->Sync());
    ASSERT_OK(file->Truncate(4));
    const int before_lock = FlakyCalls::calls;
    ASSERT_OK(file->Lock(0, 1, LockKind::kExclusive));
    ASSERT_OK(file->Unlock(0, 1));
    EXPECT_EQ(FlakyCalls::calls - before_lock, 4);  // each interrupted once
    // Opening places share bytes through the same calls.
    std::unique_ptr<File> other;
    ASSERT_OK(fs_.Open(dir_.File("ZUN.DAT"),
                       OpenOptions{.share = ShareMode::kDenyNone}, &other));
  }
  EXPECT_EQ(ReadAll(*file), "0123");
}

struct FailingCalls {
  static ssize_t Pread(int, void*, size_t, off_t) {
    errno = EIO;
    return -1;
  }
  static ssize_t Pwrite(int, const void*, size_t, off_t) {
    errno = ENOSPC;
    return -1;
  }
  static int Fdatasync(int) {
    errno = EIO;
    return -1;
  }
  static int Ftruncate(int, off_t) {
    errno = EROFS;
    return -1;
  }
  static int OfdLock(int, int, struct flock*) {
    errno = ENOLCK;
    return -1;
  }
};

TEST_F(PosixFileTest, SystemCallFailuresBecomeStatuses) {
  std::unique_ptr<File> file;
  ASSERT_OK(fs_.Open(dir_.File("ZUN.DAT"), CreateNew(), &file));
  ScopedPosixSysCalls failing({&FailingCalls::Pread, &FailingCalls::Pwrite,
                               &FailingCalls::Fdatasync,
                               &FailingCalls::Ftruncate,
                               &FailingCalls::OfdLock});
  char buffer[4];
  size_t got = 9;
  Status read = file->ReadAt(0, buffer, &got);
  EXPECT_EQ(read.code(), Err::kAccessDenied);
  EXPECT_EQ(got, 0u);
  EXPECT_NE(read.detail().find("Input/output error"), std::string::npos);
  // A read error is not a short read: ReadExact passes it up unchanged.
  EXPECT_STATUS_CODE(ReadExact(*file, 0, buffer, Err::kInvalidDataFile),
                     Err::kAccessDenied);

  Status write = file->WriteAt(0, Bytes("x"));
  EXPECT_EQ(write.code(), Err::kDiskFull);
  EXPECT_EQ(write.detail(),
            dir_.File("ZUN.DAT") + ": No space left on device");
  EXPECT_STATUS_CODE(file->Sync(), Err::kAccessDenied);
  EXPECT_STATUS_CODE(file->Truncate(0), Err::kAccessDenied);

  // A lock system that fails: a locking failure for Lock, and an open that
  // cannot place its share bytes is refused rather than left unprotected.
  Status lock = file->Lock(0, 1, LockKind::kExclusive);
  EXPECT_EQ(lock.code(), Err::kInvalidHandle);
  EXPECT_TRUE(IsLockingFailure(lock));
  EXPECT_NE(lock.detail().find("No locks available"), std::string::npos)
      << lock.detail();
  std::unique_ptr<File> other;
  Status open = fs_.Open(dir_.File("ZUN.DAT"), ReadOnly(), &other);
  EXPECT_EQ(open.code(), Err::kAccessDenied);
  EXPECT_NE(open.detail().find("No locks available"), std::string::npos)
      << open.detail();
  EXPECT_EQ(other, nullptr);
}

// --- Temporary files -----------------------------------------------------------

TEST_F(PosixFileTest, TemporaryFilesStartWithThePrefixAndVanishAtOnce) {
  ScopedEnv tmpdir("TMPDIR", dir_.path() + "/");
  std::unique_ptr<File> first;
  std::unique_ptr<File> second;
  ASSERT_OK(fs_.CreateTemp("TMP", &first));
  ASSERT_OK(fs_.CreateTemp("TMP", &second));

  const std::string expected_start = dir_.path() + "/TMP";
  EXPECT_EQ(first->path().rfind(expected_start, 0), 0u) << first->path();
  EXPECT_NE(first->path(), second->path());
  EXPECT_FALSE(fs_.Exists(first->path()));
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
  EXPECT_TRUE(::fcntl(PosixDescriptor(*first), F_GETFD) & FD_CLOEXEC);

  // Unnamed but fully usable, and private to each File.
  ASSERT_OK(first->WriteAt(0, Bytes("run 1")));
  ASSERT_OK(second->WriteAt(0, Bytes("run two")));
  EXPECT_EQ(ReadAll(*first), "run 1");
  EXPECT_EQ(ReadAll(*second), "run two");
}

TEST_F(PosixFileTest, TemporaryFileFailures) {
  std::unique_ptr<File> file;
  EXPECT_STATUS_CODE(fs_.CreateTemp("sub/TMP", &file), Err::kInvalidFilename);
  ScopedEnv tmpdir("TMPDIR", dir_.File("missing"));
  EXPECT_STATUS_CODE(fs_.CreateTemp("TMP", &file), Err::kFileNotFound);
  EXPECT_EQ(file, nullptr);
}

TEST_F(PosixFileTest, TemporaryDirectoryDefaultsToTmp) {
  ScopedEnv tmpdir("TMPDIR", "");
  std::unique_ptr<File> file;
  ASSERT_OK(fs_.CreateTemp("TMP", &file));
  EXPECT_EQ(file->path().rfind("/tmp/TMP", 0), 0u) << file->path();
}

// --- Names: remove, rename, exists, directory sync -------------------------------

TEST_F(PosixFileTest, RemoveAndRenameChangeNamesNotOpenFiles) {
  std::unique_ptr<File> file;
  ASSERT_OK(fs_.Open(dir_.File("ZUN.T00"), CreateNew(), &file));
  ASSERT_OK(file->WriteAt(0, Bytes("packed")));
  WriteRealFile(dir_.File("ZUN.DAT"), "old");

  ASSERT_OK(fs_.Rename(dir_.File("ZUN.T00"), dir_.File("ZUN.DAT")));
  EXPECT_FALSE(fs_.Exists(dir_.File("ZUN.T00")));
  std::unique_ptr<File> reopened;
  ASSERT_OK(fs_.Open(dir_.File("ZUN.DAT"), ReadOnly(), &reopened));
  EXPECT_EQ(ReadAll(*reopened), "packed");

  ASSERT_OK(fs_.Remove(dir_.File("ZUN.DAT")));
  EXPECT_FALSE(fs_.Exists(dir_.File("ZUN.DAT")));
  EXPECT_EQ(ReadAll(*file), "packed");  // the unnamed file lives on

  EXPECT_STATUS_CODE(fs_.Remove(dir_.File("ZUN.DAT")), Err::kFileNotFound);
  Status rename = fs_.Rename(dir_.File("NONE"), dir_.File("OTHER"));
  EXPECT_EQ(rename.code(), Err::kFileNotFound);
  EXPECT_NE(rename.detail().find("NONE"), std::string::npos);
}

TEST_F(PosixFileTest, SyncDirectory) {
  WriteRealFile(dir_.File("PLAIN"), "x");
  EXPECT_OK(fs_.SyncDirectory(dir_.path()));
  EXPECT_OK(fs_.SyncDirectory(""));  // the current directory
  EXPECT_STATUS_CODE(fs_.SyncDirectory(dir_.File("missing")),
                     Err::kFileNotFound);
  EXPECT_STATUS_CODE(fs_.SyncDirectory(dir_.File("PLAIN")),
                     Err::kPathNotFound);
}

// --- Name case ---------------------------------------------------------------------

TEST_F(PosixFileTest, ResolveNamePrefersTheExactThenTheOnlyOtherSpelling) {
  WriteRealFile(dir_.File("ZUN.DAT"), "");
  std::string resolved;
  ASSERT_OK(fs_.ResolveName(dir_.File("ZUN.DAT"), &resolved));
  EXPECT_EQ(resolved, dir_.File("ZUN.DAT"));
  ASSERT_OK(fs_.ResolveName(dir_.File("zun.dat"), &resolved));
  EXPECT_EQ(resolved, dir_.File("ZUN.DAT"));
  ASSERT_OK(fs_.ResolveName(dir_.File("Zun.K01"), &resolved));
  EXPECT_EQ(resolved, dir_.File("Zun.K01"));  // none: unchanged
  ASSERT_OK(fs_.ResolveName(dir_.File("nodir/zun.dat"), &resolved));
  EXPECT_EQ(resolved, dir_.File("nodir/zun.dat"));
}

TEST_F(PosixFileTest, ResolveNameRefusesTwoOtherSpellings) {
  WriteRealFile(dir_.File("ZUN.DAT"), "");
  WriteRealFile(dir_.File("zun.dat"), "");
  std::string resolved;
  ASSERT_OK(fs_.ResolveName(dir_.File("zun.dat"), &resolved));  // exact wins
  EXPECT_EQ(resolved, dir_.File("zun.dat"));

  Status status = fs_.ResolveName(dir_.File("Zun.Dat"), &resolved);
  EXPECT_EQ(status.code(), Err::kAccessDenied);
  EXPECT_NE(status.detail().find(dir_.File("ZUN.DAT")), std::string::npos)
      << status.detail();
  EXPECT_NE(status.detail().find(dir_.File("zun.dat")), std::string::npos)
      << status.detail();
}

TEST_F(PosixFileTest, ResolveNameFoldsOnlyAsciiLetters) {
  WriteRealFile(dir_.File("\xc4\xc0\xd2\xc0.DAT"), "");  // cp1251 capitals
  std::string resolved;
  ASSERT_OK(fs_.ResolveName(dir_.File("\xe4\xe0\xf2\xe0.dat"), &resolved));
  EXPECT_EQ(resolved, dir_.File("\xe4\xe0\xf2\xe0.dat"));
  ASSERT_OK(fs_.ResolveName(dir_.File("\xc4\xc0\xd2\xc0.dat"), &resolved));
  EXPECT_EQ(resolved, dir_.File("\xc4\xc0\xd2\xc0.DAT"));
}

// --- The handle table ----------------------------------------------------------------

TEST_F(PosixFileTest, OpenFilesAreInTheHandleTableUnderTheirAbsoluteName) {
  WriteRealFile(dir_.File("ZUN.DAT"), "");
  const std::string relative =
      std::filesystem::relative(dir_.File("ZUN.DAT")).string();
  ASSERT_NE(relative.front(), '/');

  std::unique_ptr<File> file;
  ASSERT_OK(fs_.Open(relative, ReadOnly(), &file));
  EXPECT_EQ(file->path(), relative);
  const FileHandle handle = file->handle();
  EXPECT_NE(handle, kNoFileHandle);
  std::optional<std::string> name = OpenHandles().Lookup(handle);
  ASSERT_TRUE(name.has_value());
  EXPECT_EQ(std::filesystem::weakly_canonical(*name),
            std::filesystem::weakly_canonical(dir_.File("ZUN.DAT")));
  EXPECT_EQ(name->front(), '/');

  std::unique_ptr<File> temp;
  ASSERT_OK(fs_.CreateTemp("TMP", &temp));
  EXPECT_EQ(OpenHandles().Lookup(temp->handle()), temp->path());

  file.reset();
  EXPECT_FALSE(OpenHandles().Lookup(handle).has_value());
}

// --- errno mapping -----------------------------------------------------------------

TEST(PosixErrorTest, ErrnoValuesMapToRuntimeNumbers) {
  struct Case {
    int error_number;
    int32_t at_open;
    int32_t elsewhere;
  };
  const Case cases[] = {
      {ENOENT, 2, 2},        {ENOTDIR, 3, 3},      {ELOOP, 3, 3},
      {EMFILE, 4, 4},        {ENFILE, 4, 4},       {EACCES, 5, 5},
      {EPERM, 5, 5},         {EROFS, 5, 5},        {ETXTBSY, 5, 5},
      {EBUSY, 5, 5},         {EBADF, 6, 6},        {ENAMETOOLONG, 45, 5},
      {ENOSPC, 39, 39},      {EIO, 5, 5},          {EISDIR, 5, 5},
      {EDQUOT, 39, 39},        {EEXIST, 5, 5},       {EINVAL, 5, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error_number);
    EXPECT_EQ(RuntimeErrorNumber(c.error_number, PosixCall::kOpen), c.at_open);
    EXPECT_EQ(RuntimeErrorNumber(c.error_number, PosixCall::kOther),
              c.elsewhere);
    EXPECT_EQ(PosixErrorStatus(c.error_number, "F", PosixCall::kOpen).code(),
              c.at_open);
  }
}

// A byte-range lock knows two outcomes besides success: someone else holds
// it (5, try again later) or the lock system failed (6, stop).
TEST(PosixErrorTest, LockErrnoValuesAreConflictsOrLockingFailures) {
  const std::pair<int, int32_t> cases[] = {
      {EAGAIN, 5}, {EACCES, 5},  {EBADF, 6}, {ENOLCK, 6},
      {EDEADLK, 6}, {EINVAL, 6}, {EIO, 6},   {EOVERFLOW, 6},
  };
  for (const auto& [error_number, code] : cases) {
    SCOPED_TRACE(error_number);
    Status status = PosixErrorStatus(error_number, "F", PosixCall::kLock);
    EXPECT_EQ(status.code(), code);
    EXPECT_EQ(IsLockingFailure(status), code != 5);
  }
  EXPECT_FALSE(IsLockingFailure(Status::OK()));
}

TEST(PosixErrorTest, StatusDetailIsPathThenErrnoText) {
  EXPECT_EQ(PosixErrorStatus(EACCES, "/data/ZUN.DAT", PosixCall::kOpen).detail(),
            "/data/ZUN.DAT: Permission denied");
  Status exists = PosixErrorStatus(EEXIST, "ZUN.DAT", PosixCall::kOpen);
  EXPECT_TRUE(exists.IsAlreadyExists());
  EXPECT_EQ(exists.ToString(), "5 (ZUN.DAT: File exists)");
  EXPECT_FALSE(PosixErrorStatus(EACCES, "ZUN.DAT", PosixCall::kOpen)
                   .IsAlreadyExists());
  EXPECT_FALSE(Status::Error(Err::kAccessDenied, "File exists").IsAlreadyExists());
}

}  // namespace
}  // namespace zuna::datfile
