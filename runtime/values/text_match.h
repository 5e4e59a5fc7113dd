// Pattern matching for the MATCH and STRPOS built-ins: wildcards, a small
// regular-expression language and soundex codes.
//
// Every function is defined for every input and runs in time proportional
// to (text length) x (pattern length) at worst: the regular expressions run
// on a Thompson-style automaton, never by backtracking, and nothing
// recurses on the text.  Pure functions of their arguments and the locale's
// case table; safe on any thread.
//
// Regular expressions (a subset of the POSIX extended syntax):
//   c        the character c            .        any character
//   [abc]    one of the set             [^abc]   one not in the set
//   [a-z]    a range inside a set (']' first in a set is a member)
//   x* x+ x? zero or more / one or more / zero or one of x
//   x|y      either                     (x)      grouping
//   ^ $      start and end of the text  \c       the character c itself
// A pattern longer than kMaxRegexPattern characters, with unbalanced
// parentheses, an unterminated set or a dangling '\' is invalid.
#ifndef ZUNA_RUNTIME_VALUES_TEXT_MATCH_H_
#define ZUNA_RUNTIME_VALUES_TEXT_MATCH_H_

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zuna::values {

inline constexpr size_t kMaxRegexPattern = 256;

// Whole-text wildcard match: '*' any run of characters, '?' any one.
bool WildcardMatch(std::string_view text, std::string_view pattern,
                   bool ignore_case);

class Regex {
 public:
  // nullopt for an invalid pattern.
  static std::optional<Regex> Compile(std::string_view pattern,
                                      bool ignore_case);

  // The zero-based offset where the leftmost match begins, or nullopt.
  std::optional<size_t> Search(std::string_view text) const;

 private:
  enum class Kind : uint8_t {
    kChar,
    kAny,
    kSet,
    kSplit,
    kJump,
    kBol,
    kEol,
    kMatch
  };
  struct Inst {
    Kind kind = Kind::kMatch;
    uint8_t character = 0;
    int32_t x = 0;  // kJump target; kSplit preferred target; kSet index
    int32_t y = 0;  // kSplit other target
  };
  friend class RegexCompiler;

  bool Accepts(const Inst& inst, uint8_t c) const;

  std::vector<Inst> program_;
  std::vector<std::bitset<256>> sets_;
  bool ignore_case_ = false;
};

// The American soundex code of the ASCII letters of a text ("R163" for
// "Robert"); "" when the text has no ASCII letter.
std::string Soundex(std::string_view text);

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_TEXT_MATCH_H_
