#include "tests/support/mem_fs.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>
#include <mutex>
#include <set>

#include "runtime/datfile/handle_table.h"

namespace zuna::testing {

namespace {

namespace Err = datfile::Err;
using datfile::Status;

// The texts PosixFileSystem() puts in its details (strerror), so that a test
// reading FILEERROR() sees the same words from either file system.
constexpr char kNoSuchFile[] = "No such file or directory";
constexpr char kNotADirectory[] = "Not a directory";
constexpr char kIsADirectory[] = "Is a directory";
constexpr char kFileExists[] = "File exists";
constexpr char kBadDescriptor[] = "Bad file descriptor";
constexpr char kInvalidArgument[] = "Invalid argument";
constexpr char kTooLarge[] = "File too large";
constexpr char kLockHeld[] = "Resource temporarily unavailable";
constexpr char kSharingViolation[] = "sharing violation";
constexpr char kInUse[] = "in use by another station or File";

// "ZUN.DAT (lock of 1 bytes at 0)", as the real file system names a range.
std::string RangeText(const std::string& path, uint64_t offset,
                      uint64_t length) {
  return path + " (lock of " + std::to_string(length) + " bytes at " +
         std::to_string(offset) + ")";
}

constexpr uint64_t kMaxOffset =
    static_cast<uint64_t>(std::numeric_limits<int64_t>::max());

Status Error(int32_t code, const std::string& path, const char* text) {
  return Status::Error(code, path + ": " + text);
}

// "/" + the non-empty, non-"." components of `path`, joined by '/'.
std::string Normalize(const std::string& path) {
  std::string result;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string_view part(path.data() + start, end - start);
    if (!part.empty() && part != ".") {
      result += '/';
      result += part;
    }
    start = end + 1;
  }
  return result.empty() ? "/" : result;
}

// The parent of a normalised name ("/" for "/ZUN.DAT" and for "/").
std::string ParentOf(const std::string& normalized) {
  const size_t slash = normalized.rfind('/');
  return slash == 0 ? "/" : normalized.substr(0, slash);
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto lower = [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  };
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}


}  // namespace

namespace mem_fs_internal {

// A byte-range lock: [start, end) held by the File numbered `owner`.
struct ByteLock {
  uint64_t owner;
  uint64_t start;
  uint64_t end;
  datfile::LockKind kind;
};

// A File that has the node open, with what its share mode asked and denied
// (every opener reads).
struct Opener {
  uint64_t owner;
  bool write;
  bool deny_read;
  bool deny_write;
};

struct Node {
  std::string data;
  FileCounters counters;
  std::vector<ByteLock> locks;
  std::vector<Opener> openers;

  // Drops what `owner` holds of [start, end), keeping the parts outside.
  void RemoveLocks(uint64_t owner, uint64_t start, uint64_t end) {
    std::vector<ByteLock> kept;
    for (const ByteLock& lock : locks) {
      if (lock.owner != owner || lock.end <= start || lock.start >= end) {
        kept.push_back(lock);
        continue;
      }
      if (lock.start < start) kept.push_back({owner, lock.start, start, lock.kind});
      if (lock.end > end) kept.push_back({owner, end, lock.end, lock.kind});
    }
    locks = std::move(kept);
  }

  void Forget(uint64_t owner) {
    std::erase_if(locks, [&](const ByteLock& l) { return l.owner == owner; });
    std::erase_if(openers, [&](const Opener& o) { return o.owner == owner; });
  }
};

struct State {
  mutable std::mutex mutex;
  // All below guarded by mutex.
  std::map<std::string, std::shared_ptr<Node>> files;  // by normalised name
  std::set<std::string> directories{"/"};
  std::map<std::string, uint64_t> directory_syncs;
  // Every live node, named or not, so ResetCounters reaches temporary and
  // removed files that are still open.
  std::vector<std::weak_ptr<Node>> all_nodes;
  FileCounters total;  // every count ever made, until ResetCounters
  bool strict_directories = false;
  std::string temp_directory = "/tmp";
  uint64_t next_temp = 1;
  uint64_t next_owner = 1;  // numbers Files for their locks
  size_t open_files = 0;
  std::string host_local_reason;

