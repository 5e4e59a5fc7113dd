#include "framework/data/framework_host.h"

#include <gtest/gtest.h>

#include <thread>

#include "framework/data/error_manager.h"

namespace zuna::framework {
namespace {

// The real stop, in a child process: the program must end with a failure
// code, never 0, so scripts and the system see that it did not end well.
TEST(FrameworkHostDeathTest, FatalStopEndsTheProgramWithAFailureCode) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(FatalStop("gone"), ::testing::ExitedWithCode(kFatalStopExitCode),
              "Program stopped: gone");
}

TEST(FrameworkHostDeathTest, FatalMessagesStopThroughTheDefaultHost) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ErrorStatusClass status;
        ErrorClass errors;
        errors.Init(status);
        errors.SetFile("ZUN");
        errors.TakeError(Msg::OpenFailed);
      },
      ::testing::ExitedWithCode(kFatalStopExitCode),
      "Press OK to end this application");
}

TEST(FrameworkHostTest, DefaultHostAnswersTheDefaultButton) {
  StderrHost host;
  MessageBoxRequest request;
  request.caption = "caption";
  request.text = "text";
  request.buttons = Button::Yes | Button::No;
  request.default_button = Button::No;
  EXPECT_EQ(host.MessageBox(request), Button::No);
}

TEST(FrameworkHostTest, ThreadsHaveTheirOwnNumbers) {
  const int32_t mine = CurrentThreadNumber();
  EXPECT_EQ(CurrentThreadNumber(), mine);
  int32_t other = 0;
  std::thread([&] { other = CurrentThreadNumber(); }).join();
  EXPECT_NE(other, mine);
  EXPECT_GT(other, 0);
}

}  // namespace
}  // namespace zuna::framework
