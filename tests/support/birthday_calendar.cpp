#include "tests/support/birthday_calendar.h"

#include <cstdio>

namespace zuna::testing {

using std::chrono::day;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;

year_month_day BirthdayIn(int y, unsigned m, unsigned d) {
  if (m == 2 && d == 29 && !year{y}.is_leap()) return year{y} / 3 / 1;
  return year{y} / month{m} / day{d};
}

bool UpcomingWithinWeek(year_month_day today, year_month_day born) {
  const int y = static_cast<int>(today.year());
  const unsigned m = static_cast<unsigned>(born.month());
  const unsigned d = static_cast<unsigned>(born.day());
  sys_days next{BirthdayIn(y, m, d)};
  if (next < sys_days{today}) next = sys_days{BirthdayIn(y + 1, m, d)};
  return (next - sys_days{today}).count() <= 7;
}

int32_t DateSerial(year_month_day date) {
  return static_cast<int32_t>((sys_days{date} - sys_days{year{1801} / 1 / 1}).count()) + 4;
}

std::vector<year_month_day> DaysFrom(year_month_day first, year_month_day last) {
  std::vector<year_month_day> days;
  for (sys_days t = sys_days{first}; t <= sys_days{last}; t += std::chrono::days{1}) {
    days.push_back(year_month_day{t});
  }
  return days;
}

std::string DescribeTodayAndBirth(year_month_day today, year_month_day birth) {
  char text[64];
  std::snprintf(text, sizeof text, "today %04d-%02u-%02u, born %04d-%02u-%02u",
                static_cast<int>(today.year()), static_cast<unsigned>(today.month()),
                static_cast<unsigned>(today.day()), static_cast<int>(birth.year()),
                static_cast<unsigned>(birth.month()), static_cast<unsigned>(birth.day()));
  return text;
}

}  // namespace zuna::testing
