// Key values: how a record's key components become the bytes a key file
// stores, such that comparing two values as unsigned bytes (memcmp) gives
// the declared order of the components.
//
// Components are concatenated in declaration order, each in its element
// length, transformed by type:
//
//   BYTE            the byte
//   SHORT, LONG     big-endian, most significant byte xor 0x80 (so negative
//                   numbers sort below positive ones)
//   USHORT, ULONG   big-endian
//   REAL, SREAL     big-endian; a negative number has every bit inverted, a
//                   positive one only its sign bit set
//   DECIMAL         sign byte (first) with its high bit clear: that bit is
//                   set and the rest copied; otherwise every byte inverted
//   STRING, GROUP   each byte through the key's character map (below)
//   CSTRING         the characters before the first NUL through the map,
//                   then zero bytes, so what follows the NUL never counts
//   PSTRING         the counted characters through the map, then zero
//                   bytes; the length byte itself is not stored
//
// The character map.  ANSI files: a NOCASE key first replaces every
// character the case table marks lower-case by its upper-case partner, then
// every key maps the character through the collation table.  OEM files
// store text in code page 866 and their keys weigh it as 866 codes, through
// the locale's OEM collation table (built from the same sequence as the 1251
// one, so by default the identity: the key holds the 866 bytes themselves);
// the record buffer holds 1251 text, so a character is upper-cased with the
// 1251 case table, converted to 866, then weighed.
//
// A KeyEncoder is a value built once per key and then only read: any number
// of threads may use one at a time.  It copies what it needs from the
// declaration and the locale tables; neither has to outlive it.
#ifndef ZUNA_RUNTIME_DATFILE_KEY_ENCODING_H_
#define ZUNA_RUNTIME_DATFILE_KEY_ENCODING_H_

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "runtime/datfile/declaration.h"
#include "runtime/datfile/key_format.h"
#include "runtime/datfile/status.h"
#include "runtime/values/collation.h"
#include "runtime/values/locale.h"

namespace zuna::datfile {

// The layout the declaration asks for: key length (sum of element lengths),
// entry length, entries per node, component count and key type bits.
// Fails with 88 when the key is longer than kMaxKeyLength or has more than
// 255 components, and with 47 when a component names no field of `file` or
// a field lying outside its record.
Status KeyLayoutFor(const FileDecl& file, const KeyDecl& key,
                    KeyLayout* layout);

class KeyEncoder {
 public:
  // An encoder for key `key` of `file`.  Fails as KeyLayoutFor does; on
  // failure *encoder is unchanged.
  static Status Create(const FileDecl& file, const KeyDecl& key,
                       const values::LocaleTables& tables, KeyEncoder* encoder);

  KeyEncoder() = default;

  const KeyLayout& layout() const { return layout_; }
  uint16_t key_length() const { return layout_.key_length; }
  uint16_t entry_length() const { return layout_.entry_length; }

  // Writes the key value of `record` into value[0 .. key_length).
  // REQUIRES: value.size() >= key_length.  Bytes a component would read
  // beyond the end of `record` count as zero.
  void EncodeValue(std::span<const char> record, std::span<char> value) const;

  // The entry image: record number (u32 little-endian) then the key value.
  std::string MakeEntry(uint32_t record_no, std::span<const char> record) const;

  // True when every component of `record` is blank: numbers zero (REAL
  // -0.0 included, DECIMAL of any sign), texts all blanks or NULs (a zeroed
  // buffer counts as blank), a PSTRING of length 0.  An OPT key makes no
  // entry for such a record.
  bool IsBlank(std::span<const char> record) const;

  // The entry of a record read while deleted (IGNORESTATUS): every
  // component blank (numbers zero, REAL 0.0, STRING and GROUP spaces,
  // CSTRING and PSTRING empty).
  std::string MakeBlankEntry(uint32_t record_no) const;

 private:
  struct Component {
    FieldType type = FieldType::kByte;
    uint16_t offset = 0;  // in the record buffer
    uint16_t length = 0;  // element length
  };

  void EncodeComponent(const Component& c, const uint8_t* src,
                       uint8_t* dst) const;

  KeyLayout layout_;
  std::vector<Component> components_;
  std::array<uint8_t, 256> char_map_{};
};

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_KEY_ENCODING_H_
