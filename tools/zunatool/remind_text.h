// The words of `remind`'s notification: a title, and a line per person,
// soonest first (equal days in the order given), in Russian, UTF-8:
//
//   сегодня — Иванов Иван, 30 лет
//   завтра, 27 декабря — Петров Пётр, 45 лет
//   через 3 дня, 29 декабря — Сидорова Анна, 21 год
//
// The age is left out for a birth date still to come.  Pure functions.
#ifndef ZUNA_TOOLS_ZUNATOOL_REMIND_TEXT_H_
#define ZUNA_TOOLS_ZUNATOOL_REMIND_TEXT_H_

#include <string>
#include <vector>

#include "tools/zunatool/upcoming_people.h"

namespace zuna::tool {

inline constexpr const char* kRemindSummary = "Дни рождения";

// The lines for `people`, soonest first, each ended by a newline but the
// last.
std::string RemindBody(const std::vector<UpcomingPerson>& people);

// `n` with the word's Russian form for it: (1, день) "1 день", 3 "3 дня",
// 11 "11 дней", 21 "21 день".  `forms` are the forms for 1, 2 and 5.
std::string CountOf(int n, const char* const (&forms)[3]);

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_REMIND_TEXT_H_
