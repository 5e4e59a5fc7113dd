// The register as an iCalendar file of birthdays, written with libical: a
// yearly all-day event per person with a date, «День рождения: ИМЯ»,
// starting on the birth date.  A 29 February birthday recurs on the last
// day of February (BYMONTH=2;BYMONTHDAY=-1), so common years keep it on the
// 28th.
//
// UIDs are stable: the same person gets the same UID on every export, so a
// calendar that imports the file again updates its events instead of
// doubling them.  A UID is a hash of the name and the date with the
// person's place among the people of that same name and date (in the
// register's file order), so two such people still differ.
#ifndef ZUNA_TOOLS_ZUNATOOL_CALENDAR_EXPORT_H_
#define ZUNA_TOOLS_ZUNATOOL_CALENDAR_EXPORT_H_

#include <ctime>
#include <string>
#include <vector>

#include "tools/zunatool/person_text.h"

namespace zuna::tool {

// The calendar of `people` (in the register's file order; people without
// a valid date are left out), as text with CRLF line ends.  DTSTAMP is
// `stamp`, the time of the export.
std::string BirthdayCalendar(const std::vector<Person>& people, std::time_t stamp);

// The UID of `person` who is the `ordinal`-th (from 1) person of that name
// and date: "zuna-<16 hex digits>-<ordinal>".
std::string BirthdayUid(const Person& person, int ordinal);

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_CALENDAR_EXPORT_H_
