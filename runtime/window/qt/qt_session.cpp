#include "runtime/window/qt/qt_session.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTreeWidget>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QThread>

#include <atomic>

#include "runtime/window/qt/qt_screen_internal.h"

namespace zuna::window::qt {
namespace {

QString Plain(QString text) {
  text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  text.remove(QLatin1Char('&'));
  text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
  return text;
}

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QMessageBox* VisibleMessageBox() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
      return box;
    }
  }
  return nullptr;
}

}  // namespace

struct QtSession::Impl {
  std::unique_ptr<QApplication> owned_app;
  std::unique_ptr<QtScreen> screen;
  std::unique_ptr<Engine> engine;
  std::unique_ptr<ScopedCurrentEngine> current;
  std::atomic<bool> main_ended{false};

  // Lets go of everything that waits on the GUI loop: windows, questions,
  // threads in ACCEPT.  GUI thread.
  void EndScreen() {
    screen->CloseAll();
    engine->Abandon();
  }

  QtWindow* ChildTitled(const QString& title) const {
    for (QtWindow* window : screen->Windows()) {
      if (window->kind() != WindowKind::kApplication && window->title() == title) return window;
    }
    return nullptr;
  }

  // A child or plain window first: the frame may share a child's title.
  QtWindow* WindowTitled(std::string_view title_utf8) const {
    QString title = FromUtf8(title_utf8);
    if (QtWindow* child = ChildTitled(title)) return child;
    QtWindow* frame = screen->FrameWindow();
    return frame != nullptr && frame->title() == title ? frame : nullptr;
  }
};

QtSession::QtSession(int& argc, char** argv) : impl_(std::make_unique<Impl>()) {
  if (QApplication::instance() == nullptr) {
    impl_->owned_app = std::make_unique<QApplication>(argc, argv);
  }
  // The program ends when thread 1 returns, not when the last window
  // closes: a question asked before the frame is on screen is for a moment
  // the only window, and answering it must not end the GUI loop.
  QApplication::setQuitOnLastWindowClosed(false);
  impl_->screen = std::make_unique<QtScreen>();
  impl_->engine = std::make_unique<Engine>(*impl_->screen);
  impl_->screen->Attach(impl_->engine.get());
  impl_->current = std::make_unique<ScopedCurrentEngine>(*impl_->engine);
}

QtSession::~QtSession() {
  // Screen first, while the engine that hears the closing lives; then
  // nothing waits for the GUI thread any more (a window being opened is
  // refused at once), so only threads at real work delay the joining.
  impl_->EndScreen();
  impl_->engine->JoinAll(std::chrono::seconds(30));
  impl_->screen->Attach(nullptr);
  impl_->current.reset();
  impl_->engine.reset();
  impl_->screen.reset();
  impl_->owned_app.reset();
}

Engine& QtSession::engine() { return *impl_->engine; }

bool QtSession::Start(std::function<void()> main_procedure) {
  QtScreen* screen = impl_->screen.get();
  std::atomic<bool>* ended = &impl_->main_ended;
  return impl_->engine->RunMain(std::move(main_procedure), [screen, ended] {
    *ended = true;
    screen->Quit();
  });
}

int QtSession::Run(std::function<void()> main_procedure) {
  if (!Start(std::move(main_procedure))) return 1;
  QApplication::exec();
  // The loop that would answer, show or close anything has ended: threads
  // still waiting on it (children thread 1 left open, a question whose
  // box went) are let go rather than waited for.
  impl_->EndScreen();
  impl_->engine->JoinAll(std::chrono::seconds(60));
  return 0;
}

