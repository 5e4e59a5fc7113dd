#include "runtime/datfile/handle_table.h"

#include <unistd.h>

#include <atomic>
#include <utility>
#include <vector>

namespace zuna::datfile {

namespace {

// Shared by every table so that a handle number means one file in the whole
// process, whichever table issued it.
std::atomic<FileHandle> next_handle{1};

std::string CurrentDirectory() {
  std::vector<char> buffer(256);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (buffer.size() > (1u << 20)) return "/";  // unreachable cwd: best effort
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

}  // namespace

FileHandle HandleTable::Register(std::string absolute_name) {
  const FileHandle handle = next_handle.fetch_add(1, std::memory_order_relaxed);
  std::lock_guard<std::mutex> lock(mutex_);
  names_.emplace(handle, std::move(absolute_name));
  return handle;
}

void HandleTable::Unregister(FileHandle handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  names_.erase(handle);
}

std::optional<std::string> HandleTable::Lookup(FileHandle handle) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = names_.find(handle);
  if (found == names_.end()) return std::nullopt;
  return found->second;
}

size_t HandleTable::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return names_.size();
}

HandleTable& OpenHandles() {
  // Leaked on purpose: Files closed by other static destructors at exit
  // must still find the table.
  static HandleTable* table = new HandleTable;
  return *table;
}

HandleRegistration::HandleRegistration(HandleTable& table,
                                       std::string absolute_name)
    : table_(&table), handle_(table.Register(std::move(absolute_name))) {}

HandleRegistration::~HandleRegistration() { Release(); }

HandleRegistration::HandleRegistration(HandleRegistration&& other) noexcept
    : table_(std::exchange(other.table_, nullptr)),
      handle_(std::exchange(other.handle_, kNoFileHandle)) {}

HandleRegistration& HandleRegistration::operator=(
    HandleRegistration&& other) noexcept {
  if (this != &other) {
    Release();
    table_ = std::exchange(other.table_, nullptr);
    handle_ = std::exchange(other.handle_, kNoFileHandle);
  }
  return *this;
}

void HandleRegistration::Release() {
  if (table_ != nullptr) table_->Unregister(handle_);
  table_ = nullptr;
  handle_ = kNoFileHandle;
}

std::string AbsoluteFileName(const std::string& path) {
  std::string joined =
      (!path.empty() && path[0] == '/') ? path : CurrentDirectory() + "/" + path;
  std::string result;
  size_t start = 0;
  while (start <= joined.size()) {
    size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    std::string_view part(joined.data() + start, end - start);
    if (!part.empty() && part != ".") {
      result += '/';
      result += part;
    }
    start = end + 1;
  }
  return result.empty() ? "/" : result;
}

}  // namespace zuna::datfile
