// GoogleTest assertions on datfile::Status that print the Status (number and
// detail) when they fail, so a failing test says which file and why.
//
//   ASSERT_OK(file->Sync());
//   EXPECT_OK(fs.Remove(name));
//   EXPECT_STATUS_CODE(fs.Open(name, options, &file), 2);
//
// Test code inside namespace zuna should spell GoogleTest's namespace
// ::testing: zuna::testing (the doubles' namespace) hides it there.
#ifndef ZUNA_TESTS_SUPPORT_STATUS_MATCHERS_H_
#define ZUNA_TESTS_SUPPORT_STATUS_MATCHERS_H_

#include <gtest/gtest.h>

#include <cstdint>

#include "runtime/datfile/status.h"

namespace zuna::testing {

inline ::testing::AssertionResult StatusIsOk(const char* expression,
                                             const datfile::Status& status) {
  if (status.ok()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << expression << " failed with " << status.ToString();
}

inline ::testing::AssertionResult StatusHasCode(const char* expression,
                                                const char* code_expression,
                                                const datfile::Status& status,
                                                int32_t code) {
  if (status.code() == code) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << expression << " gave " << status.ToString() << ", expected "
         << code_expression << " (" << code << ")";
}

}  // namespace zuna::testing

#define ASSERT_OK(expr) ASSERT_PRED_FORMAT1(::zuna::testing::StatusIsOk, expr)
#define EXPECT_OK(expr) EXPECT_PRED_FORMAT1(::zuna::testing::StatusIsOk, expr)
#define EXPECT_STATUS_CODE(expr, code) \
  EXPECT_PRED_FORMAT2(::zuna::testing::StatusHasCode, expr, code)
#define ASSERT_STATUS_CODE(expr, code) \
  ASSERT_PRED_FORMAT2(::zuna::testing::StatusHasCode, expr, code)

#endif  // ZUNA_TESTS_SUPPORT_STATUS_MATCHERS_H_
