// The result of a driver call: the runtime's error number (0 = success) and,
// on failure, detail for FILEERROR() (the operating system's text, the file
// concerned).  Cheap to pass when OK; never thrown.  Check every Status and
// pass it up; the per-thread runtime error state is set once, at the
// driver's entry point, from the Status it returns.
#ifndef ZUNA_RUNTIME_DATFILE_STATUS_H_
#define ZUNA_RUNTIME_DATFILE_STATUS_H_

#include <cstdint>
#include <string>
#include <utility>

namespace zuna::datfile {

// Runtime error numbers the driver returns.  Operating-system failures below
// 19 keep their own number (2 not found, 3 path, 4 too many files, 5 access
// denied, 6 invalid handle); a full disk is 39, the system's own number for
// it in the same numbering, so that it is not taken for a refusal.
namespace Err {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kFileNotFound = 2;
inline constexpr int32_t kPathNotFound = 3;
inline constexpr int32_t kTooManyFiles = 4;
inline constexpr int32_t kAccessDenied = 5;
inline constexpr int32_t kInvalidHandle = 6;
inline constexpr int32_t kFileLocked = 32;
inline constexpr int32_t kRecordNotAvailable = 33;
inline constexpr int32_t kRecordNotFound = 35;
inline constexpr int32_t kInvalidDataFile = 36;
inline constexpr int32_t kFileNotOpen = 37;
inline constexpr int32_t kDiskFull = 39;
inline constexpr int32_t kDuplicateKey = 40;
inline constexpr int32_t kRecordHeld = 43;
inline constexpr int32_t kInvalidFilename = 45;
inline constexpr int32_t kKeyFileMustBeRebuilt = 46;
inline constexpr int32_t kInvalidRecordDeclaration = 47;
inline constexpr int32_t kUnableToLog = 48;
inline constexpr int32_t kFileAlreadyOpen = 52;
inline constexpr int32_t kLogoutActive = 56;
inline constexpr int32_t kExclusiveAccessRequired = 63;
inline constexpr int32_t kUnableToRollback = 65;
inline constexpr int32_t kMemoFileMissing = 73;
inline constexpr int32_t kInvalidFieldTypeDescriptor = 75;
inline constexpr int32_t kInvalidKeyLength = 88;
inline constexpr int32_t kRecordChanged = 89;
inline constexpr int32_t kBuildCancelled = 93;
}  // namespace Err

class [[nodiscard]] Status {
 public:
  Status() = default;  // success
  static Status OK() { return Status(); }
  static Status Error(int32_t code, std::string detail = {}) {
    return Status(code, std::move(detail));
  }
  // Access denied (5) because an exclusive create found the name taken
  // (EEXIST).  Callers that race to create a file (two stations both saw
  // "not found") recognise it with IsAlreadyExists() and open the winner's
  // file instead; every other caller sees a plain 5.
  static Status AlreadyExists(std::string detail) {
    Status status(Err::kAccessDenied, std::move(detail));
    status.already_exists_ = true;
    return status;
  }

  bool ok() const { return code_ == 0; }
  int32_t code() const { return code_; }
  // The operating system's text or the driver's own detail; may be empty.
  const std::string& detail() const { return detail_; }
  // True only for a Status made by AlreadyExists(); the detail text is for
  // people and is never parsed.
  bool IsAlreadyExists() const { return already_exists_; }

  // "35" or "36 (ZUN.DAT: short read at offset 216)" for test failures and logs.
  std::string ToString() const;

 private:
  Status(int32_t code, std::string detail)
      : code_(code), detail_(std::move(detail)) {}

  int32_t code_ = 0;
  bool already_exists_ = false;
  std::string detail_;
};

inline bool IsAlreadyExists(const Status& status) {
  return status.IsAlreadyExists();
}

// Passes a failed Status up to the caller.
#define ZUNA_RETURN_IF_ERROR(expr)              \
  do {                                          \
    ::zuna::datfile::Status zuna_status_ = (expr); \
    if (!zuna_status_.ok()) return zuna_status_;   \
  } while (0)

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_STATUS_H_