bool QtSession::PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  QDeadlineTimer deadline(timeout_ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

bool QtSession::MainEnded() const { return impl_->main_ended; }

bool QtSession::TriggerMenuItem(std::string_view text_utf8) {
  QtWindow* frame = impl_->screen->FrameWindow();
  if (frame == nullptr) return false;
  QString wanted = FromUtf8(text_utf8);
  for (QAction* action : frame->MenuActions()) {
    if (action->menu() == nullptr && action->isEnabled() && Plain(action->text()) == wanted) {
      action->trigger();
      return true;
    }
  }
  return false;
}

bool QtSession::ClickButton(std::string_view window_title_utf8, std::string_view caption_utf8) {
  QtWindow* window = impl_->ChildTitled(FromUtf8(window_title_utf8));
  if (window == nullptr) return false;
  QString wanted = FromUtf8(caption_utf8);
  for (QPushButton* button : window->Buttons()) {
    if (Plain(button->text()) == wanted && button->isEnabled() && button->isVisible()) {
      button->click();
      return true;
    }
  }
  return false;
}

std::vector<std::string> QtSession::ChildTitles() const {
  std::vector<std::string> titles;
  for (QtWindow* window : impl_->screen->Windows()) {
    if (window->kind() != WindowKind::kApplication) {
      titles.push_back(window->title().toStdString());
    }
  }
  return titles;
}

bool QtSession::HasLabelStartingWith(std::string_view window_title_utf8,
                                     std::string_view start_utf8) const {
  QtWindow* window = impl_->ChildTitled(FromUtf8(window_title_utf8));
  if (window == nullptr || window->top() == nullptr) return false;
  QString start = FromUtf8(start_utf8);
  for (QLabel* label : window->top()->findChildren<QLabel*>()) {
    if (label->text().startsWith(start)) return true;
  }
  for (QLineEdit* entry : window->top()->findChildren<QLineEdit*>()) {
    if (entry->text().startsWith(start)) return true;
  }
  return false;
}

std::string QtSession::MessageBoxText() const {
  QMessageBox* box = VisibleMessageBox();
  return box != nullptr ? box->text().toStdString() : std::string();
}

std::string QtSession::MessageBoxCaption() const {
  QMessageBox* box = VisibleMessageBox();
  return box != nullptr ? box->windowTitle().toStdString() : std::string();
}

bool QtSession::AnswerMessageBox(int32_t button) {
  QMessageBox* box = VisibleMessageBox();
  if (box == nullptr) return false;
  static constexpr struct {
    int32_t ours;
    QMessageBox::StandardButton qt;
  } kButtons[] = {
      {BUTTON::OK, QMessageBox::Ok},         {BUTTON::Yes, QMessageBox::Yes},
      {BUTTON::No, QMessageBox::No},         {BUTTON::Abort, QMessageBox::Abort},
      {BUTTON::Retry, QMessageBox::Retry},   {BUTTON::Ignore, QMessageBox::Ignore},
      {BUTTON::Cancel, QMessageBox::Cancel}, {BUTTON::Help, QMessageBox::Help},
  };
  for (const auto& pair : kButtons) {
    if (pair.ours != button) continue;
    QAbstractButton* found = box->button(pair.qt);
    if (found == nullptr) return false;
    found->click();
    return true;
  }
  return false;
}

bool QtSession::GrabScreen(const std::string& path) const {
  QScreen* screen = QApplication::primaryScreen();
  if (screen == nullptr) return false;
  QPixmap picture = screen->grabWindow(0);
  if (picture.isNull()) {
    // Platforms without a desktop to grab (offscreen): the frame itself.
    QtWindow* frame = impl_->screen->FrameWindow();
    if (frame == nullptr) return false;
    picture = frame->top()->grab();
  }
  return picture.save(QString::fromStdString(path), "PNG");
}

}  // namespace zuna::window::qt

namespace zuna::window::qt {

bool QtSession::TriggerMenuItem(std::string_view window_title_utf8,
                                std::string_view text_utf8) {
  QtWindow* window = impl_->WindowTitled(window_title_utf8);
  if (window == nullptr) return false;
  QString wanted = FromUtf8(text_utf8);
  for (QAction* action : window->MenuActions()) {
    if (action->menu() == nullptr && action->isEnabled() && Plain(action->text()) == wanted) {
      action->trigger();
      return true;
    }
  }
  return false;
}

bool QtSession::OpenFrameMenu(std::string_view text_utf8) {
  QtWindow* frame = impl_->screen->FrameWindow();
  if (frame == nullptr) return false;
  QMenu* menu = frame->MenuTitled(FromUtf8(text_utf8));
  if (menu == nullptr) return false;
  menu->popup(frame->top()->mapToGlobal(QPoint(0, 0)));
  return menu->isVisible();
}

void QtSession::CloseMenus() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* menu = qobject_cast<QMenu*>(widget); menu != nullptr && menu->isVisible()) {
      menu->close();
    }
  }
}

bool QtSession::DragWindowTo(std::string_view window_title_utf8, int32_t width, int32_t height) {
  QtWindow* window = impl_->WindowTitled(window_title_utf8);
  if (window == nullptr) return false;
  window->DragTo(width, height);
  return true;
}

bool QtSession::MaximizeWindow(std::string_view window_title_utf8) {
  QtWindow* window = impl_->WindowTitled(window_title_utf8);
  if (window == nullptr) return false;
  window->top()->showMaximized();
  return true;
}

bool QtSession::IsMaximized(std::string_view window_title_utf8) const {
  QtWindow* window = impl_->WindowTitled(window_title_utf8);
  return window != nullptr && window->top()->isMaximized();
}

bool QtSession::ClientSize(std::string_view window_title_utf8, int32_t& width,
                           int32_t& height) const {
  QtWindow* window = impl_->WindowTitled(window_title_utf8);
  if (window == nullptr) return false;
  QSize size = window->ClientDlu();
  width = size.width();
  height = size.height();
  return true;
}

