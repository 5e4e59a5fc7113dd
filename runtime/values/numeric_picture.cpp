// Numeric (@N) and scientific (@E) pictures: compilation, FORMAT and
// DEFORMAT.  The grammar and the display rules are in picture.h and format.h.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "runtime/values/picture_internal.h"

namespace zuna::values::picture_internal {
namespace {

// Magnitudes from here on cannot fit the widest picture; they are refused
// before printing so the digit buffer below stays small.
constexpr double kTooWide = 1e255;
// Below this, value * 10^places is an exact integer in a double and can be
// rounded half away from zero with std::round; above it printf's rounding
// is as good as the double itself.
constexpr double kExactIntegerLimit = 4e15;

std::string Hashes(size_t width) { return std::string(width, '#'); }

// |value| with `places` decimals as "digits[.digits]", rounded half away
// from zero.  REQUIRES: |value| < kTooWide, places <= 255.
std::string FixedDigits(double value, int places) {
  char buffer[600];
  const double magnitude = std::fabs(value);
  const double scaled = magnitude * std::pow(10.0, places);
  if (scaled < kExactIntegerLimit) {
    std::snprintf(buffer, sizeof buffer, "%.0f", std::round(scaled));
    std::string digits(buffer);
    if (places == 0) return digits;
    if (digits.size() <= static_cast<size_t>(places)) {
      digits.insert(0, static_cast<size_t>(places) + 1 - digits.size(), '0');
    }
    digits.insert(digits.size() - static_cast<size_t>(places), 1, '.');
    return digits;
  }
  std::snprintf(buffer, sizeof buffer, "%.*f", places, magnitude);
  return std::string(buffer);
}

// Where the parts of a compiled numeric picture lie in its token list.
struct Layout {
  size_t integer_begin = 0;
  size_t integer_end = 0;  // the decimal point, or the trailing sign, or end
  char fill = ' ';         // the integer digits' fill
  bool has_leading_sign = false;
  bool has_trailing_sign = false;
};

Layout Locate(const Picture& picture) {
  const std::vector<PictureToken>& tokens = picture.tokens;
  Layout layout;
  layout.has_leading_sign = tokens.front().kind == TokenKind::kSign;
  layout.has_trailing_sign =
      tokens.size() > 1 && tokens.back().kind == TokenKind::kSign;
  layout.integer_begin = layout.has_leading_sign ? 1 : 0;
  layout.integer_end = layout.integer_begin;
  while (layout.integer_end < tokens.size() &&
         (tokens[layout.integer_end].kind == TokenKind::kNumberDigit ||
          tokens[layout.integer_end].kind == TokenKind::kGroupSeparator)) {
    if (tokens[layout.integer_end].kind == TokenKind::kNumberDigit) {
      layout.fill = tokens[layout.integer_end].fill;
    }
    ++layout.integer_end;
  }
  return layout;
}

// The options of an @N picture as written (picture.h gives the grammar).
struct NumericOptions {
  char lead = '\0';  // '-' or '('
  char fill = ' ';
  int width = 0;
  char group = '\0';  // ',' or ' '
  int places = 0;
  char trail = '\0';  // '-' or ')'
  bool blank = false;
};

// Reads the options in their order; false when a width is missing or out
// of range, or anything is left over.
bool ParseNumericOptions(std::string_view text, NumericOptions* options) {
  Cursor cursor(text);
  if (cursor.peek() == '-' || cursor.peek() == '(') {
    options->lead = cursor.peek();
    cursor.skip();
  }
  if (cursor.peek() == '0' || cursor.peek() == '*') {
    options->fill = cursor.peek();
    cursor.skip();
  } else if (cursor.peek() == '_') {
    cursor.skip();
  }
  int digits = 0;
  options->width = cursor.ReadNumber(&digits);
  if (digits == 0 || options->width < 1 || options->width > 255) return false;
  if (cursor.peek() == '`') {
    options->group = ',';
    cursor.skip();
  } else if (cursor.peek() == '_') {
    options->group = ' ';
    cursor.skip();
  }
  if (cursor.take('.')) options->places = cursor.ReadNumber(&digits);
  if (cursor.peek() == '-' || cursor.peek() == ')') {
    options->trail = cursor.peek();
    cursor.skip();
  }
  options->blank = cursor.take('B');
  return cursor.done();
}

// Appends `positions` integer positions: digits with `fill`, and when
// `group` is set a separator after every three digits counted from the
// right, but never as the leftmost position.
void AppendIntegerArea(int positions, char fill, char group,
                       std::vector<PictureToken>* tokens) {
  const size_t begin = tokens->size();
  int run = 0;
  for (int left = positions; left > 0; --left) {
    if (group && run == 3 && left >= 2) {
      tokens->push_back({group, TokenKind::kGroupSeparator});
      run = 0;
    } else {
      tokens->push_back({fill, TokenKind::kNumberDigit});
      ++run;
    }
  }
  std::reverse(tokens->begin() + static_cast<std::ptrdiff_t>(begin),
               tokens->end());
}

// Writes the integer digits right to left into the integer area, fill and
// group separators around them.  Returns the leftmost position holding a
// digit, or npos when the digits do not fit.
size_t PlaceInteger(std::string_view digits, const Picture& picture,
                    const Layout& layout, std::string* out) {
  size_t remaining = digits.size();
  size_t first_used = layout.integer_end;
  for (size_t k = layout.integer_end; k-- > layout.integer_begin;) {
    const PictureToken& token = picture.tokens[k];
    if (token.kind == TokenKind::kNumberDigit) {
      if (remaining > 0) {
        (*out)[k] = digits[--remaining];
        first_used = k;
      } else {
        (*out)[k] = token.fill;
      }
    } else if (remaining > 0 || layout.fill == '0') {
      (*out)[k] = token.fill;  // a separator between digits, or in zero fill
    } else {
      (*out)[k] = layout.fill;
    }
  }
  return remaining > 0 ? std::string::npos : first_used;
}

// Writes the decimal point and the places left to right.
void PlaceFraction(std::string_view digits, const Picture& picture,
                   const Layout& layout, std::string* out) {
  size_t next = 0;
  for (size_t k = layout.integer_end; k < out->size(); ++k) {
    const PictureToken& token = picture.tokens[k];
    if (token.kind == TokenKind::kDecimalPoint) {
      (*out)[k] = token.fill;
    } else if (token.kind == TokenKind::kNumberDigit) {
      (*out)[k] = next < digits.size() ? digits[next++] : '0';
    }
  }
}

// Shows a negative value: in parentheses, in the sign position (a leading
// one floats up to the digits under a blank fill), or, without one, in the
// first unused leading position.  False when there is no room.
bool PlaceMinus(const Picture& picture, const Layout& layout, size_t first_used,
                std::string* out) {
  if (picture.sign_in_parens) {
    out->front() = '(';
    out->back() = ')';
  } else if (layout.has_leading_sign) {
    const bool floats = layout.fill == ' ' && first_used > 0;
    (*out)[floats ? first_used - 1 : 0] = '-';
  } else if (layout.has_trailing_sign) {
    out->back() = '-';
  } else {
    if (first_used <= layout.integer_begin) return false;
    (*out)[layout.fill == ' ' ? first_used - 1 : layout.integer_begin] = '-';
  }
  return true;
}

}  // namespace

bool CompileNumeric(std::string_view options, Picture* picture) {
  NumericOptions parsed;
  if (!ParseNumericOptions(options, &parsed)) return false;
  const bool parens = parsed.lead == '(' || parsed.trail == ')';
  if (parens && (parsed.lead != '(' || parsed.trail != ')')) return false;
  if (parsed.lead == '-' && parsed.trail == '-') return false;
  const int integer_positions =
      parsed.places > 0 ? parsed.width - parsed.places - 1 : parsed.width;
  if (integer_positions < 1) return false;
  const size_t sign_positions = (parsed.lead ? 1 : 0) + (parsed.trail ? 1 : 0);
  if (static_cast<size_t>(parsed.width) + sign_positions > kMaxPictureWidth) {
    return false;
  }

  std::vector<PictureToken>& tokens = picture->tokens;
  tokens.clear();
  if (parsed.lead) tokens.push_back({parsed.lead, TokenKind::kSign});
  AppendIntegerArea(integer_positions, parsed.fill, parsed.group, &tokens);
  if (parsed.places > 0) {
    tokens.push_back({'.', TokenKind::kDecimalPoint});
    tokens.insert(tokens.end(), static_cast<size_t>(parsed.places),
                  PictureToken{'0', TokenKind::kNumberDigit});
  }
  if (parsed.trail) tokens.push_back({parsed.trail, TokenKind::kSign});

  picture->kind = PictureKind::kNumeric;
  picture->blank = parsed.blank;
  picture->places = static_cast<uint8_t>(parsed.places);
  picture->sign_in_parens = parens;
  picture->number = static_cast<uint8_t>(parsed.width);
  return true;
}

bool CompileScientific(std::string_view options, Picture* picture) {
  Cursor cursor(options);
  int digits = 0;
  const int width = cursor.ReadNumber(&digits);
  if (digits == 0 || width < 1 || width > 255) return false;
  int places = std::max(0, width - 7);
  if (cursor.take('.')) places = cursor.ReadNumber(&digits);
  picture->blank = cursor.take('B');
  if (!cursor.done() || places > width) return false;
  picture->kind = PictureKind::kScientific;
  picture->places = static_cast<uint8_t>(places);
  picture->number = static_cast<uint8_t>(width);
  picture->tokens.assign(static_cast<size_t>(width),
                         PictureToken{' ', TokenKind::kNumberDigit});
  return true;
}

std::string FormatNumeric(double value, const Picture& picture) {
  const size_t width = picture.tokens.size();
  if (width == 0) return std::string();
  if (!std::isfinite(value)) {
    return picture.blank ? std::string(width, ' ') : Hashes(width);
  }
  if (std::fabs(value) >= kTooWide) return Hashes(width);
  const std::string fixed = FixedDigits(value, picture.places);
  const bool is_zero = fixed.find_first_not_of("0.") == std::string::npos;
  if (picture.blank && is_zero) return std::string(width, ' ');
  const size_t point = std::min(fixed.find('.'), fixed.size());
  const std::string_view digits(fixed);

  const Layout layout = Locate(picture);
  std::string out(width, ' ');
  const size_t first_used =
      PlaceInteger(digits.substr(0, point), picture, layout, &out);
  if (first_used == std::string::npos) return Hashes(width);
  if (point < digits.size()) {
    PlaceFraction(digits.substr(point + 1), picture, layout, &out);
  }
  const bool negative = value < 0 && !is_zero;
  if (negative && !PlaceMinus(picture, layout, first_used, &out)) {
    return Hashes(width);
  }
  return out;
}

std::string FormatScientific(double value, const Picture& picture) {
  const size_t width = picture.tokens.size();
  if (width == 0) return std::string();
  if (picture.blank && (value == 0 || std::isnan(value))) {
    return std::string(width, ' ');
  }
  if (!std::isfinite(value)) return Hashes(width);
  char buffer[300];
  const int length =
      std::snprintf(buffer, sizeof buffer, "%.*e", int{picture.places}, value);
  if (length < 0 || static_cast<size_t>(length) > width) return Hashes(width);
  std::string out(width - static_cast<size_t>(length), ' ');
  out.append(buffer, static_cast<size_t>(length));
  return out;
}

std::string DeformatNumeric(std::string_view text, const Picture& picture) {
  std::string kept;
  bool negative = false;
  const size_t count = std::min(text.size(), picture.tokens.size());
  for (size_t k = 0; k < count; ++k) {
    const PictureToken& token = picture.tokens[k];
    const char c = text[k];
    if (token.kind == TokenKind::kDecimalPoint) {
      kept += '.';
    } else if (c == '-' || c == '(') {
      negative = true;
    } else if (c == '+') {
      negative = false;
    } else if (token.kind == TokenKind::kNumberDigit) {
      if (c >= '0' && c <= '9') kept += c;
      if (c == ' ') kept += '0';
    }
  }
  return CanonicalDecimal(kept, negative);
}

std::string CanonicalDecimal(std::string_view digits, bool negative) {
  const size_t point = std::min(digits.find('.'), digits.size());
  std::string_view integer = digits.substr(0, point);
  std::string_view fraction =
      point < digits.size() ? digits.substr(point + 1) : std::string_view();
  while (integer.size() > 1 && integer.front() == '0') integer.remove_prefix(1);
  std::string out;
  const bool is_zero = digits.find_first_not_of("0.") == std::string_view::npos;
  if (negative && !is_zero) out += '-';
  out += integer.empty() ? std::string_view("0") : integer;
  if (!fraction.empty()) {
    out += '.';
    out += fraction;
  }
  return out;
}

}  // namespace zuna::values::picture_internal
