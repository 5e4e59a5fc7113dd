#include "runtime/datfile/key_format.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/runtime/datfile/key_test_util.h"

namespace zuna::datfile {
namespace {

using key_test::Hex;

// Every field with a value of its own, so each offset shows.
TEST(KeyFormatTest, HeaderFieldsSitAtTheirOffsets) {
  KeyHeader h;
  h.root = 0x04030201;
  h.entry_count = 0x14131211;
  h.node_count = 0x24232221;
  h.last_leaf = 0x34333231;
  h.last_record = 0x44434241;
  h.first_record = 0x54535251;
  h.free_node = 0x64636261;
  h.key_type = 0x71;
  h.entries_per_node = 0x72;
  h.component_count = 0x73;
  h.entry_length = 0x8281;
  h.height = 0x9291;
  std::string block(kKeyBlockSize, '\0');
  EncodeKeyHeader(h, block.data());
  EXPECT_EQ(Hex(block.substr(0, 35)),
            "01 02 03 04 11 12 13 14 21 22 23 24 31 32 33 34 "
            "41 42 43 44 51 52 53 54 61 62 63 64 71 72 73 81 82 91 92");
  EXPECT_EQ(block.substr(35), std::string(kKeyBlockSize - 35, '\0'));
  EXPECT_EQ(DecodeKeyHeader(block.data()), h);
}

TEST(KeyFormatTest, EntriesPerNodeFromEntryLength) {
  EXPECT_EQ(EntriesPerNode(38), 13);   // STRING(30) + LONG
  EXPECT_EQ(EntriesPerNode(34), 14);   // STRING(30)
  EXPECT_EQ(EntriesPerNode(8), 62);    // LONG
  EXPECT_EQ(EntriesPerNode(249), 2);   // the longest key
  EXPECT_EQ(EntriesPerNode(4), 124);   // no value at all
  const KeyLayout layout = MakeKeyLayout(34, 2, 0x70);
  EXPECT_EQ(layout.entry_length, 38);
  EXPECT_EQ(layout.entries_per_node, 13);
  EXPECT_TRUE(layout.duplicates());
  EXPECT_FALSE(layout.optional());
}

}  // namespace
}  // namespace zuna::datfile
