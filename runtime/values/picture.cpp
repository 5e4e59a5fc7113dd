#include "runtime/values/picture.h"

#include <algorithm>
#include <array>

#include "runtime/values/picture_internal.h"

namespace zuna::values {
namespace {

using picture_internal::Cursor;

// The fixed date and time layouts, one character per display position:
//   m d y h n s  month, day, year, hour, minute, second digit, zero-filled;
//                a '_' in front makes the next digit blank-filled instead
//   L            month-name letter (blank fill)
//   X            AM/PM marker
//   / : ,        separator token printing that character
//   ~            separator token printing a blank
//   ' ' M        literal
// The separator/literal split follows the layout table: in 3 and 4 the blank
// after the month name is literal and the comma a separator, in 4 the blank
// after the comma literal, and in 7 and 8 both blanks are separators.
struct Layout {
  std::string_view code;
  size_t width;
};

constexpr std::array<Layout, 18> kDateLayouts = {{
    {"_mm/dd/yy", 8},
    {"_mm/dd/yyyy", 10},
    {"LLL _dd,yyyy", 11},
    {"LLLLLLLLLLLL _dd, yyyy", 21},
    {"_dd/mm/yy", 8},
    {"_dd/mm/yyyy", 10},
    {"_dd~LLL~yy", 9},
    {"_dd~LLL~yyyy", 11},
    {"yy/mm/dd", 8},
    {"yyyy/mm/dd", 10},
    {"yymmdd", 6},
    {"yyyymmdd", 8},
    {"mm/yy", 5},
    {"mm/yyyy", 7},
    {"yy/mm", 5},
    {"yyyy/mm", 7},
    {"", 0},  // 17: the locale's short date picture
    {"", 0},  // 18: the locale's long date picture
}};

constexpr std::array<Layout, 8> kTimeLayouts = {{
    {"_hh:nn", 5},
    {"_hhnn", 4},
    {"_hh:nnXM", 7},
    {"_hh:nn:ss", 8},
    {"_hhnnss", 6},
    {"_hh:nn:ssXM", 10},
    {"", 0},  // 7: the locale's short time picture
    {"", 0},  // 8: the locale's long time picture
}};

// Layouts standing in for empty locale pictures (picture.h).
constexpr int kShortDateFallback = 2;
constexpr int kLongDateFallback = 4;
constexpr int kShortTimeFallback = 3;
constexpr int kLongTimeFallback = 6;

constexpr size_t CodeWidth(std::string_view code) {
  size_t width = 0;
  for (char c : code) {
    if (c != '_') ++width;
  }
  return width;
}

template <size_t N>
constexpr bool WidthsMatch(const std::array<Layout, N>& layouts) {
  for (const Layout& layout : layouts) {
    if (CodeWidth(layout.code) != layout.width) return false;
  }
  return true;
}
static_assert(WidthsMatch(kDateLayouts));
static_assert(WidthsMatch(kTimeLayouts));

// The token of one layout character other than '_'.
PictureToken TokenForCode(char code, char digit_fill) {
  switch (code) {
    case 'm':
      return {digit_fill, TokenKind::kMonthDigit};
    case 'd':
      return {digit_fill, TokenKind::kDayDigit};
    case 'y':
      return {digit_fill, TokenKind::kYearDigit};
    case 'h':
      return {digit_fill, TokenKind::kHourDigit};
    case 'n':
      return {digit_fill, TokenKind::kMinuteDigit};
    case 's':
      return {digit_fill, TokenKind::kSecondDigit};
    case 'L':
      return {' ', TokenKind::kMonthLetter};
    case 'X':
      return {' ', TokenKind::kAmPm};
    case '/':
    case ':':
    case ',':
      return {code, TokenKind::kSeparator};
    case '~':
      return {' ', TokenKind::kSeparator};
    default:
      return {code, TokenKind::kLiteral};  // ' ' and 'M'
  }
}

std::vector<PictureToken> DecodeLayout(std::string_view code) {
  std::vector<PictureToken> tokens;
  tokens.reserve(code.size());
  char digit_fill = '0';
  for (const char c : code) {
    if (c == '_') {
      digit_fill = ' ';
      continue;
    }
    tokens.push_back(TokenForCode(c, digit_fill));
    digit_fill = '0';
  }
  return tokens;
}

bool IsDateFillable(TokenKind kind) {
  return kind == TokenKind::kMonthDigit || kind == TokenKind::kDayDigit ||
         kind == TokenKind::kYearDigit || kind == TokenKind::kMonthLetter;
}

bool IsTimeFillable(TokenKind kind) {
  return kind == TokenKind::kHourDigit || kind == TokenKind::kMinuteDigit ||
         kind == TokenKind::kSecondDigit;
}

// The fill option's character; '\0' when `c` is not one.
char FillOption(char c) {
  switch (c) {
    case '0':
      return '0';
    case '*':
      return '*';
    case '_':
      return ' ';
    default:
      return '\0';
  }
}

// The separator option's character; '\0' when `c` is not one.
char SeparatorOption(char c) {
  switch (c) {
    case '.':
      return '.';
    case '-':
      return '-';
    case '_':
      return ' ';
    case '`':
      return ',';
    default:
      return '\0';
  }
}

const std::vector<PictureToken>& LocaleTokens(bool is_date, int number,
                                              const LocaleTables& tables) {
  if (is_date) {
    return number == 17 ? tables.short_date.tokens : tables.long_date.tokens;
  }
  return number == 7 ? tables.short_time.tokens : tables.long_time.tokens;
}

std::vector<PictureToken> LayoutTokens(bool is_date, int number,
                                       const LocaleTables& tables) {
  const bool is_locale = is_date ? number >= 17 : number >= 7;
  if (is_locale) {
    const std::vector<PictureToken>& own =
        LocaleTokens(is_date, number, tables);
    if (!own.empty()) {
      const size_t count = std::min(own.size(), kMaxPictureWidth);
      return std::vector<PictureToken>(own.begin(), own.begin() + count);
    }
    if (is_date) {
      number = number == 17 ? kShortDateFallback : kLongDateFallback;
    } else {
      number = number == 7 ? kShortTimeFallback : kLongTimeFallback;
    }
  }
  return DecodeLayout(is_date ? kDateLayouts[number - 1].code
                              : kTimeLayouts[number - 1].code);
}

// @D[f]n[<w|>w][s][B] and @T[f]n[s][B], from just after the letter.
bool CompileDateTime(Cursor cursor, bool is_date, const LocaleTables& tables,
                     Picture* picture) {
  const char fill = FillOption(cursor.peek());
  if (fill != '\0') cursor.skip();
  int digits = 0;
  const int number = cursor.ReadNumber(&digits);
  const int last = is_date ? 18 : 8;
  if (digits == 0 || number < 1 || number > last) return false;

  int window = 80;
  if (is_date && (cursor.peek() == '<' || cursor.peek() == '>')) {
    const bool is_past = cursor.peek() == '<';
    cursor.skip();
    int w = cursor.ReadNumber(&digits);
    if (w > 99) return false;
    // A bare "<" or "<0" keeps the default window of 80; a bare ">" or ">0"
    // asks for the mirror of that default, 19 (years reach 80 ahead).
    if (is_past) {
      window = w == 0 ? 80 : w;
    } else {
      window = w == 0 ? 19 : 99 - w;
    }
  }
  const char separator = SeparatorOption(cursor.peek());
  if (separator != '\0') cursor.skip();
  picture->blank = cursor.take('B');
  if (!cursor.done()) return false;

  picture->kind = is_date ? PictureKind::kDate : PictureKind::kTime;
  picture->number = static_cast<uint8_t>(number);
  picture->century_window = static_cast<uint8_t>(window);
  picture->tokens = LayoutTokens(is_date, number, tables);
  int year_tokens = 0;
  for (PictureToken& token : picture->tokens) {
    if (token.kind == TokenKind::kYearDigit) ++year_tokens;
    const bool fillable =
        is_date ? IsDateFillable(token.kind) : IsTimeFillable(token.kind);
    if (fill != '\0' && fillable) token.fill = fill;
    if (separator != '\0' && token.kind == TokenKind::kSeparator) {
      token.fill = separator;
    }
  }
  if (is_date) picture->year_digits = year_tokens >= 4 ? 4 : 2;
  return true;
}

bool CompileString(Cursor cursor, Picture* picture) {
  int digits = 0;
  const int length = cursor.ReadNumber(&digits);
  if (digits == 0 || length < 1 || length > 255 || !cursor.done()) {
    return false;
  }
  picture->kind = PictureKind::kString;
  picture->number = static_cast<uint8_t>(length);
  return true;
}

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

}  // namespace

namespace picture_internal {

bool Cursor::take(char c) {
  if (done() || UpperAscii(text_[pos_]) != UpperAscii(c)) return false;
  ++pos_;
  return true;
}

int Cursor::ReadNumber(int* digits) {
  int value = 0;
  *digits = 0;
  while (!done() && text_[pos_] >= '0' && text_[pos_] <= '9') {
    if (value < kNumberCap) value = value * 10 + (text_[pos_] - '0');
    ++*digits;
    ++pos_;
  }
  return value < kNumberCap ? value : kNumberCap;
}

}  // namespace picture_internal

size_t Picture::width() const {
  return kind == PictureKind::kString ? number : tokens.size();
}

Picture CompilePicture(std::string_view text, const LocaleTables& tables) {
  Picture picture;
  if (text.size() < 2 || text[0] != '@') return Picture{};
  const char letter = UpperAscii(text[1]);
  const std::string_view rest = text.substr(2);
  bool ok = false;
  switch (letter) {
    case 'S':
      ok = CompileString(Cursor(rest), &picture);
      break;
    case 'D':
      ok = CompileDateTime(Cursor(rest), true, tables, &picture);
      break;
    case 'T':
      ok = CompileDateTime(Cursor(rest), false, tables, &picture);
      break;
    case 'N':
      ok = picture_internal::CompileNumeric(rest, &picture);
      break;
    case 'E':
      ok = picture_internal::CompileScientific(rest, &picture);
      break;
    case 'P':
    case 'K':
      ok = picture_internal::CompilePattern(letter, rest, &picture);
      break;
    default:
      break;
  }
  if (!ok) return Picture{};
  picture.text = std::string(text);
  return picture;
}

}  // namespace zuna::values
