// Date and time serials and the calendar arithmetic behind them.
//
//   date serial  signed 32-bit day number; 4 is 1 January 1801 and 2994626 is
//                31 December 9999.  Valid when 3 < serial <= 2994626; 0 means
//                "no date".  Calendar: proleptic Gregorian.
//   time serial  hundredths of a second since midnight plus one; 1 is
//                midnight, 8640000 the largest valid value; 0 means "no time".
//
// Pure functions of their arguments (the two-digit-year window also reads
// CurrentYear() from clock.h); defined for every input, never undefined
// behaviour: out-of-range arguments give the documented invalid result.
#ifndef ZUNA_RUNTIME_VALUES_DATE_SERIAL_H_
#define ZUNA_RUNTIME_VALUES_DATE_SERIAL_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace zuna::values {

inline constexpr int32_t kFirstDateSerial = 4;        // 1 January 1801
inline constexpr int32_t kLastDateSerial = 2994626;   // 31 December 9999
inline constexpr int32_t kLastTimeSerial = 8640000;   // 24:00:00.00 less 1/100
inline constexpr int kDefaultCenturyWindow = 80;

struct CivilDate {
  int year = 0;
  int month = 0;
  int day = 0;
  friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

struct TimeOfDay {
  int hour = 0;
  int minute = 0;
  int second = 0;
  int centisecond = 0;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);  // 0 for a month outside 1-12
bool IsValidDateSerial(int32_t serial);
bool IsValidTimeSerial(int32_t serial);

// Widens a year 0-99 against `current_year` with window w: the result lies
// in current_year - w ... current_year + 99 - w.  A window outside 0-99 is
// clamped into it.  Negative years and years of 100 and above are returned
// unchanged; a result beyond int (an absurd current_year) saturates.
int WidenYear(int year, int window, int current_year);

// The serial of a valid calendar date (year 1801-9999, month 1-12, day within
// the month); -1 for anything else.  No widening.
int32_t SerialFromCivil(int year, int month, int day);

// The calendar date of a valid serial; {0, 0, 0} for an invalid one.
CivilDate CivilFromSerial(int32_t serial);

// Time of day of a valid time serial (1 .. kLastTimeSerial); zeros for an
// invalid one.
TimeOfDay TimeFromSerial(int32_t serial);

// DATE(month, day, year): years 0-99 are widened with window 80 against
// CurrentYear() first, months above 12 roll into the following years (by
// division, so a month of 2^31-1 costs no more than 13), a day beyond the
// month's end rolls forward, day 0 is the previous month's last day and a
// negative day counts further back.  A month below 1, a negative year, a
// year (after rolling) outside 1801-9999, or a result outside the valid
// serials gives -1.
int32_t DATE(int32_t month, int32_t day, int32_t year);

// Parts of a serial; 0 for an invalid serial.
int32_t DAY(int32_t serial);
int32_t MONTH(int32_t serial);
int32_t YEAR(int32_t serial);

// AGE(birth, base): "<n> DAYS" below 61 days, "<n> MOS" up to 24 months,
// else "<n> YRS"; a birth after the base is first moved back 100 years (in
// the day count, a 29 February that does not exist then is 1 March), and
// if it is still after the base, or either serial is invalid, the result is
// kAgeUnknown.  AGE(birth) uses TODAY() as the base.
inline constexpr std::string_view kAgeUnknown = "***";
std::string AGE(int32_t birth, int32_t base);
std::string AGE(int32_t birth);

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_DATE_SERIAL_H_
