// The driver's window on the operating system: files read and written at
// positions, flushed to disk, truncated; files removed, renamed, created as
// temporaries; directories synced.  Every access to a data, key, memo, log or
// temporary file goes through this interface, the checker's and zunatool's
// included, so tests can swap in an in-memory file system, a fault-injecting
// wrapper or a crash simulator (tests/support/).
//
// Errors: every failure is a Status carrying the runtime's number, mapped
// from errno in exactly one place of the POSIX implementation:
//   ENOENT -> 2; ENOTDIR, ELOOP -> 3; EMFILE, ENFILE -> 4;
//   EACCES, EPERM, EROFS, ETXTBSY, EBUSY -> 5; EBADF -> 6;
//   ENAMETOOLONG at open -> 45; anything else (ENOSPC, EIO ...) -> 5;
// with the errno text as the Status detail, for FILEERROR().
//
// Threads: a FileSystem may be used from any thread.  One File object is used
// by one thread at a time (its owner serialises); two File objects on the
// same path are independent open file descriptions.
#ifndef ZUNA_RUNTIME_DATFILE_OS_FILE_H_
#define ZUNA_RUNTIME_DATFILE_OS_FILE_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "runtime/datfile/status.h"

namespace zuna::datfile {

struct OpenOptions {
  bool write = false;      // ask for read and write access (else read only)
  bool create = false;     // create when missing
  bool exclusive = false;  // with create: fail (5) when the file exists
  bool truncate = false;   // cut to 0 bytes on open
};

class File {
 public:
  virtual ~File() = default;
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Reads up to out.size() bytes at `offset`; *bytes_read tells how many
  // (fewer only at the end of the file).  Retries EINTR and short reads.
  virtual Status ReadAt(uint64_t offset, std::span<char> out,
                        size_t* bytes_read) = 0;

  // Writes all of `data` at `offset`, extending the file when needed.
  // Retries EINTR and short writes; a failure may leave part written.
  virtual Status WriteAt(uint64_t offset, std::span<const char> data) = 0;

  // Puts the file's data on the disk (fdatasync): after OK, a power loss
  // keeps every write made before the call.
  virtual Status Sync() = 0;

  virtual Status Truncate(uint64_t size) = 0;
  virtual Status Size(uint64_t* size) = 0;

  // The full name the file was opened under.
  virtual const std::string& path() const = 0;
};

// Reads exactly out.size() bytes at `offset`; a short read is the error
// `short_read_code` (36 for data, 46 for keys, 73 for memo files ...).
Status ReadExact(File& file, uint64_t offset, std::span<char> out,
                 int32_t short_read_code);

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens `path` as a new, independent open file description (never a dup
  // of another), close-on-exec.
  virtual Status Open(const std::string& path, const OpenOptions& options,
                      std::unique_ptr<File>* file) = 0;

  // A new empty temporary file in the system's temporary directory ($TMPDIR
  // or /tmp) whose name begins with `prefix` ("TMP"); removed from the
  // directory at once where the platform allows, else when the File closes.
  virtual Status CreateTemp(const std::string& prefix,
                            std::unique_ptr<File>* file) = 0;

  virtual Status Remove(const std::string& path) = 0;
  virtual Status Rename(const std::string& from, const std::string& to) = 0;
  virtual bool Exists(const std::string& path) = 0;

  // Makes creations, renames and removals in `directory` durable.
  virtual Status SyncDirectory(const std::string& directory) = 0;

  // The name to use for `path`: the exact name when it exists, else the one
  // directory entry that matches it ignoring ASCII case, else `path`
  // unchanged (a file to be created keeps the canonical spelling).  Two
  // entries matching ignoring case: error 5, the name is ambiguous.
  virtual Status ResolveName(const std::string& path, std::string* resolved) = 0;
};

// The real file system (POSIX).  Lives for the whole process.
FileSystem& PosixFileSystem();

// The process-wide table of open handles to full names, which the
// transaction log uses to name the files it protects: see handle_table.h.

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_OS_FILE_H_
