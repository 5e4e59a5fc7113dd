// The register's list on the real Qt screen, offscreen: a list of 1,000
// people scrolls with the keys, the wheel and the thumb, and the rows the
// list widget shows are the right ones.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractSlider>
#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTreeWidget>
#include <QWheelEvent>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/zun_dictionary.h"
#include "app/zunabc.h"
#include "app/zunabc0.h"
#include "framework/window/browse_class.h"
#include "framework/window/engine_host.h"
#include "runtime/datfile/statements.h"
#include "runtime/datfile/view.h"
#include "runtime/window/qt/qt_session.h"
#include "tests/support/shipped_locale.h"
#include "tests/support/temp_dir.h"

namespace zuna::framework {
namespace {

using app::Access_ZUN;
using app::Relate_ZUN;

constexpr int kWait = 10000;  // ms; only a stuck GUI takes this long
constexpr int kPeople = 1000;

std::string Numbered(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "P%04d", i);
  return name;
}

class QtList : public WindowManager {
 public:
  QtList() : window_(Definition()), queue_(std::span<char>(row_, sizeof row_)) {
    queue_.AddColumn(values::RefString(row_, 30));
    queue_.AddColumn(values::RefLong(*reinterpret_cast<int32_t*>(row_ + 30)));
  }
  uint8_t Init() override {
    if (uint8_t level = WindowManager::Init(); level != Level::Benign) return level;
    Relate_ZUN->Open();
    Open(window_);
    const auto fio = values::RefString(Access_ZUN->Buffer.data(), 30);
    const auto data = values::RefLong(*reinterpret_cast<int32_t*>(Access_ZUN->Buffer.data() + 30));
    browse_.Init(1, queue_, view_, *Relate_ZUN, *this);
    thumb_.Init(StepFlag::Letters | StepFlag::Digits, StepMode::Runtime);
    browse_.AddSortOrder(&thumb_, datfile::Key{app::kKey2Index});
    browse_.AddField(fio, values::RefString(row_, 30));
    browse_.AddField(data, values::RefLong(*reinterpret_cast<int32_t*>(row_ + 30)));
    SetAlerts();
    return Level::Benign;
  }
  uint8_t Kill() override {
    const uint8_t level = WindowManager::Kill();
    if (level == Level::Benign) Relate_ZUN->Close();
    return level;
  }

 private:
  static window::WindowDefinition Definition() {
    window::WindowDefinition list;
    list.kind = window::WindowKind::kModal;
    list.title = "Qt list";
    list.width = 220;
    list.height = 140;
    window::ControlDefinition box;
    box.type = window::ControlType::List;
    box.label = "?Browse:1";
    box.x = 4;
    box.y = 4;
    box.width = 180;
    box.height = 120;
    box.format = "120L@s30@40L@D6@";
    box.imm = true;
    box.vscroll = true;
    list.controls.push_back(box);
    return list;
  }
  window::Window window_;
  char row_[34] = {};
  datfile::View view_{app::ZUN()};
  ListQueue queue_;
  BrowseClass browse_;
  StepStringClass thumb_;
};

// The list widget and the thumb beside it, once on screen.
struct Widgets {
  QTreeWidget* list = nullptr;
  QScrollBar* thumb = nullptr;
};

Widgets Find() {
  Widgets found;
  for (QWidget* w : QApplication::allWidgets()) {
    if (auto* tree = qobject_cast<QTreeWidget*>(w); tree != nullptr && tree->isVisible()) {
      found.list = tree;
    }
  }
  if (found.list == nullptr) return found;
  for (QWidget* w : QApplication::allWidgets()) {
    auto* bar = qobject_cast<QScrollBar*>(w);
    // The program's thumb is the list's sibling, not one of its own bars.
    if (bar != nullptr && bar->parentWidget() == found.list->parentWidget()) found.thumb = bar;
  }
  return found;
}

std::vector<std::string> Rows(QTreeWidget* list) {
  std::vector<std::string> rows;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    rows.push_back(list->topLevelItem(i)->text(0).trimmed().toStdString());
  }
  return rows;
}

