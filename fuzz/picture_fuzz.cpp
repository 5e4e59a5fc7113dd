// Fuzzes picture compilation, FORMAT and DEFORMAT.
//
// Input: the picture text up to the first '\n', then the value text.  The
// value text also seeds a second set of locale tables whose locale pictures
// (date 17/18, time 7/8) are arbitrary token lists, so the walkers meet
// token kinds no fixed layout has.  Besides sanitizer reports, a width
// mismatch between a picture and its FORMAT result aborts.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "runtime/values/date_serial.h"
#include "runtime/values/format.h"
#include "runtime/values/picture.h"

namespace {

using zuna::values::LocaleTables;
using zuna::values::Picture;
using zuna::values::PictureKind;
using zuna::values::PictureToken;
using zuna::values::TokenKind;

const LocaleTables& PlainTables() {
  static const LocaleTables tables = zuna::values::DefaultLocale();
  return tables;
}

// Locale pictures made of the value text's bytes, two per token; Cyrillic
// case pairs and odd month names and marker texts.
LocaleTables OddTables(std::string_view bytes) {
  LocaleTables tables = zuna::values::DefaultLocale();
  std::vector<PictureToken> tokens;
  for (size_t i = 0; i + 1 < bytes.size() && tokens.size() < 300; i += 2) {
    tokens.push_back({bytes[i + 1], static_cast<TokenKind>(
                                        static_cast<uint8_t>(bytes[i]) % 40)});
  }
  tables.short_date.tokens = tokens;
  tables.long_date.tokens = tokens;
  tables.short_time.tokens = tokens;
  tables.long_time.tokens = tokens;
  for (int c = 0xC0; c <= 0xDF; ++c) {
    tables.counterpart[c] = static_cast<uint8_t>(c + 0x20);
    tables.counterpart[c + 0x20] = static_cast<uint8_t>(c);
    tables.char_class[c] = zuna::values::kUpperClass;
    tables.char_class[c + 0x20] = zuna::values::kLowerClass;
  }
  tables.month_names[0] = "";
  tables.month_abbrevs[1] = "F";
  tables.month_names[8] = std::string(20, 'S');
  tables.am = "";
  tables.pm = "P";
  return tables;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

void Exercise(const Picture& picture, std::string_view value_text,
              const LocaleTables& tables) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::string numeric = zuna::values::DeformatNumericText(value_text);
  const double parsed = std::strtod(numeric.c_str(), nullptr);
  const double values[] = {0,       -1,      4,         76038.5, 2994626,
                           2994627, 8640000, 1e300,     -1e300,  nan,
                           inf,     -inf,    1234.5678, -0.5,    parsed};
  for (const double value : values) {
    const std::string text =
        zuna::values::FormatValue(value, value_text, picture, tables);
    if (picture.kind != PictureKind::kEmpty)
      Check(text.size() == picture.width());
  }
  (void)zuna::values::Deformat(value_text, picture, tables);
  (void)zuna::values::DeformatDate(value_text, picture, tables);
  (void)zuna::values::DeformatTime(value_text, picture, tables);
}

int32_t Int(std::string_view bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    value = value << 8 |
            (at + i < bytes.size() ? static_cast<uint8_t>(bytes[at + i]) : 0u);
  }
  return static_cast<int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  const std::string_view picture_text = input.substr(0, newline);
  const std::string_view value_text = newline == std::string_view::npos
                                          ? std::string_view()
                                          : input.substr(newline + 1);

  const Picture plain =
      zuna::values::CompilePicture(picture_text, PlainTables());
  Exercise(plain, value_text, PlainTables());

  const LocaleTables odd = OddTables(value_text);
  const Picture with_odd_locale =
      zuna::values::CompilePicture(picture_text, odd);
  Exercise(with_odd_locale, value_text, odd);

  // The date functions with integers taken from the value text.
  const int32_t a = Int(value_text, 0);
  const int32_t b = Int(value_text, 4);
  const int32_t c = Int(value_text, 8);
  (void)zuna::values::DATE(a, b, c);
  (void)zuna::values::AGE(a, b);
  (void)zuna::values::WidenYear(a, b, c);
  (void)zuna::values::CivilFromSerial(a);
  (void)zuna::values::TimeFromSerial(a);
  (void)zuna::values::SerialFromCivil(a, b, c);
  return 0;
}
