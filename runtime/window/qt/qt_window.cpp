// One engine window as Qt widgets: the frame (QMainWindow with a menu bar
// over a QMdiArea), an MDI child (QMdiSubWindow) or a plain modal window,
// with its controls placed at their dialog-unit positions.  GUI thread.
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetricsF>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QPixmap>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <functional>

#include "runtime/values/code_page.h"
#include "runtime/window/engine_core.h"
#include "runtime/window/qt/qt_keys.h"
#include "runtime/window/qt/qt_screen_internal.h"

namespace zuna::window::qt {

QString ToQt(std::string_view cp1251) {
  std::string utf8 = values::Cp1251ToUtf8(cp1251);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string FromQt(const QString& text) {
  QByteArray utf8 = text.toUtf8();
  return values::Utf8ToCp1251(std::string_view(utf8.constData(), utf8.size()));
}

namespace {

// The engine decides when a window closes: the close box only asks.
template <typename Base>
class AskingToClose : public Base {
 public:
  using Base::Base;
  std::function<void()> on_close_box;

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    if (on_close_box) on_close_box();
  }
};

QString TrimRight(const QString& text) {
  qsizetype end = text.size();
  while (end > 0 && text.at(end - 1) == QLatin1Char(' ')) --end;
  return text.left(end);
}

// A label shows "&Поиск" as "Поиск": no buddy to give the access key to.
QString WithoutAccessMarks(QString text) {
  text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  text.remove(QLatin1Char('&'));
  text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
  return text;
}

int32_t Number(const std::map<int32_t, std::string>& props, int32_t prop) {
  auto it = props.find(prop);
  return it == props.end() ? 0 : PropertyNumber(it->second);
}

std::string Text(const std::map<int32_t, std::string>& props, int32_t prop) {
  auto it = props.find(prop);
  return it == props.end() ? std::string() : it->second;
}

// The window's size as the program reads it: the client area, which is
// also the window's own Width and Height.
std::vector<PropUpdate> SizeUpdates(int32_t width, int32_t height) {
  return {PropUpdate{0, PROP::ClientWidth, std::to_string(width)},
          PropUpdate{0, PROP::ClientHeight, std::to_string(height)},
          PropUpdate{0, PROP::Width, std::to_string(width)},
          PropUpdate{0, PROP::Height, std::to_string(height)}};
}

Qt::Alignment AlignmentOf(char align) {
  switch (align) {
    case 'R':
    case 'D':
      return Qt::AlignRight | Qt::AlignVCenter;
    case 'C':
      return Qt::AlignHCenter | Qt::AlignVCenter;
    default:
      return Qt::AlignLeft | Qt::AlignVCenter;
  }
}


// The last column stretches over what the others leave.  A window laid out
// for a narrower font can leave it less than its header needs here; then
// the first column gives way, down to its own header's width and never
// beyond its declared width, so both headers read whole.
void KeepLastHeaderWhole(QTreeWidget* list, int first_declared) {
  QHeaderView* header = list->header();
  const int last = header->count() - 1;
  if (last < 1 || header->isHidden()) return;
  const QFontMetrics metrics(header->font());
  const int margins = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) + 4;
  auto needs = [&](int section) {
    return metrics.horizontalAdvance(list->headerItem()->text(section)) + margins;
  };
  int others = 0;
  for (int i = 1; i < last; ++i) others += header->sectionSize(i);
  const int room = list->viewport()->width() - others - needs(last);
  const int first = std::clamp(room, std::min(needs(0), first_declared), first_declared);
  if (first != header->sectionSize(0)) list->setColumnWidth(0, first);
}

}  // namespace

QtWindow::QtWindow(QtScreen& screen, const WindowSnapshot& snapshot)
    : screen_(screen), snapshot_(snapshot) {
  // A sans face of about the metrics the windows were drawn for.
  font_ = QFont(QStringLiteral("DejaVu Sans"));
  font_.setStyleHint(QFont::SansSerif);
  font_.setPointSize(std::max(snapshot.font_size, 6));
  QFontMetricsF metrics(font_);
  unit_x_ = std::max(metrics.averageCharWidth() / 4.0, 1.0);
  unit_y_ = std::max(metrics.height() / 8.0, 1.0);
}

QtWindow::~QtWindow() {
  if (window_widget_.isNull()) return;
  window_widget_->removeEventFilter(this);
  delete window_widget_.data();
}

int32_t QtWindow::PxX(int32_t dlu) const { return static_cast<int32_t>(std::lround(dlu * unit_x_)); }
int32_t QtWindow::PxY(int32_t dlu) const { return static_cast<int32_t>(std::lround(dlu * unit_y_)); }
int32_t QtWindow::DluX(int32_t px) const { return static_cast<int32_t>(std::lround(px / unit_x_)); }
int32_t QtWindow::DluY(int32_t px) const { return static_cast<int32_t>(std::lround(px / unit_y_)); }

QWidget* QtWindow::top() const { return window_widget_; }

QString QtWindow::title() const { return ToQt(Text(snapshot_.props, PROP::Text)); }

void QtWindow::Send(UserInput input) {
  if (input.event != 0 && input.keycode == 0 && held_keycode_ != 0) {
    input.keycode = held_keycode_;
    input.keychar = held_keychar_;
  }
  if (screen_.engine() != nullptr && !screen_.closing()) {
    screen_.engine()->Input(snapshot_.id, input);
  }
}

