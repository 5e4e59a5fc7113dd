// PopupClass: a named list of popup-menu entries that the window engine
// shows (POPUP, engine.h) and whose choice it reports back by name.
//
//   PopupClass popup;
//   popup.Init();
//   popup.AddItemMimic(W("!&Добавить"), kInsertButton, W("&Добавить"));
//   popup.AddMenu(W("Сортировка{По имени|По дате}"), 0);
//   std::string chosen = popup.Ask();   // at the mouse; "" when dismissed
//   popup.Kill();
//
// Entries.  Each entry has a unique name (GetUniqueName gives one from its
// text) and a depth: 1 is the menu itself, the deeper entries that follow
// an entry form its submenu.  An entry whose text is "-" is a separator.
// An entry may act on a control of the current window when chosen: post
// its Event to ControlID, or, when it mimics the control (a button or a
// menu item), accept the control.  A mimicking entry follows the control
// each time the menu is shown: its caption (for a text that is empty or
// starts with "!"), its icon (when the entry has none), its enabled state
// (unless the entry was enabled or disabled on its own) and its hidden
// state: an entry for a hidden control is left out of the menu, with its
// submenu.
//
// Menu text.  GetMenuText writes the entries in the engine's syntax
// (popup_menu.h) without a length limit, so a long menu is never cut into
// another menu.  An entry's text cannot carry the syntax's own marks: "|",
// "{" and "}" are left out of it, and a text that would otherwise read as
// a mark ("~", "+", "-", "[" at its start) is shown behind an empty
// attribute block, as the text it is.
//
// Choosing.  The lines of the last menu shown are remembered with their
// entries, so GetName(line) names the entry the user saw on that line even
// when hidden entries were left out.  A choice of a line shown disabled
// (which no screen offers) counts as no choice.
//
// Not provided: the floating toolbox window of the entries (Toolbox,
// ResetToolbox, AskToolbox).  The fields that serve it (INIMgr, InToolbox,
// ParentWindow, ThisWindow) and each entry's OnToolbox are kept so that
// callers can set them; InToolbox stays 0, so ExecutePopup always shows the
// menu.
//
// Ownership and threads: an object belongs to the procedure thread that
// calls Init (MyThread) and is used only on that thread: the controls it
// reads and accepts are those of that thread's current window (TARGET()).
// Texts are in the program's code page (Windows-1251).
#ifndef ZUNA_FRAMEWORK_WINDOW_POPUP_H_
#define ZUNA_FRAMEWORK_WINDOW_POPUP_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/window/settings_file.h"
#include "runtime/window/engine.h"

namespace zuna::framework {

// Values of PopupItem::Disabled.
inline constexpr uint8_t kPopupFollowControl = 0;  // as the mimicked control
inline constexpr uint8_t kPopupDisabled = 1;
inline constexpr uint8_t kPopupEnabled = 2;

// The text of a separator entry, and the name GetUniqueName gives it.
inline constexpr std::string_view kPopupSeparatorText = "-";
inline constexpr std::string_view kPopupSeparatorName = "Separator";

// One row of PopupItems.
struct PopupItem {
  int32_t ControlID = 0;  // the control the entry acts on (0 = none)
  int32_t Depth = 1;      // 1 = top level; deeper entries form submenus
  int32_t Event = 0;      // posted to ControlID when chosen (0 = none)
  uint8_t MimicMode = 0;  // 1 = the entry mimics ControlID
  uint8_t Disabled = kPopupFollowControl;  // kPopupDisabled / kPopupEnabled
  uint8_t Check = 0;      // 0 none, 1 checked, other: an unchecked mark
  uint8_t OnToolbox = 0;  // the entry also belongs on the toolbox
  std::string Icon;
  std::string Name;       // unique; never holds "{" or "}"
  std::string Text;       // "-" = a separator line
};

class PopupClass {
 public:
  PopupClass() = default;
  virtual ~PopupClass() = default;
  PopupClass(const PopupClass&) = delete;
  PopupClass& operator=(const PopupClass&) = delete;

  // Empties the entries; ClearKeyCode = 1, MyThread = THREAD(),
  // LastNumberSelection = 0.
  virtual void Init();
  // Drops the entries.  Safe without Init and when called twice.
  virtual void Kill();

