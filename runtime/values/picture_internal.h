// Pieces shared by the picture compiler and FORMAT/DEFORMAT: a cursor over a
// picture text, and the compilers and formatters of the numeric, scientific
// and pattern pictures (picture.h describes their syntax).  Only
// runtime/values and its tests include this.
#ifndef ZUNA_RUNTIME_VALUES_PICTURE_INTERNAL_H_
#define ZUNA_RUNTIME_VALUES_PICTURE_INTERNAL_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/values/picture.h"

namespace zuna::values::picture_internal {

// Reads a picture text left to right; never reads past its end (peek() gives
// '\0' there).
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  bool done() const { return pos_ >= text_.size(); }
  char peek() const { return done() ? '\0' : text_[pos_]; }
  void skip() {
    if (!done()) ++pos_;
  }
  // Takes the next character when it is `c` (letters in either case).
  bool take(char c);
  // Reads decimal digits; `digits` tells how many there were.  The value
  // saturates at kNumberCap, far above any valid count, so a run of 300
  // digits cannot overflow.
  int ReadNumber(int* digits);

  static constexpr int kNumberCap = 100000;

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// The six fields a date or time picture shows and reads.
enum Field : uint8_t {
  kMonth,
  kDay,
  kYear,
  kHour,
  kMinute,
  kSecond,
  kFieldCount
};

// The field a token kind is a digit of; kFieldCount for other kinds.  A
// table rather than a switch: FORMAT and DEFORMAT look it up once per token
// on the birthday filter's path.
inline constexpr std::array<uint8_t, 256> kFieldOfKind = [] {
  std::array<uint8_t, 256> table{};
  table.fill(kFieldCount);
  table[static_cast<uint8_t>(TokenKind::kMonthDigit)] = kMonth;
  table[static_cast<uint8_t>(TokenKind::kDayDigit)] = kDay;
  table[static_cast<uint8_t>(TokenKind::kYearDigit)] = kYear;
  table[static_cast<uint8_t>(TokenKind::kHourDigit)] = kHour;
  table[static_cast<uint8_t>(TokenKind::kMinuteDigit)] = kMinute;
  table[static_cast<uint8_t>(TokenKind::kSecondDigit)] = kSecond;
  return table;
}();

inline uint8_t FieldOfKind(TokenKind kind) {
  return kFieldOfKind[static_cast<uint8_t>(kind)];
}

// Each compiler reads the options that follow "@N", "@E", "@P"/"@K" and
// fills `picture` (kind, tokens, places, blank); false for an invalid text,
// with `picture` then left in an undefined state for the caller to reset.
bool CompileNumeric(std::string_view options, Picture* picture);
bool CompileScientific(std::string_view options, Picture* picture);
// `letter` is 'P' or 'K' (upper case); `rest` is everything after it.
bool CompilePattern(char letter, std::string_view rest, Picture* picture);

// REQUIRES: picture.kind is the formatter's kind.  Exactly width()
// characters.
std::string FormatNumeric(double value, const Picture& picture);
std::string FormatScientific(double value, const Picture& picture);
std::string FormatPattern(std::string_view text, const Picture& picture);

// DEFORMAT walks for numeric and pattern pictures (format.h).
std::string DeformatNumeric(std::string_view text, const Picture& picture);
std::string DeformatPattern(std::string_view text, const Picture& picture);

// Strips superfluous leading zeros from a run of digits with an optional
// '.' and fraction ("0305" -> "305", "000" -> "0", ".5" -> "0.5", "12." ->
// "12") and prefixes '-' when `negative` and some digit is not zero.
std::string CanonicalDecimal(std::string_view digits, bool negative);

}  // namespace zuna::values::picture_internal

#endif  // ZUNA_RUNTIME_VALUES_PICTURE_INTERNAL_H_