bool QtWindow::Build() {
  switch (snapshot_.kind) {
    case WindowKind::kApplication: {
      BuildFrame();
      break;
    }
    case WindowKind::kMdiChild: {
      QtWindow* frame = screen_.FrameWindow();
      if (frame == nullptr || frame->mdi_area() == nullptr) return false;
      mdi_ = frame->mdi_area();
      auto* sub = new AskingToClose<QMdiSubWindow>;
      sub->on_close_box = [this] { Send(UserInput{.event = EVENT::CloseWindow}); };
      sub->setAttribute(Qt::WA_DeleteOnClose, false);
      sub->setWidget(BuildBody());
      sub->setWindowTitle(title());
      mdi_->addSubWindow(sub);
      sub_ = sub;
      window_widget_ = sub;
      break;
    }
    case WindowKind::kModal: {
      QtWindow* frame = screen_.FrameWindow();
      auto* widget = new AskingToClose<QWidget>(frame != nullptr ? frame->top() : nullptr,
                                                Qt::Dialog);
      widget->on_close_box = [this] { Send(UserInput{.event = EVENT::CloseWindow}); };
      widget->setWindowModality(Qt::ApplicationModal);
      widget->setWindowTitle(title());
      widget->setFont(font_);
      window_widget_ = widget;
      auto* layout = new QVBoxLayout(widget);
      layout->setContentsMargins(0, 0, 0, 0);
      layout->addWidget(BuildBody());
      break;
    }
  }
  if (!snapshot_.icon.empty()) {
    QIcon icon(QString::fromStdString(snapshot_.icon));
    if (!icon.isNull()) window_widget_->setWindowIcon(icon);
  }
  for (const ControlSnapshot& control : snapshot_.controls) BuildControl(control);
  RefreshVisibility();
  QSize wanted(PxX(snapshot_.width), PxY(snapshot_.height));
  if (frame_ != nullptr) {
    frame_->resize(wanted.width(), wanted.height() + frame_->menuBar()->sizeHint().height());
    frame_->show();
  } else {
    // Shown first, so that what surrounds the client area (the child's
    // frame, a menu bar) has its size; then sized around the client.
    client_->resize(wanted);
    window_widget_->show();
    QSize extra = window_widget_->size() - client_->size();
    window_widget_->resize(wanted + extra);
    if (sub_ != nullptr) {
      // The area's own placement may put a new child partly beyond its
      // right or bottom edge: moved back in as far as it fits.
      const QSize area = mdi_->viewport()->size();
      const QRect placed = sub_->geometry();
      sub_->move(std::clamp(placed.x(), 0, std::max(0, area.width() - placed.width())),
                 std::clamp(placed.y(), 0, std::max(0, area.height() - placed.height())));
    }
  }
  client_->installEventFilter(this);
  // The outer widget (a child's frame, the main frame, a plain window
  // around its menu bar) reports the window's state and unclaimed keys.
  if (window_widget_ != client_) window_widget_->installEventFilter(this);
  return true;
}

void QtWindow::BuildFrame() {
  auto* frame = new AskingToClose<QMainWindow>;
  frame->on_close_box = [this] { Send(UserInput{.event = EVENT::CloseWindow}); };
  frame->setWindowTitle(title());
  frame->setFont(font_);
  mdi_ = new QMdiArea(frame);
  mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  frame->setCentralWidget(mdi_);
  frame->statusBar();
  if (!snapshot_.wallpaper.empty()) {
    wallpaper_ = QPixmap(QString::fromStdString(snapshot_.wallpaper));
    // Drawn to fill the area at every size (FitWallpaper), not tiled.
    if (!wallpaper_.isNull()) mdi_->viewport()->installEventFilter(this);
  }
  QtScreen* screen = &screen_;
  QObject::connect(mdi_, &QMdiArea::subWindowActivated, mdi_, [screen](QMdiSubWindow* sub) {
    // Children that go with the frame, or at the end, activate one
    // another: that is no user's doing.
    if (sub == nullptr || screen->closing() || screen->FrameWindow() == nullptr) return;
    for (QtWindow* window : screen->Windows()) {
      if (window->sub_window() == sub && screen->engine() != nullptr) {
        screen->engine()->Input(window->id(), UserInput{.activated = true});
      }
    }
  });
  BuildMenus(frame->menuBar());
  frame_ = frame;
  client_ = mdi_;
  window_widget_ = frame;
}

QWidget* QtWindow::BuildBody() {
  client_ = new QWidget;
  client_->setFont(font_);
  if (snapshot_.menus.empty()) return client_;
  auto* body = new QWidget;
  body->setFont(font_);
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* bar = new QMenuBar(body);
  layout->setMenuBar(bar);
  layout->addWidget(client_);
  BuildMenus(bar);
  return body;
}

void QtWindow::BuildMenus(QMenuBar* bar) {
  for (const MenuSnapshot& menu : snapshot_.menus) {
    QString text = ToQt(menu.text);
    QMenu* parent = menus_.count(menu.parent) ? menus_[menu.parent] : nullptr;
    if (menu.is_menu) {
      QMenu* made = parent != nullptr ? parent->addMenu(text) : bar->addMenu(text);
      menus_[menu.number] = made;
      menu_actions_[menu.number] = made->menuAction();
      if (!menu.msg.empty()) made->menuAction()->setStatusTip(ToQt(menu.msg));
      if (menu.action == MenuAction::kWindowList && mdi_ != nullptr) {
        // The open child windows are listed at the end, afresh each time.
        QMdiArea* mdi = mdi_;
        QObject::connect(made, &QMenu::aboutToShow, made, [made, mdi] {
          for (QAction* action : made->actions()) {
            if (action->property("zuna_window_list").toBool()) {
              made->removeAction(action);
              action->deleteLater();
            }
          }
          const auto subs = mdi->subWindowList();
          if (subs.isEmpty()) return;
          QAction* separator = made->addSeparator();
          separator->setProperty("zuna_window_list", true);
          int index = 1;
          for (QMdiSubWindow* sub : subs) {
            QAction* item = made->addAction(
                QStringLiteral("&%1 %2").arg(index++).arg(sub->windowTitle()));
            item->setProperty("zuna_window_list", true);
            item->setCheckable(true);
            item->setChecked(sub == mdi->activeSubWindow());
            // The child may close while the menu is open.
            QPointer<QMdiSubWindow> listed(sub);
            QObject::connect(item, &QAction::triggered, mdi, [mdi, listed] {
              if (!listed.isNull()) mdi->setActiveSubWindow(listed.data());
            });
          }
        });
      }
      continue;
    }
    QAction* action = nullptr;
    if (menu.separator) {
      action = parent != nullptr ? parent->addSeparator() : bar->addSeparator();
    } else {
      action = parent != nullptr ? parent->addAction(text) : bar->addAction(text);
      int32_t number = menu.number;
      QObject::connect(action, &QAction::triggered, this, [this, number] {
        Send(UserInput{.event = EVENT::Accepted, .control = number});
      });
    }
    action->setEnabled(!menu.disabled);
    if (!menu.msg.empty()) action->setStatusTip(ToQt(menu.msg));
    menu_actions_[menu.number] = action;
  }
}

