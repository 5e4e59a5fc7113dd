#include "runtime/values/locale.h"


#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>
#include <utility>

#include "runtime/values/code_page.h"
#include "runtime/values/collation.h"
#include "runtime/values/env_file.h"
#include "runtime/values/program_files.h"

namespace zuna::values {
namespace {

constexpr std::array<std::string_view, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

constexpr size_t kMaxMonthName = 12;
constexpr size_t kMaxMonthAbbrev = 3;
constexpr size_t kMaxAmPm = 2;
constexpr size_t kMaxCaseLetters = 128;
constexpr size_t kDigraphLength = 3;

constexpr std::string_view kEnvFileName = "Zuna.ENV";
constexpr std::string_view kMessagePrefix = "VANMSG";

uint8_t Byte(char c) { return static_cast<uint8_t>(c); }

// ---------------------------------------------------------------------------
// Case table.

void ClearHighCase(LocaleTables& t) {
  for (int c = 128; c < 256; ++c) {
    t.counterpart[c] = 0;
    t.char_class[c] = 0;
  }
}

// Forgets the pairing of `c` on both sides.
void Unpair(LocaleTables& t, uint8_t c) {
  const uint8_t partner = t.counterpart[c];
  if (partner != 0 && t.counterpart[partner] == c) {
    t.counterpart[partner] = 0;
    t.char_class[partner] = 0;
  }
  t.counterpart[c] = 0;
  t.char_class[c] = 0;
}

// Pairs two letters, first unpairing whatever either was paired with, so
// that a file naming a letter twice cannot leave a one-way pairing behind
// (invariant 2).
void Pair(LocaleTables& t, uint8_t upper, uint8_t lower) {
  if (upper == lower) return;
  Unpair(t, upper);
  Unpair(t, lower);
  t.counterpart[upper] = lower;
  t.counterpart[lower] = upper;
  t.char_class[upper] = kUpperClass;
  t.char_class[lower] = kLowerClass;
}

void SetAsciiCase(LocaleTables& t) {
  t.counterpart.fill(0);
  t.char_class.fill(0);
  for (int c = 'A'; c <= 'Z'; ++c) Pair(t, c, c - 'A' + 'a');
  for (int c = '0'; c <= '9'; ++c) t.char_class[c] = kDigitClass;
}

// The upper-case form of a lower-case letter of 1251's upper half, by the
// simple case mappings of UnicodeData.txt.  The only letters there with a
// case partner inside 1251 are Cyrillic: а-я (U+0430-044F) map 20h down,
// ѐ-џ (U+0450-045F) 50h down, ґ (U+0491) to Ґ (U+0490).  (µ, the one other
// letter, maps to a Greek capital that 1251 lacks.)
char32_t UnicodeUpperCase(char32_t u) {
  if (u >= 0x0430 && u <= 0x044F) return u - 0x20;
  if (u >= 0x0450 && u <= 0x045F) return u - 0x50;
  if (u == 0x0491) return 0x0490;
  return u;
}

// The pairs the system's character classification gives: every 1251 letter
// of codes 128-255 whose Unicode upper-case form is also in 1251.
void SetSystemCase(LocaleTables& t) {
  ClearHighCase(t);
  for (int c = 128; c < 256; ++c) {
    const char32_t upper = UnicodeUpperCase(Cp1251ToUnicode(Byte(c)));
    if (upper == Cp1251ToUnicode(Byte(c))) continue;
    const char upper_byte = UnicodeToCp1251(upper);
    if (upper_byte != kNoFormChar) Pair(t, Byte(upper_byte), Byte(c));
  }
}

// ---------------------------------------------------------------------------
// Settings.

bool IsKeyword(const std::vector<std::string>& strings,
               std::string_view keyword) {
  std::string_view first = strings.front();
  while (!first.empty() && first.front() == ' ') first.remove_prefix(1);
  return EqualsIgnoringAsciiCase(first, keyword);
}

bool IsEmptyValue(const std::vector<std::string>& strings) {
  return strings.size() == 1 && strings.front().empty();
}

std::string Cut(std::string_view s, size_t limit) {
  return std::string(s.substr(0, limit));
}

void ApplyCollation(const EnvSetting& s, LocaleTables& t) {
  std::string sequence;
  for (const std::string& part : s.strings) sequence += part;
  if (IsKeyword(s.strings, "WINDOWS")) sequence = SystemCollationSequence();
  t.collation = CollationFromSequence(sequence);
  t.oem_collation = OemCollationFromSequence(sequence);
}

void ApplyCase(const EnvSetting& s, LocaleTables& t) {
  if (IsEmptyValue(s.strings)) return SetAsciiCase(t);
  const std::string upper = Cut(s.strings[0], kMaxCaseLetters);
  const std::string lower =
      s.strings.size() > 1 ? Cut(s.strings[1], kMaxCaseLetters) : "";
  if (IsKeyword(s.strings, "WINDOWS") || upper.size() != lower.size()) {
    return SetSystemCase(t);
  }
  ClearHighCase(t);
  for (size_t i = 0; i < upper.size(); ++i) {
    if (Byte(upper[i]) >= 128 && Byte(lower[i]) >= 128) {
      Pair(t, Byte(upper[i]), Byte(lower[i]));
    }
  }
}

void ApplyMonths(const EnvSetting& s, std::array<std::string, 12>& names,
                 size_t limit) {
  if (IsEmptyValue(s.strings)) return;
  for (size_t m = 0; m < names.size() && m < s.strings.size(); ++m) {
    names[m] = Cut(s.strings[m], limit);
  }
}

void ApplyAmPm(const EnvSetting& s, LocaleTables& t) {
  if (IsEmptyValue(s.strings)) return;
  if (IsKeyword(s.strings, "WINDOWS")) {
    t.am = Cut(t.regional.s1159, kMaxAmPm);
    t.pm = Cut(t.regional.s2359, kMaxAmPm);
    return;
  }
  t.am = Cut(s.strings[0], kMaxAmPm);
  if (s.strings.size() > 1) t.pm = Cut(s.strings[1], kMaxAmPm);
}

bool HasDigraph(const LocaleTables& t, char c) {
  return std::any_of(t.digraphs.begin(), t.digraphs.end(),
                     [c](const Digraph& d) { return d.character == c; });
}

void ApplyDigraphs(const EnvSetting& s, LocaleTables& t) {
  t.digraphs.clear();
  for (const std::string& group_list : s.strings) {
    for (size_t i = 0; i + kDigraphLength <= group_list.size();
         i += kDigraphLength) {
      if (t.digraphs.size() == kMaxDigraphs) return;
      const Digraph d{group_list[i], group_list[i + 1], group_list[i + 2]};
      if (!HasDigraph(t, d.character)) t.digraphs.push_back(d);
    }
  }
}

// "VANMSG<digits>" with a number that fits; nullopt for anything else.
std::optional<int32_t> MessageNumber(std::string_view name) {
  if (name.substr(0, kMessagePrefix.size()) != kMessagePrefix) {
    return std::nullopt;
  }
  const std::string_view digits = name.substr(kMessagePrefix.size());
  int32_t number = 0;
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (digits.empty() || error != std::errc() ||
      end != digits.data() + digits.size() || digits.front() == '-') {
    return std::nullopt;
  }
  return number;
}

using SettingHandler = void (*)(const EnvSetting&, LocaleTables&);

struct NamedSetting {
  std::string_view name;
  SettingHandler apply;
};

constexpr NamedSetting kSettings[] = {
    {"VANCHARSET",
     [](const EnvSetting&, LocaleTables&) {}},  // read by the parser
    {"VANCOLSEQ", ApplyCollation},
    {"VANCASE", ApplyCase},
    {"VANMONTH",
     [](const EnvSetting& s, LocaleTables& t) {
       ApplyMonths(s, t.month_names, kMaxMonthName);
     }},
    {"VANMON",
     [](const EnvSetting& s, LocaleTables& t) {
       ApplyMonths(s, t.month_abbrevs, kMaxMonthAbbrev);
     }},
    {"VANAMPM", ApplyAmPm},
    {"VANDIGRAPH", ApplyDigraphs},
    {"VANBUTTON", [](const EnvSetting& s,
                     LocaleTables& t) { t.button_captions = s.strings; }},
    {"VANLFN",
     [](const EnvSetting& s, LocaleTables& t) {
       t.long_file_names = IsKeyword(s.strings, "on");
     }},
    {"VANSYSTEMCHARSET",
     [](const EnvSetting& s, LocaleTables& t) {
       t.system_charset = s.strings.front();
     }},
    {"VANLAYOUT",
     [](const EnvSetting& s, LocaleTables& t) {
       t.right_to_left = IsKeyword(s.strings, "RTL");
     }},
};

void ApplySetting(const EnvSetting& s, LocaleTables& t) {
  for (const NamedSetting& known : kSettings) {
    if (s.name == known.name) return known.apply(s, t);
  }
  if (const auto number = MessageNumber(s.name)) {
    t.message_overrides[*number] = s.strings.front();
  }
}

// ---------------------------------------------------------------------------
// The process's tables.

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(text).str();
}

std::optional<LocaleTables>& ProcessTables() {
  static std::optional<LocaleTables> tables;
  return tables;
}

std::once_flag& LoadFlag() {
  static std::once_flag flag;
  return flag;
}

void LoadProcessTables() {
  const std::string path = EnvironmentFilePath();
  std::optional<std::string> text;
  if (!path.empty()) text = ReadWholeFile(path);
  ProcessTables() = LoadLocale(ReadRegionalSettings(), text);
}

}  // namespace

