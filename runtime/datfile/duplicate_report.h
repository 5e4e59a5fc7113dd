// The BUILD duplicate report: a text file beside the data file (its name
// with the extension ".BLD", file_names.h) listing the record numbers whose
// values collide in a key that allows no duplicates.  Its text, exactly:
//
//   Duplicate record numbers for:\n
//   <full name of the key file>\n
//   Record number: 12\n          the first record of a pair, left out when
//                                it is the second one of the pair before
//   Record number: 15\n\n        the second record of the pair
//
// so three records sharing a value (12, 15, 20) read
// "Record number: 12\nRecord number: 15\n\nRecord number: 20\n\n".
// The heading is written once for each key file that has duplicates (once
// per report when, as usual, one key is built); pairs of the next key start
// afresh under their own heading.
//
// The file is created (truncated) at the first pair reported, so a BUILD
// without duplicates leaves an old report alone and creates none.
//
// Ownership and threads: one report per BUILD, owned by the caller (the
// driver's per-file state) and used by one thread.  A failed write is
// returned; the text written before it stays.
#ifndef ZUNA_RUNTIME_DATFILE_DUPLICATE_REPORT_H_
#define ZUNA_RUNTIME_DATFILE_DUPLICATE_REPORT_H_

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/datfile/os_file.h"
#include "runtime/datfile/status.h"

namespace zuna::datfile {

class DuplicateReport {
 public:
  // `fs` must outlive the report.  Nothing is opened yet.
  DuplicateReport(FileSystem& fs, std::string report_path);
  DuplicateReport(const DuplicateReport&) = delete;
  DuplicateReport& operator=(const DuplicateReport&) = delete;

  // Records that `first_record` and `second_record` (in key order) have the
  // same value in the key file `key_file_name`.
  Status Add(const std::string& key_file_name, uint32_t first_record,
             uint32_t second_record);

  // True once a pair has been reported (the file exists).
  bool created() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }

 private:
  Status Append(const std::string& text);

  FileSystem& fs_;
  std::string path_;
  std::unique_ptr<File> file_;
  uint64_t size_ = 0;
  std::string key_file_;          // the key the last heading named
  uint32_t previous_second_ = 0;  // second record of the previous pair
};

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_DUPLICATE_REPORT_H_