QString QtWindow::AccessibleNameOf(const ControlSnapshot& control) const {
  // A caption names its control.  An entry, a list or a value shown has
  // none: the prompt beside it (before, else after) names it, as it does
  // for a sighted user; a list with neither is named by its window.
  auto caption = [](const ControlSnapshot& c) {
    return WithoutAccessMarks(ToQt(Text(c.props, PROP::Text))).trimmed();
  };
  const bool has_caption = control.type == ControlType::Button ||
                           control.type == ControlType::Prompt ||
                           control.type == ControlType::Check ||
                           control.type == ControlType::Radio ||
                           control.type == ControlType::Group;
  if (has_caption && !caption(control).isEmpty()) return caption(control);
  // A prompt names the control after it; a text ending in ':' either
  // neighbour ("Итого:" stands after its count).
  const auto& all = snapshot_.controls;
  const auto names = [&](size_t index, bool before) {
    if (index >= all.size()) return false;
    const ControlSnapshot& beside = all[index];
    return (before && beside.type == ControlType::Prompt) ||
           (beside.type == ControlType::String && caption(beside).endsWith(':'));
  };
  const size_t index = static_cast<size_t>(control.number) - 1;
  if (names(index - 1, true)) return caption(all[index - 1]);
  if (names(index + 1, false)) return caption(all[index + 1]);
  if (control.type == ControlType::List) return title();
  const QString own = caption(control);
  return own.isEmpty() ? QString::fromStdString(control.label).remove('?') : own;
}

void QtWindow::BuildControl(const ControlSnapshot& snapshot) {
  auto control = std::make_unique<Control>();
  control->number = snapshot.number;
  control->type = snapshot.type;
  control->parent = snapshot.parent;
  control->props = snapshot.props;
  control->columns = snapshot.columns;
  control->rows = snapshot.rows;
  Control& made = *control;
  controls_.push_back(std::move(control));
  if (client_ == nullptr || frame_ != nullptr) return;  // the frame shows no controls

  int32_t number = made.number;
  switch (made.type) {
    case ControlType::Button: {
      made.button = new QPushButton(client_);
      made.widget = made.button;
      made.button->setDefault(Number(made.props, PROP::Default) != 0);
      QObject::connect(made.button, &QPushButton::clicked, this, [this, number] {
        if (!updating_) Send(UserInput{.event = EVENT::Accepted, .control = number});
      });
      break;
    }
    case ControlType::Entry:
    case ControlType::Combo:
    case ControlType::Spin:
    case ControlType::Text: {
      made.entry = new QLineEdit(client_);
      made.widget = made.entry;
      QLineEdit* entry = made.entry;
      QObject::connect(entry, &QLineEdit::textEdited, this, [this, number, entry] {
        Send(UserInput{.updates = {PropUpdate{number, PROP::Text, FromQt(entry->text())}}});
      });
      QObject::connect(entry, &QLineEdit::editingFinished, this, [this, number, entry] {
        if (!entry->isModified()) return;
        entry->setModified(false);
        Send(UserInput{.updates = {PropUpdate{number, PROP::Text, FromQt(entry->text())}},
                       .event = EVENT::Accepted,
                       .control = number});
      });
      break;
    }
    case ControlType::Check: {
      auto* check = new QCheckBox(client_);
      made.widget = check;
      QObject::connect(check, &QCheckBox::clicked, this, [this, number] {
        Send(UserInput{.event = EVENT::Accepted, .control = number});
      });
      break;
    }
    case ControlType::List:
      BuildList(made);
      break;
    case ControlType::Sheet:
      BuildSheet(made);
      break;
    case ControlType::Tab: {
      Control* sheet = FindControl(made.parent);
      if (sheet != nullptr && sheet->tabs != nullptr) {
        updating_ = true;
        sheet->tabs->addTab(WithoutAccessMarks(ToQt(Text(made.props, PROP::Text))));
        sheet->tabs->setCurrentIndex(std::max(Number(sheet->props, PROP::Selected), 1) - 1);
        updating_ = false;
        PlaceControl(*sheet);
      }
      return;  // a tab is a page of its sheet, not a widget
    }
    case ControlType::Group: {
      made.widget = new QGroupBox(client_);
      break;
    }
    case ControlType::Box:
    case ControlType::Panel:
    case ControlType::Line: {
      auto* frame = new QFrame(client_);
      frame->setFrameShape(made.type == ControlType::Line ? QFrame::HLine : QFrame::Box);
      made.widget = frame;
      break;
    }
    default: {
      made.label = new QLabel(client_);
      made.widget = made.label;
      break;
    }
  }
  if (made.widget == nullptr) return;
  made.widget->setFont(font_);
  made.widget->installEventFilter(this);
  if (made.list != nullptr) made.list->viewport()->installEventFilter(this);
  made.widget->setEnabled(Number(made.props, PROP::Disable) == 0);
  if (auto tip = Text(made.props, PROP::Tip); !tip.empty()) made.widget->setToolTip(ToQt(tip));
  if (auto msg = Text(made.props, PROP::Msg); !msg.empty()) made.widget->setStatusTip(ToQt(msg));
  made.widget->setAccessibleName(AccessibleNameOf(snapshot));
  ShowText(made);
  PlaceControl(made);
  if (made.list != nullptr) {
    ShowRows(made);
    ShowThumb(made);
  }
  if (made.type == ControlType::Sheet) made.widget->lower();
  made.widget->show();
}

