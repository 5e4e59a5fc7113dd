#include "runtime/values/env_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zuna::values {
namespace {

using Strings = std::vector<std::string>;

std::vector<std::string> Names(const std::vector<EnvLine>& lines) {
  std::vector<std::string> names;
  for (const EnvLine& line : lines) names.push_back(line.name);
  return names;
}

std::vector<std::string> Values(const std::vector<EnvLine>& lines) {
  std::vector<std::string> values;
  for (const EnvLine& line : lines) values.push_back(line.value);
  return values;
}

// ---------------------------------------------------------------------------
// Lines and names.

TEST(EnvFileLinesTest, CrLfLoneCrAndLoneLfAllEndALine) {
  const auto lines = SplitEnvironmentLines("A=1\r\nB=2\rC=3\nD=4");
  EXPECT_EQ(Names(lines), (Strings{"A", "B", "C", "D"}));
  EXPECT_EQ(Values(lines), (Strings{"1", "2", "3", "4"}));
}

TEST(EnvFileLinesTest, CtrlZEndsTheFileEvenInsideAValue) {
  EXPECT_EQ(Names(SplitEnvironmentLines("A=1\n\x1A"
                                        "B=2\nC=3")),
            (Strings{"A"}));
  const auto lines = SplitEnvironmentLines(
      "A=12\x1A"
      "34\nB=5");
  EXPECT_EQ(Values(lines), (Strings{"12"}));
}

TEST(EnvFileLinesTest, LinesWithoutEqualsAreIgnored) {
  const auto lines =
      SplitEnvironmentLines("a note, no equals\n\nA=1\n   \nlast note");
  EXPECT_EQ(Names(lines), (Strings{"A"}));
}

TEST(EnvFileLinesTest, NameDropsBlanksAndTabsAndIsUpperCased) {
  const auto lines = SplitEnvironmentLines(" van case\t= x");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].name, "VANCASE");
  EXPECT_EQ(lines[0].value, " x");  // leading blanks of a value stay
}

TEST(EnvFileLinesTest, NameIsCutTo31Characters) {
  const std::string name(40, 'n');
  const auto lines = SplitEnvironmentLines(name + "=v");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].name, std::string(31, 'N'));
}

TEST(EnvFileLinesTest, ValueSplitsAtTheFirstEquals) {
  const auto lines = SplitEnvironmentLines("A=b=c");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].value, "b=c");
  EXPECT_EQ(SplitEnvironmentLines("=x")[0].name, "");
}

