// engine.h: the Window object and the runtime's free functions, each a thin
// call into the current engine.
#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "runtime/values/code_page.h"
#include "runtime/values/date_serial.h"
#include "runtime/values/format.h"
#include "runtime/window/engine_core.h"

namespace zuna::window {

using values::W;
namespace {

// The runs of digits in a text, as numbers with their lengths.
std::vector<std::pair<int64_t, size_t>> DigitGroups(std::string_view text) {
  std::vector<std::pair<int64_t, size_t>> groups;
  size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] < '0' || text[pos] > '9') {
      ++pos;
      continue;
    }
    int64_t value = 0;
    size_t length = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      if (value < 100000000) value = value * 10 + (text[pos] - '0');
      ++length;
      ++pos;
    }
    groups.emplace_back(value, length);
  }
  return groups;
}

// DeformatDate rolls an impossible day or month over into a real date
// (31/02 becomes 3/03); an entry must not do that silently.  The typed
// numbers must come back when the date is shown again in the same picture;
// a year typed with two digits matches its widened form.
bool DateTextMatches(std::string_view text, int32_t serial, const values::Picture& picture) {
  auto typed = DigitGroups(text);
  auto shown = DigitGroups(values::FormatDate(serial, picture));
  if (typed.size() != shown.size()) return true;  // month names: nothing to compare
  for (size_t i = 0; i < typed.size(); ++i) {
    if (typed[i].first == shown[i].first) continue;
    if (typed[i].second <= 2 && shown[i].second == 4 &&
        typed[i].first == shown[i].first % 100) {
      continue;
    }
    return false;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Variables and pictures.

std::string FormatVariable(const values::VariableRef& variable,
                           const values::Picture& picture) {
  if (variable.address == nullptr) return {};
  if (picture.empty()) return values::ReadString(variable);
  return values::FormatValue(values::ReadReal(variable), values::ReadString(variable),
                             picture);
}

bool DeformatIntoVariable(std::string_view text, const values::VariableRef& variable,
                          const values::Picture& picture) {
  if (variable.address == nullptr) return true;
  switch (picture.kind) {
    case values::PictureKind::kDate: {
      int32_t serial = values::DeformatDate(text, picture);
      if (serial < 0) return false;
      if (serial != 0 && !DateTextMatches(text, serial, picture)) return false;
      values::WriteLong(variable, serial);
      return true;
    }
    case values::PictureKind::kTime: {
      int32_t serial = values::DeformatTime(text, picture);
      if (serial < 0) return false;
      values::WriteLong(variable, serial);
      return true;
    }
    case values::PictureKind::kNumeric:
    case values::PictureKind::kScientific:
    case values::PictureKind::kPattern: {
      std::string plain = values::Deformat(text, picture);
      if (values::IsNumeric(variable.type)) {
        values::WriteReal(variable, std::strtod(plain.c_str(), nullptr));
      } else {
        values::WriteString(variable, plain);
      }
      return true;
    }
    case values::PictureKind::kString:
    case values::PictureKind::kEmpty:
      break;
  }
  if (values::IsNumeric(variable.type)) {
    std::string plain = values::DeformatNumericText(text);
    values::WriteReal(variable, std::strtod(plain.c_str(), nullptr));
    return true;
  }
  // Text that does not fit is refused, never cut where the user cannot see.
  std::string_view kept = text.substr(0, text.find_last_not_of(' ') + 1);
  if (kept.size() > TextCapacity(variable, picture)) return false;
  values::WriteString(variable, text);
  return true;
}

size_t TextCapacity(const values::VariableRef& variable, const values::Picture& picture) {
  size_t capacity = variable.size;
  if (variable.type == values::VarType::kCString) capacity = capacity > 0 ? capacity - 1 : 0;
  if (variable.type == values::VarType::kPString) {
    capacity = std::min<size_t>(capacity > 0 ? capacity - 1 : 0, 255);
  }
  if (picture.kind == values::PictureKind::kString) capacity = std::min(capacity, picture.width());
  return capacity;
}

std::string InputHint(const values::Picture& picture) {
  switch (picture.kind) {
    case values::PictureKind::kDate: {
      // The picture's own layout, read off a date whose parts differ.
      std::string shown = values::FormatDate(values::DATE(12, 31, 2099), picture);
      auto replace = [&shown](std::string_view part, std::string_view name) {
        const size_t at = shown.find(part);
        if (at != std::string::npos) shown.replace(at, part.size(), name);
      };
      replace("2099", W("ГГГГ"));
      replace("31", W("ДД"));
      replace("12", W("ММ"));
      replace("99", W("ГГ"));
      return W("нужна существующая дата в виде ") + shown;
    }
    case values::PictureKind::kTime:
      return W("нужно время в виде ЧЧ:ММ");
    case values::PictureKind::kString:
      return W("не длиннее ") + std::to_string(picture.width()) + W(" знаков");
    case values::PictureKind::kNumeric:
    case values::PictureKind::kScientific:
      return W("нужно число");
    default:
      return W("проверьте значение");
  }
}

// ---------------------------------------------------------------------------
// Window.

Window::Window(WindowDefinition definition) : definition_(std::move(definition)) {}

Window::~Window() {
  if (IsOpen()) Engine::Current().CloseWindow(*this);
}

void Window::Bind(int32_t control, values::VariableRef variable,
                  std::string_view picture) {
  std::string label;
  std::string used_picture(picture);
  bool has_picture = !picture.empty();
  if (control >= 1 && control <= static_cast<int32_t>(definition_.controls.size())) {
    const ControlDefinition& defined = definition_.controls[control - 1];
    label = defined.use;
    if (!has_picture && !defined.picture.empty()) {
      used_picture = defined.picture;
      has_picture = true;
    }
  }
  Binding binding{control, variable, label, used_picture, has_picture};
  std::erase_if(bindings_, [&](const Binding& b) { return b.control == control; });
  bindings_.push_back(binding);
  if (IsOpen()) Engine::Current().Rebind(*this, binding);
}

void Window::BindList(int32_t control, const ListSource* rows) {
  std::erase_if(lists_, [&](const auto& entry) { return entry.first == control; });
  lists_.emplace_back(control, rows);
  if (IsOpen()) Engine::Current().RebindList(*this, control, rows);
}

void Window::SetUse(int32_t control, values::VariableRef variable,
                    std::string_view label, std::string_view picture) {
  Bind(control, variable, picture);
  for (Binding& binding : bindings_) {
    if (binding.control == control) binding.label = std::string(label);
  }
  if (control >= 1 && control <= static_cast<int32_t>(definition_.controls.size())) {
    definition_.controls[control - 1].use = std::string(label);
  }
  if (IsOpen()) Engine::Current().Rebind(*this, bindings_.back());
}

bool Window::Open(const Window* owner) { return Engine::Current().OpenWindow(*this, owner); }

void Window::Close() { Engine::Current().CloseWindow(*this); }

bool Window::IsOpen() const {
  return model_ != nullptr && Engine::Current().IsOpen(*this);
}

int32_t Window::Id() const {
  return model_ != nullptr ? Engine::Current().IdOf(*this) : 0;
}

int32_t Window::ThreadNumber() const {
  return model_ != nullptr ? PropertyNumber(Prop(0, PROP::Thread)) : 0;
}

void Window::Display(int32_t control) { Engine::Current().Display(*this, control); }

bool Window::Update(int32_t control) { return Engine::Current().Update(*this, control); }

void Window::Select(int32_t control) { Engine::Current().Select(*this, control); }

void Window::Enable(int32_t control) { SetProp(control, PROP::Disable, "0"); }

void Window::Disable(int32_t control) { SetProp(control, PROP::Disable, "1"); }

void Window::Hide(int32_t control) { SetProp(control, PROP::Hide, "1"); }

void Window::Unhide(int32_t control) { SetProp(control, PROP::Hide, "0"); }

std::string Window::Prop(int32_t control, int32_t prop) const {
  return Engine::Current().Prop(*this, control, prop);
}

int32_t Window::PropLong(int32_t control, int32_t prop) const {
  return PropertyNumber(Prop(control, prop));
}

void Window::SetProp(int32_t control, int32_t prop, std::string_view value) {
  Engine::Current().SetProp(*this, control, prop, value);
}

void Window::SetProp(int32_t control, int32_t prop, int32_t value) {
  SetProp(control, prop, std::to_string(value));
}

void Window::Alert(int32_t control, int32_t keycode) {
  Engine::Current().Alert(*this, control, keycode, true);
}

void Window::ClearAlerts(int32_t control) {
  Engine::Current().Alert(*this, control, 0, false);
}

int32_t Window::Choice(int32_t control) const { return PropLong(control, PROP::Selected); }

void Window::AcceptAll() { Engine::Current().StartAcceptAll(*this); }

bool Window::IsAcceptAll() const { return Engine::Current().IsAcceptAll(*this); }

int32_t Window::CreateControl(ControlDefinition control) {
  return Engine::Current().CreateControl(*this, std::move(control));
}

int32_t Window::Register(int32_t event, std::function<void()> handler) {
  int32_t id = next_handler_id_++;
  handlers_.push_back(Handler{id, event, std::move(handler)});
  return id;
}

void Window::Unregister(int32_t handler_id) {
  std::erase_if(handlers_, [handler_id](const Handler& h) { return h.id == handler_id; });
}

void Window::RunHandlers(int32_t event) {
  // A handler may register or unregister others: the ones to run are fixed
  // first, and each is looked up again, so one unregistered meanwhile (its
  // owner may be gone) does not run.
  std::vector<int32_t> ids;
  for (const Handler& handler : handlers_) {
    if (handler.event == event) ids.push_back(handler.id);
  }
  for (int32_t id : ids) {
    auto it = std::find_if(handlers_.begin(), handlers_.end(),
                           [id](const Handler& h) { return h.id == id; });
    if (it == handlers_.end()) continue;
    std::function<void()> run = it->run;  // survives its own unregistering
    run();
  }
}

// ---------------------------------------------------------------------------
// Free functions.

bool ACCEPT(Window& window) {
  if (!Engine::Current().Accept(window)) return false;
  window.RunHandlers(EVENT());
  return true;
}

void CYCLE() { Engine::Current().Cycle(); }

int32_t EVENT() { return Engine::Current().CurrentEvent(); }

int32_t FIELD() { return Engine::Current().CurrentField(); }

int32_t ACCEPTED() {
  Engine& engine = Engine::Current();
  return engine.CurrentEvent() == EVENT::Accepted ? engine.CurrentField() : 0;
}

int32_t SELECTED() {
  Engine& engine = Engine::Current();
  return engine.CurrentEvent() == EVENT::Selected ? engine.CurrentField() : 0;
}

int32_t KEYCODE() { return Engine::Current().KeyCode(); }

int32_t KEYCHAR() { return Engine::Current().KeyChar(); }

void SETKEYCODE(int32_t keycode) { Engine::Current().SetKeyCode(keycode); }

bool POST(int32_t event, int32_t control, int32_t thread) {
  return Engine::Current().Post(event, control, thread);
}

bool NOTIFY(int32_t code, int32_t thread, int32_t parameter) {
  return Engine::Current().Notify(code, thread, parameter);
}

bool NOTIFICATION(int32_t& code, int32_t& thread, int32_t& parameter) {
  return Engine::Current().TakeNotification(code, thread, parameter);
}

int32_t START(std::function<void()> procedure, int32_t /*stack_size*/) {
  return Engine::Current().Start(std::move(procedure));
}

int32_t THREAD() { return Engine::Current().ThreadNumber(); }

Window* TARGET() { return Engine::Current().Target(); }

int32_t MESSAGE(std::string_view text, std::string_view caption, std::string_view icon,
                int32_t buttons, int32_t default_button, int32_t style) {
  ModalRequest request;
  request.kind = ModalRequest::Kind::kMessage;
  request.text = std::string(text);
  request.caption = std::string(caption);
  request.icon = std::string(icon);
  request.buttons = buttons == 0 ? BUTTON::OK : buttons;
  // A default that is not among the buttons falls back to the first one.
  if ((default_button & request.buttons) == 0 ||
      (default_button & (default_button - 1)) != 0) {
    default_button = request.buttons & -request.buttons;
  }
  request.default_button = default_button;
  request.style = style;
  return Engine::Current().Ask(std::move(request));
}

int32_t POPUP(std::string_view menu_text, int32_t x, int32_t y) {
  ModalRequest request;
  request.kind = ModalRequest::Kind::kPopup;
  request.text = std::string(menu_text);
  request.default_button = 0;
  request.x = x;
  request.y = y;
  return Engine::Current().Ask(std::move(request));
}

void BEEP() { Engine::Current().Beep(); }

void SETCURSOR(int32_t cursor) { Engine::Current().SetCursor(cursor); }

}  // namespace zuna::window
