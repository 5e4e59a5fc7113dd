// The unit a compiled picture is made of: one display position, a fill
// character and what that position shows.  Shared by the picture compiler and
// the locale tables, which build the locale pictures (date 17/18, time 7/8)
// out of these tokens from the regional settings.
#ifndef ZUNA_RUNTIME_VALUES_PICTURE_TOKEN_H_
#define ZUNA_RUNTIME_VALUES_PICTURE_TOKEN_H_

#include <cstdint>

namespace zuna::values {

enum class TokenKind : uint8_t {
  kLiteral = 0,       // the fill character is printed unchanged
  kMonthDigit = 7,
  kDayDigit = 8,
  kYearDigit = 9,
  kMonthLetter = 10,  // one letter of a month name
  kHourDigit = 11,
  kMinuteDigit = 12,
  kSecondDigit = 13,
  kSeparator = 19,    // printed as its fill; the separator option replaces it
  kAmPm = 20,         // first letter of AM/PM; sets the next token's letter
  // Numeric pictures (@N, and the display positions of @E).
  kNumberDigit = 32,  // one digit of a number; fill shown for leading zeros
  kDecimalPoint = 33,
  kGroupSeparator = 34,  // shown only between significant digits
  kSign = 35,            // fill '-', '(' or ')': shown when negative
  // Pattern pictures.
  kPatternDigit = 36,  // @P '#' (fill '0') or '<' (fill ' '): one digit
  kPatternChar = 37,   // @K '#', '<', '@' or '?': one character of the text
};

// A digit token's fill is printed when that digit is a leading zero: ' '
// suppresses it, '0' shows it.
struct PictureToken {
  char fill;
  TokenKind kind;

  friend bool operator==(const PictureToken&, const PictureToken&) = default;
};

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_PICTURE_TOKEN_H_
