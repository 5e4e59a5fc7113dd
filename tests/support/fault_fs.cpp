#include "tests/support/fault_fs.h"

#include <algorithm>
#include <array>
#include <mutex>

namespace zuna::testing {

using datfile::Status;

struct FaultFileSystem::State {
  struct Armed {
    Fault fault;
    uint64_t matched = 0;  // matching calls since armed
  };

  std::mutex mutex;
  // All below guarded by mutex.
  std::array<uint64_t, kFaultKindCount> calls{};
  std::array<std::optional<Armed>, kFaultKindCount> armed;
  std::optional<uint64_t> disk_space;  // growth still allowed
  uint64_t fired = 0;

  // Counts a call of `kind` on `path`; the Status to fail it with, if an
  // armed fault says so, else OK.  *bytes_kept tells how much of a failing
  // write still reaches the file.
  Status Check(FaultKind kind, const std::string& path,
               size_t* bytes_kept = nullptr) {
    std::lock_guard<std::mutex> lock(mutex);
    const auto index = static_cast<size_t>(kind);
    ++calls[index];
    std::optional<Armed>& armed_fault = armed[index];
    if (!armed_fault) return Status::OK();
    const Fault& fault = armed_fault->fault;
    if (!fault.path_contains.empty() &&
        path.find(fault.path_contains) == std::string::npos) {
      return Status::OK();
    }
    const uint64_t matched = ++armed_fault->matched;
    const bool fires = matched == fault.nth ||
                       (fault.mode == FaultMode::kPersistent && matched > fault.nth);
    if (!fires) return Status::OK();
    ++fired;
    if (bytes_kept != nullptr) *bytes_kept = fault.bytes_kept.value_or(0);
    return Status::Error(fault.code, path + ": " + fault.detail);
  }

  // Takes `growth` bytes from the disk budget.  When they do not fit, takes
  // what is left, sets *fitting to it and returns false (the disk is full).
  bool TakeSpace(uint64_t growth, uint64_t* fitting) {
    std::lock_guard<std::mutex> lock(mutex);
    *fitting = growth;
    if (!disk_space || growth <= *disk_space) {
      if (disk_space) *disk_space -= growth;
      return true;
    }
    *fitting = *disk_space;
    *disk_space = 0;
    ++fired;
    return false;
  }

  bool HasDiskBudget() {
    std::lock_guard<std::mutex> lock(mutex);
    return disk_space.has_value();
  }
};

namespace {

constexpr char kDiskFull[] = "No space left on device";

class FaultFile final : public datfile::File {
 public:
  FaultFile(std::unique_ptr<datfile::File> base,
            std::shared_ptr<FaultFileSystem::State> state)
      : base_(std::move(base)), state_(std::move(state)) {}

  Status ReadAt(uint64_t offset, std::span<char> out,
                size_t* bytes_read) override {
    *bytes_read = 0;
    ZUNA_RETURN_IF_ERROR(state_->Check(FaultKind::kRead, path()));
    return base_->ReadAt(offset, out, bytes_read);
  }

  Status WriteAt(uint64_t offset, std::span<const char> data) override {
    size_t bytes_kept = 0;
    Status injected = state_->Check(FaultKind::kWrite, path(), &bytes_kept);
    if (!injected.ok()) {
      bytes_kept = std::min(bytes_kept, data.size());
      if (bytes_kept > 0) {
        // The failure is what the caller must see, whatever this returns.
        (void)base_->WriteAt(offset, data.first(bytes_kept));
      }
      return injected;
    }
    if (!state_->HasDiskBudget()) return base_->WriteAt(offset, data);

    uint64_t size = 0;
    ZUNA_RETURN_IF_ERROR(base_->Size(&size));
    const uint64_t end = offset + data.size();
    const uint64_t growth = end > size ? end - size : 0;
    uint64_t fitting = 0;
    if (state_->TakeSpace(growth, &fitting)) return base_->WriteAt(offset, data);
    // Full: the bytes over existing ones and the growth that fits are
    // written, as a real file system writes up to the last free block.
    const uint64_t limit = size + fitting;
    if (limit > offset) {
      (void)base_->WriteAt(offset, data.first(static_cast<size_t>(limit - offset)));
    }
    return Status::Error(datfile::Err::kDiskFull, path() + ": " + kDiskFull);
  }

  Status Sync() override {
    ZUNA_RETURN_IF_ERROR(state_->Check(FaultKind::kSync, path()));
    return base_->Sync();
  }

  Status Truncate(uint64_t new_size) override {
    ZUNA_RETURN_IF_ERROR(state_->Check(FaultKind::kTruncate, path()));
    if (state_->HasDiskBudget()) {
      uint64_t size = 0;
      ZUNA_RETURN_IF_ERROR(base_->Size(&size));
      uint64_t fitting = 0;
      if (new_size > size && !state_->TakeSpace(new_size - size, &fitting)) {
        return Status::Error(datfile::Err::kDiskFull,
                             path() + ": " + kDiskFull);
      }
    }
    return base_->Truncate(new_size);
  }

