#include "runtime/values/evaluator.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "runtime/values/clock.h"
#include "runtime/values/error_state.h"

namespace zuna::values {
namespace {

// What EVALUATE gave and what it left in the error state.
struct Outcome {
  std::string result;
  int32_t code;
  std::string error;
};

Outcome Evaluate(std::string_view text) {
  ClearError();
  Outcome outcome;
  outcome.result = EVALUATE(text);
  outcome.code = ERRORCODE();
  outcome.error = ERROR();
  return outcome;
}

struct Row {
  const char* text;
  const char* expected;
};

void ExpectRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const Outcome outcome = Evaluate(row.text);
    EXPECT_EQ(outcome.result, row.expected);
    EXPECT_EQ(outcome.code, 0) << outcome.error;
  }
}

class EvaluatorTest : public ::testing::Test {
 protected:
  void SetUp() override { PUSHBIND(); }
  void TearDown() override {
    POPBIND();
    SetClock(nullptr);
  }
};

TEST_F(EvaluatorTest, EdgeCasesOfTheLanguage) {
  ExpectRows({
      {"2^3^2", "64"},
      {"-2^2", "4"},
      {"1+2&3", "33"},
      {"'a'='a  '", "1"},
      {"NOT 1=2", "1"},
      {"1<2<3", "1"},
      {"3>2>1", "0"},  // (3>2) is 1, and 1>1 is false
      {"1/3*3=1", "1"},
      {"'it''s'", "it's"},
      {"0FFH", "255"},
      {"17O", "15"},
      {"101B", "5"},
      {"99999999999", "99999999999"},
  });
}

TEST_F(EvaluatorTest, PrecedenceAndAssociativity) {
  ExpectRows({
      {"2+3*4", "14"},
      {"(2+3)*4", "20"},
      {"10-4-3", "3"},
      {"2*3^2", "18"},
      {"100/10/5", "2"},
      {"7%4*2", "6"},
      {"2^-1", "0.5"},
      {"-3+5", "2"},
      {"- - -3", "-3"},
      {"+-+4", "-4"},
      {"1+2=3", "1"},
      {"'a'&'b'='ab'", "1"},
      {"1=1 AND 2=3", "0"},
      {"1=1 OR 2=3 AND 0", "1"},  // AND binds tighter than OR
      {"1 XOR 1", "0"},
      {"1 XOR 0 XOR 1", "0"},
      {"NOT NOT 5", "5"},  // an even count of NOTs leaves the operand as is
      {"~0", "1"},
      {"~~~0", "1"},
      {"NOT 0 AND 0", "0"},
  });
}

TEST_F(EvaluatorTest, RelationalOperatorsFromTwoTokens) {
  ExpectRows({
      {"1<>2", "1"},
      {"1<=1", "1"},
      {"2>=3", "0"},
      {"1=<1", "1"},
      {"2=>1", "1"},
      {"1~=1", "0"},
      {"1~<2", "0"},
      {"1~>2", "1"},
      {"2 < = 2", "1"},
      {"1 ~= 2", "1"},
      {"2 ~< 1", "1"},
      {"3 ~> 4", "1"},
  });
}

TEST_F(EvaluatorTest, ComparisonKinds) {
  ExpectRows({
      // Both STRING: collation with blanks padding the shorter.
      {"'abc'<'abd'", "1"},
      {"'abc'='abc   '", "1"},
      {"'a'>'B'", "1"},  // 'a' is 97, 'B' 66 in the default collation
      {"'10'<'9'", "1"},
      // STRING against a number: both as REAL.
      {"'10'>9", "1"},
      {"' 12abc'=12", "1"},
      // REAL tolerance: 0.1+0.2 differs from 0.3 by 2^-54.
      {"0.1+0.2=0.3", "1"},
      {"1=1.0000000000000002", "1"},  // 2^-52 apart
      {"1=1.000000000000001", "0"},   // about 2^-49.7 apart
      {"1e-20=0", "1"},               // 0 counts as exponent 0
      {"1e-15=0", "0"},
      {"1e-15>0", "1"},
      {"1e-20>0", "0"},
      {"1e-20<=0", "1"},
      // Booleans and LONGs compare as LONG.
      {"(1=1)=1", "1"},
      {"(1=1)=2", "0"},
  });
}

