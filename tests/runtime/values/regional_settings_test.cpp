// The mapping from the C library's LC_TIME texts to regional settings, and
// the locale pictures built from regional settings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/values/code_page.h"
#include "runtime/values/locale.h"

namespace zuna::values {
namespace {

// ---------------------------------------------------------------------------
// Regional settings from LC_TIME.

TEST(RegionalSettingsTest, MapsCommonLangInfoTexts) {
  struct Row {
    const char* t_fmt;
    const char* d_fmt;
    int i_time, i_tlzero;
    std::string s_time, short_date, long_date;
  } rows[] = {
      // ru_RU, de_DE
      {"%T", "%d.%m.%Y", 1, 1, ":", "dd.MM.yyyy", "d MMMM yyyy"},
      {"%H:%M:%S", "%d.%m.%Y", 1, 1, ":", "dd.MM.yyyy", "d MMMM yyyy"},
      // en_US
      {"%r", "%m/%d/%Y", 0, 1, ":", "MM/dd/yyyy", "ddd', 'MMMM' 'dd', 'yyyy"},
      {"%I:%M:%S %p", "%m/%d/%y", 0, 1, ":", "MM/dd/yy",
       "ddd', 'MMMM' 'dd', 'yyyy"},
      // en_GB, sv_SE, the C locale's own texts
      {"%T", "%d/%m/%y", 1, 1, ":", "dd/MM/yy", "d MMMM yyyy"},
      {"%H.%M.%S", "%Y-%m-%d", 1, 1, ".", "yyyy-MM-dd", "yyyy MMMM d"},
      {"%H:%M:%S", "%m/%d/%y", 1, 1, ":", "MM/dd/yy",
       "ddd', 'MMMM' 'dd', 'yyyy"},
      // Blank-padded hours and days.
      {"%k.%M", "%e/%m/%y", 1, 0, ".", "d/MM/yy", "d MMMM yyyy"},
      {"%l:%M %p", "%D", 0, 0, ":", "MM/dd/yy", "ddd', 'MMMM' 'dd', 'yyyy"},
      {"%-H:%M", "%-d.%-m.%Y", 1, 0, ":", "d.M.yyyy", "d MMMM yyyy"},
      {"%0k:%M", "%F", 1, 1, ":", "yyyy-MM-dd", "yyyy MMMM d"},
      // Literal letters are quoted as one run; a quote becomes ''.
      {"%R", "%d de %B de %Y", 1, 1, ":", "dd 'de' MMMM 'de' yyyy",
       "d MMMM yyyy"},
      {"%R", "%d'%m'%y", 1, 1, ":", "dd''MM''yy", "d MMMM yyyy"},
      {"%R", "%Y. %m. %d.", 1, 1, ":", "yyyy. MM. dd.", "yyyy MMMM d"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.t_fmt) + " / " + row.d_fmt);
    const RegionalSettings r =
        RegionalSettingsFromLangInfo(row.t_fmt, row.d_fmt, "", "");
    EXPECT_EQ(r.i_time, row.i_time);
    EXPECT_EQ(r.i_tlzero, row.i_tlzero);
    EXPECT_EQ(r.s_time, row.s_time);
    EXPECT_EQ(r.s_short_date, row.short_date);
    EXPECT_EQ(r.s_long_date, row.long_date);
    EXPECT_EQ(r.s1159, "AM");
    EXPECT_EQ(r.s2359, "PM");
  }
}

TEST(RegionalSettingsTest, UnmappableTextsKeepTheDefaults) {
  struct Row {
    const char* t_fmt;
    const char* d_fmt;
  } rows[] = {
      {"", ""},
      {"%M:%S", "%m/%y"},        // no hour; no day
      {"%a %p", "%a %d.%m.%Y"},  // weekday names have no place
      {"%", "%d.%m.%"},          // a dangling '%'
      {"%M", "%d %m"},           // no year
  };
  const RegionalSettings defaults;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.t_fmt) + " / " + row.d_fmt);
    const RegionalSettings r =
        RegionalSettingsFromLangInfo(row.t_fmt, row.d_fmt, "", "");
    EXPECT_EQ(r.i_time, defaults.i_time);
    EXPECT_EQ(r.i_tlzero, defaults.i_tlzero);
    EXPECT_EQ(r.s_time, defaults.s_time);
    EXPECT_EQ(r.s_short_date, "MM/dd/yy");
    EXPECT_EQ(r.s_long_date, "ddd', 'MMMM' 'dd', 'yyyy");
  }
}

