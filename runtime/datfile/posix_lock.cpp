// Byte-range locks and share modes over open-file-description locks.
//
// Why OFD locks (F_OFD_SETLK, F_OFD_GETLK) and nothing else: a classic
// fcntl record lock belongs to the process, so two Files of one process
// never conflict, and closing any descriptor of the file drops every lock
// the process holds on it.  flock() would collide with byte-range locks on
// NFS, where it is emulated by one.  An OFD lock belongs to one open file
// description, which is exactly one File here (Open never dup()s).
#include <fcntl.h>

#include <atomic>
#include <cerrno>  // EINVAL for a range refused here, not errno
#include <chrono>
#include <thread>

#include "runtime/datfile/os_file.h"
#include "runtime/datfile/posix_error_internal.h"
#include "runtime/datfile/posix_file_internal.h"

namespace zuna::datfile {

namespace {

// Offsets of the share bytes from the base (os_file.h draws the layout).
constexpr uint64_t kReadAccessByte = 0;
constexpr uint64_t kWriteAccessByte = 1;
constexpr uint64_t kDenyReadByte = 2;
constexpr uint64_t kDenyWriteByte = 3;
constexpr uint64_t kGateByte = 4;
static_assert(kDenyWriteByte < kGateByte && kGateByte + 1 == kShareLockBytes);

std::atomic<int64_t> gate_wait_ms{1000};

// The gate is held for microseconds; 1 ms between attempts costs nothing
// and keeps a waiting opener off the CPU.
constexpr auto kGatePause = std::chrono::milliseconds(1);

// One OFD lock call; EINTR (possible on network file systems) is retried.
// Returns 0, or -1 with errno set.
int OfdCall(int fd, int command, short type, uint64_t offset, uint64_t length,
            struct flock* result = nullptr) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  lock.l_pid = 0;  // the kernel insists on 0 for OFD locks
  int rc;
  do {
    rc = ActivePosixSysCalls().ofd_lock(fd, command, &lock);
  } while (rc != 0 && LastCallInterrupted());
  if (rc == 0 && result != nullptr) *result = lock;
  return rc;
}

std::string RangeText(const std::string& path, uint64_t offset,
                      uint64_t length) {
  return path + " (lock of " + std::to_string(length) + " bytes at " +
         std::to_string(offset) + ")";
}

Status CheckRange(const std::string& path, uint64_t offset, uint64_t length) {
  if (length == 0 || offset > kLockRangeLimit ||
      length > kLockRangeLimit - offset) {
    return PosixErrorStatus(EINVAL, RangeText(path, offset, length),
                            PosixCall::kLock);
  }
  return Status::OK();
}

// 1 when another description holds a lock on [offset, offset + length),
// 0 when none does, -1 with errno set when the question failed.
int HeldByOther(int fd, uint64_t offset, uint64_t length) {
  struct flock found = {};
  // Asking about a write lock finds every lock another description holds;
  // this description's own locks never conflict with it, so they are never
  // reported.
  if (OfdCall(fd, F_OFD_GETLK, F_WRLCK, offset, length, &found) != 0) {
    return -1;
  }
  return found.l_type == F_UNLCK ? 0 : 1;
}

Status SharingViolation(const std::string& path) {
  return Status::Error(Err::kAccessDenied, path + ": sharing violation");
}

// Takes the open gate at *base (kShareLockBase first), exclusive for a
// writer and shared for a reader, waiting up to ShareGateWait().  When the
// file system refuses the high offset it switches *base to the fallback.
Status TakeGate(int fd, const std::string& path, bool write, uint64_t* base) {
  const short type = write ? F_WRLCK : F_RDLCK;
  const auto deadline = std::chrono::steady_clock::now() + ShareGateWait();
  *base = kShareLockBase;
  while (true) {
    if (OfdCall(fd, F_OFD_SETLK, type, *base + kGateByte, 1) == 0) {
      return Status::OK();
    }
    if (LastLockOffsetRefused() && *base == kShareLockBase) {
      *base = kFallbackShareLockBase;
      continue;
    }
    if (!LastLockConflicted()) {
      return LastPosixError(path + " (share-mode lock)", PosixCall::kOther);
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return Status::Error(Err::kAccessDenied,
                           path + ": sharing violation (open gate busy)");
    }
    std::this_thread::sleep_for(kGatePause);
  }
}

// The answer of a probe from HeldByOther's result (errno still set on -1).
Status InUseStatus(int held, const std::string& path) {
  if (held < 0) {
    return LastPosixError(path + " (share-mode lock)", PosixCall::kOther);
  }
  if (held > 0) {
    return Status::Error(Err::kAccessDenied,
                         path + ": in use by another station or File");
  }
  return Status::OK();
}

}  // namespace