LocaleTables DefaultLocale(const RegionalSettings& regional) {
  LocaleTables t;
  t.collation = IdentityCollation();
  t.oem_collation = IdentityCollation();
  SetAsciiCase(t);
  for (size_t m = 0; m < 12; ++m) {
    t.month_names[m] = std::string(kMonthNames[m]);
    t.month_abbrevs[m] = std::string(kMonthNames[m].substr(0, 3));
  }
  t.regional = regional;
  t.short_date = ShortDatePicture(regional);
  t.long_date = LongDatePicture(regional);
  t.short_time = ShortTimePicture(regional);
  t.long_time = LongTimePicture(regional);
  return t;
}

LocaleTables LoadLocale(const RegionalSettings& regional,
                        std::optional<std::string_view> env_file_text) {
  LocaleTables t = DefaultLocale(regional);
  if (!env_file_text) return t;
  const EnvironmentFile file = ReadEnvironmentFile(*env_file_text);
  t.oem_charset = file.oem;
  for (const EnvSetting& setting : file.settings) ApplySetting(setting, t);
  return t;
}

const LocaleTables& Locale() {
  std::call_once(LoadFlag(), LoadProcessTables);
  return *ProcessTables();
}

bool InstallLocale(LocaleTables tables) {
  bool installed = false;
  std::call_once(LoadFlag(), [&] {
    ProcessTables() = std::move(tables);
    installed = true;
  });
  return installed;
}

