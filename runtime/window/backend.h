// What the engine asks of a screen, and what a screen tells the engine.
//
// The engine (engine_core.h) keeps the whole state of every window: the
// controls, their properties and texts, the event queues.  A backend only
// shows that state and reports what the user does.  Two exist: the
// headless one (headless.h), which shows nothing and lets a test script
// act as the user, and the Qt one (qt/), which draws real windows.
//
// Engine → backend: Realize, Apply, Destroy, RunModal, Beep, SetCursor are
// called on procedure threads, never with an engine lock held; calls for
// one window come from its owning thread, in order.  Realize may block
// until the screen has made the window; the others must not wait for the
// screen.
//
// Backend → engine: Engine::Input and Engine::CompleteModal, from any
// thread (for Qt, the GUI thread).  They take the engine's lock briefly and
// never wait for a procedure thread.
#ifndef ZUNA_RUNTIME_WINDOW_BACKEND_H_
#define ZUNA_RUNTIME_WINDOW_BACKEND_H_

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/window/engine.h"
#include "runtime/window/list_format.h"

namespace zuna::window {

// A list box's rows as shown: one text per column.  Immutable once made,
// so the screen may keep it while the program builds the next one.
using ListRows = std::vector<std::vector<std::string>>;

struct ControlSnapshot {
  int32_t number = 0;
  int32_t type = 0;
  std::string label;
  int32_t parent = 0;
  std::map<int32_t, std::string> props;  // every property set, by number
  std::vector<ListColumn> columns;        // list boxes
  std::shared_ptr<const ListRows> rows;   // list boxes; may be null
};

struct MenuSnapshot {
  int32_t number = 0;  // −1, −2, …
  int32_t parent = 0;
  bool is_menu = false;
  bool separator = false;
  std::string text;
  MenuAction action = MenuAction::kNone;
  bool disabled = false;
  std::string msg;  // status-bar text
};

struct WindowSnapshot {
  int32_t id = 0;
  WindowKind kind = WindowKind::kMdiChild;
  int32_t thread = 0;
  int32_t owner_id = 0;
  std::string name;
  std::string title;
  int32_t width = 0;   // dialog units
  int32_t height = 0;
  std::string font;
  int32_t font_size = 8;
  std::string icon;       // file name; "" when none
  std::string wallpaper;  // frame: file name of the picture behind the children
  std::map<int32_t, std::string> props;
  std::vector<ControlSnapshot> controls;
  std::vector<MenuSnapshot> menus;
};

// One change to show.  `prop` is a property number, or one of the kDelta
// codes below.
struct Delta {
  int32_t control = 0;
  int32_t prop = 0;
  std::string value;
  std::shared_ptr<const ListRows> rows;             // kDeltaRows
  std::shared_ptr<const ControlSnapshot> created;  // kDeltaCreate
};
inline constexpr int32_t kDeltaRows = -1;    // the list's rows were replaced
inline constexpr int32_t kDeltaFocus = -2;   // value: the control to focus
inline constexpr int32_t kDeltaCreate = -3;  // a control was added

// A question that blocks the asking thread.
struct ModalRequest {
  enum class Kind : uint8_t { kMessage, kPopup };
  int64_t id = 0;
  Kind kind = Kind::kMessage;
  int32_t thread = 0;
  int32_t window_id = 0;  // the asking thread's current window; 0 if none
  std::string text;       // message text, or the popup's menu text
  std::string caption;
  std::string icon;
  int32_t buttons = BUTTON::OK;
  int32_t default_button = BUTTON::OK;
  int32_t style = 0;
  int32_t x = 0;          // popup position, dialog units; 0, 0 = the mouse
  int32_t y = 0;
};

// A value the screen owns (the text typed into an entry, the row clicked,
// the client size), stored before the event that reports it is queued.
struct PropUpdate {
  int32_t control = 0;
  int32_t prop = 0;
  std::string value;
};

// What the user did to one window.
struct UserInput {
  std::vector<PropUpdate> updates{};
  // The event to queue (0: only the updates).  For a key, the event to
  // queue when the key is not alerted.
  int32_t event = 0;
  int32_t control = 0;
  // A key (0: none).  When alerted on `control` or on the window it becomes
  // EVENT::AlertKey for `control` and `event` is dropped.
  int32_t keycode = 0;
  int32_t keychar = 0;
  // The window became the active one (its thread gets EVENT::GainFocus,
  // the previously active window's EVENT::LoseFocus).
  bool activated = false;
};

class Backend {
 public:
  virtual ~Backend() = default;
  // Makes the window on screen.  Returns the values the screen measured
  // (client size, lines of each list box …) or nullopt when the window
  // cannot be made.
  virtual std::optional<std::vector<PropUpdate>> Realize(
      const WindowSnapshot& window) = 0;
  virtual void Apply(int32_t window_id, std::vector<Delta> deltas) = 0;
  virtual void Destroy(int32_t window_id) = 0;
  // Shows a message box or a popup menu.  The answer goes back through
  // Engine::CompleteModal, possibly before this returns.
  virtual void RunModal(const ModalRequest& request) = 0;
  virtual void Beep() {}
  virtual void SetCursor(int32_t /*cursor*/) {}
};

}  // namespace zuna::window

#endif  // ZUNA_RUNTIME_WINDOW_BACKEND_H_
