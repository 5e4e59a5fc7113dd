// Code-page conversion of the text inside record images of files declared
// OEM: the program holds text in Windows-1251, the file stores it in code
// page 866.
//
// Only text is converted: STRING and CSTRING fields whole, PSTRING fields
// after each element's length byte, and the string members of GROUPs in
// every repetition of a dimensioned GROUP.  Numbers (LONG, SHORT, REAL,
// DECIMAL ...) are left alone: a LONG date serial holds bytes 0x80-0xFF that
// a whole-image conversion would change, shifting the date.  Bytes covered by
// two fields (a field declared over another) are converted once.
//
// An OemTextMap is built once per declaration and then only read; any thread.
#ifndef ZUNA_RUNTIME_DATFILE_OEM_CONVERT_H_
#define ZUNA_RUNTIME_DATFILE_OEM_CONVERT_H_

#include <cstdint>
#include <span>
#include <vector>

#include "runtime/datfile/declaration.h"

namespace zuna::datfile {

class OemTextMap {
 public:
  struct Span {
    uint32_t offset = 0;
    uint32_t length = 0;
  };

  OemTextMap() = default;  // converts nothing
  // The text spans of `file`'s record, clipped to its record length.  A field
  // whose GROUP chain is not well formed contributes its own span only.
  explicit OemTextMap(const FileDecl& file);

  // In place, text spans only; bytes beyond record.size() are never touched.
  void ToProgram(std::span<char> record) const;  // 866 -> 1251, on read
  void ToOem(std::span<char> record) const;      // 1251 -> 866, on write

  // Sorted, disjoint.
  const std::vector<Span>& spans() const { return spans_; }

 private:
  std::vector<Span> spans_;
};

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_OEM_CONVERT_H_
