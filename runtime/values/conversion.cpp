#include "runtime/values/conversion.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace zuna::values {
namespace {

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// The extent of the number a text begins with (after leading blanks and
// sign), as offsets into `text`; `digits` counts mantissa digits.
struct NumberSpan {
  size_t begin = 0;   // first character after the sign
  size_t end = 0;     // one past the last character of the number
  size_t digits = 0;  // digits of the mantissa
  bool negative = false;
  bool exponent_negative = false;
};

NumberSpan ScanNumber(std::string_view text) {
  NumberSpan span;
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    span.negative = text[i] == '-';
    ++i;
  }
  span.begin = i;
  while (i < text.size() && IsAsciiDigit(text[i])) ++i, ++span.digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsAsciiDigit(text[i])) ++i, ++span.digits;
  }
  span.end = i;
  if (span.digits == 0) return span;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    bool exponent_negative = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
      exponent_negative = text[j] == '-';
      ++j;
    }
    if (j < text.size() && IsAsciiDigit(text[j])) {
      while (j < text.size() && IsAsciiDigit(text[j])) ++j;
      span.end = j;
      span.exponent_negative = exponent_negative;
    }
  }
  return span;
}

}  // namespace

int32_t RealToLong(double value) {
  if (value != value) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);  // in range: truncates toward zero
}

double StringToReal(std::string_view text) {
  // Texts of digits only, such as the "0315" the birthday filter converts
  // for every record, take the short road: up to 15 digits are exact.
  if (!text.empty() && text.size() <= 15) {
    int64_t whole = 0;
    size_t i = 0;
    for (; i < text.size(); ++i) {
      const char c = text[i];
      if (!IsAsciiDigit(c)) break;
      whole = whole * 10 + (c - '0');
    }
    if (i == text.size()) return static_cast<double>(whole);
  }
  text = text.substr(0, kNumericPrefixLength);
  const NumberSpan span = ScanNumber(text);
  if (span.digits == 0) return 0.0;
  // Whole numbers of up to 15 digits are exact in a double: add them up
  // directly (the filter converts "0315"-like texts for every record).
  if (span.digits <= 15 && span.end - span.begin == span.digits) {
    int64_t whole = 0;
    for (size_t i = span.begin; i < span.end; ++i)
      whole = whole * 10 + (text[i] - '0');
    const double value = static_cast<double>(whole);
    return span.negative ? -value : value;
  }
  double value = 0.0;
  const char* first = text.data() + span.begin;
  const char* last = text.data() + span.end;
  const std::from_chars_result result =
      std::from_chars(first, last, value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // At most 40 characters: the mantissa cannot overflow on its own, so
    // the exponent's sign tells overflow from underflow.
    value =
        span.exponent_negative ? 0.0 : std::numeric_limits<double>::infinity();
  } else if (result.ec != std::errc()) {
    value = 0.0;
  }
  return span.negative ? -value : value;
}

void AppendReal(double value, std::string& out) {
  if (value != value || value == 0.0) {
    out += '0';
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return;
  }
  char buffer[32];
  const std::to_chars_result result = std::to_chars(
      buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  out.append(buffer, result.ptr);
}

void AppendLong(int64_t value, std::string& out) {
  char buffer[24];
  const std::to_chars_result result =
      std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

std::string RealToString(double value) {
  std::string out;
  AppendReal(value, out);
  return out;
}

std::string LongToString(int64_t value) {
  std::string out;
  AppendLong(value, out);
  return out;
}

bool IsNumericText(std::string_view text) {
  const NumberSpan span = ScanNumber(text);
  if (span.digits == 0) return false;
  for (size_t i = span.end; i < text.size(); ++i) {
    if (text[i] != ' ') return false;
  }
  return true;
}

}  // namespace zuna::values
