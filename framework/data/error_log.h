// Where the error manager writes its log lines: ErrorLogInterface, and the
// standard implementation over the text file "VFCError.Log".
//
// Every operation returns a level code: 0 (Level::Benign) on success, 5
// (Level::Notify) on failure, with the runtime error state (ERRORCODE(),
// ERROR(), FILEERRORCODE(), FILEERROR()) of the calling thread saying why.
#ifndef ZUNA_FRAMEWORK_DATA_ERROR_LOG_H_
#define ZUNA_FRAMEWORK_DATA_ERROR_LOG_H_

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "runtime/datfile/os_file.h"

namespace zuna::framework {

class ErrorLogInterface {
 public:
  virtual ~ErrorLogInterface() = default;
  // Makes the log ready for Take; `force` reopens even when open.
  virtual uint8_t Open(bool force) = 0;
  // Appends one line (Windows-1251 text).
  virtual uint8_t Take(std::string_view line) = 0;
  // Balances one Open; `force` closes whatever the count says.
  virtual uint8_t Close(bool force) = 0;
};

inline constexpr std::string_view kStandardErrorLogName = "VFCError.Log";
// One log record: a line of at most this many characters.
inline constexpr size_t kErrorLogLineSize = 1024;

// The log as a text file, "VFCError.Log" in the current directory by
// default, shared by every thread and every station (copies of the program
// running from one directory).
//
// Each line is the text cut to 1024 characters, trailing blanks dropped, and
// a LF.  A line is appended under an exclusive lock on the file's first
// byte, taken with short retries, so lines of several stations never
// overwrite or split each other.
//
// Opens are counted: Open on an open log only counts; Close closes when the
// count comes down from 1 (or when forced) and never takes the count below
// 0.  The file is opened deny-none: other programs may read and write it.
//
// Threads: any thread; one mutex serialises the object.  The file system
// must outlive the object.
class StandardErrorLogClass final : public ErrorLogInterface {
 public:
  explicit StandardErrorLogClass(
      std::string path = std::string(kStandardErrorLogName),
      datfile::FileSystem& fs = datfile::PosixFileSystem());
  ~StandardErrorLogClass() override;
  StandardErrorLogClass(const StandardErrorLogClass&) = delete;
  StandardErrorLogClass& operator=(const StandardErrorLogClass&) = delete;

  // Creates the file when it does not exist, then opens it for reading and
  // writing.  Failure: 5, nothing open, the count unchanged.
  uint8_t Open(bool force) override;
  // 5 when the log is not open (ERRORCODE() 37) or the write fails.
  uint8_t Take(std::string_view line) override;
  // 0, or 5 when closing failed (the count then unchanged).
  uint8_t Close(bool force) override;

  int32_t OpenCount() const;
  const std::string& path() const { return path_; }

 private:
  const std::string path_;
  datfile::FileSystem& fs_;
  mutable std::mutex mutex_;
  std::unique_ptr<datfile::File> file_;  // guarded by mutex_
  int32_t open_count_ = 0;               // guarded by mutex_
};

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_DATA_ERROR_LOG_H_