std::chrono::milliseconds ShareGateWait() {
  return std::chrono::milliseconds(gate_wait_ms.load());
}

void SetShareGateWait(std::chrono::milliseconds wait) {
  gate_wait_ms.store(wait.count());
}

Status PosixLockRange(int fd, const std::string& path, uint64_t offset,
                      uint64_t length, LockKind kind) {
  ZUNA_RETURN_IF_ERROR(CheckRange(path, offset, length));
  const short type = kind == LockKind::kExclusive ? F_WRLCK : F_RDLCK;
  if (OfdCall(fd, F_OFD_SETLK, type, offset, length) != 0) {
    return LastPosixError(RangeText(path, offset, length), PosixCall::kLock);
  }
  return Status::OK();
}

Status PosixUnlockRange(int fd, const std::string& path, uint64_t offset,
                        uint64_t length) {
  ZUNA_RETURN_IF_ERROR(CheckRange(path, offset, length));
  if (OfdCall(fd, F_OFD_SETLK, F_UNLCK, offset, length) != 0) {
    // An unlock meets no conflict: whatever this is, the lock system failed.
    return PosixErrorStatus(EBADF, RangeText(path, offset, length),
                            PosixCall::kLock);
  }
  return Status::OK();
}

Status PosixTakeShareBytes(int fd, const std::string& path, bool write,
                           ShareMode share, uint64_t* base) {
  const bool deny_read =
      share == ShareMode::kDenyRead || share == ShareMode::kDenyAll;
  const bool deny_write =
      share == ShareMode::kDenyWrite || share == ShareMode::kDenyAll;
  ZUNA_RETURN_IF_ERROR(TakeGate(fd, path, write, base));

  // Our own bytes first (see PosixTakeShareBytes in the header for why a
  // reader must place before it checks); shared locks, so any number of
  // openers hold the same byte.
  struct Byte {
    uint64_t offset;
    bool wanted;
  };
  const Byte own[] = {{kReadAccessByte, true},
                      {kWriteAccessByte, write},
                      {kDenyReadByte, deny_read},
                      {kDenyWriteByte, deny_write}};
  for (const Byte& byte : own) {
    if (!byte.wanted) continue;
    if (OfdCall(fd, F_OFD_SETLK, F_RDLCK, *base + byte.offset, 1) != 0) {
      return LastPosixError(path + " (share-mode lock)", PosixCall::kOther);
    }
  }

  // Then what others hold against us: a denial of what we ask (every open
  // reads), or an access we deny.
  const Byte against[] = {{kDenyReadByte, true},
                          {kDenyWriteByte, write},
                          {kReadAccessByte, deny_read},
                          {kWriteAccessByte, deny_write}};
  for (const Byte& byte : against) {
    if (!byte.wanted) continue;
    const int held = HeldByOther(fd, *base + byte.offset, 1);
    if (held < 0) {
      return LastPosixError(path + " (share-mode lock)", PosixCall::kOther);
    }
    if (held > 0) return SharingViolation(path);
  }

  if (OfdCall(fd, F_OFD_SETLK, F_UNLCK, *base + kGateByte, 1) != 0) {
    return LastPosixError(path + " (share-mode lock)", PosixCall::kOther);
  }
  return Status::OK();
}

Status PosixProbeShareBytes(int fd, const std::string& path, uint64_t base) {
  // The gate counts too: its holder is opening the file at this moment.
  return InUseStatus(HeldByOther(fd, base, kShareLockBytes), path);
}

Status PosixProbeShareBytesAtEitherBase(int fd, const std::string& path) {
  int held = HeldByOther(fd, kShareLockBase, kShareLockBytes);
  if (held < 0 && LastLockOffsetRefused()) {
    held = HeldByOther(fd, kFallbackShareLockBase, kShareLockBytes);
  }
  return InUseStatus(held, path);
}

}  // namespace zuna::datfile
