// What a file manager tells the calling thread's files registry (the
// per-thread FilesManager): that it exists, that a procedure opened, used
// or closed its file.  The registry maps files to their managers and keeps
// per-procedure usage notes so that a calling procedure gets its record
// buffer and position back when a called one closes the file.
//
// This header is the door between the two: the file manager calls the
// registry installed for its thread through it, and does nothing of the
// kind while none is installed (a thread without a files registry, tests of
// the manager alone).
//
// Threads: one registry per thread; install, use and remove it on that
// thread.  The registry must outlive its installation.
#ifndef ZUNA_FRAMEWORK_DATA_FILE_USAGE_REGISTRY_H_
#define ZUNA_FRAMEWORK_DATA_FILE_USAGE_REGISTRY_H_

#include <cstdint>

namespace zuna::framework {

class FileManager;

class FileUsageRegistry {
 public:
  virtual ~FileUsageRegistry() = default;
  // The light Init() of a manager: map its file to it.
  virtual void AddFileMapping(FileManager& manager) = 0;
  // The manager is going away: forget it (and its notes).
  virtual void RemoveFileMapping(FileManager& manager) = 0;
  // OpenServer: the calling procedure opened the file once more.
  virtual void NoteOpen(FileManager& manager) = 0;
  // Close: the calling procedure closed it; may restore a saved file state.
  virtual void NoteClose(FileManager& manager) = 0;
  // UseFile with a use type other than 4 and 5.
  virtual void NoteUsage(FileManager& manager, uint8_t use_type) = 0;
};

// The calling thread's registry; nullptr when none is installed.
FileUsageRegistry* ThreadFileUsageRegistry();
// Installs `registry` for the calling thread (nullptr: none) and returns
// the one it replaces.
FileUsageRegistry* SetThreadFileUsageRegistry(FileUsageRegistry* registry);

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_DATA_FILE_USAGE_REGISTRY_H_
