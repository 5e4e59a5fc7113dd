// The values a message box is asked for with: its buttons and the system
// icons.  The window engine and the framework's error manager both speak in
// them, so a button mask or an answer passes between the two unchanged.
//
// Constants only: safe on any thread.
#ifndef ZUNA_RUNTIME_WINDOW_MESSAGE_BOX_H_
#define ZUNA_RUNTIME_WINDOW_MESSAGE_BOX_H_

#include <cstdint>

namespace zuna::window {

// Message-box buttons: one bit each, so a set is their sum (a mask) and an
// answer is one of them.
namespace BUTTON {
inline constexpr int32_t OK = 1;
inline constexpr int32_t Yes = 2;
inline constexpr int32_t No = 4;
inline constexpr int32_t Abort = 8;
inline constexpr int32_t Retry = 16;
inline constexpr int32_t Ignore = 32;
inline constexpr int32_t Cancel = 64;
inline constexpr int32_t Help = 128;
}  // namespace BUTTON

// The system icons by resource number, 0 for none.  SystemIconName()
// (properties.h) turns a number into the icon name the engine takes.
namespace SystemIcon {
inline constexpr int32_t None = 0;
inline constexpr int32_t Hand = 32513;
inline constexpr int32_t Question = 32514;
inline constexpr int32_t Exclamation = 32515;
inline constexpr int32_t Asterisk = 32516;
inline constexpr int32_t Information = Asterisk;
}  // namespace SystemIcon

}  // namespace zuna::window

#endif  // ZUNA_RUNTIME_WINDOW_MESSAGE_BOX_H_
