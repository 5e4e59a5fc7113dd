#include "runtime/values/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace zuna::values {
namespace {

std::string Bytes(std::initializer_list<unsigned> codes) {
  std::string out;
  for (unsigned c : codes) out.push_back(static_cast<char>(c));
  return out;
}

// Anchors read off the published code page charts.
TEST(CodePageTest, Cp1251AnchorsMatchTheChart) {
  struct Row {
    unsigned byte;
    char32_t code_point;
  } rows[] = {
      {0x41, U'A'},     {0xC0, U'А'},     {0xDF, U'Я'},     {0xE0, U'а'},
      {0xFF, U'я'},     {0xA8, U'Ё'},     {0xB8, U'ё'},     {0xB9, U'№'},
      {0xAB, U'«'},     {0xBB, U'»'},     {0x88, U'€'},     {0x96, U'–'},
      {0xA5, U'Ґ'},     {0xB2, U'І'},     {0x98, 0x0098},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.byte);
    EXPECT_EQ(Cp1251ToUnicode(static_cast<uint8_t>(row.byte)), row.code_point);
    EXPECT_EQ(static_cast<uint8_t>(UnicodeToCp1251(row.code_point)), row.byte);
  }
}

TEST(CodePageTest, Cp866AnchorsMatchTheChart) {
  struct Row {
    unsigned byte;
    char32_t code_point;
  } rows[] = {
      {0x80, U'А'}, {0x9F, U'Я'}, {0xA0, U'а'}, {0xAF, U'п'}, {0xE0, U'р'},
      {0xEF, U'я'}, {0xF0, U'Ё'}, {0xF1, U'ё'}, {0xFC, U'№'}, {0xC4, U'─'},
      {0xDB, U'█'}, {0xFF, 0x00A0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.byte);
    EXPECT_EQ(Cp866ToUnicode(static_cast<uint8_t>(row.byte)), row.code_point);
    EXPECT_EQ(static_cast<uint8_t>(UnicodeToCp866(row.code_point)), row.byte);
  }
}

// Every code point up to U+2FFF (the Cyrillic block, which has a table of
// its own, and everything else either page holds) goes to the byte that
// shows it, or to '?' when no byte does.
TEST(CodePageTest, EveryCodePointFindsTheByteThatShowsIt) {
  struct Page {
    const char* name;
    char32_t (*to_unicode)(uint8_t);
    char (*from_unicode)(char32_t);
  } pages[] = {{"1251", Cp1251ToUnicode, UnicodeToCp1251},
               {"866", Cp866ToUnicode, UnicodeToCp866}};
  for (const Page& page : pages) {
    SCOPED_TRACE(page.name);
    for (char32_t cp = 0; cp < 0x3000; ++cp) {
      char expected = kNoFormChar;
      for (int b = 0; b < 256; ++b) {
        if (page.to_unicode(static_cast<uint8_t>(b)) == cp) {
          expected = static_cast<char>(b);
          break;
        }
      }
      ASSERT_EQ(page.from_unicode(cp), expected)
          << "U+" << std::hex << static_cast<uint32_t>(cp);
    }
  }
}

TEST(CodePageTest, Utf8RoundTripOfEvery1251ByteIsLossless) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
}

TEST(CodePageTest, RussianTextBetweenAllThreeEncodings) {
  const std::string utf8 = "Иванов Ёж";
  const std::string cp1251 =
      Bytes({0xC8, 0xE2, 0xE0, 0xED, 0xEE, 0xE2, 0x20, 0xA8, 0xE6});
  const std::string cp866 =
      Bytes({0x88, 0xA2, 0xA0, 0xAD, 0xAE, 0xA2, 0x20, 0xF0, 0xA6});
  EXPECT_EQ(Utf8ToCp1251(utf8), cp1251);
  EXPECT_EQ(Utf8ToCp866(utf8), cp866);
  EXPECT_EQ(Cp1251ToCp866(cp1251), cp866);
  EXPECT_EQ(Cp866ToCp1251(cp866), cp1251);
  EXPECT_EQ(Cp1251ToUtf8(cp1251), utf8);
  EXPECT_EQ(Cp866ToUtf8(cp866), utf8);
}

TEST(CodePageTest, CharactersWithoutAFormBecomeQuestionMarks) {
  // « exists in 1251 but not in 866; box drawing exists only in 866.
  EXPECT_EQ(Cp1251ToCp866(Bytes({0xAB})), "?");
  EXPECT_EQ(Cp866ToCp1251(Bytes({0xC4})), "?");
  // Chinese and an emoji have no 1251 form.
  EXPECT_EQ(Utf8ToCp1251("a中b😀c"), "a?b?c");
  EXPECT_FALSE(IsRepresentableInCp1251("中"));
  EXPECT_TRUE(IsRepresentableInCp1251("Жёлтый «дом» №5"));
}

TEST(CodePageTest, MalformedUtf8NeverCrashesAndResynchronises) {
  const struct {
    std::string input;
    std::string expected;
  } rows[] = {
      {Bytes({0xFF}), "?"},
      {Bytes({0xD0}), "?"},                          // truncated lead
      {Bytes({0xD0, 0x41}), "?A"},                   // bad continuation
      {Bytes({0xC0, 0x80}), "??"},                   // overlong NUL
      {Bytes({0xED, 0xA0, 0x80}), "???"},            // surrogate
      {Bytes({0xF4, 0x90, 0x80, 0x80}), "????"},     // above U+10FFFF
      {Bytes({0x80, 0xD0, 0x98}), "?" + Bytes({0xC8})},  // stray, then И
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.expected);
    EXPECT_EQ(Utf8ToCp1251(row.input), row.expected);
  }
}

TEST(CodePageTest, InPlaceConversionTouchesOnlyTheGivenBytes) {
  std::string buffer = Bytes({0xC0, 0xC1, 0xFF, 0xC0});
  Cp1251ToCp866InPlace(buffer.data(), 3);
  EXPECT_EQ(buffer, Bytes({0x80, 0x81, 0xEF, 0xC0}));
  Cp866ToCp1251InPlace(buffer.data(), 3);
  EXPECT_EQ(buffer, Bytes({0xC0, 0xC1, 0xFF, 0xC0}));
}

// Every byte, at every place of texts of 0 to 40 bytes (whole runs of
// eight and the bytes after them), mixed with ASCII runs, converts in place
// as it does on its own.
TEST(CodePageTest, InPlaceConversionOfLongTextsMatchesByteByByte) {
  for (size_t length = 0; length <= 40; ++length) {
    for (int start = 0; start < 256; start += 7) {
      std::string text(length, ' ');
      for (size_t i = 0; i < length; ++i) {
        // Stretches of ASCII between high bytes.
        const int b = (start + static_cast<int>(i) * 37) % 256;
        text[i] = static_cast<char>(i % 11 < 6 ? b & 0x7F : b);
      }
      std::string to_866 = text;
      std::string to_1251 = text;
      Cp1251ToCp866InPlace(to_866.data(), to_866.size());
      Cp866ToCp1251InPlace(to_1251.data(), to_1251.size());
      for (size_t i = 0; i < length; ++i) {
        ASSERT_EQ(to_866[i], Cp1251ToCp866(text[i])) << length << " " << i;
        ASSERT_EQ(to_1251[i], Cp866ToCp1251(text[i])) << length << " " << i;
      }
    }
  }
}

}  // namespace
}  // namespace zuna::values
