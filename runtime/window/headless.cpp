#include "runtime/window/headless.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "runtime/window/popup_menu.h"

namespace zuna::window {
namespace {

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string Hex(int32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%Xh", static_cast<unsigned>(value));
  return buffer;
}

const char* KindName(WindowKind kind) {
  switch (kind) {
    case WindowKind::kApplication:
      return "application";
    case WindowKind::kMdiChild:
      return "mdi";
    case WindowKind::kModal:
      break;
  }
  return "window";
}

std::string TrimRight(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && text[end - 1] == ' ') --end;
  return std::string(text.substr(0, end));
}

}  // namespace

// ---------------------------------------------------------------------------
// HeadlessBackend.

std::optional<std::vector<PropUpdate>> HeadlessBackend::Realize(
    const WindowSnapshot& window) {
  std::lock_guard lock(mu_);
  if (fail_realize_ > 0) {
    --fail_realize_;
    transcript_.push_back("refused " + window.name);
    return std::nullopt;
  }
  transcript_.push_back("open " + std::to_string(window.id) + " " + KindName(window.kind) +
                        " " + window.name + " " + Quoted(window.title) + " thread " +
                        std::to_string(window.thread));
  // The engine measured with the headless metrics already.
  return std::vector<PropUpdate>{};
}

void HeadlessBackend::Apply(int32_t window_id, std::vector<Delta> deltas) {
  std::lock_guard lock(mu_);
  std::string id = std::to_string(window_id);
  for (const Delta& delta : deltas) {
    std::string control = std::to_string(delta.control);
    switch (delta.prop) {
      case kDeltaRows:
        transcript_.push_back("rows " + id + " " + control + " " +
                              std::to_string(delta.rows ? delta.rows->size() : 0));
        break;
      case kDeltaFocus:
        transcript_.push_back("focus " + id + " " + delta.value);
        break;
      case kDeltaCreate:
        transcript_.push_back("create " + id + " " + control);
        break;
      case PROP::Text:
        transcript_.push_back("text " + id + " " + control + " " + Quoted(delta.value));
        break;
      default:
        transcript_.push_back("prop " + id + " " + control + " " + Hex(delta.prop) + " " +
                              Quoted(delta.value));
    }
  }
}

void HeadlessBackend::Destroy(int32_t window_id) {
  std::lock_guard lock(mu_);
  transcript_.push_back("close " + std::to_string(window_id));
}

void HeadlessBackend::RunModal(const ModalRequest& request) {
  std::function<std::optional<int32_t>(const ModalRequest&)> handler;
  {
    std::lock_guard lock(mu_);
    if (request.kind == ModalRequest::Kind::kMessage) {
      transcript_.push_back("message " + std::to_string(request.thread) + " " +
                            Quoted(request.caption) + " " + Quoted(request.text) +
                            " buttons " + std::to_string(request.buttons) + " default " +
                            std::to_string(request.default_button));
    } else {
      transcript_.push_back("popup " + std::to_string(request.thread) + " " +
                            Quoted(request.text));
    }
    handler = handler_;
  }
  std::optional<int32_t> answer;
  if (handler) answer = handler(request);
  if (answer) {
    {
      std::lock_guard lock(mu_);
      transcript_.push_back("answer " + std::to_string(*answer));
    }
    engine_->CompleteModal(request.id, *answer);
    return;
  }
  std::lock_guard lock(mu_);
  pending_.push_back(request);
}

void HeadlessBackend::Beep() {
  std::lock_guard lock(mu_);
  ++beeps_;
  transcript_.push_back("beep");
}

void HeadlessBackend::SetCursor(int32_t cursor) {
  std::lock_guard lock(mu_);
  cursor_ = cursor;
}

void HeadlessBackend::FailNextRealize(int32_t count) {
  std::lock_guard lock(mu_);
  fail_realize_ = count;
}

void HeadlessBackend::SetAnswerHandler(
    std::function<std::optional<int32_t>(const ModalRequest&)> handler) {
  std::lock_guard lock(mu_);
  handler_ = std::move(handler);
}

