// The built-in functions of the expression language: their table (name,
// argument counts, result type, number) and what each one computes.
//
// Names match case-insensitively.  An argument may be left empty in a call
// ("SUB(s,,2)"); one below the minimum count is mandatory, and leaving it
// empty posts 1015 at evaluation and the call yields 0 ("" for the STRING
// functions) without evaluating the other arguments.  Omitted optional
// arguments take the defaults below.  Arguments are evaluated left to
// right, each in the type the function needs (LONG arguments truncate and
// saturate, conversion.h).  Every function is defined for every input;
// lengths and counts are clamped to [0, kMaxBuiltinLength].
//
// Numbers and dates
//   ABS(x) REAL             |x|.
//   INT(x) LONG             x truncated toward zero, saturated to LONG.
//   ROUND(x, step) REAL     x rounded to the nearest multiple of |step|,
//                           halves away from zero; step 0 gives x.
//   SQRT LOGE LOG10 SIN COS TAN ASIN ACOS ATAN (x) REAL  radians; an
//                           argument outside the function's domain
//                           (SQRT(-1), LOGE(0), ACOS(2)) gives 0.
//   RANDOM(lo, hi) LONG     uniform in [lo, hi] (either order), from a
//                           per-thread generator seeded at first use.
//   BAND BOR BXOR(a, b) LONG  bitwise on the LONG values.
//   BSHIFT(v, n) LONG       v shifted left n places for n > 0, right
//                           (logical, zeros enter) -n places for n < 0; 0 when
//                           n >= 32 or n < -31.
//   INRANGE(x, lo, hi) LONG 1 when lo <= x <= hi, compared as REALs with the
//                           language's tolerance.
//   NULL(x) LONG            1 when x as a LONG is 0.
//   NUMERIC(text) LONG      1 when the text, blanks around it ignored, is
//                           one decimal number (sign, digits, one '.',
//                           exponent); "" and "1a" give 0.
//   VAL(text) LONG          the code (0-255) of the first character; 0 for "".
//   LEN(text) LONG          the length of the text (a STRING variable's
//                           padding counts).
//   TODAY() CLOCK() DATE(m, d, y) DAY(s) MONTH(s) YEAR(s)  as date_serial.h
//                           and clock.h.
//   AGE(birth [, base]) STRING  as date_serial.h; base defaults to today.
//   MEMORY(n) LONG          n = 0: physical memory in KiB; n = 1: available
//                           physical memory in KiB (saturated); other n: 0.
//
// Text
//   SUB(text, start, length) STRING  the characters start .. start+length-1
//                           (1-based) that exist; a negative start counts
//                           from the end (-1 is the last character); length
//                           <= 0 or a range outside the text gives "".
//   ALL(text [, length]) STRING  text repeated to exactly length characters
//                           (default 255); "" when text is "".
//   CLIP(text) STRING       text without trailing blanks.
//   LEFT(text [, length]) STRING   left-justified: leading blanks removed,
//                           padded with blanks or cut on the right to length
//                           (default: the text's own length).
//   RIGHT(text [, length]) STRING  right-justified: trailing blanks removed,
//                           padded with blanks on the left to length (default
//                           the text's length); a longer text keeps its
//                           rightmost characters.
//   CENTER(text [, length]) STRING blanks around removed, centred in length
//                           (default the text's length), the odd blank going
//                           right; a longer text is cut on the right.
//   UPPER LOWER(text) STRING  through the locale's case table.
//   CHR(code) STRING        the one character with that code; "" outside
//                           0-255.
//   INSTRING(sub, text [, step [, start]]) LONG  searches text for sub at
//                           positions start, start+step, ... (defaults 1, 1;
//                           step 0 counts as 1).  For step > 0 the result is
//                           the number of the step that matched,
//                           (position - 1) / step + 1; for step < 0 the search
//                           runs backwards from start (default: the last
//                           position where sub fits) and the result is the
//                           position.  0 when not found or sub is "".
//   STRPOS(text, pattern [, mode]) LONG  the 1-based position of the first
//                           match of the regular expression (text_match.h) in
//                           text, 0 for none or an invalid pattern; mode bit
//                           10H ignores case.
//   MATCH(text, pattern [, mode]) LONG  1 when text matches pattern, trailing
//                           blanks of both ignored: mode 0 wildcard (* and ?,
//                           whole text), 1 regular expression (found
//                           anywhere), 2 soundex codes equal, 3 equal texts;
//                           bit 10H ignores case; other modes give 0.
//   INLIST(x, v1 [, v2 ...]) LONG  the number of the first v equal to x as
//                           text (trailing blanks insignificant, locale
//                           collation); empty v are skipped; 0 when none.
//   CHOOSE(n, v1 [, ...]) STRING  v_n for 1 <= n <= count of values, else
//                           the last value; so CHOOSE(cond, a, b) is a when
//                           cond is 1 and b when it is 0.  With no values,
//                           "1" when n is true and "0" otherwise.
//   QUOTE(text, wrap) STRING  every ' doubled, so the text can stand in a
//                           literal; wrapped in quotes when wrap is true.
//   UNQUOTE(text) STRING    the inverse: surrounding quotes (after trailing
//                           blanks) removed, then '' becomes '.
//   FORMAT(value, picture) STRING, DEFORMAT(text [, picture]) STRING  as
//                           format.h; a constant picture is compiled once,
//                           when the expression is compiled.  DEFORMAT
//                           without a picture keeps the characters that can
//                           form a number.
//   GETINI(section, key [, default [, file]]) STRING  the value from a
//                           profile file (profile_reader.h), default "" and
//                           file "Zuna.INI" in the current directory.
//   PATH([file]) STRING     the current directory; with a file, the absolute
//                           directory that holds it.
//   LONGPATH([file]) SHORTPATH([file]) STRING  the absolute, normalised form
//                           of file (default: the current directory); this
//                           platform has no short names, so both agree.
//   SQL(raw) STRING         "" (0, false): the native driver cannot evaluate
//                           SQL text; a copy that must be evaluated locally
//                           writes ''=SQL(...) so the clause passes.
//
// Thread-safety: the table is constant; evaluation touches only the calling
// thread's state (error state, random generator).
#ifndef ZUNA_RUNTIME_VALUES_BUILTINS_H_
#define ZUNA_RUNTIME_VALUES_BUILTINS_H_

