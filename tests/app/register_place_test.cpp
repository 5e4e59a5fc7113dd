// Where the program looks for the register: the command line first, then
// the settings file, then the user's data directory; a missing directory is
// made, a file in its place refused.
#include "app/register_place.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/temp_dir.h"

namespace zuna::app {
namespace {

class RegisterPlaceTest : public ::testing::Test {
 protected:
  RegisterPlaceTest() {
    if (const char* home = std::getenv("HOME")) home_ = home;
    ::setenv("XDG_CONFIG_HOME", dir_.File("config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", dir_.File("data").c_str(), 1);
    settings_.Init("Zuna.INI", 0, 0);
  }
  ~RegisterPlaceTest() override {
    settings_.Kill();
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_DATA_HOME");
    if (!home_.empty()) ::setenv("HOME", home_.c_str(), 1);
  }

  std::string home_;
  zuna::testing::TempDir dir_;
  framework::INIClass settings_;
};

TEST_F(RegisterPlaceTest, TheFirstPlaceNamedWinsAndIsMade) {
  std::string error;
  // Nothing named: the user's data directory, made on the way.
  EXPECT_EQ(RegisterDirectory(std::nullopt, settings_, &error), dir_.File("data/Zuna"));
  EXPECT_TRUE(std::filesystem::is_directory(dir_.File("data/Zuna")));
  // The settings file names one (blanks around it do not count).
  settings_.Update(kRegisterSection, kRegisterDirectoryEntry, "  " + dir_.File("shared") + " ");
  EXPECT_EQ(RegisterDirectory(std::nullopt, settings_, &error), dir_.File("shared"));
  // The command line beats both.
  EXPECT_EQ(RegisterDirectory(dir_.File("office/a/b/"), settings_, &error),
            dir_.File("office/a/b/"));
  EXPECT_TRUE(std::filesystem::is_directory(dir_.File("office/a/b")));
  EXPECT_EQ(error, "");
}

TEST_F(RegisterPlaceTest, AFileInThePlaceOfTheDirectoryIsRefused) {
  std::ofstream(dir_.File("plain")) << "not a directory";
  std::string error;
  EXPECT_EQ(RegisterDirectory(dir_.File("plain"), settings_, &error), std::nullopt);
  EXPECT_NE(error.find("plain"), std::string::npos) << error;
  ::unsetenv("XDG_DATA_HOME");
  ::unsetenv("HOME");
  error.clear();
  EXPECT_EQ(RegisterDirectory(std::nullopt, settings_, &error), std::nullopt);
  EXPECT_NE(error.find("XDG_DATA_HOME"), std::string::npos) << error;
}

}  // namespace
}  // namespace zuna::app
