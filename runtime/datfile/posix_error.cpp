#include "runtime/datfile/posix_error_internal.h"

#include <cerrno>
#include <cstring>
#include <type_traits>

namespace zuna::datfile {

namespace {

// strerror() may share one buffer between threads; strerror_r comes in a
// GNU flavour (returns the text) and an XSI one (fills the buffer), and
// which one we get depends on feature macros, so accept both.
[[maybe_unused]] const char* PickText(int result, const char* buffer) {
  return result == 0 ? buffer : "Unknown error";
}
[[maybe_unused]] const char* PickText(const char* result, const char*) {
  return result;
}

std::string ErrorText(int error_number) {
  char buffer[256] = {};
  return PickText(::strerror_r(error_number, buffer, sizeof(buffer)), buffer);
}

}  // namespace

int32_t RuntimeErrorNumber(int error_number, PosixCall call) {
  if (call == PosixCall::kLock) {
    // POSIX lets a refused non-blocking lock say either EAGAIN or EACCES.
    // Anything else means the lock was not placed for a reason retrying
    // will not cure; 6 keeps it apart from a conflict.
    return error_number == EAGAIN || error_number == EACCES
               ? Err::kAccessDenied
               : Err::kInvalidHandle;
  }
  switch (error_number) {
    case ENOENT:
      return Err::kFileNotFound;
    case ENOTDIR:
    case ELOOP:
      return Err::kPathNotFound;
    case EMFILE:
    case ENFILE:
      return Err::kTooManyFiles;
    case EBADF:
      return Err::kInvalidHandle;
    case ENOSPC:
    case EDQUOT:
      // Out of space or out of the user's quota: either way nothing more
      // fits, and the user must make room; "access denied" would send
      // them looking at permissions.
      return Err::kDiskFull;
    case ENAMETOOLONG:
      return call == PosixCall::kOpen ? Err::kInvalidFilename
                                      : Err::kAccessDenied;
    default:
      // EACCES, EPERM, EROFS, ETXTBSY, EBUSY, and every failure with no
      // number of its own (EIO, EISDIR, EFBIG ...): "access denied",
      // with the errno text in the detail to tell them apart.
      return Err::kAccessDenied;
  }
}

Status PosixErrorStatus(int error_number, const std::string& path,
                        PosixCall call) {
  std::string detail = path + ": " + ErrorText(error_number);
  if (error_number == EEXIST) return Status::AlreadyExists(std::move(detail));
  return Status::Error(RuntimeErrorNumber(error_number, call),
                       std::move(detail));
}

Status LastPosixError(const std::string& path, PosixCall call) {
  return PosixErrorStatus(errno, path, call);
}

bool LastCallInterrupted() { return errno == EINTR; }

bool LastLockConflicted() { return errno == EAGAIN || errno == EACCES; }

bool LastLockOffsetRefused() { return errno == EINVAL || errno == EOVERFLOW; }

}  // namespace zuna::datfile