#include <cstdint>
#include <string_view>

#include "runtime/values/evaluator.h"

namespace zuna::values {

// The function numbers select the implementation.
enum class Builtin : uint8_t {
  kMemory = 1,
  kSub = 2,
  kInstring = 3,
  kClip = 4,
  kAll = 5,
  kCenter = 6,
  kChr = 7,
  kDeformat = 8,
  kFormat = 9,
  kLeft = 10,
  kLen = 11,
  kLower = 12,
  kNumeric = 13,
  kRight = 14,
  kUpper = 15,
  kVal = 16,
  kAbs = 17,
  kInrange = 18,
  kInt = 19,
  kLoge = 20,
  kLog10 = 21,
  kRandom = 22,
  kRound = 23,
  kSqrt = 24,
  kSin = 25,
  kCos = 26,
  kTan = 27,
  kAsin = 28,
  kAcos = 29,
  kAtan = 30,
  kBand = 31,
  kBor = 32,
  kBxor = 33,
  kBshift = 34,
  kToday = 35,
  kClock = 36,
  kDate = 37,
  kDay = 38,
  kMonth = 39,
  kYear = 40,
  kAge = 41,
  kChoose = 42,
  kInlist = 43,
  kGetini = 44,
  kMatch = 45,
  kNull = 46,
  kSql = 47,
  kStrpos = 48,
  kPath = 49,
  kLongpath = 50,
  kShortpath = 51,
  kQuote = 52,
  kUnquote = 53,
};

struct BuiltinInfo {
  std::string_view name;
  uint8_t min_args;
  uint8_t max_args;
  ExprType result;
  Builtin function;
};

inline constexpr int32_t kMaxBuiltinLength = 65535;
inline constexpr std::string_view kDefaultProfileFile = "Zuna.INI";

// The built-in called `name` (any case), or nullptr.
const BuiltinInfo* FindBuiltin(std::string_view name);

struct CallNode;
struct Value;

// Evaluates a call of a built-in (expr_node.h, expr_eval.h): posts 1015 and
// yields 0 / "" when a mandatory argument was left empty.
Value CallBuiltin(const CallNode& call);

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_BUILTINS_H_
