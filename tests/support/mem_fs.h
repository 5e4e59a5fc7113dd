// An in-memory FileSystem for driver tests: fast, private to the test, and
// open to examination (what bytes a file holds, how often it was written or
// synced) and to damage (replace a file's bytes to test corruption checks).
//
// It behaves as PosixFileSystem() does for the same calls (the same results
// and error numbers; mem_fs_test.cpp runs one table of operations against
// both), with these simplifications:
//  - Paths are names, not resolved against a real directory: relative names
//    are taken from "/" ("ZUN.DAT" and "/ZUN.DAT" are one file); empty and
//    "." components are ignored; ".." is an ordinary name.
//  - Directories exist implicitly: a file may be created anywhere unless
//    strict directories are on (set_strict_directories), in which case the
//    parent must be "/" or made by CreateDirectory, else 3 as for a real
//    missing directory.  A file used as a directory is 3 either way.
//  - A file holds at most kMaxFileSize bytes; beyond that is 5 ("File too
//    large"), so a stray offset cannot exhaust the test machine's memory.
//  - Sync and SyncDirectory only count; nothing is ever lost.
//  - Share modes and byte-range locks follow the same rules as the real
//    ones (os_file.h): they belong to one File, conflict between any two
//    Files of the file whatever thread or test made them, and go when the
//    File is destroyed; a kExclusive lock through a read-only File is 6.
//    Share modes are kept as a list of openers, not as locks on reserved
//    bytes, so no real byte is ever reserved here.
//  - LocksAreHostLocal answers what set_host_local_locks said (default:
//    false), so a driver test can make the warning appear.
//
// Files are shared by name like real files: every File opened on a name
// sees the same bytes; Remove and Rename change names only, so an open File
// keeps its bytes after its name is removed.  Each open File is entered in
// the process-wide handle table under its normalised name ("/ZUN.DAT").
//
// Threads: every method may be called from any thread; one mutex guards
// all state.  Files may outlive the MemFileSystem that made them.
#ifndef ZUNA_TESTS_SUPPORT_MEM_FS_H_
#define ZUNA_TESTS_SUPPORT_MEM_FS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/datfile/os_file.h"

namespace zuna::testing {

namespace mem_fs_internal {
struct State;  // shared by a MemFileSystem and the Files it opened
}  // namespace mem_fs_internal

// What happened to one file through File objects (not through SetContents).
struct FileCounters {
  uint64_t writes = 0;         // WriteAt calls, the empty ones included
  uint64_t bytes_written = 0;
  uint64_t syncs = 0;
  uint64_t truncates = 0;      // Truncate calls and opens with truncate
  uint64_t locks = 0;          // Lock calls, refused ones included
};

class MemFileSystem final : public datfile::FileSystem {
 public:
  static constexpr uint64_t kMaxFileSize = uint64_t{1} << 30;

  MemFileSystem();
  ~MemFileSystem() override;
  MemFileSystem(const MemFileSystem&) = delete;
  MemFileSystem& operator=(const MemFileSystem&) = delete;

  // datfile::FileSystem.  CreateTemp makes an anonymous file named like
  // "/tmp/TMP000001" that no other call can reach by name.
  datfile::Status Open(const std::string& path,
                       const datfile::OpenOptions& options,
                       std::unique_ptr<datfile::File>* file) override;
  datfile::Status CreateTemp(const std::string& prefix,
                             std::unique_ptr<datfile::File>* file) override;
  datfile::Status Remove(const std::string& path) override;
  datfile::Status Rename(const std::string& from,
                         const std::string& to) override;
  bool Exists(const std::string& path) override;
  datfile::Status SyncDirectory(const std::string& directory) override;
  datfile::Status ResolveName(const std::string& path,
                              std::string* resolved) override;
  datfile::Status ProbeUnused(const std::string& path) override;
  bool LocksAreHostLocal(const std::string& path,
                         std::string* reason) override;

  // The bytes of the file named `path`; empty when there is none.
  std::string Contents(const std::string& path) const;
  // Replaces the bytes of `path`, creating the file when missing.  Open
  // Files see the new bytes at once.  Counts nothing.
  void SetContents(const std::string& path, std::string bytes);

  // Counters of the file now named `path` (zeros when there is none).
  FileCounters Counters(const std::string& path) const;
  // Counters of every file together, temporary files included.
  FileCounters TotalCounters() const;
  // SyncDirectory calls on `directory` (normalised like a path).
  uint64_t DirectorySyncs(const std::string& directory) const;
  // Sets every counter to zero.
  void ResetCounters();

  // The names of all files, sorted, normalised ("/ZUN.DAT").
  std::vector<std::string> ListFiles() const;
  // File objects from this file system not yet destroyed (temporary files
  // included), to prove that a failed open closed what it had opened.
  size_t OpenFileCount() const;
  // Byte ranges locked by Files on the file now named `path`, as locked
  // (adjacent ones are not merged): 0 proves every lock was given back.
  size_t HeldLockCount(const std::string& path) const;

  // From now on LocksAreHostLocal answers true with `reason`; an empty
  // reason makes it answer false again.
  void set_host_local_locks(std::string reason);

  void CreateDirectory(const std::string& path);
  void set_strict_directories(bool strict);

  // The directory CreateTemp names its files in (default "/tmp").
  void set_temp_directory(const std::string& directory);

 private:
  std::shared_ptr<mem_fs_internal::State> state_;
};

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_MEM_FS_H_
