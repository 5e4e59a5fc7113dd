#include "runtime/values/variable.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "runtime/values/conversion.h"

namespace zuna::values {
namespace {

// Bytes a numeric type occupies; 0 for the text types.
size_t NumericSize(VarType type) {
  switch (type) {
    case VarType::kByte:
      return 1;
    case VarType::kShort:
    case VarType::kUShort:
      return 2;
    case VarType::kLong:
    case VarType::kULong:
    case VarType::kSReal:
      return 4;
    case VarType::kReal:
      return 8;
    default:
      return 0;
  }
}

// Numeric values are copied through memcpy: record buffers are packed, so a
// LONG field may sit at an odd offset.  Callers have checked ref.size.
template <typename T>
T Load(const VariableRef& ref) {
  T value;
  std::memcpy(&value, ref.address, sizeof value);
  return value;
}

template <typename T>
void Store(const VariableRef& ref, T value) {
  std::memcpy(ref.address, &value, sizeof value);
}

bool Usable(const VariableRef& ref) {
  if (ref.address == nullptr) return false;
  const size_t needed = NumericSize(ref.type);
  return needed == 0 || ref.size >= needed;
}

// Truncates toward zero and saturates into [low, high]; NaN gives 0.
int64_t Saturate(double value, int64_t low, int64_t high) {
  if (value != value) return 0;
  if (value <= static_cast<double>(low)) return low;
  if (value >= static_cast<double>(high)) return high;
  return static_cast<int64_t>(value);
}

int64_t Clamp(int64_t value, int64_t low, int64_t high) {
  return std::min(std::max(value, low), high);
}

std::string_view TextOf(const VariableRef& ref) {
  const char* data = static_cast<const char*>(ref.address);
  switch (ref.type) {
    case VarType::kString:
      return {data, ref.size};
    case VarType::kCString: {
      const void* nul = std::memchr(data, '\0', ref.size);
      const size_t length =
          nul ? static_cast<size_t>(static_cast<const char*>(nul) - data)
              : ref.size;
      return {data, length};
    }
    case VarType::kPString: {
      if (ref.size == 0) return {};
      const size_t length = static_cast<uint8_t>(data[0]);
      return {data + 1, std::min<size_t>(length, ref.size - 1)};
    }
    default:
      return {};
  }
}

// Seven significant digits is what a float holds; more would print the
// binary noise of 0.1f.
void AppendSReal(float value, std::string& out) {
  if (!std::isfinite(value) || value == 0.0f) {
    AppendReal(value, out);
    return;
  }
  char buffer[32];
  const std::to_chars_result result =
      std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                    std::chars_format::general, 7);
  out.append(buffer, result.ptr);
}

// The integer types, widened; nullopt-like `ok` false for the others.
bool ReadInteger(const VariableRef& ref, int64_t& value) {
  switch (ref.type) {
    case VarType::kByte:
      value = Load<uint8_t>(ref);
      return true;
    case VarType::kShort:
      value = Load<int16_t>(ref);
      return true;
    case VarType::kUShort:
      value = Load<uint16_t>(ref);
      return true;
    case VarType::kLong:
      value = Load<int32_t>(ref);
      return true;
    case VarType::kULong:
      value = Load<uint32_t>(ref);
      return true;
    default:
      return false;
  }
}

void WriteInteger(const VariableRef& ref, int64_t value) {
  switch (ref.type) {
    case VarType::kByte:
      Store<uint8_t>(ref, static_cast<uint8_t>(Clamp(value, 0, 255)));
      break;
    case VarType::kShort:
      Store<int16_t>(ref, static_cast<int16_t>(Clamp(value, -32768, 32767)));
      break;
    case VarType::kUShort:
      Store<uint16_t>(ref, static_cast<uint16_t>(Clamp(value, 0, 65535)));
      break;
    case VarType::kLong:
      Store<int32_t>(ref, static_cast<int32_t>(
                              Clamp(value, std::numeric_limits<int32_t>::min(),
                                    std::numeric_limits<int32_t>::max())));
      break;
    case VarType::kULong:
      Store<uint32_t>(
          ref, static_cast<uint32_t>(
                   Clamp(value, 0, std::numeric_limits<uint32_t>::max())));
      break;
    default:
      break;
  }
}

}  // namespace

