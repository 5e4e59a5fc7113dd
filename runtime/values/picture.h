// Display pictures: the format texts such as @D6, @d12, @s30, @n_4, @T4,
// compiled once into a token list that FORMAT and DEFORMAT (format.h) walk.
//
// Picture text syntax (letters in either case):
//   @Sn                      string of n characters, 1 <= n <= 255
//   @D[f]n[<w|>w][s][B]      date picture n (1-18)
//   @T[f]n[s][B]             time picture n (1-8)
//   @N...                    numeric picture, see CompilePicture below
//   @Ew[.p][B]               scientific picture, see CompilePicture below
//   @P...P[B] @K...K[B]      pattern pictures, see CompilePicture below
// f: fill '0', '_' (blank) or '*' replacing the fill of every digit and
// month-letter token; a '0' straight after the letter is always the fill,
// so @D06 is picture 6 zero-filled.  <w sets the century window to w (0 or
// missing: 80), >w to 99 - w (w 0 or missing: 19, so the window is 80); w
// above 99 is invalid.  s: separator option '.', '-', '_' (blank) or '`'
// (comma) replacing every separator token.  B: blank flag, a zero or
// invalid value formats as all blanks.  Anything else makes the picture
// invalid, which compiles to an empty picture (no tokens) that formats as "".
//
// Date layouts (m month, d day, y year digit, M month-name letter; '/' and
// ',' separator tokens, blank in 7/8 a separator token too; the tokens
// named in brackets are blank-filled, all other digits zero-filled):
//   1 mm/dd/yy [m1]     2 mm/dd/yyyy [m1]     3 MMM dd,yyyy [d1, M]
//   4 MMMMMMMMMMMM dd, yyyy [d1, M]           5 dd/mm/yy [d1]
//   6 dd/mm/yyyy [d1]   7 dd MMM yy [d1, M]   8 dd MMM yyyy [d1, M]
//   9 yy/mm/dd   10 yyyy/mm/dd   11 yymmdd   12 yyyymmdd
//   13 mm/yy     14 mm/yyyy      15 yy/mm    16 yyyy/mm
//   17, 18 the locale's short and long date pictures (LocaleTables)
// Time layouts (h hour, n minute, s second; first hour digit blank-filled;
// XM is the AM/PM marker token and a literal 'M', and selects the 12-hour
// clock):
//   1 hh:nn  2 hhnn  3 hh:nnXM  4 hh:nn:ss  5 hhnnss  6 hh:nn:ssXM
//   7, 8 the locale's short and long time pictures
// When a locale picture's token list is empty (the tables were built
// without one), 17 falls back to layout 2, 18 to layout 4, 7 to layout 3 and
// 8 to layout 6: the layouts the default regional settings describe, with
// four-digit years.  Fill and separator options apply to locale pictures
// as to the fixed layouts.
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

// The most display positions a picture may have: the token count is a byte.
inline constexpr size_t kMaxPictureWidth = 255;

struct Picture {
  PictureKind kind = PictureKind::kEmpty;
  bool blank = false;          // trailing B: zero/invalid formats as blanks
  uint8_t number = 0;          // n of @Dn / @Tn; the length of @Sn
  uint8_t century_window = 80; // dates only
  // Dates only: the year digits FORMAT prints, 4 when the picture has four
  // or more year tokens, else 2; 0 (a picture not made by CompilePicture)
  // means "count the tokens".
  uint8_t year_digits = 0;
  std::vector<PictureToken> tokens;  // one per display position

  // Numeric and scientific pictures.
  uint8_t places = 0;          // digits after the decimal point
  bool sign_in_parens = false; // negative shown as (n) instead of -n

  std::string text;            // the picture text as written

  // Display width: the token count, or n for @Sn.
  size_t width() const;
  bool empty() const { return kind == PictureKind::kEmpty; }
};

// Compiles a picture text.  Never fails: an invalid text gives an empty
// picture.  Date pictures 17/18 and time pictures 7/8 copy the locale
// pictures of `tables` (at most kMaxPictureWidth tokens of them).
//
// Numeric pictures: @N[s][f]w[g][.p][s][B]
//   s  sign: a leading '-' reserves a sign position in front, a trailing
//      '-' one behind; '(' in front and ')' behind (both or neither) show a
//      negative value in parentheses.  One sign form per picture.
//   f  fill of the leading integer positions: '0' zeros, '*' asterisks,
//      '_' or nothing blanks.
//   w  1-255: the positions of the integer digits, group separators,
//      decimal point and decimals together; the sign positions come on top.
//   g  group separator every three integer digits: '`' a comma, '_' a blank;
//      none when omitted.
//   .p decimal places, p < w; '.0' or a bare '.' means none.
//   B  blank flag.
// So @n_4 is four blank-filled digit positions, @n010 ten zero-filled ones,
// @N-10.2 a leading sign, seven integer digits, the point and two places.
// The token count (signs included) must not exceed kMaxPictureWidth.
//
// Scientific pictures: @Ew[.p][B], w 1-255 positions, p decimals in the
// mantissa (default: as many as leave room for a sign and a two-digit
// exponent, w - 7, at least 0).
//
// Pattern pictures: @P...P and @K...K, the closing letter matching the
// opening one in either case, then an optional B.  Between them, in @P,
// '#' and '<' are digit positions ('#' shows a leading zero, '<' a blank);
// in @K, '#', '<', '@' and '?' are character positions; every other
// character prints as itself.  An empty body is invalid.
Picture CompilePicture(std::string_view text,
                       const LocaleTables& tables = Locale());

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_PICTURE_H_