std::vector<ModalRequest> HeadlessBackend::Pending() const {
  std::lock_guard lock(mu_);
  return pending_;
}

bool HeadlessBackend::Complete(int64_t request_id, int32_t result) {
  {
    std::lock_guard lock(mu_);
    auto it = std::find_if(pending_.begin(), pending_.end(),
                           [&](const ModalRequest& r) { return r.id == request_id; });
    if (it == pending_.end()) return false;
    pending_.erase(it);
    transcript_.push_back("answer " + std::to_string(result));
  }
  engine_->CompleteModal(request_id, result);
  return true;
}

std::vector<std::string> HeadlessBackend::Transcript() const {
  std::lock_guard lock(mu_);
  return transcript_;
}

void HeadlessBackend::Note(std::string line) {
  std::lock_guard lock(mu_);
  transcript_.push_back(std::move(line));
}

int32_t HeadlessBackend::beeps() const {
  std::lock_guard lock(mu_);
  return beeps_;
}

int32_t HeadlessBackend::cursor() const {
  std::lock_guard lock(mu_);
  return cursor_;
}

// ---------------------------------------------------------------------------
// HeadlessEngine.

HeadlessEngine::HeadlessEngine() : engine_(backend_), current_(engine_) {
  backend_.Attach(&engine_);
}

HeadlessEngine::~HeadlessEngine() {
  // While still current, so the ending threads find their own engine.
  engine_.Abandon();
  engine_.JoinAll(std::chrono::minutes(1));
}

bool HeadlessEngine::RunMain(std::function<void()> procedure) {
  return engine_.RunMain(std::move(procedure));
}

bool HeadlessEngine::Settle(std::chrono::milliseconds timeout) {
  return engine_.WaitIdle(timeout);
}

bool HeadlessEngine::Finish(std::chrono::milliseconds timeout) {
  return engine_.JoinAll(timeout);
}

std::vector<int32_t> HeadlessEngine::Windows() const { return engine_.WindowIds(); }

int32_t HeadlessEngine::FindWindow(std::string_view title) const {
  std::vector<int32_t> ids = engine_.WindowIds();
  for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
    std::optional<WindowView> view = engine_.ReadWindow(*it);
    if (view && view->title == title) return *it;
  }
  return 0;
}

std::string HeadlessEngine::Title(int32_t window) const {
  std::optional<WindowView> view = engine_.ReadWindow(window);
  return view ? view->title : std::string();
}

std::string HeadlessEngine::Text(int32_t window, int32_t control) const {
  return Prop(window, control, PROP::Text);
}

std::string HeadlessEngine::Prop(int32_t window, int32_t control, int32_t prop) const {
  std::optional<WindowView> view = engine_.ReadWindow(window);
  if (!view) return {};
  const std::map<int32_t, std::string>* props = &view->props;
  if (control > 0) {
    if (control > static_cast<int32_t>(view->controls.size())) return {};
    const ControlView& target = view->controls[control - 1];
    if (prop == PROP::Visible) return target.visible ? "1" : "0";
    if (prop == PROP::Type) return std::to_string(target.type);
    if (prop == PROP::Label) return target.label;
    props = &target.props;
  } else if (control < 0) {
    if (-control > static_cast<int32_t>(view->menus.size())) return {};
    const MenuSnapshot& menu = view->menus[-control - 1];
    if (prop == PROP::Text) return menu.text;
    if (prop == PROP::Disable) return menu.disabled ? "1" : "0";
    return {};
  } else {
    if (prop == PROP::Focus) return std::to_string(view->focus);
    if (prop == PROP::Active) return view->active ? "1" : "0";
    if (prop == PROP::AcceptAll) return view->accept_all ? "1" : "0";
    if (prop == PROP::Thread) return std::to_string(view->thread);
  }
  auto it = props->find(prop);
  return it == props->end() ? std::string() : it->second;
}

int32_t HeadlessEngine::PropLong(int32_t window, int32_t control, int32_t prop) const {
  return PropertyNumber(Prop(window, control, prop));
}

