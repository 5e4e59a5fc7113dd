#include "runtime/values/locale.h"

#include <mutex>

namespace zuna::values {
namespace {

constexpr std::array<std::string_view, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

uint8_t Byte(char c) { return static_cast<uint8_t>(c); }

// Collation weight of a character after digraph expansion: the character
// itself, or one of the two it stands for.
int CompareWith(std::string_view a, std::string_view b,
                const LocaleTables& tables, bool fold_case) {
  const auto at = [&](std::string_view s, size_t i) -> uint8_t {
    const char c = i < s.size() ? s[i] : ' ';
    return Byte(fold_case ? ToUpper(c, tables) : c);
  };
  const size_t length = std::max(a.size(), b.size());
  for (size_t i = 0; i < length; ++i) {
    const uint8_t ca = at(a, i);
    const uint8_t cb = at(b, i);
    if (ca != cb) return int{tables.collation[ca]} - int{tables.collation[cb]};
  }
  return 0;
}

}  // namespace

LocaleTables DefaultLocale(const RegionalSettings& regional) {
  LocaleTables t;
  for (int c = 0; c < 256; ++c) t.collation[c] = static_cast<uint8_t>(c);
  for (int c = 'A'; c <= 'Z'; ++c) {
    t.counterpart[c] = static_cast<uint8_t>(c - 'A' + 'a');
    t.counterpart[c - 'A' + 'a'] = static_cast<uint8_t>(c);
    t.char_class[c] = kUpperClass;
    t.char_class[c - 'A' + 'a'] = kLowerClass;
  }
  for (int c = '0'; c <= '9'; ++c) t.char_class[c] = kDigitClass;
  for (size_t m = 0; m < 12; ++m) {
    t.month_names[m] = std::string(kMonthNames[m]);
    t.month_abbrevs[m] = std::string(kMonthNames[m].substr(0, 3));
  }
  t.regional = regional;
  return t;
}

LocaleTables LoadLocale(const RegionalSettings& regional,
                        std::optional<std::string_view> /*env_file_text*/) {
  return DefaultLocale(regional);
}

RegionalSettings ReadRegionalSettings() { return {}; }

std::string EnvironmentFilePath() { return "Zuna.ENV"; }

const LocaleTables& Locale() {
  static const LocaleTables tables = LoadLocale(ReadRegionalSettings(), {});
  return tables;
}

int CompareStrings(std::string_view a, std::string_view b,
                   const LocaleTables& tables) {
  return CompareWith(a, b, tables, false);
}

int CompareStringsNoCase(std::string_view a, std::string_view b,
                         const LocaleTables& tables) {
  return CompareWith(a, b, tables, true);
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
