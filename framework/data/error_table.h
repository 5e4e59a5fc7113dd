// The error manager's message table: level codes, message ids, the entry
// type, the packed table format and the built-in Russian table
// DefaultErrors.
//
// Packed table format (ErrorBlock), for DefaultErrors and for any table
// handed to ErrorClass::AddErrors; integers little-endian, texts Windows-1251:
//
//   OFFSET  SIZE  DESCRIPTION
//   0       2     entry count N
//   2       ...   N entries, each:
//                   2      message id
//                   1      level code
//                   1      title length T
//                   T      title bytes (no terminator)
//                   1      message length M
//                   M      message bytes (no terminator)
//
// The built-in block holds 53 entries, stored in the order the program has
// always stored them (not sorted by id), and is 4584 bytes long.
//
// Pure data and functions; safe on any thread.
#ifndef ZUNA_FRAMEWORK_DATA_ERROR_TABLE_H_
#define ZUNA_FRAMEWORK_DATA_ERROR_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zuna::framework {

// Level codes: the level of a table entry, and the BYTE result of every
// error-reporting and data-access operation of the framework.
namespace Level {
inline constexpr uint8_t Benign = 0;   // nothing to report, continue
inline constexpr uint8_t User = 1;     // a Yes/No question was asked
inline constexpr uint8_t Program = 2;  // programming error, handled as fatal
inline constexpr uint8_t Fatal = 3;    // the program stops
inline constexpr uint8_t Cancel = 4;   // the user declined
inline constexpr uint8_t Notify = 5;   // the user was told; the caller decides
}  // namespace Level

// Message ids of the built-in table.
namespace Msg {
inline constexpr uint16_t RecordAccessFailed = 1;
inline constexpr uint16_t WriteDenied = 2;
inline constexpr uint16_t AddAnother = 3;
inline constexpr uint16_t InsertFailed = 4;
inline constexpr uint16_t AskAddMissing = 5;
inline constexpr uint16_t CloseFailed = 6;
inline constexpr uint16_t RecordChangedElsewhere = 7;
inline constexpr uint16_t RecordChangedShown = 8;
inline constexpr uint16_t RecordReadFailed = 9;
inline constexpr uint16_t ConfirmCancel = 10;
inline constexpr uint16_t ConfirmDelete = 11;
inline constexpr uint16_t CreateFailed = 12;
inline constexpr uint16_t DeleteFailed = 13;
inline constexpr uint16_t FormCannotDelete = 14;
inline constexpr uint16_t DuplicateKey = 15;
inline constexpr uint16_t FieldNotInFile = 16;
inline constexpr uint16_t FieldNotInList = 17;
inline constexpr uint16_t FieldOutOfRange = 18;
inline constexpr uint16_t FieldAboveUpper = 19;
inline constexpr uint16_t FieldBelowLower = 20;
inline constexpr uint16_t FileLoadFailed = 21;
inline constexpr uint16_t ReportReadNextFailed = 22;
inline constexpr uint16_t FormCannotInsert = 23;
inline constexpr uint16_t TransactionFailed = 24;
inline constexpr uint16_t NoRecordsToProcess = 25;
inline constexpr uint16_t OpenFailed = 26;
inline constexpr uint16_t ProcedureMissing = 27;
inline constexpr uint16_t UpdateFailed = 28;
inline constexpr uint16_t KeyRebuildFailed = 29;
inline constexpr uint16_t KeyCorrupt = 30;
inline constexpr uint16_t RecordHeldElsewhere = 31;
inline constexpr uint16_t FileReadOnly = 32;
inline constexpr uint16_t RelatedBlocksDelete = 33;
inline constexpr uint16_t RelatedBlocksChange = 34;
inline constexpr uint16_t AutoNumberRetry = 35;
inline constexpr uint16_t DeleteRetry = 36;
inline constexpr uint16_t UpdateRetry = 37;
inline constexpr uint16_t ConfirmSave = 38;
inline constexpr uint16_t StartOfFileWrap = 39;
inline constexpr uint16_t EndOfFileWrap = 40;
inline constexpr uint16_t FormCannotChange = 41;
inline constexpr uint16_t FileNotOpen = 42;
inline constexpr uint16_t ViewOpenFailed = 43;
inline constexpr uint16_t FilterColumnUnsupported = 44;
inline constexpr uint16_t SmtpError = 45;
inline constexpr uint16_t NntpError = 46;
inline constexpr uint16_t WinsockError = 47;
inline constexpr uint16_t ReportQueueAddFailed = 48;
inline constexpr uint16_t ReportNotMetafile = 49;
inline constexpr uint16_t ReportBadObject = 50;
inline constexpr uint16_t ReportNameNotFound = 51;
inline constexpr uint16_t ReportBadNote = 52;
inline constexpr uint16_t ReportUnknownProperty = 53;
}  // namespace Msg

inline constexpr size_t kDefaultErrorCount = 53;
inline constexpr size_t kDefaultErrorBlockSize = 4584;

// One row of the message table.
struct ErrorEntryGroup {
  uint32_t Id = 0;       // an unsigned 16-bit id held in 32 bits
  std::string Message;   // Windows-1251
  std::string Title;     // Windows-1251
  uint8_t Fatality = 0;  // the level code
  std::string Category;  // empty in the built-in table

  bool operator==(const ErrorEntryGroup&) const = default;
};

// The built-in table in the packed format.  Lives for the whole process.
std::string_view DefaultErrors();

// Packs `entries` (categories are not part of the format).  Titles and
// messages longer than 255 bytes are cut to 255.
std::string PackErrorBlock(const std::vector<ErrorEntryGroup>& entries);

// The entries of a packed block, categories empty; nullopt when the block
// is shorter than its count and lengths say, in which case `*complete`
// (when given) receives the entries read before the damage.
std::optional<std::vector<ErrorEntryGroup>> ParseErrorBlock(
    std::string_view block, std::vector<ErrorEntryGroup>* complete = nullptr);

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_DATA_ERROR_TABLE_H_