  bool IsDirectory(const std::string& normalized) const {
    return directories.count(normalized) > 0;
  }

  // 3 when a file stands where a directory of `normalized` should be; with
  // strict directories, `missing_code` when the parent does not exist.
  Status CheckParents(const std::string& path, const std::string& normalized,
                      int32_t missing_code) const {
    for (std::string dir = ParentOf(normalized); dir != "/";
         dir = ParentOf(dir)) {
      if (files.count(dir) > 0) {
        return Error(Err::kPathNotFound, path, kNotADirectory);
      }
    }
    if (strict_directories && !IsDirectory(ParentOf(normalized))) {
      return Error(missing_code, path, kNoSuchFile);
    }
    return Status::OK();
  }

  std::shared_ptr<Node> NewNode() {
    // Forget nodes gone since the last time, so the list stays short.
    std::erase_if(all_nodes,
                  [](const std::weak_ptr<Node>& node) { return node.expired(); });
    auto node = std::make_shared<Node>();
    all_nodes.push_back(node);
    return node;
  }
};

}  // namespace mem_fs_internal

using mem_fs_internal::ByteLock;
using mem_fs_internal::Node;
using mem_fs_internal::Opener;
using mem_fs_internal::State;

namespace {

class MemFile final : public datfile::File {
 public:
  // `owner`: the number under which the File's locks and share entry are
  // kept in the node.
  MemFile(std::shared_ptr<State> state,
          std::shared_ptr<Node> node, std::string path, std::string full_name,
          bool writable, uint64_t owner)
      : state_(std::move(state)),
        node_(std::move(node)),
        path_(std::move(path)),
        writable_(writable),
        owner_(owner),
        registration_(datfile::OpenHandles(), std::move(full_name)) {}

  ~MemFile() override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    node_->Forget(owner_);
    --state_->open_files;
  }

  Status ReadAt(uint64_t offset, std::span<char> out,
                size_t* bytes_read) override {
    *bytes_read = 0;
    if (offset > kMaxOffset || out.size() > kMaxOffset - offset) {
      return Error(Err::kAccessDenied, path_, kTooLarge);
    }
    std::lock_guard<std::mutex> lock(state_->mutex);
    const std::string& data = node_->data;
    if (offset >= data.size()) return Status::OK();
    const size_t count = std::min<uint64_t>(out.size(), data.size() - offset);
    std::copy_n(data.data() + offset, count, out.data());
    *bytes_read = count;
    return Status::OK();
  }

