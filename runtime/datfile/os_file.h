// The driver's window on the operating system: files read and written at
// positions, flushed to disk, truncated; files removed, renamed, created as
// temporaries; directories synced.  Every access to a data, key, memo, log or
// temporary file goes through this interface, the checker's and zunatool's
// included, so tests can swap in an in-memory file system, a fault-injecting
// wrapper or a crash simulator (tests/support/).
//
// Errors: every failure is a Status carrying the runtime's number, mapped
// from errno in exactly one place of the POSIX implementation
// (posix_error_internal.h):
//   ENOENT -> 2; ENOTDIR, ELOOP -> 3; EMFILE, ENFILE -> 4;
//   EACCES, EPERM, EROFS, ETXTBSY, EBUSY -> 5; EBADF -> 6;
//   ENAMETOOLONG at open -> 45; anything else (ENOSPC, EIO ...) -> 5;
// with "<path>: <errno text>" as the Status detail, for FILEERROR().
// An exclusive create that finds the name taken is 5 as well, but made by
// Status::AlreadyExists(), so IsAlreadyExists(status) tells it apart.
//
// Threads: a FileSystem may be used from any thread.  One File object is used
// by one thread at a time (its owner serialises); two File objects on the
// same path are independent open file descriptions.
//
// Byte-range locks and share modes are not here yet.  When they come they
// belong to the File (an open-file-description lock is owned by exactly the
// description one File wraps, which is why Open never dup()s) and to
// OpenOptions (the share mode).
#ifndef ZUNA_RUNTIME_DATFILE_OS_FILE_H_
#define ZUNA_RUNTIME_DATFILE_OS_FILE_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "runtime/datfile/status.h"

namespace zuna::datfile {

// The number under which an open File is entered in the process-wide table of
// open handles (handle_table.h).  Never reused within a process, so a stale
// number finds nothing rather than another file.  0 is never a handle.
using FileHandle = uint64_t;
inline constexpr FileHandle kNoFileHandle = 0;

struct OpenOptions {
  bool write = false;      // ask for read and write access (else read only)
  bool create = false;     // create when missing
  bool exclusive = false;  // with create: fail when the file exists
                           // (IsAlreadyExists() is then true)
  bool truncate = false;   // cut to 0 bytes on open; REQUIRES: write
};

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
  // of another), close-on-exec.  On failure *file is left empty.
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
};

// The real file system (POSIX).  Lives for the whole process.
FileSystem& PosixFileSystem();

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_OS_FILE_H_
