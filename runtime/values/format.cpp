#include "runtime/values/format.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "runtime/values/date_serial.h"
#include "runtime/values/picture_internal.h"

namespace zuna::values {
namespace {

using picture_internal::Field;
using picture_internal::FieldOfKind;
using picture_internal::kDay;
using picture_internal::kFieldCount;
using picture_internal::kHour;
using picture_internal::kMinute;
using picture_internal::kMonth;
using picture_internal::kSecond;
using picture_internal::kYear;

// Everything the token walk prints from.  Each field keeps its digits left
// to right, '\0' standing for a leading zero (which prints the token's
// fill), how many there are and how far the walk has got; a field with no
// digits (an invalid value) prints blanks.  Flat arrays filled in place:
// this runs three times per record in the birthday filter, and copying
// small odd-sized structs around cost more than the walk itself.
struct WalkInput {
  char digits[kFieldCount][4] = {};
  uint8_t count[kFieldCount] = {};
  uint8_t next[kFieldCount] = {};
  bool valid = false;
  std::string_view month_name;
  bool upper_case_name = false;
  std::string_view marker;  // the AM or PM text
};

// "00" "01" ... "99": two digits per lookup instead of a division each.
constexpr std::array<char, 200> kTwoDigits = [] {
  std::array<char, 200> table{};
  for (int i = 0; i < 100; ++i) {
    table[2 * i] = static_cast<char>('0' + i / 10);
    table[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return table;
}();

// Sets `field` to the last two digits of `value` (0 .. 9999), or all four
// when `four` is set.  The last digit is never a leading zero, so a zero
// field still shows one digit.
void SetField(WalkInput& in, Field field, int value, bool four) {
  char* digits = in.digits[field];
  const int high = value / 100 % 100;
  const int low = value % 100;
  uint8_t count = 2;
  if (four) {
    digits[0] = kTwoDigits[2 * high];
    digits[1] = kTwoDigits[2 * high + 1];
    count = 4;
  }
  digits[count - 2] = kTwoDigits[2 * low];
  digits[count - 1] = kTwoDigits[2 * low + 1];
  for (uint8_t i = 0; i + 1 < count && digits[i] == '0'; ++i) digits[i] = '\0';
  in.count[field] = count;
}

std::string WalkTokens(const Picture& picture, WalkInput& in,
                       const LocaleTables& tables) {
  const size_t width = std::min(picture.tokens.size(), kMaxPictureWidth);
  const PictureToken* tokens = picture.tokens.data();
  char out[kMaxPictureWidth];
  size_t length = 0;
  size_t name_next = 0;
  for (size_t i = 0; i < width; ++i) {
    const PictureToken token = tokens[i];
    const uint8_t field = FieldOfKind(token.kind);
    if (field < kFieldCount) {
      const uint8_t index = in.next[field]++;
      const char digit =
          index < in.count[field] ? in.digits[field][index] : ' ';
      out[length++] = digit != '\0' ? digit : token.fill;
      continue;
    }
    switch (token.kind) {
      case TokenKind::kMonthLetter:
        if (!in.valid) {
          out[length++] = ' ';
        } else if (name_next < in.month_name.size()) {
          const char c = in.month_name[name_next++];
          out[length++] = in.upper_case_name ? ToUpper(c, tables) : c;
        }
        // A name shorter than its letter tokens leaves the rest out; the
        // padding at the end restores the width.
        break;
      case TokenKind::kAmPm: {
        // The marker's second letter replaces whatever the next token is.
        const std::string_view marker =
            in.valid ? in.marker : std::string_view();
        out[length++] = marker.empty() ? ' ' : marker[0];
        if (i + 1 < width) {
          out[length++] = marker.size() > 1 ? marker[1] : ' ';
          ++i;
        }
        break;
      }
      case TokenKind::kLiteral:
      case TokenKind::kSeparator:
        out[length++] = token.fill;
        break;
      default:  // a token of another picture kind has nothing to show here
        out[length++] = ' ';
        break;
    }
  }
  while (length < width) out[length++] = ' ';
  return std::string(out, length);
}

int32_t SaturateToLong(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);  // truncates toward zero, in range
}

}  // namespace

std::string FormatDate(int32_t serial, const Picture& picture,
                       const LocaleTables& tables) {
  if (picture.kind != PictureKind::kDate) return std::string();
  const bool valid = IsValidDateSerial(serial);
  if (picture.blank && !valid) return std::string(picture.width(), ' ');
  WalkInput in;
  in.valid = valid;
  if (valid) {
    const CivilDate date = CivilFromSerial(serial);
    int year_digits = picture.year_digits;
    if (year_digits == 0) {
      int year_tokens = 0;
      for (const PictureToken& token : picture.tokens) {
        if (token.kind == TokenKind::kYearDigit) ++year_tokens;
      }
      year_digits = year_tokens >= 4 ? 4 : 2;
    }
    SetField(in, kMonth, date.month, false);
    SetField(in, kDay, date.day, false);
    SetField(in, kYear, date.year, year_digits == 4);
    const size_t index = static_cast<size_t>(date.month - 1);
    const bool is_full_name = picture.number == 4 || picture.number == 18;
    if (is_full_name) {
      in.month_name = tables.month_names[index];
    } else {
      in.month_name =
          std::string_view(tables.month_abbrevs[index]).substr(0, 3);
      in.upper_case_name = true;
    }
  }
  return WalkTokens(picture, in, tables);
}

std::string FormatTime(int32_t serial, const Picture& picture,
                       const LocaleTables& tables) {
  if (picture.kind != PictureKind::kTime) return std::string();
  const bool valid = IsValidTimeSerial(serial);
  if (picture.blank && !valid) return std::string(picture.width(), ' ');
  const TimeOfDay time = TimeFromSerial(serial);
  bool is_twelve_hour = false;
  for (const PictureToken& token : picture.tokens) {
    if (token.kind == TokenKind::kAmPm) is_twelve_hour = true;
  }
  WalkInput in;
  in.valid = valid;
  int hour = time.hour;
  if (is_twelve_hour) {
    in.marker = hour >= 12 ? tables.pm : tables.am;
    if (hour > 12) hour -= 12;
    if (hour == 0) hour = 12;
  }
  if (valid) {
    SetField(in, kHour, hour, false);
    SetField(in, kMinute, time.minute, false);
    SetField(in, kSecond, time.second, false);
  }
  return WalkTokens(picture, in, tables);
}

std::string FormatString(std::string_view text, const Picture& picture) {
  std::string out(text.substr(0, picture.width()));
  out.resize(picture.width(), ' ');
  return out;
}

std::string FormatNumber(double value, const Picture& picture) {
  switch (picture.kind) {
    case PictureKind::kNumeric:
      return picture_internal::FormatNumeric(value, picture);
    case PictureKind::kScientific:
      return picture_internal::FormatScientific(value, picture);
    default:
      return std::string();
  }
}

std::string FormatValue(double number, std::string_view text,
                        const Picture& picture, const LocaleTables& tables) {
  switch (picture.kind) {
    case PictureKind::kDate:
      return FormatDate(SaturateToLong(number), picture, tables);
    case PictureKind::kTime:
      return FormatTime(SaturateToLong(number), picture, tables);
    case PictureKind::kNumeric:
    case PictureKind::kScientific:
      return FormatNumber(number, picture);
    case PictureKind::kString:
      return FormatString(text, picture);
    case PictureKind::kPattern:
      return picture_internal::FormatPattern(text, picture);
    case PictureKind::kEmpty:
      break;
  }
  return std::string();
}

}  // namespace zuna::values
