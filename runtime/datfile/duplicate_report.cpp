#include "runtime/datfile/duplicate_report.h"

#include <utility>

namespace zuna::datfile {
namespace {

std::string RecordLine(uint32_t record_no) {
  return "Record number: " + std::to_string(record_no) + "\n";
}

}  // namespace

DuplicateReport::DuplicateReport(FileSystem& fs, std::string report_path)
    : fs_(fs), path_(std::move(report_path)) {}

Status DuplicateReport::Add(const std::string& key_file_name,
                            uint32_t first_record, uint32_t second_record) {
  if (file_ == nullptr) {
    OpenOptions options;
    options.write = true;
    options.create = true;
    options.truncate = true;
    ZUNA_RETURN_IF_ERROR(fs_.Open(path_, options, &file_));
    size_ = 0;
  }
  std::string text;
  if (key_file_name != key_file_ || size_ == 0) {
    text = "Duplicate record numbers for:\n" + key_file_name + "\n";
    key_file_ = key_file_name;
    previous_second_ = 0;
  }
  // Record numbers start at 1, so 0 never matches a real first record.
  if (first_record != previous_second_) text += RecordLine(first_record);
  text += RecordLine(second_record) + "\n";
  previous_second_ = second_record;
  return Append(text);
}

Status DuplicateReport::Append(const std::string& text) {
  ZUNA_RETURN_IF_ERROR(file_->WriteAt(size_, text));
  size_ += text.size();
  return Status::OK();
}

}  // namespace zuna::datfile