void QtWindow::BuildList(Control& control) {
  auto* list = new QTreeWidget(client_);
  control.list = list;
  control.widget = list;
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setItemsExpandable(false);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setAllColumnsShowFocus(true);
  list->setContextMenuPolicy(Qt::PreventContextMenu);
  int columns = std::max<int>(static_cast<int>(control.columns.size()), 1);
  list->setColumnCount(columns);
  QStringList headers;
  for (const ListColumn& column : control.columns) headers << ToQt(column.header);
  list->setHeaderLabels(headers);
  list->setHeaderHidden(!HasHeaders(control.columns));
  for (size_t i = 0; i < control.columns.size(); ++i) {
    list->setColumnWidth(static_cast<int>(i), PxX(control.columns[i].width));
    char align = control.columns[i].header_align != 0 ? control.columns[i].header_align
                                                       : control.columns[i].align;
    list->headerItem()->setTextAlignment(static_cast<int>(i), AlignmentOf(align));
  }
  list->header()->setStretchLastSection(true);
  // Lists are declared without a horizontal scroll bar: a column that does
  // not fit is cut at the list's edge rather than scrolled to.
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  if (!control.columns.empty()) {
    const int first_declared = PxX(control.columns[0].width);
    QObject::connect(list->header(), &QHeaderView::geometriesChanged, list,
                     [list, first_declared] { KeepLastHeaderWhole(list, first_declared); });
  }
  int32_t number = control.number;
  bool imm = Number(control.props, PROP::Imm) != 0;
  if (imm) {
    // The program pages through its records itself: the list never
    // scrolls, and the scroll bar reports what the user asks of it.
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    control.thumb = new QScrollBar(Qt::Vertical, client_);
    control.thumb->setRange(0, 100);
    control.thumb->setPageStep(10);
    QScrollBar* thumb = control.thumb;
    QObject::connect(thumb, &QScrollBar::actionTriggered, this, [this, number](int action) {
      if (updating_) return;
      int32_t event = 0;
      switch (action) {
        case QAbstractSlider::SliderSingleStepAdd: event = EVENT::ScrollDown; break;
        case QAbstractSlider::SliderSingleStepSub: event = EVENT::ScrollUp; break;
        case QAbstractSlider::SliderPageStepAdd: event = EVENT::PageDown; break;
        case QAbstractSlider::SliderPageStepSub: event = EVENT::PageUp; break;
        case QAbstractSlider::SliderToMinimum: event = EVENT::ScrollTop; break;
        case QAbstractSlider::SliderToMaximum: event = EVENT::ScrollBottom; break;
        default: return;
      }
      Send(UserInput{.event = event, .control = number});
    });
    QObject::connect(thumb, &QScrollBar::sliderReleased, this, [this, number, thumb] {
      Send(UserInput{.updates = {PropUpdate{number, PROP::VScrollPos,
                                            std::to_string(thumb->value())}},
                     .event = EVENT::ScrollDrag,
                     .control = number});
    });
    thumb->installEventFilter(this);
  } else {
    QObject::connect(list->verticalScrollBar(), &QScrollBar::valueChanged, this,
                     [this, number](int value) {
                       if (updating_) return;
                       Send(UserInput{.updates = {PropUpdate{number, PROP::YOrigin,
                                                             std::to_string(value + 1)}}});
                     });
  }
  QObject::connect(list, &QTreeWidget::currentItemChanged, this,
                   [this, number, list](QTreeWidgetItem* current, QTreeWidgetItem*) {
                     if (updating_ || current == nullptr) return;
                     int row = list->indexOfTopLevelItem(current) + 1;
                     Send(UserInput{.updates = {PropUpdate{number, PROP::Selected,
                                                           std::to_string(row)}},
                                    .event = EVENT::NewSelection,
                                    .control = number});
                   });
  QObject::connect(list, &QTreeWidget::itemDoubleClicked, this,
                   [this, number, list](QTreeWidgetItem* item, int) {
                     int row = list->indexOfTopLevelItem(item) + 1;
                     Send(UserInput{
                         .updates = {PropUpdate{number, PROP::MouseDownRow, std::to_string(row)},
                                     PropUpdate{number, PROP::MouseDownZone,
                                                std::to_string(ListZone::Row)}},
                         .event = EVENT::Accepted,
                         .control = number,
                         .keycode = KEY::MouseLeft2});
                   });
}

void QtWindow::BuildSheet(Control& control) {
  auto* frame = new QFrame(client_);
  frame->setFrameShape(QFrame::StyledPanel);
  control.widget = frame;
  // The tabs sit on the sheet's top edge, the page frame below them; the
  // controls of a page are the window's own, placed over the frame.
  control.tabs = new QTabBar(client_);
  control.tabs->setDrawBase(false);
  control.tabs->setExpanding(false);
  control.tabs->setFont(font_);
  int32_t number = control.number;
  QTabBar* tabs = control.tabs;
  QObject::connect(tabs, &QTabBar::currentChanged, this, [this, number](int index) {
    if (updating_ || index < 0) return;
    Control* sheet = FindControl(number);
    if (sheet == nullptr) return;
    sheet->props[PROP::Selected] = std::to_string(index + 1);
    RefreshVisibility();
    Send(UserInput{.event = EVENT::TabChanging, .control = number});
    Send(UserInput{.updates = {PropUpdate{number, PROP::Selected, std::to_string(index + 1)}},
                   .event = EVENT::NewSelection,
                   .control = number});
  });
}