TEST_F(EvaluatorTest, TruthOfEachType) {
  int32_t zero = 0;
  double tiny = 1e-300;
  char blanks[3] = {' ', ' ', ' '};
  char text[3] = {' ', 'x', ' '};
  BIND("zero", RefLong(zero));
  BIND("tiny", RefReal(tiny));
  BIND("blanks", RefString(blanks, 3));
  BIND("text", RefString(text, 3));
  struct Case {
    const char* text;
    bool truth;
  } cases[] = {
      {"zero", false},   {"1", true},       {"tiny", true}, {"0.0", false},
      {"blanks", false}, {"text", true},    {"''", false},  {"'0'", true},
      {"1=2", false},    {"'a'&' '", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto expression = Expression::Compile(c.text);
    ASSERT_NE(expression, nullptr);
    EXPECT_EQ(expression->EvaluateBool(), c.truth);
  }
}

TEST_F(EvaluatorTest, ArithmeticWorksInReal) {
  ExpectRows({
      {"7/2", "3.5"},
      {"7%2.5", "2"},
      {"-7%3", "-1"},
      {"1/3", "0.333333333333333"},
      {"2^0.5*2^0.5", "2"},
      {"1e15", "1e+15"},
      {"123456789012", "123456789012"},
      {"0.000001", "1e-06"},
      // Division and remainder by zero are defined as 0.
      {"1/0", "0"},
      {"5%0", "0"},
      {"0/0", "0"},
      {"0^-1", "0"},
      // No number: NaN becomes 0.
      {"(-8)^0.5", "0"},
      // Overflow is an infinity; as a LONG it saturates.
      {"10^400", "inf"},
      {"-(10^400)", "-inf"},
      {"int(10^400)", "2147483647"},
      {"int(-(10^400))", "-2147483648"},
      {"int(3000000000)", "2147483647"},
  });
}

TEST_F(EvaluatorTest, ResultTypesByRequest) {
  struct Case {
    const char* text;
    ExprType type;
    int32_t as_long;
    double as_real;
    const char* as_string;
  } cases[] = {
      {"7/2", ExprType::kReal, 3, 3.5, "3.5"},
      {"-7/2", ExprType::kReal, -3, -3.5, "-3.5"},
      {"'12.75'&''", ExprType::kString, 12, 12.75, "12.75"},
      {"1<2", ExprType::kBool, 1, 1.0, "1"},
      {"17", ExprType::kLong, 17, 17.0, "17"},
      {"99999999999", ExprType::kReal, 2147483647, 99999999999.0,
       "99999999999"},
      {"'abc'", ExprType::kString, 0, 0.0, "abc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto expression = Expression::Compile(c.text);
    ASSERT_NE(expression, nullptr);
    EXPECT_EQ(expression->type(), c.type);
    EXPECT_EQ(expression->EvaluateLong(), c.as_long);
    EXPECT_DOUBLE_EQ(expression->EvaluateReal(), c.as_real);
    EXPECT_EQ(expression->EvaluateString(), c.as_string);
  }
}

TEST_F(EvaluatorTest, SyntaxErrorsGiveTheirPosition) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"1 2", "Invalid expression for EVALUATE at pos 2"},
      {"'a' 'b'", "Invalid expression for EVALUATE at pos 4"},
      {"(1", "Invalid expression for EVALUATE"},
      {"1)", "Invalid expression for EVALUATE at pos 1"},
      {"1+", "Invalid expression for EVALUATE"},
      {"1 + * 2", "Invalid expression for EVALUATE at pos 4"},
      {"", "Invalid expression for EVALUATE"},
      {"1 ~ 2", "Invalid expression for EVALUATE at pos 2"},
      {"1, 2", "Invalid expression for EVALUATE at pos 1"},
      {"1 + NOT 2", "Invalid expression for EVALUATE at pos 4"},
      {"'abc", "Invalid expression for EVALUATE at pos 0"},
      {"1 + 'abc", "Invalid expression for EVALUATE at pos 4"},
      {"1 # 2", "Invalid expression for EVALUATE at pos 2"},
      {"12abc", "Invalid expression for EVALUATE at pos 0"},
      {"12B", "Invalid expression for EVALUATE at pos 0"},
      {"1e400", "Invalid expression for EVALUATE at pos 0"},
      {"1e401", "Invalid expression for EVALUATE at pos 0"},
      {"today", "Invalid expression for EVALUATE"},
      {"today + 1", "Invalid expression for EVALUATE at pos 6"},
      {"today(1)", "Invalid expression for EVALUATE at pos 6"},
      {"sub('a',1)", "Invalid expression for EVALUATE at pos 9"},
      {"sub('a',1,2,3)", "Invalid expression for EVALUATE at pos 12"},
      {"sql x", "Invalid expression for EVALUATE at pos 4"},
      {"sql(a", "Invalid expression for EVALUATE"},
      {"AND", "Invalid expression for EVALUATE at pos 0"},
      {"@Pabc", "Invalid expression for EVALUATE at pos 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const Outcome outcome = Evaluate(c.text);
    EXPECT_EQ(outcome.result, "");
    EXPECT_EQ(outcome.code, 1010);
    EXPECT_EQ(outcome.error, c.error);
    EXPECT_EQ(Expression::Compile(c.text), nullptr);
  }
}

