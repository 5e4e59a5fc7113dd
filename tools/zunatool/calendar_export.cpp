#include "tools/zunatool/calendar_export.h"

#include <libical/ical.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

#include "runtime/values/code_page.h"
#include "runtime/values/date_serial.h"

namespace zuna::tool {
namespace {

// FNV-1a, 64 bits: small, and the same on every machine and build, which a
// UID must be.
uint64_t Fnv1a(std::string_view bytes) {
  uint64_t hash = 14695981039346656037ull;
  for (char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

icaltimetype DateOf(const values::CivilDate& civil) {
  icaltimetype date = icaltime_null_date();
  date.year = civil.year;
  date.month = civil.month;
  date.day = civil.day;
  return date;
}

icalrecurrencetype Yearly(const values::CivilDate& birth) {
  icalrecurrencetype rule;
  icalrecurrencetype_clear(&rule);
  rule.freq = ICAL_YEARLY_RECURRENCE;
  if (birth.month == 2 && birth.day == 29) {
    rule.by_month[0] = 2;
    rule.by_month[1] = ICAL_RECURRENCE_ARRAY_MAX;
    rule.by_month_day[0] = -1;
    rule.by_month_day[1] = ICAL_RECURRENCE_ARRAY_MAX;
  }
  return rule;
}

icalcomponent* BirthdayEvent(const Person& person, int ordinal, icaltimetype stamp) {
  const values::CivilDate birth = values::CivilFromSerial(person.date);
  icaltimetype start = DateOf(birth);
  icaltimetype end = start;
  icaltime_adjust(&end, 1, 0, 0, 0);
  const std::string summary = "День рождения: " + values::Cp1251ToUtf8(person.fio);
  return icalcomponent_vanew(
      ICAL_VEVENT_COMPONENT, icalproperty_new_uid(BirthdayUid(person, ordinal).c_str()),
      icalproperty_new_dtstamp(stamp), icalproperty_new_dtstart(start),
      icalproperty_new_dtend(end), icalproperty_new_rrule(Yearly(birth)),
      icalproperty_new_summary(summary.c_str()),
      icalproperty_new_transp(ICAL_TRANSP_TRANSPARENT), static_cast<void*>(nullptr));
}

}  // namespace

std::string BirthdayUid(const Person& person, int ordinal) {
  const values::CivilDate birth = values::CivilFromSerial(person.date);
  char date[9];
  std::snprintf(date, sizeof date, "%04d%02d%02d", birth.year, birth.month, birth.day);
  const std::string key = values::Cp1251ToUtf8(person.fio) + '\x1f' + date;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(Fnv1a(key)));
  return "zuna-" + std::string(hex) + "-" + std::to_string(ordinal);
}

std::string BirthdayCalendar(const std::vector<Person>& people, std::time_t stamp) {
  icalcomponent* calendar = icalcomponent_vanew(
      ICAL_VCALENDAR_COMPONENT, icalproperty_new_version("2.0"),
      icalproperty_new_prodid("-//Zuna//zunatool//RU"), icalproperty_new_calscale("GREGORIAN"),
      static_cast<void*>(nullptr));
  const icaltimetype utc_stamp =
      icaltime_from_timet_with_zone(stamp, 0, icaltimezone_get_utc_timezone());
  std::map<std::pair<std::string, int32_t>, int> seen;  // name and date -> people so far
  for (const Person& person : people) {
    if (!values::IsValidDateSerial(person.date)) continue;
    const int ordinal = ++seen[{person.fio, person.date}];
    icalcomponent_add_component(calendar, BirthdayEvent(person, ordinal, utc_stamp));
  }
  char* text = icalcomponent_as_ical_string_r(calendar);
  std::string result = text == nullptr ? std::string() : std::string(text);
  std::free(text);
  icalcomponent_free(calendar);
  return result;
}

}  // namespace zuna::tool
