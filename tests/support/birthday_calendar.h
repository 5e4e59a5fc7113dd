// Calendar facts for the tests of the upcoming-birthdays list, computed with
// std::chrono alone and never with the runtime's own date code, so they can
// serve as expected values.  Pure functions: safe on any thread.
#ifndef ZUNA_TESTS_SUPPORT_BIRTHDAY_CALENDAR_H_
#define ZUNA_TESTS_SUPPORT_BIRTHDAY_CALENDAR_H_

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace zuna::testing {

// The birthday in year `y` of someone born on month `m`, day `d`: 29
// February is 1 March in a common year, as DEFORMAT reads year & "0229".
std::chrono::year_month_day BirthdayIn(int y, unsigned m, unsigned d);

// Listed by the register: this year's birthday, or next year's once this
// year's has passed, is 0 to 7 days after `today`.
bool UpcomingWithinWeek(std::chrono::year_month_day today, std::chrono::year_month_day born);

// The runtime's date serial of a valid date: serial 4 is 1 January 1801.
int32_t DateSerial(std::chrono::year_month_day date);

// Every day from `first` to `last`, both included; none when `last` comes
// before `first`.
std::vector<std::chrono::year_month_day> DaysFrom(std::chrono::year_month_day first,
                                                   std::chrono::year_month_day last);

// "today 2009-12-25, born 1980-01-01", for failure messages.
std::string DescribeTodayAndBirth(std::chrono::year_month_day today,
                                  std::chrono::year_month_day birth);

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_BIRTHDAY_CALENDAR_H_
