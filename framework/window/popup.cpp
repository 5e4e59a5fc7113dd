#include "framework/window/popup.h"

#include <algorithm>
#include <utility>

#include "framework/data/assertion.h"
#include "runtime/window/popup_menu.h"
#include "runtime/window/properties.h"

namespace zuna::framework {
namespace {

namespace PROP = window::PROP;
namespace ControlType = window::ControlType;

bool IsNameCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         (c >= '0' && c <= '9') || c == '_';
}

// The menu syntax has no escapes: these would end the entry or open or
// close a submenu, and every later line would name another entry.
std::string WithoutMenuMarks(std::string_view text, std::string_view also = {}) {
  std::string kept;
  for (char c : text) {
    if (c == '|' || c == '{' || c == '}' || also.find(c) != std::string_view::npos) {
      continue;
    }
    kept += c;
  }
  return kept;
}

// An entry as this showing of the menu presents it.
struct ShownEntry {
  std::string name;
  int32_t depth = 1;
  bool separator = false;
  bool disabled = false;
  uint8_t check = 0;
  std::string icon;
  std::string text;
};

// The state of a mimicked control, read from the current window.
struct ControlState {
  std::string caption;
  std::string icon;
  bool disabled = false;
  bool hidden = false;
};

ControlState ReadControl(int32_t control) {
  ControlState state;
  window::Window* window = window::TARGET();
  if (window == nullptr || control == 0) return state;
  state.caption = window->Prop(control, PROP::Text);
  state.icon = window->Prop(control, PROP::Icon);
  state.disabled = window->Prop(control, PROP::Disable) == "1";
  state.hidden = window->Prop(control, PROP::Hide) == "1";
  return state;
}

// The entry's caption, enabled state and icon for this showing; a
// mimicking entry takes them from its control as it is now.
ShownEntry Present(const PopupItem& item, const ControlState* control) {
  ShownEntry shown;
  shown.name = item.Name;
  shown.separator = item.Text == kPopupSeparatorText;
  shown.check = item.Check;
  shown.icon = item.Icon;
  shown.text = item.Text;
  uint8_t disabled = item.Disabled;
  if (control != nullptr) {
    if (!control->caption.empty() &&
        (shown.text.empty() || shown.text.front() == '!')) {
      shown.text = control->caption;
    }
    if (!shown.text.empty() && shown.text.front() == '!') shown.text.erase(0, 1);
    if (disabled == kPopupFollowControl) {
      disabled = control->disabled ? kPopupDisabled : kPopupEnabled;
    }
    if (shown.icon.empty()) shown.icon = control->icon;
  }
  shown.disabled = disabled == kPopupDisabled;
  return shown;
}

// One entry in the engine's syntax: marks, attribute block, text.
std::string EntryText(const ShownEntry& entry, bool with_icons) {
  if (entry.separator) return std::string(kPopupSeparatorText);
  std::string out;
  if (entry.disabled) out += '~';
  if (entry.check == 1) {
    out += '+';
  } else if (entry.check != 0) {
    out += '-';
  }
  std::string text = WithoutMenuMarks(entry.text);
  // An empty text would vanish from the menu, and one starting with a mark
  // would be read as that mark: an attribute block keeps either as text.
  bool needs_block = text.empty() || text.front() == '~' || text.front() == '+' ||
                     text.front() == '-' || text.front() == '[';
  if (with_icons || needs_block) {
    out += '[' + WithoutMenuMarks(with_icons ? entry.icon : "", "[]") + ']';
  }
  return out + text;
}

}  // namespace

void PopupClass::Init() {
  PopupItems.clear();
  shown_lines_.clear();
  current_ = 0;
  ClearKeyCode = 1;
  MyThread = window::THREAD();
  LastNumberSelection = 0;
}

void PopupClass::Kill() {
  PopupItems.clear();
  PopupItems.shrink_to_fit();
  shown_lines_.clear();
  current_ = 0;
}

std::string PopupClass::AddItem(std::string_view Text) {
  return AddItem(Text, GetUniqueName(Text));
}

std::string PopupClass::AddItem(std::string_view Text, std::string_view Name) {
  return AddItem(Text, Name, {}, 0);
}

std::string PopupClass::AddItem(std::string_view Text, std::string_view Name,
                                std::string_view After, uint8_t Depth) {
  int32_t depth = Depth;
  int32_t position = 0;
  size_t after = After.empty() ? PopupItems.size() : Find(After);
  if (after < PopupItems.size()) {
    const int32_t after_depth = PopupItems[after].Depth;
    if (depth == 0) depth = after_depth;
    size_t end = depth > after_depth ? after + 1 : EndOfSubtree(after);
    position = static_cast<int32_t>(end) + 1;
  }
  if (depth == 0) depth = 1;
  return SetItem(position, depth, Name, Text);
}

