// Locators: jumping in a list by typing the beginning of a value of the
// field it is sorted on.  The typed text (the shadow) is shown in an entry
// control; each keystroke, or the accepted entry, sets the locator field,
// and the browse restarts its view at that value.
//
//   IncrementalLocatorClass locator;
//   locator.Init(kSearchEntry, values::RefString(ZUN.FIO, 30), 1, browse);
//   browse.AddLocator(locator);
//
// LocatorClass only clears the field.  EntryLocatorClass keeps the shadow
// (at most 40 characters) bound to its entry and reacts when the entry is
// accepted.  IncrementalLocatorClass reacts to every key: Backspace removes
// the last character, the space bar and every character key append one;
// the keys are alerted on the list and on the search entry, so the
// highlight follows typing wherever the user types.
//
// With NoCase the text is upper-cased through the locale's case table
// (Cyrillic included) before it is used.  For a descending field the value
// is the text followed by FEh, so the list starts after every value that
// begins with it.
//
// Ownership and threads: the locator refers to its field and browse, which
// must outlive it; it belongs to the browse's thread.
#ifndef ZUNA_FRAMEWORK_WINDOW_LOCATORS_H_
#define ZUNA_FRAMEWORK_WINDOW_LOCATORS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/values/variable.h"

namespace zuna::window {
class Window;
}

namespace zuna::framework {

class BrowseClass;
class ViewManager;

inline constexpr size_t kShadowSize = 40;

class LocatorClass {
 public:
  virtual ~LocatorClass() = default;

  ::zuna::framework::ViewManager* ViewManager = nullptr;
  BrowseClass* BrowseManager = nullptr;
  int32_t Control = 0;  // entry showing the text; 0 = none
  values::VariableRef FreeElement{};
  uint8_t NoCase = 0;

  virtual std::string GetShadow() { return {}; }
  // Binds the field and keeps the control and the case rule.
  virtual void Init(int32_t control, const values::VariableRef& field, uint8_t no_case);
  // The same, searching `browse`'s view.
  void Init(int32_t control, const values::VariableRef& field, uint8_t no_case,
            BrowseClass& browse);
  // After an accepted search; nothing here.
  virtual void Reset() {}
  // A fresh start: the field cleared.  Called when the sort order becomes
  // current and after every move of the highlight.
  virtual void Set();
  virtual void SetLocatorField(const values::VariableRef& field);
  // Alerts the locator's keys on `control` (the list).
  virtual void SetAlerts(int32_t /*control*/) {}
  // The entry is enabled only while the list has rows.
  virtual void SetEnabled(uint8_t on);
  virtual void SetShadow(std::string_view /*text*/) {}
  // The entry was accepted: true when the field now holds a value.
  virtual uint8_t TakeAccepted() { return 0; }
  // One alerted key: true when the locator used it.
  virtual uint8_t TakeKey() { return 0; }
  virtual void UpdateWindow();
  virtual void Update() { UpdateWindow(); }

 protected:
  // The window the locator's control is on (the browse's, else the
  // thread's current window).
  window::Window* Screen() const;
  // Whether the field sorts ascending in the browse's order.
  bool Ascending() const;
};

class EntryLocatorClass : public LocatorClass {
 public:
  char Shadow[kShadowSize] = {};  // space-padded

  std::string GetShadow() override;
  void Init(int32_t control, const values::VariableRef& field, uint8_t no_case) override;
  using LocatorClass::Init;
  void Set() override;
  void SetShadow(std::string_view text) override;
  void SetLocatorField(const values::VariableRef& field) override;
  uint8_t TakeAccepted() override;
  // The field from the shadow (upper-cased with NoCase), then redisplay.
  void Update() override;

 protected:
  void BindShadow();

  // The text as typed, a trailing blank included: the shadow is
  // space-padded and cannot tell "ИВАН " from "ИВАН".
  std::string typed_;
};

class IncrementalLocatorClass : public EntryLocatorClass {
 public:
  // Backspace and the space bar on `control`; on the search entry, every
  // key that types a character too.
  void SetAlerts(int32_t control) override;
  uint8_t TakeKey() override;
};

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_WINDOW_LOCATORS_H_