  Status Size(uint64_t* size) override {
    *size = 0;
    ZUNA_RETURN_IF_ERROR(state_->Check(FaultKind::kSize, path()));
    return base_->Size(size);
  }

  const std::string& path() const override { return base_->path(); }
  datfile::FileHandle handle() const override { return base_->handle(); }

  Status Lock(uint64_t offset, uint64_t length,
              datfile::LockKind kind) override {
    ZUNA_RETURN_IF_ERROR(state_->Check(FaultKind::kLock, path()));
    return base_->Lock(offset, length, kind);
  }

  Status Unlock(uint64_t offset, uint64_t length) override {
    ZUNA_RETURN_IF_ERROR(state_->Check(FaultKind::kLock, path()));
    return base_->Unlock(offset, length);
  }

  Status ProbeSoleOpener() override {
    ZUNA_RETURN_IF_ERROR(state_->Check(FaultKind::kProbe, path()));
    return base_->ProbeSoleOpener();
  }

 private:
  const std::unique_ptr<datfile::File> base_;
  const std::shared_ptr<FaultFileSystem::State> state_;
};

}  // namespace

FaultFileSystem::FaultFileSystem(datfile::FileSystem& base)
    : base_(base), state_(std::make_shared<State>()) {}

FaultFileSystem::~FaultFileSystem() = default;

void FaultFileSystem::Inject(Fault fault) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const auto index = static_cast<size_t>(fault.kind);
  state_->armed[index] = State::Armed{std::move(fault)};
}

void FaultFileSystem::FailNth(FaultKind kind, uint64_t nth, FaultMode mode,
                              int32_t code) {
  Fault fault;
  fault.kind = kind;
  fault.nth = nth;
  fault.mode = mode;
  fault.code = code;
  Inject(std::move(fault));
}

void FaultFileSystem::ShortWriteNth(uint64_t nth, size_t bytes_kept,
                                    FaultMode mode) {
  Fault fault;
  fault.kind = FaultKind::kWrite;
  fault.nth = nth;
  fault.mode = mode;
  fault.bytes_kept = bytes_kept;
  Inject(std::move(fault));
}

void FaultFileSystem::SetDiskSpace(uint64_t bytes) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->disk_space = bytes;
}

void FaultFileSystem::ClearFaults() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  for (auto& armed : state_->armed) armed.reset();
  state_->disk_space.reset();
}

uint64_t FaultFileSystem::Calls(FaultKind kind) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->calls[static_cast<size_t>(kind)];
}

uint64_t FaultFileSystem::FaultsFired() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->fired;
}

void FaultFileSystem::ResetCounters() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->calls.fill(0);
  state_->fired = 0;
}

Status FaultFileSystem::Open(const std::string& path,
                             const datfile::OpenOptions& options,
                             std::unique_ptr<datfile::File>* file) {
  file->reset();
  ZUNA_RETURN_IF_ERROR(state_->Check(FaultKind::kOpen, path));
  std::unique_ptr<datfile::File> base_file;
  ZUNA_RETURN_IF_ERROR(base_.Open(path, options, &base_file));
  *file = std::make_unique<FaultFile>(std::move(base_file), state_);
  return Status::OK();
}

Status FaultFileSystem::CreateTemp(const std::string& prefix,
                                   std::unique_ptr<datfile::File>* file) {
  file->reset();
  ZUNA_RETURN_IF_ERROR(state_->Check(FaultKind::kOpen, prefix));
  std::unique_ptr<datfile::File> base_file;
  ZUNA_RETURN_IF_ERROR(base_.CreateTemp(prefix, &base_file));
  *file = std::make_unique<FaultFile>(std::move(base_file), state_);
  return Status::OK();
}

Status FaultFileSystem::Remove(const std::string& path) {
  ZUNA_RETURN_IF_ERROR(state_->Check(FaultKind::kRemove, path));
  return base_.Remove(path);
}

Status FaultFileSystem::Rename(const std::string& from, const std::string& to) {
  ZUNA_RETURN_IF_ERROR(state_->Check(FaultKind::kRename, from));
  return base_.Rename(from, to);
}

bool FaultFileSystem::Exists(const std::string& path) {
  return base_.Exists(path);
}

Status FaultFileSystem::SyncDirectory(const std::string& directory) {
  ZUNA_RETURN_IF_ERROR(state_->Check(FaultKind::kSyncDirectory, directory));
  return base_.SyncDirectory(directory);
}

Status FaultFileSystem::ResolveName(const std::string& path,
                                    std::string* resolved) {
  return base_.ResolveName(path, resolved);
}

Status FaultFileSystem::ProbeUnused(const std::string& path) {
  ZUNA_RETURN_IF_ERROR(state_->Check(FaultKind::kProbe, path));
  return base_.ProbeUnused(path);
}

bool FaultFileSystem::LocksAreHostLocal(const std::string& path,
                                        std::string* reason) {
  return base_.LocksAreHostLocal(path, reason);
}

}  // namespace zuna::testing
