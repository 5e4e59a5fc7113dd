#include "runtime/values/picture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zuna::values {
namespace {

using K = TokenKind;

// Tokens written as one character each, for compact expectations:
//   m d y h n s  digit of month/day/year/hour/minute/second
//   L month letter, X AM/PM marker, / separator, ' ' or other literal '='
std::string Shape(const Picture& picture) {
  std::string shape;
  for (const PictureToken& token : picture.tokens) {
    switch (token.kind) {
      case K::kMonthDigit:
        shape += 'm';
        break;
      case K::kDayDigit:
        shape += 'd';
        break;
      case K::kYearDigit:
        shape += 'y';
        break;
      case K::kHourDigit:
        shape += 'h';
        break;
      case K::kMinuteDigit:
        shape += 'n';
        break;
      case K::kSecondDigit:
        shape += 's';
        break;
      case K::kMonthLetter:
        shape += 'L';
        break;
      case K::kAmPm:
        shape += 'X';
        break;
      case K::kSeparator:
        shape += '/';
        break;
      case K::kLiteral:
        shape += '=';
        break;
      case K::kNumberDigit:
        shape += '9';
        break;
      case K::kDecimalPoint:
        shape += '.';
        break;
      case K::kGroupSeparator:
        shape += ',';
        break;
      case K::kSign:
        shape += '-';
        break;
      case K::kPatternDigit:
        shape += '#';
        break;
      case K::kPatternChar:
        shape += '@';
        break;
    }
  }
  return shape;
}

std::string Fills(const Picture& picture) {
  std::string fills;
  for (const PictureToken& token : picture.tokens) fills += token.fill;
  return fills;
}

const LocaleTables& Tables() {
  static const LocaleTables tables = DefaultLocale();
  return tables;
}

Picture Compile(std::string_view text) {
  return CompilePicture(text, Tables());
}

TEST(PictureDateTest, LayoutsAndFills) {
  struct Row {
    const char* text;
    const char* shape;
    const char* fills;
  };
  // From the layout table: blank fills only where the table names them.
  const Row rows[] = {
      {"@D1", "mm/dd/yy", " 0/00/00"},
      {"@D2", "mm/dd/yyyy", " 0/00/0000"},
      {"@D3", "LLL=dd/yyyy", "     0,0000"},
      {"@D4", "LLLLLLLLLLLL=dd/=yyyy", "              0, 0000"},
      {"@D5", "dd/mm/yy", " 0/00/00"},
      {"@D6", "dd/mm/yyyy", " 0/00/0000"},
      {"@D7", "dd/LLL/yy", " 0     00"},
      {"@D8", "dd/LLL/yyyy", " 0     0000"},
      {"@D9", "yy/mm/dd", "00/00/00"},
      {"@D10", "yyyy/mm/dd", "0000/00/00"},
      {"@D11", "yymmdd", "000000"},
      {"@D12", "yyyymmdd", "00000000"},
      {"@D13", "mm/yy", "00/00"},
      {"@D14", "mm/yyyy", "00/0000"},
      {"@D15", "yy/mm", "00/00"},
      {"@D16", "yyyy/mm", "0000/00"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const Picture picture = Compile(row.text);
    EXPECT_EQ(picture.kind, PictureKind::kDate);
    EXPECT_EQ(Shape(picture), row.shape);
    EXPECT_EQ(Fills(picture), row.fills);
    EXPECT_EQ(picture.width(), std::string(row.shape).size());
    EXPECT_EQ(picture.century_window, 80);
    EXPECT_FALSE(picture.blank);
  }
  EXPECT_EQ(Compile("@d12").number, 12);
}

TEST(PictureTimeTest, Layouts) {
  struct Row {
    const char* text;
    const char* shape;
    const char* fills;
  };
  const Row rows[] = {
      {"@T1", "hh/nn", " 0:00"},     {"@T2", "hhnn", " 000"},
      {"@T3", "hh/nnX=", " 0:00 M"}, {"@T4", "hh/nn/ss", " 0:00:00"},
      {"@T5", "hhnnss", " 00000"},   {"@T6", "hh/nn/ssX=", " 0:00:00 M"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const Picture picture = Compile(row.text);
    EXPECT_EQ(picture.kind, PictureKind::kTime);
    EXPECT_EQ(Shape(picture), row.shape);
    EXPECT_EQ(Fills(picture), row.fills);
  }
}

TEST(PictureDateTest, FillSeparatorWindowAndBlankOptions) {
  struct Row {
    const char* text;
    const char* fills;
    int window;
    bool blank;
  };
  const Row rows[] = {
      {"@D06", "00/00/0000", 80, false},
      {"@D*6", "**/**/****", 80, false},
      {"@D_10", "    /  /  ", 80, false},
      {"@D6.", " 0.00.0000", 80, false},
      {"@D06.", "00.00.0000", 80, false},
      {"@D6-", " 0-00-0000", 80, false},
      {"@D6_", " 0 00 0000", 80, false},
      {"@D6`", " 0,00,0000", 80, false},
      {"@D6B", " 0/00/0000", 80, true},
      {"@d6b", " 0/00/0000", 80, true},
      {"@D6<10", " 0/00/0000", 10, false},
      {"@D6<", " 0/00/0000", 80, false},
      {"@D6<0", " 0/00/0000", 80, false},
      {"@D6<99", " 0/00/0000", 99, false},
      {"@D6>10", " 0/00/0000", 89, false},
      {"@D6>", " 0/00/0000", 19, false},
      {"@D6>0", " 0/00/0000", 19, false},
      {"@D6>99", " 0/00/0000", 0, false},
      {"@D06<30.B", "00.00.0000", 30, true},
      {"@D*3.", "*** **.****", 80, false},
      {"@D8-", " 0-   -0000", 80, false},
      {"@T01", "00:00", 80, false},
      {"@T*4.B", "**.**.**", 80, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const Picture picture = Compile(row.text);
    ASSERT_FALSE(picture.empty());
    EXPECT_EQ(Fills(picture), row.fills);
    EXPECT_EQ(picture.century_window, row.window);
    EXPECT_EQ(picture.blank, row.blank);
  }
}

TEST(PictureTest, InvalidTextsCompileToEmpty) {
  const std::string invalid[] = {
      "",
      "@",
      "@D",
      "@D0",
      "@D19",
      "@D0019",
      "@D6X",
      "@D6..",
      "@D6BB",
      "@D6 ",
      " @D6",
      "D6",
      "@D-6",
      "@D6<100",
      "@D6<10<10",
      "@D6B.",
      "@T",
      "@T0",
      "@T9",
      "@T6<10",
      "@S",
      "@S0",
      "@S256",
      "@S30B",
      "@Z5",
      "@N",
      "@N0",
      "@N(5",
      "@N5)",
      "@N-5-",
      "@N(5-",
      "@N4.4",
      "@N256",
      "@N-255",
      "@N5x",
      "@E",
      "@E0",
      "@E5x",
      "@P###",
      "@PP",
      "@PPB",
      "@K###P",
      "@",
      "@D" + std::string(300, '9'),
      "@S" + std::string(300, '1'),
      std::string(300, '@'),
      "@D6" + std::string(297, 'B'),
      std::string("@D6\0", 4),
      "@\xFF\xFE",
  };
  for (const std::string& text : invalid) {
    SCOPED_TRACE(text.substr(0, 40));
    const Picture picture = Compile(text);
    EXPECT_TRUE(picture.empty());
    EXPECT_EQ(picture.width(), 0u);
    EXPECT_TRUE(picture.tokens.empty());
  }
}

TEST(PictureTest, StringPictures) {
  const Picture s30 = Compile("@s30");
  EXPECT_EQ(s30.kind, PictureKind::kString);
  EXPECT_EQ(s30.width(), 30u);
  EXPECT_EQ(s30.number, 30);
  EXPECT_EQ(Compile("@S1").width(), 1u);
  EXPECT_EQ(Compile("@S255").width(), 255u);
  EXPECT_EQ(Compile("@S030").width(), 30u);
}

TEST(PictureLocaleTest, LocalePicturesAreCopiedWithOptions) {
  LocaleTables tables = DefaultLocale();
  // dd.MM.yyyy as a locale would give it, day blank-filled.
  tables.short_date.tokens = {{' ', K::kDayDigit},   {'0', K::kDayDigit},
                              {'.', K::kSeparator},  {'0', K::kMonthDigit},
                              {'0', K::kMonthDigit}, {'.', K::kSeparator},
                              {'0', K::kYearDigit},  {'0', K::kYearDigit},
                              {'0', K::kYearDigit},  {'0', K::kYearDigit}};
  tables.short_time.tokens = {{'0', K::kHourDigit},
                              {'0', K::kHourDigit},
                              {':', K::kSeparator},
                              {'0', K::kMinuteDigit},
                              {'0', K::kMinuteDigit}};
  const Picture d17 = CompilePicture("@D17", tables);
  EXPECT_EQ(Shape(d17), "dd/mm/yyyy");
  EXPECT_EQ(Fills(d17), " 0.00.0000");
  EXPECT_EQ(d17.number, 17);
  EXPECT_EQ(Fills(CompilePicture("@D*17-", tables)), "**-**-****");
  EXPECT_EQ(Fills(CompilePicture("@T_7", tables)), "  :  ");
}

TEST(PictureLocaleTest, EmptyLocalePicturesFallBack) {
  LocaleTables tables = DefaultLocale();
  tables.short_date.tokens.clear();
  tables.long_date.tokens.clear();
  tables.short_time.tokens.clear();
  tables.long_time.tokens.clear();
  EXPECT_EQ(Shape(CompilePicture("@D17", tables)), "mm/dd/yyyy");
  EXPECT_EQ(Shape(CompilePicture("@D18", tables)), "LLLLLLLLLLLL=dd/=yyyy");
  EXPECT_EQ(Shape(CompilePicture("@T7", tables)), "hh/nnX=");
  EXPECT_EQ(Shape(CompilePicture("@T8", tables)), "hh/nn/ssX=");
  EXPECT_EQ(CompilePicture("@D18", tables).number, 18);
}

TEST(PictureLocaleTest, OverlongLocalePictureIsCut) {
  LocaleTables tables = DefaultLocale();
  tables.long_date.tokens.assign(400, PictureToken{'0', K::kYearDigit});
  EXPECT_EQ(CompilePicture("@D18", tables).width(), kMaxPictureWidth);
}

TEST(PictureNumericTest, Shapes) {
  struct Row {
    const char* text;
    const char* shape;
    const char* fills;
    int places;
  };
  const Row rows[] = {
      {"@n_4", "9999", "    ", 0},
      {"@n4", "9999", "    ", 0},
      {"@n010", "9999999999", "0000000000", 0},
      {"@n9", "999999999", "         ", 0},
      {"@n*6", "999999", "******", 0},
      {"@N-10.2", "-9999999.99", "-       .00", 2},
      {"@N(8.2)", "-99999.99-", "(     .00)", 2},
      {"@N8.2-", "99999.99-", "     .00-", 2},
      {"@N9`", "9,999,999", " ,   ,   ", 0},
      {"@N4`", "9999", "    ", 0},
      {"@N5`", "9,999", " ,   ", 0},
      {"@N_6_.1", "9999.9", "    .0", 1},
      {"@N_7_.1", "9,999.9", "     .0", 1},
      {"@N6.", "999999", "      ", 0},
      {"@N4B", "9999", "    ", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const Picture picture = Compile(row.text);
    EXPECT_EQ(picture.kind, PictureKind::kNumeric);
    EXPECT_EQ(Shape(picture), row.shape);
    EXPECT_EQ(Fills(picture), row.fills);
    EXPECT_EQ(picture.places, row.places);
  }
  EXPECT_EQ(Compile("@N255").width(), 255u);
  EXPECT_TRUE(Compile("@N4B").blank);
  EXPECT_TRUE(Compile("@N(8.2)").sign_in_parens);
}

TEST(PicturePatternTest, ScientificAndPatterns) {
  const Picture e = Compile("@E12.3");
  EXPECT_EQ(e.kind, PictureKind::kScientific);
  EXPECT_EQ(e.width(), 12u);
  EXPECT_EQ(e.places, 3);
  EXPECT_EQ(Compile("@E9").places, 2);

  const Picture phone = Compile("@P###-##-##P");
  EXPECT_EQ(phone.kind, PictureKind::kPattern);
  EXPECT_EQ(Shape(phone), "###=##=##");
  EXPECT_EQ(Fills(phone), "000-00-00");
  EXPECT_EQ(Fills(Compile("@p<<#p")), "  0");
  EXPECT_TRUE(Compile("@P##PB").blank);
  EXPECT_FALSE(Compile("@P##P").blank);
  EXPECT_EQ(Shape(Compile("@K@@-##?K")), "@@=@@@");
  EXPECT_EQ(Shape(Compile("@KPK")), "=");
  EXPECT_EQ(Compile("@P" + std::string(255, '#') + "P").width(), 255u);
  EXPECT_TRUE(Compile("@P" + std::string(256, '#') + "P").empty());
}

TEST(PictureTest, KeepsItsText) {
  EXPECT_EQ(Compile("@d12").text, "@d12");
  EXPECT_EQ(Compile("@P##P").text, "@P##P");
}

}  // namespace
}  // namespace zuna::values
