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
// only when it comes from opening or creating a file.
enum class PosixCall { kOpen, kOther };

// The runtime number for `error_number`:
//   ENOENT -> 2; ENOTDIR, ELOOP -> 3; EMFILE, ENFILE -> 4;
//   EACCES, EPERM, EROFS, ETXTBSY, EBUSY -> 5; EBADF -> 6;
//   ENAMETOOLONG -> 45 for kOpen; everything else -> 5.
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

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_POSIX_ERROR_INTERNAL_H_
