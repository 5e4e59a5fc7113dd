// Content lines out of the ways writers fold, encode and escape them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/zunatool/vcard_lines.h"

namespace zuna::tool {
namespace {

TEST(VcardLinesTest, UnfoldDecodeAndConvert) {
  const struct {
    std::string text;
    std::string name;
    std::string value;
    int line_no;
  } cases[] = {
      {"FN:Иван\r\n  Петров\r\n", "FN", "Иван Петров", 1},      // one blank of two dropped
      {"FN:Ив\r\n\tан\n", "FN", "Иван", 1},                    // a tab folds too
      {"\r\n\r\nitem2.FN:X\r\n", "FN", "X", 3},                // group dropped, blank lines skipped
      {"\xEF\xBB\xBF" "fn:X\n", "FN", "X", 1},                  // byte-order mark, name case
      {"N;X-P=\"a:b;c\":Фам;Имя\n", "N", "Фам;Имя", 1},        // ':' and ';' in a quoted parameter
      {"FN;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:=D0=98=D0=B2=\r\n=D0=B0=D0=BD\r\n", "FN",
       "Иван", 1},                                             // a soft break
      {"FN;QUOTED-PRINTABLE:a=3Db=\n c\n", "FN", "a=b c", 1},  // the blank after it is text
      {"FN;CHARSET=KOI8-R:\xE9\xD7\xC1\xCE\n", "FN", "Иван", 1},
      {"FN;CHARSET=windows-1251:\xC8\xE2\xE0\xED\n", "FN", "Иван", 1},
      {"VERSION:2.1\nFN:\xC8\xE2\xE0\xED\n", "FN", "Иван", 2},  // 2.1 without CHARSET, not UTF-8
      {"FN:a=3Db\n", "FN", "a=3Db", 1},                         // not quoted-printable
      {"FN:a\\,b\\;c\n", "FN", "a\\,b\\;c", 1},                 // escapes kept for the caller
  };
  for (const auto& c : cases) {
    std::vector<VcardLine> lines;
    const auto why = ReadVcardLines(c.text, &lines);
    ASSERT_FALSE(why) << *why;
    ASSERT_FALSE(lines.empty()) << c.text;
    EXPECT_EQ(lines.back().name, c.name) << c.text;
    EXPECT_EQ(lines.back().value, c.value) << c.text;
    EXPECT_EQ(lines.back().line_no, c.line_no) << c.text;
  }
}

TEST(VcardLinesTest, EscapesBothWays) {
  EXPECT_EQ(UnescapeText("a\\,b\\;c\\\\d\\ne\\Nf"), "a,b;c\\d\ne\nf");
  EXPECT_EQ(SplitComponents("Фам\\;илия;Имя;;\\\\"),
            (std::vector<std::string>{"Фам;илия", "Имя", "", "\\"}));
  EXPECT_EQ(SplitComponents("trailing\\"), (std::vector<std::string>{"trailing\\"}));
  for (const std::string text : {"a,b;c\\d\ne", "Иванов, Иван", "\\;,", ""}) {
    EXPECT_EQ(UnescapeText(EscapeText(text)), text);
    EXPECT_EQ(SplitComponents(EscapeText(text)), std::vector<std::string>{text});
  }
}

}  // namespace
}  // namespace zuna::tool
