// The birthday calendar, read back and expanded by libical itself: the
// dates each event falls on over eight years against a plain calendar
// computation, the file's validity, and UIDs that stay put.
#include <gtest/gtest.h>

#include <libical/ical.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "runtime/values/code_page.h"
#include "runtime/values/date_serial.h"
#include "tools/zunatool/calendar_export.h"

namespace zuna::tool {
namespace {

constexpr int kFirstYear = 2026;
constexpr int kYears = 8;

Person P(const std::string& utf8, int year, int month, int day) {
  return {values::Utf8ToCp1251(utf8), values::SerialFromCivil(year, month, day)};
}

std::string Iso(int year, int month, int day) {
  char text[11];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return text;
}

struct Event {
  std::string uid;
  std::string summary;
  bool all_day = false;
  std::vector<std::string> dates;  // occurrences in kFirstYear .. kFirstYear + kYears - 1
};

// Parses `text` with libical's parser, expects no error anywhere in it, and
// expands each event's rule with libical's recurrence iterator.
std::vector<Event> ParseAndExpand(const std::string& text) {
  std::vector<Event> events;
  icalcomponent* calendar = icalparser_parse_string(text.c_str());
  EXPECT_NE(calendar, nullptr);
  if (calendar == nullptr) return events;
  EXPECT_EQ(icalcomponent_isa(calendar), ICAL_VCALENDAR_COMPONENT);
  EXPECT_EQ(icalcomponent_count_errors(calendar), 0);
  EXPECT_EQ(icalrestriction_check(calendar), 1);
  for (icalcomponent* c = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT);
       c != nullptr; c = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
    Event event;
    event.uid = icalcomponent_get_uid(c);
    event.summary = icalcomponent_get_summary(c);
    const icaltimetype start = icalcomponent_get_dtstart(c);
    event.all_day = start.is_date == 1;
    icalproperty* rrule = icalcomponent_get_first_property(c, ICAL_RRULE_PROPERTY);
    EXPECT_NE(rrule, nullptr);
    if (rrule == nullptr) continue;
    icalrecur_iterator* it = icalrecur_iterator_new(icalproperty_get_rrule(rrule), start);
    for (icaltimetype t = icalrecur_iterator_next(it);
         !icaltime_is_null_time(t) && t.year < kFirstYear + kYears; t = icalrecur_iterator_next(it)) {
      if (t.year >= kFirstYear) event.dates.push_back(Iso(t.year, t.month, t.day));
    }
    icalrecur_iterator_free(it);
    events.push_back(std::move(event));
  }
  icalcomponent_free(calendar);
  return events;
}

// The birthday's day in each year as a plain calendar gives it: the last
// day of February for the 29th in a common year.
std::vector<std::string> PlainDates(int month, int day) {
  std::vector<std::string> dates;
  for (int year = kFirstYear; year < kFirstYear + kYears; ++year) {
    dates.push_back(Iso(year, month, std::min(day, values::DaysInMonth(year, month))));
  }
  return dates;
}

TEST(CalendarExportTest, LibicalExpandsEveryBirthdayToTheRightDays) {
  const std::vector<Person> people = {
      P("Високосный Касьян", 1984, 2, 29), P("Новогодний Дед", 1990, 12, 31),
      P("Январская Ольга", 2000, 1, 1),    P("Ранний Пращур", 1801, 1, 1),
      P("Обычный Иван", 1985, 3, 5),       P("Весенний Лев", 1996, 2, 29),
  };
  const std::vector<Event> events = ParseAndExpand(BirthdayCalendar(people, 1'700'000'000));
  ASSERT_EQ(events.size(), people.size());
  for (size_t i = 0; i < people.size(); ++i) {
    const values::CivilDate birth = values::CivilFromSerial(people[i].date);
    SCOPED_TRACE(values::Cp1251ToUtf8(people[i].fio));
    EXPECT_EQ(events[i].dates, PlainDates(birth.month, birth.day));
    EXPECT_EQ(events[i].summary, "День рождения: " + values::Cp1251ToUtf8(people[i].fio));
    EXPECT_TRUE(events[i].all_day);
  }
  // The plain computation itself, written out for the 29th of February.
  EXPECT_EQ(events[0].dates, (std::vector<std::string>{"2026-02-28", "2027-02-28", "2028-02-29",
                                                       "2029-02-28", "2030-02-28", "2031-02-28",
                                                       "2032-02-29", "2033-02-28"}));
}

TEST(CalendarExportTest, UidsAreStableAndTellNamesakesApart) {
  const std::vector<Person> people = {
      P("Иванов Иван", 1985, 3, 5), P("Петров Пётр", 1970, 7, 7), P("Иванов Иван", 1985, 3, 5),
      P("ИВАНОВ ИВАН", 1985, 3, 5), P("Иванов Иван", 1985, 3, 6), {"Без Даты", 0},
  };
  const std::vector<Event> first = ParseAndExpand(BirthdayCalendar(people, 1'700'000'000));
  ASSERT_EQ(first.size(), 5u);  // the one without a date has no event
  std::set<std::string> uids;
  for (const Event& e : first) uids.insert(e.uid);
  EXPECT_EQ(uids.size(), first.size());

  // Another day's export, with someone added in front: the same people keep
  // their UIDs.
  std::vector<Person> later = people;
  later.insert(later.begin(), P("Новый Человек", 2001, 1, 2));
  const std::vector<Event> second = ParseAndExpand(BirthdayCalendar(later, 1'800'000'000));
  ASSERT_EQ(second.size(), 6u);
  for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(second[i + 1].uid, first[i].uid);
  EXPECT_EQ(first[0].uid, BirthdayUid(people[0], 1));
  EXPECT_EQ(first[2].uid, BirthdayUid(people[0], 2));
  EXPECT_TRUE(first[0].uid.starts_with("zuna-")) << first[0].uid;
}

TEST(CalendarExportTest, TheFileIsWrittenAsCalendarsExpectIt) {
  const std::string text = BirthdayCalendar({P("Високосный Касьян", 1984, 2, 29)}, 1'700'000'000);
  for (const char* line :
       {"BEGIN:VCALENDAR\r\n", "VERSION:2.0\r\n", "PRODID:-//Zuna//zunatool//RU\r\n",
        "DTSTAMP:20231114T221320Z\r\n", "DTSTART;VALUE=DATE:19840229\r\n",
        "DTEND;VALUE=DATE:19840301\r\n", "RRULE:FREQ=YEARLY;BYMONTHDAY=-1;BYMONTH=2\r\n",
        "SUMMARY:День рождения: Високосный Касьян\r\n", "TRANSP:TRANSPARENT\r\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  }
  EXPECT_EQ(BirthdayCalendar({}, 0).find("BEGIN:VEVENT"), std::string::npos);
}

}  // namespace
}  // namespace zuna::tool
