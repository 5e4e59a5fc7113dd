// Test hooks of the POSIX implementation of os_file.h; only posix_file.cpp
// and its tests include this.
//
// The data-moving system calls go through a replaceable table, as SQLite's
// unix VFS does, so a test can make them return EINTR or transfer fewer
// bytes than asked and prove that the loops in PosixFile finish the job.
//
// Threads: the table is read without a lock by every PosixFile.  Replace it
// only in a test that opens no files on other threads, and restore it before
// the test ends (ScopedPosixSysCalls does).
#ifndef ZUNA_RUNTIME_DATFILE_POSIX_FILE_INTERNAL_H_
#define ZUNA_RUNTIME_DATFILE_POSIX_FILE_INTERNAL_H_

#include <sys/types.h>

#include "runtime/datfile/os_file.h"

namespace zuna::datfile {

struct PosixSysCalls {
  ssize_t (*pread)(int fd, void* buffer, size_t count, off_t offset);
  ssize_t (*pwrite)(int fd, const void* buffer, size_t count, off_t offset);
  int (*fdatasync)(int fd);
  int (*ftruncate)(int fd, off_t length);
};

// The table in use; starts as the real calls.
PosixSysCalls& ActivePosixSysCalls();

// Installs `calls` for its lifetime and puts the previous table back.
class ScopedPosixSysCalls final {
 public:
  explicit ScopedPosixSysCalls(const PosixSysCalls& calls)
      : saved_(ActivePosixSysCalls()) {
    ActivePosixSysCalls() = calls;
  }
  ~ScopedPosixSysCalls() { ActivePosixSysCalls() = saved_; }
  ScopedPosixSysCalls(const ScopedPosixSysCalls&) = delete;
  ScopedPosixSysCalls& operator=(const ScopedPosixSysCalls&) = delete;

 private:
  PosixSysCalls saved_;
};

// The descriptor behind a File from PosixFileSystem(), or -1 for any other
// File.  For tests that check descriptor flags (close-on-exec); the driver
// never reaches below the File interface.
int PosixDescriptor(const File& file);

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_POSIX_FILE_INTERNAL_H_
