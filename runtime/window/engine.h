// The window and event interface: everything the window framework and the
// register's procedures may ask of the window engine.  This header is the
// only door to the screen; no toolkit type crosses it.
//
// A procedure describes its window with a WindowDefinition, binds program
// variables to the controls, opens the window and runs the ACCEPT loop:
//
//   Window window(QuickWindowDefinition());
//   window.Bind(5, values::RefString(dd, sizeof dd));
//   window.BindList(1, &queue);
//   if (!window.Open()) return;              // ERRORCODE() says why
//   while (ACCEPT(window)) {
//     if (EVENT() == EVENT::Accepted && ACCEPTED() == 6) POST(EVENT::CloseWindow);
//   }
//
// Numbering.  Controls count 1, 2, … in the order of the definition's
// `controls`; menus and menu items count −1, −2, … in the order of its
// `menus`.  Control 0 is the window itself.
//
// Threads.  Every procedure runs on a logical thread with a number
// (THREAD()); the one that runs the main frame is thread 1, START makes the
// others.  A window belongs to the thread that opened it, and only that
// thread may run its ACCEPT loop, change it or close it (misuse: error 545).
// Program variables bound to controls are read and written only on that
// thread, inside DISPLAY, UPDATE and ACCEPT; the screen never touches them.
// A thread may open several windows; the last one opened is its current
// window and the only one whose events are delivered: events posted to the
// windows beneath wait until it closes.  Reading properties is safe from
// any thread.
//
// Errors.  Misuse is reported through the runtime error state
// (values/error_state.h): 526-545, with the runtime's texts.  A call that
// fails changes nothing else.
#ifndef ZUNA_RUNTIME_WINDOW_ENGINE_H_
#define ZUNA_RUNTIME_WINDOW_ENGINE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/values/picture.h"
#include "runtime/values/variable.h"
#include "runtime/window/events.h"
#include "runtime/window/keycodes.h"
#include "runtime/window/properties.h"

namespace zuna::window {

// Misuse errors of the engine (ERRORCODE()).
namespace WindowError {
inline constexpr int32_t kApplicationActive = 526;
inline constexpr int32_t kApplicationModal = 527;
inline constexpr int32_t kApplicationFailed = 528;
inline constexpr int32_t kWindowFailed = 529;
inline constexpr int32_t kNoApplication = 530;
inline constexpr int32_t kMdiModal = 531;
inline constexpr int32_t kMdiOnApplicationThread = 532;
inline constexpr int32_t kMdiFailed = 533;
inline constexpr int32_t kAlreadyOpen = 535;
inline constexpr int32_t kNotOpen = 536;
inline constexpr int32_t kAcceptNeedsWindow = 537;
inline constexpr int32_t kAcceptModal = 540;
inline constexpr int32_t kCreateModal = 541;
inline constexpr int32_t kOperationModal = 542;
inline constexpr int32_t kNotCurrentThread = 545;
}  // namespace WindowError

// ---------------------------------------------------------------------------
// Window definitions.  Texts are in the program's code page; positions and
// sizes in dialog units (a quarter of the font's average character width,
// an eighth of its height).

enum class WindowKind : uint8_t {
  kApplication,  // the main frame: MDI parent with the menu bar; one at most
  kMdiChild,     // a child of the frame, on a thread other than the frame's
  kModal,        // a plain window; while it is open the system is modal
};

// What choosing a menu item does besides (or instead of) EVENT::Accepted.
enum class MenuAction : uint8_t {
  kNone,        // the item is accepted: EVENT::Accepted with its number
  kClose,       // the window is asked to close: EVENT::CloseWindow
  kWindowList,  // a menu: the open child windows are listed at its end
};

struct ControlDefinition {
  int32_t type = ControlType::Button;
  std::string label{};     // "?Close", "?Browse:1": for transcripts and tests
  std::string text{};      // caption
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t parent = 0;    // containing control: the sheet of a tab, the tab
                         // of a control on a sheet's page; 0 = the window
  std::string use{};       // label of the bound variable ("FFF", "ZUN:FIO")
  std::string picture{};   // display picture of the bound variable
  std::string format{};    // list boxes: the column format (list_format.h)
  std::string tip{};
  std::string msg{};       // status-bar text
  std::string icon{};
  bool imm = false;      // list: scroll keys, wheel and thumb become events
  bool vscroll = false;  // list: has a vertical scroll bar
  bool is_default = false;  // button: the window's default button
  bool disabled = false;
  bool hidden = false;
};

struct MenuDefinition {
  int32_t parent = 0;    // number of the containing menu (−1, …); 0 = the bar
  bool is_menu = false;  // a menu (holds items) rather than an item
  bool separator = false;
  std::string text{};
  std::string label{};     // "?CUT"
  std::string msg{};       // status-bar text
  MenuAction action = MenuAction::kNone;
};

struct WindowDefinition {
  std::string name{};      // the resource's name, "ZUNA001_RSC"
  WindowKind kind = WindowKind::kMdiChild;
  std::string title{};
  int32_t width = 200;
  int32_t height = 100;
  std::string font = "MS Sans Serif";
  int32_t font_size = 8;
  std::string icon{};
  std::string wallpaper{};  // frame: the picture behind the child windows
  bool imm = false;       // report sizing at once
  std::vector<ControlDefinition> controls{};
  std::vector<MenuDefinition> menus{};
};

// The rows a list box shows, supplied by the program (the window framework
// implements it over its list queue).  Called only on the window's thread,
// inside DISPLAY.
class ListSource {
 public:
  virtual ~ListSource() = default;
  virtual int32_t Records() const = 0;
  // The text of `column` (0-based) of row `row` (1-based), formatted with
  // the column's display picture (empty when the format gives none).
  virtual std::string CellText(int32_t row, size_t column,
                               const values::Picture& picture) const = 0;
};

// The display text of a variable under a picture (a picture that is empty
// shows the variable's own text form), and the reverse: false when the
// text is not valid for the picture (an impossible date or time), in which
// case the variable is left unchanged.
std::string FormatVariable(const values::VariableRef& variable,
                           const values::Picture& picture);
bool DeformatIntoVariable(std::string_view text,
                          const values::VariableRef& variable,
                          const values::Picture& picture);
// The most characters a text variable takes through an entry: its size (a
// CSTRING keeps one for the NUL, a PSTRING one for its length, at most
// 255), and no more than an @Sn picture shows.  Longer text (trailing
// blanks aside) is not valid for the variable: it is refused, never cut.
size_t TextCapacity(const values::VariableRef& variable, const values::Picture& picture);
// What an entry with `picture` expects, in Russian, for a message after a
// refused text: "нужна существующая дата в виде ДД/ММ/ГГГГ", "не длиннее
// 30 знаков", ...  (program's code page).
std::string InputHint(const values::Picture& picture);

// ---------------------------------------------------------------------------
// A window: the definition plus its variable bindings, and, while open, the
// engine's state of it on screen.  Owned by the procedure that declares it;
// it must outlive its open period (the destructor closes it when still
// open, on the owning thread).

namespace internal {
struct WindowModel;
}

class Window final {
 public:
  explicit Window(WindowDefinition definition);
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  const WindowDefinition& definition() const { return definition_; }

