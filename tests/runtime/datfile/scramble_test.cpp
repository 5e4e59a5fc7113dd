#include "runtime/datfile/scramble.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/values/code_page.h"
#include "tests/runtime/datfile/dat_test_util.h"

namespace zuna::testing {
namespace {

using datfile::OwnerKey;
using datfile::Scramble;

// Pinned values of the documented function (derived with an independent
// implementation of scramble.h's description): files written by one build
// must open with the next.
TEST(ScrambleTest, PinnedKeysAndWords) {
  EXPECT_EQ(OwnerKey(values::W("Секрет")), 0x4f2a);
  EXPECT_EQ(OwnerKey(""), 0x1cd9);
  EXPECT_EQ(OwnerKey("owner"), 0xb9b3);

  std::string bytes = "ABCDEFG";
  Scramble(0x1234, bytes);
  EXPECT_EQ(ToHex(bytes), "58 74 2c 3f 91 98 47") << "the odd last byte stays plain";

  std::string zeros(8, '\0');
  Scramble(0x4f2a, zeros);
  EXPECT_EQ(ToHex(zeros), "6b fd 8f 2d 9b 0f 77 28");
}

TEST(ScrambleTest, TwiceIsIdentity) {
  for (size_t size : {0, 1, 2, 3, 27, 81, 252}) {
    SCOPED_TRACE(size);
    std::string original;
    for (size_t i = 0; i < size; ++i) original += static_cast<char>(i * 37 + 5);
    std::string bytes = original;
    Scramble(0x4f2a, bytes);
    if (size >= 2) {
      EXPECT_NE(bytes, original);
    }
    Scramble(0x4f2a, bytes);
    EXPECT_EQ(bytes, original);
  }
}

TEST(ScrambleTest, PrefixUnscramblesAlone) {
  std::string bytes = "picture length word and text";
  Scramble(0x0101, bytes);
  std::string head = bytes.substr(0, 2);
  Scramble(0x0101, head);
  EXPECT_EQ(head, "pi");
}

TEST(ScrambleTest, DifferentOwnersScrambleDifferently) {
  std::string a(16, ' ');
  std::string b(16, ' ');
  Scramble(OwnerKey("alpha"), a);
  Scramble(OwnerKey("Alpha"), b);
  EXPECT_NE(a, b);
  EXPECT_NE(OwnerKey("alpha"), OwnerKey("Alpha"));
}

}  // namespace
}  // namespace zuna::testing