ListRows HeadlessEngine::Rows(int32_t window, int32_t control) const {
  std::optional<WindowView> view = engine_.ReadWindow(window);
  if (!view || control < 1 || control > static_cast<int32_t>(view->controls.size())) {
    return {};
  }
  const auto& rows = view->controls[control - 1].rows;
  return rows ? *rows : ListRows{};
}

int32_t HeadlessEngine::ControlNumber(int32_t window, std::string_view label) const {
  std::optional<WindowView> view = engine_.ReadWindow(window);
  if (!view) return 0;
  for (const ControlView& control : view->controls) {
    if (control.label == label) return control.number;
  }
  return 0;
}

void HeadlessEngine::SendInput(int32_t window, const UserInput& input) {
  // The user acts only when the program waits: each action is one step,
  // whatever the threads' timing.
  engine_.WaitIdle(std::chrono::seconds(10));
  engine_.Input(window, input);
}

void HeadlessEngine::ChooseMenu(int32_t window, int32_t menu) {
  UserInput input;
  input.event = EVENT::Accepted;
  input.control = menu;
  SendInput(window, input);
}

void HeadlessEngine::Click(int32_t window, int32_t control) {
  UserInput input;
  input.event = EVENT::Accepted;
  input.control = control;
  SendInput(window, input);
}

void HeadlessEngine::Edit(int32_t window, int32_t control, std::string_view text) {
  UserInput input;
  input.updates.push_back(PropUpdate{control, PROP::Text, std::string(text)});
  SendInput(window, input);
}

void HeadlessEngine::Type(int32_t window, int32_t control, std::string_view text) {
  UserInput input;
  input.updates.push_back(PropUpdate{control, PROP::Text, std::string(text)});
  input.event = EVENT::Accepted;
  input.control = control;
  SendInput(window, input);
}

void HeadlessEngine::TypeKeys(int32_t window, int32_t control, std::string_view text) {
  for (char character : text) {
    int32_t keycode = KeyCodeForCharacter(character);
    int32_t keychar = static_cast<uint8_t>(character);
    if (keycode != 0 && engine_.IsAlerted(window, control, keycode)) {
      UserInput input;
      input.control = control;
      input.keycode = keycode;
      input.keychar = keychar;
      SendInput(window, input);
      continue;
    }
    if (PropLong(window, control, PROP::Type) == ControlType::Entry) {
      Edit(window, control, TrimRight(Text(window, control)) + character);
    }
  }
}

void HeadlessEngine::PressKey(int32_t window, int32_t control, int32_t keycode,
                              int32_t keychar) {
  UserInput input;
  input.control = control;
  input.keycode = keycode;
  input.keychar = keychar;
  int32_t type = PropLong(window, control, PROP::Type);
  if (type == ControlType::Button && (keycode == KEY::Enter || keycode == KEY::Space)) {
    input.event = EVENT::Accepted;
  } else if (type == ControlType::Entry && keycode == KEY::Enter) {
    input.event = EVENT::Accepted;
  } else if (type == ControlType::List) {
    if (PropLong(window, control, PROP::Imm) != 0) {
      switch (keycode) {
        case KEY::Up: input.event = EVENT::ScrollUp; break;
        case KEY::Down: input.event = EVENT::ScrollDown; break;
        case KEY::PgUp: input.event = EVENT::PageUp; break;
        case KEY::PgDn: input.event = EVENT::PageDown; break;
        case KEY::Home:
        case KEY::Ctrl + KEY::PgUp: input.event = EVENT::ScrollTop; break;
        case KEY::End:
        case KEY::Ctrl + KEY::PgDn: input.event = EVENT::ScrollBottom; break;
        default: break;
      }
    } else {
      int32_t rows = static_cast<int32_t>(Rows(window, control).size());
      int32_t items = std::max(PropLong(window, control, PROP::Items), 1);
      int32_t selected = PropLong(window, control, PROP::Selected);
      int32_t wanted = selected;
      switch (keycode) {
        case KEY::Up: wanted = selected - 1; break;
        case KEY::Down: wanted = selected + 1; break;
        case KEY::PgUp: wanted = selected - items; break;
        case KEY::PgDn: wanted = selected + items; break;
        case KEY::Home: wanted = 1; break;
        case KEY::End: wanted = rows; break;
        default: break;
      }
      wanted = std::clamp(wanted, rows > 0 ? 1 : 0, rows);
      if (wanted != selected) {
        input.updates.push_back(PropUpdate{control, PROP::Selected, std::to_string(wanted)});
        input.event = EVENT::NewSelection;
      }
    }
  }
  SendInput(window, input);
}