  // Binds a control to a program variable shown with the control's picture
  // (or `picture` when given).  Before or after Open; the variable must stay
  // alive while bound.  On an open window, the owning thread only.
  void Bind(int32_t control, values::VariableRef variable,
            std::string_view picture = {});
  // Binds a list box to its rows.
  void BindList(int32_t control, const ListSource* rows);
  // Rebinds a control to another variable and label (the Use property):
  // what a locator does to show its own text in an entry.
  void SetUse(int32_t control, values::VariableRef variable,
              std::string_view label, std::string_view picture = {});

  // Opens the window on the calling thread, `owner` above it when given.
  // Queues EVENT::OpenWindow, EVENT::GainFocus and one EVENT::Sized.
  // False with ERRORCODE() 526-535 when the rules forbid it or the screen
  // cannot make it.  While the main frame closes down (from asking the
  // other threads to close until it is gone), a thread that has no window
  // yet cannot open one: it was not asked and would not be waited for, so
  // the window is refused and never shown (533 for an MDI child, 529 for a
  // plain window).  A thread that was asked may still open windows while it
  // closes down.
  bool Open(const Window* owner = nullptr);
  // Closes the window (nothing when it is not open: error 536).
  void Close();
  bool IsOpen() const;
  // The engine's number for the open window (0 when closed); the script of
  // the headless engine names windows by it.
  int32_t Id() const;
  // The thread that opened it; 0 while closed.
  int32_t ThreadNumber() const;

  // --- On the owning thread, while open (else 536 / 545). ---

  // Shows the current values of the bound variables (control 0: all
  // controls); a list box takes a fresh copy of its rows.  ACCEPT also
  // redisplays, before it waits, every control other than a list whose
  // variable changed.
  void Display(int32_t control = 0);
  // Takes the text on the screen into the bound variables (control 0: all);
  // false when some text is not valid for its picture.
  bool Update(int32_t control = 0);
  // Gives a control the focus; EVENT::Selected follows for it.
  void Select(int32_t control);
  void Enable(int32_t control);
  void Disable(int32_t control);
  void Hide(int32_t control);
  void Unhide(int32_t control);
  // Properties by number (properties.h); control 0 is the window.
  std::string Prop(int32_t control, int32_t prop) const;
  int32_t PropLong(int32_t control, int32_t prop) const;
  void SetProp(int32_t control, int32_t prop, std::string_view value);
  void SetProp(int32_t control, int32_t prop, int32_t value);
  // Key alerts: a key alerted on a control (or on the window, control 0)
  // arrives as EVENT::AlertKey for the control with the focus instead of
  // doing what it normally does.
  void Alert(int32_t control, int32_t keycode);
  void ClearAlerts(int32_t control);
  // The highlighted row of a list box (1-based, 0 when none).
  int32_t Choice(int32_t control) const;
  // Starts the accept-all pass: every entry-like control that is enabled
  // and shown gets EVENT::Accepted in turn (its text is checked and taken
  // into its variable); EVENT::Completed ends the pass.  A control whose
  // text is not valid gets EVENT::Rejected instead, and the pass stops; so
  // does CYCLE on one of the pass's events.
  void AcceptAll();
  bool IsAcceptAll() const;
  // Adds a control at run time; returns its number (0 on failure: 541 when
  // another thread's modal window is open).
  int32_t CreateControl(ControlDefinition control);

