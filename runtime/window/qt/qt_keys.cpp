#include "runtime/window/qt/qt_keys.h"

#include <QtCore/qnamespace.h>

#include "runtime/values/code_page.h"
#include "runtime/window/headless.h"
#include "runtime/window/keycodes.h"

namespace zuna::window::qt {
namespace {

// The virtual key at each X11 scan code of the main block (evdev: the
// Linux key number plus 8).  0 where the block has no such key.
int32_t KeyAtScanCode(uint32_t scan) {
  static constexpr struct {
    uint32_t first;
    const char* keys;  // one virtual key per scan code from `first`
  } kRows[] = {
      {10, "1234567890"},
      {24, "QWERTYUIOP"},
      {38, "ASDFGHJKL"},
      {52, "ZXCVBNM"},
  };
  for (const auto& row : kRows) {
    std::string_view keys(row.keys);
    if (scan >= row.first && scan < row.first + keys.size()) return keys[scan - row.first];
  }
  switch (scan) {
    case 20: return 0xBD;  // -
    case 21: return 0xBB;  // =
    case 34: return 0xDB;  // [
    case 35: return 0xDD;  // ]
    case 47: return 0xBA;  // ;
    case 48: return KEY::Quote;
    case 49: return 0xC0;  // `
    case 51: return 0xDC;  // backslash
    case 59: return 0xBC;  // ,
    case 60: return 0xBE;  // .
    case 61: return 0xBF;  // /
    default: return 0;
  }
}

int32_t KeyOfQtKey(int key) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return '0' + (key - Qt::Key_0);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return KEY::F1 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return KEY::Enter;
    case Qt::Key_Escape: return KEY::Esc;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return KEY::Tab;
    case Qt::Key_Backspace: return KEY::BS;
    case Qt::Key_Space: return KEY::Space;
    case Qt::Key_Insert: return KEY::Insert;
    case Qt::Key_Delete: return KEY::Delete;
    case Qt::Key_Home: return KEY::Home;
    case Qt::Key_End: return KEY::End;
    case Qt::Key_PageUp: return KEY::PgUp;
    case Qt::Key_PageDown: return KEY::PgDn;
    case Qt::Key_Left: return KEY::Left;
    case Qt::Key_Up: return KEY::Up;
    case Qt::Key_Right: return KEY::Right;
    case Qt::Key_Down: return KEY::Down;
    case Qt::Key_Menu: return KEY::Apps;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl: return KEY::Quote;
    case Qt::Key_Comma:
    case Qt::Key_Less: return 0xBC;
    case Qt::Key_Period:
    case Qt::Key_Greater: return 0xBE;
    case Qt::Key_Minus:
    case Qt::Key_Underscore: return 0xBD;
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return 0xBA;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return 0xDB;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return 0xDD;
    case Qt::Key_Slash:
    case Qt::Key_Question: return 0xBF;
    case Qt::Key_Equal:
    case Qt::Key_Plus: return 0xBB;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: return 0xC0;
    case Qt::Key_Backslash:
    case Qt::Key_Bar: return 0xDC;
    default: return 0;
  }
}

bool IsModifierOnly(int key) {
  return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt ||
         key == Qt::Key_Meta || key == Qt::Key_AltGr || key == Qt::Key_CapsLock;
}

}  // namespace

int32_t KeyCodeFromQt(const QtKeyPress& press) {
  if (IsModifierOnly(press.qt_key)) return 0;
  int32_t key = KeyOfQtKey(press.qt_key);
  // Keys that type characters go by their place on the keyboard.
  if (int32_t placed = KeyAtScanCode(press.scan_code); placed != 0) key = placed;
  if (key == 0 && !press.text_utf8.empty()) {
    std::string typed = values::Utf8ToCp1251(press.text_utf8);
    if (typed.size() == 1) key = KeyCodeForCharacter(typed[0]) & 0xFF;
  }
  if (key == 0) return 0;
  if (press.shift) key += KEY::Shift;
  if (press.ctrl) key += KEY::Ctrl;
  if (press.alt) key += KEY::Alt;
  return key;
}

int32_t KeyCharFromQt(const QtKeyPress& press) {
  if (press.text_utf8.empty()) return 0;
  std::string typed = values::Utf8ToCp1251(press.text_utf8);
  if (typed.size() != 1) return 0;
  auto byte = static_cast<uint8_t>(typed[0]);
  return byte < 0x20 || byte == 0x7F ? 0 : byte;
}

}  // namespace zuna::window::qt
