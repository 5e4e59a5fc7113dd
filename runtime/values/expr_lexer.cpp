#include "runtime/values/expr_lexer.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "runtime/values/locale.h"

namespace zuna::values {
namespace {

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsAsciiAlnum(char c) { return IsAsciiDigit(c) || IsAsciiLetter(c); }
bool IsLetter(char c) { return IsAsciiLetter(c) || IsAlpha(c); }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Value of an alphanumeric digit in any radix up to 16; 99 for others.
int DigitValue(char c) {
  if (IsAsciiDigit(c)) return c - '0';
  const char u = AsciiUpper(c);
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return 99;
}

// An exponent beyond this many decimal orders is an overflow even where the
// mantissa would bring the value back into range.
constexpr int kMaxDecimalExponent = 400;

Token ErrorAt(size_t pos) {
  Token token;
  token.type = TokenType::kError;
  token.pos = pos;
  return token;
}

// Whether an integer of `digits` significant digits in `radix`, the first
// being `first`, becomes a REAL constant.  Hexadecimal and octal constants
// up to 32 bits stay LONG as a bit pattern (0FFFFFFFFH is -1); binary ones
// of 32 digits and more, and decimal ones that do not fit a LONG, are REAL.
bool RadixNeedsReal(int radix, size_t digits, int first) {
  switch (radix) {
    case 2:
      return digits >= 32;
    case 8:
      return digits >= 12 || (digits == 11 && first >= 4);
    default:
      return digits >= 9;  // 16
  }
}

}  // namespace

Op KeywordOperator(std::string_view name) {
  struct Keyword {
    std::string_view name;
    Op op;
  };
  static constexpr Keyword kKeywords[] = {
      {"AND", Op::kAnd}, {"OR", Op::kOr}, {"XOR", Op::kXor}, {"NOT", Op::kNot}};
  for (const Keyword& keyword : kKeywords) {
    if (name.size() != keyword.name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i) {
      same = AsciiUpper(name[i]) == keyword.name[i];
    }
    if (same) return keyword.op;
  }
  return Op::kNone;
}

void Lexer::SkipBlanks() {
  while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
}

Token Lexer::Next() {
  SkipBlanks();
  Token token;
  token.pos = pos_;
  if (pos_ >= text_.size()) {
    token.type = TokenType::kEnd;
    return token;
  }
  const char c = text_[pos_];
  if (IsLetter(c) || c == '_' || c == '?') return LexName(pos_);
  if (IsAsciiDigit(c) || c == '.') return LexNumber(pos_);
  if (c == '\'') return LexString(pos_);
  if (c == '@') return LexPicture(pos_);

  token.text = text_.substr(pos_, 1);
  ++pos_;
  token.type = TokenType::kOperator;
  switch (c) {
    case '+':
      token.op = Op::kAdd;
      break;
    case '-':
      token.op = Op::kSubtract;
      break;
    case '*':
      token.op = Op::kMultiply;
      break;
    case '/':
      token.op = Op::kDivide;
      break;
    case '%':
      token.op = Op::kRemainder;
      break;
    case '^':
      token.op = Op::kPower;
      break;
    case '&':
      token.op = Op::kConcat;
      break;
    case '=':
      token.op = Op::kEqual;
      break;
    case '<':
      token.op = Op::kLess;
      break;
    case '>':
      token.op = Op::kGreater;
      break;
    case '~':
      token.op = Op::kNot;
      break;
    case ',':
      token.op = Op::kComma;
      break;
    case ':':
      token.op = Op::kColon;
      break;
    case '(':
      token.type = TokenType::kLeftParen;
      break;
    case ')':
      token.type = TokenType::kRightParen;
      break;
    case '[':
      token.type = TokenType::kLeftBracket;
      break;
    case ']':
      token.type = TokenType::kRightBracket;
      break;
    default:
      return ErrorAt(token.pos);
  }
  return token;
}

Token Lexer::LexName(size_t start) {
  size_t end = start + 1;
  while (end < text_.size()) {
    const char c = text_[end];
    if (!(IsLetter(c) || IsAsciiDigit(c) || c == '_' || c == ':')) break;
    ++end;
  }
  if (end < text_.size() &&
      (text_[end] == '#' || text_[end] == '$' || text_[end] == '"')) {
    ++end;
  }
  Token token;
  token.type = TokenType::kName;
  token.pos = start;
  token.text = text_.substr(start, end - start);
  pos_ = end;
  return token;
}

// Numbers.  A run of letters and digits ending in H, O or B whose other
// characters are digits of that radix is a radix integer.  Otherwise the
// number is decimal: digits, an optional '.' and digits, an optional
// exponent (e/E, optional sign, at least one digit); a letter, digit or '_'
// straight after it makes the token an error ("12abc").  Leading zeros do
// not count towards the digit limits.  A REAL that overflows a double, or
// whose exponent exceeds kMaxDecimalExponent, is an error: a filter with an
// impossible constant is refused rather than compared against infinity.
Token Lexer::LexNumber(size_t start) {
  Token token;
  token.pos = start;

  size_t run_end = start;
  while (run_end < text_.size() && IsAsciiAlnum(text_[run_end])) ++run_end;
  if (run_end - start >= 2) {
    const char suffix = AsciiUpper(text_[run_end - 1]);
    const int radix = suffix == 'H'   ? 16
                      : suffix == 'O' ? 8
                      : suffix == 'B' ? 2
                                      : 0;
    bool valid = radix != 0;
    for (size_t i = start; valid && i + 1 < run_end; ++i) {
      valid = DigitValue(text_[i]) < radix;
    }
    const bool followed_badly =
        run_end < text_.size() &&
        (text_[run_end] == '_' || text_[run_end] == '.');
    if (valid && !followed_badly) {
      size_t first = start;
      while (first + 1 < run_end - 1 && text_[first] == '0') ++first;
      const size_t digits = run_end - 1 - first;
      uint32_t pattern = 0;
      double real = 0.0;
      for (size_t i = first; i + 1 < run_end; ++i) {
        const int digit = DigitValue(text_[i]);
        pattern = pattern * static_cast<uint32_t>(radix) +
                  static_cast<uint32_t>(digit);
        real = real * radix + digit;
      }
      pos_ = run_end;
      token.text = text_.substr(start, run_end - start);
      if (RadixNeedsReal(radix, digits, DigitValue(text_[first]))) {
        if (!std::isfinite(real)) return ErrorAt(start);
        token.type = TokenType::kReal;
        token.real_value = real;
      } else {
        token.type = TokenType::kLong;
        token.long_value = static_cast<int32_t>(pattern);  // modular, C++20
      }
      return token;
    }
  }

  size_t i = start;
  size_t integer_digits = 0;
  while (i < text_.size() && IsAsciiDigit(text_[i])) ++i, ++integer_digits;
  bool is_real = false;
  size_t fraction_digits = 0;
  if (i < text_.size() && text_[i] == '.') {
    ++i;
    while (i < text_.size() && IsAsciiDigit(text_[i])) ++i, ++fraction_digits;
    // "12." is the number 12; a '.' alone is not a number.
    is_real = fraction_digits > 0;
  }
  if (integer_digits + fraction_digits == 0) return ErrorAt(start);
  const size_t mantissa_end = i;
  bool exponent_negative = false;
  int exponent = 0;
  if (i < text_.size() && (text_[i] == 'e' || text_[i] == 'E')) {
    size_t j = i + 1;
    if (j < text_.size() && (text_[j] == '+' || text_[j] == '-')) {
      exponent_negative = text_[j] == '-';
      ++j;
    }
    if (j < text_.size() && IsAsciiDigit(text_[j])) {
      while (j < text_.size() && IsAsciiDigit(text_[j])) {
        exponent = std::min(exponent * 10 + (text_[j] - '0'), 100000);
        ++j;
      }
      i = j;
      is_real = true;
    }
  }
  if (i < text_.size() && (IsAsciiAlnum(text_[i]) || text_[i] == '_')) {
    return ErrorAt(start);
  }
  pos_ = i;
  token.text = text_.substr(start, i - start);

  if (!is_real) {
    size_t first = start;
    while (first + 1 < mantissa_end && text_[first] == '0') ++first;
    // The integer part only: "12." stops before its '.'.
    size_t last = first;
    while (last < mantissa_end && IsAsciiDigit(text_[last])) ++last;
    if (last - first <= 10) {
      int64_t value = 0;
      for (size_t k = first; k < last; ++k)
        value = value * 10 + (text_[k] - '0');
      if (value <= std::numeric_limits<int32_t>::max()) {
        token.type = TokenType::kLong;
        token.long_value = static_cast<int32_t>(value);
        return token;
      }
    }
  }
  if (!exponent_negative && exponent > kMaxDecimalExponent)
    return ErrorAt(start);
  double value = 0.0;
  const std::from_chars_result result =
      std::from_chars(text_.data() + start, text_.data() + i, value,
                      std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    if (!exponent_negative) return ErrorAt(start);
    value = 0.0;  // underflow: closer to 0 than a double can tell
  } else if (result.ec != std::errc() || !std::isfinite(value)) {
    return ErrorAt(start);
  }
  token.type = TokenType::kReal;
  token.real_value = value;
  return token;
}

Token Lexer::LexString(size_t start) {
  Token token;
  token.type = TokenType::kString;
  token.pos = start;
  size_t i = start + 1;
  while (true) {
    if (i >= text_.size()) return ErrorAt(start);
    const char c = text_[i];
    if (c == '\'') {
      if (i + 1 < text_.size() && text_[i + 1] == '\'') {
        token.value += '\'';
        i += 2;
        continue;
      }
      ++i;
      break;
    }
    token.value += c;
    ++i;
  }
  token.text = text_.substr(start, i - start);
  pos_ = i;
  return token;
}

// Pictures.  @P...P and @K...K run to the next P (K) in either case, and
// take one trailing B.  @N pictures keep text between '~' marks and
// parentheses that open inside them; they and every other picture end at a
// blank, ',' or a ')' that closes nothing of theirs.
Token Lexer::LexPicture(size_t start) {
  size_t i = start + 1;
  const char kind = i < text_.size() ? AsciiUpper(text_[i]) : '\0';
  if (kind == 'P' || kind == 'K') {
    ++i;
    while (i < text_.size() && AsciiUpper(text_[i]) != kind) ++i;
    if (i >= text_.size()) return ErrorAt(start);
    ++i;
    if (i < text_.size() && AsciiUpper(text_[i]) == 'B') ++i;
  } else {
    int depth = 0;
    while (i < text_.size()) {
      const char c = text_[i];
      if (kind == 'N' && c == '~') {
        const size_t close = text_.find('~', i + 1);
        if (close == std::string_view::npos) return ErrorAt(start);
        i = close + 1;
        continue;
      }
      if (IsBlank(c) || c == ',') break;
      if (c == ')') {
        if (depth == 0) break;
        --depth;
      } else if (c == '(' && kind == 'N') {
        ++depth;
      }
      ++i;
    }
  }
  Token token;
  token.type = TokenType::kPicture;
  token.pos = start;
  token.text = text_.substr(start, i - start);
  pos_ = i;
  return token;
}

bool Lexer::ReadParenthesisedRaw(std::string_view& raw, size_t& error_pos) {
  SkipBlanks();
  if (pos_ >= text_.size() || text_[pos_] != '(') {
    error_pos = pos_;
    return false;
  }
  const size_t open = pos_;
  int depth = 0;
  bool in_quotes = false;
  for (size_t i = open; i < text_.size(); ++i) {
    const char c = text_[i];
    if (c == '\'') {
      in_quotes = !in_quotes;
    } else if (!in_quotes && c == '(') {
      ++depth;
    } else if (!in_quotes && c == ')' && --depth == 0) {
      raw = text_.substr(open + 1, i - open - 1);
      pos_ = i + 1;
      return true;
    }
  }
  error_pos = text_.size();
  return false;
}

}  // namespace zuna::values
