// The driver's window on the operating system: files read and written at
// positions, flushed to disk, truncated; byte ranges locked; files opened
// with a share mode; files removed, renamed, created as temporaries;
// directories synced.  Every access to a data, key, memo, log or temporary
// file goes through this interface, the checker's and zunatool's included,
// so tests can swap in an in-memory file system, a fault-injecting wrapper
// or a crash simulator (tests/support/).
//
// Errors: every failure is a Status carrying the runtime's number, mapped
// from errno in exactly one place of the POSIX implementation
// (posix_error_internal.h):
//   ENOENT -> 2; ENOTDIR, ELOOP -> 3; EMFILE, ENFILE -> 4;
//   EACCES, EPERM, EROFS, ETXTBSY, EBUSY -> 5; EBADF -> 6;
//   ENOSPC, EDQUOT -> 39 (disk full);
//   ENAMETOOLONG at open -> 45; anything else (EIO, EFBIG ...) -> 5;
// with "<path>: <errno text>" as the Status detail, for FILEERROR().
// An exclusive create that finds the name taken is 5 as well, but made by
// Status::AlreadyExists(), so IsAlreadyExists(status) tells it apart.
// Byte-range locks have their own rule (File::Lock): 5 is a conflict with
// another opener, any other failure is fatal (IsLockingFailure).
//
// Threads: a FileSystem may be used from any thread.  One File object is used
// by one thread at a time (its owner serialises); two File objects on the
// same path are independent open file descriptions: their locks and share
// modes exclude each other exactly as two processes' (stations') would.
//
// Sharing between stations
// ------------------------
// Locks are open-file-description locks: they belong to one File, not to
// the process, so two Files of one process conflict like two stations, and
// closing one File never drops another's locks.  A lock lasts until it is
// unlocked or its File is destroyed; a process that dies (even by SIGKILL)
// loses all its locks.  Locks are advisory: they stop only those who ask,
// and reads and writes are never blocked by them.
//
// Share modes are kept as shared locks on reserved bytes far beyond any
// data ("share bytes"), held for as long as the File is open:
//
//   OFFSET          HELD BY AN OPENER THAT ...
//   base + 0        reads (every opener: all opens ask for read)
//   base + 1        writes (OpenOptions::write)
//   base + 2        denies read (kDenyRead, kDenyAll)
//   base + 3        denies write (kDenyWrite, kDenyAll)
//   base + 4        the open gate: held for the few microseconds an open
//                   takes to check and place the four bytes above
//
// where base is kShareLockBase, or kFallbackShareLockBase on a file system
// that refuses lock offsets beyond 2 GiB (EINVAL/EOVERFLOW; NFSv2, some
// SMB1 servers).  Every station reaching a file through the same kind of
// mount makes the same choice; a station reaching it through a mount of the
// other kind would not see these locks (run all stations over one kind of
// mount).  An open is refused with 5 when another opener denies what it
// asks (read or write), or holds what it denies.  Only opens made through
// this layer take part: an editor or `cp` opening ZUN.DAT is not seen.
//
// Byte ranges a caller locks must end at or below kLockRangeLimit, so they
// never meet the share bytes of either base.
#ifndef ZUNA_RUNTIME_DATFILE_OS_FILE_H_
#define ZUNA_RUNTIME_DATFILE_OS_FILE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "runtime/datfile/status.h"