  Status WriteAt(uint64_t offset, std::span<const char> bytes) override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    ++node_->counters.writes;
    ++state_->total.writes;
    if (bytes.empty()) return Status::OK();  // as pwrite is never called
    if (!writable_) return Error(Err::kInvalidHandle, path_, kBadDescriptor);
    if (offset > MemFileSystem::kMaxFileSize ||
        bytes.size() > MemFileSystem::kMaxFileSize - offset) {
      return Error(Err::kAccessDenied, path_, kTooLarge);
    }
    std::string& data = node_->data;
    if (data.size() < offset + bytes.size()) data.resize(offset + bytes.size());
    std::copy(bytes.begin(), bytes.end(), data.begin() + offset);
    node_->counters.bytes_written += bytes.size();
    state_->total.bytes_written += bytes.size();
    return Status::OK();
  }

  Status Sync() override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    ++node_->counters.syncs;
    ++state_->total.syncs;
    return Status::OK();
  }

  Status Truncate(uint64_t size) override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    // ftruncate on a descriptor opened read-only fails with EINVAL.
    if (!writable_) return Error(Err::kAccessDenied, path_, kInvalidArgument);
    if (size > MemFileSystem::kMaxFileSize) {
      return Error(Err::kAccessDenied, path_, kTooLarge);
    }
    node_->data.resize(size);
    ++node_->counters.truncates;
    ++state_->total.truncates;
    return Status::OK();
  }

  Status Size(uint64_t* size) override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    *size = node_->data.size();
    return Status::OK();
  }

  const std::string& path() const override { return path_; }
  datfile::FileHandle handle() const override {
    return registration_.handle();
  }

  Status Lock(uint64_t offset, uint64_t length,
              datfile::LockKind kind) override {
    ZUNA_RETURN_IF_ERROR(CheckLockRange(offset, length));
    const std::string range = RangeText(path_, offset, length);
    std::lock_guard<std::mutex> lock(state_->mutex);
    ++node_->counters.locks;
    ++state_->total.locks;
    const bool exclusive = kind == datfile::LockKind::kExclusive;
    if (exclusive && !writable_) {
      return Error(Err::kInvalidHandle, range, kBadDescriptor);
    }
    const uint64_t end = offset + length;
    for (const ByteLock& held : node_->locks) {
      if (held.owner == owner_ || held.end <= offset || held.start >= end) {
        continue;
      }
      if (exclusive || held.kind == datfile::LockKind::kExclusive) {
        return Error(Err::kAccessDenied, range, kLockHeld);
      }
    }
    node_->RemoveLocks(owner_, offset, end);
    node_->locks.push_back({owner_, offset, end, kind});
    return Status::OK();
  }

  Status Unlock(uint64_t offset, uint64_t length) override {
    ZUNA_RETURN_IF_ERROR(CheckLockRange(offset, length));
    std::lock_guard<std::mutex> lock(state_->mutex);
    node_->RemoveLocks(owner_, offset, offset + length);
    return Status::OK();
  }

  Status ProbeSoleOpener() override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    for (const Opener& opener : node_->openers) {
      if (opener.owner != owner_) return Error(Err::kAccessDenied, path_, kInUse);
    }
    return Status::OK();
  }

 private:
  // A range Lock and Unlock refuse as the real file system does: empty, or
  // reaching the reserved share bytes.
  Status CheckLockRange(uint64_t offset, uint64_t length) const {
    if (length == 0 || offset > datfile::kLockRangeLimit ||
        length > datfile::kLockRangeLimit - offset) {
      return Error(Err::kInvalidHandle, RangeText(path_, offset, length),
                   kInvalidArgument);
    }
    return Status::OK();
  }

  const std::shared_ptr<State> state_;
  const std::shared_ptr<Node> node_;
  const std::string path_;
  const bool writable_;
  const uint64_t owner_;
  datfile::HandleRegistration registration_;
};

}  // namespace

MemFileSystem::MemFileSystem() : state_(std::make_shared<State>()) {}
MemFileSystem::~MemFileSystem() = default;

Status MemFileSystem::Open(const std::string& path,
                           const datfile::OpenOptions& options,
                           std::unique_ptr<datfile::File>* file) {
  file->reset();
  if (path.empty()) return Error(Err::kFileNotFound, path, kNoSuchFile);
  if (options.truncate && !options.write) {
    return Status::Error(Err::kAccessDenied,
                         path + ": truncation needs write access");
  }
  const std::string normalized = Normalize(path);
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->IsDirectory(normalized)) {
    return Error(Err::kAccessDenied, path, kIsADirectory);
  }
  ZUNA_RETURN_IF_ERROR(
      state_->CheckParents(path, normalized, Err::kPathNotFound));
  std::shared_ptr<Node> node;
  auto found = state_->files.find(normalized);
  if (found != state_->files.end()) {
    if (options.create && options.exclusive) {
      return Status::AlreadyExists(path + ": " + kFileExists);
    }
    node = found->second;
  } else {
    if (!options.create) return Error(Err::kFileNotFound, path, kNoSuchFile);
    node = state_->NewNode();
    state_->files.emplace(normalized, node);
  }
  const bool deny_read = options.share == datfile::ShareMode::kDenyRead ||
                         options.share == datfile::ShareMode::kDenyAll;
  const bool deny_write = options.share == datfile::ShareMode::kDenyWrite ||
                          options.share == datfile::ShareMode::kDenyAll;
  for (const Opener& other : node->openers) {
    // Every opener reads, so a denial of read meets everybody.
    if (other.deny_read || deny_read || (options.write && other.deny_write) ||
        (deny_write && other.write)) {
      return Error(Err::kAccessDenied, path, kSharingViolation);
    }
  }
  // Cut only once the share mode is granted, as the real file system does.
  if (options.truncate) {
    node->data.clear();
    ++node->counters.truncates;
    ++state_->total.truncates;
  }
  const uint64_t owner = state_->next_owner++;
  node->openers.push_back({owner, options.write, deny_read, deny_write});
  ++state_->open_files;
  *file = std::make_unique<MemFile>(state_, std::move(node), path, normalized,
                                    options.write, owner);
  return Status::OK();
}

