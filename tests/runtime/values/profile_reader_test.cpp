#include "runtime/values/profile_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace zuna::values {
namespace {

constexpr std::string_view kProfile =
    "top=ignored\r\n"
    "; a comment\r\n"
    "[Main]\r\n"
    "  Name  =  Zuna Register  \r\n"
    "Empty=\r\n"
    "NoEquals\r\n"
    "  ;key=commented\r\n"
    "Equation=a=b\r\n"
    "[ Other ]\n"
    "Name=other\n"
    "[main]\n"
    "Name=second main\n"
    "Late=found\n"
    "[Last]\n"
    "Tail=no newline";

TEST(EvalProfileReaderTest, FindsValuesBySectionAndKey) {
  struct Row {
    const char* section;
    const char* key;
    const char* expected;  // nullptr: not found
  } rows[] = {
      {"Main", "Name", "Zuna Register"},
      {"MAIN", "name", "Zuna Register"},  // the first match wins
      {"Main", "Empty", ""},
      {"Main", "Equation", "a=b"},
      {"Main", "Late", "found"},  // a later [main] section
      {"Other", "Name", "other"},
      {" other ", " NAME ", "other"},
      {"Last", "Tail", "no newline"},
      {"Main", "NoEquals", nullptr},
      {"Main", ";key", nullptr},
      {"", "top", nullptr},
      {"Missing", "Name", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.section) + "/" + row.key);
    const auto value = FindProfileString(kProfile, row.section, row.key);
    if (row.expected == nullptr) {
      EXPECT_FALSE(value.has_value());
    } else {
      ASSERT_TRUE(value.has_value());
      EXPECT_EQ(*value, row.expected);
    }
  }
}

TEST(EvalProfileReaderTest, LongValuesAreCut) {
  const std::string text = "[s]\nk=" + std::string(5000, 'v') + "\n";
  EXPECT_EQ(FindProfileString(text, "s", "k")->size(), kMaxProfileValue);
}

TEST(EvalProfileReaderTest, ReadsOnlyRegularFiles) {
  const std::string path = ::testing::TempDir() + "profile_reader_test.ini";
  {
    std::ofstream file(path, std::ios::binary);
    file << kProfile;
  }
  EXPECT_EQ(ReadProfileString(path, "main", "name").value_or("?"),
            "Zuna Register");
  std::remove(path.c_str());
  EXPECT_FALSE(ReadProfileString(path, "main", "name").has_value());
  EXPECT_FALSE(ReadProfileString("/", "main", "name").has_value());
  EXPECT_FALSE(ReadProfileString("/dev/zero", "main", "name").has_value());
  EXPECT_FALSE(ReadProfileString("", "main", "name").has_value());
}

}  // namespace
}  // namespace zuna::values
