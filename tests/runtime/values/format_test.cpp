#include "runtime/values/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "runtime/values/picture.h"
#include "tests/runtime/values/plain_tables.h"

namespace zuna::values {
namespace {

// Serials and time serials counted by hand (see date_serial_test.cpp).
constexpr int32_t k5March2009 = 76038;
constexpr int32_t k12November2009 = 76290;  // day 316 of 2009
constexpr int32_t k1January2000 = 72687;
constexpr int32_t k5September2009 = 76222;  // day 248 of 2009
constexpr int32_t k13h07m09s = 13 * 360000 + 7 * 6000 + 9 * 100 + 1;

std::string Date(int32_t serial, std::string_view picture_text) {
  return FormatDate(serial, CompilePicture(picture_text, Tables()), Tables());
}

std::string Time(int32_t serial, std::string_view picture_text) {
  return FormatTime(serial, CompilePicture(picture_text, Tables()), Tables());
}

std::string Number(double value, std::string_view picture_text) {
  return FormatNumber(value, CompilePicture(picture_text, Tables()));
}

std::string Value(double number, std::string_view text,
                  std::string_view picture_text) {
  return FormatValue(number, text, CompilePicture(picture_text, Tables()),
                     Tables());
}

struct Row {
  int32_t value;
  const char* picture;
  const char* expected;
};

void ExpectDates(const Row* begin, const Row* end) {
  for (const Row* row = begin; row != end; ++row) {
    SCOPED_TRACE(testing::Message() << row->value << " " << row->picture);
    EXPECT_EQ(Date(row->value, row->picture), row->expected);
  }
}

TEST(FormatDateTest, EdgeCases) {
  const Row rows[] = {
      {4, "@D6", " 1/01/1801"},
      {2994626, "@d12", "99991231"},
      {3, "@D6", "  /  /    "},
      {2994627, "@D6", "  /  /    "},
      {0, "@D6", "  /  /    "},
      {3, "@d12", "        "},
      {2994627, "@D3", "      ,    "},
      {k5March2009, "@D6", " 5/03/2009"},
      {k5March2009, "@D06", "05/03/2009"},
      {k5March2009, "@D06.", "05.03.2009"},
      {k5March2009, "@d12", "20090305"},
      {k5March2009, "@D3", "MAR  5,2009"},
      {k5March2009, "@D4", "March  5, 2009       "},
  };
  ExpectDates(std::begin(rows), std::end(rows));
}

TEST(FormatDateTest, AllLayouts) {
  const Row rows[] = {
      {k5March2009, "@D1", " 3/05/09"},
      {k5March2009, "@D2", " 3/05/2009"},
      {k5March2009, "@D3", "MAR  5,2009"},
      {k5March2009, "@D4", "March  5, 2009       "},
      {k5March2009, "@D5", " 5/03/09"},
      {k5March2009, "@D6", " 5/03/2009"},
      {k5March2009, "@D7", " 5 MAR 09"},
      {k5March2009, "@D8", " 5 MAR 2009"},
      {k5March2009, "@D9", "09/03/05"},
      {k5March2009, "@D10", "2009/03/05"},
      {k5March2009, "@D11", "090305"},
      {k5March2009, "@D12", "20090305"},
      {k5March2009, "@D13", "03/09"},
      {k5March2009, "@D14", "03/2009"},
      {k5March2009, "@D15", "09/03"},
      {k5March2009, "@D16", "2009/03"},
      {k5March2009, "@D17", " 3/05/2009"},             // fallback: 2
      {k5March2009, "@D18", "March  5, 2009       "},  // fallback: 4
      {k12November2009, "@D1", "11/12/09"},
      {k12November2009, "@D6", "12/11/2009"},
      {k12November2009, "@D8", "12 NOV 2009"},
      {k1January2000, "@D1", " 1/01/00"},
      {k1January2000, "@D_1", " 1/ 1/ 0"},
      {k5September2009, "@D4", "September  5, 2009   "},
      {k5September2009, "@D3", "SEP  5,2009"},
  };
  ExpectDates(std::begin(rows), std::end(rows));
}

TEST(FormatDateTest, FillSeparatorAndBlankOptions) {
  const Row rows[] = {
      {k5March2009, "@D*6", "*5/*3/2009"},
      {k5March2009, "@D6-", " 5-03-2009"},
      {k5March2009, "@D6_", " 5 03 2009"},
      {k5March2009, "@D6`", " 5,03,2009"},
      {k5March2009, "@D3.", "MAR  5.2009"},
      {k5March2009, "@D8-", " 5-MAR-2009"},
      {k5March2009, "@D6B", " 5/03/2009"},
      {0, "@D6B", "          "},
      {3, "@D6B", "          "},
      {2994627, "@D4B", "                     "},  // 21 blanks
      {0, "@D06.", "  .  .    "},
  };
  ExpectDates(std::begin(rows), std::end(rows));
}

TEST(FormatDateTest, MonthNamesGoThroughTheCaseTable) {
  // Windows-1251: "мар"/"МАР", "март"; the case pairs are those a Zuna.ENV
  // with VANCASE would install for Cyrillic.
  LocaleTables tables = PlainTables();
  tables.month_abbrevs[2] = "\xEC\xE0\xF0";    // мар
  tables.month_names[2] = "\xEC\xE0\xF0\xF2";  // март
  const Picture d3 = CompilePicture("@D3", tables);
  const Picture d4 = CompilePicture("@D4", tables);
  // Without case pairs a Cyrillic letter has no upper case.
  EXPECT_EQ(FormatDate(k5March2009, d3, tables), "\xEC\xE0\xF0  5,2009");
  for (int c = 0xC0; c <= 0xDF; ++c) {
    tables.counterpart[c] = static_cast<uint8_t>(c + 0x20);
    tables.counterpart[c + 0x20] = static_cast<uint8_t>(c);
    tables.char_class[c] = kUpperClass;
    tables.char_class[c + 0x20] = kLowerClass;
  }
  EXPECT_EQ(FormatDate(k5March2009, d3, tables), "\xCC\xC0\xD0  5,2009");
  // The full name prints as stored, and is shorter than its 12 letters.
  EXPECT_EQ(FormatDate(k5March2009, d4, tables),
            "\xEC\xE0\xF0\xF2  5, 2009        ");
}

TEST(FormatDateTest, LocalePictureWithMonthLetters) {
  LocaleTables tables = PlainTables();
  using K = TokenKind;
  // dd-MMM-yyyy with three letter tokens.
  tables.short_date.tokens = {
      {'0', K::kDayDigit},    {'0', K::kDayDigit},    {'-', K::kSeparator},
      {' ', K::kMonthLetter}, {' ', K::kMonthLetter}, {' ', K::kMonthLetter},
      {'-', K::kSeparator},   {'0', K::kYearDigit},   {'0', K::kYearDigit},
      {'0', K::kYearDigit},   {'0', K::kYearDigit}};
  tables.long_date.tokens = tables.short_date.tokens;
  EXPECT_EQ(FormatDate(k5March2009, CompilePicture("@D17", tables), tables),
            "05-MAR-2009");
  EXPECT_EQ(FormatDate(k5March2009, CompilePicture("@D18", tables), tables),
            "05-Mar-2009");
}

TEST(FormatDateTest, WrongPictureKindGivesEmpty) {
  EXPECT_EQ(Date(k5March2009, "@T1"), "");
  EXPECT_EQ(Date(k5March2009, "@S10"), "");
  EXPECT_EQ(Date(k5March2009, "@D19"), "");
}

TEST(FormatTimeTest, AllLayouts) {
  const Row rows[] = {
      {k13h07m09s, "@T1", "13:07"},      {k13h07m09s, "@T2", "1307"},
      {k13h07m09s, "@T3", " 1:07PM"},    {k13h07m09s, "@T4", "13:07:09"},
      {k13h07m09s, "@T5", "130709"},     {k13h07m09s, "@T6", " 1:07:09PM"},
      {k13h07m09s, "@T7", " 1:07PM"},     // fallback: 3
      {k13h07m09s, "@T8", " 1:07:09PM"},  // fallback: 6
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.picture);
    EXPECT_EQ(Time(row.value, row.picture), row.expected);
  }
}

TEST(FormatTimeTest, TwelveHourClock) {
  constexpr auto At = [](int h, int m) { return h * 360000 + m * 6000 + 1; };
  const Row rows[] = {
      {At(0, 0), "@T3", "12:00AM"},   {At(0, 30), "@T3", "12:30AM"},
      {At(9, 5), "@T3", " 9:05AM"},   {At(11, 59), "@T3", "11:59AM"},
      {At(12, 0), "@T3", "12:00PM"},  {At(12, 30), "@T3", "12:30PM"},
      {At(13, 0), "@T3", " 1:00PM"},  {At(23, 59), "@T3", "11:59PM"},
      {8640000, "@T6", "11:59:59PM"}, {At(0, 0), "@T1", " 0:00"},
      {At(9, 5), "@T1", " 9:05"},     {At(9, 5), "@T01", "09:05"},
      {At(9, 5), "@T1.", " 9.05"},    {At(9, 5) + 300, "@T4", " 9:05:03"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.value << " " << row.picture);
    EXPECT_EQ(Time(row.value, row.picture), row.expected);
  }
}

TEST(FormatTimeTest, InvalidTimes) {
  const Row rows[] = {
      {0, "@T1", "  :  "},           {8640001, "@T4", "  :  :  "},
      {-7, "@T3", "  :    "},        {0, "@T3B", "       "},
      {8640001, "@T4B", "        "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.value << " " << row.picture);
    EXPECT_EQ(Time(row.value, row.picture), row.expected);
  }
}

TEST(FormatTimeTest, OneLetterMarkerText) {
  LocaleTables tables = PlainTables();
  tables.am = "A";
  tables.pm = "";
  const Picture t3 = CompilePicture("@T3", tables);
  EXPECT_EQ(FormatTime(9 * 360000 + 5 * 6000 + 1, t3, tables), " 9:05A ");
  EXPECT_EQ(FormatTime(21 * 360000 + 5 * 6000 + 1, t3, tables), " 9:05  ");
}

TEST(FormatStringTest, CutsAndPads) {
  const Picture s5 = CompilePicture("@S5", Tables());
  EXPECT_EQ(FormatString("abcdefg", s5), "abcde");
  EXPECT_EQ(FormatString("ab", s5), "ab   ");
  EXPECT_EQ(FormatString("", s5), "     ");
  EXPECT_EQ(Value(0, "Иванов", "@s30").size(), 30u);
}

TEST(FormatNumberTest, Integers) {
  struct NumberRow {
    double value;
    const char* picture;
    const char* expected;
  };
  const NumberRow rows[] = {
      {2009, "@n_4", "2009"},
      {305, "@n_4", " 305"},
      {0, "@n_4", "   0"},
      {12345, "@n_4", "####"},
      {-5, "@n_4", "  -5"},
      {-1234, "@n_4", "####"},
      {305, "@n04", "0305"},
      {-12, "@n04", "-012"},
      {42, "@n*6", "****42"},
      {1234567, "@n9", "  1234567"},
      {1234567, "@N9`", "1,234,567"},
      {1234, "@N9`", "    1,234"},
      {1234, "@N09`", "0,001,234"},
      {1234, "@N_7_", "  1 234"},
      {2.5, "@n3", "  3"},
      {-2.5, "@n3", " -3"},
      {0.4, "@n3", "  0"},
      {-0.4, "@n3", "  0"},
      {1234567890, "@n010", "1234567890"},
  };
  for (const NumberRow& row : rows) {
    SCOPED_TRACE(testing::Message() << row.value << " " << row.picture);
    EXPECT_EQ(Number(row.value, row.picture), row.expected);
  }
}

TEST(FormatNumberTest, DecimalsSignsAndBlank) {
  struct NumberRow {
    double value;
    const char* picture;
    const char* expected;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const NumberRow rows[] = {
      {-1234.5, "@N-10.2", "   -1234.50"},
      {1234.5, "@N-10.2", "    1234.50"},
      {-1234.5, "@N-010.2", "-0001234.50"},
      {-12.5, "@N(8.2)", "(   12.50)"},
      {12.5, "@N(8.2)", "    12.50 "},
      {-12.5, "@N8.2-", "   12.50-"},
      {12.5, "@N8.2-", "   12.50 "},
      {0.5, "@N6.2", "  0.50"},
      {7.25, "@N05.1", "007.3"},
      {0, "@N6.2B", "      "},
      {0.001, "@N6.2B", "      "},
      {1.5, "@N6.2B", "  1.50"},
      {nan, "@N6.2", "######"},
      {inf, "@N6.2", "######"},
      {-inf, "@N4", "####"},
      {1e300, "@N6", "######"},
      {nan, "@N6B", "      "},
      {12345.678, "@E12.3", "   1.235e+04"},
      {12345.678, "@E5.3", "#####"},
      {0, "@E9B", "         "},
  };
  for (const NumberRow& row : rows) {
    SCOPED_TRACE(testing::Message() << row.value << " " << row.picture);
    EXPECT_EQ(Number(row.value, row.picture), row.expected);
  }
  EXPECT_EQ(Number(5, "@D6"), "");
}

TEST(FormatValueTest, DispatchesByKind) {
  EXPECT_EQ(Value(76038.9, "", "@D6"), " 5/03/2009");
  EXPECT_EQ(Value(k13h07m09s, "", "@T4"), "13:07:09");
  EXPECT_EQ(Value(305, "305", "@n_4"), " 305");
  EXPECT_EQ(Value(0, "Petrov", "@s10"), "Petrov    ");
  EXPECT_EQ(Value(0, "1234567", "@P###-##-##P"), "123-45-67");
  EXPECT_EQ(Value(76038, "76038", ""), "");
  EXPECT_EQ(Value(76038, "76038", "@garbage"), "");
}

// A serial arriving as a REAL out of LONG range saturates instead of
// overflowing the conversion.
TEST(FormatValueTest, SaturatesSerials) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double number : {1e300, -1e300, 2147483648.0, -2147483649.0, nan,
                        std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(number);
    EXPECT_EQ(Value(number, "", "@D6"), "  /  /    ");
    EXPECT_EQ(Value(number, "", "@T1"), "  :  ");
  }
}

TEST(FormatValueTest, Patterns) {
  struct TextRow {
    const char* text;
    const char* picture;
    const char* expected;
  };
  const TextRow rows[] = {
      {"1234567", "@P###-##-##P", "123-45-67"},
      {"12", "@P###-##-##P", "000-00-12"},
      {"5", "@P<<#-##P", "  0-05"},
      {"123", "@P##P", "##"},
      {"0012", "@P##P", "12"},
      {"12.9", "@P###P", "012"},
      {"0", "@P##PB", "  "},
      {"AB12", "@K@@-##K", "AB-12"},
      {"A", "@K@@-##K", "A -  "},
      {"", "@K@@-##KB", "     "},
  };
  for (const TextRow& row : rows) {
    SCOPED_TRACE(testing::Message() << row.text << " " << row.picture);
    EXPECT_EQ(Value(0, row.text, row.picture), row.expected);
  }
}

TEST(FormatValueTest, GarbagePicturesFormatAsEmpty) {
  const std::string pictures[] = {
      std::string(300, 'x'),        "@D" + std::string(298, '7'),
      "@N" + std::string(298, '9'), "@" + std::string(299, '\xFF'),
      std::string("@S1\0", 4),
  };
  for (const std::string& text : pictures) {
    SCOPED_TRACE(text.substr(0, 20));
    const Picture picture = CompilePicture(text, Tables());
    EXPECT_EQ(FormatValue(76038, "76038", picture, Tables()), "");
    EXPECT_EQ(Deformat("20090305", picture, Tables()), "20090305");
  }
}

}  // namespace
}  // namespace zuna::values
