// A FileSystem that passes every call to another one and fails the calls a
// test chooses: the Nth call of a kind, once (transient) or from then on
// (persistent), with a chosen error number; a short write (the first k bytes
// reach the file, then the write fails); a full disk (writes that would grow
// files beyond a byte budget fail with 5 "No space left on device").
//
// Made for I/O-fault loops:
//
//   for (uint64_t n = 1;; ++n) {
//     MemFileSystem mem;  ... set up ...
//     FaultFileSystem fs(mem);
//     fs.FailNth(FaultKind::kWrite, n, FaultMode::kTransient);
//     Status status = OperationUnderTest(fs);
//     if (fs.FaultsFired() == 0) { ASSERT_OK(status); break; }  // past the end
//     ... check status, reopen, check the checker and the content ...
//   }
//
// Counting: each kind has a call counter (Calls) counting every call since
// construction or ResetCounters.  An armed fault counts separately the calls
// it matches, from the moment it is armed; the Nth of those fails.  Calls
// that fail injected do not reach the wrapped file system, except the bytes
// a short write or a full disk lets through.
//
// Kinds: kOpen covers Open and CreateTemp; kRead, kWrite, kSync, kTruncate,
// kSize are the File methods; kRemove, kRename, kSyncDirectory the
// FileSystem ones; kLock covers File::Lock and File::Unlock (code 5 plays
// another station's lock, 6 a failing lock system); kProbe covers
// File::ProbeSoleOpener and FileSystem::ProbeUnused (5 plays "in use").
// Exists, ResolveName and LocksAreHostLocal never fail.
//
// Ownership: the wrapped FileSystem must outlive this one and every File it
// opened.  Files opened here may outlive the FaultFileSystem.
// Threads: any thread; one mutex guards the counters and the faults (it is
// not held while the wrapped file system works).
#ifndef ZUNA_TESTS_SUPPORT_FAULT_FS_H_
#define ZUNA_TESTS_SUPPORT_FAULT_FS_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "runtime/datfile/os_file.h"

namespace zuna::testing {

enum class FaultKind {
  kOpen,
  kRead,
  kWrite,
  kSync,
  kTruncate,
  kSize,
  kRemove,
  kRename,
  kSyncDirectory,
  kLock,
  kProbe,
};
inline constexpr size_t kFaultKindCount = 11;

enum class FaultMode {
  kTransient,   // the Nth matching call fails, later ones succeed
  kPersistent,  // the Nth matching call and every one after it fail
};

struct Fault {
  FaultKind kind = FaultKind::kWrite;
  uint64_t nth = 1;  // 1 = the first matching call after arming
  FaultMode mode = FaultMode::kTransient;
  int32_t code = 5;
  std::string detail = "Input/output error";  // after "<path>: "
  // Only calls on a path containing this text match ("" = every path; the
  // path is the File's path(), CreateTemp's prefix, Rename's source).
  std::string path_contains;
  // kWrite only: this many leading bytes are written before the failure.
  std::optional<size_t> bytes_kept;
};

class FaultFileSystem final : public datfile::FileSystem {
 public:
  explicit FaultFileSystem(datfile::FileSystem& base);
  ~FaultFileSystem() override;
  FaultFileSystem(const FaultFileSystem&) = delete;
  FaultFileSystem& operator=(const FaultFileSystem&) = delete;

  // Arms `fault`, replacing any fault of the same kind.
  void Inject(Fault fault);
  // Inject() with the common fields.
  void FailNth(FaultKind kind, uint64_t nth, FaultMode mode,
               int32_t code = 5);
  // The nth write writes only its first `bytes_kept` bytes, then fails (5).
  void ShortWriteNth(uint64_t nth, size_t bytes_kept,
                     FaultMode mode = FaultMode::kTransient);
  // From now on, writes and truncations may grow files by `bytes` in total;
  // the write that would pass the budget writes what fits and fails with 39
  // "No space left on device", as do all growing writes after it.  Space is
  // not given back by shrinking or removing files.
  void SetDiskSpace(uint64_t bytes);
  // Disarms every fault and the disk budget; counters stay.
  void ClearFaults();

  // Calls of `kind` since construction or ResetCounters.
  uint64_t Calls(FaultKind kind) const;
  // Injected failures (disk full included) since construction or
  // ResetCounters.
  uint64_t FaultsFired() const;
  void ResetCounters();

  // datfile::FileSystem
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

  struct State;  // shared with the Files opened here

 private:
  datfile::FileSystem& base_;
  std::shared_ptr<State> state_;
};

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_FAULT_FS_H_
