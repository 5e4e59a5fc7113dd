#include "runtime/values/error_state.h"

#include <gtest/gtest.h>

#include <thread>

#include "runtime/values/runtime_messages.h"

namespace zuna::values {
namespace {

TEST(ErrorStateTest, PostErrorSetsCodeAndTheRuntimeText) {
  PostError(1012);
  EXPECT_EQ(ERRORCODE(), 1012);
  EXPECT_EQ(ERROR(), "Mismatched PUSHBIND/POPBIND");
  EXPECT_EQ(FILEERRORCODE(), "");
  EXPECT_EQ(FILEERROR(), "");
}

TEST(ErrorStateTest, ExtraTextFollowsAfterOneBlank) {
  PostError(1010, "at pos 7");
  EXPECT_EQ(ERROR(), "Invalid expression for EVALUATE at pos 7");
}

TEST(ErrorStateTest, FileErrorKeepsTheDriversOwnTextUntilTheNextPost) {
  PostFileError(5, "13", "Permission denied");
  EXPECT_EQ(ERRORCODE(), 5);
  EXPECT_EQ(ERROR(), "Access Denied");
  EXPECT_EQ(FILEERRORCODE(), "13");
  EXPECT_EQ(FILEERROR(), "Permission denied");
  PostError(35);
  EXPECT_EQ(FILEERRORCODE(), "");
  EXPECT_EQ(FILEERROR(), "");
  ClearError();
  EXPECT_EQ(ERRORCODE(), 0);
  EXPECT_EQ(ERROR(), "");
}

TEST(ErrorStateTest, UnknownNumbersStillGetAText) {
  EXPECT_EQ(DefaultRuntimeMessage(9999), "");
  EXPECT_EQ(RuntimeMessage(9999), "Error 9999");
}

TEST(ErrorStateTest, EachThreadHasItsOwnState) {
  PostError(1013);
  int32_t other_code = -1;
  std::string other_text = "unset";
  std::thread([&] {
    other_code = ERRORCODE();
    other_text = ERROR();
    PostError(1015);
  }).join();
  EXPECT_EQ(other_code, 0);
  EXPECT_EQ(other_text, "");
  EXPECT_EQ(ERRORCODE(), 1013);
}

}  // namespace
}  // namespace zuna::values
