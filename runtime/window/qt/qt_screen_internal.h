// The Qt screen: the Backend that shows the engine's windows as Qt 6
// widgets.  Only runtime/window/qt/ and its tests include this.
//
// Threads.  A QtScreen and every widget it makes live on the GUI thread
// (the one that made the QApplication).  The engine calls the Backend
// methods on procedure threads; each hands its work to the GUI thread as a
// queued call (Realize waits for its result; nothing else waits).  Widget
// signals run on the GUI thread and report to the engine through
// Engine::Input / CompleteModal, which never wait for a procedure thread.
// So the GUI thread never blocks on a procedure thread, and only the GUI
// thread touches a QObject.
//
// Text crosses here: the engine's texts are Windows-1251, Qt's are UTF-16.
#ifndef ZUNA_RUNTIME_WINDOW_QT_QT_SCREEN_INTERNAL_H_
#define ZUNA_RUNTIME_WINDOW_QT_QT_SCREEN_INTERNAL_H_

#include <QFont>
#include <QObject>
#include <QPixmap>
#include <QMenu>
#include <QPointer>
#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/window/backend.h"
#include "runtime/window/engine_core.h"

class QFrame;
class QMenuBar;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QAction;
class QPushButton;
class QScrollBar;
class QTabBar;
class QTreeWidget;
class QWidget;

namespace zuna::window::qt {

// Program's code page ↔ Qt.
QString ToQt(std::string_view cp1251);
std::string FromQt(const QString& text);

class QtScreen;

// The widgets of one engine window.  GUI thread only.
class QtWindow final : public QObject {
 public:
  QtWindow(QtScreen& screen, const WindowSnapshot& snapshot);
  ~QtWindow() override;

  // Makes the widgets; false when the window cannot be made (an MDI child
  // without a frame on screen).
  bool Build();
  // What the screen measured: client size, lines of each list box.
  std::vector<PropUpdate> Measure();
  void Apply(const Delta& delta);
  // The widget a message box or popup of this window is placed over.
  QWidget* top() const;
  int32_t id() const { return snapshot_.id; }
  WindowKind kind() const { return snapshot_.kind; }
  QMdiArea* mdi_area() const { return mdi_; }
  QMdiSubWindow* sub_window() const { return sub_; }
  QString title() const;
  // The control a widget belongs to (0: none).
  int32_t ControlOf(const QWidget* widget) const;
  // For tests and demos: the window's buttons and menu actions (every
  // item of its menus, the window list's included), its list boxes.
  std::vector<QPushButton*> Buttons() const;
  std::vector<QAction*> MenuActions() const;
  QMenu* MenuTitled(const QString& text) const;
  QTreeWidget* ListOf(int32_t control) const;
  QWidget* WidgetOf(int32_t control) const;
  int32_t control_count() const { return static_cast<int32_t>(controls_.size()); }
  // The client area, where controls and popups are placed, and its size in
  // dialog units; a point on screen in the client's dialog units.
  QWidget* client() const { return client_; }
  QSize ClientDlu() const;
  QPoint DluAt(const QPoint& global) const;
  // A point in the client's dialog units, on screen.
  QPoint GlobalAt(int32_t x, int32_t y) const;
  // Sizes the window as the user does by dragging its border, so that the
  // client area gets `width` x `height` dialog units (within its limits).
  void DragTo(int32_t width, int32_t height);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // The wallpaper scaled to cover the child area, centred.
  void FitWallpaper();
  // What a screen reader calls the control: its caption, else the prompt
  // beside it, else its window (a list) or its label.
  QString AccessibleNameOf(const ControlSnapshot& control) const;

 private:
  struct Control {
    int32_t number = 0;
    int32_t type = 0;
    int32_t parent = 0;
    std::map<int32_t, std::string> props;
    std::vector<ListColumn> columns;
    QWidget* widget = nullptr;
    QLabel* label = nullptr;
    QLineEdit* entry = nullptr;
    QPushButton* button = nullptr;
    QTreeWidget* list = nullptr;
    QScrollBar* thumb = nullptr;  // Imm lists: the engine's own scroll bar
    QTabBar* tabs = nullptr;
    std::shared_ptr<const ListRows> rows;
    int32_t reported_items = -1;
  };