void QtWindow::PlaceControl(Control& control) {
  if (control.widget == nullptr) return;
  QRect rect(PxX(Number(control.props, PROP::Xpos)), PxY(Number(control.props, PROP::Ypos)),
             PxX(Number(control.props, PROP::Width)), PxY(Number(control.props, PROP::Height)));
  if (rect.width() <= 0) rect.setWidth(control.widget->sizeHint().width());
  if (rect.height() <= 0) rect.setHeight(control.widget->sizeHint().height());
  if (control.thumb != nullptr) {
    int thumb_width = control.thumb->sizeHint().width();
    control.widget->setGeometry(rect.adjusted(0, 0, -thumb_width, 0));
    control.thumb->setGeometry(rect.right() - thumb_width + 1, rect.top(), thumb_width,
                               rect.height());
  } else if (control.tabs != nullptr) {
    int bar_height = control.tabs->count() > 0 ? control.tabs->sizeHint().height()
                                               : QFontMetrics(font_).height() + 8;
    control.tabs->setGeometry(rect.left() + 2, rect.top(), rect.width() - 4, bar_height);
    control.widget->setGeometry(rect.adjusted(0, bar_height - 1, 0, 0));
    control.tabs->raise();
  } else {
    control.widget->setGeometry(rect);
  }
}

QtWindow::Control* QtWindow::FindControl(int32_t number) {
  if (number < 1 || number > static_cast<int32_t>(controls_.size())) return nullptr;
  return controls_[number - 1].get();
}

int32_t QtWindow::TabIndexOf(const Control& tab) const {
  int32_t index = 0;
  for (const auto& control : controls_) {
    if (control->type == ControlType::Tab && control->parent == tab.parent) {
      ++index;
      if (control->number == tab.number) return index;
    }
  }
  return 0;
}

bool QtWindow::IsShown(const Control& start) const {
  const Control* control = &start;
  for (size_t steps = 0; control != nullptr && steps <= controls_.size(); ++steps) {
    if (Number(control->props, PROP::Hide) != 0) return false;
    if (control->parent < 1 || control->parent > static_cast<int32_t>(controls_.size())) {
      return true;
    }
    const Control* parent = controls_[control->parent - 1].get();
    if (parent->type == ControlType::Tab && parent->parent >= 1 &&
        parent->parent <= static_cast<int32_t>(controls_.size())) {
      const Control* sheet = controls_[parent->parent - 1].get();
      if (TabIndexOf(*parent) != std::max(Number(sheet->props, PROP::Selected), 1)) return false;
    }
    control = parent;
  }
  return false;
}

void QtWindow::RefreshVisibility() {
  for (const auto& control : controls_) {
    bool shown = IsShown(*control);
    if (control->widget != nullptr) control->widget->setVisible(shown);
    if (control->tabs != nullptr) control->tabs->setVisible(shown);
    if (control->thumb != nullptr) {
      control->thumb->setVisible(shown && Number(control->props, PROP::VScroll) != 0);
    }
  }
}

void QtWindow::ShowText(Control& control) {
  QString text = ToQt(Text(control.props, PROP::Text));
  updating_ = true;
  if (control.button != nullptr) {
    control.button->setText(text);
  } else if (control.entry != nullptr) {
    control.entry->setText(TrimRight(text));
  } else if (control.label != nullptr) {
    control.label->setText(WithoutAccessMarks(TrimRight(text)));
  } else if (auto* check = qobject_cast<QCheckBox*>(control.widget)) {
    check->setText(text);
  } else if (auto* group = qobject_cast<QGroupBox*>(control.widget)) {
    group->setTitle(WithoutAccessMarks(text));
  } else if (control.type == ControlType::Tab) {
    Control* sheet = FindControl(control.parent);
    if (sheet != nullptr && sheet->tabs != nullptr) {
      sheet->tabs->setTabText(TabIndexOf(control) - 1, WithoutAccessMarks(text));
    }
  }
  updating_ = false;
}

void QtWindow::ShowRows(Control& control) {
  if (control.list == nullptr) return;
  updating_ = true;
  control.list->clear();
  QList<QTreeWidgetItem*> items;
  if (control.rows) {
    for (const std::vector<std::string>& row : *control.rows) {
      auto* item = new QTreeWidgetItem;
      for (size_t column = 0; column < row.size(); ++column) {
        QString text = ToQt(row[column]);
        item->setText(static_cast<int>(column), text.trimmed());
        char align = column < control.columns.size() ? control.columns[column].align : 'L';
        item->setTextAlignment(static_cast<int>(column), AlignmentOf(align));
      }
      items << item;
    }
  }
  control.list->addTopLevelItems(items);
  updating_ = false;
  ShowChoice(control);
}

void QtWindow::ShowChoice(Control& control) {
  if (control.list != nullptr) {
    updating_ = true;
    int32_t selected = Number(control.props, PROP::Selected);
    int count = control.list->topLevelItemCount();
    if (selected >= 1 && selected <= count) {
      QTreeWidgetItem* item = control.list->topLevelItem(selected - 1);
      control.list->setCurrentItem(item);
      if (control.thumb == nullptr) control.list->scrollToItem(item);
    } else {
      control.list->setCurrentItem(nullptr);
      control.list->clearSelection();
    }
    if (control.thumb != nullptr) control.list->scrollToTop();
    updating_ = false;
  } else if (control.tabs != nullptr) {
    updating_ = true;
    control.tabs->setCurrentIndex(std::max(Number(control.props, PROP::Selected), 1) - 1);
    updating_ = false;
    RefreshVisibility();
  }
}

