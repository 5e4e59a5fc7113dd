// The demonstration's resizable window: a list of people that keeps its
// controls in place through WindowResizeClass as the user sizes the window,
// and a right-click menu on the list (PopupClass) that mirrors the window's
// buttons.  Written against the window interface and the framework only,
// so it runs on any screen.
#ifndef ZUNA_APP_WINDOW_DEMO_PEOPLE_WINDOW_H_
#define ZUNA_APP_WINDOW_DEMO_PEOPLE_WINDOW_H_

#include <cstdint>

namespace zuna::app::demo {

// UTF-8 texts, for the demonstration's drivers.
inline constexpr const char* kPeopleItem = "Список людей";
inline constexpr const char* kPeopleTitle = "Люди и дни рождения";
inline constexpr const char* kChosenPrefix = "Выбрано: ";

// Controls of the window.
inline constexpr int32_t kPeopleList = 1;
inline constexpr int32_t kInsertButton = 2;
inline constexpr int32_t kChangeButton = 3;
inline constexpr int32_t kDeleteButton = 4;  // disabled: the menu shows it so
inline constexpr int32_t kCloseButton_ = 5;
inline constexpr int32_t kStatusLine = 6;

// The window's size as defined, in dialog units.
inline constexpr int32_t kPeopleWidth = 260;
inline constexpr int32_t kPeopleHeight = 150;

// The window's procedure: started by the frame's menu on a new thread.
void DemoPeople();

}  // namespace zuna::app::demo

#endif  // ZUNA_APP_WINDOW_DEMO_PEOPLE_WINDOW_H_
