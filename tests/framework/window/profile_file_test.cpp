#include "framework/window/profile_file.h"

#include <dirent.h>
#include <sys/stat.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include <string>
#include <thread>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"

namespace zuna::framework {
namespace {

using testing::ReadFileBytes;
using testing::WriteFileBytes;

std::vector<std::string> DirectoryEntries(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(path.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  return names;
}

ProfileEdit Set(std::string section, std::string name, std::string value) {
  return {std::move(section), std::move(name), std::move(value)};
}
ProfileEdit Unset(std::string section, std::string name) {
  return {std::move(section), std::move(name), std::nullopt};
}

// Another program's settings, with comments, odd spacing and a section of
// ours in two pieces.
const std::string kForeign =
    "; written by another program\n"
    "[Other]\n"
    "  Colour = blue ; not a comment here\n"
    "\n"
    "[Zuna]\n"
    "Width = 10\n"
    "; keep me\n"
    "[other2]\n"
    "x=1\n"
    "[ZUNA]\n"
    "Height=20\n";

TEST(EditProfileTextTest, EditsTouchOnlyTheirOwnLines) {
  struct Row {
    const char* what;
    ProfileEdit edit;
    std::string expected;
  };
  const Row rows[] = {
      {"change keeps the name and the blanks after '='",
       Set("zuna", "WIDTH", "11"),
       "; written by another program\n[Other]\n"
       "  Colour = blue ; not a comment here\n\n[Zuna]\nWidth = 11\n"
       "; keep me\n[other2]\nx=1\n[ZUNA]\nHeight=20\n"},
      {"an entry of the second piece is found and changed there",
       Set("Zuna", "height", "21"),
       "; written by another program\n[Other]\n"
       "  Colour = blue ; not a comment here\n\n[Zuna]\nWidth = 10\n"
       "; keep me\n[other2]\nx=1\n[ZUNA]\nHeight=21\n"},
      {"a new entry follows the last entry of the first piece",
       Set("Zuna", "Left", "5"),
       "; written by another program\n[Other]\n"
       "  Colour = blue ; not a comment here\n\n[Zuna]\nWidth = 10\n"
       "Left=5\n; keep me\n[other2]\nx=1\n[ZUNA]\nHeight=20\n"},
      {"a new section goes at the end",
       Set("__Dont_Touch_Me__", "Sectors", "0"),
       kForeign + "[__Dont_Touch_Me__]\nSectors=0\n"},
      {"removal", Unset("ZUNA", "width"),
       "; written by another program\n[Other]\n"
       "  Colour = blue ; not a comment here\n\n[Zuna]\n"
       "; keep me\n[other2]\nx=1\n[ZUNA]\nHeight=20\n"},
      {"removing what is not there changes nothing", Unset("Zuna", "Colour"),
       kForeign},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const auto edited = EditProfileText(kForeign, {row.edit});
    ASSERT_TRUE(edited.has_value());
    EXPECT_EQ(*edited, row.expected);
  }
}

TEST(EditProfileTextTest, KeepsCrLfFilesCrLf) {
  const std::string text = "[A]\r\nx=1\r\n[B]\r\ny=2";
  EXPECT_EQ(EditProfileText(text, {Set("A", "z", "3")}),
            "[A]\r\nx=1\r\nz=3\r\n[B]\r\ny=2");
  EXPECT_EQ(EditProfileText(text, {Set("B", "w", "4")}),
            "[A]\r\nx=1\r\n[B]\r\ny=2\r\nw=4\r\n");
  EXPECT_EQ(EditProfileText(text, {Set("C", "v", "5")}),
            "[A]\r\nx=1\r\n[B]\r\ny=2\r\n[C]\r\nv=5\r\n");
  EXPECT_EQ(EditProfileText("", {Set("C", "v", "5")}), "[C]\nv=5\n");
}

TEST(EditProfileTextTest, RemovesEveryDuplicate) {
  const std::string text = "[A]\nx=1\nx=2\n[B]\nx=3\n[a]\nX=4\n";
  EXPECT_EQ(EditProfileText(text, {Unset("A", "x")}), "[A]\n[B]\nx=3\n[a]\n");
}

TEST(EditProfileTextTest, RefusesWhatCouldNotBeReadBack) {
  const ProfileEdit refused[] = {
      Set("A", "", "v"),      Set("A", "a=b", "v"), Set("", "n", "v"),
      Set("A]", "n", "v"),    Set("A", "n\nm", "v"), Set("A", ";n", "v"),
      Set("A\r", "n", "v"),
  };
  for (const ProfileEdit& edit : refused) {
    SCOPED_TRACE(edit.section + "/" + edit.name);
    EXPECT_FALSE(EditProfileText("[A]\n", {edit}).has_value());
  }
  EXPECT_EQ(EditProfileText("", {Set("A", "n", "two\r\nlines")}),
            "[A]\nn=two  lines\n");
}

class ProfileFileTest : public ::testing::Test {
 protected:
  std::string Path() const { return dir_.File("Zuna.INI"); }
  testing::TempDir dir_;
};

TEST_F(ProfileFileTest, WritingKeepsForeignBytesAndLeavesNoTemporaries) {
  WriteFileBytes(Path(), kForeign);
  ::chmod(Path().c_str(), 0640);
  ASSERT_TRUE(WriteProfileString(Path(), "Zuna", "Left", "5"));
  EXPECT_EQ(GetProfileString(Path(), "ZUNA", "left"), "5");
  ASSERT_TRUE(DeleteProfileString(Path(), "Zuna", "Left"));
  EXPECT_EQ(ReadFileBytes(Path()), kForeign);
  EXPECT_EQ(DirectoryEntries(dir_.path()),
            std::vector<std::string>{"Zuna.INI"});
  struct stat info {};
  ASSERT_EQ(::stat(Path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(ProfileFileTest, MissingFiles) {
  EXPECT_EQ(GetProfileString(Path(), "A", "b"), std::nullopt);
  EXPECT_TRUE(DeleteProfileString(Path(), "A", "b"));
  EXPECT_TRUE(DirectoryEntries(dir_.path()).empty());
  EXPECT_FALSE(WriteProfileString(dir_.File("no/such/dir.ini"), "A", "b", "c"));
  ASSERT_TRUE(WriteProfileString(Path(), "A", "b", "c"));
  EXPECT_EQ(ReadFileBytes(Path()), "[A]\nb=c\n");
}

TEST_F(ProfileFileTest, ReadsAreCutAt1024) {
  ASSERT_TRUE(WriteProfileString(Path(), "A", "long", std::string(2000, 'v')));
  EXPECT_EQ(GetProfileString(Path(), "A", "long"), std::string(1024, 'v'));
}

TEST_F(ProfileFileTest, ConcurrentWritersLoseNothing) {
  WriteFileBytes(Path(), "; foreign\n");
  constexpr int kWriters = 4;
  constexpr int kEach = 25;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([this, w] {
      for (int i = 0; i < kEach; ++i) {
        EXPECT_TRUE(WriteProfileString(Path(), "S" + std::to_string(w),
                                       "k" + std::to_string(i), "v"));
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kEach; ++i) {
      EXPECT_EQ(GetProfileString(Path(), "S" + std::to_string(w),
                                 "k" + std::to_string(i)),
                "v");
    }
  }
  EXPECT_EQ(ReadFileBytes(Path()).rfind("; foreign\n", 0), 0u);
  EXPECT_EQ(DirectoryEntries(dir_.path()).size(), 1u);
}

TEST_F(ProfileFileTest, BareNamesLiveInTheUsersSettingsDirectory) {
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string restore = saved != nullptr ? saved : "";
  ::setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
  const std::string settings = dir_.path() + "/Zuna/Settings.INI";
  EXPECT_EQ(ResolveProfilePath("Settings.INI"), settings);
  EXPECT_EQ(ResolveProfilePath(Path()), Path());
  // The first setting makes the directory.
  EXPECT_TRUE(WriteProfileString(ResolveProfilePath("Settings.INI"), "Main", "Name", "Zuna"));
  EXPECT_EQ(GetProfileString(settings, "main", "NAME"), "Zuna");
  if (saved != nullptr) {
    ::setenv("XDG_CONFIG_HOME", restore.c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
}

}  // namespace
}  // namespace zuna::framework