TEST(EnvFileLinesTest, ValueIsCutTo1024ThenTrimmed) {
  struct Row {
    const char* what;
    std::string value;
    std::string expected;
  } rows[] = {
      {"over-long", std::string(1030, 'x'), std::string(1024, 'x')},
      {"exactly 1024", std::string(1024, 'x'), std::string(1024, 'x')},
      // The cut leaves four blanks at the end, which then go.
      {"blanks at the cut", std::string(1020, 'x') + "    yyyy",
       std::string(1020, 'x')},
      {"trailing blanks and tabs", "abc \t \t", "abc"},
      {"inner blanks stay", "a b\tc", "a b\tc"},
      {"only blanks", "   ", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const auto lines = SplitEnvironmentLines("A=" + row.value + "\r\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].value, row.expected);
  }
}

// ---------------------------------------------------------------------------
// Escapes.

TEST(EnvFileValueTest, DecimalEscapes) {
  struct Row {
    std::string raw;
    std::string expected;
  } rows[] = {
      {"<65>", "A"},
      {"<65", "A"},  // the digits end at the first non-digit
      {"<65>x", "Ax"},
      {"<65>>", "A>"},  // only one '>' belongs to the escape
      {"<065>", "A"},
      {"a<66><67>d", "aBCd"},
      {"<0>", std::string(1, '\0')},
      {"<255>", "\xFF"},
      {"<192><224>", "\xC0\xE0"},
      {"<256>", "<256>"},  // not a byte: left as written
      {"<300>", "<300>"},
      {"<300", "<300"},
      {"<99999999999999999999>", "<99999999999999999999>"},
      {"<x", "<x"},
      {"<", "<"},
      {"<>", "<>"},
      {"<<65>", "<A"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.raw);
    EXPECT_EQ(ParseEnvironmentValue(row.raw, true), Strings{row.expected});
  }
}

TEST(EnvFileValueTest, EscapedCharactersAreNeverListSyntax) {
  EXPECT_EQ(ParseEnvironmentValue("a<44>b,c", true), (Strings{"a,b", "c"}));
  // An escaped quote does not make the value a quoted list.
  EXPECT_EQ(ParseEnvironmentValue("<34>a<34>", true), (Strings{"\"a\""}));
  EXPECT_EQ(ParseEnvironmentValue("\"a<34>b\"", true), (Strings{"a\"b"}));
}

// ---------------------------------------------------------------------------
// Lists.

TEST(EnvFileValueTest, UnquotedValuesSplitAtEveryComma) {
  struct Row {
    std::string raw;
    Strings expected;
  } rows[] = {
      {"a,b,c", {"a", "b", "c"}},
      {"a,,b", {"a", "", "b"}},
      {"a,", {"a", ""}},
      {",", {"", ""}},
      {"", {""}},
      {" a , b", {" a ", " b"}},
      {"a\"b,c", {"a\"b", "c"}},  // a quote inside is an ordinary character
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.raw);
    EXPECT_EQ(ParseEnvironmentValue(row.raw, true), row.expected);
  }
}

TEST(EnvFileValueTest, CollationValueKeepsItsCommas) {
  EXPECT_EQ(ParseEnvironmentValue("a,b,c", false), (Strings{"a,b,c"}));
  EXPECT_EQ(ParseEnvironmentValue("\"a,b\",\"c\"", false),
            (Strings{"a,b", "c"}));
}

TEST(EnvFileValueTest, QuotedValuesAreTakenAsWritten) {
  struct Row {
    std::string raw;
    Strings expected;
  } rows[] = {
      {"\"a\",\"b\"", {"a", "b"}},
      {"\"a,b\",\"c\"", {"a,b", "c"}},
      {"\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
      {"\"\"\"\"", {"\""}},
      {"\"\"", {""}},
      {"  \"a\" , \"b\"", {"a", "b"}},
      {"\"a\"junk,\"b\"", {"a", "b"}},
      {"\"a\",", {"a", ""}},
      {"\"abc", {"abc"}},           // never closed: runs to the end
      {"\"a\",b c", {"a", "b c"}},  // an unquoted item among quoted ones
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.raw);
    EXPECT_EQ(ParseEnvironmentValue(row.raw, true), row.expected);
  }
}

// ---------------------------------------------------------------------------
// The whole file.

TEST(EnvFileReadTest, SettingsInFileOrderWithCollationUnsplit) {
  const EnvironmentFile file =
      ReadEnvironmentFile("VANMON=a,b\r\nvancolseq=x,y\r\n");
  EXPECT_FALSE(file.oem);
  ASSERT_EQ(file.settings.size(), 2u);
  EXPECT_EQ(file.settings[0].name, "VANMON");
  EXPECT_EQ(file.settings[0].strings, (Strings{"a", "b"}));
  EXPECT_EQ(file.settings[1].name, "VANCOLSEQ");
  EXPECT_EQ(file.settings[1].strings, (Strings{"x,y"}));
}

TEST(EnvFileReadTest, OemSwitchConvertsEveryOtherValueWhereverItStands) {
  // 866 "При" is 8F E0 A8; in 1251 it is CF F0 E8.  866 80h (А) is 1251 C0h.
  struct Row {
    const char* what;
    std::string text;
  } rows[] = {
      {"switch first", "VANCHARSET=OEM\nVANMONTH=\x8F\xE0\xA8,<128>"},
      {"switch last", "VANMONTH=\x8F\xE0\xA8,<128>\nVANCHARSET=oem"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const EnvironmentFile file = ReadEnvironmentFile(row.text);
    EXPECT_TRUE(file.oem);
    bool found = false;
    for (const EnvSetting& s : file.settings) {
      if (s.name != "VANMONTH") continue;
      found = true;
      EXPECT_EQ(s.strings, (Strings{"\xCF\xF0\xE8", "\xC0"}));
    }
    EXPECT_TRUE(found);
  }
}

TEST(EnvFileReadTest, WithoutTheSwitchBytesStayAsWritten) {
  const EnvironmentFile file = ReadEnvironmentFile("VANMONTH=\x8F\xE0\xA8");
  EXPECT_FALSE(file.oem);
  ASSERT_EQ(file.settings.size(), 1u);
  EXPECT_EQ(file.settings[0].strings, (Strings{"\x8F\xE0\xA8"}));
}

TEST(EnvFileReadTest, TheLastCharsetLineDecides) {
  EXPECT_FALSE(ReadEnvironmentFile("VANCHARSET=OEM\nVANCHARSET=ANSI").oem);
  EXPECT_TRUE(ReadEnvironmentFile("VANCHARSET=ANSI\nVANCHARSET=Oem").oem);
  EXPECT_FALSE(ReadEnvironmentFile("VANCHARSET=OEMX").oem);
}

TEST(EnvFileReadTest, EmptyAndBinaryInputGiveNoSettingsOrSomeSettings) {
  EXPECT_TRUE(ReadEnvironmentFile("").settings.empty());
  EXPECT_TRUE(ReadEnvironmentFile(std::string("\0\0\0", 3)).settings.empty());
  const EnvironmentFile file =
      ReadEnvironmentFile(std::string("\0=\0\xFF<", 5));
  ASSERT_EQ(file.settings.size(), 1u);
  EXPECT_EQ(file.settings[0].name, std::string(1, '\0'));
  EXPECT_EQ(file.settings[0].strings, (Strings{std::string("\0\xFF<", 3)}));
}

}  // namespace
}  // namespace zuna::values
