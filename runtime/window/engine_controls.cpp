// Controls of open windows: display, update, focus, properties, alerts,
// controls made at run time, and the views scripts read.
#include <algorithm>
#include <utility>

#include "runtime/values/error_state.h"
#include "runtime/window/engine_core.h"
#include "runtime/window/engine_internal.h"

namespace zuna::window {

using internal::ControlModel;
using internal::ThreadState;
using internal::WindowModel;

namespace internal {

bool IsEntryLike(int32_t type) {
  return type == ControlType::Entry || type == ControlType::Combo ||
         type == ControlType::Spin || type == ControlType::Text;
}

int32_t ListLinesFor(int32_t height, bool has_headers) {
  int32_t lines = (height - (has_headers ? kListLineDlu : 0)) / kListLineDlu;
  return std::max(lines, 1);
}

void KeepChoiceShown(ControlModel& list) {
  int32_t selected = PropertyNumber(list.props[PROP::Selected]);
  int32_t items = std::max(PropertyNumber(list.props[PROP::Items]), 1);
  int32_t origin = std::max(PropertyNumber(list.props[PROP::YOrigin]), 1);
  if (selected > 0) {
    if (selected < origin) {
      origin = selected;
    } else if (selected >= origin + items) {
      origin = selected - items + 1;
    }
  }
  list.props[PROP::YOrigin] = std::to_string(origin);
}

ControlModel MakeControl(const ControlDefinition& definition, int32_t number) {
  ControlModel control;
  control.number = number;
  control.type = definition.type;
  control.label = definition.label;
  control.parent = definition.parent;
  control.use_label = definition.use;
  auto& props = control.props;
  props[PROP::Text] = definition.text;
  props[PROP::Xpos] = std::to_string(definition.x);
  props[PROP::Ypos] = std::to_string(definition.y);
  props[PROP::Width] = std::to_string(definition.width);
  props[PROP::Height] = std::to_string(definition.height);
  props[PROP::Disable] = definition.disabled ? "1" : "0";
  props[PROP::Hide] = definition.hidden ? "1" : "0";
  if (!definition.tip.empty()) props[PROP::Tip] = definition.tip;
  if (!definition.msg.empty()) props[PROP::Msg] = definition.msg;
  if (!definition.icon.empty()) props[PROP::Icon] = definition.icon;
  if (!definition.picture.empty()) {
    props[PROP::Picture] = definition.picture;
    control.picture = values::CompilePicture(definition.picture);
  }
  switch (definition.type) {
    case ControlType::Button:
      props[PROP::Default] = definition.is_default ? "1" : "0";
      break;
    case ControlType::List:
      props[PROP::Format] = definition.format;
      control.columns = ParseListFormat(definition.format);
      for (const ListColumn& column : control.columns) {
        control.column_pictures.push_back(values::CompilePicture(column.picture));
      }
      props[PROP::Imm] = definition.imm ? "1" : "0";
      props[PROP::VScroll] = definition.vscroll ? "1" : "0";
      props[PROP::Selected] = "0";
      props[PROP::YOrigin] = "1";
      props[PROP::VScrollPos] = "0";
      props[PROP::MouseDownRow] = "0";
      props[PROP::MouseDownZone] = "0";
      props[PROP::Items] = std::to_string(
          ListLinesFor(definition.height, HasHeaders(control.columns)));
      break;
    case ControlType::Sheet:
      props[PROP::Selected] = "1";
      break;
    default:
      break;
  }
  return control;
}

namespace {

// The 1-based place of `tab` among the tabs of its sheet.
int32_t TabIndex(const WindowModel& window, const ControlModel& tab) {
  int32_t index = 0;
  for (const ControlModel& control : window.controls) {
    if (control.type == ControlType::Tab && control.parent == tab.parent) {
      ++index;
      if (control.number == tab.number) return index;
    }
  }
  return 0;
}

bool IsShown(const WindowModel& window, int32_t number) {
  const ControlModel* control = window.control(number);
  // The walk follows containers; a definition whose parents form a loop
  // ends after as many steps as there are controls.
  for (size_t steps = 0; control != nullptr && steps <= window.controls.size();
       ++steps) {
    auto hide = control->props.find(PROP::Hide);
    if (hide != control->props.end() && hide->second == "1") return false;
    if (control->parent == 0) return window.open;
    const ControlModel* parent = window.control(control->parent);
    if (parent == nullptr) return window.open;
    if (parent->type == ControlType::Tab) {
      const ControlModel* sheet = window.control(parent->parent);
      if (sheet != nullptr) {
        auto selected = sheet->props.find(PROP::Selected);
        int32_t current =
            selected == sheet->props.end() ? 1 : std::max(PropertyNumber(selected->second), 1);
        if (TabIndex(window, *parent) != current) return false;
      }
    }
    control = parent;
  }
  return false;
}

std::string Lookup(const std::map<int32_t, std::string>& props, int32_t prop) {
  auto it = props.find(prop);
  return it == props.end() ? std::string() : it->second;
}

}  // namespace

std::string ReadProp(const Engine::Impl& impl, const WindowModel& window,
                     int32_t control, int32_t prop) {
  if (control == 0) {
    switch (prop) {
      case PROP::Focus:
        return std::to_string(window.focus);
      case PROP::Thread:
        return std::to_string(window.thread);
      case PROP::Active:
        return impl.active_id == window.id ? "1" : "0";
      case PROP::AcceptAll:
        return window.accept_all ? "1" : "0";
      case PROP::NextField:
        return window.controls.empty() ? "0" : "1";
      default:
        return Lookup(window.props, prop);
    }
  }
  if (control < 0) {
    if (-control > static_cast<int32_t>(window.menus.size())) return {};
    const internal::MenuModel& menu = window.menus[-control - 1];
    switch (prop) {
      case PROP::Type:
        return std::to_string(menu.snapshot.is_menu ? ControlType::Menu
                                                    : ControlType::Item);
      case PROP::Label:
        return menu.label;
      case PROP::Parent:
        return std::to_string(menu.snapshot.parent);
      default:
        return Lookup(menu.props, prop);
    }
  }
  const ControlModel* target = window.control(control);
  if (target == nullptr) return {};
  switch (prop) {
    case PROP::Type:
      return std::to_string(target->type);
    case PROP::Label:
      return target->label;
    case PROP::Use:
      return target->use_label;
    case PROP::Parent:
      return std::to_string(target->parent);
    case PROP::Visible:
      return IsShown(window, control) ? "1" : "0";
    case PROP::NextField:
      return control < static_cast<int32_t>(window.controls.size())
                 ? std::to_string(control + 1)
                 : "0";
    default:
      return Lookup(target->props, prop);
  }
}

ControlSnapshot SnapshotOf(const ControlModel& control) {
  ControlSnapshot snapshot;
  snapshot.number = control.number;
  snapshot.type = control.type;
  snapshot.label = control.label;
  snapshot.parent = control.parent;
  snapshot.props = control.props;
  snapshot.columns = control.columns;
  snapshot.rows = control.rows;
  return snapshot;
}

ControlView ViewOf(const Engine::Impl& impl, const WindowModel& window,
                   const ControlModel& control) {
  ControlView view;
  view.number = control.number;
  view.type = control.type;
  view.label = control.label;
  view.parent = control.parent;
  view.props = control.props;
  view.rows = control.rows;
  view.alerts = control.alerts;
  view.text = Lookup(control.props, PROP::Text);
  view.disabled = Lookup(control.props, PROP::Disable) == "1";
  view.hidden = Lookup(control.props, PROP::Hide) == "1";
  view.visible = ReadProp(impl, window, control.number, PROP::Visible) == "1";
  return view;
}

}  // namespace internal

namespace {

// Checks that the calling thread may change the window; posts the error
// and returns nullptr otherwise.  REQUIRES impl.mu held.
WindowModel* OwnedOpen(Engine::Impl& impl, const std::shared_ptr<WindowModel>& model) {
  if (!model || !model->open) {
    values::PostError(WindowError::kNotOpen);
    return nullptr;
  }
  if (model->thread != internal::Self(impl).number) {
    values::PostError(WindowError::kNotCurrentThread);
    return nullptr;
  }
  return model.get();
}

bool IsReadOnly(int32_t control, int32_t prop) {
  if (prop == PROP::Type || prop == PROP::Label || prop == PROP::Use ||
      prop == PROP::Visible || prop == PROP::NextField) {
    return true;
  }
  return control == 0 && (prop == PROP::Focus || prop == PROP::Thread ||
                          prop == PROP::Active || prop == PROP::AcceptAll);
}

std::string NormaliseFlag(std::string_view value) {
  return PropertyNumber(value) != 0 ? "1" : "0";
}

bool IsPlacement(int32_t prop) {
  return prop == PROP::Xpos || prop == PROP::Ypos || prop == PROP::Width ||
         prop == PROP::Height;
}

// The window's size as the program sets it: its client area, held within
// the window's minimum and maximum size (a maximum of 0 is none).
int32_t WithinSizeLimits(const Engine::Impl& impl, const WindowModel& window, int32_t prop,
                         int32_t value) {
  bool across = prop == PROP::Width;
  auto limit = [&](int32_t limit_prop) {
    return PropertyNumber(internal::ReadProp(impl, window, 0, limit_prop));
  };
  int32_t least = limit(across ? PROP::MinWidth : PROP::MinHeight);
  int32_t most = limit(across ? PROP::MaxWidth : PROP::MaxHeight);
  value = std::max(value, least);
  if (most > 0) value = std::min(value, most);
  return std::max(value, 0);
}

bool IsFlag(int32_t prop) {
  return prop == PROP::Disable || prop == PROP::Hide || prop == PROP::Default ||
         prop == PROP::Imm || prop == PROP::VScroll;
}

struct DisplayJob {
  int32_t control = 0;
  bool is_list = false;
  values::VariableRef variable;
  values::Picture picture;
  const ListSource* list = nullptr;
  std::vector<values::Picture> pictures;
  // Results.
  std::string text;
  std::shared_ptr<ListRows> rows;
};

}  // namespace

// ---------------------------------------------------------------------------

void Engine::DisplayControls(Window& window, int32_t control, bool only_changed) {
  std::vector<DisplayJob> jobs;
  std::shared_ptr<WindowModel> model;
  {
    std::lock_guard lock(impl_->mu);
    model = window.model_;
    if (only_changed) {
      if (!model || !model->open) return;
    } else if (OwnedOpen(*impl_, model) == nullptr) {
      return;
    }
    int32_t first = control == 0 ? 1 : control;
    int32_t last = control == 0 ? static_cast<int32_t>(model->controls.size()) : control;
    for (int32_t number = first; number <= last; ++number) {
      ControlModel* target = model->control(number);
      if (target == nullptr) continue;
      DisplayJob job;
      job.control = number;
      if (target->type == ControlType::List) {
        if (only_changed || target->list == nullptr) continue;
        job.is_list = true;
        job.list = target->list;
        job.pictures = target->column_pictures;
        if (job.pictures.empty()) job.pictures.emplace_back();
      } else if (target->bound) {
        job.variable = target->variable;
        job.picture = target->picture;
      } else {
        continue;
      }
      jobs.push_back(std::move(job));
    }
  }
  if (jobs.empty()) return;

  // The program's variables and rows are read with the lock released: a
  // list source may itself call the engine.
  for (DisplayJob& job : jobs) {
    if (job.is_list) {
      job.rows = std::make_shared<ListRows>();
      int32_t records = job.list->Records();
      job.rows->reserve(static_cast<size_t>(std::max(records, 0)));
      for (int32_t row = 1; row <= records; ++row) {
        std::vector<std::string> cells;
        for (size_t column = 0; column < job.pictures.size(); ++column) {
          cells.push_back(job.list->CellText(row, column, job.pictures[column]));
        }
        job.rows->push_back(std::move(cells));
      }
    } else {
      job.text = FormatVariable(job.variable, job.picture);
    }
  }

  std::vector<Delta> deltas;
  bool realized = false;
  {
    std::lock_guard lock(impl_->mu);
    if (!model->open) return;
    realized = model->realized;
    for (DisplayJob& job : jobs) {
      ControlModel* target = model->control(job.control);
      if (target == nullptr) continue;
      if (job.is_list) {
        target->rows = job.rows;
        Delta delta;
        delta.control = job.control;
        delta.prop = kDeltaRows;
        delta.rows = job.rows;
        deltas.push_back(std::move(delta));
        continue;
      }
      if (only_changed && target->has_shown && target->shown == job.text) continue;
      target->shown = job.text;
      target->has_shown = true;
      target->edited = false;
      target->props[PROP::Text] = job.text;
      deltas.push_back(Delta{job.control, PROP::Text, job.text, nullptr, nullptr});
    }
  }
  if (realized && !deltas.empty()) impl_->backend.Apply(model->id, std::move(deltas));
}

void Engine::Display(Window& window, int32_t control) {
  DisplayControls(window, control, false);
}

bool Engine::Update(Window& window, int32_t control) {
  struct Job {
    int32_t control;
    std::string text;
    values::VariableRef variable;
    values::Picture picture;
    bool valid = true;
  };
  std::vector<Job> jobs;
  std::shared_ptr<WindowModel> model;
  {
    std::lock_guard lock(impl_->mu);
    model = window.model_;
    if (OwnedOpen(*impl_, model) == nullptr) return false;
    int32_t first = control == 0 ? 1 : control;
    int32_t last = control == 0 ? static_cast<int32_t>(model->controls.size()) : control;
    for (int32_t number = first; number <= last; ++number) {
      ControlModel* target = model->control(number);
      if (target == nullptr || !target->bound || !internal::IsEntryLike(target->type)) {
        continue;
      }
      jobs.push_back(Job{number, target->props[PROP::Text], target->variable,
                         target->picture});
    }
  }
  bool all_valid = true;
  for (Job& job : jobs) {
    job.valid = DeformatIntoVariable(job.text, job.variable, job.picture);
    all_valid = all_valid && job.valid;
  }
  std::lock_guard lock(impl_->mu);
  for (const Job& job : jobs) {
    ControlModel* target = model->control(job.control);
    if (target != nullptr && job.valid) target->edited = false;
  }
  return all_valid;
}

void Engine::Select(Window& window, int32_t control) {
  int32_t id = 0;
  {
    std::lock_guard lock(impl_->mu);
    WindowModel* model = OwnedOpen(*impl_, window.model_);
    if (model == nullptr) return;
    int32_t modal_thread = internal::ModalThread(*impl_);
    if (modal_thread != 0 && modal_thread != model->thread) {
      values::PostError(WindowError::kOperationModal);
      return;
    }
    if (model->control(control) == nullptr) return;
    model->focus = control;
    id = model->realized ? model->id : 0;
    internal::QueueEvent(*impl_, *model,
                         internal::QueuedEvent{EVENT::Selected, control, 0, 0});
  }
  if (id != 0) {
    impl_->backend.Apply(id, {Delta{0, kDeltaFocus, std::to_string(control), nullptr, nullptr}});
  }
}

std::string Engine::Prop(const Window& window, int32_t control, int32_t prop) const {
  std::lock_guard lock(impl_->mu);
  const auto& model = window.model_;
  if (!model || !model->open) {
    values::PostError(WindowError::kNotOpen);
    return {};
  }
  return internal::ReadProp(*impl_, *model, control, prop);
}

void Engine::SetProp(Window& window, int32_t control, int32_t prop,
                     std::string_view value) {
  if (control == 0 && prop == PROP::AcceptAll) {
    if (PropertyNumber(value) != 0) StartAcceptAll(window);
    return;
  }
  std::vector<Delta> deltas;
  int32_t id = 0;
  {
    std::lock_guard lock(impl_->mu);
    WindowModel* model = OwnedOpen(*impl_, window.model_);
    if (model == nullptr || IsReadOnly(control, prop)) return;
    std::string stored = IsFlag(prop) ? NormaliseFlag(value) : std::string(value);
    if (control == 0) {
      if (prop == PROP::Width || prop == PROP::Height) {
        // The window is sized at once: the program reads the new client
        // size straight away, and hears of it as of any sizing.
        int32_t size = WithinSizeLimits(*impl_, *model, prop, PropertyNumber(stored));
        stored = std::to_string(size);
        int32_t client = prop == PROP::Width ? PROP::ClientWidth : PROP::ClientHeight;
        bool changed = model->props[client] != stored;
        model->props[client] = stored;
        if (changed && model->realized) {
          internal::QueueEvent(*impl_, *model, internal::QueuedEvent{EVENT::Sized, 0, 0, 0},
                               true);
        }
      }
      model->props[prop] = stored;
      if (prop == PROP::DeferMove && PropertyNumber(stored) == 0) {
        deltas = std::move(model->deferred_moves);
        model->deferred_moves.clear();
      }
    } else if (control < 0) {
      internal::MenuModel* menu = model->menu(control);
      if (menu == nullptr) return;
      menu->props[prop] = stored;
      if (prop == PROP::Text) menu->snapshot.text = stored;
      if (prop == PROP::Disable) menu->snapshot.disabled = stored == "1";
    } else {
      ControlModel* target = model->control(control);
      if (target == nullptr) return;
      target->props[prop] = stored;
      if (target->type == ControlType::List &&
          (prop == PROP::Selected || prop == PROP::Items)) {
        internal::KeepChoiceShown(*target);
        deltas.push_back(Delta{control, PROP::YOrigin, target->props[PROP::YOrigin],
                               nullptr, nullptr});
      }
      if (prop == PROP::Format && target->type == ControlType::List) {
        target->columns = ParseListFormat(stored);
        target->column_pictures.clear();
        for (const ListColumn& column : target->columns) {
          target->column_pictures.push_back(values::CompilePicture(column.picture));
        }
      }
      if (prop == PROP::Picture) target->picture = values::CompilePicture(stored);
      if (prop == PROP::Text && target->bound) target->edited = false;
    }
    Delta change{control, prop, stored, nullptr, nullptr};
    if (control > 0 && IsPlacement(prop) &&
        PropertyNumber(internal::ReadProp(*impl_, *model, 0, PROP::DeferMove)) != 0) {
      // The program reads the new place at once; the screen gets it with
      // the rest of the batch, so no control is drawn over one not yet moved.
      model->deferred_moves.push_back(std::move(change));
      return;
    }
    deltas.insert(deltas.begin(), std::move(change));
    id = model->realized ? model->id : 0;
  }
  if (id != 0) impl_->backend.Apply(id, std::move(deltas));
}

void Engine::Alert(Window& window, int32_t control, int32_t keycode, bool add) {
  std::lock_guard lock(impl_->mu);
  WindowModel* model = OwnedOpen(*impl_, window.model_);
  if (model == nullptr) return;
  std::vector<int32_t>* alerts = &model->alerts;
  if (control != 0) {
    ControlModel* target = model->control(control);
    if (target == nullptr) return;
    alerts = &target->alerts;
  }
  if (add) {
    if (std::find(alerts->begin(), alerts->end(), keycode) == alerts->end()) {
      alerts->push_back(keycode);
    }
  } else if (keycode == 0) {
    alerts->clear();
  } else {
    std::erase(*alerts, keycode);
  }
}

int32_t Engine::CreateControl(Window& window, ControlDefinition definition) {
  int32_t number = 0;
  int32_t id = 0;
  std::shared_ptr<const ControlSnapshot> created;
  {
    std::lock_guard lock(impl_->mu);
    WindowModel* model = OwnedOpen(*impl_, window.model_);
    if (model == nullptr) return 0;
    int32_t modal_thread = internal::ModalThread(*impl_);
    if (modal_thread != 0 && modal_thread != model->thread) {
      values::PostError(WindowError::kCreateModal);
      return 0;
    }
    number = static_cast<int32_t>(model->controls.size()) + 1;
    model->controls.push_back(internal::MakeControl(definition, number));
    created = std::make_shared<const ControlSnapshot>(
        internal::SnapshotOf(model->controls.back()));
    id = model->realized ? model->id : 0;
  }
  window.definition_.controls.push_back(std::move(definition));
  if (id != 0) {
    Delta delta;
    delta.control = number;
    delta.prop = kDeltaCreate;
    delta.created = created;
    impl_->backend.Apply(id, {std::move(delta)});
  }
  return number;
}

void Engine::Rebind(Window& window, const Window::Binding& binding) {
  std::lock_guard lock(impl_->mu);
  WindowModel* model = OwnedOpen(*impl_, window.model_);
  if (model == nullptr) return;
  ControlModel* target = model->control(binding.control);
  if (target == nullptr) return;
  target->bound = true;
  target->variable = binding.variable;
  if (!binding.label.empty()) target->use_label = binding.label;
  if (binding.has_picture) {
    target->picture = values::CompilePicture(binding.picture);
    target->props[PROP::Picture] = binding.picture;
  }
  target->has_shown = false;
  target->edited = false;
}

void Engine::RebindList(Window& window, int32_t control, const ListSource* rows) {
  std::lock_guard lock(impl_->mu);
  WindowModel* model = OwnedOpen(*impl_, window.model_);
  if (model == nullptr) return;
  ControlModel* target = model->control(control);
  if (target != nullptr) target->list = rows;
}

bool Engine::IsOpen(const Window& window) const {
  std::lock_guard lock(impl_->mu);
  return window.model_ && window.model_->open;
}

int32_t Engine::IdOf(const Window& window) const {
  std::lock_guard lock(impl_->mu);
  return window.model_ && window.model_->open ? window.model_->id : 0;
}

std::optional<WindowView> Engine::ReadWindow(int32_t window_id) const {
  std::lock_guard lock(impl_->mu);
  auto it = impl_->windows.find(window_id);
  if (it == impl_->windows.end()) return std::nullopt;
  const WindowModel& model = *it->second;
  WindowView view;
  view.id = model.id;
  view.kind = model.kind;
  view.name = model.name;
  auto title = model.props.find(PROP::Text);
  view.title = title == model.props.end() ? std::string() : title->second;
  view.thread = model.thread;
  view.owner_id = model.owner_id;
  view.focus = model.focus;
  view.active = impl_->active_id == model.id;
  view.accept_all = model.accept_all;
  view.props = model.props;
  for (const ControlModel& control : model.controls) {
    view.controls.push_back(internal::ViewOf(*impl_, model, control));
  }
  for (const internal::MenuModel& menu : model.menus) view.menus.push_back(menu.snapshot);
  view.alerts = model.alerts;
  view.queued_events = model.queue.size();
  return view;
}

}  // namespace zuna::window
