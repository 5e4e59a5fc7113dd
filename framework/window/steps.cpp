#include "framework/window/steps.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "framework/data/assertion.h"
#include "runtime/values/locale.h"

namespace zuna::framework {

namespace {

// The lowest value at each percentile of a register of typical surnames.
constexpr std::array<const char*, 100> kNameTable = {
    "   ", "ALB", "AME", "ARN", "BAK", "BAT", "BEN", "BIA", "BOB", "BRA",
    "BRO", "BUA", "CAC", "CAR", "CEN", "CHR", "COE", "CON", "COR", "CRU",
    "DAS", "DEL", "DIA", "DON", "DUR", "ELD", "EVE", "FEL", "FIS", "FLO",
    "FRE", "FUT", "GAR", "GIB", "GOL", "GOS", "GRE", "GUT", "HAM", "HEM",
    "HOB", "HOT", "ING", "JAS", "JON", "KAG", "KEA", "KIR", "KOR", "KYO",
    "LAT", "LEO", "LIG", "LOU", "MAC", "MAQ", "MAR", "MAU", "MCK", "MER",
    "MIL", "MON", "MOR", "NAT", "NOL", "OKE", "PAG", "PAU", "PET", "PIN",
    "POR", "PUL", "RAU", "REY", "ROB", "ROS", "RUB", "SAL", "SCA", "SCH",
    "SCR", "SHA", "SIG", "SKI", "SNA", "SOU", "STE", "STI", "SUN", "TAY",
    "TIR", "TUC", "VAN", "WAC", "WAS", "WEI", "WIE", "WIM", "WOL", "YOR"};

// Blanks, then per letter the letter with a blank, F, N and T; A has no
// blank entry, Q and Z only the blank and N.  100 entries in all.
std::string TwoLetterTable() {
  std::string table = "  ";
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    std::string seconds = " FNT";
    if (letter == 'A') seconds = "FNT";
    if (letter == 'Q' || letter == 'Z') seconds = " N";
    for (char second : seconds) {
      table += letter;
      table += second;
    }
  }
  return table;
}

// The punctuation that counts as valid with StepFlag::Punctuation, in the
// program's order (25h twice; the blank last).
constexpr std::array<unsigned char, 31> kPunctuation = {
    0x60, 0x21, 0x22, 0xA3, 0x24, 0x25, 0x25, 0x5E, 0x26, 0x2A, 0x28,
    0x29, 0x27, 0x2D, 0x3D, 0x5F, 0x2B, 0x5D, 0x5B, 0x23, 0x3B, 0x7E,
    0x40, 0x3A, 0x2F, 0x2E, 0x2C, 0x3F, 0x5C, 0x7C, 0x20};

std::string Clip(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

uint16_t Mirror(uint16_t p, bool descending) {
  if (descending) p = static_cast<uint16_t>(100 - p);
  return p == 0 ? 1 : p;
}

}  // namespace

// --- StepStringClass ---------------------------------------------------------

void StepStringClass::Init(uint8_t controls, uint8_t mode) {
  LookupMode = mode;
  StepClass::Init(controls);
  Root.clear();
  SortChars.clear();
  table_.clear();
  told_outside_root_ = false;
  switch (mode) {
    case StepMode::Names:
      TestLen = 3;
      break;
    case StepMode::TwoLetters:
      TestLen = 2;
      break;
    default:
      TestLen = 4;
      table_.assign(400, ' ');
      break;
  }
  if (mode != StepMode::Runtime) return;
  for (int code = 1; code <= 255; ++code) {
    const char c = static_cast<char>(code);
    bool valid = false;
    if ((controls & StepFlag::Punctuation) &&
        std::find(kPunctuation.begin(), kPunctuation.end(), code) != kPunctuation.end()) {
      valid = true;
    } else if ((controls & StepFlag::Digits) && code >= '0' && code <= '9') {
      valid = true;
    } else if ((controls & StepFlag::Letters) && values::IsAlpha(c)) {
      valid = (controls & StepFlag::Lower) || values::ToUpper(c) == c;
    }
    if (valid) SortChars += c;
  }
}

void StepStringClass::Kill() {
  table_.clear();
  SortChars.clear();
}

std::string StepStringClass::Fold(std::string_view text) const {
  return (Controls & StepFlag::Lower) ? std::string(text) : values::ToUpper(text);
}

int64_t StepStringClass::Hash(std::string_view text) const {
  const int64_t base = static_cast<int64_t>(SortChars.size());
  std::string four = Fold(text.substr(0, std::min<size_t>(text.size(), 4)));
  four.resize(4, ' ');
  int64_t h = 0;
  for (char c : four) {
    const size_t at = SortChars.find(c);
    h = h * base + (at == std::string::npos ? 0 : static_cast<int64_t>(at));
  }
  return h;
}

std::string StepStringClass::Unhash(int64_t h) const {
  const int64_t base = static_cast<int64_t>(SortChars.size());
  if (base == 0) {
    AssertionFailed("Step object has no valid characters");
    return std::string(4, ' ');
  }
  std::string text(4, ' ');
  for (int i = 3; i >= 0; --i) {
    int64_t digit = h % base;
    if (digit < 0) digit += base;
    text[i] = SortChars[static_cast<size_t>(digit)];
    h /= base;
  }
  return text;
}

std::string StepStringClass::Entry(int k) const {
  k = std::clamp(k, 0, 99);
  switch (LookupMode) {
    case StepMode::Names:
      return kNameTable[k];
    case StepMode::TwoLetters: {
      static const std::string table = TwoLetterTable();
      return table.substr(static_cast<size_t>(k) * 2, 2);
    }
    default:
      return table_.substr(static_cast<size_t>(k) * 4, 4);
  }
}

void StepStringClass::SetLimit(const values::VariableRef& low,
                               const values::VariableRef& high) {
  SetLimit(values::ReadString(low), values::ReadString(high));
}

void StepStringClass::SetLimit(std::string_view low_text, std::string_view high_text) {
  if (LookupMode != StepMode::Runtime || SortChars.empty()) return;
  // Folded here so the root compares with values as Hash reads them.
  const std::string low = Clip(Fold(low_text.substr(0, std::min<size_t>(low_text.size(), 80))));
  const std::string high = Clip(Fold(high_text.substr(0, std::min<size_t>(high_text.size(), 80))));
  const size_t n = std::min(low.size(), high.size());
  size_t i = 0;
  while (i < n && low[i] == high[i]) ++i;
  Root = low.substr(0, i);
  auto tail = [&](const std::string& text, char fill) {
    std::string t = text.substr(std::min(i, text.size()), 4);
    t.resize(4, fill);
    return t;
  };
  int64_t lo = Hash(tail(low, SortChars.front()));
  const int64_t step = (Hash(tail(high, SortChars.back())) - lo) / 100;
  table_.assign(400, ' ');
  // Kept ascending whatever the order: GetPercentile and GetValue mirror
  // the position for a descending list.
  for (int k = 0; k < 100; ++k) {
    table_.replace(static_cast<size_t>(k) * 4, 4, Unhash(lo));
    lo += step;
  }
  told_outside_root_ = false;
}

uint16_t StepStringClass::GetPercentile(const values::VariableRef& value) {
  return GetPercentile(values::ReadString(value));
}

uint16_t StepStringClass::GetPercentile(std::string_view value) {
  std::string test = Clip(Fold(value));
  if (!Root.empty()) {
    if (test.compare(0, Root.size(), Root) != 0) {
      // A record that arrived since the limits were read, beyond them: the
      // thumb goes to the end it lies towards.
      if (!told_outside_root_) {
        std::fprintf(stderr, "step: value outside the list's limits; thumb clamped\n");
        told_outside_root_ = true;
      }
      const bool below = test < Root;
      return Mirror(below ? 0 : 100, descending());
    }
    test = test.substr(Root.size(), TestLen + 1u);
  }
  uint16_t p = 0;
  while (p < 100 && Entry(p) <= test) ++p;
  return Mirror(p, descending());
}

std::string StepStringClass::GetValue(uint8_t percent) {
  int p = std::min<int>(percent, 100);
  if (descending()) p = 100 - p;
  if (p == 0) p = 1;
  return Root + Entry(p - 1);
}

// --- StepRealClass -----------------------------------------------------------

void StepRealClass::SetLimit(const values::VariableRef& low,
                             const values::VariableRef& high) {
  Low = values::ReadReal(low);
  High = values::ReadReal(high);
}

uint16_t StepRealClass::GetPercentile(const values::VariableRef& value) {
  return GetPercentile(values::ReadReal(value));
}

uint16_t StepRealClass::GetPercentile(double value) {
  double p = 100;
  if (High > Low) p = (value - Low) * 100 / (High - Low);
  p = std::clamp(p, 0.0, 100.0);
  return Mirror(static_cast<uint16_t>(p), descending());
}

std::string StepRealClass::GetValue(uint8_t percent) {
  int p = std::min<int>(percent, 100);
  if (descending()) p = 100 - p;
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", Low + (High - Low) * p / 100);
  return text;
}

std::string StepLongClass::GetValue(uint8_t percent) {
  int p = std::min<int>(percent, 100);
  if (descending()) p = 100 - p;
  return std::to_string(static_cast<int64_t>(std::floor(Low + (High - Low) * p / 100)));
}

}  // namespace zuna::framework
