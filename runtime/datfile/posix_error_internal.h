// errno -> runtime error number, for the POSIX implementation of os_file.h
// only.  This is the one place in the driver that reads errno: the
// functions below read it right after the failed call and turn it into a
// Status, so nothing above the OS layer ever sees an errno value.
//
// Threads: errno is per thread; call these on the thread that made the
// failed system call, before any other call that might change errno.
#ifndef ZUNA_RUNTIME_DATFILE_POSIX_ERROR_INTERNAL_H_
#define ZUNA_RUNTIME_DATFILE_POSIX_ERROR_INTERNAL_H_

#include <cstdint>
#include <string>

#include "runtime/datfile/status.h"

namespace zuna::datfile {

// Which kind of call failed: ENAMETOOLONG means "invalid file name" (45)
// only when it comes from opening or creating a file; a byte-range lock
// (kLock) knows only "held by another" and "the lock system failed".
enum class PosixCall { kOpen, kOther, kLock };

// The runtime number for `error_number`:
//   ENOENT -> 2; ENOTDIR, ELOOP -> 3; EMFILE, ENFILE -> 4;
//   EACCES, EPERM, EROFS, ETXTBSY, EBUSY -> 5; EBADF -> 6;
//   ENOSPC, EDQUOT -> 39 (disk full);
//   ENAMETOOLONG -> 45 for kOpen; everything else -> 5.
// For kLock: EAGAIN, EACCES (a conflicting lock) -> 5; everything else
// (EBADF, ENOLCK, EDEADLK, EINVAL, EIO ...) -> 6, a locking failure.
int32_t RuntimeErrorNumber(int error_number, PosixCall call);

// A Status for `error_number` with detail "<path>: <errno text>".  EEXIST
// gives Status::AlreadyExists (code 5).
Status PosixErrorStatus(int error_number, const std::string& path,
                        PosixCall call);

// PosixErrorStatus(errno, path, call): the Status for the system call that
// has just failed on this thread.
Status LastPosixError(const std::string& path, PosixCall call);

// True when the system call that has just failed on this thread was
// interrupted by a signal (EINTR) and should be made again.
bool LastCallInterrupted();

// True when the lock call that has just failed on this thread met another
// description's lock (EAGAIN or EACCES).
bool LastLockConflicted();

// True when the lock call that has just failed on this thread was refused
// for its offset (EINVAL, EOVERFLOW): a file system that cannot lock
// beyond 2 GiB.
bool LastLockOffsetRefused();

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_POSIX_ERROR_INTERNAL_H_
