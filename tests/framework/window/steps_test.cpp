// Step objects: the thumb position of a value and the value of a thumb
// position, over the fixed tables and the table computed from a list's
// first and last values; values outside a computed table's limits.
#include "framework/window/steps.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/values/code_page.h"
#include "tests/support/shipped_locale.h"

namespace zuna::framework {
namespace {

using values::W;

class StepsTest : public ::testing::Test {
 protected:
  StepsTest() { zuna::testing::InstallShippedLocale(); }
};

TEST_F(StepsTest, FixedTablesPlaceValuesByTheirLeadingLetters) {
  struct Case {
    uint8_t mode;
    const char* value;
    uint16_t percentile;
  };
  const Case cases[] = {
      {StepMode::Names, "MARTIN", 57},  // entries 0-56 ("   " .. "MAR") are not above it
      {StepMode::Names, "", 1},         // below every entry but the blank: 0 shown as 1
      {StepMode::Names, "AAA", 1},
      {StepMode::Names, "ALB", 2},
      {StepMode::Names, "ZZZZ", 100},
      {StepMode::Names, "martin", 57},  // upper-cased first
      {StepMode::TwoLetters, "AF", 2},  // blanks, then "AF": A has no blank entry
      {StepMode::TwoLetters, "BA", 5},  // at "B ", which follows AF, AN, AT
      {StepMode::TwoLetters, "ZZ", 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.value) + " in mode " + std::to_string(c.mode));
    StepStringClass step;
    step.Init(StepFlag::Letters, c.mode);
    EXPECT_EQ(step.GetPercentile(c.value), c.percentile);
  }
  StepStringClass two;
  two.Init(StepFlag::Letters, StepMode::TwoLetters);
  EXPECT_EQ(two.Entry(99), "ZN");
  EXPECT_EQ(two.Entry(98), "Z ");
  EXPECT_EQ(two.Entry(1), "AF");
  StepStringClass names;
  names.Init(StepFlag::Letters, StepMode::Names);
  EXPECT_EQ(names.GetValue(0), names.GetValue(1));
  EXPECT_EQ(names.GetValue(58), "MAU");
  EXPECT_EQ(names.GetValue(100), "YOR");
}

TEST_F(StepsTest, ComputedTableSpansTheLimitsBelowTheirCommonRoot) {
  StepStringClass step;
  step.Init(StepFlag::Letters, StepMode::Runtime);
  EXPECT_TRUE(step.SetLimitNeeded());
  // Letters in code order: the Latin capitals first.
  ASSERT_FALSE(step.SortChars.empty());
  EXPECT_EQ(step.SortChars.front(), 'A');
  EXPECT_EQ(step.SortChars.find('a'), std::string::npos) << "no lower case without flag 8";
  EXPECT_NE(step.SortChars.find(W("Я")[0]), std::string::npos);
  step.SetLimit("KLC", "KLZ");
  EXPECT_EQ(step.Root, "KL");
  EXPECT_EQ(step.Entry(0), "CAAA");
  EXPECT_EQ(step.Entry(99)[0], 'Z');  // 99 hundredths of the way to Z and the highest
  EXPECT_EQ(step.GetValue(0), step.GetValue(1));
  EXPECT_EQ(step.GetValue(1), "KLCAAA");
  EXPECT_EQ(step.GetPercentile("KLC"), 1);
  EXPECT_EQ(step.GetPercentile("KLZ" + std::string(4, step.SortChars.back())), 100);
  const uint16_t middle = step.GetPercentile("KLN");
  EXPECT_GT(middle, 40);
  EXPECT_LT(middle, 60);
  // The value a position stands for is placed back at that position.
  for (uint8_t pct : {10, 37, 50, 90}) {
    SCOPED_TRACE(pct);
    EXPECT_EQ(step.GetPercentile(step.GetValue(pct)), pct) << step.GetValue(pct);
  }
  EXPECT_EQ(step.Unhash(step.Hash("KLMN")), "KLMN");
}

TEST_F(StepsTest, ValuesOutsideTheRootAreClampedWithoutAQuestion) {
  StepStringClass step;
  step.Init(StepFlag::Letters, StepMode::Runtime);
  step.SetLimit(W("ИВАНОВ"), W("ИВАЩЕНКО"));
  EXPECT_EQ(step.Root, W("ИВА"));
  EXPECT_EQ(step.GetPercentile(W("Иванов")), 1) << "folded as the limits are";
  EXPECT_EQ(step.GetPercentile(W("Иваненко")), 1);
  EXPECT_EQ(step.GetPercentile(W("АБРАМОВ")), 1) << "added elsewhere, below the limits";
  EXPECT_EQ(step.GetPercentile(W("ЯКОВЛЕВ")), 100) << "added elsewhere, above them";

  StepStringClass down;
  down.Init(StepFlag::Letters | StepFlag::Descending, StepMode::Runtime);
  down.SetLimit("KLC", "KLZ");
  EXPECT_EQ(down.GetPercentile("KLZ" + std::string(4, down.SortChars.back())), 1)
      << "a descending list starts high";
  EXPECT_EQ(down.GetPercentile("KA"), 100);
}

TEST_F(StepsTest, NumbersArePlacedLinearly) {
  StepLongClass step;
  int32_t low = 100, high = 300;
  step.SetLimit(values::RefLong(low), values::RefLong(high));
  EXPECT_EQ(step.GetPercentile(200.0), 50);
  EXPECT_EQ(step.GetPercentile(50.0), 1);
  EXPECT_EQ(step.GetPercentile(1000.0), 100);
  EXPECT_EQ(step.GetValue(25), "150");
}

}  // namespace
}  // namespace zuna::framework
