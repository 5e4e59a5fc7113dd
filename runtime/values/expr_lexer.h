// The tokens of the filter expression language and the lexer that cuts an
// expression text into them.
//
// Token rules (blanks, tabs and line breaks are skipped between tokens):
//   name      a letter (ASCII, or a letter of the locale's case table), '_'
//             or '?', then letters, digits, '_' and ':'; one trailing '#',
//             '$' or '"' belongs to it.  The lexer only cuts names; the
//             parser looks them up (keyword, bound name or built-in).
//   number    a digit or '.': see LexNumber in the .cpp for the radix
//             suffixes H/O/B, the promotion of large integers to REAL and
//             the overflow rule.
//   string    '...' with '' standing for one quote.
//   picture   '@' and its text (see LexPicture); a STRING constant.
//   operator  + - * / % ^ & = < > ~ , : and the brackets ( ) [ ].
// Anything else, an unterminated string or picture, and a malformed or
// overflowing number are error tokens.
//
// A Lexer reads a text it does not own: the text must outlive the lexer and
// the tokens (names and pictures are views into it).  Not thread-safe; one
// lexer per parse.
#ifndef ZUNA_RUNTIME_VALUES_EXPR_LEXER_H_
#define ZUNA_RUNTIME_VALUES_EXPR_LEXER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zuna::values {

// Operator codes, shared by tokens and operator nodes.
enum class Op : uint8_t {
  kNone = 0,
  kPower = 2,
  kMultiply = 3,
  kDivide = 4,
  kRemainder = 5,
  kNegate = 6,
  kAdd = 7,
  kSubtract = 8,
  kConcat = 9,
  kEqual = 10,
  kNotEqual = 11,
  kLess = 12,
  kGreater = 13,
  kLessEqual = 14,
  kGreaterEqual = 15,
  kNot = 16,
  kAnd = 17,
  kOr = 18,
  kXor = 19,
  kComma = 20,
  kColon = 21,
};

enum class TokenType : uint8_t {
  kEnd,
  kError,
  kOperator,
  kLeftParen,
  kRightParen,
  kLeftBracket,
  kRightBracket,
  kLong,
  kReal,
  kString,   // a string literal; `value` holds its text, quotes undone
  kPicture,  // `text` holds the picture text, '@' included
  kName,     // `text` holds the name as written (not cut)
};

struct Token {
  TokenType type = TokenType::kEnd;
  Op op = Op::kNone;      // kOperator
  size_t pos = 0;         // zero-based offset of the first character
  std::string_view text;  // the characters of the token
  std::string value;      // kString: the literal's text
  int32_t long_value = 0;
  double real_value = 0.0;
};

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  // The next token; kEnd at (and after) the end of the text.  Callers stop
  // at an error token: what follows it is not meaningful.
  Token Next();

  // For SQL(...): skips blanks, expects '(' and returns the raw text up to
  // the matching ')' (parentheses inside single quotes do not count) in
  // `raw`, leaving the lexer after the ')'.  False when there is no '(' or
  // the text ends first; `error_pos` is then the offset where reading
  // stopped (the text's size when it ended).
  bool ReadParenthesisedRaw(std::string_view& raw, size_t& error_pos);

 private:
  Token LexName(size_t start);
  Token LexNumber(size_t start);
  Token LexString(size_t start);
  Token LexPicture(size_t start);
  void SkipBlanks();

  std::string_view text_;
  size_t pos_ = 0;
};

// Keyword operators: AND, OR, XOR, NOT (any case); Op::kNone otherwise.
Op KeywordOperator(std::string_view name);

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_EXPR_LEXER_H_
