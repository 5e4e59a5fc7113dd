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
  int i_time = 0;       // 0 = 12-hour clock, 1 = 24-hour
  int i_tlzero = 1;     // leading zero on hours
  std::string s_time = ":";
  std::string s1159 = "AM";
  std::string s2359 = "PM";
  std::string s_short_date = "MM/dd/yy";
  std::string s_long_date = "ddd', 'MMMM' 'dd', 'yyyy";
};

// Reads the regional settings from the C library's locale (LC_TIME, as the
// environment sets it) mapped to the patterns above; any that cannot be read
// or mapped keep their defaults.
RegionalSettings ReadRegionalSettings();

struct Digraph {
  char character;   // compared as if it were the two characters below
  char first;
  char second;
};

// A token list for one of the locale pictures, with its display width equal
// to the token count.
struct LocalePicture {
  std::vector<PictureToken> tokens;
  bool has_month_letters = false;
};

struct LocaleTables {
  std::array<uint8_t, 256> collation{};    // weight by character code
  std::array<uint8_t, 256> counterpart{};  // other-case letter, 0 for none
  std::array<uint8_t, 256> char_class{};   // kUpperClass | kLowerClass | kDigitClass

  std::array<std::string, 12> month_names;   // full, up to 12 characters
  std::array<std::string, 12> month_abbrevs; // three letters
  std::string am = "AM";
  std::string pm = "PM";

  std::vector<Digraph> digraphs;  // at most kMaxDigraphs
  bool has_digraphs() const { return !digraphs.empty(); }

  RegionalSettings regional;
  LocalePicture short_date;  // date picture 17
  LocalePicture long_date;   // date picture 18
  LocalePicture short_time;  // time picture 7
  LocalePicture long_time;   // time picture 8

  bool oem_charset = false;        // VANCHARSET=OEM
  bool long_file_names = false;    // VANLFN=on
  bool right_to_left = false;      // VANLAYOUT=RTL
  std::string system_charset;      // VANSYSTEMCHARSET
  std::vector<std::string> button_captions;  // VANBUTTON

  std::map<int32_t, std::string> message_overrides;  // VANMSG<n>
};

// The ASCII defaults: identity collation, A-Z/a-z counterparts, English month
// names, "AM"/"PM", no digraphs, locale pictures from `regional`.
LocaleTables DefaultLocale(const RegionalSettings& regional = {});

// Defaults, then regional settings, then the environment file's text (when
// given) applied on top.  Never fails: lines it cannot use are ignored and
// over-long values are cut.
LocaleTables LoadLocale(const RegionalSettings& regional,
                        std::optional<std::string_view> env_file_text);

// The process's tables, loaded on first call from the regional settings and
// "<executable path without extension>.ENV" (Zuna.ENV beside zuna and
// zunatool: both programs read the one file, see EnvironmentFilePath).
const LocaleTables& Locale();

// The environment file Locale() reads: the executable's directory plus
// "Zuna.ENV".  Both programs of the product share one file, so the key order
// they build agrees.
std::string EnvironmentFilePath();

// --- Comparison and case (pure: explicit tables, default the process's). ---

// Negative, zero or positive.  The shorter string continues as blanks, so
// trailing blanks never matter; the first differing position decides by
// collation weight (digraphs expanded when any are defined).
int CompareStrings(std::string_view a, std::string_view b,
                   const LocaleTables& tables = Locale());

// The same walk after upper-casing both sides through the case table.
int CompareStringsNoCase(std::string_view a, std::string_view b,
                         const LocaleTables& tables = Locale());

char ToUpper(char c, const LocaleTables& tables = Locale());
char ToLower(char c, const LocaleTables& tables = Locale());
std::string ToUpper(std::string_view text, const LocaleTables& tables = Locale());
std::string ToLower(std::string_view text, const LocaleTables& tables = Locale());

bool IsAlpha(char c, const LocaleTables& tables = Locale());
bool IsDigit(char c, const LocaleTables& tables = Locale());

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_LOCALE_H_
