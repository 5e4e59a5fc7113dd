#include "runtime/values/code_page.h"

#include <gtest/gtest.h>

namespace zuna::values {
namespace {

TEST(CodePageTest, Placeholder) { EXPECT_EQ(Cp1251ToUtf8("A"), "A"); }

}  // namespace
}  // namespace zuna::values
