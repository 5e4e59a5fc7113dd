// window_demo: the window engine on the Qt screen.
//
//   window_demo                       the frame; use its menu
//   window_demo --flow ASKED.png ANSWERED.png
//       plays the demonstration by itself: opens a child window, presses
//       its button, saves a picture of the screen with the question up,
//       answers Yes, saves a second picture, and quits; exit code 0 when
//       the answer reached the child's thread.
//   window_demo --shoot DIR
//       opens the resizable list of people and saves pictures of the
//       screen into DIR: at its first size (1-first-size.png), after the
//       user made it larger (2-resized.png), and with the list's
//       right-click menu open (3-popup.png); then chooses a line of the
//       menu, saves 4-chosen.png with the window showing the choice, and
//       quits; exit code 0 when the choice reached the window.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/window_demo/demo_procedures.h"
#include "app/window_demo/people_window.h"
#include "runtime/window/properties.h"
#include "runtime/window/qt/qt_session.h"

namespace {

using zuna::window::qt::QtSession;
namespace demo = zuna::app::demo;

int Fail(const char* step) {
  std::fprintf(stderr, "window_demo: %s\n", step);
  return 1;
}

int PlayFlow(QtSession& session, const std::string& asked_png, const std::string& answered_png) {
  if (!session.Start(demo::DemoMain)) return Fail("cannot start");
  if (!session.PumpUntil([&] { return session.TriggerMenuItem(demo::kNewWindowItem); }, 10000)) {
    return Fail("no menu item");
  }
  std::string title = demo::ChildTitle(2);
  if (!session.PumpUntil([&] { return session.ClickButton(title, demo::kAskButton); }, 10000)) {
    return Fail("no child window");
  }
  if (!session.PumpUntil([&] { return !session.MessageBoxText().empty(); }, 10000)) {
    return Fail("no question");
  }
  session.PumpUntil([] { return false; }, 300);  // let it paint
  if (!session.GrabScreen(asked_png)) return Fail("cannot grab the screen");
  if (!session.AnswerMessageBox(zuna::window::BUTTON::Yes)) return Fail("cannot answer");
  if (!session.PumpUntil([&] { return session.HasLabelStartingWith(title, demo::kAnswerYes); },
                         10000)) {
    return Fail("the answer did not arrive");
  }
  session.PumpUntil([] { return false; }, 300);
  if (!session.GrabScreen(answered_png)) return Fail("cannot grab the screen");
  std::vector<demo::Answer> answers = demo::Answers();
  bool arrived = answers.size() == 1 && answers[0].received_on == 2 &&
                 answers[0].button == zuna::window::BUTTON::Yes;
  session.TriggerMenuItem(demo::kExitItem);
  session.PumpUntil([&] { return session.MainEnded(); }, 10000);
  return arrived ? 0 : Fail("wrong answer");
}

// Lets the screen settle and paint before a picture.
void Paint(QtSession& session) {
  session.PumpUntil([&] { return session.engine().WaitIdle(std::chrono::milliseconds(0)); },
                    10000);
  session.PumpUntil([] { return false; }, 400);
}

int PlayShoot(QtSession& session, const std::string& dir) {
  if (!session.Start(demo::DemoMain)) return Fail("cannot start");
  if (!session.PumpUntil([&] { return session.TriggerMenuItem(demo::kPeopleItem); }, 10000)) {
    return Fail("no menu item");
  }
  const char* title = demo::kPeopleTitle;
  int32_t width = 0;
  int32_t height = 0;
  if (!session.PumpUntil([&] { return session.ClientSize(title, width, height); }, 10000)) {
    return Fail("no list window");
  }
  Paint(session);
  if (!session.GrabScreen(dir + "/1-first-size.png")) return Fail("cannot grab the screen");

  // The user drags the window larger.
  session.DragWindowTo(title, demo::kPeopleWidth + 140, demo::kPeopleHeight + 90);
  Paint(session);
  if (!session.GrabScreen(dir + "/2-resized.png")) return Fail("cannot grab the screen");

  // A right click on the third row, with the pointer over it.
  session.MoveMouseTo(title, 60, 30);
  session.RightClickRow(title, demo::kPeopleList, 3);
  int32_t x = 0;
  int32_t y = 0;
  if (!session.PumpUntil([&] { return session.PopupPosition(x, y); }, 10000)) {
    return Fail("no popup menu");
  }
  Paint(session);
  if (!session.GrabScreen(dir + "/3-popup.png")) return Fail("cannot grab the screen");
  if (!session.ChoosePopupItem("Изменить")) return Fail("no such line");
  std::string chosen = std::string(demo::kChosenPrefix) + "Изменить";
  bool arrived = session.PumpUntil([&] { return session.HasLabelStartingWith(title, chosen); },
                                   10000);
  Paint(session);
  if (!session.GrabScreen(dir + "/4-chosen.png")) return Fail("cannot grab the screen");
  session.TriggerMenuItem(demo::kExitItem);
  session.PumpUntil([&] { return session.MainEnded(); }, 10000);
  return arrived ? 0 : Fail("the choice did not arrive");
}

}  // namespace

int main(int argc, char** argv) {
  QtSession session(argc, argv);
  if (argc == 4 && std::strcmp(argv[1], "--flow") == 0) {
    return PlayFlow(session, argv[2], argv[3]);
  }
  if (argc == 3 && std::strcmp(argv[1], "--shoot") == 0) return PlayShoot(session, argv[2]);
  return session.Run(demo::DemoMain);
}
