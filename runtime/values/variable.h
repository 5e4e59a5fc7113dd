// A reference to a program variable of one of the runtime's types, as the
// evaluator's BIND and the field-pair lists see it: the type, the address and
// the size of one element, and up to four array dimensions.
//
// A VariableRef does not own the variable; whoever binds it keeps the
// variable alive while the reference is in use.  Reading and writing go
// through the functions below, which never read or write outside `size`
// bytes per element and never assume alignment (record buffers are packed),
// so a reference into the middle of a record is fine.  They are not
// synchronised: the caller keeps other threads from writing the variable
// while it is read.
//
// Every function is defined for every reference: a null address (an array
// element out of range) or a numeric reference whose size is smaller than
// its type reads as 0 ("0" as text; "" for the text types) and ignores
// writes.
#ifndef ZUNA_RUNTIME_VALUES_VARIABLE_H_
#define ZUNA_RUNTIME_VALUES_VARIABLE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace zuna::values {

enum class VarType : uint8_t {
  kByte,     // uint8_t
  kShort,    // int16_t
  kUShort,   // uint16_t
  kLong,     // int32_t (dates and times are LONGs)
  kULong,    // uint32_t
  kSReal,    // float
  kReal,     // double
  kString,   // fixed, space-padded, not NUL-terminated
  kCString,  // NUL-terminated inside a fixed buffer
  kPString,  // length byte, then the text
};

inline constexpr size_t kMaxDimensions = 4;

struct VariableRef {
  VarType type = VarType::kLong;
  void* address = nullptr;
  uint32_t size = 0;  // bytes of one element
  uint8_t dimension_count = 0;
  std::array<uint32_t, kMaxDimensions> dimensions{};  // elements per dimension

  // The number of elements (product of the dimensions; 1 when scalar),
  // saturated at UINT32_MAX.
  uint32_t element_count() const;

  // The element at 1-based subscripts, the first subscript varying slowest
  // (row-major); missing trailing subscripts count as 1.  The result is a
  // scalar reference; its address is nullptr when a subscript is below 1 or
  // above its dimension, or when more subscripts are given than dimensions.
  VariableRef Element(const int32_t* subscripts, size_t count) const;
};

// Typed helpers to make references.
VariableRef RefByte(uint8_t& v);
VariableRef RefShort(int16_t& v);
VariableRef RefUShort(uint16_t& v);
VariableRef RefLong(int32_t& v);
VariableRef RefULong(uint32_t& v);
VariableRef RefSReal(float& v);
VariableRef RefReal(double& v);
VariableRef RefString(char* data, uint32_t size);   // STRING(size)
VariableRef RefCString(char* data, uint32_t size);  // CSTRING(size)
VariableRef RefPString(char* data, uint32_t size);  // PSTRING(size)

// An array with the given dimensions whose first element is `element` (its
// own dimensions are replaced): RefArray(RefLong(a[0]), {10}) for LONG a[10],
// RefArray(RefLong(g[0][0]), {2, 3}) for LONG g[2][3].  Dimensions beyond
// kMaxDimensions are dropped; a zero dimension makes an empty array.
VariableRef RefArray(VariableRef element,
                     std::initializer_list<uint32_t> dimensions);

bool IsNumeric(VarType type);
bool IsStringType(VarType type);

// The value of a scalar element (an array reference reads its first
// element).  Strings convert as the expression language does (the number
// they begin with, conversion.h); numbers convert to text without trailing
// zeros (REAL with up to 15 significant digits, SREAL with up to 7).  A
// REAL or SREAL holding NaN reads as 0.
double ReadReal(const VariableRef& ref);
int32_t ReadLong(const VariableRef& ref);        // saturating, truncating
std::string ReadString(const VariableRef& ref);  // STRING keeps its padding
// As ReadString, appending to `out` (no temporary for the text types).
void AppendString(const VariableRef& ref, std::string& out);

// Assignment with the runtime's conversions: numbers are truncated toward
// zero and saturated to the target's range (NaN stores 0); strings are cut
// or blank-padded (STRING) / cut and NUL-ended (CSTRING, which keeps one
// byte for the NUL) / length-prefixed (PSTRING, at most size - 1 and 255
// characters) to the variable's size.
void WriteReal(const VariableRef& ref, double value);
void WriteLong(const VariableRef& ref, int32_t value);
void WriteString(const VariableRef& ref, std::string_view text);

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_VARIABLE_H_
