#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/values/binding_table.h"
#include "runtime/values/error_state.h"
#include "runtime/values/evaluator.h"

namespace zuna::values {
namespace {

std::string Evaluate(std::string_view text, int32_t* code = nullptr) {
  ClearError();
  std::string result = EVALUATE(text);
  if (code != nullptr) *code = ERRORCODE();
  return result;
}

// Every test runs in a scope of its own so that names never leak.
class BindingTest : public ::testing::Test {
 protected:
  void SetUp() override { PUSHBIND(); }
  void TearDown() override { POPBIND(); }
};

TEST_F(BindingTest, NamesAreCaseInsensitive) {
  int32_t value = 42;
  BIND("MyValue", RefLong(value));
  EXPECT_EQ(Evaluate("myvalue"), "42");
  EXPECT_EQ(Evaluate("MYVALUE+1"), "43");
  value = 7;
  EXPECT_EQ(Evaluate("MyValue"), "7");  // read at evaluation time
}

TEST_F(BindingTest, LongNamesAreCutTo99Characters) {
  int32_t value = 5;
  const std::string bound = std::string(120, 'n');
  BIND(bound, RefLong(value));
  // Any spelling that agrees in the first 99 characters names it.
  EXPECT_EQ(Evaluate(std::string(99, 'n')), "5");
  EXPECT_EQ(Evaluate(std::string(99, 'n') + "xyz"), "5");
  int32_t code = 0;
  EXPECT_EQ(Evaluate(std::string(98, 'n'), &code), "");
  EXPECT_EQ(code, 1011);
}

TEST_F(BindingTest, RebindingReplacesAndUnbindRemoves) {
  int32_t first = 1;
  int32_t second = 2;
  BIND("v", RefLong(first));
  BIND("V", RefLong(second));
  EXPECT_EQ(Evaluate("v"), "2");
  UNBIND("v");
  int32_t code = 0;
  EXPECT_EQ(Evaluate("v", &code), "");
  EXPECT_EQ(code, 1011);
  UNBIND("never-bound");  // no effect, no error
}

TEST_F(BindingTest, PushbindScopesHideOrShowOuterNames) {
  int32_t outer = 1;
  int32_t inner = 2;
  BIND("outer", RefLong(outer));
  BIND("shadow", RefLong(outer));

  PUSHBIND(true);
  BIND("shadow", RefLong(inner));
  EXPECT_EQ(Evaluate("outer"), "1");   // outer scope still visible
  EXPECT_EQ(Evaluate("shadow"), "2");  // newest scope wins
  POPBIND();
  EXPECT_EQ(Evaluate("shadow"), "1");

  PUSHBIND(false);
  int32_t code = 0;
  EXPECT_EQ(Evaluate("outer", &code), "");
  EXPECT_EQ(code, 1011);
  EXPECT_EQ(Evaluate("abs(-1)"), "1");  // built-ins stay visible
  PUSHBIND(true);                       // sees the hiding scope only
  EXPECT_EQ(Evaluate("outer", &code), "");
  EXPECT_EQ(code, 1011);
  POPBIND();
  POPBIND();
  EXPECT_EQ(Evaluate("outer"), "1");

  // UNBIND only touches the newest scope.
  PUSHBIND(true);
  UNBIND("outer");
  EXPECT_EQ(Evaluate("outer"), "1");
  POPBIND();
}

TEST_F(BindingTest, PopbindWithoutPushbindPosts1012) {
  // The fixture's scope and the base scope: popping three times mismatches.
  PUSHBIND();
  POPBIND();
  ClearError();
  POPBIND();  // the fixture's scope
  EXPECT_EQ(ERRORCODE(), 0);
  POPBIND();  // only the base scope is left
  EXPECT_EQ(ERRORCODE(), 1012);
  EXPECT_EQ(ERROR(), "Mismatched PUSHBIND/POPBIND");
  PUSHBIND();  // for TearDown
}

TEST_F(BindingTest, BindingsBeatBuiltinsButNotKeywords) {
  int32_t today = 99;
  int32_t and_value = 3;
  BIND("today", RefLong(today));
  BIND("and", RefLong(and_value));
  EXPECT_EQ(Evaluate("today"), "99");
  EXPECT_EQ(Evaluate("1 and 1"), "1");
  int32_t code = 0;
  EXPECT_EQ(Evaluate("and", &code), "");
  EXPECT_EQ(code, 1010);
}

TEST_F(BindingTest, BindFieldsUsesLabelAndExternalName) {
  struct Record {
    char fio[30];
    int32_t data;
  } record{};
  std::memset(record.fio, ' ', sizeof record.fio);
  std::memcpy(record.fio, "Ivanov", 6);
  record.data = 76038;
  const NamedField fields[] = {
      {"ZUN:FIO", "", RefString(record.fio, 30)},
      {"ZUN:DATA", "BirthDate", RefLong(record.data)},
      {"", "Ignored", RefLong(record.data)},
  };
  BindFields(fields);
  EXPECT_EQ(Evaluate("clip(zun:fio)"), "Ivanov");
  EXPECT_EQ(Evaluate("zun:data"), "76038");
  EXPECT_EQ(Evaluate("birthdate+1"), "76039");
  int32_t code = 0;
  Evaluate("ignored", &code);
  EXPECT_EQ(code, 1011);
}

TEST_F(BindingTest, ProceduresReceiveEvaluatedArguments) {
  std::vector<std::string> seen;
  BIND("proc", [&](std::span<const std::string> arguments) {
    seen.assign(arguments.begin(), arguments.end());
    return std::string("r") + std::to_string(arguments.size());
  });
  EXPECT_EQ(Evaluate("proc(1+1,'a'&'b',,3>2)"), "r4");
  EXPECT_EQ(seen, (std::vector<std::string>{"2", "ab", "", "1"}));
  EXPECT_EQ(Evaluate("proc()"), "r0");
  EXPECT_EQ(Evaluate("proc()&proc(1)"), "r0r1");
  int32_t code = 0;
  EXPECT_EQ(Evaluate("proc", &code), "");  // a procedure needs its '('
  EXPECT_EQ(code, 1010);
}

TEST_F(BindingTest, ProcedureCallsAreNeverShared) {
  int calls = 0;
  BIND("tick",
       [&](std::span<const std::string>) { return std::to_string(++calls); });
  EXPECT_EQ(Evaluate("tick() & tick() & tick()"), "123");
  // No short cut: both sides of AND and OR run.
  calls = 0;
  Evaluate("tick()=0 and tick()=0 or tick()=0");
  EXPECT_EQ(calls, 3);
}

TEST(BindingTableTest, FindReturnsTheNewestVisibleBinding) {
  BindingTable table;
  int32_t a = 1;
  int32_t b = 2;
  table.Bind("x", RefLong(a));
  EXPECT_EQ(table.depth(), 1u);
  table.Push(true);
  table.Bind("X", RefLong(b));
  ASSERT_NE(table.Find("x"), nullptr);
  EXPECT_EQ(table.Find("x")->variable.address, &b);
  table.Unbind("x");
  EXPECT_EQ(table.Find("x")->variable.address, &a);
  EXPECT_TRUE(table.Pop());
  EXPECT_FALSE(table.Pop());  // the base scope stays
  EXPECT_EQ(table.depth(), 1u);
  EXPECT_EQ(table.Find("y"), nullptr);
  EXPECT_EQ(table.Find("x "), nullptr);  // blanks are not insignificant here
}

}  // namespace
}  // namespace zuna::values
