// The syntax of the locale environment file (Zuna.ENV): which bytes make
// which setting name and which list of strings.  What each setting does to
// the locale tables is locale.cpp's business; this file only reads.
//
// The file, as read here:
//   1. CR and LF both end a line (so CRLF, LF and lone CR all work); a
//      Ctrl-Z (1Ah) ends the file, the rest is never looked at.
//   2. A line is NAME=VALUE, split at its first '='.  A line without '=' is
//      ignored, which is how the shipped file carries its comment header.
//      The name drops every blank and tab, is cut to kMaxNameLength
//      characters and is matched case-insensitively (it is upper-cased
//      here, ASCII letters only).
//   3. The value is everything after the '=', cut to kMaxValueLength
//      characters, then stripped of trailing blanks and tabs.  Leading
//      blanks stay: a collation sequence may well begin with a blank.
//   4. Escapes: '<' followed by decimal digits stands for the character with
//      that code; the digits end at the first non-digit and a '>' right
//      after them is consumed, so "<65>" and "<65" are both "A".  A code
//      above 255 is not a character: the escape stays as the literal text
//      it was ("<300>").  '<' followed by anything else is itself.  A
//      character made by an escape is always ordinary text, never a quote or
//      a comma of the list syntax: "<44>" is how a comma gets into a month
//      name.
//   5. The value is a list of strings.  When its first non-blank character
//      is '"' it is written quoted: strings in double quotes, separated by
//      commas, "" inside quotes standing for one '"'; blanks around the
//      items are skipped, anything else between a closing quote and the
//      next comma is ignored, an unterminated quote runs to the end, and an
//      item that does not start with '"' runs unquoted to the next comma.
//      Otherwise every comma separates two strings, except in VANCOLSEQ,
//      whose value is one string in which a comma is an ordinary character.
//      A trailing comma leaves an empty last string.
//   6. VANCHARSET=OEM (any line of the file, the last VANCHARSET line
//      deciding) says the other values are code page 866 text: they are
//      converted to 1251 after escapes are decoded, so an escape names an
//      866 code.  The switch is found in a first pass over the file, so it
//      applies to lines before it as well as after.
//
// Total: any bytes give some list of settings; nothing here fails, throws
// on input or reads past the text.  Pure functions, safe on any thread.
#ifndef ZUNA_RUNTIME_VALUES_ENV_FILE_H_
#define ZUNA_RUNTIME_VALUES_ENV_FILE_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zuna::values {

inline constexpr size_t kMaxNameLength = 31;
inline constexpr size_t kMaxValueLength = 1024;
inline constexpr char kEndOfFileChar = '\x1A';  // Ctrl-Z

// One NAME=VALUE line as it stands in the file: the name already cut and
// upper-cased, the value cut and trimmed but with escapes not yet decoded.
struct EnvLine {
  std::string name;
  std::string value;
};

// Rules 1-3: the lines of `text` that have a '='.
std::vector<EnvLine> SplitEnvironmentLines(std::string_view text);

// Rules 4 and 5 on one raw value.  `comma_separates` is false for the
// collation sequence.  Always at least one string.
std::vector<std::string> ParseEnvironmentValue(std::string_view raw_value,
                                               bool comma_separates);

// A setting ready to apply: upper-case name, strings in 1251.
struct EnvSetting {
  std::string name;
  std::vector<std::string> strings;
};

struct EnvironmentFile {
  bool oem = false;                  // VANCHARSET=OEM was given
  std::vector<EnvSetting> settings;  // in file order, VANCHARSET included
};

// The whole file: rules 1-6.
EnvironmentFile ReadEnvironmentFile(std::string_view text);

// ASCII-only, case-insensitive equality: keywords such as "WINDOWS", "OEM",
// "on" and "RTL" are accepted in any case.  Bytes 128-255 must be equal.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_ENV_FILE_H_