void QtWindow::ShowThumb(Control& control) {
  if (control.list == nullptr) return;
  bool wanted = Number(control.props, PROP::VScroll) != 0;
  if (control.thumb != nullptr) {
    updating_ = true;
    control.thumb->setValue(std::clamp(Number(control.props, PROP::VScrollPos), 0, 100));
    updating_ = false;
    control.thumb->setVisible(wanted && IsShown(control));
  } else {
    control.list->setVerticalScrollBarPolicy(wanted ? Qt::ScrollBarAsNeeded
                                                    : Qt::ScrollBarAlwaysOff);
  }
}

int32_t QtWindow::ListLines(const Control& control) const {
  if (control.list == nullptr) return 1;
  int row_height = control.list->sizeHintForRow(0);
  if (row_height <= 0) row_height = QFontMetrics(font_).height() + 4;
  return std::max(control.list->viewport()->height() / row_height, 1);
}

void QtWindow::Apply(const Delta& delta) {
  if (delta.prop == kDeltaCreate) {
    if (delta.created) BuildControl(*delta.created);
    RefreshVisibility();
    return;
  }
  if (delta.control == 0) {
    snapshot_.props[delta.prop] = delta.value;
    if (delta.prop == PROP::Text) {
      top()->setWindowTitle(ToQt(delta.value));
    } else if (delta.prop == PROP::Width || delta.prop == PROP::Height) {
      ResizeClient(delta.prop, PropertyNumber(delta.value));
    } else if (delta.prop == PROP::Maximize || delta.prop == PROP::Iconize) {
      ApplyWindowState();
    } else if (delta.prop == PROP::MinWidth || delta.prop == PROP::MinHeight ||
               delta.prop == PROP::MaxWidth || delta.prop == PROP::MaxHeight) {
      ApplySizeLimits();
    } else if (delta.prop == kDeltaFocus) {
      Control* control = FindControl(PropertyNumber(delta.value));
      if (control != nullptr && control->widget != nullptr) {
        updating_ = true;
        control->widget->setFocus(Qt::OtherFocusReason);
        updating_ = false;
      }
    }
    return;
  }
  if (delta.control < 0) {
    auto it = menu_actions_.find(delta.control);
    if (it == menu_actions_.end()) return;
    if (delta.prop == PROP::Text) it->second->setText(ToQt(delta.value));
    if (delta.prop == PROP::Disable) it->second->setEnabled(PropertyNumber(delta.value) == 0);
    return;
  }
  Control* control = FindControl(delta.control);
  if (control == nullptr) return;
  if (delta.prop == kDeltaRows) {
    control->rows = delta.rows;
    ShowRows(*control);
    return;
  }
  control->props[delta.prop] = delta.value;
  switch (delta.prop) {
    case PROP::Text:
      ShowText(*control);
      break;
    case PROP::Disable:
      if (control->widget != nullptr) control->widget->setEnabled(PropertyNumber(delta.value) == 0);
      if (control->thumb != nullptr) control->thumb->setEnabled(PropertyNumber(delta.value) == 0);
      break;
    case PROP::Hide:
      RefreshVisibility();
      break;
    case PROP::Xpos:
    case PROP::Ypos:
    case PROP::Width:
    case PROP::Height:
      PlaceControl(*control);
      break;
    case PROP::Tip:
      if (control->widget != nullptr) control->widget->setToolTip(ToQt(delta.value));
      break;
    case PROP::Default:
      if (control->button != nullptr) control->button->setDefault(PropertyNumber(delta.value) != 0);
      break;
    case PROP::Selected:
      ShowChoice(*control);
      break;
    case PROP::VScroll:
    case PROP::VScrollPos:
      ShowThumb(*control);
      break;
    case PROP::YOrigin:
      if (control->list != nullptr && control->thumb == nullptr) {
        int row = PropertyNumber(delta.value) - 1;
        if (row >= 0 && row < control->list->topLevelItemCount()) {
          updating_ = true;
          control->list->scrollToItem(control->list->topLevelItem(row),
                                      QAbstractItemView::PositionAtTop);
          updating_ = false;
        }
      }
      break;
    default:
      break;
  }
}

void QtWindow::ResizeClient(int32_t prop, int32_t dlu) {
  // The size the screen ends up with is reported as any sizing is: a
  // report of the size before (a restore from maximized) may still be on
  // its way, and the last word must be the screen's.
  QSize wanted = client_->size();
  if (prop == PROP::Width) {
    wanted.setWidth(PxX(dlu));
  } else {
    wanted.setHeight(PxY(dlu));
  }
  // The client area is what the program sizes; the frame around it (title,
  // menu bar, status bar) keeps its own size.
  QWidget* outer = top();
  outer->resize(outer->size() + (wanted - client_->size()));
}

void QtWindow::ApplyWindowState() {
  // The show calls, not setWindowState: an MDI child changes its frame and
  // the area's layout only through them.
  QWidget* outer = top();
  if (Number(snapshot_.props, PROP::Iconize) != 0) {
    if (!outer->isMinimized()) outer->showMinimized();
  } else if (Number(snapshot_.props, PROP::Maximize) != 0) {
    if (!outer->isMaximized()) outer->showMaximized();
  } else if (outer->isMaximized() || outer->isMinimized()) {
    outer->showNormal();
  }
}

void QtWindow::ApplySizeLimits() {
  auto limit = [this](int32_t prop, bool across) {
    int32_t dlu = Number(snapshot_.props, prop);
    return dlu > 0 ? (across ? PxX(dlu) : PxY(dlu)) : 0;
  };
  QSize least(limit(PROP::MinWidth, true), limit(PROP::MinHeight, false));
  QSize most(limit(PROP::MaxWidth, true), limit(PROP::MaxHeight, false));
  auto or_none = [](int px, int extra) { return px > 0 ? px + extra : QWIDGETSIZE_MAX; };
  // What surrounds the client area, measured before the new limits resize
  // the client alone.
  QWidget* outer = top();
  QSize extra = outer->size() - client_->size();
  client_->setMinimumSize(least);
  client_->setMaximumSize(or_none(most.width(), 0), or_none(most.height(), 0));
  if (outer == client_) return;
  // The outer widget is what the user drags: it stops where the client
  // area reaches its limits.
  outer->setMinimumSize(least + extra);
  outer->setMaximumSize(or_none(most.width(), extra.width()),
                        or_none(most.height(), extra.height()));
}