  // Adds an entry with this text at the end and returns its name
  // (GetUniqueName(Text)).
  std::string AddItem(std::string_view Text);
  // The same with the name asked for (made unique when taken).
  std::string AddItem(std::string_view Text, std::string_view Name);
  // Adds the entry after the entry named `After` (after its submenu too,
  // unless `Depth` puts the new entry inside that submenu), or at the end
  // when there is no such entry.  Depth 0 means the depth of `After`, or 1.
  std::string AddItem(std::string_view Text, std::string_view Name,
                      std::string_view After, uint8_t Depth);
  // Inserts a fresh entry at `Position` (1-based; 0 or beyond the end: at
  // the end) and makes it current.  A name holding "{" or "}" is an
  // internal assertion and adds nothing ("" returned).  Returns the name the
  // entry got: `Name`, with a counter appended while it is taken.
  std::string SetItem(int32_t Position, int32_t Depth, std::string_view Name,
                      std::string_view Text);
  // The entry named `Name` (added with AddItem(Name) when there is none,
  // and always when `Name` is empty) posts `Event` to `Control` when
  // chosen.  Returns the entry's name.
  std::string AddItemEvent(std::string_view Name, int32_t Event,
                           int32_t Control);
  // An entry that mimics `Control`, a button or menu item of the current
  // window (anything else: internal assertion, nothing added, "" returned);
  // choosing it accepts the control.  `Name` as for AddItemEvent; the
  // entry's text becomes `Text`.  Returns the entry's name.
  std::string AddItemMimic(std::string_view Text, int32_t Control,
                           std::string_view Name = {});
  // Adds the entries of a menu in the engine's syntax ("a|b{c|d}e"; marks
  // "~", "+", "-" and "[icon]" become Disabled, Check and Icon) at
  // `Position` (1-based), or at the end when 0.  Each gets
  // GetUniqueName(its text).  An empty definition is an internal assertion.
  // (A LONG position, not a BYTE: a menu may hold more than 255 entries.)
  void AddMenu(std::string_view Definition, int32_t Position);
  // Adds `Text` as a submenu holding `Definition`, after the entry named
  // `After` (and its submenu), or at the end.
  void AddSubMenu(std::string_view Text, std::string_view Definition,
                  std::string_view After);
  void AddSubMenu(std::string_view Text, std::string_view Definition);
  // Removes the named entry, and its submenu with it: its deeper entries
  // would otherwise join the submenu of the entry before it.
  void DeleteItem(std::string_view Name);
  // Enables (On) or disables the named entry, whatever its control says;
  // separators are left alone.
  void SetItemEnable(std::string_view Name, bool On);
  // Sets the named entry's check mark (0 none, 1 checked, other unchecked).
  void SetItemCheck(std::string_view Name, uint8_t Check);
  void SetIcon(std::string_view Name, std::string_view Icon);
  void SetToolbox(std::string_view Name, bool On);
  // With 0, the number of entries; otherwise the number of top-level
  // entries that are not separators.
  uint16_t GetItems(uint8_t Mode) const;
  // The name of the entry shown as line `Number` of the last menu built
  // (separators and submenu headers are not lines); "" when none.
  std::string GetName(int32_t Number) const;
  // Makes the named entry current; false when there is none.
  bool LocateName(std::string_view Name);
  std::string GetLastSelection() const { return LastSelection; }
  // The menu as the engine shows it, built now from the entries and the
  // controls they mimic; remembers its lines for GetName.
  std::string GetMenuText();
  // Shows `MenuText` at (X, Y) in dialog units of the current window (both
  // 0: at the mouse) and returns the line chosen, 0 for none.  Blocks the
  // calling thread until the user answers.
  virtual int32_t ExecutePopup(std::string_view MenuText, int32_t X,
                               int32_t Y);
  // The popup interaction: clears the key code, shows the menu, and
  // returns the chosen entry's name ("" when dismissed or when there is
  // nothing to show).  A chosen entry with an Event or MimicMode has its
  // event (EVENT::Accepted when mimicking) posted to its control on
  // MyThread, after clearing the key code when ClearKeyCode is set.
  virtual std::string Ask(int32_t X = 0, int32_t Y = 0);
  // `Text` without its "&" access-key marks ("&&" keeps one "&").
  static std::string RemoveAmpersand(std::string_view Text);
  // A name for an entry with `Text` that no entry has: "Separator" for
  // "-"; otherwise its letters A-Z and a-z, digits and "_" (everything else
  // dropped), with a counter (1, 2, ...) appended to the name as it stands
  // while it is taken: "X", "X1", "X12".
  std::string GetUniqueName(std::string_view Text) const;

  // --- Fields. ---
  uint8_t ClearKeyCode = 0;          // clear the key code before posting
  std::string LastSelection;         // name chosen last ("" = dismissed)
  int32_t LastNumberSelection = 0;   // line chosen last (0 = none)
  std::vector<PopupItem> PopupItems;
  // When set, every entry text passes through it before display.
  std::function<std::string(std::string_view)> Translator;
  INIClass* INIMgr = nullptr;        // the toolbox's settings (not used)
  uint8_t InToolbox = 0;             // the toolbox window is open
  int32_t MyThread = 0;              // the thread that called Init
  window::Window* ParentWindow = nullptr;  // the toolbox's owner (not used)
  window::Window* ThisWindow = nullptr;    // the toolbox (not used)

 private:
  // One line of the last menu built.
  struct ShownLine {
    std::string name;
    bool disabled = false;
  };

  // Index of the named entry, or PopupItems.size().
  size_t Find(std::string_view name) const;
  bool Taken(std::string_view name) const;
  std::string MakeUnique(std::string name) const;
  // Index just past the entry at `index` and its submenu.
  size_t EndOfSubtree(size_t index) const;

  size_t current_ = 0;  // the current entry (LocateName, SetItem)
  std::vector<ShownLine> shown_lines_;
};

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_WINDOW_POPUP_H_
