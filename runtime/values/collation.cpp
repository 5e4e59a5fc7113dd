#include "runtime/values/collation.h"

#include <algorithm>
#include <bitset>
#include <vector>

#include "runtime/values/code_page.h"
#include "runtime/values/locale.h"

namespace zuna::values {
namespace {

// Laying over is defined for sequences of exactly this many characters: the
// codes 32-126 and 128-254.
constexpr size_t kPrintableCount = 222;
constexpr size_t kLowPrintableCount = 95;  // 32-126
static_assert(kLowPrintableCount + (254 - 128 + 1) == kPrintableCount);

bool IsPrintableCode(uint8_t c) { return c >= 32 && c != 127 && c != 255; }

// Letters of the WINDOWS order, upper and lower case position by position:
// Latin, then the Cyrillic letters of 1251 in the order of the Slavic
// alphabets (Russian, with Ukrainian, Belarusian, Serbian and Macedonian
// letters placed after the letter they derive from).
constexpr std::u32string_view kUpperAlphabet =
    U"ABCDEFGHIJKLMNOPQRSTUVWXYZ"
    U"АБВГҐДЂЃЕЁЄЖЗЅИІЇЙЈКЛЉМНЊОПРСТЋЌУЎФХЦЧЏШЩЪЫЬЭЮЯ";
constexpr std::u32string_view kLowerAlphabet =
    U"abcdefghijklmnopqrstuvwxyz"
    U"абвгґдђѓеёєжзѕиіїйјклљмнњопрстћќуўфхцчџшщъыьэюя";
static_assert(kUpperAlphabet.size() == kLowerAlphabet.size());
static_assert(kUpperAlphabet.size() == 26 + 47);

constexpr uint8_t kFirstSystemCode = 2;
constexpr uint8_t kLastSystemCode = 254;

// Sort key of one code in the WINDOWS order: group first, then the rank
// within the group.
struct SystemKey {
  int group;
  int rank;
  friend bool operator<(const SystemKey& a, const SystemKey& b) {
    return a.group != b.group ? a.group < b.group : a.rank < b.rank;
  }
};

SystemKey SystemKeyOf(uint8_t code) {
  const char32_t u = Cp1251ToUnicode(code);
  if (u < 0x20 || (u >= 0x7F && u < 0xA0)) return {1, code};
  if (code >= '0' && code <= '9') return {3, code};
  if (const size_t i = kUpperAlphabet.find(u); i != kUpperAlphabet.npos) {
    return {4, static_cast<int>(2 * i)};
  }
  if (const size_t i = kLowerAlphabet.find(u); i != kLowerAlphabet.npos) {
    return {4, static_cast<int>(2 * i + 1)};
  }
  return {2, code};
}

// What a character stands for in a comparison with digraphs: itself, or the
// two characters of its digraph.
struct Expansion {
  uint8_t first;
  uint8_t second;
  bool has_second;
};

Expansion Expand(uint8_t c, const LocaleTables& tables) {
  for (const Digraph& d : tables.digraphs) {
    if (static_cast<uint8_t>(d.character) == c) {
      return {static_cast<uint8_t>(d.first), static_cast<uint8_t>(d.second),
              true};
    }
  }
  return {c, 0, false};
}

int WeightDifference(uint8_t a, uint8_t b, const LocaleTables& tables) {
  return int{tables.collation[a]} - int{tables.collation[b]};
}

// Two differing characters compared through their expansions; 0 when the
// expansions weigh the same, and the walk goes on.
int CompareExpanded(uint8_t a, uint8_t b, const LocaleTables& tables) {
  const Expansion ea = Expand(a, tables);
  const Expansion eb = Expand(b, tables);
  if (const int d = WeightDifference(ea.first, eb.first, tables)) return d;
  if (!ea.has_second && !eb.has_second) return 0;
  const uint8_t second_a = ea.has_second ? ea.second : ' ';
  const uint8_t second_b = eb.has_second ? eb.second : ' ';
  return WeightDifference(second_a, second_b, tables);
}

int CompareWalk(std::string_view a, std::string_view b,
                const LocaleTables& tables, bool fold_case) {
  const auto at = [&](std::string_view s, size_t i) -> uint8_t {
    const char c = i < s.size() ? s[i] : ' ';
    return static_cast<uint8_t>(fold_case ? ToUpper(c, tables) : c);
  };
  const size_t length = std::max(a.size(), b.size());
  for (size_t i = 0; i < length; ++i) {
    const uint8_t ca = at(a, i);
    const uint8_t cb = at(b, i);
    if (ca == cb) continue;
    if (!tables.has_digraphs()) return WeightDifference(ca, cb, tables);
    if (const int d = CompareExpanded(ca, cb, tables)) return d;
  }
  return 0;
}

}  // namespace

int CompareStrings(std::string_view a, std::string_view b,
                   const LocaleTables& tables) {
  return CompareWalk(a, b, tables, false);
}

int CompareStringsNoCase(std::string_view a, std::string_view b,
                         const LocaleTables& tables) {
  return CompareWalk(a, b, tables, true);
}

CollationTable IdentityCollation() {
  CollationTable table{};
  for (int c = 0; c < 256; ++c) table[c] = static_cast<uint8_t>(c);
  return table;
}

CollationTable CollationFromSequence(std::string_view sequence) {
  std::vector<uint8_t> listed;
  std::bitset<256> seen;
  bool had_repeats = false;
  for (char ch : sequence) {
    const uint8_t c = static_cast<uint8_t>(ch);
    if (seen[c]) {
      had_repeats = true;
      continue;
    }
    seen[c] = true;
    listed.push_back(c);
  }

  CollationTable table = IdentityCollation();
  const bool lay_over =
      !had_repeats && listed.size() == kPrintableCount &&
      std::all_of(listed.begin(), listed.end(), IsPrintableCode);
  if (lay_over) {
    for (size_t i = 0; i < listed.size(); ++i) {
      const size_t weight = i < kLowPrintableCount ? 32 + i : 128 + (i - 95);
      table[listed[i]] = static_cast<uint8_t>(weight);
    }
    return table;
  }
  std::vector<uint8_t> codes = listed;
  std::sort(codes.begin(), codes.end());
  for (size_t i = 0; i < listed.size(); ++i) table[listed[i]] = codes[i];
  return table;
}

CollationTable OemCollationFromSequence(std::string_view sequence) {
  std::string oem;
  oem.reserve(sequence.size());
  for (const char c : sequence) {
    const char converted = Cp1251ToCp866(c);
    if (converted == kNoFormChar && c != kNoFormChar) continue;
    oem.push_back(converted);
  }
  return CollationFromSequence(oem);
}

std::string SystemCollationSequence() {
  std::vector<uint8_t> codes;
  for (int c = kFirstSystemCode; c <= kLastSystemCode; ++c) {
    codes.push_back(static_cast<uint8_t>(c));
  }
  std::stable_sort(codes.begin(), codes.end(), [](uint8_t a, uint8_t b) {
    return SystemKeyOf(a) < SystemKeyOf(b);
  });
  return std::string(codes.begin(), codes.end());
}

}  // namespace zuna::values