std::vector<PropUpdate> QtWindow::Measure() {
  std::vector<PropUpdate> updates;
  reported_width_ = DluX(client_->width());
  reported_height_ = DluY(client_->height());
  for (const PropUpdate& update : SizeUpdates(reported_width_, reported_height_)) {
    updates.push_back(update);
  }
  for (const auto& control : controls_) {
    if (control->list == nullptr) continue;
    control->reported_items = ListLines(*control);
    updates.push_back(
        PropUpdate{control->number, PROP::Items, std::to_string(control->reported_items)});
  }
  return updates;
}

void QtWindow::ReportClientSize(bool with_event) {
  if (reported_width_ < 0) return;  // not on screen yet
  UserInput input;
  int32_t width = DluX(client_->width());
  int32_t height = DluY(client_->height());
  bool sized = width != reported_width_ || height != reported_height_;
  if (sized) {
    reported_width_ = width;
    reported_height_ = height;
    input.updates = SizeUpdates(width, height);
  }
  for (const auto& control : controls_) {
    if (control->list == nullptr) continue;
    int32_t lines = ListLines(*control);
    if (lines == control->reported_items) continue;
    control->reported_items = lines;
    input.updates.push_back(PropUpdate{control->number, PROP::Items, std::to_string(lines)});
  }
  if (sized && with_event) input.event = EVENT::Sized;
  if (!input.updates.empty()) Send(std::move(input));
}

int32_t QtWindow::ControlOf(const QWidget* widget) const {
  for (const auto& control : controls_) {
    if (widget == nullptr) return 0;
    if (control->widget == widget || control->thumb == widget ||
        (control->list != nullptr && control->list->viewport() == widget)) {
      return control->number;
    }
  }
  return 0;
}

std::vector<QPushButton*> QtWindow::Buttons() const {
  std::vector<QPushButton*> buttons;
  for (const auto& control : controls_) {
    if (control->button != nullptr) buttons.push_back(control->button);
  }
  return buttons;
}

std::vector<QAction*> QtWindow::MenuActions() const {
  std::vector<QAction*> actions;
  for (const auto& [number, action] : menu_actions_) actions.push_back(action);
  // What a menu adds of itself (the window list) is not the definition's.
  for (const auto& [number, menu] : menus_) {
    for (QAction* action : menu->actions()) {
      if (std::find(actions.begin(), actions.end(), action) == actions.end()) {
        actions.push_back(action);
      }
    }
  }
  return actions;
}

QMenu* QtWindow::MenuTitled(const QString& text) const {
  for (const auto& [number, menu] : menus_) {
    if (WithoutAccessMarks(menu->title()) == text) return menu;
  }
  return nullptr;
}

QTreeWidget* QtWindow::ListOf(int32_t control) const {
  if (control < 1 || control > static_cast<int32_t>(controls_.size())) return nullptr;
  return controls_[control - 1]->list;
}

QWidget* QtWindow::WidgetOf(int32_t control) const {
  if (control < 1 || control > static_cast<int32_t>(controls_.size())) return nullptr;
  return controls_[control - 1]->widget;
}

QSize QtWindow::ClientDlu() const { return QSize(DluX(client_->width()), DluY(client_->height())); }

QPoint QtWindow::DluAt(const QPoint& global) const {
  QPoint local = client_->mapFromGlobal(global);
  return QPoint(DluX(local.x()), DluY(local.y()));
}

QPoint QtWindow::GlobalAt(int32_t x, int32_t y) const {
  return client_->mapToGlobal(QPoint(PxX(x), PxY(y)));
}

void QtWindow::DragTo(int32_t width, int32_t height) {
  QWidget* outer = top();
  outer->resize(outer->size() + (QSize(PxX(width), PxY(height)) - client_->size()));
}

void QtWindow::HoldKey(int32_t keycode, int32_t keychar) {
  held_keycode_ = keycode;
  held_keychar_ = keychar;
  // Let go once the GUI loop is done with this input.
  QTimer::singleShot(0, this, [this] {
    held_keycode_ = 0;
    held_keychar_ = 0;
  });
}

bool QtWindow::HandleKey(Control* control, QEvent* event) {
  auto* key_event = static_cast<QKeyEvent*>(event);
  QByteArray text = key_event->text().toUtf8();
  QtKeyPress press;
  press.qt_key = key_event->key();
  press.shift = key_event->modifiers().testFlag(Qt::ShiftModifier);
  press.ctrl = key_event->modifiers().testFlag(Qt::ControlModifier);
  press.alt = key_event->modifiers().testFlag(Qt::AltModifier);
  press.scan_code = key_event->nativeScanCode();
  press.text_utf8 = std::string_view(text.constData(), text.size());
  int32_t keycode = KeyCodeFromQt(press);
  if (keycode == 0) return false;
  int32_t keychar = KeyCharFromQt(press);
  int32_t number = control != nullptr ? control->number : 0;
  Engine* engine = screen_.engine();
  if (engine != nullptr && engine->IsAlerted(snapshot_.id, number, keycode)) {
    Send(UserInput{.control = number, .keycode = keycode, .keychar = keychar});
    return true;
  }
  HoldKey(keycode, keychar);
  if (control == nullptr) return false;
  if (control->thumb != nullptr && control->list != nullptr) {
    int32_t scroll = 0;
    switch (keycode) {
      case KEY::Up: scroll = EVENT::ScrollUp; break;
      case KEY::Down: scroll = EVENT::ScrollDown; break;
      case KEY::PgUp: scroll = EVENT::PageUp; break;
      case KEY::PgDn: scroll = EVENT::PageDown; break;
      case KEY::Home:
      case KEY::Ctrl + KEY::PgUp: scroll = EVENT::ScrollTop; break;
      case KEY::End:
      case KEY::Ctrl + KEY::PgDn: scroll = EVENT::ScrollBottom; break;
      default: break;
    }
    if (scroll != 0) {
      Send(UserInput{.event = scroll, .control = number});
      return true;
    }
  }
  if (control->button != nullptr && keycode == KEY::Enter) {
    control->button->click();
    return true;
  }
  if (control->entry != nullptr && keycode == KEY::Enter) {
    // Enter accepts the entry, then presses the window's default button.
    for (const auto& candidate : controls_) {
      if (candidate->button == nullptr || Number(candidate->props, PROP::Default) == 0 ||
          !candidate->button->isEnabled() || !candidate->button->isVisible()) {
        continue;
      }
      if (control->entry->isModified()) {
        control->entry->setModified(false);
        Send(UserInput{.updates = {PropUpdate{number, PROP::Text,
                                              FromQt(control->entry->text())}},
                       .event = EVENT::Accepted,
                       .control = number});
      }
      candidate->button->click();
      return true;
    }
  }
  return false;
}