  // Event handlers: `handler` runs on the owning thread whenever ACCEPT
  // hands out `event` for this window, after the event became current
  // (EVENT(), FIELD() name it) and before the program sees it; the program
  // still gets the event.  Handlers of one event run in the order
  // registered.  Returns the handler's id for Unregister; whatever the
  // handler uses must live until then.  Owning thread only.
  int32_t Register(int32_t event, std::function<void()> handler);
  void Unregister(int32_t handler_id);
  // Runs the handlers of `event` (what ACCEPT does).
  void RunHandlers(int32_t event);

 private:
  friend class Engine;
  struct Binding {
    int32_t control;
    values::VariableRef variable;
    std::string label;
    std::string picture;
    bool has_picture;
  };
  WindowDefinition definition_;
  std::vector<Binding> bindings_;
  std::vector<std::pair<int32_t, const ListSource*>> lists_;
  struct Handler {
    int32_t id;
    int32_t event;
    std::function<void()> run;
  };
  std::vector<Handler> handlers_;
  int32_t next_handler_id_ = 1;
  std::shared_ptr<internal::WindowModel> model_;
};

// ---------------------------------------------------------------------------
// The event loop and the calling thread's state.

// One turn of the ACCEPT loop of `window`, which must be the calling
// thread's current window.  First the previous event's default action runs
// unless it was cycled: EVENT::CloseWindow and EVENT::CloseDown close the
// window (closing the main frame first asks every other thread to close
// down and waits for them), an EVENT::Accepted of the accept-all pass
// queues the next one.  Then the changed variables are redisplayed and the
// thread waits for the next event, which becomes current.  Returns false
// when the window is closed (the loop ends): also on misuse (537, 536, 545,
// 540 when the window is not the thread's current window).
bool ACCEPT(Window& window);
// Skips the default action of the current event.
void CYCLE();

// The current event of the calling thread: its code, the control it
// concerns (0 for window events), the control of an EVENT::Accepted
// (else 0) and the control of an EVENT::Selected (else 0).
int32_t EVENT();
int32_t FIELD();
int32_t ACCEPTED();
int32_t SELECTED();

// The last key of the calling thread (keycodes.h) and its character in the
// program's code page; SETKEYCODE replaces the code (0 clears it).  An event
// caused by a key or mouse button (an entry accepted with Enter, a list's
// new selection by an arrow key or the right button) carries it.
int32_t KEYCODE();
int32_t KEYCHAR();
void SETKEYCODE(int32_t keycode);

// Queues `event` for `control` of the current window of `thread` (0: the
// calling thread), behind the events already queued.  False when that
// thread has no window.
bool POST(int32_t event, int32_t control = 0, int32_t thread = 0);

// Notifications between threads: NOTIFY stores (code, the sender's thread,
// parameter) for `thread` and posts EVENT::Notify to its current window;
// NOTIFICATION takes the oldest one waiting for the calling thread.
bool NOTIFY(int32_t code, int32_t thread, int32_t parameter = 0);
bool NOTIFICATION(int32_t& code, int32_t& thread, int32_t& parameter);

// Runs `procedure` on a new thread and returns its number at once.  The
// stack size is accepted for the program's sake; threads get the system's
// default stack, far above it.  The thread's start and end hooks
// (engine_core.h) run around the procedure; windows it leaves open are
// closed when it returns.
int32_t START(std::function<void()> procedure, int32_t stack_size = 0);
// The calling thread's number; never reused while the engine lives.
int32_t THREAD();

// The calling thread's current window, or nullptr.
Window* TARGET();

// A message box with `buttons` (a sum of BUTTON values; 0 means OK), the
// `default_button` preselected, the icon named (ICON values or a file).
// Blocks the calling thread only, until the user answers; returns the
// button chosen (the default button when the box was dismissed).  `style`
// is passed to the screen as is.
int32_t MESSAGE(std::string_view text, std::string_view caption = {},
                std::string_view icon = {}, int32_t buttons = BUTTON::OK,
                int32_t default_button = 0, int32_t style = 0);

// A popup menu (popup_menu.h) at (x, y) in dialog units of the current
// window, or at the mouse when both are 0; blocks the calling thread and
// returns the line chosen, 0 when the menu was dismissed.
int32_t POPUP(std::string_view menu_text, int32_t x = 0, int32_t y = 0);

void BEEP();
void SETCURSOR(int32_t cursor = CURSOR::Arrow);

}  // namespace zuna::window

#endif  // ZUNA_RUNTIME_WINDOW_ENGINE_H_