std::string PopupClass::SetItem(int32_t Position, int32_t Depth,
                                std::string_view Name, std::string_view Text) {
  if (Name.find_first_of("{}") != std::string_view::npos) {
    AssertionFailed("Popup entry names cannot contain '{' or '}'.");
    return {};
  }
  PopupItem row;
  row.Name = MakeUnique(std::string(Name));
  row.Depth = std::max(Depth, 1);
  row.Text = std::string(Text);
  size_t at = PopupItems.size();
  if (Position > 0 && static_cast<size_t>(Position) - 1 < PopupItems.size()) {
    at = static_cast<size_t>(Position) - 1;
  }
  PopupItems.insert(PopupItems.begin() + static_cast<std::ptrdiff_t>(at), row);
  current_ = at;
  return row.Name;
}

std::string PopupClass::AddItemEvent(std::string_view Name, int32_t Event,
                                     int32_t Control) {
  // An empty name never picks an entry that happens to be named "": the
  // caller asked for a new one.
  if (Name.empty() || !LocateName(Name)) AddItem(Name);
  PopupItem& row = PopupItems[current_];
  row.MimicMode = 0;
  row.ControlID = Control;
  row.Event = Event;
  row.OnToolbox = 1;
  return row.Name;
}

std::string PopupClass::AddItemMimic(std::string_view Text, int32_t Control,
                                     std::string_view Name) {
  window::Window* window = window::TARGET();
  int32_t type = window != nullptr ? window->PropLong(Control, PROP::Type) : 0;
  if (type != ControlType::Button && type != ControlType::Item) {
    AssertionFailed("A popup entry can only mimic a button or a menu item.");
    return {};
  }
  // Without a name the entry is a new one named after its text.  (That
  // name may be empty, for a text with no Latin letter or digit: looking it
  // up again would make a second entry.)
  if (Name.empty()) {
    AddItem(Text);
  } else {
    AddItemEvent(Name, window::EVENT::Accepted, Control);
  }
  PopupItem& row = PopupItems[current_];
  row.ControlID = Control;
  row.Event = window::EVENT::Accepted;
  row.Text = std::string(Text);
  row.MimicMode = 1;
  row.OnToolbox = 1;
  return row.Name;
}

void PopupClass::AddMenu(std::string_view Definition, int32_t Position) {
  if (Definition.empty()) {
    AssertionFailed("Empty popup menu definition.");
    return;
  }
  int32_t position = Position;
  for (const window::PopupEntry& entry : window::ParsePopupMenu(Definition)) {
    std::string text = entry.separator ? std::string(kPopupSeparatorText) : entry.text;
    SetItem(position, entry.depth, GetUniqueName(text), text);
    PopupItem& row = PopupItems[current_];
    row.Disabled = entry.disabled ? kPopupDisabled : kPopupFollowControl;
    row.Check = static_cast<uint8_t>(entry.check);
    row.Icon = entry.attributes;
    if (position != 0) ++position;
  }
}

void PopupClass::AddSubMenu(std::string_view Text, std::string_view Definition,
                            std::string_view After) {
  int32_t position = 0;
  size_t after = After.empty() ? PopupItems.size() : Find(After);
  if (after < PopupItems.size()) position = static_cast<int32_t>(EndOfSubtree(after)) + 1;
  AddMenu(std::string(Text) + '{' + std::string(Definition) + '}', position);
}

void PopupClass::AddSubMenu(std::string_view Text, std::string_view Definition) {
  AddSubMenu(Text, Definition, {});
}

void PopupClass::DeleteItem(std::string_view Name) {
  size_t at = Find(Name);
  if (at == PopupItems.size()) return;
  size_t end = EndOfSubtree(at);
  PopupItems.erase(PopupItems.begin() + static_cast<std::ptrdiff_t>(at),
                   PopupItems.begin() + static_cast<std::ptrdiff_t>(end));
  current_ = std::min(at, PopupItems.size());
}

void PopupClass::SetItemEnable(std::string_view Name, bool On) {
  if (!LocateName(Name)) return;
  PopupItem& row = PopupItems[current_];
  if (row.Text == kPopupSeparatorText) return;
  row.Disabled = On ? kPopupEnabled : kPopupDisabled;
}

void PopupClass::SetItemCheck(std::string_view Name, uint8_t Check) {
  if (LocateName(Name)) PopupItems[current_].Check = Check;
}

void PopupClass::SetIcon(std::string_view Name, std::string_view Icon) {
  if (LocateName(Name)) PopupItems[current_].Icon = std::string(Icon);
}

void PopupClass::SetToolbox(std::string_view Name, bool On) {
  if (LocateName(Name)) PopupItems[current_].OnToolbox = On ? 1 : 0;
}

uint16_t PopupClass::GetItems(uint8_t Mode) const {
  if (Mode == 0) return static_cast<uint16_t>(PopupItems.size());
  auto count = std::count_if(PopupItems.begin(), PopupItems.end(), [](const PopupItem& row) {
    return row.Depth <= 1 && row.Text != kPopupSeparatorText;
  });
  return static_cast<uint16_t>(count);
}

