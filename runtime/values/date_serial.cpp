#include "runtime/values/date_serial.h"

#include <algorithm>
#include <array>
#include <limits>

#include "runtime/values/clock.h"

namespace zuna::values {
namespace {

// Days before the first of each month in a common year (Gregorian calendar).
constexpr std::array<int, 12> kDaysBeforeMonth = {0,   31,  59,  90,  120, 151,
                                                  181, 212, 243, 273, 304, 334};
constexpr std::array<int, 12> kDaysInMonth = {31, 28, 31, 30, 31, 30,
                                              31, 31, 30, 31, 30, 31};

constexpr int kFirstYear = 1801;
constexpr int kLastYear = 9999;

// Leap days in years 1..y: y div 4 + y div 400 - y div 100.
constexpr int64_t LeapDaysThrough(int64_t year) {
  return year / 4 + year / 400 - year / 100;
}

constexpr bool IsLeap(int64_t year) {
  return year % 4 == 0 && (year % 400 == 0 || year % 100 != 0);
}

// The serial the formula gives for any year >= 1, month 1-12 and day
// (unchecked: the day may lie beyond the month, and years before 1801 give
// serials below 4).  AGE needs dates a century before the first serial.
constexpr int64_t DayNumber(int64_t year, int month, int64_t day) {
  int64_t n = kDaysBeforeMonth[month - 1] + 365 * year + day +
              LeapDaysThrough(year) - LeapDaysThrough(1800) - 657362;
  if (month <= 2 && IsLeap(year)) --n;
  return n;
}

static_assert(DayNumber(1801, 1, 1) == kFirstDateSerial);
static_assert(DayNumber(9999, 12, 31) == kLastDateSerial);

// Days from 1 March of year 0 to (year, month, day), for year >= 0.  Counting
// from March puts the leap day at the end of the counted year, so every
// month but February has a fixed offset: (153 * month_from_march + 2) / 5.
constexpr int64_t DaysFromMarchOfYearZero(int64_t year, int month, int day) {
  if (month <= 2) --year;
  const int64_t era = year / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year =
      (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  return era * 146097 + year_of_era * 365 + year_of_era / 4 -
         year_of_era / 100 + day_of_year;
}

// Serial + kMarchZeroOffset is the day count above.
constexpr int64_t kMarchZeroOffset =
    DaysFromMarchOfYearZero(1801, 1, 1) - kFirstDateSerial;
static_assert(DaysFromMarchOfYearZero(2009, 3, 5) - kMarchZeroOffset ==
              DayNumber(2009, 3, 5));
static_assert(DaysFromMarchOfYearZero(2000, 2, 29) - kMarchZeroOffset ==
              DayNumber(2000, 2, 29));
static_assert(DaysFromMarchOfYearZero(9999, 12, 31) - kMarchZeroOffset ==
              kLastDateSerial);
static_assert(kLastDateSerial + kMarchZeroOffset < 4'000'000);

}  // namespace

bool IsLeapYear(int year) { return IsLeap(year); }

int DaysInMonth(int year, int month) {
  if (month < 1 || month > 12) return 0;
  return (month == 2 && IsLeap(year)) ? 29 : kDaysInMonth[month - 1];
}

bool IsValidDateSerial(int32_t serial) {
  return serial >= kFirstDateSerial && serial <= kLastDateSerial;
}

bool IsValidTimeSerial(int32_t serial) {
  return serial >= 1 && serial <= kLastTimeSerial;
}

int WidenYear(int year, int window, int current_year) {
  if (year < 0 || year >= 100) return year;
  window = std::clamp(window, 0, 99);
  // 64-bit, then saturated: a current year near the ends of int (only a
  // broken clock gives one) must not overflow.
  const int64_t c = current_year % 100 - year;
  int64_t widened = current_year - c;
  if (c <= window - 100) {
    widened -= 100;
  } else if (c > window) {
    widened += 100;
  }
  return static_cast<int>(std::clamp<int64_t>(widened,
                                              std::numeric_limits<int>::min(),
                                              std::numeric_limits<int>::max()));
}

int32_t SerialFromCivil(int year, int month, int day) {
  if (year < kFirstYear || year > kLastYear) return -1;
  if (month < 1 || month > 12) return -1;
  if (day < 1 || day > DaysInMonth(year, month)) return -1;
  return static_cast<int32_t>(DayNumber(year, month, day));
}

// The inverse of DaysFromMarchOfYearZero in constant time: the month walk of
// the plain method costs more than the rest of FORMAT, which the birthday
// filter runs three times per record.  The tests check it against
// SerialFromCivil over the whole range.
CivilDate CivilFromSerial(int32_t serial) {
  if (!IsValidDateSerial(serial)) return {};
  // Unsigned 32-bit: every count here is below 4 million, and division by
  // a constant is cheapest at this width.
  const uint32_t days = static_cast<uint32_t>(serial + kMarchZeroOffset);
  const uint32_t era = days / 146097;
  const uint32_t day_of_era = days - era * 146097;  // 0 .. 146096
  const uint32_t year_of_era = (day_of_era - day_of_era / 1460 +
                                day_of_era / 36524 - day_of_era / 146096) /
                               365;  // 0 .. 399
  const uint32_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const uint32_t month_from_march = (5 * day_of_year + 2) / 153;  // 0 .. 11
  CivilDate date;
  date.day =
      static_cast<int>(day_of_year - (153 * month_from_march + 2) / 5 + 1);
  date.month = static_cast<int>(month_from_march < 10 ? month_from_march + 3
                                                      : month_from_march - 9);
  date.year =
      static_cast<int>(era * 400 + year_of_era) + (date.month <= 2 ? 1 : 0);
  return date;
}

TimeOfDay TimeFromSerial(int32_t serial) {
  if (!IsValidTimeSerial(serial)) return {};
  const int32_t t = serial - 1;
  TimeOfDay time;
  time.hour = t / 360000;
  time.minute = t % 360000 / 6000;
  time.second = t % 6000 / 100;
  time.centisecond = t % 100;
  return time;
}

int32_t DATE(int32_t month, int32_t day, int32_t year) {
  if (month < 1 || year < 0) return -1;
  int64_t full_year =
      year < 100 ? WidenYear(year, kDefaultCenturyWindow, CurrentYear()) : year;
  // Months beyond December roll into later years; dividing keeps a month of
  // 2^31-1 as cheap as 13.
  full_year += (int64_t{month} - 1) / 12;
  const int month_of_year = (month - 1) % 12 + 1;
  if (full_year < kFirstYear || full_year > kLastYear) return -1;
  const int64_t serial = DayNumber(full_year, month_of_year, 1) + day - 1;
  if (serial < kFirstDateSerial || serial > kLastDateSerial) return -1;
  return static_cast<int32_t>(serial);
}

int32_t DAY(int32_t serial) { return CivilFromSerial(serial).day; }
int32_t MONTH(int32_t serial) { return CivilFromSerial(serial).month; }
int32_t YEAR(int32_t serial) { return CivilFromSerial(serial).year; }

std::string AGE(int32_t birth, int32_t base) {
  if (!IsValidDateSerial(birth) || !IsValidDateSerial(base)) {
    return std::string(kAgeUnknown);
  }
  CivilDate born = CivilFromSerial(birth);
  const CivilDate now = CivilFromSerial(base);
  int64_t born_day = birth;
  if (birth > base) {
    // A birth date in the future is taken as a two-digit year that was
    // widened into the wrong century.
    born.year -= 100;
    born_day = DayNumber(born.year, born.month, 1) + born.day - 1;
    if (born_day > base) return std::string(kAgeUnknown);
  }
  const int64_t days = base - born_day;
  if (days < 61) return std::to_string(days) + " DAYS";
  int months = 12 * (now.year - born.year) + (now.month - born.month);
  if (now.day < born.day) --months;
  if (months <= 24) return std::to_string(months) + " MOS";
  int years = now.year - born.year;
  if (now.month < born.month ||
      (now.month == born.month && now.day < born.day)) {
    --years;
  }
  return std::to_string(years) + " YRS";
}

std::string AGE(int32_t birth) { return AGE(birth, TODAY()); }

}  // namespace zuna::values