Status MemFileSystem::CreateTemp(const std::string& prefix,
                                 std::unique_ptr<datfile::File>* file) {
  file->reset();
  if (prefix.find('/') != std::string::npos) {
    return Status::Error(Err::kInvalidFilename,
                         prefix + ": a temporary-file prefix is not a path");
  }
  std::lock_guard<std::mutex> lock(state_->mutex);
  char number[16];
  std::snprintf(number, sizeof(number), "%06llu",
                static_cast<unsigned long long>(state_->next_temp++));
  std::string name = state_->temp_directory + "/" + prefix + number;
  ++state_->open_files;
  // No share entry: nobody can reach a temporary file by name.
  *file = std::make_unique<MemFile>(state_, state_->NewNode(), name,
                                    Normalize(name), /*writable=*/true,
                                    state_->next_owner++);
  return Status::OK();
}

Status MemFileSystem::Remove(const std::string& path) {
  const std::string normalized = Normalize(path);
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->IsDirectory(normalized)) {
    return Error(Err::kAccessDenied, path, kIsADirectory);
  }
  ZUNA_RETURN_IF_ERROR(
      state_->CheckParents(path, normalized, Err::kFileNotFound));
  if (state_->files.erase(normalized) == 0) {
    return Error(Err::kFileNotFound, path, kNoSuchFile);
  }
  return Status::OK();
}

Status MemFileSystem::Rename(const std::string& from, const std::string& to) {
  const std::string names = from + " -> " + to;
  const std::string source = Normalize(from);
  const std::string target = Normalize(to);
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto found = state_->files.find(source);
  if (found == state_->files.end()) {
    if (state_->IsDirectory(source)) {
      return Error(Err::kAccessDenied, names, kIsADirectory);
    }
    ZUNA_RETURN_IF_ERROR(
        state_->CheckParents(names, source, Err::kFileNotFound));
    return Error(Err::kFileNotFound, names, kNoSuchFile);
  }
  if (state_->IsDirectory(target)) {
    return Error(Err::kAccessDenied, names, kIsADirectory);
  }
  ZUNA_RETURN_IF_ERROR(state_->CheckParents(names, target, Err::kFileNotFound));
  if (source == target) return Status::OK();
  std::shared_ptr<Node> node = found->second;
  state_->files.erase(found);
  state_->files[target] = std::move(node);
  return Status::OK();
}

bool MemFileSystem::Exists(const std::string& path) {
  if (path.empty()) return false;
  const std::string normalized = Normalize(path);
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->files.count(normalized) > 0 ||
         state_->IsDirectory(normalized);
}

Status MemFileSystem::SyncDirectory(const std::string& directory) {
  const std::string name = directory.empty() ? "." : directory;
  const std::string normalized = Normalize(name);
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->files.count(normalized) > 0) {
    return Error(Err::kPathNotFound, name, kNotADirectory);
  }
  if (state_->strict_directories && !state_->IsDirectory(normalized)) {
    return Error(Err::kFileNotFound, name, kNoSuchFile);
  }
  ++state_->directory_syncs[normalized];
  return Status::OK();
}