namespace zuna::datfile {

// The number under which an open File is entered in the process-wide table of
// open handles (handle_table.h).  Never reused within a process, so a stale
// number finds nothing rather than another file.  0 is never a handle.
using FileHandle = uint64_t;
inline constexpr FileHandle kNoFileHandle = 0;

// Who else may have the file open while this File has it (the share part
// of the runtime's open mode word; ShareModeFromMode converts).
enum class ShareMode : uint8_t {
  kCompat,     // 0x00: denies nothing (the driver does not call it shared)
  kDenyAll,    // 0x10: no other opener at all
  kDenyWrite,  // 0x20: other openers may only read
  kDenyRead,   // 0x30: no other opener may read -- and every open here
               // reads, so in effect no other opener at all
  kDenyNone,   // 0x40: anyone may read and write
};

// The ShareMode for `mode & ~3` of an open mode word (0x00, 0x10, 0x20,
// 0x30 or 0x40); nothing for any other value.
std::optional<ShareMode> ShareModeFromMode(uint32_t mode);

struct OpenOptions {
  bool write = false;      // ask for read and write access (else read only)
  bool create = false;     // create when missing
  bool exclusive = false;  // with create: fail when the file exists
                           // (IsAlreadyExists() is then true)
  bool truncate = false;   // cut to 0 bytes on open; REQUIRES: write.  Done
                           // only once the share mode is granted, so a
                           // refused open never cuts another station's file
  ShareMode share = ShareMode::kCompat;  // what other openers may do
};

// The share bytes (see the top of this file) and the limit for Lock ranges.
inline constexpr uint64_t kShareLockBase = 0x7FFFFFFF00000000;
inline constexpr uint64_t kFallbackShareLockBase = 0x7FFFFF00;
inline constexpr uint64_t kShareLockBytes = 5;
inline constexpr uint64_t kLockRangeLimit = kFallbackShareLockBase;
static_assert(kFallbackShareLockBase + kShareLockBytes <= 0x7FFFFFFF,
              "the fallback share bytes must fit in a signed 32-bit offset");

enum class LockKind {
  kShared,     // excludes others' exclusive locks on the range
  kExclusive,  // excludes every lock of another File on the range
};

// True for a failed Lock or Unlock that is not a plain conflict (5): the
// lock system itself failed (EBADF, ENOLCK, EDEADLK, a lost network lock,
// a range beyond kLockRangeLimit) and the caller cannot know what it
// holds.  The driver stops with "DOS FILE LOCKING ERROR"; it never goes on
// unlocked.  Such failures carry 6 and the errno text in the detail.
inline bool IsLockingFailure(const Status& status) {
  return !status.ok() && status.code() != Err::kAccessDenied;
}

class File {
 public:
  virtual ~File() = default;  // closes; never fails, never blocks on locks
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Reads up to out.size() bytes at `offset`; *bytes_read tells how many
  // (fewer only at the end of the file).  Retries EINTR and short reads.
  // On failure *bytes_read is 0.
  virtual Status ReadAt(uint64_t offset, std::span<char> out,
                        size_t* bytes_read) = 0;

  // Writes all of `data` at `offset`, extending the file when needed (a gap
  // reads back as zero bytes).  Retries EINTR and short writes; a failure
  // may leave part written.  Writing through a read-only File is 6.
  virtual Status WriteAt(uint64_t offset, std::span<const char> data) = 0;

  // Puts the file's data on the disk (fdatasync): after OK, a power loss
  // keeps every write made before the call.
  virtual Status Sync() = 0;

  // Sets the size; bytes added read as zeros.  REQUIRES: opened for write
  // (else 5).
  virtual Status Truncate(uint64_t size) = 0;
  virtual Status Size(uint64_t* size) = 0;

  // The name the file was opened under, exactly as given to Open (for a
  // temporary file: the name it had before it was unlinked).  Use it in
  // messages; the absolute name is in the handle table.
  virtual const std::string& path() const = 0;

  // This File's entry in the process-wide handle table (handle_table.h),
  // which maps it to the file's absolute name while the File is open.
  virtual FileHandle handle() const = 0;

  // Locks [offset, offset + length) for this File, without waiting: OK, or
  // 5 at once when another File (of any process) holds a conflicting lock
  // on any byte of it, the locks held before left unchanged.  Retrying and
  // timeouts are the caller's (nothing here waits or spins).  Any other
  // failure is a locking failure (IsLockingFailure): 6.
  // Locks are not counted: locking a range this File already holds makes
  // it one lock of the new kind (a change to kExclusive that meets another
  // File's shared lock is 5, and the old kind stays).
  // REQUIRES: length >= 1; offset + length <= kLockRangeLimit; kExclusive
  // only on a File opened for write (the system cannot write-lock a
  // read-only file: 6) -- a read-only station takes kShared instead, which
  // still keeps writers out while it reads.
  virtual Status Lock(uint64_t offset, uint64_t length, LockKind kind) = 0;

