// tab1: the people whose birthday is today or within the next seven days,
// with today's date and how many they are, in the order of the full date
// of birth.  The selection is the upcoming-birthdays filter
// (upcoming_filter.h), the same one `zunatool upcoming` uses.
//
// Each window has its own date values, computed from one reading of today
// at every refresh; two windows open at once never disturb each other's
// filter.  The count is 32-bit.
//
// Threads: runs on a thread of its own (the frame starts it), which must
// have its dictionary.
#ifndef ZUNA_APP_UPCOMING_LIST_H_
#define ZUNA_APP_UPCOMING_LIST_H_

#include <cstdint>

#include "runtime/window/engine.h"

namespace zuna::app {

inline constexpr int32_t kUpcomingList = 1;
inline constexpr int32_t kUpcomingSheet = 2;
inline constexpr int32_t kUpcomingTab = 3;
inline constexpr int32_t kUpcomingTodayPrompt = 4;
inline constexpr int32_t kUpcomingToday = 5;
inline constexpr int32_t kUpcomingClose = 6;
inline constexpr int32_t kUpcomingTotalPrompt = 7;
inline constexpr int32_t kUpcomingTotal = 8;

window::WindowDefinition UpcomingListDefinition();

void tab1();

}  // namespace zuna::app

#endif  // ZUNA_APP_UPCOMING_LIST_H_