Status MemFileSystem::ResolveName(const std::string& path,
                                  std::string* resolved) {
  *resolved = path;
  if (path.empty() || Exists(path)) return Status::OK();
  const size_t slash = path.rfind('/');
  const std::string prefix =
      slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string base = path.substr(prefix.size());
  if (base.empty() || base == "." || base == "..") return Status::OK();
  const std::string parent = ParentOf(Normalize(path));

  std::vector<std::string> matches;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto consider = [&](const std::string& normalized) {
      if (normalized == "/" || ParentOf(normalized) != parent) return;
      const std::string name = normalized.substr(normalized.rfind('/') + 1);
      if (EqualIgnoringAsciiCase(name, base)) matches.push_back(name);
    };
    for (const auto& [name, node] : state_->files) consider(name);
    for (const std::string& name : state_->directories) consider(name);
  }
  std::sort(matches.begin(), matches.end());
  if (matches.size() > 1) {
    return Status::Error(Err::kAccessDenied,
                         path + ": ambiguous name, both " + prefix + matches[0] +
                             " and " + prefix + matches[1] + " exist");
  }
  if (matches.size() == 1) *resolved = prefix + matches[0];
  return Status::OK();
}

Status MemFileSystem::ProbeUnused(const std::string& path) {
  if (path.empty()) return Error(Err::kFileNotFound, path, kNoSuchFile);
  const std::string normalized = Normalize(path);
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto found = state_->files.find(normalized);
  if (found == state_->files.end()) {
    ZUNA_RETURN_IF_ERROR(
        state_->CheckParents(path, normalized, Err::kPathNotFound));
    if (state_->IsDirectory(normalized)) return Status::OK();  // no opener
    return Error(Err::kFileNotFound, path, kNoSuchFile);
  }
  if (!found->second->openers.empty()) {
    return Error(Err::kAccessDenied, path, kInUse);
  }
  return Status::OK();
}

bool MemFileSystem::LocksAreHostLocal(const std::string&, std::string* reason) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  *reason = state_->host_local_reason;
  return !reason->empty();
}

std::string MemFileSystem::Contents(const std::string& path) const {
  const std::string normalized = Normalize(path);
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto found = state_->files.find(normalized);
  return found == state_->files.end() ? std::string() : found->second->data;
}

void MemFileSystem::SetContents(const std::string& path, std::string bytes) {
  const std::string normalized = Normalize(path);
  std::lock_guard<std::mutex> lock(state_->mutex);
  std::shared_ptr<Node>& node = state_->files[normalized];
  if (node == nullptr) node = state_->NewNode();
  node->data = std::move(bytes);
}

FileCounters MemFileSystem::Counters(const std::string& path) const {
  const std::string normalized = Normalize(path);
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto found = state_->files.find(normalized);
  return found == state_->files.end() ? FileCounters{}
                                      : found->second->counters;
}

FileCounters MemFileSystem::TotalCounters() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->total;
}

uint64_t MemFileSystem::DirectorySyncs(const std::string& directory) const {
  const std::string normalized =
      Normalize(directory.empty() ? "." : directory);
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto found = state_->directory_syncs.find(normalized);
  return found == state_->directory_syncs.end() ? 0 : found->second;
}

void MemFileSystem::ResetCounters() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->total = FileCounters{};
  for (const std::weak_ptr<Node>& weak : state_->all_nodes) {
    if (auto node = weak.lock()) node->counters = FileCounters{};
  }
  state_->directory_syncs.clear();
}

std::vector<std::string> MemFileSystem::ListFiles() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  std::vector<std::string> names;
  for (const auto& [name, node] : state_->files) names.push_back(name);
  return names;  // std::map keeps them sorted
}

size_t MemFileSystem::OpenFileCount() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->open_files;
}

size_t MemFileSystem::HeldLockCount(const std::string& path) const {
  const std::string normalized = Normalize(path);
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto found = state_->files.find(normalized);
  return found == state_->files.end() ? 0 : found->second->locks.size();
}

void MemFileSystem::set_host_local_locks(std::string reason) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->host_local_reason = std::move(reason);
}

void MemFileSystem::CreateDirectory(const std::string& path) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  for (std::string dir = Normalize(path); dir != "/"; dir = ParentOf(dir)) {
    state_->directories.insert(dir);
  }
}

void MemFileSystem::set_strict_directories(bool strict) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->strict_directories = strict;
}

void MemFileSystem::set_temp_directory(const std::string& directory) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->temp_directory = directory;
}

}  // namespace zuna::testing