  void BuildFrame();
  // A child or plain window: its client area, under a menu bar when the
  // definition has menus.  Returns the widget that holds both.
  QWidget* BuildBody();
  void BuildMenus(QMenuBar* bar);
  void BuildControl(const ControlSnapshot& snapshot);
  void BuildList(Control& control);
  void BuildSheet(Control& control);
  void PlaceControl(Control& control);
  void RefreshVisibility();
  void ShowRows(Control& control);
  void ShowChoice(Control& control);
  void ShowText(Control& control);
  void ShowThumb(Control& control);
  bool IsShown(const Control& control) const;
  Control* FindControl(int32_t number);
  int32_t TabIndexOf(const Control& tab) const;
  int32_t ListLines(const Control& control) const;
  void Send(UserInput input);
  void ReportClientSize(bool with_event);
  // The program sizes the window (PROP::Width or PROP::Height, dialog
  // units of the client area) or changes its limits.
  void ResizeClient(int32_t prop, int32_t dlu);
  // The program maximizes, iconizes or restores the window.
  void ApplyWindowState();
  void ApplySizeLimits();
  bool HandleKey(Control* control, QEvent* event);
  bool HandleRightButton(Control& control, QEvent* event);
  // Holds a key (or mouse button) while the GUI loop handles it: the
  // events it causes (a list's new selection, an entry's acceptance) carry
  // it, so KEYCODE() tells which key did it.
  void HoldKey(int32_t keycode, int32_t keychar);
  int32_t PxX(int32_t dlu) const;
  int32_t PxY(int32_t dlu) const;
  int32_t DluX(int32_t px) const;
  int32_t DluY(int32_t px) const;

  QtScreen& screen_;
  WindowSnapshot snapshot_;
  QFont font_;
  double unit_x_ = 1.5;  // pixels per dialog unit
  double unit_y_ = 1.625;
  QMainWindow* frame_ = nullptr;
  QMdiArea* mdi_ = nullptr;
  QPixmap wallpaper_;  // the frame's picture behind its children, as loaded
  QMdiSubWindow* sub_ = nullptr;
  // The top-level widget this window owns.  Guarded: should a parent take
  // it down first (the frame's widgets hold every MDI child's), this window
  // must not delete it again.
  QPointer<QWidget> window_widget_;
  QWidget* client_ = nullptr;
  std::vector<std::unique_ptr<Control>> controls_;
  std::map<int32_t, QAction*> menu_actions_;
  std::map<int32_t, QMenu*> menus_;
  int32_t reported_width_ = -1;
  int32_t reported_height_ = -1;
  int32_t reported_state_ = 0;  // 0 normal, 1 maximized, 2 iconized
  bool updating_ = false;  // the program changes a widget: no input from it
  int32_t held_keycode_ = 0;
  int32_t held_keychar_ = 0;
};

class QtScreen final : public QObject, public Backend {
 public:
  QtScreen();
  ~QtScreen() override;

  void Attach(Engine* engine) { engine_ = engine; }
  Engine* engine() const { return engine_; }

  // Backend: any thread.
  std::optional<std::vector<PropUpdate>> Realize(const WindowSnapshot& window) override;
  void Apply(int32_t window_id, std::vector<Delta> deltas) override;
  void Destroy(int32_t window_id) override;
  void RunModal(const ModalRequest& request) override;
  void Beep() override;
  void SetCursor(int32_t cursor) override;

  // GUI thread.
  void Quit();  // from any thread: no more windows; the GUI loop ends
  // No more windows: every window goes, children before the frame, and
  // every question on screen goes, answered with its default.  Nothing
  // shown after this; Backend calls from then on do nothing (questions are
  // answered at once).  For the end of the program.
  void CloseAll();
  bool closing() const { return closing_; }
  // The popup menu on screen (nullptr when none) and the window it was
  // asked over; whether the wait cursor is shown.
  QMenu* popup() const { return popup_; }
  int32_t popup_window() const { return popup_window_; }
  bool wait_cursor() const { return cursor_depth_ > 0; }
  QtWindow* FindWindow(int32_t id) const;
  QtWindow* FrameWindow() const;
  std::vector<QtWindow*> Windows() const;

 private:
  // Runs `job` on the GUI thread after the jobs posted before it (any
  // thread); RunPosted, on the GUI thread, runs those waiting.
  void Post(std::function<void()> job);
  void RunPosted();
  std::optional<std::vector<PropUpdate>> RealizeHere(const WindowSnapshot& window);
  void ShowMessage(const ModalRequest& request);
  void ShowPopup(const ModalRequest& request);
  // A message box or popup on screen: answered with `fallback` should it
  // go unanswered (its parent window closed under it), deleted by CloseAll.
  void Track(QWidget* modal, int64_t request_id, int32_t fallback,
             std::shared_ptr<bool> answered);
  // Takes a window off screen.  The frame takes every other window first:
  // its widgets hold theirs.
  void DropWindow(int32_t id);
  void Forget(int32_t id);

  Engine* engine_ = nullptr;
  std::atomic<bool> closing_{false};
  std::map<int32_t, std::unique_ptr<QtWindow>> windows_;
  std::vector<QPointer<QWidget>> modals_;  // message boxes and popups shown
  int32_t frame_id_ = 0;
  int32_t cursor_depth_ = 0;
  QPointer<QMenu> popup_;
  std::mutex posted_mu_;
  std::deque<std::function<void()>> posted_;
  int32_t popup_window_ = 0;
};

}  // namespace zuna::window::qt

#endif  // ZUNA_RUNTIME_WINDOW_QT_QT_SCREEN_INTERNAL_H_
