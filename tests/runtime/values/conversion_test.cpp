#include "runtime/values/conversion.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace zuna::values {
namespace {

TEST(ExprConversionTest, RealToLongTruncatesAndSaturates) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Row {
    double value;
    int32_t expected;
  } rows[] = {
      {7.9, 7},
      {-7.9, -7},
      {2147483647.0, 2147483647},
      {2147483647.9, 2147483647},
      {2147483648.0, 2147483647},
      {1e300, 2147483647},
      {inf, 2147483647},
      {-2147483648.0, -2147483647 - 1},
      {-2147483648.9, -2147483647 - 1},
      {-inf, -2147483647 - 1},
      {std::numeric_limits<double>::quiet_NaN(), 0},
      {-0.5, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value);
    EXPECT_EQ(RealToLong(row.value), row.expected);
  }
}

TEST(ExprConversionTest, StringToRealReadsTheLeadingNumber) {
  struct Row {
    const char* text;
    double expected;
  } rows[] = {
      {"0315", 315},
      {"  -12.5abc", -12.5},
      {"+.5", 0.5},
      {"5.", 5},
      {"1e3", 1000},
      {"1E-2x", 0.01},
      {"1e", 1},
      {"1e+", 1},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {". 5", 0},
      {"1e999", std::numeric_limits<double>::infinity()},
      {"-1e999", -std::numeric_limits<double>::infinity()},
      {"1e-999", 0},
      {"123456789012345678", 123456789012345678.0},
      // Only the first 40 characters count: the exponent is cut off.
      {"1000000000000000000000000000000000000000e5", 1e39},
      {"                                       7", 7},
      {"                                        7", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_DOUBLE_EQ(StringToReal(row.text), row.expected);
  }
}

TEST(ExprConversionTest, RealToStringUsesFifteenDigits) {
  struct Row {
    double value;
    const char* expected;
  } rows[] = {
      {64, "64"},
      {0.1, "0.1"},
      {-3.5, "-3.5"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {123456789012345.0, "123456789012345"},
      {1234567890123456.0, "1.23456789012346e+15"},
      {1e15, "1e+15"},
      {0.0001, "0.0001"},
      {0.00001, "1e-05"},
      {-0.0, "0"},
      {0.1 + 0.2, "0.3"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
      {std::numeric_limits<double>::quiet_NaN(), "0"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expected);
    EXPECT_EQ(RealToString(row.value), row.expected);
  }
  EXPECT_EQ(LongToString(-2147483648LL), "-2147483648");
}

TEST(ExprConversionTest, NumericText) {
  for (const char* yes : {"1", " 1 ", "-1.5", "+2e10", ".5", "5.", "1E-3"}) {
    SCOPED_TRACE(yes);
    EXPECT_TRUE(IsNumericText(yes));
  }
  for (const char* no :
       {"", " ", "a", "1a", "1.2.3", "--1", ".", "1 2", "e5"}) {
    SCOPED_TRACE(no);
    EXPECT_FALSE(IsNumericText(no));
  }
}

}  // namespace
}  // namespace zuna::values
