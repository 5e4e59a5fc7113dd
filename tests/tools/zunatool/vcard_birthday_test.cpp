// Every form of BDAY the writers use, and what the register makes of it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/zunatool/vcard_birthday.h"
#include "tools/zunatool/vcard_lines.h"

namespace zuna::tool {
namespace {

using Kind = VcardBirthday::Kind;

// The BDAY line of a one-card file holding `line`.
VcardLine BdayLine(const std::string& line) {
  std::vector<VcardLine> lines;
  const auto why = ReadVcardLines(line + "\r\n", &lines);
  EXPECT_FALSE(why) << *why;
  return lines.empty() ? VcardLine{} : lines[0];
}

TEST(VcardBirthdayTest, EveryForm) {
  const struct {
    const char* line;
    bool readable;
    Kind kind;
    int year, month, day;
  } cases[] = {
      {"BDAY:1985-03-05", true, Kind::kFull, 1985, 3, 5},
      {"BDAY:19850305", true, Kind::kFull, 1985, 3, 5},
      {"BDAY;VALUE=date:1985-03-05", true, Kind::kFull, 1985, 3, 5},
      {"BDAY;VALUE=DATE:19850305", true, Kind::kFull, 1985, 3, 5},
      {"BDAY:1985-03-05T00:00:00Z", true, Kind::kFull, 1985, 3, 5},
      {"BDAY:19850305T120000+0300", true, Kind::kFull, 1985, 3, 5},
      {"BDAY:1985-03-05T00:00:00.000Z", true, Kind::kFull, 1985, 3, 5},
      {"BDAY: 1985-03-05 ", true, Kind::kFull, 1985, 3, 5},
      {"BDAY:1984-02-29", true, Kind::kFull, 1984, 2, 29},
      {"BDAY:1700-01-01", true, Kind::kFull, 1700, 1, 1},  // the register refuses it later
      {"BDAY:--0305", true, Kind::kNoYear, 0, 3, 5},
      {"BDAY:--03-05", true, Kind::kNoYear, 0, 3, 5},
      {"BDAY:--0229", true, Kind::kNoYear, 0, 2, 29},
      {"BDAY:---05", true, Kind::kNoYear, 0, 0, 5},
      {"BDAY;X-APPLE-OMIT-YEAR=1604:1604-11-20", true, Kind::kNoYear, 0, 11, 20},
      {"BDAY;X-APPLE-OMIT-YEAR=1604;VALUE=date:1604-02-29", true, Kind::kNoYear, 0, 2, 29},
      {"BDAY;X-APPLE-OMIT-YEAR=1604:1985-11-20", true, Kind::kFull, 1985, 11, 20},
      {"BDAY:1985-03", true, Kind::kIncomplete, 0, 0, 0},
      {"BDAY:1985", true, Kind::kIncomplete, 0, 0, 0},
      {"BDAY;VALUE=text:около 1890", true, Kind::kIncomplete, 0, 0, 0},
      {"BDAY:1985-02-29", false, Kind::kFull, 0, 0, 0},
      {"BDAY:1985-13-01", false, Kind::kFull, 0, 0, 0},
      {"BDAY:--1301", false, Kind::kFull, 0, 0, 0},
      {"BDAY:--0230", false, Kind::kFull, 0, 0, 0},
      {"BDAY:---32", false, Kind::kFull, 0, 0, 0},
      {"BDAY:5 марта", false, Kind::kFull, 0, 0, 0},
      {"BDAY:85-03-05", false, Kind::kFull, 0, 0, 0},
      {"BDAY:", false, Kind::kFull, 0, 0, 0},
  };
  for (const auto& c : cases) {
    const std::optional<VcardBirthday> b = ReadBirthday(BdayLine(c.line));
    ASSERT_EQ(b.has_value(), c.readable) << c.line;
    if (!b) continue;
    EXPECT_EQ(b->kind, c.kind) << c.line;
    EXPECT_EQ(b->year, c.year) << c.line;
    EXPECT_EQ(b->month, c.month) << c.line;
    EXPECT_EQ(b->day, c.day) << c.line;
  }
}

}  // namespace
}  // namespace zuna::tool
