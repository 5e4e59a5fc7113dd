// Key codes (keycodes.h) from what Qt reports of a key press.  Qt-free
// signature, so the mapping is testable without a screen.
//
// The key is taken by its position where the platform tells it (X11 scan
// codes): Ctrl with the apostrophe key is 734 whatever the layout.  Without
// a scan code (the offscreen platform) the Qt key, then the typed character
// on a Russian-and-Latin keyboard, decide.
#ifndef ZUNA_RUNTIME_WINDOW_QT_QT_KEYS_H_
#define ZUNA_RUNTIME_WINDOW_QT_QT_KEYS_H_

#include <cstdint>
#include <string_view>

namespace zuna::window::qt {

struct QtKeyPress {
  int qt_key = 0;               // Qt::Key
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
  uint32_t scan_code = 0;       // native (X11) scan code; 0 when unknown
  std::string_view text_utf8{};  // the text the press types
};

// The runtime's key code; 0 for a press that is only a modifier.
int32_t KeyCodeFromQt(const QtKeyPress& press);

// The typed character in the program's code page; 0 when none (or when it
// is a control character).
int32_t KeyCharFromQt(const QtKeyPress& press);

}  // namespace zuna::window::qt

#endif  // ZUNA_RUNTIME_WINDOW_QT_QT_KEYS_H_
