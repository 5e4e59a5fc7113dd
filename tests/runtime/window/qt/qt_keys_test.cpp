// Key codes from Qt key presses: by keyboard position when the platform
// gives scan codes, by the Qt key or the typed character when it does not.
#include <gtest/gtest.h>

#include "runtime/window/keycodes.h"
#include "runtime/window/qt/qt_keys.h"

namespace zuna::window::qt {
namespace {

// Qt::Key values, as Qt's public headers define them.
constexpr int kQtKeyA = 0x41;
constexpr int kQtKeyApostrophe = 0x27;
constexpr int kQtKeyReturn = 0x01000004;
constexpr int kQtKeyEnter = 0x01000005;
constexpr int kQtKeyInsert = 0x01000006;
constexpr int kQtKeyDelete = 0x01000007;
constexpr int kQtKeyPageDown = 0x01000017;
constexpr int kQtKeyF1 = 0x01000030;
constexpr int kQtKeyMenu = 0x01000055;
constexpr int kQtKeyControl = 0x01000021;
constexpr int kQtKeyCyrillicE = 0x6dc;  // what X reports for «э» on a Russian layout

TEST(QtKeys, NamedKeysAndModifiers) {
  struct Row {
    QtKeyPress press;
    int32_t expected;
  };
  const Row rows[] = {
      {{.qt_key = kQtKeyInsert}, KEY::Insert},
      {{.qt_key = kQtKeyDelete}, KEY::Delete},
      {{.qt_key = kQtKeyReturn, .ctrl = true}, KEY::CtrlEnter},
      {{.qt_key = kQtKeyEnter, .shift = true}, KEY::ShiftEnter},  // keypad Enter
      {{.qt_key = kQtKeyMenu}, KEY::Apps},
      {{.qt_key = kQtKeyF1}, 0x70},
      {{.qt_key = kQtKeyPageDown, .ctrl = true}, KEY::Ctrl + KEY::PgDn},
      {{.qt_key = kQtKeyA, .alt = true}, KEY::Alt + 'A'},
      {{.qt_key = kQtKeyControl, .ctrl = true}, 0},  // a modifier alone
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expected);
    EXPECT_EQ(KeyCodeFromQt(row.press), row.expected);
  }
}

TEST(QtKeys, TheDittoKeyGoesByPositionUnderARussianLayout) {
  // X11 scan code 48 is the apostrophe key; with Ctrl under a Russian
  // layout it types «э» and Qt reports a Cyrillic key.
  QtKeyPress press{.qt_key = kQtKeyCyrillicE, .ctrl = true, .scan_code = 48,
                   .text_utf8 = "\x1d"};
  EXPECT_EQ(KeyCodeFromQt(press), KEY::CtrlQuote);
  EXPECT_EQ(KeyCodeFromQt({.qt_key = kQtKeyApostrophe, .ctrl = true}), 734);
  // Without a scan code the typed letter tells the key: «ф» is on A.
  EXPECT_EQ(KeyCodeFromQt({.qt_key = 0x6c6, .text_utf8 = "ф"}), 'A');
  EXPECT_EQ(KeyCodeFromQt({.qt_key = 0x6c6, .shift = true, .text_utf8 = "Ф"}),
            KEY::Shift + 'A');
}

TEST(QtKeys, TheCharacterComesInTheProgramsCodePage) {
  EXPECT_EQ(KeyCharFromQt({.text_utf8 = "ф"}), 0xF4);
  EXPECT_EQ(KeyCharFromQt({.text_utf8 = "Ё"}), 0xA8);
  EXPECT_EQ(KeyCharFromQt({.text_utf8 = "a"}), 'a');
  EXPECT_EQ(KeyCharFromQt({.text_utf8 = "\r"}), 0);
  EXPECT_EQ(KeyCharFromQt({.text_utf8 = ""}), 0);
}

}  // namespace
}  // namespace zuna::window::qt
