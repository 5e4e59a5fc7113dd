// File open servers: the object that physically opens and closes a FILE
// for a file manager.  A FILE declared THREAD has an instance per thread,
// and each manager gets a ThreadedFileOpenServer of its own.  A FILE without
// per-thread instances is one object for the whole process: its managers
// (one per thread) share one UnthreadedFileOpenServer, which counts the
// physical opens of all threads so that the FILE is opened once and closed
// by the last user.
//
// Ownership: CreateFileOpenServer hands out a server; its user calls
// Release() exactly once when done and must not touch the server after.
// A threaded server is deleted by its Release; an unthreaded one when its
// last user releases it.  The FILE must outlive every server made for it.
//
// Threads and locks: the process-wide map of unthreaded servers is guarded
// by CreateOpenerCrit, each unthreaded server's counts by its CSect.  Lock
// order: CreateOpenerCrit, then CSect.  The map is changed only under
// CreateOpenerCrit (creation and the last Release alike), so no thread can
// find a server in the map that another is deleting.  A threaded server is
// used by its manager's thread only.
//
// Opens and closes are runtime statements, so the managers registered for
// the FILE hear them (file_callbacks.h).
#ifndef ZUNA_FRAMEWORK_DATA_FILE_OPEN_SERVER_H_
#define ZUNA_FRAMEWORK_DATA_FILE_OPEN_SERVER_H_

#include <cstdint>
#include <mutex>

#include "runtime/datfile/file_instance.h"

namespace zuna::framework {

class IFileOpenServer {
 public:
  // The runtime open of the FILE with `mode` (access | share); returns the
  // runtime error number, 0 on success (52, already open, counts as 0).
  virtual int32_t OpenFile(uint32_t mode) = 0;
  // The runtime close; returns its error number.
  virtual int32_t CloseFile() = 0;
  // One more user shares this server.
  virtual void Link() = 0;
  // One user is done; see Ownership above.
  virtual void Release() = 0;

 protected:
  virtual ~IFileOpenServer() = default;
};

// A server for the calling thread's manager of `file`: a new threaded one
// when the FILE is declared THREAD, else the process's unthreaded server
// for it (shared, its link count raised), created on first demand.
IFileOpenServer* CreateFileOpenServer(datfile::DatFileInstance& file);

class ThreadedFileOpenServer final : public IFileOpenServer {
 public:
  explicit ThreadedFileOpenServer(datfile::DatFileInstance& file)
      : file_(file) {}
  int32_t OpenFile(uint32_t mode) override;
  int32_t CloseFile() override;
  void Link() override {}
  void Release() override;  // deletes this server

 private:
  ~ThreadedFileOpenServer() override = default;
  datfile::DatFileInstance& file_;
};

class UnthreadedFileOpenServer final : public IFileOpenServer {
 public:
  // Under CSect: when no thread has the FILE open, the runtime open (0 or 52
  // make the count 1); otherwise only the count rises.
  int32_t OpenFile(uint32_t mode) override;
  // Under CSect: the last user's close is the runtime close (a failure is
  // returned and the count kept); otherwise only the count falls.
  int32_t CloseFile() override;
  void Link() override;
  // Lowers the link count; the last user removes the server from the map
  // and deletes it.
  void Release() override;

  // Physical opens shared by all threads (for tests and diagnostics).
  int32_t FileUsageCount();

 private:
  friend IFileOpenServer* CreateFileOpenServer(datfile::DatFileInstance&);
  explicit UnthreadedFileOpenServer(datfile::DatFileInstance& file)
      : file_(file) {}
  ~UnthreadedFileOpenServer() override = default;

  datfile::DatFileInstance& file_;
  std::mutex CSect;
  int32_t FileUsageCount_ = 0;  // guarded by CSect
  int32_t links_ = 0;           // guarded by CreateOpenerCrit
};

// The number of unthreaded servers in the process's map (for tests).
size_t UnthreadedFileOpenServerCount();

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_DATA_FILE_OPEN_SERVER_H_