uint32_t VariableRef::element_count() const {
  uint64_t count = 1;
  const size_t dims = std::min<size_t>(dimension_count, kMaxDimensions);
  for (size_t i = 0; i < dims; ++i) {
    count *= dimensions[i];
    if (count > std::numeric_limits<uint32_t>::max()) {
      return std::numeric_limits<uint32_t>::max();
    }
  }
  return static_cast<uint32_t>(count);
}

VariableRef VariableRef::Element(const int32_t* subscripts,
                                 size_t count) const {
  VariableRef element = *this;
  element.dimension_count = 0;
  element.dimensions = {};
  const size_t dims = std::min<size_t>(dimension_count, kMaxDimensions);
  if (count > dims || address == nullptr) {
    element.address = nullptr;
    return element;
  }
  uint64_t index = 0;
  for (size_t i = 0; i < dims; ++i) {
    const int64_t subscript = i < count ? subscripts[i] : 1;
    if (subscript < 1 || subscript > dimensions[i]) {
      element.address = nullptr;
      return element;
    }
    // Bounded by element_count() <= UINT32_MAX, so no overflow.
    index = index * dimensions[i] + static_cast<uint64_t>(subscript - 1);
  }
  element.address = static_cast<char*>(address) + index * size;
  return element;
}

VariableRef RefByte(uint8_t& v) { return {VarType::kByte, &v, 1}; }
VariableRef RefShort(int16_t& v) { return {VarType::kShort, &v, 2}; }
VariableRef RefUShort(uint16_t& v) { return {VarType::kUShort, &v, 2}; }
VariableRef RefLong(int32_t& v) { return {VarType::kLong, &v, 4}; }
VariableRef RefULong(uint32_t& v) { return {VarType::kULong, &v, 4}; }
VariableRef RefSReal(float& v) { return {VarType::kSReal, &v, 4}; }
VariableRef RefReal(double& v) { return {VarType::kReal, &v, 8}; }
VariableRef RefString(char* data, uint32_t size) {
  return {VarType::kString, data, size};
}
VariableRef RefCString(char* data, uint32_t size) {
  return {VarType::kCString, data, size};
}
VariableRef RefPString(char* data, uint32_t size) {
  return {VarType::kPString, data, size};
}

VariableRef RefArray(VariableRef element,
                     std::initializer_list<uint32_t> dimensions) {
  element.dimension_count = 0;
  element.dimensions = {};
  for (uint32_t dimension : dimensions) {
    if (element.dimension_count == kMaxDimensions) break;
    element.dimensions[element.dimension_count++] = dimension;
  }
  return element;
}

bool IsNumeric(VarType type) { return NumericSize(type) != 0; }

bool IsStringType(VarType type) {
  return type == VarType::kString || type == VarType::kCString ||
         type == VarType::kPString;
}

// One switch per read: filters read a few variables for every record.
double ReadReal(const VariableRef& ref) {
  if (ref.address == nullptr) return 0.0;
  switch (ref.type) {
    case VarType::kByte:
      return ref.size >= 1 ? Load<uint8_t>(ref) : 0;
    case VarType::kShort:
      return ref.size >= 2 ? Load<int16_t>(ref) : 0;
    case VarType::kUShort:
      return ref.size >= 2 ? Load<uint16_t>(ref) : 0;
    case VarType::kLong:
      return ref.size >= 4 ? Load<int32_t>(ref) : 0;
    case VarType::kULong:
      return ref.size >= 4 ? Load<uint32_t>(ref) : 0;
    case VarType::kSReal:
      return ref.size >= 4 ? NanToZero(Load<float>(ref)) : 0.0;
    case VarType::kReal:
      return ref.size >= 8 ? NanToZero(Load<double>(ref)) : 0.0;
    default:
      return StringToReal(TextOf(ref));
  }
}

