// The upcoming-birthdays selection of the register: the filter text the list
// "День рождения в ближайшие 7 дней" hands to its view, and the five date
// variables it names.  The list window takes the text and the binding from
// here.  zunatool's `upcoming` and `remind` select with the calendar rule
// of tools/zunatool/upcoming_days.h instead, which reaches any number of
// days and, for 7, picks exactly the people this text picks (its tests
// hold the two together on every day of a leap and a common year).
//
// Who is listed: the people whose birthday falls today or within the next 7
// days -- this year's birthday, or next year's once this year's has passed;
// 29 February is the date DEFORMAT makes of year & "0229" (1 March in a
// common year).  The filter does it in two branches:
//   1. the birthday in year `ms` (`ms` followed by the birth MMDD, read back
//      with @d12) lies 0 to 7 days after today;
//   2. today is 25 December or later (`d` >= 1225) and the birth MMDD is at
//      least today's: the rest of December, at most 6 days away.
// From 25 December `ms` is next year, so branch 1 finds the birthdays of
// early January, which fall in the next year and are up to 7 days away.
//
// The register's original text had 1228 for 1225, and took `ms` as next
// year only through a year-end step that looked at whichever record was in
// the buffer; on 25 to 27 December it missed every birthday on 1 to 3
// January (their date in this year lies in the past, and branch 2 had not
// yet begun).  Mended with the smallest change: the threshold 1225 in the
// filter, and `ms` (and `m` with it, as the old year-end step had them) is
// next year from 25 December, computed from today alone.  From 25 December
// the rest of December is at most 6 days away, so branch 2 still lists it
// whole, and the text keeps its 191 characters.
//
// Threads: the variables are per list (the register's procedure keeps them
// per thread): each list fills its own UpcomingDates from one TODAY() and
// binds it in its own binding scope.  The object must stay alive, at the
// same address, while a filter compiled over its binding may be evaluated.
#ifndef ZUNA_APP_UPCOMING_FILTER_H_
#define ZUNA_APP_UPCOMING_FILTER_H_

#include <cstdint>
#include <string_view>

namespace zuna::app {

inline constexpr std::string_view kUpcomingFilter =
    "(((deformat(ms & sub(format(zun:data,@d12),5,4),@d12)-today())>=0 and "
    "(deformat(ms & sub(format(zun:data,@d12),5,4),@d12)-today())<=7) or "
    "(int(sub(format(zun:data,@d12),5,4))>=d and d>=1225))";
static_assert(kUpcomingFilter.size() == 191);

// The list's order: ZUN:zun_key, by full date of birth.
inline constexpr std::string_view kUpcomingOrder = "ZUN:DATA";

// From this MMDD on, the birthdays in `ms` are next year's.
inline constexpr int16_t kYearEndMmdd = 1225;

// The five bound variables, with the types the register declares.
struct UpcomingDates {
  char ms[4];   // STRING(4): the year of the birthdays branch 1 builds
  int16_t d;    // SHORT: today's MMDD as a number (1228 for 28 December)
  char dd[10];  // STRING(10): today as the list shows it (@d6)
  int16_t m;    // SHORT: the year of `ms` as a number
  char ds[4];   // STRING(4): today's MMDD as four characters
};

// The date refresh for today's date serial `today`: `m` and `ms` the year,
// `d` and `ds` the month and day, `dd` the date in @d6; from 25 December,
// `m` and `ms` the next year.
void RefreshUpcomingDates(int32_t today, UpcomingDates* dates);

// Binds "ms", "d", "dd", "m", "ds" (in that order) to `dates` in the calling
// thread's newest binding scope.
void BindUpcomingDates(UpcomingDates& dates);

}  // namespace zuna::app

#endif  // ZUNA_APP_UPCOMING_FILTER_H_