  // Gives up whatever this File holds of [offset, offset + length); bytes
  // it does not hold are ignored (OK).  Fails only as a locking failure (6).
  // REQUIRES: as for Lock.
  virtual Status Unlock(uint64_t offset, uint64_t length) = 0;

  // OK when no other open file description -- another File of this process
  // or another station -- has the file open through this layer; 5 when one
  // has (or is opening it right now).  For EMPTY, PACK and BUILD on a file
  // this File has open.  The answer may be stale the moment it is given:
  // to keep others out, open with kDenyAll instead.
  virtual Status ProbeSoleOpener() = 0;
};

// Reads exactly out.size() bytes at `offset`; a short read is the error
// `short_read_code` (36 for data, 46 for keys, 73 for memo files ...) with
// the path and offset in the detail; other failures pass up unchanged.
Status ReadExact(File& file, uint64_t offset, std::span<char> out,
                 int32_t short_read_code);

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens `path` as a new, independent open file description (never a dup
  // of another), close-on-exec, with the share mode of `options` (see the
  // top of this file).  The system is asked for read access, and for write
  // access too when options.write.  A share-mode conflict with another
  // opener is 5 ("sharing violation" in the detail); so is a file system
  // that cannot lock at all (the errno text in the detail).  The open gate
  // is waited for at most about a second (another station holds it only
  // while it opens).  On failure *file is left empty and nothing stays
  // open; a file the call created stays created.
  virtual Status Open(const std::string& path, const OpenOptions& options,
                      std::unique_ptr<File>* file) = 0;

  // A new empty read-write temporary file in the system's temporary
  // directory ($TMPDIR or /tmp) whose name begins with `prefix` ("TMP");
  // removed from the directory at once, so it vanishes when closed or when
  // the process dies.  `prefix` must not contain '/' (45).
  virtual Status CreateTemp(const std::string& prefix,
                            std::unique_ptr<File>* file) = 0;

  // Remove and Rename work on names only: Files already open on the name go
  // on reading and writing the same (now unnamed or renamed) file.  Rename
  // replaces an existing `to` atomically.
  virtual Status Remove(const std::string& path) = 0;
  virtual Status Rename(const std::string& from, const std::string& to) = 0;
  virtual bool Exists(const std::string& path) = 0;

  // Makes creations, renames and removals in `directory` durable.  An empty
  // `directory` is the current one.
  virtual Status SyncDirectory(const std::string& directory) = 0;

  // The name to use for `path`: the exact name when it exists, else the one
  // entry of its directory whose name matches the last component ignoring
  // ASCII case (the directory part kept as given), else `path` unchanged (a
  // file to be created keeps the canonical spelling).  Two or more entries
  // matching ignoring case: error 5, the detail naming two of them.
  virtual Status ResolveName(const std::string& path, std::string* resolved) = 0;

  // OK when no File of any station has `path` open through this layer; 5
  // when one has (or is opening it right now); 2 or 3 when there is no such
  // file.  Opens nothing that outlives the call and takes no share bytes,
  // so it refuses nobody.  Before REMOVE and RENAME.  Racy by nature: a
  // station may open the file just after; to remove or rename with no
  // station able to interfere, hold the file open with kDenyAll meanwhile.
  virtual Status ProbeUnused(const std::string& path) = 0;

  // True when byte-range locks on files at `path` (a file or a name to be
  // created) are seen only by this host: an NFS mount with "nolock" or
  // "local_lock=all|posix", a CIFS mount with "nobrl", sshfs.  Stations on
  // other hosts would not see our locks, so sharing such a file between
  // hosts is unsafe; *reason then says which mount and why, for a warning.
  // False (and *reason empty) when locks reach the server or nothing can
  // be told (no /proc).  Never fails.
  virtual bool LocksAreHostLocal(const std::string& path,
                                 std::string* reason) = 0;
};

// The real file system (POSIX).  Lives for the whole process.
FileSystem& PosixFileSystem();

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_OS_FILE_H_
