#include "runtime/datfile/file_names.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "tests/support/status_matchers.h"

namespace zuna::testing {
namespace {

namespace Err = datfile::Err;

TEST(FileNameTest, DataFileNameTakesDatWhenTheNameHasNoExtension) {
  struct Case {
    const char* name;
    const char* expected;
  };
  const Case cases[] = {
      {"/srv/reg/ZUN", "/srv/reg/ZUN.DAT"},
      {"/srv/reg/ZUN.dat", "/srv/reg/ZUN.dat"},
      {"/srv/reg/ZUN.OLD", "/srv/reg/ZUN.OLD"},
      {"/srv/reg.v2/ZUN", "/srv/reg.v2/ZUN.DAT"},  // a dot in a directory
      {"/srv/reg/ZUN.", "/srv/reg/ZUN."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path;
    ASSERT_OK(datfile::DataFileName(c.name, &path));
    EXPECT_EQ(path, c.expected);
  }
}

TEST(FileNameTest, RelativeNamesAreMadeFull) {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  std::string path;
  ASSERT_OK(datfile::DataFileName("ZUN", &path));
  EXPECT_EQ(path, std::string(cwd) + "/ZUN.DAT");
}

TEST(FileNameTest, InvalidNamesGive45) {
  std::string path;
  EXPECT_STATUS_CODE(datfile::DataFileName("", &path), Err::kInvalidFilename);
  EXPECT_STATUS_CODE(datfile::DataFileName("/srv/reg/", &path), Err::kInvalidFilename);
  EXPECT_STATUS_CODE(datfile::DataFileName(std::string("ZU\0N", 4), &path),
                     Err::kInvalidFilename);
}

TEST(FileNameTest, CompanionsReplaceTheExtension) {
  EXPECT_EQ(datfile::CompanionFileName("/srv/reg/ZUN.DAT", datfile::kMemoExtension),
            "/srv/reg/ZUN.MEM");
  EXPECT_EQ(datfile::CompanionFileName("/srv/reg/ZUN.dat", datfile::kLogExtension),
            "/srv/reg/ZUN.LOG");
  EXPECT_EQ(datfile::CompanionFileName("/srv/reg.v2/ZUN", datfile::kBuildReportExtension),
            "/srv/reg.v2/ZUN.BLD");
  EXPECT_EQ(datfile::CompanionFileName("/a/ZUN.DAT", datfile::kPackDataExtension), "/a/ZUN.T00");
  EXPECT_EQ(datfile::CompanionFileName("/a/ZUN.DAT", datfile::kPackMemoExtension), "/a/ZUN.M00");
  std::string path;
  ASSERT_OK(datfile::BuildFileName("/a/ZUN.DAT", ".MEM", true, &path));
  EXPECT_EQ(path, "/a/ZUN.MEM");
}

TEST(FileNameTest, KeyFilesCountInBase36) {
  struct Case {
    uint32_t number;
    bool index;
    const char* expected;
  };
  const Case cases[] = {
      {1, false, "/a/ZUN.K01"},  {2, false, "/a/ZUN.K02"},
      {10, false, "/a/ZUN.K0A"}, {35, false, "/a/ZUN.K0Z"},
      {36, false, "/a/ZUN.K10"}, {37, false, "/a/ZUN.K11"},
      {1, true, "/a/ZUN.I01"},   {1295, false, "/a/ZUN.KZZ"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    std::string path;
    ASSERT_OK(datfile::KeyFileName("/a/ZUN.DAT", c.number, c.index, &path));
    EXPECT_EQ(path, c.expected);
  }
  std::string path;
  EXPECT_STATUS_CODE(datfile::KeyFileName("/a/ZUN.DAT", 0, false, &path),
                     Err::kInvalidFilename);
  EXPECT_STATUS_CODE(datfile::KeyFileName("/a/ZUN.DAT", 1296, false, &path),
                     Err::kInvalidFilename);
}

}  // namespace
}  // namespace zuna::testing