std::vector<std::string> Page(int first, int lines) {
  std::vector<std::string> page;
  for (int i = first; i < first + lines && i <= kPeople; ++i) page.push_back(Numbered(i));
  return page;
}

TEST(BrowseOnQt, AThousandPeopleScrollWithTheKeysTheWheelAndTheThumb) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  zuna::testing::InstallShippedLocale();
  zuna::testing::TempDir dir;
  char previous[4096] = {};
  ASSERT_EQ(::getcwd(previous, sizeof previous), previous);
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  int argc = 1;
  char name[] = "framework_window_qt_tests";
  char* argv[] = {name, nullptr};
  {
    EngineHost host([](int, std::string_view) {});
    ScopedHost installed(host);
    app::GlobalErrors.Init(app::GlobalErrorStatus);
    window::qt::QtSession session(argc, argv);
    ASSERT_TRUE(session.Start([] {
      app::ZUNABC::DctInit();
      Relate_ZUN->Open();
      Access_ZUN->UseFile();
      datfile::STREAM(app::ZUN());
      for (int i = 1; i <= kPeople; ++i) {
        app::WriteZunRecord(app::MakeZunRecord(Numbered(i), 70000 + i), Access_ZUN->Buffer);
        datfile::ADD(app::ZUN());
      }
      datfile::FLUSH(app::ZUN());
      { QtList().Run(); }
      Relate_ZUN->Close();
      app::ZUNABC::DctKill();
      if (app::ZUN().is_open()) datfile::CLOSE(app::ZUN());
    }));
    Widgets w;
    ASSERT_TRUE(session.PumpUntil(
        [&] { return (w = Find()).list != nullptr && w.list->topLevelItemCount() > 1; }, kWait));
    ASSERT_NE(w.thumb, nullptr);
    const int lines = w.list->topLevelItemCount();
    ASSERT_GE(lines, 5) << "a page of the list, not the whole set";
    ASSERT_LT(lines, 100);
    EXPECT_EQ(Rows(w.list), Page(1, lines));
    auto shows = [&](int first) {
      return session.PumpUntil([&] { return Rows(w.list) == Page(first, lines); }, kWait);
    };
    auto key = [&](int qt_key) {
      QKeyEvent press(QEvent::KeyPress, qt_key, Qt::NoModifier);
      QCoreApplication::sendEvent(w.list, &press);
    };
    // Keys: a page down, then down past the last line slides the page.
    key(Qt::Key_PageDown);
    EXPECT_TRUE(shows(1 + lines)) << "page down";
    for (int i = 0; i < lines; ++i) key(Qt::Key_Down);
    EXPECT_TRUE(shows(2 + lines)) << "one past the last line";
    key(Qt::Key_End);
    EXPECT_TRUE(shows(kPeople - lines + 1)) << "end";
    key(Qt::Key_Home);
    EXPECT_TRUE(shows(1)) << "home";
    // The wheel: a line a notch; past the last line the page slides.
    for (int i = 0; i < lines + 2; ++i) {
      QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton,
                        Qt::NoModifier, Qt::NoScrollPhase, false);
      QCoreApplication::sendEvent(w.list->viewport(), &wheel);
    }
    EXPECT_TRUE(shows(4)) << "wheel down past the last line";
    // The thumb: to the end, then dragged back to the start.
    w.thumb->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_TRUE(shows(kPeople - lines + 1)) << "thumb to the end";
    EXPECT_TRUE(session.PumpUntil([&] { return w.thumb->value() == 100; }, kWait));
    w.thumb->setValue(1);
    emit w.thumb->sliderReleased();
    EXPECT_TRUE(shows(1)) << "thumb dragged to the top";
  }
  app::GlobalErrors.Kill();
  ASSERT_EQ(::chdir(previous), 0);
}

}  // namespace
}  // namespace zuna::framework
