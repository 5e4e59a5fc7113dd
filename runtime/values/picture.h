// Display pictures: the format texts such as @D6, @d12, @s30, @n_4, @T4,
// compiled once into a token list that FORMAT and DEFORMAT (format.h) walk.
//
// Picture text syntax (letters in either case):
//   @Sn                      string of n characters, 1 <= n <= 255
//   @D[f]n[<w|>w][s][B]      date picture n (1-18)
//   @T[f]n[s][B]             time picture n (1-8)
//   @N...                    numeric picture, see CompilePicture below
//   @E... @P...P @K...K      scientific and pattern pictures: tokenised by
//                            the expression language, formatted as text
// f: fill '0', '_' or '*' replacing the fill of every digit / month-letter
// token; <w sets the century window to w (0 or missing: 80), >w to 99 - w
// (0 or missing: 19); s: separator option '.', '-', '_' (blank) or '`'
// (comma) replacing every separator token; B: blank flag, a zero or invalid
// value formats as all blanks.  Anything else makes the picture invalid,
// which compiles to an empty picture (no tokens) that formats as "".
//
// A Picture is a plain value: compile it once and share it freely between
// threads.
#ifndef ZUNA_RUNTIME_VALUES_PICTURE_H_
#define ZUNA_RUNTIME_VALUES_PICTURE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/values/locale.h"
#include "runtime/values/picture_token.h"

namespace zuna::values {

enum class PictureKind : uint8_t {
  kEmpty = 0,       // invalid or empty picture text
  kNumeric = 1,     // @N
  kDate = 2,
  kTime = 3,
  kScientific = 4,  // @E
  kString = 5,
  kPattern = 6,     // @P...P and @K...K
};

struct Picture {
  PictureKind kind = PictureKind::kEmpty;
  bool blank = false;          // trailing B: zero/invalid formats as blanks
  uint8_t number = 0;          // n of @Dn / @Tn; the length of @Sn
  uint8_t century_window = 80; // dates only
  std::vector<PictureToken> tokens;  // one per display position

  // Numeric pictures.
  uint8_t places = 0;          // digits after the decimal point
  bool sign_in_parens = false; // negative shown as (n) instead of -n

  std::string text;            // the picture text as written (@P/@K/@E)

  // Display width: the token count, or n for @Sn.
  size_t width() const;
  bool empty() const { return kind == PictureKind::kEmpty; }
};

// Compiles a picture text.  Never fails: an invalid text gives an empty
// picture.  Date pictures 17/18 and time pictures 7/8 copy the locale
// pictures of `tables`.
//
// Numeric pictures: @N[-|(][f][w][g][.p][-|)][B] where f is a fill for the
// leading positions ('0' zeros, '*' asterisks, '_' or none blanks), w the
// total width, g an optional group separator ('`' comma, '.', '-', or a blank
// written as '_' after the width) and p the decimal places.  A leading '-'
// or '(' reserves a sign position in front, a trailing '-' or ')' one behind.
Picture CompilePicture(std::string_view text,
                       const LocaleTables& tables = Locale());

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_PICTURE_H_
