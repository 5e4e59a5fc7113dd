// list --json and upcoming --json, run as real processes and parsed back
// with nlohmann/json: every person, names in UTF-8 with JSON's own escapes,
// ISO dates, null for a record without a date, the same order as the text.
#include "tools/zunatool/people_json.h"

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/birthday_calendar.h"
#include "tests/support/zunatool_register_test.h"

namespace zuna::testing {
namespace {

using nlohmann::json;
using std::chrono::year;

class PeopleJsonTest : public ZunatoolRegisterTest {
 protected:
  void SetUp() override {
    MakeRegister(Zun(),
                 "Жуков Георгий;01/12/1980\n"
                 "Без даты;\n"
                 "О'Нил \"Шон\" \\ Ёж;28/12/1999\n"
                 "Ёлкин Пётр;29/02/1976\n");
  }
};

TEST_F(PeopleJsonTest, ListGivesEveryPersonInTheKeysOrder) {
  const std::string out = Ok({"list", Zun(), "--json"});
  EXPECT_EQ(json::parse(out), json::parse(R"([
      {"name": "Без даты", "birth_date": null},
      {"name": "Ёлкин Пётр", "birth_date": "1976-02-29"},
      {"name": "Жуков Георгий", "birth_date": "1980-12-01"},
      {"name": "О'Нил \"Шон\" \\ Ёж", "birth_date": "1999-12-28"}])"));
  // UTF-8 as it is, not \u escapes; keys in the order the header gives.
  EXPECT_NE(out.find("\"name\": \"Ёлкин Пётр\",\n"), std::string::npos) << out;
  EXPECT_EQ(json::parse(Ok({"list", "--json", Zun(), "--by", "name", "--filter",
                            "sub(zun:fio,1,1)='Ж'"})),
            json::parse(
                R"([{"name": "Жуков Георгий", "birth_date": "1980-12-01"}])"));
}

TEST_F(PeopleJsonTest, UpcomingGivesTheAgeReachedAndTheDaysLeft) {
  // 26 December 2011: the 28th is 2 days off, 29 February 2012 (a leap
  // year) 65; 1 December is 340 days off, beyond the 65.
  EXPECT_EQ(json::parse(Ok({"--today", "20111226", "upcoming", Zun(), "--json",
                            "--days", "65"})),
            json::parse(R"([
      {"name": "Ёлкин Пётр", "birth_date": "1976-02-29", "turns": 36, "days_until": 65},
      {"name": "О'Нил \"Шон\" \\ Ёж", "birth_date": "1999-12-28", "turns": 12,
       "days_until": 2}])"));
  // The text form lists the same people in the same order.
  EXPECT_EQ(
      Ok({"--today", "20111226", "upcoming", Zun(), "--days", "65"}),
      "Ёлкин Пётр|29/02/1976\nО'Нил \"Шон\" \\ Ёж|28/12/1999\nВсего: 2\n");
}

TEST(PeopleJsonTextTest, IsoDatesAndReplacedBytes) {
  EXPECT_EQ(tool::IsoDate(DateSerial(year{1801} / 1 / 1)), "1801-01-01");
  EXPECT_EQ(tool::IsoDate(DateSerial(year{2009} / 3 / 5)), "2009-03-05");
  EXPECT_EQ(tool::IsoDate(0), "");
  // A byte that is no UTF-8 never makes the document fail.
  EXPECT_EQ(tool::JsonText(nlohmann::ordered_json{{"name", "a\xFF"}}),
            "{\n  \"name\": \"a\xEF\xBF\xBD\"\n}\n");
}

}  // namespace
}  // namespace zuna::testing
