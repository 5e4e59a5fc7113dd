#include "framework/data/error_log.h"

#include <chrono>
#include <thread>
#include <utility>

#include "runtime/datfile/statements.h"
#include "runtime/datfile/status.h"
#include "runtime/values/error_state.h"

namespace zuna::framework {
namespace {

using datfile::Status;

// Another station holds the append lock only for one write; a second is
// far more than it ever needs.
constexpr auto kLockPatience = std::chrono::seconds(1);
constexpr auto kLockPause = std::chrono::milliseconds(1);

uint8_t Fail(const Status& status) {
  datfile::PostStatus(status);
  return 5;
}

Status LockFirstByte(datfile::File& file) {
  const auto deadline = std::chrono::steady_clock::now() + kLockPatience;
  while (true) {
    Status status = file.Lock(0, 1, datfile::LockKind::kExclusive);
    if (status.ok() || datfile::IsLockingFailure(status) ||
        std::chrono::steady_clock::now() >= deadline) {
      return status;
    }
    std::this_thread::sleep_for(kLockPause);
  }
}

}  // namespace

StandardErrorLogClass::StandardErrorLogClass(std::string path,
                                             datfile::FileSystem& fs)
    : path_(std::move(path)), fs_(fs) {}

StandardErrorLogClass::~StandardErrorLogClass() = default;

uint8_t StandardErrorLogClass::Open(bool force) {
  std::lock_guard lock(mutex_);
  if (open_count_ > 0 && !force) {
    ++open_count_;
    return 0;
  }
  std::string resolved;
  if (Status status = fs_.ResolveName(path_, &resolved); !status.ok()) {
    return Fail(status);
  }
  datfile::OpenOptions options;
  options.write = true;
  options.create = true;
  options.share = datfile::ShareMode::kDenyNone;
  std::unique_ptr<datfile::File> file;
  if (Status status = fs_.Open(resolved, options, &file); !status.ok()) {
    return Fail(status);
  }
  file_ = std::move(file);
  ++open_count_;
  return 0;
}

uint8_t StandardErrorLogClass::Take(std::string_view line) {
  std::lock_guard lock(mutex_);
  if (open_count_ == 0 || file_ == nullptr) {
    values::PostError(datfile::Err::kFileNotOpen);
    return 5;
  }
  std::string record(line.substr(0, kErrorLogLineSize));
  while (!record.empty() && record.back() == ' ') record.pop_back();
  record.push_back('\n');
  if (Status status = LockFirstByte(*file_); !status.ok()) return Fail(status);
  uint64_t size = 0;
  Status status = file_->Size(&size);
  if (status.ok()) status = file_->WriteAt(size, record);
  Status unlocked = file_->Unlock(0, 1);
  if (!status.ok()) return Fail(status);
  if (!unlocked.ok()) return Fail(unlocked);
  return 0;
}

uint8_t StandardErrorLogClass::Close(bool force) {
  std::lock_guard lock(mutex_);
  if (open_count_ == 1 || force) {
    // Closing a File cannot fail (os_file.h).
    file_.reset();
    open_count_ = 1;
  }
  if (open_count_ > 0) --open_count_;
  return 0;
}

int32_t StandardErrorLogClass::OpenCount() const {
  std::lock_guard lock(mutex_);
  return open_count_;
}

}  // namespace zuna::framework
