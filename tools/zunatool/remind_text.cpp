#include "tools/zunatool/remind_text.h"

#include <algorithm>

#include "runtime/values/code_page.h"
#include "runtime/values/date_serial.h"

namespace zuna::tool {
namespace {

constexpr const char* kDays[3] = {"день", "дня", "дней"};
constexpr const char* kYears[3] = {"год", "года", "лет"};
constexpr const char* kMonthsGenitive[12] = {
    "января", "февраля", "марта",    "апреля",  "мая",    "июня",
    "июля",   "августа", "сентября", "октября", "ноября", "декабря"};

std::string When(const NextBirthday& next) {
  if (next.days_until == 0) return "сегодня";
  const values::CivilDate date = values::CivilFromSerial(next.date);
  const std::string day =
      std::to_string(date.day) + " " + kMonthsGenitive[(date.month + 11) % 12];
  if (next.days_until == 1) return "завтра, " + day;
  return "через " + CountOf(next.days_until, kDays) + ", " + day;
}

}  // namespace

std::string CountOf(int n, const char* const (&forms)[3]) {
  const int last_two = n % 100;
  const int last = n % 10;
  const char* form = forms[2];
  if (last_two < 11 || last_two > 14) {
    if (last == 1) form = forms[0];
    if (last >= 2 && last <= 4) form = forms[1];
  }
  return std::to_string(n) + " " + form;
}

std::string RemindBody(const std::vector<UpcomingPerson>& people) {
  // The list's order is by birth date; a reminder reads by the calendar.
  std::vector<const UpcomingPerson*> soonest;
  for (const UpcomingPerson& person : people) soonest.push_back(&person);
  std::stable_sort(soonest.begin(), soonest.end(),
                   [](const UpcomingPerson* a, const UpcomingPerson* b) {
                     return a->next.days_until < b->next.days_until;
                   });
  std::string body;
  for (const UpcomingPerson* p : soonest) {
    const UpcomingPerson& person = *p;
    if (!body.empty()) body += '\n';
    body += When(person.next) + " — " + values::Cp1251ToUtf8(person.fio);
    if (person.next.turns > 0) body += ", " + CountOf(person.next.turns, kYears);
  }
  return body;
}

}  // namespace zuna::tool