bool QtWindow::HandleRightButton(Control& control, QEvent* event) {
  auto* mouse = static_cast<QMouseEvent*>(event);
  if (mouse->button() != Qt::RightButton) return false;
  QTreeWidgetItem* item = control.list->itemAt(mouse->position().toPoint());
  int row = item != nullptr ? control.list->indexOfTopLevelItem(item) + 1 : 0;
  std::vector<PropUpdate> where{
      PropUpdate{control.number, PROP::MouseDownRow, std::to_string(row)},
      PropUpdate{control.number, PROP::MouseDownZone,
                 std::to_string(row > 0 ? ListZone::Row : ListZone::Nowhere)}};
  if (event->type() == QEvent::MouseButtonRelease) {
    Send(UserInput{.updates = std::move(where), .control = control.number,
                   .keycode = KEY::MouseRightUp});
    return true;
  }
  Engine* engine = screen_.engine();
  if (engine != nullptr && engine->IsAlerted(snapshot_.id, control.number, KEY::MouseRight)) {
    Send(UserInput{.updates = std::move(where), .control = control.number,
                   .keycode = KEY::MouseRight});
    return true;
  }
  // The list highlights the row as for the left button; the new
  // selection it reports carries the right button.
  Send(UserInput{.updates = std::move(where)});
  HoldKey(KEY::MouseRight, 0);
  return false;
}

void QtWindow::FitWallpaper() {
  const QSize area = mdi_->viewport()->size();
  if (wallpaper_.isNull() || area.isEmpty()) return;
  QPixmap fitted = wallpaper_.scaled(area, Qt::KeepAspectRatioByExpanding,
                                     Qt::SmoothTransformation);
  mdi_->setBackground(QBrush(fitted.copy((fitted.width() - area.width()) / 2,
                                         (fitted.height() - area.height()) / 2,
                                         area.width(), area.height())));
}

bool QtWindow::eventFilter(QObject* watched, QEvent* event) {
  if (mdi_ != nullptr && watched == mdi_->viewport() && event->type() == QEvent::Resize) {
    FitWallpaper();
    return false;
  }
  if (watched == client_ && event->type() == QEvent::Resize) {
    ReportClientSize(true);
    return false;
  }
  if (watched == window_widget_ && event->type() == QEvent::WindowStateChange) {
    Qt::WindowStates state = window_widget_->windowState();
    bool maximized = state.testFlag(Qt::WindowMaximized);
    bool iconized = state.testFlag(Qt::WindowMinimized);
    int32_t now = maximized ? 1 : iconized ? 2 : 0;
    if (now == reported_state_) return false;
    reported_state_ = now;
    snapshot_.props[PROP::Maximize] = maximized ? "1" : "0";
    snapshot_.props[PROP::Iconize] = iconized ? "1" : "0";
    Send(UserInput{.updates = {PropUpdate{0, PROP::Maximize, maximized ? "1" : "0"},
                               PropUpdate{0, PROP::Iconize, iconized ? "1" : "0"}},
                   .event = maximized  ? EVENT::Maximized
                            : iconized ? EVENT::Iconized
                                       : EVENT::Restored});
    return false;
  }
  auto* widget = qobject_cast<QWidget*>(watched);
  int32_t number = ControlOf(widget);
  Control* control = FindControl(number);
  switch (event->type()) {
    case QEvent::KeyPress:
      return HandleKey(control, event);
    case QEvent::Resize:
      if (control != nullptr && control->list != nullptr) ReportClientSize(false);
      return false;
    case QEvent::FocusIn:
      if (control != nullptr && !updating_ && watched == control->widget) {
        Send(UserInput{.updates = {PropUpdate{0, PROP::Focus, std::to_string(number)}},
                       .event = EVENT::Selected,
                       .control = number});
      }
      if (control != nullptr && control->entry != nullptr && watched == control->entry) {
        // An entry taken by a click or Tab has its text selected, so what
        // the user types replaces it (a blank date's "  /  /" included)
        // rather than landing beside it.  Queued: the click that brought the
        // focus would otherwise place the cursor over the selection.
        QTimer::singleShot(0, control->entry, &QLineEdit::selectAll);
      }
      return false;
    case QEvent::Wheel:
      if (control != nullptr && control->thumb != nullptr && control->list != nullptr) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        int32_t scroll = wheel->angleDelta().y() > 0 ? EVENT::ScrollUp : EVENT::ScrollDown;
        Send(UserInput{.event = scroll, .control = number});
        return true;
      }
      return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
      if (control != nullptr && control->list != nullptr &&
          watched == control->list->viewport()) {
        return HandleRightButton(*control, event);
      }
      return false;
    default:
      return false;
  }
}

}  // namespace zuna::window::qt
