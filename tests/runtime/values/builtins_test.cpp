#include "runtime/values/builtins.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "runtime/values/clock.h"
#include "runtime/values/error_state.h"
#include "runtime/values/evaluator.h"

namespace zuna::values {
namespace {

struct Row {
  const char* text;
  const char* expected;
};

class EvalBuiltinsTest : public ::testing::Test {
 protected:
  void SetUp() override { PUSHBIND(); }
  void TearDown() override {
    POPBIND();
    SetClock(nullptr);
  }

  static void ExpectRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      SCOPED_TRACE(row.text);
      ClearError();
      EXPECT_EQ(EVALUATE(row.text), row.expected);
      EXPECT_EQ(ERRORCODE(), 0) << ERROR();
    }
  }
};

TEST_F(EvalBuiltinsTest, TableHasEveryFunctionWithItsCounts) {
  struct Expected {
    const char* name;
    int min;
    int max;
    ExprType result;
    int number;
  } expected[] = {
      {"ABS", 1, 1, ExprType::kReal, 17},
      {"ACOS", 1, 1, ExprType::kReal, 29},
      {"AGE", 1, 2, ExprType::kString, 41},
      {"ALL", 1, 2, ExprType::kString, 5},
      {"ASIN", 1, 1, ExprType::kReal, 28},
      {"ATAN", 1, 1, ExprType::kReal, 30},
      {"BAND", 2, 2, ExprType::kLong, 31},
      {"BOR", 2, 2, ExprType::kLong, 32},
      {"BSHIFT", 2, 2, ExprType::kLong, 34},
      {"BXOR", 2, 2, ExprType::kLong, 33},
      {"CENTER", 1, 2, ExprType::kString, 6},
      {"CHOOSE", 1, 25, ExprType::kString, 42},
      {"CHR", 1, 1, ExprType::kString, 7},
      {"CLIP", 1, 1, ExprType::kString, 4},
      {"CLOCK", 0, 0, ExprType::kLong, 36},
      {"COS", 1, 1, ExprType::kReal, 26},
      {"DATE", 3, 3, ExprType::kLong, 37},
      {"DAY", 1, 1, ExprType::kLong, 38},
      {"DEFORMAT", 1, 2, ExprType::kString, 8},
      {"FORMAT", 2, 2, ExprType::kString, 9},
      {"GETINI", 2, 4, ExprType::kString, 44},
      {"INLIST", 3, 26, ExprType::kLong, 43},
      {"INRANGE", 3, 3, ExprType::kLong, 18},
      {"INSTRING", 2, 4, ExprType::kLong, 3},
      {"INT", 1, 1, ExprType::kLong, 19},
      {"LEFT", 1, 2, ExprType::kString, 10},
      {"LEN", 1, 1, ExprType::kLong, 11},
      {"LOG10", 1, 1, ExprType::kReal, 21},
      {"LOGE", 1, 1, ExprType::kReal, 20},
      {"LONGPATH", 0, 1, ExprType::kString, 50},
      {"LOWER", 1, 1, ExprType::kString, 12},
      {"MATCH", 2, 3, ExprType::kLong, 45},
      {"MEMORY", 1, 1, ExprType::kLong, 1},
      {"MONTH", 1, 1, ExprType::kLong, 39},
      {"NULL", 1, 1, ExprType::kLong, 46},
      {"NUMERIC", 1, 1, ExprType::kLong, 13},
      {"PATH", 0, 1, ExprType::kString, 49},
      {"QUOTE", 2, 2, ExprType::kString, 52},
      {"RANDOM", 2, 2, ExprType::kLong, 22},
      {"RIGHT", 1, 2, ExprType::kString, 14},
      {"ROUND", 2, 2, ExprType::kReal, 23},
      {"SHORTPATH", 0, 1, ExprType::kString, 51},
      {"SIN", 1, 1, ExprType::kReal, 25},
      {"SQRT", 1, 1, ExprType::kReal, 24},
      {"STRPOS", 2, 3, ExprType::kLong, 48},
      {"SUB", 3, 3, ExprType::kString, 2},
      {"TAN", 1, 1, ExprType::kReal, 27},
      {"TODAY", 0, 0, ExprType::kLong, 35},
      {"UNQUOTE", 1, 1, ExprType::kString, 53},
      {"UPPER", 1, 1, ExprType::kString, 15},
      {"VAL", 1, 1, ExprType::kLong, 16},
      {"YEAR", 1, 1, ExprType::kLong, 40},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.name);
    const BuiltinInfo* info = FindBuiltin(e.name);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->min_args, e.min);
    EXPECT_EQ(info->max_args, e.max);
    EXPECT_EQ(info->result, e.result);
    EXPECT_EQ(static_cast<int>(info->function), e.number);
  }
  EXPECT_NE(FindBuiltin("sql"), nullptr);
  EXPECT_NE(FindBuiltin("DeFoRmAt"), nullptr);
  EXPECT_EQ(FindBuiltin("FORMATS"), nullptr);
  EXPECT_EQ(FindBuiltin("AND"), nullptr);
}