int32_t ReadLong(const VariableRef& ref) {
  if (ref.address == nullptr) return 0;
  switch (ref.type) {
    case VarType::kByte:
      return ref.size >= 1 ? Load<uint8_t>(ref) : 0;
    case VarType::kShort:
      return ref.size >= 2 ? Load<int16_t>(ref) : 0;
    case VarType::kUShort:
      return ref.size >= 2 ? Load<uint16_t>(ref) : 0;
    case VarType::kLong:
      return ref.size >= 4 ? Load<int32_t>(ref) : 0;
    case VarType::kULong: {
      if (ref.size < 4) return 0;
      const uint32_t value = Load<uint32_t>(ref);
      return value > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())
                 ? std::numeric_limits<int32_t>::max()
                 : static_cast<int32_t>(value);
    }
    default:
      return RealToLong(ReadReal(ref));
  }
}

void AppendString(const VariableRef& ref, std::string& out) {
  if (!Usable(ref)) {
    // A number that cannot be read is 0, as ReadLong says, also as text.
    if (IsNumeric(ref.type)) out += '0';
    return;
  }
  int64_t integer = 0;
  if (ReadInteger(ref, integer)) {
    AppendLong(integer, out);
    return;
  }
  switch (ref.type) {
    case VarType::kSReal:
      AppendSReal(Load<float>(ref), out);
      return;
    case VarType::kReal:
      AppendReal(Load<double>(ref), out);
      return;
    default:
      out.append(TextOf(ref));
      return;
  }
}

std::string ReadString(const VariableRef& ref) {
  std::string out;
  AppendString(ref, out);
  return out;
}

void WriteReal(const VariableRef& ref, double value) {
  if (!Usable(ref)) return;
  value = NanToZero(value);
  switch (ref.type) {
    case VarType::kSReal: {
      // Saturate rather than let the narrowing produce an infinity from a
      // finite value.
      constexpr double kMax = std::numeric_limits<float>::max();
      const double narrowed =
          std::isfinite(value) ? std::clamp(value, -kMax, kMax) : value;
      Store<float>(ref, static_cast<float>(narrowed));
      return;
    }
    case VarType::kReal:
      Store<double>(ref, value);
      return;
    default:
      break;
  }
  if (IsNumeric(ref.type)) {
    WriteInteger(ref, Saturate(value, std::numeric_limits<int64_t>::min() / 2,
                               std::numeric_limits<int64_t>::max() / 2));
    return;
  }
  WriteString(ref, RealToString(value));
}

void WriteLong(const VariableRef& ref, int32_t value) {
  if (!Usable(ref)) return;
  if (IsNumeric(ref.type) && ref.type != VarType::kSReal &&
      ref.type != VarType::kReal) {
    WriteInteger(ref, value);
    return;
  }
  if (IsNumeric(ref.type)) {
    WriteReal(ref, value);
    return;
  }
  WriteString(ref, LongToString(value));
}

void WriteString(const VariableRef& ref, std::string_view text) {
  if (!Usable(ref)) return;
  if (IsNumeric(ref.type)) {
    WriteReal(ref, StringToReal(text));
    return;
  }
  char* data = static_cast<char*>(ref.address);
  switch (ref.type) {
    case VarType::kString: {
      const size_t n = std::min<size_t>(text.size(), ref.size);
      std::memcpy(data, text.data(), n);
      std::memset(data + n, ' ', ref.size - n);
      return;
    }
    case VarType::kCString: {
      if (ref.size == 0) return;
      const size_t n = std::min<size_t>(text.size(), ref.size - 1);
      std::memcpy(data, text.data(), n);
      data[n] = '\0';
      return;
    }
    case VarType::kPString: {
      if (ref.size == 0) return;
      const size_t n =
          std::min<size_t>({text.size(), size_t{ref.size} - 1, size_t{255}});
      data[0] = static_cast<char>(static_cast<uint8_t>(n));
      std::memcpy(data + 1, text.data(), n);
      return;
    }
    default:
      return;
  }
}

}  // namespace zuna::values
