// The locale tables: collation, case, month names, AM/PM texts, digraphs,
// the locale pictures and the runtime message overrides.  They decide how
// names compare, sort and change case, so every station sharing a data file
// must load the same ones (keys embed their order): the program ships its
// environment file, Zuna.ENV, next to the executable.
//
// Loading: once per process, on first use of Locale(), under a process-wide
// once-flag: regional settings, then the environment file, then the tables
// that depend on them.  Afterwards the tables are read-only and may be read
// from any thread without locking.  LoadLocale() builds a table set from
// explicit inputs for tests and tools; it touches no process state.
//
// Invariants of every table set LoadLocale() and DefaultLocale() build:
//   1. collation is a permutation of 0-255 (see collation.h);
//   2. counterpart pairs letters both ways: for every code c with
//      counterpart[c] != 0, counterpart[counterpart[c]] == c and exactly one
//      of the two has kUpperClass, the other kLowerClass.  So ToUpper is
//      idempotent and ToLower(ToUpper(c)) == c for every lower-case letter.
//
// All texts are Windows-1251 bytes.
#ifndef ZUNA_RUNTIME_VALUES_LOCALE_H_
#define ZUNA_RUNTIME_VALUES_LOCALE_H_

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/values/picture_token.h"

namespace zuna::values {

// Character classes of the case table.
inline constexpr uint8_t kUpperClass = 1;
inline constexpr uint8_t kLowerClass = 2;
inline constexpr uint8_t kDigitClass = 4;

inline constexpr size_t kMaxDigraphs = 16;

// The operating system's international settings that the runtime reads, each
// with the default that stands when the system says nothing.
struct RegionalSettings {
  int i_time = 0;    // 0 = 12-hour clock, 1 = 24-hour
  int i_tlzero = 1;  // leading zero on hours
  std::string s_time = ":";
  std::string s1159 = "AM";
  std::string s2359 = "PM";
  std::string s_short_date = "MM/dd/yy";
  std::string s_long_date = "ddd', 'MMMM' 'dd', 'yyyy";
};

// Reads the regional settings from the C library's locale (LC_TIME, as the
// environment sets it: LC_ALL, else LC_TIME, else LANG) mapped to the
// patterns above; any that cannot be read or mapped keep their defaults.
// The portable locales ("C", "POSIX", "C.UTF-8", ...) and a locale the C
// library cannot open give all the defaults.  Never touches the process's
// global locale; safe on any thread (it reads the environment).
RegionalSettings ReadRegionalSettings();

// The mapping behind ReadRegionalSettings, from the C library's texts already
// converted to 1251 (an empty text means "not available"):
//   t_fmt (T_FMT): the first hour conversion gives i_time (%H %k: 1, %I %l:
//     0) and i_tlzero (%H %I: 1, %k %l: 0; the flags '-' '_' '0' change the
//     padding); the character right after it, unless that is a letter, a
//     digit or another conversion, is s_time.  %T and %R are 24-hour with ':',
//     %r 12-hour with ':'.
//   d_fmt (D_FMT): %d dd, %e d, %m MM, %y yy, %Y yyyy, %b MMM, %B MMMM, %D,
//     %F, other characters literal; it must name day, month and year.  The
//     long date follows its order: "d MMMM yyyy" when the day comes first,
//     "yyyy MMMM d" when the year does; month-first keeps the default (glibc
//     keeps no long date format of its own).
//   am_str, pm_str (AM_STR, PM_STR): s1159 and s2359 when not empty.
// A text that has a conversion the patterns cannot express keeps the default.
RegionalSettings RegionalSettingsFromLangInfo(std::string_view t_fmt,
                                              std::string_view d_fmt,
                                              std::string_view am_str,
                                              std::string_view pm_str);

struct Digraph {
  char character;  // compared as if it were the two characters below
  char first;
  char second;
};

// A token list for one of the locale pictures, with its display width equal
// to the token count (at most 255).
struct LocalePicture {
  std::vector<PictureToken> tokens;
  bool has_month_letters = false;  // some token is kMonthLetter
};

// Date picture 17 from s_short_date.  The first of its letters decides the
// order: 'd' day-month-year, 'y' year-month-day, anything else
// month-day-year.  "dd"/"MM" give zero-filled digits, a single "d"/"M" a
// blank-filled leading digit; "MMM" or longer three month-name letters;
// "yyyy" (or longer) four year digits, else two.  The separator is the
// character after the month letters ('/' when there is none); both separators
// use it. In year-first order the day and month digits are always zero-filled.
LocalePicture ShortDatePicture(const RegionalSettings& regional);

// Date picture 18 from s_long_date, field by field in the pattern's order:
// "d" two day digits with a blank-filled first, "dd" zero-filled; "M"/"MM"
// month digits likewise; "MMM" three and "MMMM" twelve month-name letters;
// "yyy" or longer four year digits, "y"/"yy" two.  Quoted text and other
// characters between fields are kept: blanks, letters and digits as literals,
// punctuation as separators.  Weekday names ("ddd", "dddd") and other field
// letters have no tokens: they are dropped with the text that follows them
// (or, at the end, the text before them).  A pattern left with no field at
// all gives the default long date.  The default gives
// "MMMMMMMMMMMM dd, yyyy" (21 positions).
LocalePicture LongDatePicture(const RegionalSettings& regional);

// Time pictures 7 (hour, separator, minute) and 8 (adds separator and
// second).  The separator is the first character of s_time (':' when
// empty); the first hour digit is zero-filled when i_tlzero is 1 and
// blank-filled otherwise; with i_time 0 a literal blank, the AM/PM marker
// and a literal 'M' follow.
LocalePicture ShortTimePicture(const RegionalSettings& regional);
LocalePicture LongTimePicture(const RegionalSettings& regional);

struct LocaleTables {
  std::array<uint8_t, 256> collation{};    // weight by character code
  // The same order over code page 866, for the keys of OEM files; built
  // from the same sequence as `collation` (OemCollationFromSequence).
  std::array<uint8_t, 256> oem_collation{};
  std::array<uint8_t, 256> counterpart{};  // other-case letter, 0 for none
  std::array<uint8_t, 256>
      char_class{};  // kUpperClass | kLowerClass | kDigitClass

