#include "runtime/window/properties.h"

#include <cctype>

namespace zuna::window {

int32_t SystemIconNumber(std::string_view icon) {
  if (icon.size() != 4 || static_cast<uint8_t>(icon[0]) != 0xFF ||
      static_cast<uint8_t>(icon[1]) != 0x01) {
    return 0;
  }
  return static_cast<uint8_t>(icon[2]) | (static_cast<uint8_t>(icon[3]) << 8);
}

std::string SystemIconName(int32_t number) {
  if (number <= 0 || number > 0xFFFF) return {};
  return std::string{'\xFF', '\x01', static_cast<char>(number & 0xFF),
                     static_cast<char>(number >> 8)};
}

int32_t PropertyNumber(std::string_view value) {
  size_t pos = 0;
  while (pos < value.size() && value[pos] == ' ') ++pos;
  bool negative = false;
  if (pos < value.size() && (value[pos] == '-' || value[pos] == '+')) {
    negative = value[pos] == '-';
    ++pos;
  }
  int64_t number = 0;
  while (pos < value.size() && std::isdigit(static_cast<unsigned char>(value[pos]))) {
    number = number * 10 + (value[pos] - '0');
    if (number > INT32_MAX) number = INT32_MAX;
    ++pos;
  }
  return static_cast<int32_t>(negative ? -number : number);
}

}  // namespace zuna::window
