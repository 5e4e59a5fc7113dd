#include "runtime/values/clock.h"

#include <gtest/gtest.h>

namespace zuna::values {
namespace {

class ClockTest : public ::testing::Test {
 protected:
  void TearDown() override { SetClock(nullptr); }
};

TEST_F(ClockTest, FixedClockDrivesTodayClockAndCurrentYear) {
  // 5 March 2009 is serial 76038; 13:45:07.25 is 4950725 hundredths.
  FixedClock clock({2009, 3, 5, 4950725});
  SetClock(&clock);
  EXPECT_EQ(TODAY(), 76038);
  EXPECT_EQ(CLOCK(), 4950726);
  EXPECT_EQ(CurrentYear(), 2009);
}

TEST_F(ClockTest, CurrentYearIsCachedUntilTheClockChanges) {
  FixedClock first({2009, 12, 31, 0});
  FixedClock second({2010, 1, 1, 0});
  SetClock(&first);
  EXPECT_EQ(CurrentYear(), 2009);
  SetClock(&second);
  EXPECT_EQ(CurrentYear(), 2010);
  EXPECT_EQ(TODAY() - 1, 76038 + 301);  // 31 Dec 2009 = 5 Mar 2009 + 301
}

TEST_F(ClockTest, MidnightIsTimeSerialOne) {
  FixedClock clock({2009, 3, 5, 0});
  SetClock(&clock);
  EXPECT_EQ(CLOCK(), 1);
}

TEST_F(ClockTest, ParseYyyymmddAcceptsOnlyRealDates) {
  const auto parsed = ParseYyyymmdd("20091228");
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->year, 2009);
  EXPECT_EQ(parsed->month, 12);
  EXPECT_EQ(parsed->day, 28);
  for (const char* bad : {"", "2009122", "200912280", "2009-1-2", "20090229",
                          "20091301", "18001231", "2009122x"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseYyyymmdd(bad).has_value());
  }
  EXPECT_TRUE(ParseYyyymmdd("20080229").has_value());
}

TEST_F(ClockTest, SystemClockGivesAPlausibleDate) {
  const LocalDateTime now = SystemClock().Now();
  EXPECT_GE(now.year, 2000);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_GE(now.centiseconds, 0);
  EXPECT_LT(now.centiseconds, 8640000);
}

}  // namespace
}  // namespace zuna::values