TEST_F(EvalBuiltinsTest, ArgumentCountsAreChecked) {
  const char* refused[] = {"abs()",     "abs(1,2)",   "sub('a',1)",
                           "format(1)", "today(1)",   "inlist(1,2)",
                           "clock(,)",  "getini('a')"};
  for (const char* text : refused) {
    SCOPED_TRACE(text);
    ClearError();
    EXPECT_EQ(EVALUATE(text), "");
    EXPECT_EQ(ERRORCODE(), 1010);
  }
  std::string many = "choose(25";
  for (int i = 1; i <= 24; ++i) many += "," + std::to_string(i);
  ExpectRows({{(many + ")").c_str(), "24"}});
  ClearError();
  EXPECT_EQ(EVALUATE(many + ",25)"), "");
  EXPECT_EQ(ERRORCODE(), 1010);
}

TEST_F(EvalBuiltinsTest, Numbers) {
  ExpectRows({
      {"abs(-2.5)", "2.5"},
      {"abs(3)", "3"},
      {"int(7.9)", "7"},
      {"int(-7.9)", "-7"},
      {"int('12.5abc')", "12"},
      {"round(5.678,.01)", "5.68"},
      {"round(5.675,.01)", "5.68"},
      {"round(-2.5,1)", "-3"},
      {"round(1234,100)", "1200"},
      {"round(1250,-100)", "1300"},
      {"round(7.3,0)", "7.3"},
      {"sqrt(16)", "4"},
      {"sqrt(-1)", "0"},
      {"loge(1)", "0"},
      {"loge(0)", "0"},
      {"log10(1000)", "3"},
      {"log10(-5)", "0"},
      {"sin(0)", "0"},
      {"cos(0)", "1"},
      {"tan(0)", "0"},
      {"asin(1)*2", "3.14159265358979"},
      {"acos(2)", "0"},
      {"atan(1)*4", "3.14159265358979"},
      {"band(12,10)", "8"},
      {"bor(12,10)", "14"},
      {"bxor(12,10)", "6"},
      {"band(-1,255)", "255"},
      {"bshift(1,4)", "16"},
      {"bshift(1,31)", "-2147483648"},
      {"bshift(1,32)", "0"},
      {"bshift(256,-4)", "16"},
      {"bshift(-1,-1)", "2147483647"},
      {"bshift(-1,-31)", "1"},
      {"bshift(-1,-32)", "0"},
      {"bshift(5,0)", "5"},
      {"inrange(5,1,10)", "1"},
      {"inrange(10,1,10)", "1"},
      {"inrange(0.1+0.2,0.3,1)", "1"},
      {"inrange(11,1,10)", "0"},
      {"inrange(5,10,1)", "0"},
      {"null(0)", "1"},
      {"null('')", "1"},
      {"null(0.5)", "1"},
      {"null(2)", "0"},
      {"numeric('12')", "1"},
      {"numeric(' -1.5e3 ')", "1"},
      {"numeric('+.5')", "1"},
      {"numeric('')", "0"},
      {"numeric('1a')", "0"},
      {"numeric('1.2.3')", "0"},
      {"numeric('.')", "0"},
      {"val('A')", "65"},
      {"val('')", "0"},
      {"val(chr(200))", "200"},
      {"len('abc')", "3"},
      {"len('')", "0"},
      {"len(12.5)", "4"},
  });
}