  std::array<std::string, 12> month_names;    // full, up to 12 characters
  std::array<std::string, 12> month_abbrevs;  // three letters
  std::string am = "AM";
  std::string pm = "PM";

  std::vector<Digraph> digraphs;  // at most kMaxDigraphs
  bool has_digraphs() const { return !digraphs.empty(); }

  RegionalSettings regional;
  LocalePicture short_date;  // date picture 17
  LocalePicture long_date;   // date picture 18
  LocalePicture short_time;  // time picture 7
  LocalePicture long_time;   // time picture 8

  bool oem_charset = false;                  // VANCHARSET=OEM
  bool long_file_names = false;              // VANLFN=on
  bool right_to_left = false;                // VANLAYOUT=RTL
  std::string system_charset;                // VANSYSTEMCHARSET
  std::vector<std::string> button_captions;  // VANBUTTON

  std::map<int32_t, std::string> message_overrides;  // VANMSG<n>
};

// The ASCII defaults: identity collation, A-Z/a-z counterparts, English month
// names, "AM"/"PM", no digraphs, locale pictures from `regional`.
LocaleTables DefaultLocale(const RegionalSettings& regional = {});

// Defaults, then regional settings, then the environment file's text (when
// given) applied on top; the file's syntax is env_file.h's.  Never fails:
// lines it cannot use and names it does not know are ignored, over-long
// values are cut.  Later lines override earlier ones.  The settings:
//   VANCHARSET  "OEM": the other values are 866 text (env_file.h, rule 6).
//   VANCOLSEQ   a sequence (collation.h), "WINDOWS" for the system order, or
//               empty for the identity.  A quoted value's strings are joined.
//   VANCASE     two strings of up to 128 characters, upper-case letters and
//               their lower-case partners position by position.  Clears the
//               case of codes 128-255, then pairs every position where both
//               characters are 128 or above (a pair that repeats a letter
//               first unpairs its old partner, keeping invariant 2; a letter
//               paired with itself is skipped).  "WINDOWS", or strings of
//               unequal length, take the system pairs instead: the 47
//               Cyrillic pairs of 1251, from the Unicode case mappings.  An
//               empty value restores the ASCII defaults.  A-Z/a-z and the
//               digits never change.
//   VANMONTH    up to 12 full month names, cut to 12 characters; VANMON up
//               to 12 short names cut to 3.  Months not given keep theirs.
//   VANAMPM     AM and PM texts cut to 2; "WINDOWS" takes s1159/s2359.
//   VANDIGRAPH  groups of three characters, in one or more strings: the first
//               is compared as the other two.  At most kMaxDigraphs; a
//               character already defined keeps its first definition; an
//               incomplete group is ignored.
//   VANBUTTON   the message-box button captions, every string.
//   VANLFN      "on" or not; VANLAYOUT "RTL" or not; VANSYSTEMCHARSET the
//               first string.
//   VANMSG<n>   runtime message n (decimal, up to 2^31-1) becomes the first
//               string.
// Keywords ("OEM", "WINDOWS", "on", "RTL") match in any case.
LocaleTables LoadLocale(const RegionalSettings& regional,
                        std::optional<std::string_view> env_file_text);

// The process's tables, loaded on first call from ReadRegionalSettings() and
// the file at EnvironmentFilePath() (a missing or unreadable file is not an
// error: the defaults stand).  Never reloaded.
const LocaleTables& Locale();

// Makes `tables` the process's tables, for a tool or test that chooses its
// own environment.  Returns false, changing nothing, when the process's
// tables are already loaded (by an earlier Locale() or InstallLocale()):
// the tables never change once anyone may have read them.
bool InstallLocale(LocaleTables tables);

// The environment file Locale() reads: "Zuna.ENV" in the directory of the
// running executable (realpath of /proc/self/exe).  Both programs, zuna and
// zunatool, live in that directory and share the one file, so the key order
// they build agrees.  When no file has exactly that name but exactly one
// name in the directory matches it ignoring ASCII case, that one is used.
// Empty when the executable's directory cannot be found.
std::string EnvironmentFilePath();

// Month names by number 1-12 (empty outside that range).
std::string_view MonthName(int month, const LocaleTables& tables = Locale());
std::string_view MonthAbbrev(int month, const LocaleTables& tables = Locale());

// --- Comparison and case (pure: explicit tables, default the process's). ---

// Negative, zero or positive.  The shorter string continues as blanks, so
// trailing blanks never matter.  Without digraphs the first position where
// the characters differ decides: weight(a) - weight(b), even when the two
// weights are equal.  With digraphs, the two differing characters are each
// replaced by their expansion (a character that is not a digraph stands for
// itself): the first characters of the expansions are compared by weight,
// then the second ones, an expansion that has no second character giving a
// blank; the first difference is the result, and when there is none the
// walk goes on at the next position.  For example, with the digraph "&AE"
// ('&' compared as "AE"), "&" against "AZ" meets 'A' = 'A', then 'E'
// against a blank, so "AZ" < "&"; and "&" < "B" because 'A' < 'B': "&"
// sorts after every word that begins with 'A' ("AE" and "AEB" included).
int CompareStrings(std::string_view a, std::string_view b,
                   const LocaleTables& tables = Locale());

// The same walk after upper-casing both sides through the case table.
int CompareStringsNoCase(std::string_view a, std::string_view b,
                         const LocaleTables& tables = Locale());

char ToUpper(char c, const LocaleTables& tables = Locale());
char ToLower(char c, const LocaleTables& tables = Locale());
std::string ToUpper(std::string_view text,
                    const LocaleTables& tables = Locale());
std::string ToLower(std::string_view text,
                    const LocaleTables& tables = Locale());

bool IsAlpha(char c, const LocaleTables& tables = Locale());
bool IsDigit(char c, const LocaleTables& tables = Locale());

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_LOCALE_H_