std::string EnvironmentFilePath() {
  if (ProgramDirectory().empty()) return {};
  return FileBesideProgram(kEnvFileName);
}

std::string_view MonthName(int month, const LocaleTables& tables) {
  if (month < 1 || month > 12) return {};
  return tables.month_names[month - 1];
}

std::string_view MonthAbbrev(int month, const LocaleTables& tables) {
  if (month < 1 || month > 12) return {};
  return tables.month_abbrevs[month - 1];
}

char ToUpper(char c, const LocaleTables& tables) {
  const uint8_t b = Byte(c);
  if ((tables.char_class[b] & kLowerClass) && tables.counterpart[b] != 0) {
    return static_cast<char>(tables.counterpart[b]);
  }
  return c;
}

char ToLower(char c, const LocaleTables& tables) {
  const uint8_t b = Byte(c);
  if ((tables.char_class[b] & kUpperClass) && tables.counterpart[b] != 0) {
    return static_cast<char>(tables.counterpart[b]);
  }
  return c;
}

std::string ToUpper(std::string_view text, const LocaleTables& tables) {
  std::string out(text);
  for (char& c : out) c = ToUpper(c, tables);
  return out;
}

std::string ToLower(std::string_view text, const LocaleTables& tables) {
  std::string out(text);
  for (char& c : out) c = ToLower(c, tables);
  return out;
}

bool IsAlpha(char c, const LocaleTables& tables) {
  return tables.char_class[Byte(c)] & (kUpperClass | kLowerClass);
}

bool IsDigit(char c, const LocaleTables& tables) {
  return tables.char_class[Byte(c)] & kDigitClass;
}

}  // namespace zuna::values
