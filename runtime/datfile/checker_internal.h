// The checker's shared state, passed between its parts (checker_*.cpp):
// the data file's description, the slots as read, and the fault list.
// Not a contract for anyone outside the checker.
#ifndef ZUNA_RUNTIME_DATFILE_CHECKER_INTERNAL_H_
#define ZUNA_RUNTIME_DATFILE_CHECKER_INTERNAL_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/datfile/checker.h"
#include "runtime/datfile/os_file.h"
#include "runtime/datfile/status.h"

namespace zuna::datfile::checker {

// A source literal (UTF-8) as the program's text (1251).
std::string Ru(std::string_view utf8);
// The last component of a path: "ZUN.DAT".
std::string BaseName(const std::string& path);
inline std::string N(uint64_t value) { return std::to_string(value); }

struct Context {
  Context(FileSystem& fs_in, const CheckOptions& options_in,
          CheckResult* result_in)
      : fs(fs_in), options(options_in), result(result_in) {}

  void Fault(FaultKind kind, const std::string& file, uint64_t offset,
             std::string text) {
    result->faults.push_back({kind, BaseName(file), offset, std::move(text)});
  }
  void DataFault(FaultKind kind, uint64_t offset, std::string text) {
    Fault(kind, info.path, offset, std::move(text));
  }
  void Note(std::string text) { result->notes.push_back(std::move(text)); }

  uint32_t record_length() const {
    return info.header.slot_length - uint32_t{dat::kSlotPrefixSize};
  }
  uint64_t SlotOffset(uint64_t record_no) const {
    return info.header.data_offset + (record_no - 1) * info.header.slot_length;
  }
  bool live(uint32_t record_no) const {
    return record_no >= 1 && record_no <= slots_read &&
           (status[record_no] & dat::kStatusDeleted) == 0;
  }
  // The record image as stored (unscrambled when ENCRYPT; text still in
  // the file's code page).  REQUIRES: 1 <= record_no <= slots_read.
  std::span<const char> Image(uint32_t record_no) const {
    return std::span<const char>(images).subspan(
        size_t{record_no - 1} * record_length(), record_length());
  }

  FileSystem& fs;
  const CheckOptions& options;
  CheckResult* result;
  DataFileInfo info;
  std::unique_ptr<File> data;
  // Slots 1 .. slots_read were read (the counted slots that fit the file);
  // index 0 unused.
  uint32_t slots_read = 0;
  std::vector<uint8_t> status;
  std::vector<uint32_t> links;
  std::string images;  // slots_read x record length
};

// The parts of a check, in the order CheckDataFile runs them.  Each reports
// faults into the context; a Status error only for a failed read.
Status CheckHeaderAndSlots(Context& ctx);
Status CheckMemoFile(Context& ctx);
Status CheckKeyFiles(Context& ctx);

}  // namespace zuna::datfile::checker

#endif  // ZUNA_RUNTIME_DATFILE_CHECKER_INTERNAL_H_
