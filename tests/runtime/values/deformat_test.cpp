#include <gtest/gtest.h>

#include <string>

#include "runtime/values/clock.h"
#include "runtime/values/date_serial.h"
#include "runtime/values/format.h"
#include "runtime/values/picture.h"
#include "tests/runtime/values/plain_tables.h"

namespace zuna::values {
namespace {

// Serials counted by hand (see date_serial_test.cpp).
constexpr int32_t k1March2009 = 76034;
constexpr int32_t k5March2009 = 76038;
constexpr int32_t k31December2009 = 76339;

Picture Compile(std::string_view text) {
  return CompilePicture(text, Tables());
}

// Two-digit years widen against 2009 in every test here.
class DeformatTest : public ::testing::Test {
 protected:
  void SetUp() override { SetClock(&clock_); }
  void TearDown() override { SetClock(nullptr); }

  int32_t Date(std::string_view text, std::string_view picture) {
    return DeformatDate(text, Compile(picture), Tables());
  }
  int32_t Time(std::string_view text, std::string_view picture) {
    return DeformatTime(text, Compile(picture), Tables());
  }
  std::string Text(std::string_view text, std::string_view picture) {
    return Deformat(text, Compile(picture), Tables());
  }

 private:
  FixedClock clock_{LocalDateTime{2009, 3, 5, 0}};
};

struct DateRow {
  const char* text;
  const char* picture;
  int32_t serial;
};

TEST_F(DeformatTest, BirthdayFilterCases) {
  const DateRow rows[] = {
      {"20090305", "@d12", k5March2009},
      {"20090229", "@d12", k1March2009},
      {"20091300", "@d12", k31December2009},
      {"20090015", "@d12", -1},
      {"", "@d12", 0},
      {"99991231", "@d12", 2994626},
      {"18010101", "@d12", 4},
      {"18001231", "@d12", -1},
      {"20090300", "@d12", 76033},  // day 0: 28 February
  };
  for (const DateRow& row : rows) {
    SCOPED_TRACE(testing::Message() << row.text << " " << row.picture);
    EXPECT_EQ(Date(row.text, row.picture), row.serial);
    EXPECT_EQ(Text(row.text, row.picture), std::to_string(row.serial));
  }
}

TEST_F(DeformatTest, FieldsEndAtNonDigits) {
  const DateRow rows[] = {
      {"5/3/2009", "@D6", k5March2009},
      {" 5/03/2009", "@D6", k5March2009},
      {"05/03/2009", "@D6", k5March2009},
      {"05.03.2009", "@D06.", k5March2009},
      {"5-3-2009", "@D6", k5March2009},
      {" 3/05/09", "@D1", k5March2009},
      {"3/5/9", "@D1", k5March2009},
      {"2009/3/5", "@D10", k5March2009},
      {"090305", "@D11", k5March2009},
      {"  /  /    ", "@D6", 0},
      {"abc", "@D6", 0},
      {"5", "@D6", -1},       // day 5 of month 0
      {"5/3", "@D6", 72751},  // year 0 widens to 2000: 5 March 2000
  };
  for (const DateRow& row : rows) {
    SCOPED_TRACE(testing::Message() << row.text << " " << row.picture);
    EXPECT_EQ(Date(row.text, row.picture), row.serial);
  }
}

TEST_F(DeformatTest, CenturyWindows) {
  const DateRow rows[] = {
      {"280101", "@D11", 82914},      // 2028
      {"290101", "@D11", 46755},      // 1929
      {"290101", "@D11>20", 83280},   // window 79: 2029
      {"300101", "@D11>20", 47120},   // 1930
      {"850101", "@D11", 67209},      // 1985
      {"850101", "@D11>", 103734},    // window 19: 2085
      {"850101", "@D11>0", 103734},   // 2085
      {"850101", "@D11<", 67209},     // window 80: 1985
      {"980101", "@D11<10", 108482},  // 2098
      {"990101", "@D11<10", 72322},   // 1999
      {"05/03/09", "@D5", k5March2009},
  };
  for (const DateRow& row : rows) {
    SCOPED_TRACE(testing::Message() << row.text << " " << row.picture);
    EXPECT_EQ(Date(row.text, row.picture), row.serial);
  }
}

TEST_F(DeformatTest, MonthNames) {
  const DateRow rows[] = {
      {"MAR  5,2009", "@D3", k5March2009},
      {"mar  5,2009", "@D3", k5March2009},
      {"March 5,2009", "@D3", k5March2009},
      {"March  5, 2009", "@D4", k5March2009},
      {"march  5, 2009       ", "@D4", k5March2009},
      {" 5 MAR 2009", "@D8", k5March2009},
      {"5 mar 09", "@D7", k5March2009},
      {"XYZ  5,2009", "@D3", -1},  // no month: month 0
      {"MA", "@D3", 0},
  };
  for (const DateRow& row : rows) {
    SCOPED_TRACE(testing::Message() << row.text << " " << row.picture);
    EXPECT_EQ(Date(row.text, row.picture), row.serial);
  }
}

TEST_F(DeformatTest, CyrillicMonthNamesThroughTheCaseTable) {
  LocaleTables tables = PlainTables();
  tables.month_abbrevs[2] = "\xEC\xE0\xF0";  // мар
  for (int c = 0xC0; c <= 0xDF; ++c) {
    tables.counterpart[c] = static_cast<uint8_t>(c + 0x20);
    tables.counterpart[c + 0x20] = static_cast<uint8_t>(c);
    tables.char_class[c] = kUpperClass;
    tables.char_class[c + 0x20] = kLowerClass;
  }
  const Picture d3 = CompilePicture("@D3", tables);
  EXPECT_EQ(DeformatDate("\xCC\xC0\xD0  5,2009", d3, tables), k5March2009);
  // "Марта": the further letters are consumed.
  const Picture d8 = CompilePicture("@D8", tables);
  EXPECT_EQ(DeformatDate(" 5 \xCC\xE0\xF0\xF2\xE0 2009", d8, tables),
            k5March2009);
}

TEST_F(DeformatTest, PicturesWithoutDay) {
  const DateRow rows[] = {
      {"03/09", "@D13", k1March2009}, {"03/2009", "@D14", k1March2009},
      {"09/03", "@D15", k1March2009}, {"2009/03", "@D16", k1March2009},
      {"  /2009", "@D14", -1},  // no month read: day stays 0
  };
  for (const DateRow& row : rows) {
    SCOPED_TRACE(testing::Message() << row.text << " " << row.picture);
    EXPECT_EQ(Date(row.text, row.picture), row.serial);
  }
}

TEST_F(DeformatTest, FormatThenDeformatEveryDate) {
  const Picture d12 = Compile("@d12");
  const Picture d6 = Compile("@D6");
  const Picture d4 = Compile("@D4");
  for (int32_t serial = kFirstDateSerial; serial <= kLastDateSerial; ++serial) {
    const std::string text = FormatDate(serial, d12, Tables());
    if (DeformatDate(text, d12, Tables()) != serial) {
      FAIL() << serial << " -> " << text;
    }
    if (serial % 97 == 0) {
      ASSERT_EQ(DeformatDate(FormatDate(serial, d6, Tables()), d6, Tables()),
                serial);
      ASSERT_EQ(DeformatDate(FormatDate(serial, d4, Tables()), d4, Tables()),
                serial);
    }
  }
}

struct TimeRow {
  const char* text;
  const char* picture;
  int32_t serial;
};

TEST_F(DeformatTest, Times) {
  constexpr auto At = [](int h, int m, int s) {
    return h * 360000 + m * 6000 + s * 100 + 1;
  };
  const TimeRow rows[] = {
      {"13:07:09", "@T4", At(13, 7, 9)},
      {"9:05", "@T1", At(9, 5, 0)},
      {" 9:05", "@T1", At(9, 5, 0)},
      {"0:15", "@T1", At(0, 15, 0)},
      {"00:00", "@T1", 1},
      {"1307", "@T2", At(13, 7, 0)},
      {"12:00AM", "@T3", 1},
      {"12:30AM", "@T3", At(0, 30, 0)},
      {"12:30PM", "@T3", At(12, 30, 0)},
      {" 1:07PM", "@T3", At(13, 7, 0)},
      {"1:07pm", "@T3", At(13, 7, 0)},
      {"11:59PM", "@T3", At(23, 59, 0)},
      {" 9:05AM", "@T3", At(9, 5, 0)},
      {"11:59:59PM", "@T6", At(23, 59, 59)},
      {"24:00", "@T1", -1},
      {"12:60", "@T1", -1},
      {"00:00:60", "@T4", -1},
      {"13:00PM", "@T3", -1},
      {"", "@T1", 0},
      {"  :  ", "@T1", 0},
  };
  for (const TimeRow& row : rows) {
    SCOPED_TRACE(testing::Message() << row.text << " " << row.picture);
    EXPECT_EQ(Time(row.text, row.picture), row.serial);
    EXPECT_EQ(Text(row.text, row.picture), std::to_string(row.serial));
  }
  EXPECT_EQ(Time("13:07", "@D6"), 0);
  EXPECT_EQ(Date("20090305", "@T1"), 0);
}

struct TextRow {
  const char* text;
  const char* picture;
  const char* value;
};

TEST_F(DeformatTest, NumericPictures) {
  const TextRow rows[] = {
      {"0305", "@n_4", "305"},
      {"2009", "@n_4", "2009"},
      {"  12", "@n_4", "12"},
      {"    ", "@n_4", "0"},
      {"", "@n_4", "0"},
      {"0000", "@n_4", "0"},
      {"-012", "@n_4", "-12"},
      {"(12)", "@n_4", "-12"},
      {"+012", "@n_4", "12"},
      {"-000", "@n_4", "0"},
      {"20091", "@n_4", "2009"},
      {"1a2b", "@n_4", "12"},
      {"   -1234.50", "@N-10.2", "-1234.50"},
      {"    0.50", "@N8.2", "0.50"},
      {"1,234,567", "@N9`", "1234567"},
  };
  for (const TextRow& row : rows) {
    SCOPED_TRACE(testing::Message() << "'" << row.text << "' " << row.picture);
    EXPECT_EQ(Text(row.text, row.picture), row.value);
  }
}

TEST_F(DeformatTest, PatternPictures) {
  const TextRow rows[] = {
      {"123-45-67", "@P###-##-##P", "1234567"},
      {"012-34-56", "@P###-##-##P", "123456"},
      {"", "@P###P", "0"},
      {"AB-12", "@K@@-##K", "AB12"},
  };
  for (const TextRow& row : rows) {
    SCOPED_TRACE(testing::Message() << "'" << row.text << "' " << row.picture);
    EXPECT_EQ(Text(row.text, row.picture), row.value);
  }
}

TEST(DeformatNumericTextTest, KeepsWhatCanFormANumber) {
  const std::pair<const char*, const char*> rows[] = {
      {"abc-12.5e+3x", "-12.5e+3"},
      {" -12 ", "-12"},
      {"1.2.3", "1.23"},
      {"--5", "-5"},
      {"12-5", "125"},
      {"1e-5", "1e-5"},
      {"1E5e6", "1E56"},
      {"+7", "+7"},
      {"", ""},
      {"kg", ""},
  };
  for (const auto& [text, value] : rows) {
    SCOPED_TRACE(text);
    EXPECT_EQ(DeformatNumericText(text), value);
  }
  const LocaleTables& tables = Tables();
  EXPECT_EQ(Deformat("  12.5 kg", CompilePicture("@s10", tables), tables),
            "12.5");
  EXPECT_EQ(Deformat("1.5e3", CompilePicture("@E9", tables), tables), "1.5e3");
  EXPECT_EQ(Deformat("x-3", Picture{}, tables), "-3");
}

}  // namespace
}  // namespace zuna::values
