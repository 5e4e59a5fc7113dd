// zunatool's eval, format and deformat, run as a real process.

#include <gtest/gtest.h>

#include "tests/support/run_program.h"

namespace zuna::testing {
namespace {

ProgramResult Zunatool(const std::vector<std::string>& args,
                       const std::vector<std::string>& env = {}) {
  return RunProgram(BinPath("zunatool"), args, env);
}

TEST(ZunatoolValuesTest, FormatPrintsTheTextExactlyWithTrailingBlanks) {
  const struct {
    std::vector<std::string> args;
    std::string out;
  } rows[] = {
      {{"format", "76038", "@D6"}, " 5/03/2009\n"},
      {{"format", "76038", "@d12"}, "20090305\n"},
      {{"format", "0", "@D6"}, "  /  /    \n"},
      {{"format", "Иванов", "@s10"}, "Иванов    \n"},
      {{"format", "2009", "@n_4"}, "2009\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args[1] + " " + row.args[2]);
    const ProgramResult r = Zunatool(row.args);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, row.out);
  }
}

TEST(ZunatoolValuesTest, DeformatPrintsTheValueAsText) {
  const struct {
    std::vector<std::string> args;
    std::string out;
  } rows[] = {
      {{"deformat", "20090305", "@d12"}, "76038\n"},
      {{"deformat", "5/3/2009", "@D6"}, "76038\n"},
      {{"deformat", "20090015", "@d12"}, "-1\n"},
      {{"deformat", "0305", "@n_4"}, "305\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args[1] + " " + row.args[2]);
    const ProgramResult r = Zunatool(row.args);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, row.out);
  }
}

TEST(ZunatoolValuesTest, EvalWithBindingsAndAFixedToday) {
  ProgramResult r = Zunatool({"eval", "--bind", "ms=2009", "--bind-long",
                              "zun:data=76038", "ms & sub(format(zun:data,@d12),5,4)"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "20090305\n");

  r = Zunatool({"--today", "20090305", "eval", "today()"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "76038\n");

  r = Zunatool({"eval", "today()"}, {"ZUNA_TODAY=20090305"});
  EXPECT_EQ(r.out, "76038\n");

  r = Zunatool({"eval", "--bind-real", "x=2.5", "x*2"});
  EXPECT_EQ(r.out, "5\n");
}

TEST(ZunatoolValuesTest, EvalPrintsCyrillicResultsAsUtf8) {
  const ProgramResult r = Zunatool({"eval", "--bind", "n=Ёлкин", "n & '!'"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "Ёлкин!\n");
}

TEST(ZunatoolValuesTest, ErrorsGoToStderrAsCodeAndText) {
  ProgramResult r = Zunatool({"eval", "1 +"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "1010 Invalid expression for EVALUATE\n");

  r = Zunatool({"eval", "nosuch + 1"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "1011 BIND has not been called for nosuch\n");

  r = Zunatool({"eval", "1 ) 2"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "1010 Invalid expression for EVALUATE at pos 2\n");
}

TEST(ZunatoolValuesTest, BadCommandLinesAreRefusedWithUsage) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{
           {"format", "1"},
           {"deformat"},
           {"eval"},
           {"eval", "--bind-long", "x=abc", "x"},
           {"--today", "20090229", "eval", "1"},
           {"--today"},
           {"--wait"},
           {"--wait", "-1", "eval", "1"},
           {"--wait", "ten", "eval", "1"},
           {"--wait", "10s", "eval", "1"},
           {"--wait", "86401", "eval", "1"},
           {"nosuchcommand"},
       }) {
    SCOPED_TRACE(args[0]);
    const ProgramResult r = Zunatool(args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err, "");
    EXPECT_EQ(r.out, "");
  }
}

TEST(ZunatoolValuesTest, WaitTakesWholeSecondsFromZeroToADay) {
  for (const char* seconds : {"0", "10", "86400"}) {
    SCOPED_TRACE(seconds);
    const ProgramResult r = Zunatool({"--wait", seconds, "eval", "1+1"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "2\n");
  }
}

TEST(ZunatoolValuesTest, HelpListsTheCommands) {
  const ProgramResult r = Zunatool({"--help"});
  EXPECT_EQ(r.exit_code, 0);
  for (const char* word : {"eval", "format", "deformat", "--today", "--wait СЕКУНДЫ",
                           "check [--no-recover]", "build FILE", "pack FILE"}) {
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
  }
}

}  // namespace
}  // namespace zuna::testing
