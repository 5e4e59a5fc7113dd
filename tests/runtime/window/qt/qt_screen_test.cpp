// What the window framework asks of the Qt screen, checked on the real
// widgets (offscreen): the program sizing its window within limits, menus
// on child windows, the window list when a listed child has gone, popups
// at a point and at the mouse, the wait cursor, which key or button caused
// an event, and a session ending while a procedure opens a window.
#include <gtest/gtest.h>

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "runtime/window/engine.h"
#include "runtime/window/qt/qt_session.h"
#include "tests/support/qt_session_test.h"

namespace zuna::window::qt {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWait = 10000;  // ms; only a stuck GUI takes this long

// Frame menus.
constexpr const char* kNewChildItem = "New child";
constexpr const char* kPlainItem = "Plain window";
constexpr int32_t kNewChild = -2;
constexpr int32_t kPlain = -3;
// Child controls and menus.
constexpr int32_t kList = 1;
constexpr int32_t kEntry = 2;
constexpr int32_t kSize = 3;
constexpr int32_t kLimit = 4;
constexpr int32_t kPopupHere = 5;
constexpr int32_t kPopupAtMouse = 6;
constexpr int32_t kWait_ = 7;
constexpr int32_t kArrow = 8;
constexpr int32_t kNoteItem = -2;

struct Seen {
  int32_t event;
  int32_t field;
  int32_t keycode;
  int32_t keychar;
};

// What the child procedures saw, for the test to check.
struct Program {
  std::mutex mu;
  std::vector<Seen> seen;
  std::atomic<int32_t> popup_answer{-1};
  std::atomic<int32_t> client_width{0};
  std::atomic<bool> reopen_when_abandoned{false};
  std::atomic<int32_t> reopen_attempts{0};

  bool Saw(int32_t event, int32_t field, int32_t keycode) {
    std::lock_guard lock(mu);
    for (const Seen& one : seen) {
      if (one.event == event && one.field == field && one.keycode == keycode) return true;
    }
    return false;
  }
  int32_t KeyCharOf(int32_t event, int32_t keycode) {
    std::lock_guard lock(mu);
    for (const Seen& one : seen) {
      if (one.event == event && one.keycode == keycode) return one.keychar;
    }
    return -1;
  }
};

WindowDefinition FrameDefinition() {
  WindowDefinition frame;
  frame.kind = WindowKind::kApplication;
  frame.title = "Frame";
  frame.width = 420;
  frame.height = 300;
  frame.menus = {
      MenuDefinition{.is_menu = true, .text = "&File"},
      MenuDefinition{.parent = -1, .text = kNewChildItem},
      MenuDefinition{.parent = -1, .text = kPlainItem},
      MenuDefinition{.parent = -1, .text = "Exit", .action = MenuAction::kClose},
      MenuDefinition{.is_menu = true, .text = "&Window", .action = MenuAction::kWindowList},
  };
  return frame;
}

std::string ChildTitle(int32_t thread) { return "Child " + std::to_string(thread); }

WindowDefinition ChildDefinition(int32_t thread) {
  WindowDefinition child;
  child.kind = WindowKind::kMdiChild;
  child.title = ChildTitle(thread);
  child.width = 200;
  child.height = 110;
  auto button = [](const char* text, int32_t x, int32_t y) {
    return ControlDefinition{.type = ControlType::Button, .text = text, .x = x, .y = y,
                             .width = 44, .height = 14};
  };
  child.controls = {
      ControlDefinition{.type = ControlType::List, .x = 4, .y = 4, .width = 120, .height = 40,
                        .format = "60L|M~Name~@s10@"},
      ControlDefinition{.type = ControlType::Entry, .x = 4, .y = 48, .width = 80,
                        .height = 12, .picture = "@s10"},
      button("Size", 4, 64),
      button("Limit", 52, 64),
      button("Here", 100, 64),
      button("Mouse", 148, 64),
      button("Wait", 4, 82),
      button("Arrow", 52, 82),
  };
  child.menus = {
      MenuDefinition{.is_menu = true, .text = "&Child"},
      MenuDefinition{.parent = -1, .text = "Note"},
      MenuDefinition{.parent = -1, .text = "Close", .action = MenuAction::kClose},
  };
  return child;
}

class ThreeRows final : public ListSource {
 public:
  int32_t Records() const override { return 3; }
  std::string CellText(int32_t row, size_t, const values::Picture&) const override {
    return "Row " + std::to_string(row);
  }
};

void ChildProcedure(Program& program) {
  char name[10];
  std::memset(name, ' ', sizeof name);
  ThreeRows rows;
  Window window(ChildDefinition(THREAD()));
  window.Bind(kEntry, values::RefString(name, sizeof name));
  window.BindList(kList, &rows);
  if (!window.Open()) return;
  window.Alert(kList, KEY::MouseRightUp);
  window.Alert(kList, 'F');
  window.Alert(0, KEY::CtrlQuote);
  while (ACCEPT(window)) {
    {
      std::lock_guard lock(program.mu);
      program.seen.push_back(Seen{EVENT(), FIELD(), KEYCODE(), KEYCHAR()});
    }
    if (EVENT() == EVENT::Sized) program.client_width = window.PropLong(0, PROP::ClientWidth);
    switch (ACCEPTED()) {
      case kSize:  // what the resizer's RestoreWindow does
        window.SetProp(0, PROP::Maximize, 0);
        window.SetProp(0, PROP::Width, 150);
        window.SetProp(0, PROP::Height, 90);
        program.client_width = window.PropLong(0, PROP::ClientWidth);
        break;
      case kLimit:
        window.SetProp(0, PROP::MaxWidth, 180);
        window.SetProp(0, PROP::MaxHeight, 120);
        break;
      case kPopupHere:
        program.popup_answer = POPUP("One|Two", 40, 20);
        break;
      case kPopupAtMouse:
        program.popup_answer = POPUP("One|Two");
        break;
      case kWait_:
        SETCURSOR(CURSOR::Wait);
        break;
      case kArrow:
        SETCURSOR();
        break;
      default:
        break;
    }
  }
  // A procedure that goes on opening windows while the program ends.
  while (program.reopen_when_abandoned && program.reopen_attempts < 50) {
    ++program.reopen_attempts;
    Window again(ChildDefinition(THREAD()));
    if (again.Open()) {
      while (ACCEPT(again)) {
      }
    }
  }
}

// A plain window with a menu of its own, on a thread of its own.
void PlainProcedure(Program& program) {
  WindowDefinition definition = ChildDefinition(THREAD());
  definition.kind = WindowKind::kModal;
  definition.title = "Plain";
  definition.controls.resize(1);
  Window window(definition);
  if (!window.Open()) return;
  while (ACCEPT(window)) {
    std::lock_guard lock(program.mu);
    program.seen.push_back(Seen{EVENT(), FIELD(), KEYCODE(), KEYCHAR()});
  }
}

std::function<void()> MainProcedure(Program& program) {
  return [&program] {
    Window frame(FrameDefinition());
    if (!frame.Open()) return;
    while (ACCEPT(frame)) {
      if (ACCEPTED() == kNewChild) START([&program] { ChildProcedure(program); });
      if (ACCEPTED() == kPlain) START([&program] { PlainProcedure(program); });
    }
  };
}

class QtScreenTest : public zuna::testing::QtSessionTest {
 protected:
  // The session (its threads) ends before the program state they use.
  ~QtScreenTest() override { session_.reset(); }