TEST_F(EvaluatorTest, UnboundNameIsRefusedWith1011) {
  const Outcome outcome = Evaluate("1 + ms");
  EXPECT_EQ(outcome.result, "");
  EXPECT_EQ(outcome.code, 1011);
  EXPECT_EQ(outcome.error, "BIND has not been called for ms");
  ClearError();
  EXPECT_EQ(Expression::Compile("zun:data > 0"), nullptr);
  EXPECT_EQ(ERROR(), "BIND has not been called for zun:data");
}

TEST_F(EvaluatorTest, OmittedMandatoryArgumentPosts1015AtEvaluation) {
  ClearError();
  const auto expression = Expression::Compile("sub('abc',,2)");
  ASSERT_NE(expression, nullptr);
  EXPECT_EQ(ERRORCODE(), 0);
  EXPECT_EQ(expression->EvaluateString(), "");
  EXPECT_EQ(ERRORCODE(), 1015);
  EXPECT_EQ(ERROR(), "Not-omittable parameter of built-in function is omitted");
  ClearError();
  EXPECT_EQ(expression->EvaluateLong(), 0);
  EXPECT_EQ(ERRORCODE(), 1015);
  // A numeric built-in yields 0.
  ClearError();
  EXPECT_EQ(Evaluate("band(,3)+1").result, "1");
  EXPECT_EQ(ERRORCODE(), 1015);
  // Optional arguments may be left empty without error.
  EXPECT_EQ(Evaluate("deformat('a1b2',)").result, "12");
  EXPECT_EQ(ERRORCODE(), 0);
}

TEST_F(EvaluatorTest, TodayNeedsParentheses) {
  const FixedClock clock({2009, 3, 5, 0});
  SetClock(&clock);
  EXPECT_EQ(Evaluate("today()").result, "76038");  // 5 March 2009
  EXPECT_EQ(Evaluate("today( )").result, "76038");
  EXPECT_EQ(Evaluate("TODAY").code, 1010);
}

TEST_F(EvaluatorTest, BlanksTabsAndLineBreaksSeparateTokens) {
  ExpectRows({{" 1\t+\r\n2 ", "3"}});
}

TEST_F(EvaluatorTest, SqlTakesRawTextAndPassesLocally) {
  ExpectRows({
      {"sql(a(b) = ')' )", ""},
      {"''=SQL(name LIKE 'A%')", "1"},
      {"sql (x) & 'y'", "y"},
  });
}

TEST_F(EvaluatorTest, NestingDeeperThanTheLimitIsRefused) {
  // The deepest nesting accepted: the top level and 255 parentheses.
  const int accepted = kMaxExpressionDepth - 1;
  const std::string deep =
      std::string(accepted, '(') + "1" + std::string(accepted, ')');
  EXPECT_EQ(Evaluate(deep).result, "1");

  const std::string too_deep =
      std::string(10000, '(') + "1" + std::string(10000, ')');
  const Outcome outcome = Evaluate(too_deep);
  EXPECT_EQ(outcome.code, 1010);
  EXPECT_EQ(outcome.error, "Invalid expression for EVALUATE at pos " +
                               std::to_string(accepted));

  // Calls and subscripts count as nesting too.
  std::string calls;
  for (int i = 0; i < 10000; ++i) calls += "abs(";
  calls += "1" + std::string(10000, ')');
  EXPECT_EQ(Evaluate(calls).code, 1010);
}

