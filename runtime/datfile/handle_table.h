// The process-wide table of open files: handle number -> absolute file name.
// The transaction log names the files it protects by looking their handles
// up here, so an entry must exist exactly while its File is open.
//
// Ownership: one table per process (OpenHandles()), living until exit; each
// entry is owned by a HandleRegistration held inside the open File, which
// removes it when the File closes.  Tests may build private tables.
//
// Threads: every method may be called from any thread; one mutex guards the
// map and is never held while calling out.
#ifndef ZUNA_RUNTIME_DATFILE_HANDLE_TABLE_H_
#define ZUNA_RUNTIME_DATFILE_HANDLE_TABLE_H_

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "runtime/datfile/os_file.h"

namespace zuna::datfile {

class HandleTable final {
 public:
  HandleTable() = default;
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;

  // Enters `absolute_name` under a new handle number, unique in the process
  // (across all tables) and never kNoFileHandle.
  FileHandle Register(std::string absolute_name);

  // Removes the entry; a handle not in the table is ignored.
  void Unregister(FileHandle handle);

  // The name entered for `handle`, or nothing once it is closed (or never
  // was registered).
  std::optional<std::string> Lookup(FileHandle handle) const;

  size_t size() const;

 private:
  mutable std::mutex mutex_;
  std::map<FileHandle, std::string> names_;  // guarded by mutex_
};

// The table every File of the driver registers in.
HandleTable& OpenHandles();

// Owns one entry: registers on construction, unregisters on destruction.
// Movable so a File can hold it by value.
class HandleRegistration final {
 public:
  HandleRegistration() = default;  // holds nothing; handle() is kNoFileHandle
  HandleRegistration(HandleTable& table, std::string absolute_name);
  ~HandleRegistration();
  HandleRegistration(HandleRegistration&& other) noexcept;
  HandleRegistration& operator=(HandleRegistration&& other) noexcept;

  FileHandle handle() const { return handle_; }

 private:
  void Release();

  HandleTable* table_ = nullptr;
  FileHandle handle_ = kNoFileHandle;
};

// `path` made absolute against the current directory, with empty and "."
// components dropped.  ".." is kept: folding it away lexically would name
// another file when the directory before it is a symbolic link.
std::string AbsoluteFileName(const std::string& path);

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_HANDLE_TABLE_H_
