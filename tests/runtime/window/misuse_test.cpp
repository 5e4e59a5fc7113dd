// The engine's misuse errors: each rule, its number and its text.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "runtime/values/error_state.h"
#include "runtime/window/engine.h"
#include "runtime/window/headless.h"
#include "tests/runtime/window/window_fixtures.h"

namespace zuna::window {
namespace {

using testing::ChildDefinition;
using testing::FrameDefinition;

#define EXPECT_RUNTIME_ERROR(code, text)    \
  do {                                      \
    EXPECT_EQ(values::ERRORCODE(), code);   \
    EXPECT_EQ(values::ERROR(), text);       \
  } while (0)

// Runs `body` on a thread of its own (START) and waits for it.
template <typename Body>
void OnOwnThread(HeadlessEngine& screen, Body body) {
  START(body);
  ASSERT_TRUE(screen.Finish());
}

class Misuse : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(screen_.engine().AttachMainThread()); }
  HeadlessEngine screen_;
};

TEST_F(Misuse, OnlyOneApplicationFrame) {
  Window frame(FrameDefinition());
  ASSERT_TRUE(frame.Open());
  EXPECT_EQ(values::ERRORCODE(), 0);
  Window second(FrameDefinition());
  EXPECT_FALSE(second.Open());
  EXPECT_RUNTIME_ERROR(526, "Unable to open APPLICATION (APPLICATION already active)");
  EXPECT_FALSE(second.IsOpen());
}

TEST_F(Misuse, ApplicationWhileAnotherThreadIsModal) {
  std::atomic<bool> opened{false};
  std::atomic<bool> done{false};
  START([&] {
    Window modal(ChildDefinition(WindowKind::kModal));
    ASSERT_TRUE(modal.Open());
    opened = true;
    while (!done) std::this_thread::yield();
  });
  while (!opened) std::this_thread::yield();
  Window frame(FrameDefinition());
  EXPECT_FALSE(frame.Open());
  EXPECT_RUNTIME_ERROR(527, "Unable to open APPLICATION (system is MODAL)");
  done = true;
  ASSERT_TRUE(screen_.Finish());
}

TEST_F(Misuse, ScreenRefusals) {
  screen_.backend().FailNextRealize(1);
  Window frame(FrameDefinition());
  EXPECT_FALSE(frame.Open());
  EXPECT_RUNTIME_ERROR(528, "Unable to open APPLICATION");

  screen_.backend().FailNextRealize(1);
  Window modal(ChildDefinition(WindowKind::kModal));
  EXPECT_FALSE(modal.Open());
  EXPECT_RUNTIME_ERROR(529, "Unable to open WINDOW");

  ASSERT_TRUE(frame.Open());
  OnOwnThread(screen_, [&] {
    screen_.backend().FailNextRealize(1);
    Window child(ChildDefinition());
    EXPECT_FALSE(child.Open());
    EXPECT_RUNTIME_ERROR(533, "Unable to open MDI WINDOW");
  });
}

TEST_F(Misuse, MdiChildNeedsTheFrameAndAThreadOfItsOwn) {
  OnOwnThread(screen_, [] {
    Window child(ChildDefinition());
    EXPECT_FALSE(child.Open());
    EXPECT_RUNTIME_ERROR(530, "Unable to open MDI window (No APPLICATION active)");
  });
  Window frame(FrameDefinition());
  ASSERT_TRUE(frame.Open());
  Window child(ChildDefinition());
  EXPECT_FALSE(child.Open());
  EXPECT_RUNTIME_ERROR(532, "Unable to open MDI window on APPLICATION's thread");
  OnOwnThread(screen_, [] {
    Window child(ChildDefinition());
    EXPECT_TRUE(child.Open());
  });
}

TEST_F(Misuse, MdiChildWhileAnotherThreadIsModal) {
  Window frame(FrameDefinition());
  ASSERT_TRUE(frame.Open());
  Window modal(ChildDefinition(WindowKind::kModal));
  ASSERT_TRUE(modal.Open());
  OnOwnThread(screen_, [] {
    Window child(ChildDefinition());
    EXPECT_FALSE(child.Open());
    EXPECT_RUNTIME_ERROR(531, "Unable to open MDI window (system is MODAL)");
  });
  // The modal window's own thread is not blocked by it.
  EXPECT_NE(modal.CreateControl(ControlDefinition{.type = ControlType::Button}), 0);
  OnOwnThread(screen_, [&] {
    // Creating controls or moving the focus from another thread is refused.
    EXPECT_EQ(modal.CreateControl(ControlDefinition{.type = ControlType::Button}), 0);
    EXPECT_RUNTIME_ERROR(545, "Attempt to execute a modal event for not current thread");
  });
}

TEST_F(Misuse, ControlsAndFocusWhileAnotherThreadIsModal) {
  Window frame(FrameDefinition());
  ASSERT_TRUE(frame.Open());
  std::atomic<int32_t> stage{0};
  START([&] {
    Window child(ChildDefinition());
    ASSERT_TRUE(child.Open());
    stage = 1;
    while (stage != 2) std::this_thread::yield();
    EXPECT_EQ(child.CreateControl(ControlDefinition{.type = ControlType::Button}), 0);
    EXPECT_RUNTIME_ERROR(541, "Unable to create control (system is MODAL)");
    child.Select(8);
    EXPECT_RUNTIME_ERROR(542, "Unable to complete operation (system is MODAL)");
    EXPECT_EQ(POPUP("a|b"), 0);
    EXPECT_RUNTIME_ERROR(542, "Unable to complete operation (system is MODAL)");
    stage = 3;
  });
  while (stage != 1) std::this_thread::yield();
  Window modal(ChildDefinition(WindowKind::kModal));
  ASSERT_TRUE(modal.Open());
  stage = 2;
  ASSERT_TRUE(screen_.Finish());
  EXPECT_EQ(stage, 3);
}

TEST_F(Misuse, OpenTwiceAndUseWhenClosed) {
  Window window(ChildDefinition(WindowKind::kModal));
  ASSERT_TRUE(window.Open());
  EXPECT_FALSE(window.Open());
  EXPECT_RUNTIME_ERROR(535, "Window is already open");
  window.Close();
  values::ClearError();
  window.Close();
  EXPECT_RUNTIME_ERROR(536, "Window is not open");
  values::ClearError();
  window.Display();
  EXPECT_RUNTIME_ERROR(536, "Window is not open");
}

TEST_F(Misuse, AcceptRules) {
  Window window(ChildDefinition(WindowKind::kModal));
  EXPECT_FALSE(ACCEPT(window));
  EXPECT_RUNTIME_ERROR(537, "ACCEPT loop requires a window");

  ASSERT_TRUE(window.Open());
  Window never_opened(ChildDefinition(WindowKind::kModal));
  EXPECT_FALSE(ACCEPT(never_opened));
  EXPECT_RUNTIME_ERROR(536, "Window is not open");

  Window above(ChildDefinition(WindowKind::kModal));
  ASSERT_TRUE(above.Open());
  EXPECT_FALSE(ACCEPT(window));
  EXPECT_RUNTIME_ERROR(540, "Unable to process ACCEPT (system is MODAL)");

  OnOwnThread(screen_, [&] {
    EXPECT_FALSE(ACCEPT(above));
    EXPECT_RUNTIME_ERROR(545, "Attempt to execute a modal event for not current thread");
    values::ClearError();
    above.Close();
    EXPECT_RUNTIME_ERROR(545, "Attempt to execute a modal event for not current thread");
  });
  EXPECT_TRUE(above.IsOpen());
}

}  // namespace
}  // namespace zuna::window