TEST_F(EvaluatorTest, LongRunsOfOperatorsDoNotRecurse) {
  std::string nots;
  for (int i = 0; i < 10000; ++i) nots += "NOT ";
  EXPECT_EQ(Evaluate(nots + "0").result, "0");
  EXPECT_EQ(Evaluate(nots + "NOT 0").result, "1");
  EXPECT_EQ(Evaluate(std::string(10000, '~') + "5").result, "5");
  EXPECT_EQ(Evaluate(std::string(10001, '~') + "5").result, "0");
  EXPECT_EQ(Evaluate(std::string(10000, '-') + "5").result, "5");
  EXPECT_EQ(Evaluate(std::string(10001, '-') + "5").result, "-5");

  std::string sum = "0";
  for (int i = 0; i < 100000; ++i) sum += "+1";
  EXPECT_EQ(Evaluate(sum).result, "100000");

  std::string joined = "''";
  for (int i = 0; i < 10000; ++i) joined += "&'x'";
  EXPECT_EQ(Evaluate(joined).result.size(), 10000u);

  std::string chain = "1";
  for (int i = 0; i < 10000; ++i) chain += " AND 1 OR 0";
  EXPECT_EQ(Evaluate(chain).result, "1");
}

TEST_F(EvaluatorTest, BadInputNeverCrashes) {
  const std::string long_name(500, 'a');
  const Outcome unbound = Evaluate(long_name);
  EXPECT_EQ(unbound.code, 1011);
  EXPECT_EQ(unbound.error, "BIND has not been called for " +
                               std::string(kMaxBoundNameLength, 'a'));

  const std::string picture = "@n" + std::string(300, '9');
  EXPECT_EQ(Evaluate(picture).result, picture);
  EXPECT_EQ(Evaluate("format(1," + picture + ")&'|'").code, 0);
  EXPECT_EQ(Evaluate("format(1,@s300)").result, "");  // invalid: 255 at most

  EXPECT_EQ(Evaluate(std::string(1, '\0')).code, 1010);
  EXPECT_EQ(Evaluate("\xff").code, 1010);
  EXPECT_EQ(Evaluate("'" + std::string(100000, 'x')).code, 1010);
}

TEST_F(EvaluatorTest, PicturesAreStringConstants) {
  ExpectRows({
      {"@d12", "@d12"},
      {"@D6B", "@D6B"},
      {"@P(###)###-####P", "@P(###)###-####P"},
      {"@K##-##KB", "@K##-##KB"},
      {"@N~$~12.2", "@N~$~12.2"},
      {"@N~a b,c~9", "@N~a b,c~9"},
      {"@N(10.2)", "@N(10.2)"},
      {"(@n_4)", "@n_4"},
      {"@s5&'|'", "@s5&'|'"},
  });
}

TEST_F(EvaluatorTest, FormatAndDeformatWithConstantAndComputedPictures) {
  int32_t birth = 76038;  // 5 March 2009
  char picture[4] = {'@', 'd', '1', '2'};
  BIND("birth", RefLong(birth));
  BIND("pic", RefString(picture, 4));
  ExpectRows({
      {"format(birth,@d12)", "20090305"},
      {"format(birth,'@d12')", "20090305"},
      {"format(birth,pic)", "20090305"},
      {"format(birth,'@d'&'6')", " 5/03/2009"},
      {"deformat('20090229',@d12)", "76034"},  // 1 March 2009
      {"deformat('20090229',pic)", "76034"},
      {"deformat('',@d12)", "0"},
      {"deformat('20090015',@d12)", "-1"},
      {"deformat('20090229',@d12)+1", "76035"},
      {"format(2009,@n_4)", "2009"},
      {"deformat('0305',@n_4)", "305"},
      {"deformat('1.5x')", "1.5"},
  });
}

TEST_F(EvaluatorTest, ThreadWithoutEvaluatorPosts1013) {
  std::thread([] {
    EvaluatorThreadKill();
    int32_t value = 1;
    ClearError();
    BIND("v", RefLong(value));
    EXPECT_EQ(ERRORCODE(), 1013);
    EXPECT_EQ(ERROR(), "No evaluator exists");
    ClearError();
    EXPECT_EQ(EVALUATE("1+1"), "");
    EXPECT_EQ(ERRORCODE(), 1013);
    ClearError();
    PUSHBIND();
    EXPECT_EQ(ERRORCODE(), 1013);
    ClearError();
    POPBIND();
    EXPECT_EQ(ERRORCODE(), 1013);

    EvaluatorThreadInit();
    ClearError();
    EXPECT_EQ(EVALUATE("1+1"), "2");
    EXPECT_EQ(ERRORCODE(), 0);
    EXPECT_EQ(EVALUATE("v"), "");  // the old bindings are gone
    EXPECT_EQ(ERRORCODE(), 1011);
  }).join();
}

