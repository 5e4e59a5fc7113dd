#include "runtime/values/expr_sharing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime/values/binding_table.h"
#include "runtime/values/error_state.h"
#include "runtime/values/evaluator.h"
#include "runtime/values/expr_parser.h"

namespace zuna::values {
namespace {

class ExprSharingTest : public ::testing::Test {
 protected:
  ExprSharingTest() {
    std::memcpy(ms_, "2009", 4);
    table_.Bind("ms", RefString(ms_, 4));
    table_.Bind("x", RefLong(x_));
    table_.Bind("also_x", RefLong(x_));
    table_.Bind("y", RefLong(y_));
    table_.Bind("proc", [](std::span<const std::string>) { return "p"; });
  }

  size_t Slots(std::string_view text) {
    NodePtr root = ParseExpression(text, table_);
    EXPECT_NE(root, nullptr) << text;
    return root ? ShareRepeatedSubtrees(*root) : 0;
  }

  char ms_[4];
  int32_t x_ = 0;
  int32_t y_ = 0;
  BindingTable table_;
};

TEST_F(ExprSharingTest, RepeatedPureSubtreesShareASlot) {
  struct Row {
    const char* text;
    size_t slots;
  } rows[] = {
      {"x+1", 0},
      {"(x+1)*(x+1)", 1},
      {"(x+1)*(also_x+1)", 1},  // one variable under two names
      {"(x+1)*(y+1)", 0},
      {"abs(x)+abs(x)+abs(x)", 1},
      {"sub(format(x,@d12),5,4) & sub(format(x,@d12),5,4)", 1},
      // The birthday filter: the whole (deformat(...)-today()) twice, and
      // sub(format(...)) once more in the last branch.
      {"(((deformat(ms & sub(format(x,@d12),5,4),@d12)-today())>=0 and "
       "(deformat(ms & sub(format(x,@d12),5,4),@d12)-today())<=7) or "
       "(int(sub(format(x,@d12),5,4))>=y and y>=1228))",
       2},
      {"random(1,9)+random(1,9)", 0},
      {"clock()-clock()", 0},
      {"(random(1,9)+1)*(random(1,9)+1)", 0},
      {"abs(x)+abs(x)+proc()", 0},  // a procedure turns sharing off
      {"sub(,1,1)&sub(,1,1)", 0},   // each posts its own 1015
      {"x+x", 0},                   // variables are cheap: never cached
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(Slots(row.text), row.slots);
  }
}

class ExprSharingEvaluationTest : public ::testing::Test {
 protected:
  void SetUp() override { PUSHBIND(); }
  void TearDown() override { POPBIND(); }
};

TEST_F(ExprSharingEvaluationTest, SharedValuesAreFreshForEveryEvaluation) {
  int32_t x = 1;
  BIND("x", RefLong(x));
  const auto expression = Expression::Compile("(x*10+1) & '/' & (x*10+1)");
  ASSERT_NE(expression, nullptr);
  for (x = 0; x < 5; ++x) {
    const std::string part = std::to_string(x * 10 + 1);
    EXPECT_EQ(expression->EvaluateString(), part + "/" + part);
  }
  x = 7;
  EXPECT_EQ(expression->EvaluateLong(), 71);  // "71/71" read as a number
  EXPECT_TRUE(expression->EvaluateBool());
}

TEST_F(ExprSharingEvaluationTest, SharedNodesKeepTheirTypesRules) {
  int32_t x = 0;
  BIND("x", RefLong(x));
  // DEFORMAT is a STRING call whose value is carried as a LONG: its truth
  // must still be that of the text ("0" is not blank).
  // sub(x,9,1) is "", which deformats to the serial 0: the text "0".
  const auto shared = Expression::Compile(
      "deformat(sub(x,9,1),@d12) AND deformat(sub(x,9,1),@d12)");
  const auto single = Expression::Compile("deformat(sub(x,9,1),@d12)");
  ASSERT_NE(shared, nullptr);
  ASSERT_NE(single, nullptr);
  EXPECT_TRUE(shared->EvaluateBool());
  EXPECT_TRUE(single->EvaluateBool());
  EXPECT_EQ(single->EvaluateLong(), 0);
  const auto reals = Expression::Compile("(x+0.5)=(x+0.5) AND (x+0.5)");
  ASSERT_NE(reals, nullptr);
  EXPECT_TRUE(reals->EvaluateBool());
}

TEST_F(ExprSharingEvaluationTest, NestedEvaluationKeepsEachCache) {
  int32_t x = 3;
  BIND("x", RefLong(x));
  BIND("inner",
       [](std::span<const std::string>) { return EVALUATE("(x+1)*(x+1)"); });
  // The outer expression calls a procedure (no sharing of its own) which
  // evaluates an expression that shares.
  EXPECT_EQ(EVALUATE("inner() & '|' & inner()"), "16|16");
  const auto outer = Expression::Compile("(x+2)*(x+2)");
  ASSERT_NE(outer, nullptr);
  EXPECT_EQ(outer->EvaluateLong(), 25);
  x = 4;
  EXPECT_EQ(outer->EvaluateLong(), 36);
}

}  // namespace
}  // namespace zuna::values
