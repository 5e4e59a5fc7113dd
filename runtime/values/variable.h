// A reference to a program variable of one of the runtime's types, as the
// evaluator's BIND and the field-pair lists see it: the type, the address and
// the size of one element, and up to four array dimensions.
//
// A VariableRef does not own the variable; whoever binds it keeps the
// variable alive while the reference is in use.  Reading and writing go
// through the functions below, which never read or write outside `size`
// bytes per element.
#ifndef ZUNA_RUNTIME_VALUES_VARIABLE_H_
#define ZUNA_RUNTIME_VALUES_VARIABLE_H_

#include <array>
#include <cstdint>
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

struct VariableRef {
  VarType type = VarType::kLong;
  void* address = nullptr;
  uint32_t size = 0;  // bytes of one element
  uint8_t dimension_count = 0;
  std::array<uint32_t, 4> dimensions{};  // elements per dimension, 1-based

  // The number of elements (product of the dimensions; 1 when scalar).
  uint32_t element_count() const;
  // The element at 1-based subscripts (missing ones count as 1); nullopt-like
  // result (address nullptr) when a subscript is out of range.
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
VariableRef RefString(char* data, uint32_t size);  // STRING(size)
VariableRef RefCString(char* data, uint32_t size);
VariableRef RefPString(char* data, uint32_t size);

bool IsNumeric(VarType type);

// The value of a scalar element.  Strings convert as the expression
// language does (the number they begin with); numbers convert to text
// without trailing zeros.
double ReadReal(const VariableRef& ref);
int32_t ReadLong(const VariableRef& ref);  // saturating
std::string ReadString(const VariableRef& ref);  // STRING keeps its padding

// Assignment with the runtime's conversions: numbers saturate to the
// target's range, strings are cut or blank-padded (STRING) / NUL-ended
// (CSTRING) / length-prefixed (PSTRING) to the variable's size.
void WriteReal(const VariableRef& ref, double value);
void WriteLong(const VariableRef& ref, int32_t value);
void WriteString(const VariableRef& ref, std::string_view text);

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_VARIABLE_H_
