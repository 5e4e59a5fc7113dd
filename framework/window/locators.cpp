#include "framework/window/locators.h"

#include <algorithm>
#include <cstring>

#include "framework/data/view_manager.h"
#include "framework/window/browse_class.h"
#include "runtime/values/locale.h"
#include "runtime/window/engine.h"

namespace zuna::framework {

namespace {

namespace KEY = window::KEY;

// A descending field's value after every value that begins with the text.
constexpr char kPastText = static_cast<char>(0xFE);

// The keys that type a character: letters (Cyrillic ones share their
// keys), digits and the punctuation keys, with and without Shift.
template <typename Fn>
void ForEachCharacterKey(Fn&& fn) {
  auto both = [&](int32_t code) {
    fn(code);
    fn(KEY::Shift + code);
  };
  for (int32_t code = '0'; code <= '9'; ++code) both(code);
  for (int32_t code = 'A'; code <= 'Z'; ++code) both(code);
  for (int32_t code = 0xBA; code <= 0xC0; ++code) both(code);
  for (int32_t code = 0xDB; code <= 0xDE; ++code) both(code);
}

std::string Clip(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

}  // namespace

// --- LocatorClass ------------------------------------------------------------

void LocatorClass::Init(int32_t control, const values::VariableRef& field,
                        uint8_t no_case) {
  FreeElement = field;
  Control = control;
  NoCase = no_case;
}

void LocatorClass::Init(int32_t control, const values::VariableRef& field,
                        uint8_t no_case, BrowseClass& browse) {
  ViewManager = &browse;
  BrowseManager = &browse;
  Init(control, field, no_case);
}

window::Window* LocatorClass::Screen() const {
  if (BrowseManager != nullptr && BrowseManager->Window != nullptr &&
      BrowseManager->Window->MyWindow != nullptr) {
    return BrowseManager->Window->MyWindow;
  }
  return window::TARGET();
}

bool LocatorClass::Ascending() const {
  return ViewManager == nullptr || ViewManager->GetFieldAscending(FreeElement) != 0;
}

void LocatorClass::Set() { WriteString(FreeElement, ""); }

void LocatorClass::SetLocatorField(const values::VariableRef& field) {
  FreeElement = field;
  WriteString(FreeElement, "");
  SetShadow("");
}

void LocatorClass::SetEnabled(uint8_t on) {
  window::Window* w = Screen();
  if (Control == 0 || w == nullptr || !w->IsOpen()) return;
  if (on) {
    w->Enable(Control);
  } else {
    w->Disable(Control);
  }
}

void LocatorClass::UpdateWindow() {
  window::Window* w = Screen();
  if (Control != 0 && w != nullptr && w->IsOpen()) w->Display(Control);
}

// --- EntryLocatorClass -------------------------------------------------------

std::string EntryLocatorClass::GetShadow() {
  std::string shown = Clip(std::string(Shadow, sizeof Shadow));
  // The user may have edited the entry itself since the last key.
  return Clip(typed_) == shown ? typed_ : shown;
}

void EntryLocatorClass::SetShadow(std::string_view text) {
  std::memset(Shadow, ' ', sizeof Shadow);
  std::memcpy(Shadow, text.data(), std::min(text.size(), sizeof Shadow));
  typed_ = std::string(text.substr(0, sizeof Shadow));
}

void EntryLocatorClass::BindShadow() {
  window::Window* w = Screen();
  if (Control == 0 || w == nullptr) return;
  w->SetUse(Control, values::RefString(Shadow, sizeof Shadow), "Shadow");
}

void EntryLocatorClass::Init(int32_t control, const values::VariableRef& field,
                             uint8_t no_case) {
  SetShadow("");
  LocatorClass::Init(control, field, no_case);
  BindShadow();
}

void EntryLocatorClass::Set() {
  SetShadow("");
  BindShadow();
  LocatorClass::Set();
  Update();
}

void EntryLocatorClass::SetLocatorField(const values::VariableRef& field) {
  LocatorClass::SetLocatorField(field);
}

void EntryLocatorClass::Update() {
  std::string text = GetShadow();
  if (NoCase == 1) text = values::ToUpper(text);
  if (!Ascending()) text += kPastText;
  WriteString(FreeElement, text);
  UpdateWindow();
}

uint8_t EntryLocatorClass::TakeAccepted() {
  window::Window* w = Screen();
  if (Control != 0 && w != nullptr && w->IsOpen()) w->Update(Control);
  std::string text = GetShadow();
  if (!Ascending()) text += kPastText;
  WriteString(FreeElement, text);
  return Clip(values::ReadString(FreeElement)).empty() ? 0 : 1;
}

// --- IncrementalLocatorClass -------------------------------------------------

void IncrementalLocatorClass::SetAlerts(int32_t control) {
  window::Window* w = Screen();
  if (w == nullptr) return;
  for (int32_t target : {control, Control}) {
    if (target == 0) continue;
    w->Alert(target, KEY::BS);
    w->Alert(target, KEY::Space);
    // Typing in the list or in the search entry moves the highlight at
    // every key, not only when the entry is left.
    ForEachCharacterKey([&](int32_t code) { w->Alert(target, code); });
  }
}

uint8_t IncrementalLocatorClass::TakeKey() {
  const int32_t key = window::KEYCODE();
  std::string shadow = GetShadow();
  if (key == KEY::BS) {
    if (!shadow.empty()) shadow.pop_back();
  } else if (key == KEY::Space) {
    shadow += ' ';
  } else if (window::KEYCHAR() != 0 && key != KEY::Enter && key != KEY::Tab &&
             key != KEY::Esc) {
    shadow += static_cast<char>(window::KEYCHAR());
  } else {
    return 0;
  }
  SetShadow(shadow.substr(0, kShadowSize));
  Update();
  return 1;
}

}  // namespace zuna::framework
