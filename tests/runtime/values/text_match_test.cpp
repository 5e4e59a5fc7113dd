#include "runtime/values/text_match.h"

#include <gtest/gtest.h>

#include <string>

namespace zuna::values {
namespace {

TEST(ExprTextMatchTest, Wildcards) {
  struct Row {
    const char* text;
    const char* pattern;
    bool no_case;
    bool expected;
  } rows[] = {
      {"Hello", "Hello", false, true},
      {"Hello", "H*", false, true},
      {"Hello", "*llo", false, true},
      {"Hello", "H?l*o", false, true},
      {"Hello", "h*", false, false},
      {"Hello", "h*", true, true},
      {"Hello", "*", false, true},
      {"", "*", false, true},
      {"", "", false, true},
      {"a", "", false, false},
      {"abc", "a*b*c*", false, true},
      {"abc", "a*d", false, false},
      {"aaaa", "*a*a*a*a*a", false, false},
      {"mississippi", "m*iss*ppi", false, true},
      {"abc", "???", false, true},
      {"abc", "????", false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.text) + " ~ " + row.pattern);
    EXPECT_EQ(WildcardMatch(row.text, row.pattern, row.no_case), row.expected);
  }
}

TEST(ExprTextMatchTest, RegularExpressionsFindTheLeftmostMatch) {
  struct Row {
    const char* text;
    const char* pattern;
    int expected;  // offset, -1 for no match
  } rows[] = {
      {"xxabcab", "ab+c", 2},
      {"abc", "^b", -1},
      {"abc", "c$", 2},
      {"abc", "^abc$", 0},
      {"abc", "", 0},
      {"", "a*", 0},
      {"", "a", -1},
      {"aaab", "a*b", 0},
      {"xb", "a*b", 1},
      {"cat dog", "dog|cat", 0},
      {"a dog", "cat|dog", 2},
      {"x1y", "[0-9]", 1},
      {"abc", "[^a]", 1},
      {"a]b", "[]]", 1},
      {"a.b", "\\.", 1},
      {"a-b", "[a-]+", 0},
      {"ab", "a?b", 0},
      {"b", "a?b", 0},
      {"abab", "(ab)+$", 0},
      {"xyz", "(a|)z", 2},
      {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa!",
       "(a*)*b", -1},
      {"aaaa", "(a|aa)*$", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.text) + " ~ " + row.pattern);
    const auto regex = Regex::Compile(row.pattern, false);
    ASSERT_TRUE(regex.has_value());
    const auto found = regex->Search(row.text);
    EXPECT_EQ(found ? static_cast<int>(*found) : -1, row.expected);
  }
  const auto no_case = Regex::Compile("B[A-C]", true);
  ASSERT_TRUE(no_case);
  EXPECT_EQ(no_case->Search("abc").value_or(99), 1u);
}

TEST(ExprTextMatchTest, InvalidPatternsAreRefused) {
  for (const char* bad : {"(", "a)", "[abc", "*a", "a|*", "\\", "+", "(((a)"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(Regex::Compile(bad, false).has_value());
  }
  EXPECT_FALSE(Regex::Compile(std::string(kMaxRegexPattern + 1, 'a'), false));
  EXPECT_TRUE(Regex::Compile(std::string(kMaxRegexPattern, 'a'), false));
  // The deepest nesting the length limit allows compiles and runs.
  const std::string deep = std::string(kMaxRegexPattern / 2, '(') +
                           std::string(kMaxRegexPattern / 2, ')');
  const auto regex = Regex::Compile(deep, false);
  ASSERT_TRUE(regex);
  EXPECT_EQ(regex->Search("x").value_or(99), 0u);
}

TEST(ExprTextMatchTest, LongTextsRunInLinearTime) {
  const std::string text(200000, 'a');
  const auto regex = Regex::Compile("(a|aa)*(a*)*b", false);
  ASSERT_TRUE(regex);
  EXPECT_FALSE(regex->Search(text).has_value());
  EXPECT_FALSE(WildcardMatch(text, "*a*a*a*a*b", false));
}

TEST(ExprTextMatchTest, Soundex) {
  struct Row {
    const char* text;
    const char* code;
  } rows[] = {
      {"Robert", "R163"},  {"Rupert", "R163"},
      {"Rubin", "R150"},   {"Ashcraft", "A261"},
      {"Tymczak", "T522"}, {"Pfister", "P236"},
      {"Lee", "L000"},     {"", ""},
      {"123", ""},         {"o'Hara", "O600"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(Soundex(row.text), row.code);
  }
}

}  // namespace
}  // namespace zuna::values
