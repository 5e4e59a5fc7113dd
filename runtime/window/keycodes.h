// Key codes: what KEYCODE() returns and what ALERT takes.
//
// A key's code is its virtual-key number plus 100h for Shift, 200h for Ctrl
// and 400h for Alt.  Mouse actions have codes of their own below 10h (and
// 80h added for a button's release).  Keys are identified by their position
// on the keyboard, not by the character a layout gives them: Ctrl with the
// apostrophe key is 2DEh (734) under a Russian layout too, where the key
// types «Э».  KEYCHAR() gives the character in the program's code page, 0
// for keys without one.
// Constants only: safe on any thread.
#ifndef ZUNA_RUNTIME_WINDOW_KEYCODES_H_
#define ZUNA_RUNTIME_WINDOW_KEYCODES_H_

#include <cstdint>

namespace zuna::window {

namespace KEY {
inline constexpr int32_t Shift = 0x100;
inline constexpr int32_t Ctrl = 0x200;
inline constexpr int32_t Alt = 0x400;

inline constexpr int32_t MouseLeft = 0x01;
inline constexpr int32_t MouseRight = 0x02;
inline constexpr int32_t MouseLeft2 = 0x05;     // double-click
inline constexpr int32_t MouseRightUp = 0x82;   // right button released

inline constexpr int32_t BS = 0x08;
inline constexpr int32_t Tab = 0x09;
inline constexpr int32_t Enter = 0x0D;
inline constexpr int32_t Esc = 0x1B;
inline constexpr int32_t Space = 0x20;
inline constexpr int32_t PgUp = 0x21;
inline constexpr int32_t PgDn = 0x22;
inline constexpr int32_t End = 0x23;
inline constexpr int32_t Home = 0x24;
inline constexpr int32_t Left = 0x25;
inline constexpr int32_t Up = 0x26;
inline constexpr int32_t Right = 0x27;
inline constexpr int32_t Down = 0x28;
inline constexpr int32_t Insert = 0x2D;
inline constexpr int32_t Delete = 0x2E;
inline constexpr int32_t Apps = 0x5D;
inline constexpr int32_t F1 = 0x70;
inline constexpr int32_t Quote = 0xDE;  // the apostrophe key

inline constexpr int32_t CtrlEnter = Ctrl + Enter;    // 20Dh
inline constexpr int32_t ShiftEnter = Shift + Enter;  // 10Dh
inline constexpr int32_t CtrlQuote = Ctrl + Quote;    // 2DEh = 734
}  // namespace KEY

}  // namespace zuna::window

#endif  // ZUNA_RUNTIME_WINDOW_KEYCODES_H_