void HeadlessEngine::SelectRow(int32_t window, int32_t control, int32_t row) {
  UserInput input;
  input.updates = {PropUpdate{control, PROP::Selected, std::to_string(row)},
                   PropUpdate{control, PROP::MouseDownRow, std::to_string(row)},
                   PropUpdate{control, PROP::MouseDownZone, std::to_string(ListZone::Row)}};
  input.event = EVENT::NewSelection;
  input.control = control;
  SendInput(window, input);
}

void HeadlessEngine::DoubleClickRow(int32_t window, int32_t control, int32_t row) {
  if (PropLong(window, control, PROP::Selected) != row) SelectRow(window, control, row);
  UserInput input;
  input.updates = {PropUpdate{control, PROP::MouseDownRow, std::to_string(row)},
                   PropUpdate{control, PROP::MouseDownZone, std::to_string(ListZone::Row)}};
  input.event = EVENT::Accepted;
  input.control = control;
  input.keycode = KEY::MouseLeft2;
  SendInput(window, input);
}

void HeadlessEngine::RightClickRow(int32_t window, int32_t control, int32_t row) {
  // The press highlights the row, as the left button does, and the new
  // selection carries the right button; the release is a key of its own.
  UserInput press;
  press.updates = {PropUpdate{control, PROP::MouseDownRow, std::to_string(row)},
                   PropUpdate{control, PROP::MouseDownZone, std::to_string(ListZone::Row)}};
  press.control = control;
  press.keycode = KEY::MouseRight;
  if (PropLong(window, control, PROP::Selected) != row) {
    press.updates.push_back(PropUpdate{control, PROP::Selected, std::to_string(row)});
    press.event = EVENT::NewSelection;
  }
  SendInput(window, press);
  UserInput release;
  release.updates = press.updates;
  release.updates.resize(2);
  release.control = control;
  release.keycode = KEY::MouseRightUp;
  SendInput(window, release);
}

void HeadlessEngine::Scroll(int32_t window, int32_t control, int32_t event) {
  Send(window, event, control);
}

void HeadlessEngine::DragThumb(int32_t window, int32_t control, int32_t position) {
  UserInput input;
  input.updates = {PropUpdate{control, PROP::VScrollPos, std::to_string(position)}};
  input.event = EVENT::ScrollDrag;
  input.control = control;
  SendInput(window, input);
}

void HeadlessEngine::SelectTab(int32_t window, int32_t sheet, int32_t tab) {
  Send(window, EVENT::TabChanging, sheet);
  UserInput input;
  input.updates = {PropUpdate{sheet, PROP::Selected, std::to_string(tab)}};
  input.event = EVENT::NewSelection;
  input.control = sheet;
  SendInput(window, input);
}

void HeadlessEngine::Resize(int32_t window, int32_t width, int32_t height) {
  // The user drags the frame, and the frame stops at the window's minimum
  // and maximum size, as a real one does (a maximum of 0 is none).
  std::optional<WindowView> view = engine_.ReadWindow(window);
  if (view) {
    auto limit = [&view](int32_t prop) {
      auto it = view->props.find(prop);
      return it == view->props.end() ? 0 : PropertyNumber(it->second);
    };
    width = std::max(width, limit(PROP::MinWidth));
    height = std::max(height, limit(PROP::MinHeight));
    if (limit(PROP::MaxWidth) > 0) width = std::min(width, limit(PROP::MaxWidth));
    if (limit(PROP::MaxHeight) > 0) height = std::min(height, limit(PROP::MaxHeight));
  }
  UserInput input;
  input.updates = {PropUpdate{0, PROP::ClientWidth, std::to_string(width)},
                   PropUpdate{0, PROP::ClientHeight, std::to_string(height)},
                   PropUpdate{0, PROP::Width, std::to_string(width)},
                   PropUpdate{0, PROP::Height, std::to_string(height)}};
  input.event = EVENT::Sized;
  SendInput(window, input);
}

