// The register's people as JSON, for scripts: `list --json` and
// `upcoming --json` print one array of objects, UTF-8, two-space indent.
//
//   list:      {"name": "Иванов Иван", "birth_date": "2009-03-05"}
//   upcoming:  the same, and "turns" (the age reached on the birthday) and
//              "days_until" (0 today, 1 tomorrow, ...)
//
// "name" is the name without its trailing blanks; "birth_date" is ISO 8601
// (YYYY-MM-DD), or null for a record the program left without a date.
// Keys come in the order shown (nlohmann::ordered_json).
#ifndef ZUNA_TOOLS_ZUNATOOL_PEOPLE_JSON_H_
#define ZUNA_TOOLS_ZUNATOOL_PEOPLE_JSON_H_

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "tools/zunatool/upcoming_people.h"

namespace zuna::tool {

// "2009-03-05" for a valid date serial; empty for any other.
std::string IsoDate(int32_t serial);

// The object of one person, name given in the program's text (1251).
nlohmann::ordered_json PersonJson(std::string_view fio, int32_t born);

// The object of one person upcoming.
nlohmann::ordered_json UpcomingJson(const UpcomingPerson& person);

// A JSON document as zunatool prints it: two-space indent, non-ASCII text
// as UTF-8 (not \u escapes), and a final newline.  A byte that is not
// UTF-8 becomes U+FFFD instead of failing.
std::string JsonText(const nlohmann::ordered_json& document);

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_PEOPLE_JSON_H_