TEST_F(EvalBuiltinsTest, RandomStaysInItsRange) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const std::string value = EVALUATE("random(1,3)");
    EXPECT_TRUE(value == "1" || value == "2" || value == "3") << value;
    seen.insert(value);
    const std::string reversed = EVALUATE("random(5,4)");
    EXPECT_TRUE(reversed == "4" || reversed == "5") << reversed;
  }
  EXPECT_EQ(seen.size(), 3u);
  ExpectRows({{"random(7,7)", "7"},
              {"random(-2147483648,2147483647)>=-2147483648", "1"}});
}

TEST_F(EvalBuiltinsTest, DatesThroughTheDateFunctions) {
  const FixedClock clock({2009, 3, 5, 13 * 360000 + 7 * 6000});
  SetClock(&clock);
  ExpectRows({
      {"today()", "76038"},
      {"clock()", "4722001"},
      {"date(3,5,2009)", "76038"},
      {"date(2,29,2009)", "76034"},
      {"date(0,1,2009)", "-1"},
      {"day(76038)", "5"},
      {"month(76038)", "3"},
      {"year(76038)", "2009"},
      {"day(0)", "0"},
      {"age(76038-60)", "60 DAYS"},
      {"age(76038-60,76038)", "60 DAYS"},
  });
}

TEST_F(EvalBuiltinsTest, Substrings) {
  ExpectRows({
      {"sub('abcdef',2,3)", "bcd"},
      {"sub('abcdef',5,10)", "ef"},
      {"sub('abcdef',0,2)", "a"},
      {"sub('abcdef',-2,2)", "ef"},
      {"sub('abcdef',-10,12)", "abcdef"},  // positions -3 .. 8
      {"sub('abcdef',7,1)", ""},
      {"sub('abcdef',2,0)", ""},
      {"sub('abcdef',2,-1)", ""},
      {"sub('abcdef',2147483647,2147483647)", ""},
      {"sub('abcdef',-2147483648,2147483647)", "abcde"},
      {"sub(20090305,5,4)", "0305"},
  });
}

TEST_F(EvalBuiltinsTest, Justification) {
  ExpectRows({
      {"all('ab',5)", "ababa"},
      {"len(all('*'))", "255"},
      {"all('',5)", ""},
      {"all('x',-3)", ""},
      {"len(all('x',1000000))", "65535"},
      {"clip('ab  ')&'|'", "ab|"},
      {"clip('   ')&'|'", "|"},
      {"left('  ab')&'|'", "ab  |"},
      {"left('  ab',3)&'|'", "ab |"},
      {"left('abcdef',3)", "abc"},
      {"right('ab  ')&'|'", "  ab|"},
      {"right('ab',4)&'|'", "  ab|"},
      {"right('abcdef',3)", "def"},
      {"center('ab',6)&'|'", "  ab  |"},
      {"center('ab',5)&'|'", " ab  |"},
      {"center('  ab')&'|'", " ab |"},
      {"center('abcdef',3)", "abc"},
      {"left('x',-1)&'|'", "|"},
      {"upper('abc xyz')", "ABC XYZ"},
      {"lower('ABC Xyz')", "abc xyz"},
      {"chr(65)&chr(97)", "Aa"},
      {"len(chr(0))", "1"},
      {"chr(256)&'|'", "|"},
      {"chr(-1)&'|'", "|"},
  });
}