bool QtSession::PopupPosition(int32_t& x, int32_t& y) const {
  QMenu* popup = impl_->screen->popup();
  QtWindow* over = impl_->screen->FindWindow(impl_->screen->popup_window());
  if (popup == nullptr || !popup->isVisible() || over == nullptr) return false;
  QPoint at = over->DluAt(popup->pos());
  x = at.x();
  y = at.y();
  return true;
}

bool QtSession::ChoosePopupItem(std::string_view text_utf8) {
  QMenu* popup = impl_->screen->popup();
  if (popup == nullptr || !popup->isVisible()) return false;
  QString wanted = FromUtf8(text_utf8);
  for (QAction* action : popup->actions()) {
    if (action->menu() == nullptr && action->isEnabled() && Plain(action->text()) == wanted) {
      // As a click does: the line is chosen and the menu goes.
      action->trigger();
      popup->close();
      return true;
    }
  }
  return false;
}

bool QtSession::MoveMouseTo(std::string_view window_title_utf8, int32_t x, int32_t y) {
  QtWindow* window = impl_->WindowTitled(window_title_utf8);
  if (window == nullptr) return false;
  QCursor::setPos(window->GlobalAt(x, y));
  return true;
}

bool QtSession::WaitCursorShown() const {
  const QCursor* cursor = QApplication::overrideCursor();
  return impl_->screen->wait_cursor() && cursor != nullptr &&
         cursor->shape() == Qt::WaitCursor;
}

bool QtSession::PressKey(std::string_view window_title_utf8, int32_t control,
                         const QtKeyPress& press) {
  QtWindow* window = impl_->WindowTitled(window_title_utf8);
  if (window == nullptr) return false;
  QWidget* target = control != 0 ? window->WidgetOf(control) : window->client();
  if (target == nullptr) return false;
  Qt::KeyboardModifiers modifiers;
  if (press.shift) modifiers |= Qt::ShiftModifier;
  if (press.ctrl) modifiers |= Qt::ControlModifier;
  if (press.alt) modifiers |= Qt::AltModifier;
  QString text = FromUtf8(press.text_utf8);
  QKeyEvent down(QEvent::KeyPress, press.qt_key, modifiers, press.scan_code, 0, 0, text);
  QKeyEvent up(QEvent::KeyRelease, press.qt_key, modifiers, press.scan_code, 0, 0, text);
  QApplication::sendEvent(target, &down);
  QApplication::sendEvent(target, &up);
  return true;
}

bool QtSession::TypeInto(std::string_view window_title_utf8, int32_t control,
                         std::string_view text_utf8, bool leave) {
  QtWindow* window = impl_->WindowTitled(window_title_utf8);
  auto* entry = window != nullptr ? qobject_cast<QLineEdit*>(window->WidgetOf(control)) : nullptr;
  if (entry == nullptr || !entry->isEnabled()) return false;
  entry->setFocus();
  entry->selectAll();
  entry->insert(FromUtf8(text_utf8));  // an edit, as typing is
  if (leave) Q_EMIT entry->editingFinished();
  return true;
}

std::string QtSession::EntryText(std::string_view window_title_utf8, int32_t control) const {
  QtWindow* window = impl_->WindowTitled(window_title_utf8);
  auto* entry = window != nullptr ? qobject_cast<QLineEdit*>(window->WidgetOf(control)) : nullptr;
  return entry != nullptr ? entry->text().toStdString() : std::string();
}

std::vector<std::string> QtSession::AccessibleNames(std::string_view window_title_utf8) const {
  std::vector<std::string> names;
  QtWindow* window = impl_->WindowTitled(window_title_utf8);
  if (window == nullptr) return names;
  for (int32_t control = 1; control <= window->control_count(); ++control) {
    QWidget* widget = window->WidgetOf(control);
    names.push_back(widget != nullptr ? widget->accessibleName().toStdString() : std::string());
  }
  return names;
}

bool QtSession::RightClickRow(std::string_view window_title_utf8, int32_t control,
                              int32_t row) {
  QtWindow* window = impl_->WindowTitled(window_title_utf8);
  QTreeWidget* list = window != nullptr ? window->ListOf(control) : nullptr;
  if (list == nullptr || row < 1 || row > list->topLevelItemCount()) return false;
  QWidget* viewport = list->viewport();
  QPointF at = list->visualItemRect(list->topLevelItem(row - 1)).center();
  QPointF global = viewport->mapToGlobal(at);
  QMouseEvent down(QEvent::MouseButtonPress, at, global, Qt::RightButton, Qt::RightButton,
                   Qt::NoModifier);
  QMouseEvent up(QEvent::MouseButtonRelease, at, global, Qt::RightButton, Qt::NoButton,
                 Qt::NoModifier);
  QApplication::sendEvent(viewport, &down);
  QApplication::sendEvent(viewport, &up);
  return true;
}

}  // namespace zuna::window::qt
