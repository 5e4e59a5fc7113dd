// Pattern pictures (@P...P digits into a layout, @K...K characters into a
// layout): compilation, FORMAT and DEFORMAT.  Rules in picture.h and
// format.h.

#include <algorithm>
#include <string>

#include "runtime/values/picture_internal.h"

namespace zuna::values::picture_internal {
namespace {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

bool IsBlankText(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos;
}

}  // namespace

bool CompilePattern(char letter, std::string_view rest, Picture* picture) {
  if (rest.size() >= 2 && UpperAscii(rest.back()) == 'B' &&
      UpperAscii(rest[rest.size() - 2]) == letter) {
    picture->blank = true;
    rest.remove_suffix(1);
  }
  if (rest.empty() || UpperAscii(rest.back()) != letter) return false;
  const std::string_view body = rest.substr(0, rest.size() - 1);
  if (body.empty() || body.size() > kMaxPictureWidth) return false;
  picture->tokens.clear();
  picture->tokens.reserve(body.size());
  for (const char c : body) {
    if (letter == 'P' && (c == '#' || c == '<')) {
      picture->tokens.push_back(
          {c == '#' ? '0' : ' ', TokenKind::kPatternDigit});
    } else if (letter == 'K' &&
               (c == '#' || c == '<' || c == '@' || c == '?')) {
      picture->tokens.push_back({' ', TokenKind::kPatternChar});
    } else {
      picture->tokens.push_back({c, TokenKind::kLiteral});
    }
  }
  picture->kind = PictureKind::kPattern;
  return true;
}

std::string FormatPattern(std::string_view text, const Picture& picture) {
  const size_t width = picture.tokens.size();
  size_t digit_positions = 0;
  for (const PictureToken& token : picture.tokens) {
    if (token.kind == TokenKind::kPatternDigit) ++digit_positions;
  }
  // An @P value's digits: those before any decimal point.
  std::string digits;
  if (digit_positions > 0) {
    for (const char c : text.substr(0, text.find('.'))) {
      if (c >= '0' && c <= '9') digits += c;
    }
  }
  if (picture.blank) {
    const bool is_zero = digits.find_first_not_of('0') == std::string::npos;
    if (digit_positions > 0 ? is_zero : IsBlankText(text)) {
      return std::string(width, ' ');
    }
  }
  const size_t significant = digits.find_first_not_of('0');
  if (digits.size() > digit_positions) {
    digits.erase(0, std::min(significant, digits.size()));
    if (digits.size() > digit_positions) return std::string(width, '#');
  }

  std::string out(width, ' ');
  size_t next_char = 0;
  for (size_t k = 0; k < width; ++k) {
    const PictureToken& token = picture.tokens[k];
    if (token.kind == TokenKind::kPatternChar) {
      out[k] = next_char < text.size() ? text[next_char++] : ' ';
    } else if (token.kind != TokenKind::kPatternDigit) {
      out[k] = token.fill;
    }
  }
  size_t remaining = digits.size();
  for (size_t k = width; k-- > 0;) {
    const PictureToken& token = picture.tokens[k];
    if (token.kind != TokenKind::kPatternDigit) continue;
    out[k] = remaining > 0 ? digits[--remaining] : token.fill;
  }
  return out;
}

std::string DeformatPattern(std::string_view text, const Picture& picture) {
  std::string kept;
  bool is_numeric = false;  // an @P picture: its value is a number
  const size_t count = std::min(text.size(), picture.tokens.size());
  for (size_t k = 0; k < picture.tokens.size(); ++k) {
    const PictureToken& token = picture.tokens[k];
    if (token.kind == TokenKind::kPatternDigit) {
      is_numeric = true;
      if (k < count && text[k] >= '0' && text[k] <= '9') kept += text[k];
    } else if (token.kind == TokenKind::kPatternChar && k < count) {
      kept += text[k];
    }
  }
  return is_numeric ? CanonicalDecimal(kept, false) : kept;
}

}  // namespace zuna::values::picture_internal
