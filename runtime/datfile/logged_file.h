// The files of one FILE as the transaction log sees them.  The driver opens
// a FILE's data, memo and key files through a LoggingFileSystem, which
// wraps each in a LoggedFile: while the FILE is logged (LOGOUT) and a
// transaction is open, every write is gathered by the transaction and made
// in batches, each batch's before-images in the log first (transaction.h,
// "Gathered writes"), and every change of length is logged before it is
// made.  Reads and Size see the gathered writes as if made; Sync and
// Truncate make them first.  Outside a transaction a LoggedFile is a plain
// pass-through.
#ifndef ZUNA_RUNTIME_DATFILE_LOGGED_FILE_H_
#define ZUNA_RUNTIME_DATFILE_LOGGED_FILE_H_

#include <memory>
#include <string>

#include "runtime/datfile/os_file.h"

namespace zuna::datfile {

class LoggedFile;

// What the files of one FILE share: whether the FILE is logged, which file
// is its data file, and whether a ROLLBACK changed the files underneath
// the FILE's in-memory headers.  Owned by the FILE's driver state and by
// each of its LoggedFiles.  Used under the driver's critical section.
struct LogBinding {
  bool logged = false;          // LOGOUT marked the FILE; COMMIT/ROLLBACK clear
  bool stale = false;           // a ROLLBACK rewrote the files: re-read headers
  std::string data_path;        // the data file's absolute name
  LoggedFile* data = nullptr;   // the data file while it is open
};

class LoggedFile final : public File {
 public:
  LoggedFile(std::unique_ptr<File> base, std::shared_ptr<LogBinding> binding,
             bool is_data);
  ~LoggedFile() override;

  Status ReadAt(uint64_t offset, std::span<char> out,
                size_t* bytes_read) override;
  Status WriteAt(uint64_t offset, std::span<const char> data) override;
  Status Sync() override;
  Status Truncate(uint64_t size) override;
  Status Size(uint64_t* size) override;
  const std::string& path() const override { return base_->path(); }
  FileHandle handle() const override { return base_->handle(); }
  Status Lock(uint64_t offset, uint64_t length, LockKind kind) override {
    return base_->Lock(offset, length, kind);
  }
  Status Unlock(uint64_t offset, uint64_t length) override {
    return base_->Unlock(offset, length);
  }
  Status ProbeSoleOpener() override { return base_->ProbeSoleOpener(); }

  // For the transaction log: the file itself, written without logging.
  File& base() { return *base_; }
  bool is_data() const { return is_data_; }
  LogBinding& binding() { return *binding_; }

 private:
  bool Logging() const;

  std::unique_ptr<File> base_;
  std::shared_ptr<LogBinding> binding_;
  const bool is_data_;
};

// Opens files as LoggedFiles of one FILE; everything else passes through.
// The file whose absolute name is the binding's data_path is the data file.
class LoggingFileSystem final : public FileSystem {
 public:
  LoggingFileSystem(FileSystem& base, std::shared_ptr<LogBinding> binding)
      : base_(base), binding_(std::move(binding)) {}

  Status Open(const std::string& path, const OpenOptions& options,
              std::unique_ptr<File>* file) override;
  Status CreateTemp(const std::string& prefix,
                    std::unique_ptr<File>* file) override {
    return base_.CreateTemp(prefix, file);
  }
  Status Remove(const std::string& path) override { return base_.Remove(path); }
  Status Rename(const std::string& from, const std::string& to) override {
    return base_.Rename(from, to);
  }
  bool Exists(const std::string& path) override { return base_.Exists(path); }
  Status SyncDirectory(const std::string& directory) override {
    return base_.SyncDirectory(directory);
  }
  Status ResolveName(const std::string& path, std::string* resolved) override {
    return base_.ResolveName(path, resolved);
  }
  Status ProbeUnused(const std::string& path) override {
    return base_.ProbeUnused(path);
  }
  bool LocksAreHostLocal(const std::string& path, std::string* reason) override {
    return base_.LocksAreHostLocal(path, reason);
  }

 private:
  FileSystem& base_;
  std::shared_ptr<LogBinding> binding_;
};

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_LOGGED_FILE_H_
