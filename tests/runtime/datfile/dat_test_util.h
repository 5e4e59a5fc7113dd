// Helpers shared by the data and memo file tests: hand-written hex, a fixed
// clock for change stamps, and an in-memory file system with the files of
// one declaration.
#ifndef ZUNA_TESTS_RUNTIME_DATFILE_DAT_TEST_UTIL_H_
#define ZUNA_TESTS_RUNTIME_DATFILE_DAT_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/datfile/data_file.h"
#include "runtime/datfile/declaration.h"
#include "runtime/values/clock.h"
#include "tests/support/mem_fs.h"
#include "tests/support/status_matchers.h"

namespace zuna::testing {

// "56 33 a0 00" -> the four bytes.  Spaces separate; nothing else allowed.
inline std::string Hex(std::string_view text) {
  std::string bytes;
  std::istringstream in{std::string(text)};
  std::string pair;
  while (in >> pair) bytes += static_cast<char>(std::stoi(pair, nullptr, 16));
  return bytes;
}

inline std::string ToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (char c : bytes) {
    if (!out.empty()) out += ' ';
    out += kDigits[static_cast<uint8_t>(c) >> 4];
    out += kDigits[static_cast<uint8_t>(c) & 15];
  }
  return out;
}

// 5 March 2009 (serial 76038 = 06 29 01 00) at 12:30:00.00 (time serial
// 4500001 = 21 aa 44 00).
inline constexpr values::LocalDateTime kStampMoment{2009, 3, 5, 4500000};
inline constexpr std::string_view kStampHex = "21 aa 44 00 06 29 01 00";

// A fixture with a fixed clock and an in-memory file system holding the
// files of `decl_` under "/T.DAT" (and "/T.MEM").
class DatFileTest : public ::testing::Test {
 protected:
  static constexpr const char* kDat = "/T.DAT";
  static constexpr const char* kMem = "/T.MEM";

  DatFileTest() : clock_(kStampMoment) { values::SetClock(&clock_); }
  ~DatFileTest() override { values::SetClock(nullptr); }

  datfile::Status Create(const datfile::FileDecl& decl, bool exclusive = true) {
    data_.reset();
    decl_ = decl;
    return datfile::CreateDataFile(fs_, kDat, decl_, {}, exclusive);
  }

  datfile::Status OpenData(bool write = true) {
    data_.reset();
    mismatches_.clear();
    return datfile::DataFile::Open(fs_, kDat, decl_, {.write = write},
                                   &mismatches_, &data_);
  }

  std::string DatBytes() const { return fs_.Contents(kDat); }
  std::string DatBytes(size_t offset, size_t size) const {
    return fs_.Contents(kDat).substr(offset, size);
  }
  void PatchDat(size_t offset, std::string_view bytes) {
    std::string contents = fs_.Contents(kDat);
    contents.replace(offset, bytes.size(), bytes);
    fs_.SetContents(kDat, contents);
  }

  values::FixedClock clock_;
  MemFileSystem fs_;
  datfile::FileDecl decl_;
  std::unique_ptr<datfile::DataFile> data_;
  std::vector<datfile::StructureMismatch> mismatches_;
};

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_RUNTIME_DATFILE_DAT_TEST_UTIL_H_
