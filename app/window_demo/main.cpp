// window_demo: the window engine on the Qt screen.
//
//   window_demo                       the frame; use its menu
//   window_demo --flow ASKED.png ANSWERED.png
//       plays the demonstration by itself: opens a child window, presses
//       its button, saves a picture of the screen with the question up,
//       answers Yes, saves a second picture, and quits; exit code 0 when
//       the answer reached the child's thread.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/window_demo/demo_procedures.h"
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

}  // namespace

int main(int argc, char** argv) {
  QtSession session(argc, argv);
  if (argc == 4 && std::strcmp(argv[1], "--flow") == 0) {
    return PlayFlow(session, argv[2], argv[3]);
  }
  return session.Run(demo::DemoMain);
}
