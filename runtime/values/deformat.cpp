// DEFORMAT: display text back to a value (format.h).

#include <algorithm>
#include <string>

#include "runtime/values/clock.h"
#include "runtime/values/date_serial.h"
#include "runtime/values/format.h"
#include "runtime/values/picture_internal.h"

namespace zuna::values {
namespace {

// A field saturates here: no valid month, day, year or time part comes near,
// and value * 10 + 9 still fits an int32_t.
constexpr int32_t kFieldCap = 100'000'000;

bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

using picture_internal::FieldOfKind;
using picture_internal::kDay;
using picture_internal::kFieldCount;
using picture_internal::kHour;
using picture_internal::kMinute;
using picture_internal::kMonth;
using picture_internal::kSecond;
using picture_internal::kYear;

// What the walk has read so far: the value of each field and, bit by field,
// which fields read a digit (the month bit also for a matched month name).
struct Fields {
  int32_t value[kFieldCount] = {};
  uint8_t read = 0;
  bool any_digit = false;

  bool has_read(uint8_t field) const { return (read >> field) & 1; }
};

bool SameLetter(char input, std::string_view text, const LocaleTables& tables) {
  return !text.empty() && ToUpper(input, tables) == ToUpper(text[0], tables);
}

// Matches the input at `pos` against the three-letter month names; returns
// the month (1-12) or 0.
int MatchMonthName(std::string_view text, size_t pos,
                   const LocaleTables& tables) {
  const std::string_view candidate = text.substr(pos, 3);
  if (candidate.size() < 3) return 0;
  for (size_t m = 0; m < 12; ++m) {
    const std::string_view name =
        std::string_view(tables.month_abbrevs[m]).substr(0, 3);
    // An empty name would equal three blanks under the blank-padding rule.
    if (name.empty()) continue;
    if (CompareStringsNoCase(candidate, name, tables) == 0) {
      return static_cast<int>(m) + 1;
    }
  }
  return 0;
}

// A run of `letters` month-letter tokens at `pos`: each tries a match and
// consumes one character when there is none; a match sets the month,
// consumes the name's further letters and ends the run.  Returns the new
// position.  Kept out of line: inlined, it crowds the digit loop of
// ReadFields out of its registers.
[[gnu::noinline]] size_t ReadMonthName(std::string_view text, size_t pos,
                                       size_t letters,
                                       const LocaleTables& tables,
                                       Fields* fields) {
  for (; letters > 0 && pos < text.size(); --letters) {
    const int month = MatchMonthName(text, pos, tables);
    if (month == 0) {
      ++pos;
      continue;
    }
    fields->value[kMonth] = month;
    fields->read |= static_cast<uint8_t>(1u << kMonth);
    pos += 3;
    while (pos < text.size() && IsAlpha(text[pos], tables)) ++pos;
    break;
  }
  return pos;
}

// The AM/PM marker against input character `c`.
[[gnu::noinline]] void ApplyMarker(char c, const LocaleTables& tables,
                                   int32_t* hour) {
  if (SameLetter(c, tables.pm, tables)) {
    if (*hour != 12) *hour += 12;
  } else if (SameLetter(c, tables.am, tables)) {
    if (*hour == 12) *hour = 0;
  }
}

// The end of the run of tokens of `tokens[begin]`'s kind.
size_t RunEnd(const PictureToken* tokens, size_t count, size_t begin) {
  const TokenKind kind = tokens[begin].kind;
  size_t end = begin + 1;
  while (end < count && tokens[end].kind == kind) ++end;
  return end;
}

// Reads one field from the start of `input` under a run of `tokens` digit
// tokens: one character per token, digits accumulated, non-digits skipped
// until the first digit and ending the field after it (that character is
// left for the next token).  Returns the characters consumed.
size_t ReadDigitRun(std::string_view input, size_t tokens, uint8_t field,
                    Fields* fields) {
  const size_t limit = std::min(tokens, input.size());
  int32_t value = 0;
  bool has_digit = false;
  size_t read = 0;
  for (; read < limit; ++read) {
    const unsigned digit =
        static_cast<unsigned char>(input[read]) - unsigned{'0'};
    if (digit < 10) {
      if (value < kFieldCap) value = value * 10 + static_cast<int32_t>(digit);
      has_digit = true;
    } else if (has_digit) {
      break;
    }
  }
  fields->value[field] = value;
  if (has_digit) {
    fields->any_digit = true;
    fields->read |= static_cast<uint8_t>(1u << field);
  }
  return read;
}

// The walk both date and time DEFORMAT share: one input character per token
// at most, fields as format.h describes.  Each run of digit tokens (one
// field) and of month letters is read by an inner loop.
Fields ReadFields(std::string_view text, const Picture& picture,
                  const LocaleTables& tables) {
  Fields fields;
  const PictureToken* tokens = picture.tokens.data();
  const size_t token_count = picture.tokens.size();
  const size_t size = text.size();
  size_t pos = 0;
  size_t k = 0;
  while (k < token_count && pos < size) {
    const TokenKind kind = tokens[k].kind;
    const uint8_t field = FieldOfKind(kind);
    if (field < kFieldCount) {
      const size_t end = RunEnd(tokens, token_count, k);
      pos += ReadDigitRun(text.substr(pos), end - k, field, &fields);
      k = end;
      continue;
    }
    switch (kind) {
      case TokenKind::kMonthLetter: {
        const size_t end = RunEnd(tokens, token_count, k);
        pos = ReadMonthName(text, pos, end - k, tables, &fields);
        k = end;
        continue;
      }
      case TokenKind::kAmPm:
        ApplyMarker(text[pos], tables, &fields.value[kHour]);
        ++pos;
        break;
      default:  // separators, literals and anything else: one character
        ++pos;
        break;
    }
    ++k;
  }
  return fields;
}

}  // namespace

int32_t DeformatDate(std::string_view text, const Picture& picture,
                     const LocaleTables& tables) {
  if (picture.kind != PictureKind::kDate) return 0;
  Fields fields = ReadFields(text, picture, tables);
  if (!fields.any_digit) return 0;
  const bool has_no_day = picture.number >= 13 && picture.number <= 16;
  if (has_no_day && fields.has_read(kMonth) && fields.has_read(kYear)) {
    fields.value[kDay] = 1;
  }
  int32_t year = fields.value[kYear];
  if (year < 100) year = WidenYear(year, picture.century_window, CurrentYear());
  return DATE(fields.value[kMonth], fields.value[kDay], year);
}

int32_t DeformatTime(std::string_view text, const Picture& picture,
                     const LocaleTables& tables) {
  if (picture.kind != PictureKind::kTime) return 0;
  const Fields fields = ReadFields(text, picture, tables);
  const int32_t hour = fields.value[kHour];
  const int32_t minute = fields.value[kMinute];
  const int32_t second = fields.value[kSecond];
  if (hour >= 24 || minute >= 60 || second >= 60) return -1;
  if (!fields.any_digit) return 0;
  return hour * 360000 + minute * 6000 + second * 100 + 1;
}

std::string DeformatNumericText(std::string_view text) {
  std::string out;
  bool has_point = false;
  bool has_exponent = false;
  for (const char c : text) {
    if (IsDigitChar(c)) {
      out += c;
    } else if (c == '.' && !has_point) {
      out += c;
      has_point = true;
    } else if ((c == 'e' || c == 'E') && !has_exponent) {
      out += c;
      has_exponent = true;
    } else if ((c == '+' || c == '-') &&
               (out.empty() || out.back() == 'e' || out.back() == 'E')) {
      out += c;
    }
  }
  return out;
}

std::string Deformat(std::string_view text, const Picture& picture,
                     const LocaleTables& tables) {
  switch (picture.kind) {
    case PictureKind::kDate:
      return std::to_string(DeformatDate(text, picture, tables));
    case PictureKind::kTime:
      return std::to_string(DeformatTime(text, picture, tables));
    case PictureKind::kNumeric:
      return picture_internal::DeformatNumeric(text, picture);
    case PictureKind::kPattern:
      return picture_internal::DeformatPattern(text, picture);
    case PictureKind::kString:
    case PictureKind::kScientific:
    case PictureKind::kEmpty:
      break;
  }
  return DeformatNumericText(text);
}

}  // namespace zuna::values