  // Starts the program and opens child windows 2, 3, … from the menu.
  void OpenChildren(size_t count) {
    ASSERT_TRUE(session().Start(MainProcedure(program_)));
    for (size_t opened = 1; opened <= count; ++opened) {
      ASSERT_TRUE(Pump([&] { return Settled() && session().TriggerMenuItem(kNewChildItem); }));
      ASSERT_TRUE(Pump([&] { return session().ChildTitles().size() == opened && Settled(); }));
    }
  }

  bool Click(const char* caption, const std::string& title = ChildTitle(2)) {
    return Pump([&] { return Settled() && session().ClickButton(title, caption); });
  }

  bool ClientIs(int32_t width, int32_t height, const std::string& title = ChildTitle(2)) {
    return Pump([&] {
      int32_t w = 0;
      int32_t h = 0;
      return session().ClientSize(title, w, h) && std::abs(w - width) <= 1 &&
             std::abs(h - height) <= 1;
    });
  }

  Program program_;
};

TEST_F(QtScreenTest, TheProgramSizesItsWindowAndLimitsTheUsersDragging) {
  OpenChildren(1);
  ASSERT_TRUE(ClientIs(200, 110));  // as defined, below the child's menu bar

  // Maximized by the user, restored and sized by the program.
  ASSERT_TRUE(session().MaximizeWindow(ChildTitle(2)));
  ASSERT_TRUE(Pump([&] { return program_.Saw(EVENT::Maximized, 0, 0); }));
  ASSERT_TRUE(Click("Size"));
  EXPECT_TRUE(ClientIs(150, 90));
  EXPECT_FALSE(session().IsMaximized(ChildTitle(2)));
  // The engine's copy ends with the screen's size, whatever reports of the
  // sizes on the way (the restore first) came after the program's.
  Pump([] { return false; }, 200);
  std::optional<WindowView> view = session().engine().ReadWindow(session().engine().TopWindowOf(2));
  ASSERT_TRUE(view.has_value());
  EXPECT_NEAR(PropertyNumber(view->props[PROP::ClientWidth]), 150, 1);
  EXPECT_NEAR(PropertyNumber(view->props[PROP::ClientHeight]), 90, 1);

  ASSERT_TRUE(Click("Limit"));
  ASSERT_TRUE(Pump([&] { return Settled(); }));
  ASSERT_TRUE(session().DragWindowTo(ChildTitle(2), 400, 300));
  EXPECT_TRUE(ClientIs(180, 120));  // held at the maximum
  ASSERT_TRUE(session().DragWindowTo(ChildTitle(2), 160, 100));
  EXPECT_TRUE(ClientIs(160, 100));  // within it: as dragged
  // The program hears of the user's sizing and reads the size it got.
  EXPECT_TRUE(Pump([&] { return std::abs(program_.client_width - 160) <= 1; }));
}

TEST_F(QtScreenTest, AChildWindowShowsItsOwnMenuBar) {
  OpenChildren(1);
  EXPECT_FALSE(session().TriggerMenuItem(ChildTitle(2), "Missing"));
  ASSERT_TRUE(session().TriggerMenuItem(ChildTitle(2), "Note"));
  EXPECT_TRUE(Pump([&] { return program_.Saw(EVENT::Accepted, kNoteItem, 0); }));
  // "Close" closes the child, as its close box would.
  ASSERT_TRUE(Pump([&] { return Settled() && session().TriggerMenuItem(ChildTitle(2), "Close"); }));
  EXPECT_TRUE(Pump([&] { return session().ChildTitles().empty(); }));
}

TEST_F(QtScreenTest, APlainWindowShowsItsMenuBarAboveItsClientArea) {
  ASSERT_TRUE(session().Start(MainProcedure(program_)));
  ASSERT_TRUE(Pump([&] { return Settled() && session().TriggerMenuItem(kPlainItem); }));
  EXPECT_TRUE(ClientIs(200, 110, "Plain"));
  ASSERT_TRUE(Pump([&] { return Settled() && session().TriggerMenuItem("Plain", "Note"); }));
  EXPECT_TRUE(Pump([&] { return program_.Saw(EVENT::Accepted, kNoteItem, 0); }));
  ASSERT_TRUE(session().DragWindowTo("Plain", 240, 130));
  EXPECT_TRUE(ClientIs(240, 130, "Plain"));
}

// The window list names the children open when the menu opened.  A child
// that closes meanwhile is let go: choosing its line does nothing (and
// never reaches a window that is gone).
TEST_F(QtScreenTest, TheWindowListLetsGoOfAChildThatClosedWhileItWasOpen) {
  OpenChildren(2);
  static std::vector<std::string> warnings;
  warnings.clear();
  QtMessageHandler previous = qInstallMessageHandler(
      [](QtMsgType, const QMessageLogContext&, const QString& text) {
        // Only what the MDI area says: the offscreen platform talks too.
        if (text.contains(QStringLiteral("QMdiArea"))) warnings.push_back(text.toStdString());
      });
  ASSERT_TRUE(session().OpenFrameMenu("Window"));
  ASSERT_TRUE(Pump([&] { return Settled() && session().TriggerMenuItem(ChildTitle(2), "Close"); }));
  ASSERT_TRUE(Pump([&] { return session().ChildTitles().size() == 1; }));
  EXPECT_TRUE(session().TriggerMenuItem("Frame", "1 " + ChildTitle(2)));
  EXPECT_TRUE(session().TriggerMenuItem("Frame", "2 " + ChildTitle(3)));
  session().CloseMenus();
  Pump([] { return false; }, 50);
  qInstallMessageHandler(previous);
  EXPECT_TRUE(warnings.empty()) << warnings.front();
}

TEST_F(QtScreenTest, APopupStandsAtThePointAskedOrAtTheMouse) {
  OpenChildren(1);
  ASSERT_TRUE(Click("Here"));
  int32_t x = 0;
  int32_t y = 0;
  ASSERT_TRUE(Pump([&] { return session().PopupPosition(x, y); }));
  EXPECT_NEAR(x, 40, 1);
  EXPECT_NEAR(y, 20, 1);
  ASSERT_TRUE(session().ChoosePopupItem("Two"));
  EXPECT_TRUE(Pump([&] { return program_.popup_answer == 2; }));

  ASSERT_TRUE(session().MoveMouseTo(ChildTitle(2), 70, 30));
  ASSERT_TRUE(Click("Mouse"));
  ASSERT_TRUE(Pump([&] { return session().PopupPosition(x, y); }));
  EXPECT_NEAR(x, 70, 1);
  EXPECT_NEAR(y, 30, 1);
  session().CloseMenus();  // dismissed: no line
  EXPECT_TRUE(Pump([&] { return program_.popup_answer == 0; }));
}

TEST_F(QtScreenTest, TheWaitCursorComesAndGoes) {
  OpenChildren(1);
  EXPECT_FALSE(session().WaitCursorShown());
  ASSERT_TRUE(Click("Wait"));
  EXPECT_TRUE(Pump([&] { return session().WaitCursorShown(); }));
  ASSERT_TRUE(Click("Arrow"));
  EXPECT_TRUE(Pump([&] { return !session().WaitCursorShown(); }));
}

// Events caused by a key or a mouse button carry it: KEYCODE() and
// KEYCHAR() tell the program which.
TEST_F(QtScreenTest, EventsCarryTheKeyOrButtonThatCausedThem) {
  // Qt::Key values, as Qt's public headers define them.
  constexpr int kQtKeyReturn = 0x01000004;
  constexpr int kQtKeyDown = 0x01000015;
  constexpr int kQtKeyCyrillicE = 0x6dc;
  constexpr int kQtKeyF = 0x46;
  OpenChildren(1);
  std::string child = ChildTitle(2);

  // Typed into the entry, then Enter: the entry is accepted with Enter.
  ASSERT_TRUE(session().PressKey(child, kEntry, {.qt_key = kQtKeyF, .text_utf8 = "а"}));
  ASSERT_TRUE(session().PressKey(child, kEntry, {.qt_key = kQtKeyReturn, .text_utf8 = "\r"}));
  EXPECT_TRUE(Pump([&] { return program_.Saw(EVENT::Accepted, kEntry, KEY::Enter); }));

  // Down in the list moves the highlight: the new selection carries Down.
  ASSERT_TRUE(Pump([&] { return Settled(); }));
  ASSERT_TRUE(session().PressKey(child, kList, {.qt_key = kQtKeyDown}));
  EXPECT_TRUE(Pump([&] { return program_.Saw(EVENT::NewSelection, kList, KEY::Down); }));

  // The F key under a Russian layout types «а»: alerted by its place, with
  // the letter typed in the program's code page.
  ASSERT_TRUE(session().PressKey(child, kList, {.qt_key = kQtKeyF, .text_utf8 = "а"}));
  EXPECT_TRUE(Pump([&] { return program_.Saw(EVENT::AlertKey, kList, 'F'); }));
  EXPECT_EQ(program_.KeyCharOf(EVENT::AlertKey, 'F'), 0xE0);

  // Ctrl with the apostrophe key under a Russian layout, where it types
  // «Э»: by its place on the keyboard it is the ditto key, alerted.
  ASSERT_TRUE(session().PressKey(child, kEntry, {.qt_key = kQtKeyCyrillicE, .ctrl = true,
                                                 .scan_code = 48, .text_utf8 = "\x1d"}));
  EXPECT_TRUE(Pump([&] { return program_.Saw(EVENT::AlertKey, kEntry, KEY::CtrlQuote); }));

  // The right button selects the row it is pressed on (code 2); its
  // release is alerted on the list (code 130).
  ASSERT_TRUE(Pump([&] { return Settled(); }));
  ASSERT_TRUE(session().RightClickRow(child, kList, 3));
  EXPECT_TRUE(Pump([&] { return program_.Saw(EVENT::NewSelection, kList, KEY::MouseRight); }));
  EXPECT_TRUE(Pump([&] { return program_.Saw(EVENT::AlertKey, kList, KEY::MouseRightUp); }));
  EXPECT_EQ(KEY::MouseRight, 2);
  EXPECT_EQ(KEY::MouseRightUp, 130);
}

// The session ends while a procedure, let go, opens windows again: each
// is refused at once, so the ending does not wait on it.
TEST_F(QtScreenTest, ASessionEndsPromptlyWhileAProcedureOpensWindows) {
  program_.reopen_when_abandoned = true;
  OpenChildren(1);
  Clock::time_point start = Clock::now();
  session_.reset();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(program_.reopen_attempts, 50);
}

// The session ends just as a child's thread asks the screen for its
// window: the question is dropped with the screen, not waited for.
TEST_F(QtScreenTest, ASessionEndsPromptlyWhileAWindowIsBeingOpened) {
  ASSERT_TRUE(session().Start(MainProcedure(program_)));
  ASSERT_TRUE(Pump([&] { return Settled() && session().TriggerMenuItem(kNewChildItem); }));
  ASSERT_TRUE(Pump([&] { return session().engine().LiveThreads().size() == 2; }, kWait));
  Clock::time_point start = Clock::now();
  session_.reset();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace zuna::window::qt