TEST(RegionalSettingsTest, AmPmTextsWhenGiven) {
  const RegionalSettings r =
      RegionalSettingsFromLangInfo("%r", "%D", W("ДП"), W("ПП"));
  EXPECT_EQ(r.s1159, W("ДП"));
  EXPECT_EQ(r.s2359, W("ПП"));
}

TEST(RegionalSettingsTest, PortableLocaleGivesTheDefaults) {
  // The test run's locale is whatever the machine has; force the portable
  // one in a child so the check does not depend on it.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("LC_ALL", "C.UTF-8", 1);
        const RegionalSettings r = ReadRegionalSettings();
        const bool ok = r.i_time == 0 && r.i_tlzero == 1 && r.s_time == ":" &&
                        r.s_short_date == "MM/dd/yy" && r.s1159 == "AM";
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        setenv("LC_ALL", "xx_NOWHERE.UTF-8", 1);  // cannot be opened
        const RegionalSettings r = ReadRegionalSettings();
        std::exit(r.s_short_date == "MM/dd/yy" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// ---------------------------------------------------------------------------
// Locale pictures.
//
// Expected layouts are written as two strings, one character per display
// position: the fill characters, and the kinds: m d y month/day/year digit,
// L month letter, h n s hour/minute/second digit, S separator, l literal,
// A the AM/PM marker.

std::vector<PictureToken> Layout(std::string_view fills,
                                 std::string_view kinds) {
  EXPECT_EQ(fills.size(), kinds.size());
  std::vector<PictureToken> tokens;
  for (size_t i = 0; i < kinds.size() && i < fills.size(); ++i) {
    TokenKind kind = TokenKind::kLiteral;
    switch (kinds[i]) {
      case 'm':
        kind = TokenKind::kMonthDigit;
        break;
      case 'd':
        kind = TokenKind::kDayDigit;
        break;
      case 'y':
        kind = TokenKind::kYearDigit;
        break;
      case 'L':
        kind = TokenKind::kMonthLetter;
        break;
      case 'h':
        kind = TokenKind::kHourDigit;
        break;
      case 'n':
        kind = TokenKind::kMinuteDigit;
        break;
      case 's':
        kind = TokenKind::kSecondDigit;
        break;
      case 'S':
        kind = TokenKind::kSeparator;
        break;
      case 'A':
        kind = TokenKind::kAmPm;
        break;
      default:
        kind = TokenKind::kLiteral;
    }
    tokens.push_back({fills[i], kind});
  }
  return tokens;
}

RegionalSettings RussianLike() {
  RegionalSettings r;
  r.i_time = 1;
  r.i_tlzero = 1;
  r.s_time = ":";
  r.s_short_date = "dd.MM.yyyy";
  r.s_long_date = "d MMMM yyyy";
  return r;
}

TEST(LocalePictureTest, DefaultSettings) {
  const RegionalSettings r;
  const LocalePicture d17 = ShortDatePicture(r);
  EXPECT_EQ(d17.tokens, Layout("00/00/00", "mmSddSyy"));
  EXPECT_FALSE(d17.has_month_letters);

  const LocalePicture d18 = LongDatePicture(r);
  // "ddd', 'MMMM' 'dd', 'yyyy": the weekday goes with its ", ".
  EXPECT_EQ(d18.tokens,
            Layout("             00, 0000", "LLLLLLLLLLLLlddSlyyyy"));
  EXPECT_TRUE(d18.has_month_letters);

  EXPECT_EQ(ShortTimePicture(r).tokens, Layout("00:00  M", "hhSnnlAl"));
  EXPECT_EQ(LongTimePicture(r).tokens, Layout("00:00:00  M", "hhSnnSsslAl"));
}

TEST(LocalePictureTest, RussianLikeSettings) {
  const RegionalSettings r = RussianLike();
  EXPECT_EQ(ShortDatePicture(r).tokens, Layout("00.00.0000", "ddSmmSyyyy"));
  EXPECT_EQ(LongDatePicture(r).tokens,
            Layout(" 0              0000", "ddlLLLLLLLLLLLLlyyyy"));
  EXPECT_EQ(ShortTimePicture(r).tokens, Layout("00:00", "hhSnn"));
  EXPECT_EQ(LongTimePicture(r).tokens, Layout("00:00:00", "hhSnnSss"));
}

TEST(LocalePictureTest, ShortDatePatterns) {
  struct Row {
    const char* pattern;
    const char* fills;
    const char* kinds;
    bool month_letters;
  } rows[] = {
      {"d/M/yy", " 0/ 0/00", "ddSmmSyy", false},
      {"M/d/yyyy", " 0/ 0/0000", "mmSddSyyyy", false},
      // Year first: day and month always zero-filled.
      {"yyyy-M-d", "0000-00-00", "yyyySmmSdd", false},
      {"yy/MM/dd", "00/00/00", "yySmmSdd", false},
      {"dd-MMM-yy", "00-   -00", "ddSLLLSyy", true},
      {"dd MM yyyy", "00 00 0000", "ddSmmSyyyy", false},
      {"ddMMyy", "00/00/00", "ddSmmSyy", false},      // no separator: '/'
      {"dd.MM'/'yy", "00/00/00", "ddSmmSyy", false},  // quoted separator
      {"", "00/00/00", "mmSddSyy", false},
      {"gg yy", "00/00/00", "mmSddSyy", false},  // other first letter
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pattern);
    RegionalSettings r;
    r.s_short_date = row.pattern;
    const LocalePicture p = ShortDatePicture(r);
    EXPECT_EQ(p.tokens, Layout(row.fills, row.kinds));
    EXPECT_EQ(p.has_month_letters, row.month_letters);
  }
}

TEST(LocalePictureTest, LongDatePatterns) {
  struct Row {
    std::string pattern;
    std::string fills;
    const char* kinds;
  } rows[] = {
      {"dddd, d MMMM yyyy", " 0              0000", "ddlLLLLLLLLLLLLlyyyy"},
      {"MMMM d, yyyy, dddd", "              0, 0000", "LLLLLLLLLLLLlddSlyyyy"},
      {"yyyy MMMM d", "0000               0", "yyyylLLLLLLLLLLLLldd"},
      {"dd MMM yy", "00     00", "ddlLLLlyy"},
      {"d.MM.yyyy", " 0.00.0000", "ddSmmSyyyy"},
      {W("d MMMM yyyy 'г.'"), W(" 0              0000 г."),
       "ddlLLLLLLLLLLLLlyyyyllS"},
      {"'den 'd MMMM", "den  0             ",
       "lllldd"
       "lLLLLLLLLLLLL"},
      // Nothing a date picture can show: the default long date.
      {"dddd", "             00, 0000", "LLLLLLLLLLLLlddSlyyyy"},
      {"", "             00, 0000", "LLLLLLLLLLLLlddSlyyyy"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(Cp1251ToUtf8(row.pattern));
    RegionalSettings r;
    r.s_long_date = row.pattern;
    EXPECT_EQ(LongDatePicture(r).tokens, Layout(row.fills, row.kinds));
  }
}

TEST(LocalePictureTest, LongDateIsCappedAt255Positions) {
  RegionalSettings r;
  for (int i = 0; i < 40; ++i) r.s_long_date += "MMMM ";
  const LocalePicture p = LongDatePicture(r);
  EXPECT_EQ(p.tokens.size(), 255u);
  EXPECT_TRUE(p.has_month_letters);
}

TEST(LocalePictureTest, TimeVariants) {
  struct Row {
    int i_time, i_tlzero;
    std::string s_time;
    const char* short_fills;
    const char* short_kinds;
    const char* long_fills;
    const char* long_kinds;
  } rows[] = {
      {1, 0, ":", " 0:00", "hhSnn", " 0:00:00", "hhSnnSss"},
      {0, 0, ".", " 0.00  M", "hhSnnlAl", " 0.00.00  M", "hhSnnSsslAl"},
      {1, 1, "", "00:00", "hhSnn", "00:00:00", "hhSnnSss"},  // empty: ':'
      {1, 2, "h", " 0h00", "hhSnn", " 0h00h00", "hhSnnSss"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.short_fills);
    RegionalSettings r;
    r.i_time = row.i_time;
    r.i_tlzero = row.i_tlzero;
    r.s_time = row.s_time;
    EXPECT_EQ(ShortTimePicture(r).tokens,
              Layout(row.short_fills, row.short_kinds));
    EXPECT_EQ(LongTimePicture(r).tokens,
              Layout(row.long_fills, row.long_kinds));
  }
}

TEST(LocalePictureTest, DefaultLocaleCarriesThePicturesOfItsSettings) {
  const LocaleTables t = DefaultLocale(RussianLike());
  EXPECT_EQ(t.short_date.tokens, Layout("00.00.0000", "ddSmmSyyyy"));
  EXPECT_EQ(t.short_time.tokens, Layout("00:00", "hhSnn"));
  EXPECT_EQ(t.regional.s_short_date, "dd.MM.yyyy");
}

}  // namespace
}  // namespace zuna::values
