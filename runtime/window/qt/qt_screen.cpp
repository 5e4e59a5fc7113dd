// QtScreen: the engine's calls hopped onto the GUI thread; message boxes
// and popup menus that answer through the engine instead of blocking the
// GUI thread in a nested event loop.
#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <future>
#include <limits>
#include <memory>

#include "runtime/window/popup_menu.h"
#include "runtime/window/qt/qt_screen_internal.h"

namespace zuna::window::qt {
namespace {

bool OnGuiThread(const QObject* object) {
  return QThread::currentThread() == object->thread();
}

QMessageBox::Icon IconOf(std::string_view icon) {
  switch (SystemIconNumber(icon)) {
    case 32513: return QMessageBox::Critical;
    case 32514: return QMessageBox::Question;
    case 32515: return QMessageBox::Warning;
    case 32516: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

struct ButtonPair {
  int32_t ours;
  QMessageBox::StandardButton qt;
  const char* caption;  // the program speaks Russian, whatever Qt's locale
};
constexpr ButtonPair kButtons[] = {
    {BUTTON::OK, QMessageBox::Ok, "OK"},
    {BUTTON::Yes, QMessageBox::Yes, "&Да"},
    {BUTTON::No, QMessageBox::No, "&Нет"},
    {BUTTON::Abort, QMessageBox::Abort, "&Прервать"},
    {BUTTON::Retry, QMessageBox::Retry, "&Повторить"},
    {BUTTON::Ignore, QMessageBox::Ignore, "&Пропустить"},
    {BUTTON::Cancel, QMessageBox::Cancel, "&Отмена"},
    {BUTTON::Help, QMessageBox::Help, "&Справка"},
};

}  // namespace

QtScreen::QtScreen() = default;

void QtScreen::Post(std::function<void()> job) {
  {
    std::lock_guard lock(posted_mu_);
    posted_.push_back(std::move(job));
  }
  // Only a wake-up crosses Qt's event queue; the job itself is handed over
  // under our own lock, which the thread checkers see.
  QMetaObject::invokeMethod(this, [this] { RunPosted(); }, Qt::QueuedConnection);
}

void QtScreen::RunPosted() {
  for (;;) {
    std::function<void()> job;
    {
      std::lock_guard lock(posted_mu_);
      if (posted_.empty()) return;
      job = std::move(posted_.front());
      posted_.pop_front();
    }
    job();
  }
}

QtScreen::~QtScreen() { CloseAll(); }

void QtScreen::CloseAll() {
  closing_ = true;
  std::vector<QPointer<QWidget>> modals;
  modals.swap(modals_);
  for (QPointer<QWidget>& modal : modals) delete modal.data();
  if (frame_id_ != 0) DropWindow(frame_id_);
  while (!windows_.empty()) Forget(std::prev(windows_.end())->first);
}

void QtScreen::Forget(int32_t id) {
  auto it = windows_.find(id);
  if (it == windows_.end()) return;
  // Out of the list before its widgets go: their going moves the focus and
  // activates other windows, whose handlers read the list.
  std::unique_ptr<QtWindow> gone = std::move(it->second);
  windows_.erase(it);
  if (id == frame_id_) frame_id_ = 0;
}

void QtScreen::DropWindow(int32_t id) {
  if (id != frame_id_) {
    Forget(id);
    return;
  }
  // Without a frame, the children going one by one activate no one.
  frame_id_ = 0;
  std::vector<int32_t> others;
  for (const auto& [other, window] : windows_) {
    if (other != id) others.push_back(other);
  }
  for (auto other = others.rbegin(); other != others.rend(); ++other) Forget(*other);
  Forget(id);
}

QtWindow* QtScreen::FindWindow(int32_t id) const {
  auto it = windows_.find(id);
  return it == windows_.end() ? nullptr : it->second.get();
}

QtWindow* QtScreen::FrameWindow() const { return FindWindow(frame_id_); }

std::vector<QtWindow*> QtScreen::Windows() const {
  std::vector<QtWindow*> all;
  for (const auto& [id, window] : windows_) all.push_back(window.get());
  return all;
}

std::optional<std::vector<PropUpdate>> QtScreen::RealizeHere(const WindowSnapshot& window) {
  if (closing_) return std::nullopt;
  auto made = std::make_unique<QtWindow>(*this, window);
  if (!made->Build()) return std::nullopt;
  std::vector<PropUpdate> measured = made->Measure();
  if (window.kind == WindowKind::kApplication) frame_id_ = window.id;
  windows_[window.id] = std::move(made);
  return measured;
}

std::optional<std::vector<PropUpdate>> QtScreen::Realize(const WindowSnapshot& window) {
  if (closing_) return std::nullopt;
  if (OnGuiThread(this)) return RealizeHere(window);
  auto done = std::make_shared<std::promise<std::optional<std::vector<PropUpdate>>>>();
  std::future<std::optional<std::vector<PropUpdate>>> result = done->get_future();
  Post([this, window, done] { done->set_value(RealizeHere(window)); });
  // The GUI loop may end before it gets to the call (the program is
  // quitting); then the window is simply not made.
  while (result.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    if (closing_) return std::nullopt;
  }
  return result.get();
}

void QtScreen::Apply(int32_t window_id, std::vector<Delta> deltas) {
  if (closing_) return;
  Post([this, window_id, deltas = std::move(deltas)] {
    QtWindow* window = FindWindow(window_id);
    if (window == nullptr) return;
    for (const Delta& delta : deltas) window->Apply(delta);
  });
}

void QtScreen::Destroy(int32_t window_id) {
  if (closing_) return;
  Post([this, window_id] { DropWindow(window_id); });
}

void QtScreen::RunModal(const ModalRequest& request) {
  if (closing_) {
    engine_->CompleteModal(request.id, request.kind == ModalRequest::Kind::kPopup
                                           ? 0
                                           : request.default_button);
    return;
  }
  Post([this, request] {
    if (request.kind == ModalRequest::Kind::kMessage) {
      ShowMessage(request);
    } else {
      ShowPopup(request);
    }
  });
}

void QtScreen::Track(QWidget* modal, int64_t request_id, int32_t fallback,
                     std::shared_ptr<bool> answered) {
  // A box or menu goes with its parent window, without a word: the thread
  // that asked must still have its answer.
  QObject::connect(modal, &QObject::destroyed, this, [this, request_id, fallback, answered] {
    if (*answered) return;
    *answered = true;
    if (engine_ != nullptr) engine_->CompleteModal(request_id, fallback);
  });
  std::erase_if(modals_, [](const QPointer<QWidget>& shown) { return shown.isNull(); });
  modals_.emplace_back(modal);
}

void QtScreen::ShowMessage(const ModalRequest& request) {
  if (closing_) {
    // Queued before the screen closed; nothing is shown any more.
    engine_->CompleteModal(request.id, request.default_button);
    return;
  }
  QtWindow* over = FindWindow(request.window_id);
  if (over == nullptr) over = FrameWindow();
  auto* box = new QMessageBox(IconOf(request.icon), ToQt(request.caption), ToQt(request.text),
                              QMessageBox::NoButton, over != nullptr ? over->top() : nullptr);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::ApplicationModal);
  for (const ButtonPair& pair : kButtons) {
    if ((request.buttons & pair.ours) == 0) continue;
    QPushButton* button = box->addButton(pair.qt);
    button->setText(QString::fromUtf8(pair.caption));
    if (pair.ours == request.default_button) box->setDefaultButton(pair.qt);
  }
  int64_t id = request.id;
  int32_t fallback = request.default_button;
  auto answered = std::make_shared<bool>(false);
  QObject::connect(box, &QMessageBox::buttonClicked, box,
                   [this, box, id, answered](QAbstractButton* clicked) {
                     QMessageBox::StandardButton standard = box->standardButton(clicked);
                     for (const ButtonPair& pair : kButtons) {
                       if (pair.qt == standard && !*answered) {
                         *answered = true;
                         engine_->CompleteModal(id, pair.ours);
                       }
                     }
                   });
  QObject::connect(box, &QDialog::finished, box, [this, id, fallback, answered](int) {
    if (!*answered) {
      *answered = true;
      engine_->CompleteModal(id, fallback);
    }
  });
  Track(box, id, fallback, answered);
  // open(), not exec(): the GUI loop keeps running for every other window;
  // only the asking thread waits.
  box->open();
}

void QtScreen::ShowPopup(const ModalRequest& request) {
  if (closing_) {
    engine_->CompleteModal(request.id, 0);
    return;
  }
  std::vector<PopupEntry> entries = ParsePopupMenu(request.text);
  QtWindow* over = FindWindow(request.window_id);
  auto* menu = new QMenu(over != nullptr ? over->top() : nullptr);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  std::vector<QMenu*> levels{menu};
  for (const PopupEntry& entry : entries) {
    while (static_cast<int32_t>(levels.size()) > entry.depth && levels.size() > 1) {
      levels.pop_back();
    }
    QMenu* parent = levels.back();
    if (entry.separator) {
      parent->addSeparator();
    } else if (entry.submenu) {
      levels.push_back(parent->addMenu(ToQt(entry.text)));
    } else {
      QAction* action = parent->addAction(ToQt(entry.text));
      action->setEnabled(!entry.disabled);
      if (entry.check != 0) {
        action->setCheckable(true);
        action->setChecked(entry.check == 1);
      }
      action->setData(entry.line);
    }
  }
  int64_t id = request.id;
  auto answered = std::make_shared<bool>(false);
  QObject::connect(menu, &QMenu::triggered, menu, [this, id, answered](QAction* action) {
    if (*answered) return;
    *answered = true;
    engine_->CompleteModal(id, action->data().toInt());
  });
  // aboutToHide comes before triggered: decide after the loop has turned.
  QObject::connect(menu, &QMenu::aboutToHide, menu, [this, id, answered] {
    QTimer::singleShot(0, this, [this, id, answered] {
      if (*answered) return;
      *answered = true;
      engine_->CompleteModal(id, 0);
    });
  });
  Track(menu, id, 0, answered);
  popup_ = menu;
  popup_window_ = request.window_id;
  // At the mouse when no place is given (0, 0, or the "none" value
  // 80000000h some callers pass); otherwise at that point of the window's
  // client area, in its dialog units.
  bool at_mouse = (request.x == 0 && request.y == 0) ||
                  request.x == std::numeric_limits<int32_t>::min();
  QPoint at = QCursor::pos();
  if (!at_mouse && over != nullptr) at = over->GlobalAt(request.x, request.y);
  menu->popup(at);
}

void QtScreen::Beep() {
  Post([] { QApplication::beep(); });
}

void QtScreen::SetCursor(int32_t cursor) {
  Post([this, cursor] {
    if (cursor == CURSOR::Wait) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
      ++cursor_depth_;
    } else {
      while (cursor_depth_ > 0) {
        QApplication::restoreOverrideCursor();
        --cursor_depth_;
      }
    }
  });
}

void QtScreen::Quit() {
  closing_ = true;
  Post([this] {
    CloseAll();
    QApplication::quit();
  });
}

}  // namespace zuna::window::qt
