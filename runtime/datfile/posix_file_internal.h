// Internals and test hooks of the POSIX implementation of os_file.h; only
// posix_file.cpp, posix_lock*.cpp and their tests include this.
//
// The data-moving and locking system calls go through a replaceable table,
// as SQLite's unix VFS does, so a test can make them return EINTR, transfer
// fewer bytes than asked or refuse high lock offsets, and prove that the
// code above them copes.
//
// Threads: the table is read without a lock by every PosixFile.  Replace it
// only in a test that opens no files on other threads, and restore it before
// the test ends (ScopedPosixSysCalls does).
#ifndef ZUNA_RUNTIME_DATFILE_POSIX_FILE_INTERNAL_H_
#define ZUNA_RUNTIME_DATFILE_POSIX_FILE_INTERNAL_H_

#include <fcntl.h>
#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>

#include "runtime/datfile/os_file.h"

namespace zuna::datfile {

struct PosixSysCalls {
  ssize_t (*pread)(int fd, void* buffer, size_t count, off_t offset);
  ssize_t (*pwrite)(int fd, const void* buffer, size_t count, off_t offset);
  int (*fdatasync)(int fd);
  int (*ftruncate)(int fd, off_t length);
  // fcntl(fd, command, lock) for the F_OFD_SETLK and F_OFD_GETLK commands.
  int (*ofd_lock)(int fd, int command, struct flock* lock);
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

// --- Locks on a descriptor (posix_lock.cpp) ----------------------------------
// Open-file-description locks only, never classic fcntl record locks or
// flock(); each function makes its calls through ActivePosixSysCalls().

// File::Lock and File::Unlock for the description `fd` (`path` for details).
Status PosixLockRange(int fd, const std::string& path, uint64_t offset,
                      uint64_t length, LockKind kind);
Status PosixUnlockRange(int fd, const std::string& path, uint64_t offset,
                        uint64_t length);

// Places the share bytes of a fresh description `fd` (opened for write when
// `write`) for `share`, under the open gate, as os_file.h describes; sets
// *base to the base it used.  OK; 5 on a conflict with another opener or
// when the gate stays busy; 5 with the errno text when the file system
// cannot lock.  On failure the caller closes `fd`, which drops whatever was
// placed.
//
// A writer holds the gate exclusively, so its placing and checking is one
// step for everybody else.  A read-only description cannot take an
// exclusive lock, so readers hold the gate shared, place their bytes first
// and check after: two readers opening at the same moment each see the
// other's bytes, and when one of them denies read both may be refused --
// never both admitted.
Status PosixTakeShareBytes(int fd, const std::string& path, bool write,
                           ShareMode share, uint64_t* base);

// OK when no other description holds any of the five share bytes at
// `base`; 5 when one does.
Status PosixProbeShareBytes(int fd, const std::string& path, uint64_t base);

// PosixProbeShareBytes at kShareLockBase, or at kFallbackShareLockBase when
// the file system refuses the high offset.
Status PosixProbeShareBytesAtEitherBase(int fd, const std::string& path);

// How long an open waits for another opener's gate before giving up with
// 5 (default one second; tests shorten it).
std::chrono::milliseconds ShareGateWait();
void SetShareGateWait(std::chrono::milliseconds wait);

// --- Mounts whose locks stay on this host (posix_lock_mounts.cpp) -----------

// Given the text of /proc/self/mountinfo and an absolute path with symbolic
// links resolved, finds the mount holding the path (the longest mount point
// that contains it; of equal ones the last, which is on top) and tells
// whether its byte-range locks are seen only by this host: NFS with
// "nolock" or "local_lock=all|posix" (local_lock=flock affects only
// flock(), which nothing here uses), CIFS/SMB3 with "nobrl", fuse.sshfs.
// Then *reason names the mount point, type and option.  Lines that do not
// parse are skipped.
bool MountKeepsLocksLocal(std::string_view mountinfo,
                          const std::string& real_path, std::string* reason);

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_POSIX_FILE_INTERNAL_H_