void HeadlessEngine::CloseBox(int32_t window) { Send(window, EVENT::CloseWindow); }

void HeadlessEngine::Activate(int32_t window) {
  UserInput input;
  input.activated = true;
  SendInput(window, input);
}

void HeadlessEngine::Focus(int32_t window, int32_t control) {
  UserInput input;
  input.updates = {PropUpdate{0, PROP::Focus, std::to_string(control)}};
  input.event = EVENT::Selected;
  input.control = control;
  SendInput(window, input);
}

void HeadlessEngine::Send(int32_t window, int32_t event, int32_t control) {
  UserInput input;
  input.event = event;
  input.control = control;
  SendInput(window, input);
}

bool HeadlessEngine::Answer(int32_t result) {
  engine_.WaitIdle(std::chrono::seconds(10));
  std::vector<ModalRequest> pending = backend_.Pending();
  if (pending.empty()) return false;
  return backend_.Complete(pending.front().id, result);
}

bool HeadlessEngine::AnswerPopup(std::string_view entry_text) {
  engine_.WaitIdle(std::chrono::seconds(10));
  for (const ModalRequest& request : backend_.Pending()) {
    if (request.kind != ModalRequest::Kind::kPopup) continue;
    for (const PopupEntry& entry : ParsePopupMenu(request.text)) {
      // A disabled line cannot be chosen on any screen; look on for an
      // enabled one of the same text.
      if (entry.line > 0 && !entry.disabled && entry.text == entry_text) {
        return backend_.Complete(request.id, entry.line);
      }
    }
    return false;
  }
  return false;
}

std::vector<std::string> HeadlessEngine::EventsOf(int32_t window) const {
  std::vector<std::string> names;
  for (const DeliveredEvent& delivered : engine_.Deliveries()) {
    if (delivered.window_id != window) continue;
    std::string name = EventName(delivered.event);
    if (delivered.field != 0) name += "(" + std::to_string(delivered.field) + ")";
    names.push_back(std::move(name));
  }
  return names;
}

// ---------------------------------------------------------------------------

int32_t KeyCodeForCharacter(char character) {
  auto byte = static_cast<uint8_t>(character);
  if (byte >= 'a' && byte <= 'z') return 0x41 + (byte - 'a');
  if (byte >= 'A' && byte <= 'Z') return KEY::Shift + 0x41 + (byte - 'A');
  if (byte >= '0' && byte <= '9') return byte;
  switch (byte) {
    case ' ': return KEY::Space;
    case ',': return 0xBC;
    case '.': return 0xBE;
    case '-': return 0xBD;
    case '=': return 0xBB;
    case '/': return 0xBF;
    case ';': return 0xBA;
    case '\'': return KEY::Quote;
    case '[': return 0xDB;
    case ']': return 0xDD;
    case '\\': return 0xDC;
    case '`': return 0xC0;
    case 0xA8: return KEY::Shift + 0xC0;  // Ё
    case 0xB8: return 0xC0;               // ё
    default: break;
  }
  // The Russian layout: the Latin key under each of А…Я.
  static constexpr uint8_t kCyrillicKeys[32] = {
      'F', 0xBC, 'D', 'U', 'L', 'T', 0xBA, 'P',  // А Б В Г Д Е Ж З
      'B', 'Q',  'R', 'K', 'V', 'Y', 'J',  'G',  // И Й К Л М Н О П
      'H', 'C',  'N', 'E', 'A', 0xDB, 'W', 'X',  // Р С Т У Ф Х Ц Ч
      'I', 'O',  0xDD, 'S', 'M', 0xDE, 0xBE, 'Z', // Ш Щ Ъ Ы Ь Э Ю Я
  };
  if (byte >= 0xC0 && byte <= 0xDF) return KEY::Shift + kCyrillicKeys[byte - 0xC0];
  if (byte >= 0xE0) return kCyrillicKeys[byte - 0xE0];
  return 0;
}

}  // namespace zuna::window
