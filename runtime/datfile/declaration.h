// The declaration of a FILE as the program states it: its fields with their
// types, offsets and dimensions, its keys with their components and
// attributes, its memo, and the file attributes.  The driver reads a
// declaration to create a file, to check an existing one against it, to build
// key values from a record buffer and to convert OEM text.  The register's
// ZUN is one declaration; tests declare others.
//
// A FileDecl is a plain value, built once (usually at start-up) and then only
// read; any number of threads may read it at once.
#ifndef ZUNA_RUNTIME_DATFILE_DECLARATION_H_
#define ZUNA_RUNTIME_DATFILE_DECLARATION_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "runtime/values/variable.h"

namespace zuna::datfile {

enum class FieldType : uint8_t {
  kByte,      // 1 byte
  kShort,     // int16, little-endian
  kUShort,
  kLong,      // int32 (dates and times are LONGs)
  kULong,
  kSReal,     // 4-byte float
  kReal,      // 8-byte double
  kDecimal,   // packed decimal: sign in the first byte's high nibble
  kString,    // space-padded
  kCString,   // NUL-terminated in a fixed buffer
  kPString,   // length byte, then text
  kGroup,     // a named span of the fields that follow it
};

struct FieldDecl {
  std::string label;          // "ZUN:FIO": prefix, colon, name
  std::string external_name;  // second name for expressions; empty if none
  FieldType type = FieldType::kString;
  uint16_t offset = 0;        // in the record buffer
  uint16_t size = 0;          // total bytes, all elements of an array
  std::vector<uint16_t> dimensions;  // own dimensions, outermost first
  std::string picture;        // STRING with a picture ("@D6"); else empty
  uint8_t decimal_places = 0; // DECIMAL only
  int group = -1;             // index of the enclosing GROUP field, or -1
  bool stored = true;         // false: kept in memory only, no descriptor
};

struct KeyComponent {
  uint16_t field = 0;  // 0-based index into FileDecl::fields
};

struct KeyDecl {
  std::string label;        // "ZUN:zun_key"
  std::vector<KeyComponent> components;
  bool duplicates = false;  // DUP (every INDEX allows duplicates)
  bool nocase = false;      // NOCASE
  bool optional = false;    // OPT: blank values make no entry
  bool primary = false;     // PRIMARY
  bool index = false;       // INDEX: built only by BUILD, not maintained
};

struct MemoDecl {
  std::string label;   // "ZUN:Notes"
  uint16_t size = 0;   // declared size in bytes
  bool binary = false; // BINARY: blank is zero bytes, not spaces
};

struct FileDecl {
  std::string label;     // "ZUN"
  std::string name;      // the NAME attribute; empty: the label
  std::string driver_options;  // the driver string ("RECOVER=10 ...")
  uint16_t record_length = 0;
  std::vector<FieldDecl> fields;
  std::vector<KeyDecl> keys;
  std::optional<MemoDecl> memo;
  bool create = false;   // CREATE: may be created when missing
  bool reclaim = false;  // RECLAIM: reuse deleted slots
  bool oem = false;      // OEM: text stored in code page 866
  bool thread = false;   // THREAD: one instance per thread
  bool encrypt = false;  // ENCRYPT: record and memo bytes scrambled
  std::string owner;     // OWNER text; empty when none
};

// Element size of a field: size / product of its own dimensions.
uint16_t ElementLength(const FieldDecl& field);

// Sum of the components' element lengths.
uint32_t KeyLength(const FileDecl& file, const KeyDecl& key);

// BYTE, SHORT, USHORT, LONG, ULONG.
bool IsIntegerField(FieldType type);
// The integers, SREAL and REAL.
bool IsNumericField(FieldType type);

// The value type a field of `type` is read as: its own, a GROUP's bytes as
// a STRING; nullopt for DECIMAL, which the language has no type for.
std::optional<values::VarType> FieldValueType(FieldType type);

// The field inside `record` as a variable (every element of an array);
// nullopt for a DECIMAL or a field that does not fit in `record`.
std::optional<values::VariableRef> FieldVariable(const FieldDecl& field,
                                                 std::span<char> record);

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_DECLARATION_H_
