// Property numbers, control types, message-box buttons and icons, cursors.
//
// Properties are read and written by number on a control (1, 2, … ; menus
// −1, −2, …) or on the window itself (control 0).  Every value travels as
// text in the program's code page; numeric properties hold decimal text
// ("1", "0", "-5"), and reading a property never set gives "".  Positions
// and sizes are dialog units.  Numbers not listed here are free: the engine
// keeps whatever text a program stores under them.
//
// Constants only: safe on any thread.
#ifndef ZUNA_RUNTIME_WINDOW_PROPERTIES_H_
#define ZUNA_RUNTIME_WINDOW_PROPERTIES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/window/message_box.h"

namespace zuna::window {

namespace PROP {
// Caption of a window, button, prompt, string, tab, menu or item; for an
// entry or a display string with a variable, the text on the screen.
inline constexpr int32_t Text = 0x7C00;
inline constexpr int32_t Type = 0x7C01;  // read-only: ControlType below
inline constexpr int32_t Xpos = 0x7C02;
inline constexpr int32_t Ypos = 0x7C03;
// Of a window (control 0): its client area, as ClientWidth/ClientHeight.
// Setting one sizes the window at once, held within MinWidth/MaxWidth
// (MinHeight/MaxHeight; a maximum of 0 is none), and queues EVENT::Sized
// when the size changed.
inline constexpr int32_t Width = 0x7C04;
inline constexpr int32_t Height = 0x7C05;
// The engine's own, for the states the framework switches.
inline constexpr int32_t Disable = 0x7C10;    // "1" disabled
inline constexpr int32_t Hide = 0x7C11;       // "1" hidden
inline constexpr int32_t Visible = 0x7C12;    // read-only: shown on screen now
inline constexpr int32_t Icon = 0x7C13;       // icon name
inline constexpr int32_t AcceptAll = 0x7C14;  // window: the accept-all pass runs
inline constexpr int32_t Msg = 0x7C15;        // status-bar text
inline constexpr int32_t Picture = 0x7C16;    // display picture of the variable
inline constexpr int32_t Format = 0x7C17;     // list: the column format text
inline constexpr int32_t Label = 0x7C18;      // read-only: "?Browse:1"
inline constexpr int32_t Focus = 0x7C19;      // window, read-only: focused control
inline constexpr int32_t Thread = 0x7C1A;     // window, read-only: owner thread
inline constexpr int32_t Active = 0x7C1B;     // window, read-only: "1" when active
// Framework-named numbers.
inline constexpr int32_t Parent = 0x7A07;        // containing control, 0 = window
inline constexpr int32_t Use = 0x7A10;           // read-only: label of the variable
inline constexpr int32_t InToolBar = 0x7A19;
inline constexpr int32_t NoWidth = 0x7A40;
inline constexpr int32_t YOrigin = 0x7A44;       // list: first row shown, 1-based
inline constexpr int32_t ClientWidth = 0x7A4F;   // window
inline constexpr int32_t ClientHeight = 0x7A50;  // window
inline constexpr int32_t MouseDownRow = 0x7C20;  // list: row of the last click
inline constexpr int32_t MouseDownZone = 0x7C26; // list: ListZone of the last click
inline constexpr int32_t Default = 0x7C5E;       // button: the window's default
inline constexpr int32_t Drop = 0x7C60;
inline constexpr int32_t Full = 0x7C63;
inline constexpr int32_t Iconize = 0x7C69;       // window: iconized now (set: iconize)
inline constexpr int32_t Imm = 0x7C6A;           // window: report sizing at once;
                                                 // list: scroll keys become events
inline constexpr int32_t Maximize = 0x7C6F;      // window: maximized now (set: maximize)
inline constexpr int32_t VScroll = 0x7C8B;       // list: scroll bar shown
inline constexpr int32_t Items = 0x7C8E;         // list: lines shown
inline constexpr int32_t Selected = 0x7C8F;      // list: highlighted row; sheet: tab
inline constexpr int32_t VScrollPos = 0x7C9E;    // list: thumb position 0-100
inline constexpr int32_t Tip = 0x7CA0;
inline constexpr int32_t MinWidth = 0x7CAD;
inline constexpr int32_t MinHeight = 0x7CAE;
inline constexpr int32_t MaxWidth = 0x7CAF;
inline constexpr int32_t MaxHeight = 0x7CB0;
inline constexpr int32_t DeferMove = 0x7CBD;     // window: while not 0, control
                                                 // moves and sizes wait; 0 shows
                                                 // them all at once
inline constexpr int32_t NextField = 0x7D0B;     // read-only: next control, 0 at the
                                                 // end; of the window: the first
}  // namespace PROP

// Values of PROP::MouseDownZone.
namespace ListZone {
inline constexpr int32_t Nowhere = 0;
inline constexpr int32_t Header = 1;
inline constexpr int32_t Row = 2;  // a double-click here means "open the row"
}  // namespace ListZone

// The engine's control type numbers (PROP::Type).  Those the register uses
// are realised by every backend; the others exist so types read back
// sensibly and the window framework's tables can name them.
namespace ControlType {
inline constexpr int32_t String = 2;  // display-only text, fixed or from a variable
inline constexpr int32_t Image = 3;
inline constexpr int32_t Region = 4;
inline constexpr int32_t Line = 5;
inline constexpr int32_t Box = 6;
inline constexpr int32_t Entry = 8;
inline constexpr int32_t Button = 9;
inline constexpr int32_t Prompt = 10;
inline constexpr int32_t Option = 11;
inline constexpr int32_t Check = 12;
inline constexpr int32_t Group = 13;
inline constexpr int32_t List = 14;
inline constexpr int32_t Combo = 15;
inline constexpr int32_t Spin = 16;
inline constexpr int32_t Text = 17;
inline constexpr int32_t Menu = 19;
inline constexpr int32_t Item = 20;
inline constexpr int32_t Radio = 21;
inline constexpr int32_t MenuBar = 22;
inline constexpr int32_t Sheet = 37;
inline constexpr int32_t Tab = 38;
inline constexpr int32_t Panel = 39;
// The range PROP::Type returns for a control.
inline constexpr int32_t kFirst = 1;
inline constexpr int32_t kLast = 39;
}  // namespace ControlType

// Message-box buttons (BUTTON) are in message_box.h.

// Icons are names; a system icon is written as the bytes FFh 01h followed
// by its resource number (SystemIcon in message_box.h), low byte first.
namespace ICON {
inline constexpr std::string_view None = "";
inline constexpr std::string_view Hand = "\xFF\x01\x01\x7F";         // 32513
inline constexpr std::string_view Question = "\xFF\x01\x02\x7F";     // 32514
inline constexpr std::string_view Exclamation = "\xFF\x01\x03\x7F";  // 32515
inline constexpr std::string_view Asterisk = "\xFF\x01\x04\x7F";     // 32516
inline constexpr std::string_view Information = Asterisk;
}  // namespace ICON

// The resource number of a system icon name, 0 for any other name.
int32_t SystemIconNumber(std::string_view icon);
// The reverse: the name of the system icon with resource `number`; "" (no
// icon) for 0 and for numbers outside 1-65535.
std::string SystemIconName(int32_t number);

namespace CURSOR {
inline constexpr int32_t Arrow = 0;
inline constexpr int32_t Wait = 1;
}  // namespace CURSOR

// Integer reading of a property value: the decimal number the text begins
// with (after blanks), 0 when there is none.
int32_t PropertyNumber(std::string_view value);

}  // namespace zuna::window

#endif  // ZUNA_RUNTIME_WINDOW_PROPERTIES_H_
