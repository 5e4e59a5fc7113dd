#include "tools/zunatool/upcoming_days.h"

#include <charconv>

#include "runtime/values/date_serial.h"

namespace zuna::tool {
namespace {

// The birthday in `year` of someone born on month `month`, day `day`; -1
// when it falls outside the serials (after 9999).
int32_t BirthdayIn(int year, int month, int day) {
  if (month == 2 && day == 29 && !values::IsLeapYear(year)) {
    month = 3;
    day = 1;
  }
  return values::SerialFromCivil(year, month, day);
}

}  // namespace

std::optional<NextBirthday> NextBirthdayAfter(int32_t today, int32_t birth) {
  if (!values::IsValidDateSerial(today) || !values::IsValidDateSerial(birth)) {
    return std::nullopt;
  }
  const values::CivilDate now = values::CivilFromSerial(today);
  const values::CivilDate born = values::CivilFromSerial(birth);
  int year = now.year;
  int32_t date = BirthdayIn(year, born.month, born.day);
  if (date < today) date = BirthdayIn(++year, born.month, born.day);
  if (date < 0) return std::nullopt;
  return NextBirthday{date, date - today, year - born.year};
}

std::optional<NextBirthday> UpcomingBirthday(int32_t today, int32_t birth, int days) {
  std::optional<NextBirthday> next = NextBirthdayAfter(today, birth);
  if (next && next->days_until > days) return std::nullopt;
  return next;
}

std::optional<int> ParseUpcomingDays(std::string_view text) {
  // from_chars would take a sign; the option takes digits only.
  if (text.empty() || text.size() > 3 || text[0] < '0' || text[0] > '9') {
    return std::nullopt;
  }
  int days = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), days);
  if (error != std::errc() || end != text.data() + text.size() || days < 0 ||
      days > kMaxUpcomingDays) {
    return std::nullopt;
  }
  return days;
}

std::string UpcomingDaysRefusal(std::string_view text) {
  return "после --days нужно число дней от 0 до " + std::to_string(kMaxUpcomingDays) +
         ", а написано \"" + std::string(text) + "\"";
}

}  // namespace zuna::tool