TEST_F(EvaluatorTest, ExpressionOfAnotherEvaluatorPosts1014) {
  const auto expression = Expression::Compile("2+2");
  ASSERT_NE(expression, nullptr);
  std::thread([&] {
    ClearError();
    EXPECT_EQ(expression->EvaluateLong(), 0);
    EXPECT_EQ(ERRORCODE(), 1014);
    EXPECT_EQ(ERROR(), "Unknown evaluation context");
  }).join();
  EXPECT_EQ(expression->EvaluateLong(), 4);

  std::thread([] {
    const auto mine = Expression::Compile("3");
    ASSERT_NE(mine, nullptr);
    EvaluatorThreadKill();
    ClearError();
    EXPECT_FALSE(mine->EvaluateBool());
    EXPECT_EQ(ERRORCODE(), 1013);
    EvaluatorThreadInit();
    ClearError();
    EXPECT_EQ(mine->EvaluateString(), "");
    EXPECT_EQ(ERRORCODE(), 1014);
  }).join();
}

TEST_F(EvaluatorTest, EachThreadHasItsOwnBindings) {
  int32_t value = 7;
  BIND("mine", RefLong(value));
  std::thread([] {
    ClearError();
    EXPECT_EQ(EVALUATE("mine"), "");
    EXPECT_EQ(ERRORCODE(), 1011);
  }).join();
  EXPECT_EQ(Evaluate("mine").result, "7");
}

std::string EvaluateOnSmallStack(const std::string& text);

// Sanitizers, and builds without optimisation, enlarge every frame several
// times over; the bound below is about optimised builds.
#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
constexpr size_t kSmallStack = 4 << 20;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr size_t kSmallStack = 4 << 20;
#else
constexpr size_t kSmallStack = 512 << 10;
#endif
#else
constexpr size_t kSmallStack = 512 << 10;
#endif

// The deepest expression the parser accepts must parse and evaluate on a
// thread with a small stack: this bounds the stack used per nesting level
// (about 1.5 KiB in an optimised build).
TEST_F(EvaluatorTest, DeepestExpressionFitsInASmallStack) {
  std::string text;
  for (int i = 1; i < kMaxExpressionDepth; ++i) text += "-(NOT abs(";
  text += "1";
  for (int i = 1; i < kMaxExpressionDepth; ++i) text += "))";
  // Each level is "-(NOT abs(" ... "))": the parenthesis and the call are
  // two levels, so only half as many fit.  The parentheses alone, and the
  // calls alone, are tried at full depth too.
  const int full = kMaxExpressionDepth - 1;
  const std::string parentheses =
      std::string(full, '(') + "1" + std::string(full, ')');
  std::string calls;
  for (int i = 0; i < full; ++i) calls += "abs(";
  calls += "-1" + std::string(full, ')');
  std::string half;
  const int levels = (kMaxExpressionDepth - 1) / 2;
  for (int i = 0; i < levels; ++i) half += "-(NOT abs(";
  half += "1";
  for (int i = 0; i < levels; ++i) half += "))";

  // Every precedence level holds a run of operators at every level of
  // nesting: the deepest tree the parser builds.  Each level gives 0.
  std::string widest;
  for (int i = 0; i < full; ++i) {
    widest += "0 or not 1 and 1 = 1 & 1 + 1 * 1 ^ -(";
  }
  widest += "1" + std::string(full, ')');

  // abs(1) is 1, NOT makes 0, minus keeps 0; the next level gives -1.
  EXPECT_EQ(EvaluateOnSmallStack(half), levels % 2 == 0 ? "-1" : "0");
  EXPECT_EQ(EvaluateOnSmallStack(widest), "0");
  EXPECT_EQ(EvaluateOnSmallStack(parentheses), "1");
  EXPECT_EQ(EvaluateOnSmallStack(calls), "1");
  EXPECT_EQ(Evaluate(text).code, 1010);
}

// EVALUATE on a thread whose stack is kSmallStack bytes; "error N" when it
// posts an error.
std::string EvaluateOnSmallStack(const std::string& text) {
  struct Job {
    const std::string* text;
    std::string result;
  } job{&text, {}};
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, kSmallStack);
  pthread_t thread;
  const int created = pthread_create(
      &thread, &attributes,
      [](void* argument) -> void* {
        auto* j = static_cast<Job*>(argument);
        ClearError();
        j->result = EVALUATE(*j->text);
        if (ERRORCODE() != 0)
          j->result = "error " + std::to_string(ERRORCODE());
        return nullptr;
      },
      &job);
  pthread_attr_destroy(&attributes);
  if (created != 0) return "no thread";
  pthread_join(thread, nullptr);
  return job.result;
}

}  // namespace
}  // namespace zuna::values
