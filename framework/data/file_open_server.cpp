#include "framework/data/file_open_server.h"

#include <map>

#include "framework/data/file_callbacks.h"
#include "runtime/datfile/statements.h"
#include "runtime/datfile/status.h"

namespace zuna::framework {
namespace {

std::mutex& CreateOpenerCrit() {
  static std::mutex crit;
  return crit;
}

// The unthreaded servers by FILE.  Guarded by CreateOpenerCrit.
std::map<const datfile::DatFileInstance*, UnthreadedFileOpenServer*>&
UnthreadedFileOpenerMap() {
  static auto* map = new std::map<const datfile::DatFileInstance*,
                                  UnthreadedFileOpenServer*>();
  return *map;
}

int32_t RuntimeOpen(datfile::DatFileInstance& file, uint32_t mode) {
  const int32_t error = datfile::OPEN(file, mode);
  return error == datfile::Err::kFileAlreadyOpen ? 0 : error;
}

int32_t RuntimeClose(datfile::DatFileInstance& file) {
  return datfile::CLOSE(file);
}

}  // namespace

IFileOpenServer* CreateFileOpenServer(datfile::DatFileInstance& file) {
  if (file.declaration().thread) return new ThreadedFileOpenServer(file);
  std::lock_guard<std::mutex> lock(CreateOpenerCrit());
  auto& map = UnthreadedFileOpenerMap();
  const auto found = map.find(&file);
  if (found != map.end()) {
    ++found->second->links_;
    return found->second;
  }
  auto* server = new UnthreadedFileOpenServer(file);
  map.emplace(&file, server);
  return server;
}

size_t UnthreadedFileOpenServerCount() {
  std::lock_guard<std::mutex> lock(CreateOpenerCrit());
  return UnthreadedFileOpenerMap().size();
}

// --- ThreadedFileOpenServer ---------------------------------------------

int32_t ThreadedFileOpenServer::OpenFile(uint32_t mode) {
  return RuntimeOpen(file_, mode);
}

int32_t ThreadedFileOpenServer::CloseFile() { return RuntimeClose(file_); }

void ThreadedFileOpenServer::Release() { delete this; }

// --- UnthreadedFileOpenServer -------------------------------------------

int32_t UnthreadedFileOpenServer::OpenFile(uint32_t mode) {
  std::lock_guard<std::mutex> lock(CSect);
  if (FileUsageCount_ > 0) {
    ++FileUsageCount_;
    return 0;
  }
  const int32_t error = RuntimeOpen(file_, mode);
  if (error == 0) FileUsageCount_ = 1;
  return error;
}

int32_t UnthreadedFileOpenServer::CloseFile() {
  std::lock_guard<std::mutex> lock(CSect);
  if (FileUsageCount_ == 1) {
    const int32_t error = RuntimeClose(file_);
    if (error != 0) return error;
  }
  if (FileUsageCount_ > 0) --FileUsageCount_;
  return 0;
}

void UnthreadedFileOpenServer::Link() {
  std::lock_guard<std::mutex> lock(CreateOpenerCrit());
  ++links_;
}

void UnthreadedFileOpenServer::Release() {
  bool last = false;
  {
    std::lock_guard<std::mutex> lock(CreateOpenerCrit());
    if (links_ > 0) {
      --links_;
    } else {
      UnthreadedFileOpenerMap().erase(&file_);
      last = true;
    }
  }
  // Out of the map and with no other user, nobody can reach it any more;
  // taking CSect once more waits for a close still running on it.
  if (last) {
    { std::lock_guard<std::mutex> wait(CSect); }
    delete this;
  }
}

int32_t UnthreadedFileOpenServer::FileUsageCount() {
  std::lock_guard<std::mutex> lock(CSect);
  return FileUsageCount_;
}

}  // namespace zuna::framework