TEST_F(EvalBuiltinsTest, Searching) {
  ExpectRows({
      {"instring('c','abcabc')", "3"},
      {"instring('x','abcabc')", "0"},
      {"instring('','abc')", "0"},
      {"instring('abcd','abc')", "0"},
      {"instring('cd','abcdef',2,1)", "2"},  // positions 1, 3: found at 3
      {"instring('bc','abcdef',2,1)", "0"},  // 2 is never tried
      {"instring('c','abcabc',1,4)", "6"},
      {"instring('c','abcabc',-1)", "6"},
      {"instring('c','abcabc',-1,5)", "3"},
      {"instring('a','abcabc',3,-100)", "0"},  // tries 2 and 5 only
      {"instring('c','abcabc',3,-99)", "1"},   // tries 3: step number 1
      {"instring('a','abc',1,1000)", "0"},
      {"instring('a','abc',-1,-5)", "0"},
      {"strpos('xxabcab','ab+c')", "3"},
      {"strpos('abc','^b')", "0"},
      {"strpos('abc','c$')", "3"},
      {"strpos('ABC','b',16)", "2"},
      {"strpos('abc','(')", "0"},
      {"strpos('abc','')", "1"},
      {"match('Hello','H*o')", "1"},
      {"match('Hello   ','H?llo')", "1"},
      {"match('Hello','h*')", "0"},
      {"match('Hello','h*',16)", "1"},
      {"match('Hello','l+o',1)", "1"},
      {"match('Hello','^l',1)", "0"},
      {"match('Robert','Rupert',2)", "1"},
      {"match('Robert','Rubin',2)", "0"},
      {"match('abc','abc  ',3)", "1"},
      {"match('abc','ABC',3)", "0"},
      {"match('abc','ABC',19)", "1"},
      {"match('abc','abc',7)", "0"},
      {"inlist('b','a','b','c')", "2"},
      {"inlist('d','a','b','c')", "0"},
      {"inlist('b ','a','b')", "2"},
      {"inlist(3,1,2,3)", "3"},
      {"inlist('b','a','c',,'b')", "4"},
  });
}

TEST_F(EvalBuiltinsTest, ChoosingAndQuoting) {
  ExpectRows({
      {"choose(2,'a','b','c')", "b"},
      {"choose(9,'a','b','c')", "c"},
      {"choose(0,'a','b','c')", "c"},
      {"choose(1=1,'yes','no')", "yes"},
      {"choose(1=2,'yes','no')", "no"},
      {"choose(5)", "1"},
      {"choose(0)", "0"},
      {"choose(2,'a',)", ""},
      {"quote('it''s',0)", "it''s"},
      {"quote('it''s',1)", "'it''s'"},
      {"unquote('''it''''s''')", "it's"},
      {"unquote('it''''s')", "it's"},
      {"unquote(quote('a''b''''c',1))", "a'b''c"},
      {"unquote('''')", "'"},
  });
}

TEST_F(EvalBuiltinsTest, FormatDeformatAndSql) {
  ExpectRows({
      {"format(76038,@d6)", " 5/03/2009"},
      {"format(76038,@d12)", "20090305"},
      {"format('abc',@s5)&'|'", "abc  |"},
      {"format(76038,@x9)", ""},
      {"deformat('20090229',@d12)", "76034"},
      {"deformat(' 5/03/2009',@d6)", "76038"},
      {"deformat('ab12c3')", "123"},
      {"sql(anything (at all))", ""},
  });
}

TEST_F(EvalBuiltinsTest, GetiniReadsAProfileFile) {
  const std::string path = ::testing::TempDir() + "eval_builtins_getini.ini";
  {
    std::ofstream file(path, std::ios::binary);
    file << "; settings\r\n[Main]\r\nName = Zuna \r\n[Other]\nName=second\n";
  }
  ExpectRows({
      {("getini('main','NAME','none','" + path + "')").c_str(), "Zuna"},
      {("getini('Other','Name',,'" + path + "')").c_str(), "second"},
      {("getini('Main','Missing','none','" + path + "')").c_str(), "none"},
      {"getini('Main','Name','none','/nonexistent/zuna.ini')", "none"},
      {"getini('Main','Name','none','/dev/null')", "none"},
      {"getini('Main','Name','none','/')", "none"},
  });
  std::remove(path.c_str());
}

TEST_F(EvalBuiltinsTest, PathsAndMemory) {
  std::error_code error;
  const std::string current = std::filesystem::current_path(error).string();
  ExpectRows({
      {"path()", current.c_str()},
      {"longpath()", current.c_str()},
      {"shortpath()", current.c_str()},
      {"path('/usr/lib/x.txt')", "/usr/lib"},
      {"longpath('/usr//lib/../bin')", "/usr/bin"},
      {"shortpath('/usr/./bin')", "/usr/bin"},
      {"longpath('x')", (current + "/x").c_str()},
      {"memory(0)>0", "1"},
      {"memory(1)>=0", "1"},
      {"memory(7)", "0"},
  });
}

}  // namespace
}  // namespace zuna::values
