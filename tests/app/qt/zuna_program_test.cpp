// The zuna program as a process: it makes its register where it is told,
// closes in order on SIGTERM and SIGHUP with exit code 0, and refuses
// arguments it does not understand.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace zuna {
namespace {

using Clock = std::chrono::steady_clock;
using zuna::testing::ChildProcess;

std::string Zuna() { return std::string(ZUNA_BIN_DIR) + "/zuna"; }

class ZunaProgram : public ::testing::Test {
 protected:
  ZunaProgram() {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("XDG_CONFIG_HOME", dir_.File("config").c_str(), 1);
  }

  // True once the register's data file stands in `directory`.
  static bool RegisterMade(const std::string& directory) {
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
      if (std::filesystem::exists(directory + "/ZUN.DAT")) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  zuna::testing::TempDir dir_;
};

TEST_F(ZunaProgram, MakesItsRegisterAndClosesInOrderOnStopSignals) {
  for (int stop : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(stop);
    const std::string directory = dir_.File("register" + std::to_string(stop));
    ChildProcess zuna(Zuna(), {directory});
    ASSERT_TRUE(RegisterMade(directory));
    const auto sent = Clock::now();
    ASSERT_EQ(::kill(zuna.pid(), stop), 0);
    EXPECT_EQ(zuna.Wait(std::chrono::seconds(5)), 0);
    EXPECT_LT(Clock::now() - sent, std::chrono::seconds(2));
    EXPECT_TRUE(std::filesystem::exists(directory + "/ZUN.K01"));
  }
}

TEST_F(ZunaProgram, RefusesArgumentsItDoesNotUnderstand) {
  for (std::vector<std::string> args : {std::vector<std::string>{"--frobnicate"},
                                        {"--today", "20230231"},
                                        {dir_.File("a"), dir_.File("b")}}) {
    ChildProcess zuna(Zuna(), args);
    EXPECT_EQ(zuna.Wait(std::chrono::seconds(10)), 1) << args[0];
  }
}

}  // namespace
}  // namespace zuna
