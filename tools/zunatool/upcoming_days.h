// The calendar rule behind `upcoming` and `remind`: who has a birthday
// within the next N days, and how far off it is.
//
// A person's next birthday is this year's when it falls today or later,
// else next year's; someone born on 29 February has it on 1 March in a
// common year (the date DEFORMAT makes of year & "0229", as the program's
// list reads it).  Upcoming within N days: the next birthday is 0 to N days
// after today.
//
// For N = 7 this selects exactly the people of the program's list "День
// рождения в ближайшие 7 дней" (app/upcoming_filter.h): its filter's two
// branches -- the birthday in the year `ms`, 0 to 7 days ahead, and from
// 25 December the rest of December -- are this rule for a week, where the
// rest of December is this year's birthday and early January next year's.
// The rule itself needs no year-end date: it holds for any N up to a year.
//
// Pure functions of their arguments: safe on any thread.
#ifndef ZUNA_TOOLS_ZUNATOOL_UPCOMING_DAYS_H_
#define ZUNA_TOOLS_ZUNATOOL_UPCOMING_DAYS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zuna::tool {

// The program's list looks a week ahead; --days reaches a year and a day,
// enough for the birthday of someone born on 29 February seen from 1 March
// of a leap year (365 days to 1 March of the next year) and then some.
inline constexpr int kDefaultUpcomingDays = 7;
inline constexpr int kMaxUpcomingDays = 366;

struct NextBirthday {
  int32_t date = 0;    // the birthday's date serial
  int days_until = 0;  // 0 today, 1 tomorrow, ...
  int turns = 0;       // the age reached that day: its year less the birth
                       // year (0 or less for a birth date still to come)
};

// The next birthday of someone born on date serial `birth`, seen on date
// serial `today`.  nullopt when either is not a valid date serial (a record
// the program left without a date, DATA 0, has none) or when the birthday
// would lie after 9999.
std::optional<NextBirthday> NextBirthdayAfter(int32_t today, int32_t birth);

// The next birthday when it is 0 to `days` days after `today`, else
// nullopt.  REQUIRES: 0 <= days <= kMaxUpcomingDays.
std::optional<NextBirthday> UpcomingBirthday(int32_t today, int32_t birth, int days);

// The value of --days: a whole number from 0 to kMaxUpcomingDays, in
// decimal digits only; nullopt for anything else.
std::optional<int> ParseUpcomingDays(std::string_view text);

// The refusal, for the user, of a --days value ParseUpcomingDays refused.
std::string UpcomingDaysRefusal(std::string_view text);

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_UPCOMING_DAYS_H_
