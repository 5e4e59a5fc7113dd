// Feeds arbitrary bytes to the environment-file loader and then uses the
// tables it built: comparison with and without case, case conversion and the
// locale pictures.  The same bytes also serve as date patterns and as the C
// library's LC_TIME texts, so the picture builders see hostile input too.
//
// Beyond what the sanitizers catch, a violated table invariant (locale.h,
// invariants 1 and 2) aborts.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "runtime/values/locale.h"

namespace {

using zuna::values::LocaleTables;

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckPermutation(const std::array<uint8_t, 256>& table) {
  bool seen[256] = {};
  for (uint8_t w : table) seen[w] = true;
  for (bool s : seen) Check(s);
}

void CheckInvariants(const LocaleTables& t) {
  CheckPermutation(t.collation);
  CheckPermutation(t.oem_collation);
  for (int c = 0; c < 256; ++c) {
    const uint8_t partner = t.counterpart[c];
    if (partner == 0) continue;
    Check(t.counterpart[partner] == c);
    const char ch = static_cast<char>(c);
    Check(zuna::values::ToUpper(zuna::values::ToUpper(ch, t), t) ==
          zuna::values::ToUpper(ch, t));
  }
  Check(t.digraphs.size() <= zuna::values::kMaxDigraphs);
  Check(t.short_date.tokens.size() <= 255 && t.long_date.tokens.size() <= 255);
}

void Exercise(const LocaleTables& t, std::string_view a, std::string_view b) {
  const int ab = zuna::values::CompareStrings(a, b, t);
  const int ba = zuna::values::CompareStrings(b, a, t);
  Check((ab < 0) == (ba > 0) && (ab == 0) == (ba == 0));
  Check(zuna::values::CompareStrings(a, a, t) == 0);
  const std::string upper = zuna::values::ToUpper(a, t);
  Check(zuna::values::CompareStringsNoCase(a, upper, t) == 0);
  Check(zuna::values::ToUpper(upper, t) == upper);
  (void)zuna::values::CompareStringsNoCase(a, b, t);
  (void)zuna::values::ToLower(b, t);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  zuna::values::RegionalSettings regional;
  regional.s_short_date = std::string(text.substr(0, 32));
  regional.s_long_date = std::string(text.substr(0, 512));
  regional.s_time = std::string(text.substr(0, 1));
  const LocaleTables tables = zuna::values::LoadLocale(regional, text);
  CheckInvariants(tables);

  const size_t half = text.size() / 2;
  Exercise(tables, text.substr(0, half), text.substr(half));
  Exercise(tables, "\xE8\xE2\xE0\xED\xEE\xE2", text.substr(0, 40));

  const auto mapped = zuna::values::RegionalSettingsFromLangInfo(
      text.substr(0, half), text.substr(half), text.substr(0, 4), "");
  (void)zuna::values::DefaultLocale(mapped);
  return 0;
}