std::string PopupClass::GetName(int32_t Number) const {
  if (Number < 1 || static_cast<size_t>(Number) > shown_lines_.size()) return {};
  return shown_lines_[static_cast<size_t>(Number) - 1].name;
}

bool PopupClass::LocateName(std::string_view Name) {
  size_t at = Find(Name);
  if (at == PopupItems.size()) return false;
  current_ = at;
  return true;
}

std::string PopupClass::GetMenuText() {
  std::vector<ShownEntry> shown;
  for (size_t i = 0; i < PopupItems.size();) {
    const PopupItem& item = PopupItems[i];
    ControlState control;
    if (item.MimicMode != 0) {
      control = ReadControl(item.ControlID);
      if (control.hidden) {
        i = EndOfSubtree(i);
        continue;
      }
    }
    ShownEntry entry = Present(item, item.MimicMode != 0 ? &control : nullptr);
    // A submenu opens one level at a time: an entry deeper than that joins
    // the submenu being opened.
    int32_t deepest = shown.empty() ? 1 : shown.back().depth + 1;
    entry.depth = std::clamp(item.Depth, 1, deepest);
    if (Translator && !entry.separator) entry.text = Translator(entry.text);
    shown.push_back(std::move(entry));
    ++i;
  }
  bool with_icons = std::any_of(shown.begin(), shown.end(), [](const ShownEntry& entry) {
    return !entry.separator && !entry.icon.empty();
  });

  std::string menu;
  shown_lines_.clear();
  for (size_t i = 0; i < shown.size(); ++i) {
    const ShownEntry& entry = shown[i];
    if (i > 0) {
      int32_t previous = shown[i - 1].depth;
      if (entry.depth > previous) {
        menu += '{';
      } else if (entry.depth < previous) {
        menu.append(static_cast<size_t>(previous - entry.depth), '}');
      } else {
        menu += '|';
      }
    }
    menu += EntryText(entry, with_icons);
    bool is_header = i + 1 < shown.size() && shown[i + 1].depth > entry.depth;
    if (!entry.separator && !is_header) {
      shown_lines_.push_back(ShownLine{entry.name, entry.disabled});
    }
  }
  return menu;
}

int32_t PopupClass::ExecutePopup(std::string_view MenuText, int32_t X, int32_t Y) {
  return window::POPUP(MenuText, X, Y);
}

std::string PopupClass::Ask(int32_t X, int32_t Y) {
  window::SETKEYCODE(0);
  std::string menu = GetMenuText();
  // A menu with no line to choose is not shown: there is nothing to ask.
  int32_t line = shown_lines_.empty() ? 0 : ExecutePopup(menu, X, Y);
  bool chosen = line >= 1 && static_cast<size_t>(line) <= shown_lines_.size() &&
                !shown_lines_[static_cast<size_t>(line) - 1].disabled;
  LastNumberSelection = chosen ? line : 0;
  if (!chosen) {
    LastSelection.clear();
    return {};
  }
  LastSelection = GetName(line);
  if (LocateName(LastSelection)) {
    const PopupItem& row = PopupItems[current_];
    if (row.Event != 0 || row.MimicMode != 0) {
      if (ClearKeyCode != 0) window::SETKEYCODE(0);
      window::POST(row.MimicMode != 0 ? window::EVENT::Accepted : row.Event,
                   row.ControlID, MyThread);
    }
  }
  return LastSelection;
}

std::string PopupClass::RemoveAmpersand(std::string_view Text) {
  std::string out;
  for (size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] != '&') {
      out += Text[i];
    } else if (i + 1 < Text.size() && Text[i + 1] == '&') {
      out += '&';
      ++i;
    }
  }
  return out;
}

std::string PopupClass::GetUniqueName(std::string_view Text) const {
  if (Text == kPopupSeparatorText) return MakeUnique(std::string(kPopupSeparatorName));
  std::string name;
  for (char c : Text) {
    if (IsNameCharacter(c)) name += c;
  }
  return MakeUnique(std::move(name));
}

size_t PopupClass::Find(std::string_view name) const {
  auto it = std::find_if(PopupItems.begin(), PopupItems.end(),
                         [&](const PopupItem& row) { return row.Name == name; });
  return static_cast<size_t>(it - PopupItems.begin());
}

bool PopupClass::Taken(std::string_view name) const { return Find(name) < PopupItems.size(); }

std::string PopupClass::MakeUnique(std::string name) const {
  for (int32_t counter = 1; Taken(name); ++counter) name += std::to_string(counter);
  return name;
}

size_t PopupClass::EndOfSubtree(size_t index) const {
  size_t end = index + 1;
  while (end < PopupItems.size() && PopupItems[end].Depth > PopupItems[index].Depth) ++end;
  return end;
}

}  // namespace zuna::framework
