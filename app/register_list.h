// tab2: the whole register in name order.  Typing the beginning of a
// surname in the search field moves the highlight there; "Итого:" shows how
// many entries there are; "Добавить", "Изменить" and "Удалить" (or Insert,
// Ctrl+Enter, Delete, a double-click, the right-click menu) run the record
// form UpdateZun on the list's own thread and wait for it.
//
// Threads: runs on a thread of its own (the frame starts it), which must
// have its dictionary.
#ifndef ZUNA_APP_REGISTER_LIST_H_
#define ZUNA_APP_REGISTER_LIST_H_

#include <cstdint>

#include "runtime/window/engine.h"

namespace zuna::app {

inline constexpr int32_t kRegisterList = 1;
inline constexpr int32_t kRegisterSelect = 2;
inline constexpr int32_t kRegisterInsert = 3;
inline constexpr int32_t kRegisterChange = 4;
inline constexpr int32_t kRegisterDelete = 5;
inline constexpr int32_t kRegisterSheet = 6;
inline constexpr int32_t kRegisterTab = 7;
inline constexpr int32_t kRegisterSearch = 8;
inline constexpr int32_t kRegisterSearchPrompt = 9;
inline constexpr int32_t kRegisterClose = 10;
inline constexpr int32_t kRegisterTotal = 11;
inline constexpr int32_t kRegisterTotalPrompt = 12;

window::WindowDefinition RegisterListDefinition();

void tab2();

}  // namespace zuna::app

#endif  // ZUNA_APP_REGISTER_LIST_H_
