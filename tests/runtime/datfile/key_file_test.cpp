#include "runtime/datfile/key_file.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "runtime/datfile/key_build.h"
#include "runtime/datfile/key_encoding.h"
#include "tests/runtime/datfile/key_test_util.h"
#include "tests/support/fault_fs.h"
#include "tests/support/mem_fs.h"
#include "tests/support/status_matchers.h"

namespace zuna::datfile {
namespace {

using key_test::Block;
using key_test::Describe;
using key_test::Hex;
using key_test::ParseHeader;
using key_test::ParseNode;
using key_test::RawHeader;
using key_test::RawNode;

constexpr char kPath[] = "/T.K01";

// A key over a STRING(width) with the identity collation, so an entry is
// the record number and the padded text.
class KeyTreeTest : public ::testing::Test {
 protected:
  void Make(uint16_t width, bool dup = true) {
    width_ = width;
    file_decl_ = key_test::StringFile(width, dup);
    ASSERT_OK(KeyLayoutFor(file_decl_, file_decl_.keys[0], &layout_));
    ASSERT_OK(KeyFile::Create(fs_, kPath, layout_, OpenOptions{}, &key_));
  }

  std::string Entry(uint32_t record_no, std::string_view text) const {
    return key_test::TextEntry(record_no, text, width_);
  }
  void Insert(uint32_t record_no, std::string_view text) {
    ASSERT_OK(key_->Insert(Entry(record_no, text)));
  }
  void Delete(uint32_t record_no, std::string_view text) {
    ASSERT_OK(key_->Delete(Entry(record_no, text)));
  }

  RawNode Node(uint32_t n) const {
    return ParseNode(Block(fs_, kPath, n), layout_.entry_length);
  }
  RawHeader Header() const { return ParseHeader(Block(fs_, kPath, 0)); }
  std::string Links(uint32_t n) const {
    const RawNode node = Node(n);
    return std::to_string(node.count) + " r" + std::to_string(node.right) +
           " l" + std::to_string(node.left) + " p" +
           std::to_string(node.parent);
  }
  // "root entries nodes last-leaf height first last free"
  std::string Summary() const {
    const RawHeader h = Header();
    return "root " + std::to_string(h.root) + " entries " +
           std::to_string(h.entry_count) + " nodes " +
           std::to_string(h.node_count) + " last " +
           std::to_string(h.last_leaf) + " height " + std::to_string(h.height) +
           " records " + std::to_string(h.first_record) + ".." +
           std::to_string(h.last_record) + " free " +
           std::to_string(h.free_node);
  }
  std::string Faults() { return key_test::Faults(fs_, kPath, layout_); }

  // Every entry, first to last, as "rec:text ...".
  std::string Walk() {
    std::string out;
    KeyPosition at;
    EXPECT_OK(key_->First(&at));
    bool found = at.state != SearchState::kPastEnd;
    while (found) {
      if (!out.empty()) out += ' ';
      std::string text = at.entry.substr(4);
      while (!text.empty() && text.back() == ' ') text.pop_back();
      out += std::to_string(at.record_no()) + ":" + text;
      EXPECT_OK(key_->Next(&at, &found));
    }
    return out;
  }

  void Reopen(uint32_t records = 0) {
    key_.reset();
    KeyOpenParams params;
    params.file.write = true;
    params.records = records;
    params.ignore_corruptions = true;
    ASSERT_OK(KeyFile::Open(fs_, kPath, layout_, params, &key_));
  }

  testing::MemFileSystem fs_;
  uint16_t width_ = 0;
  FileDecl file_decl_;
  KeyLayout layout_;
  std::unique_ptr<KeyFile> key_;
};

// --- The empty key. ---

TEST_F(KeyTreeTest, NewKeyFileIsTheHeaderBlockAndAnEmptyRoot) {
  Make(30, /*dup=*/false);
  const std::string bytes = fs_.Contents(kPath);
  ASSERT_EQ(bytes.size(), 1024u);
  // root 1, no entries, node count 1, last leaf 1, last/first record 0,
  // no free node, type 0x40 (not OPT), 14 a node, 1 component, entry
  // length 34, height 1.
  EXPECT_EQ(Hex(bytes.substr(0, 35)),
            "01 00 00 00 00 00 00 00 01 00 00 00 01 00 00 00 "
            "00 00 00 00 00 00 00 00 00 00 00 00 40 0E 01 22 00 01 00");
  EXPECT_EQ(bytes.substr(35), std::string(1024 - 35, '\0'));
  EXPECT_EQ(key_->entry_count(), 0u);
}

TEST_F(KeyTreeTest, RegisterNameKeyHeader) {
  const FileDecl zun = [] {
    FileDecl f = key_test::StringFile(30, true, true, true, true);
    return f;
  }();
  ASSERT_OK(KeyLayoutFor(zun, zun.keys[0], &layout_));
  ASSERT_OK(KeyFile::Create(fs_, kPath, layout_, OpenOptions{}, &key_));
  // DUP | NOCASE = 0x30, OPT leaves 0x40 clear.
  EXPECT_EQ(Hex(fs_.Contents(kPath).substr(28, 7)), "30 0E 01 22 00 01 00");
}

TEST_F(KeyTreeTest, EmptyKeyAnswersPastTheEndAtTheRoot) {
  Make(8);
  KeyPosition at;
  ASSERT_OK(key_->Search(Entry(0, "X"), false, &at));
  EXPECT_EQ(at.state, SearchState::kPastEnd);
  EXPECT_EQ(at.node, 1u);
  EXPECT_EQ(at.index, 0);
  ASSERT_OK(key_->First(&at));
  EXPECT_EQ(at.state, SearchState::kPastEnd);
  bool found = true;
  ASSERT_OK(key_->Previous(&at, &found));
  EXPECT_FALSE(found);
}

// --- Insertion. ---

TEST_F(KeyTreeTest, SplitMovesTheLowerHalfToANewLeftNode) {
  Make(120);  // 124-byte entries: 4 a node
  ASSERT_EQ(layout_.entries_per_node, 4);
  Insert(1, "B");
  Insert(2, "D");
  Insert(3, "F");
  Insert(4, "H");
  EXPECT_EQ(Describe(Node(1)), "1:B 2:D 3:F 4:H");
  Insert(5, "E");
  // B, D moved to node 2 on the left; node 1 keeps F, H and takes E; a new
  // root, node 3, holds each child with its highest value.
  EXPECT_EQ(Summary(),
            "root 3 entries 5 nodes 3 last 1 height 2 records 1..4 free 0");
  EXPECT_EQ(Hex(Block(fs_, kPath, 2).substr(0, 13)),
            "02 01 00 00 00 00 00 00 00 03 00 00 00");
  EXPECT_EQ(Describe(Node(2)), "1:B 2:D");
  EXPECT_EQ(Links(1), "3 r0 l2 p3");
  EXPECT_EQ(Describe(Node(1)), "5:E 3:F 4:H");
  EXPECT_EQ(Links(3), "2 r0 l0 p0");
  EXPECT_EQ(Describe(Node(3)), "2:D 1:H");
  EXPECT_TRUE(Node(1).tail_zero && Node(2).tail_zero && Node(3).tail_zero);

  // A new first entry; then a split in the middle puts the new left node
  // between node 2's old neighbours.
  Insert(6, "A");
  Insert(7, "C");
  EXPECT_EQ(Describe(Node(2)), "6:A 1:B 7:C 2:D");
  Insert(8, "BB");
  EXPECT_EQ(Describe(Node(4)), "6:A 1:B");
  EXPECT_EQ(Links(4), "2 r2 l0 p3");
  EXPECT_EQ(Describe(Node(2)), "8:BB 7:C 2:D");
  EXPECT_EQ(Links(2), "3 r1 l4 p3");
  EXPECT_EQ(Describe(Node(3)), "4:B 2:D 1:H");
  EXPECT_EQ(Summary(),
            "root 3 entries 8 nodes 4 last 1 height 2 records 6..4 free 0");
  EXPECT_EQ(Walk(), "6:A 1:B 8:BB 7:C 2:D 5:E 3:F 4:H");
  EXPECT_EQ(Faults(), "");
}

TEST_F(KeyTreeTest, NewLastEntryRaisesTheSeparators) {
  Make(120);
  for (uint32_t r = 1; r <= 5; ++r) Insert(r, std::string(1, 'B' + 2 * r));
  // D F H J fill the root leaf; L starts leaf 2 to its right.
  ASSERT_EQ(Describe(Node(3)), "1:J 2:L");
  Insert(9, "K");
  EXPECT_EQ(Describe(Node(2)), "9:K 5:L");
  EXPECT_EQ(Describe(Node(3)), "1:J 2:L");
  Insert(10, "M");  // past the end of the last leaf, which has room
  EXPECT_EQ(Describe(Node(2)), "9:K 5:L 10:M");
  EXPECT_EQ(Describe(Node(3)), "1:J 2:M");
  EXPECT_EQ(Summary(),
            "root 3 entries 7 nodes 3 last 2 height 2 records 1..10 free 0");
  EXPECT_EQ(Faults(), "");
}

// Ascending loading fills leaves completely; every new leaf is linked into
// its parent, which splits upward like any full node.
TEST_F(KeyTreeTest, AscendingAppendsFillLeavesAndLinkThemIntoTheParent) {
  Make(120);
  char name[4];
  for (uint32_t r = 1; r <= 17; ++r) {
    std::snprintf(name, sizeof name, "A%02u", r);
    Insert(r, name);
    if (r == 5) {
      EXPECT_EQ(Describe(Node(1)), "1:A01 2:A02 3:A03 4:A04");
      EXPECT_EQ(Links(1), "4 r2 l0 p3");
      EXPECT_EQ(Describe(Node(2)), "5:A05");
      EXPECT_EQ(Links(2), "1 r0 l1 p3");
      EXPECT_EQ(Describe(Node(3)), "1:A04 2:A05");
    }
    if (r == 16) {
      EXPECT_EQ(Describe(Node(3)), "1:A04 2:A08 4:A12 5:A16");
    }
  }
  // Leaves 1 2 4 5 full, 6 holds the last.  Its separator went to the end
  // of the full root, which kept its entries too: node 7 started to its
  // right, and node 8 is the new root above both.
  EXPECT_EQ(Summary(),
            "root 8 entries 17 nodes 8 last 6 height 3 records 1..17 free 0");
  for (uint32_t leaf : {1u, 2u, 4u, 5u}) EXPECT_EQ(Node(leaf).count, 4);
  EXPECT_EQ(Describe(Node(6)), "17:A17");
  EXPECT_EQ(Links(6), "1 r0 l5 p7");
  EXPECT_EQ(Describe(Node(3)), "1:A04 2:A08 4:A12 5:A16");
  EXPECT_EQ(Links(3), "4 r0 l0 p8");
  EXPECT_EQ(Describe(Node(7)), "6:A17");
  EXPECT_EQ(Links(7), "1 r0 l0 p8");
  EXPECT_EQ(Describe(Node(8)), "3:A16 7:A17");
  EXPECT_EQ(Links(1), "4 r2 l0 p3");
  EXPECT_EQ(Links(2), "4 r4 l1 p3");
  EXPECT_EQ(Links(5), "4 r6 l4 p3");
  EXPECT_EQ(Faults(), "");

  // Every leaf is reached from the root: an exact search lands on the
  // entry's own leaf.
  KeyPosition at;
  ASSERT_OK(key_->Search(Entry(0, "A10"), true, &at));
  EXPECT_EQ(at.state, SearchState::kFound);
  EXPECT_EQ(at.node, 4u);
  EXPECT_EQ(at.record_no(), 10u);
}

TEST_F(KeyTreeTest, DuplicateValuesStayInRecordNumberOrder) {
  Make(120);
  for (uint32_t r : {5u, 2u, 9u, 1u, 7u, 3u}) Insert(r, "SAME");
  Insert(4, "LOW");
  Insert(8, "TOP");
  EXPECT_EQ(Walk(), "4:LOW 1:SAME 2:SAME 3:SAME 5:SAME 7:SAME 9:SAME 8:TOP");
  KeyPosition at;
  // Record number 0 and an exact value match both find the first.
  ASSERT_OK(key_->Search(Entry(0, "SAME"), false, &at));
  EXPECT_EQ(at.state, SearchState::kFound);
  EXPECT_EQ(at.record_no(), 1u);
  ASSERT_OK(key_->Search(Entry(6, "SAME"), true, &at));
  EXPECT_EQ(at.state, SearchState::kFound);
  EXPECT_EQ(at.record_no(), 1u);
  // A full entry finds itself, or the next record of the value.
  ASSERT_OK(key_->Search(Entry(5, "SAME"), false, &at));
  EXPECT_EQ(at.state, SearchState::kFound);
  EXPECT_EQ(at.record_no(), 5u);
  ASSERT_OK(key_->Search(Entry(6, "SAME"), false, &at));
  EXPECT_EQ(at.state, SearchState::kPositioned);
  EXPECT_EQ(at.record_no(), 7u);
  ASSERT_OK(key_->Search(Entry(10, "SAME"), false, &at));
  EXPECT_EQ(at.state, SearchState::kPositioned);
  EXPECT_EQ(at.record_no(), 8u);
  ASSERT_OK(key_->Search(Entry(1, "ZZZ"), false, &at));
  EXPECT_EQ(at.state, SearchState::kPastEnd);
  EXPECT_EQ(at.node, key_->header().last_leaf);
  EXPECT_TRUE(at.entry.empty());
  EXPECT_EQ(Faults(), "");
}

TEST_F(KeyTreeTest, InsertRefusesAnEntryAlreadyThere) {
  Make(8);
  Insert(1, "A");
  const std::string before = fs_.Contents(kPath);
  EXPECT_STATUS_CODE(key_->Insert(Entry(1, "A")), 46);
  EXPECT_STATUS_CODE(key_->Insert(Entry(0, "B")), 46);
  EXPECT_EQ(fs_.Contents(kPath), before);
  EXPECT_OK(key_->error());  // refused, not broken
  Insert(2, "A");
  EXPECT_EQ(Walk(), "1:A 2:A");
}

// --- Deletion. ---

class KeyDeleteTest : public KeyTreeTest {
 protected:
  void SetUp() override {
    Make(120);
    char name[4];
    for (uint32_t r = 1; r <= 17; ++r) {
      std::snprintf(name, sizeof name, "A%02u", r);
      Insert(r, name);
    }
  }
  void DeleteRange(uint32_t from, uint32_t to) {
    char name[4];
    for (uint32_t r = from; r <= to; ++r) {
      std::snprintf(name, sizeof name, "A%02u", r);
      Delete(r, name);
    }
  }
};

TEST_F(KeyDeleteTest, RemovingANodesLastEntryLowersItsSeparator) {
  Delete(16, "A16");
  EXPECT_EQ(Describe(Node(5)), "13:A13 14:A14 15:A15");
  // Leaf 5 is node 3's last child, so the root's separator drops too.
  EXPECT_EQ(Describe(Node(3)), "1:A04 2:A08 4:A12 5:A15");
  EXPECT_EQ(Describe(Node(8)), "3:A15 7:A17");
  // The first entry of a leaf leaves the separators alone.
  Delete(9, "A09");
  EXPECT_EQ(Describe(Node(3)), "1:A04 2:A08 4:A12 5:A15");
  EXPECT_EQ(Hex(Block(fs_, kPath, 4).substr(13 + 3 * 124)),
            Hex(std::string(512 - 13 - 3 * 124, '\0')));
  EXPECT_EQ(Faults(), "");
}

TEST_F(KeyDeleteTest, EmptiedNodesAreUnlinkedRemovedAndFreed) {
  DeleteRange(5, 8);  // leaf 2
  EXPECT_EQ(Block(fs_, kPath, 2), std::string(512, '\0'));
  EXPECT_EQ(Links(1), "4 r4 l0 p3");
  EXPECT_EQ(Links(4), "4 r5 l1 p3");
  EXPECT_EQ(Describe(Node(3)), "1:A04 4:A12 5:A16");
  EXPECT_EQ(Summary(),
            "root 8 entries 13 nodes 8 last 6 height 3 records 1..17 free 2");

  // Leaf 6 empties, then node 7 above it; leaf 5 is the last leaf now and
  // the root's separator for node 3 is its highest value already.
  Delete(17, "A17");
  EXPECT_EQ(Describe(Node(8)), "3:A16");
  EXPECT_EQ(Links(5), "4 r0 l4 p3");
  EXPECT_EQ(Summary(),
            "root 8 entries 12 nodes 8 last 5 height 3 records 1..16 free 7");

  DeleteRange(1, 4);  // leaf 1, the first
  EXPECT_EQ(Describe(Node(3)), "4:A12 5:A16");
  EXPECT_EQ(Links(4), "4 r5 l0 p3");
  EXPECT_EQ(Summary(),
            "root 8 entries 8 nodes 8 last 5 height 3 records 9..16 free 1");
  // The chain 1 -> 7 -> 6 -> 2, each freed node zero but its right link.
  EXPECT_EQ(Hex(Block(fs_, kPath, 1).substr(0, 13)),
            "00 07 00 00 00 00 00 00 00 00 00 00 00");
  EXPECT_EQ(Node(7).right, 6u);
  EXPECT_EQ(Node(6).right, 2u);
  EXPECT_EQ(Node(2).right, 0u);
  EXPECT_EQ(Faults(), "");

  // New nodes come from the head of the chain.
  Insert(20, "A00");
  EXPECT_EQ(Describe(Node(1)), "20:A00 9:A09 10:A10");
  EXPECT_EQ(Links(1), "3 r4 l0 p3");
  EXPECT_EQ(Describe(Node(4)), "11:A11 12:A12");
  EXPECT_EQ(Describe(Node(3)), "1:A10 4:A12 5:A16");
  EXPECT_EQ(Summary(),
            "root 8 entries 9 nodes 8 last 5 height 3 records 20..16 free 7");
  EXPECT_EQ(Faults(), "");
}

// The root moved to node 8 when the tree grew; emptying the key leaves
// that node as the root, now an empty leaf, with every other node free.
TEST_F(KeyDeleteTest, DeletingTheLastEntryLeavesAOneLevelTree) {
  DeleteRange(1, 17);
  EXPECT_EQ(Header().entry_count, 0u);
  EXPECT_EQ(Header().height, 1);
  EXPECT_EQ(Header().root, 8u);
  EXPECT_EQ(Header().last_leaf, 8u);
  EXPECT_EQ(Header().first_record, 0u);
  EXPECT_EQ(Header().last_record, 0u);
  EXPECT_EQ(Block(fs_, kPath, 8), std::string(512, '\0'));
  EXPECT_EQ(Faults(), "");
  // It works as a new key from there, taking nodes off the chain.
  Reopen();
  for (uint32_t r = 1; r <= 6; ++r) Insert(r, std::string(1, 'a' + r));
  EXPECT_EQ(Walk(), "1:b 2:c 3:d 4:e 5:f 6:g");
  EXPECT_EQ(Header().node_count, 8u);
  EXPECT_EQ(Faults(), "");
}

TEST_F(KeyTreeTest, DeletingTheOnlyEntryOfARootLeaf) {
  Make(8);
  Insert(3, "X");
  Delete(3, "X");
  EXPECT_EQ(Summary(),
            "root 1 entries 0 nodes 1 last 1 height 1 records 0..0 free 0");
  EXPECT_EQ(fs_.Contents(kPath).substr(512), std::string(512, '\0'));
}

TEST_F(KeyTreeTest, DeleteOfAMissingEntryChangesNothing) {
  Make(8);
  Insert(3, "X");
  const std::string before = fs_.Contents(kPath);
  EXPECT_STATUS_CODE(key_->Delete(Entry(4, "X")), 46);
  EXPECT_EQ(fs_.Contents(kPath), before);
  EXPECT_OK(key_->error());
}

// --- Steps and ordinals. ---

TEST_F(KeyDeleteTest, StepsWalkTheLeavesBothWays) {
  KeyPosition at;
  ASSERT_OK(key_->Last(&at));
  std::string back;
  bool found = true;
  while (found) {
    back += at.entry.substr(4, 3) + " ";
    ASSERT_OK(key_->Previous(&at, &found));
  }
  EXPECT_EQ(back,
            "A17 A16 A15 A14 A13 A12 A11 A10 A09 A08 A07 A06 A05 A04 A03 A02 "
            "A01 ");
  // At the first entry Previous finds nothing and leaves the position.
  EXPECT_EQ(at.record_no(), 1u);
  ASSERT_OK(key_->Next(&at, &found));
  EXPECT_TRUE(found);
  EXPECT_EQ(at.record_no(), 2u);

  // Past the end: Next finds nothing, Previous gives the last entry.
  ASSERT_OK(key_->Search(Entry(0, "Z"), false, &at));
  ASSERT_EQ(at.state, SearchState::kPastEnd);
  ASSERT_OK(key_->Next(&at, &found));
  EXPECT_FALSE(found);
  ASSERT_OK(key_->Previous(&at, &found));
  EXPECT_TRUE(found);
  EXPECT_EQ(at.record_no(), 17u);
}

TEST_F(KeyDeleteTest, AStepAfterAChangeFindsItsPlaceByValue) {
  KeyPosition at;
  ASSERT_OK(key_->Search(Entry(8, "A08"), false, &at));
  Delete(8, "A08");  // the current entry goes
  Delete(9, "A09");
  bool found = false;
  ASSERT_OK(key_->Next(&at, &found));
  EXPECT_TRUE(found);
  EXPECT_EQ(at.record_no(), 10u);
  Insert(30, "A09");
  ASSERT_OK(key_->Previous(&at, &found));
  EXPECT_EQ(at.record_no(), 30u);
  ASSERT_OK(key_->Previous(&at, &found));
  EXPECT_EQ(at.record_no(), 7u);
}

TEST_F(KeyDeleteTest, OrdinalsCountFromTheFirstEntry) {
  uint32_t ordinal = 0;
  ASSERT_OK(key_->OrdinalOf(Entry(13, "A13"), &ordinal));
  EXPECT_EQ(ordinal, 13u);
  ASSERT_OK(key_->OrdinalOf(Entry(14, "A13"), &ordinal));
  EXPECT_EQ(ordinal, 0u);
  KeyPosition at;
  bool found = false;
  ASSERT_OK(key_->EntryAt(17, &at, &found));
  EXPECT_TRUE(found);
  EXPECT_EQ(at.record_no(), 17u);
  ASSERT_OK(key_->EntryAt(18, &at, &found));
  EXPECT_FALSE(found);
  DeleteRange(1, 6);
  ASSERT_OK(key_->EntryAt(1, &at, &found));
  EXPECT_EQ(at.record_no(), 7u);
  ASSERT_OK(key_->OrdinalOf(Entry(13, "A13"), &ordinal));
  EXPECT_EQ(ordinal, 7u);
}

// --- Open. ---

TEST_F(KeyTreeTest, OpenChecksTheFileAgainstTheDeclaration) {
  Make(30, /*dup=*/false);
  Insert(1, "A");
  Insert(2, "B");
  key_.reset();
  KeyOpenParams params;
  params.records = 2;
  std::unique_ptr<KeyFile> key;
  EXPECT_OK(KeyFile::Open(fs_, kPath, layout_, params, &key));

  struct Case {
    const char* what;
    KeyLayout layout;
    uint32_t records;
    bool ignore;
    int32_t code;
  };
  KeyLayout dup = layout_;
  dup.key_type |= 0x10;
  KeyLayout nocase = layout_;
  nocase.key_type |= 0x20;
  KeyLayout opt = layout_;
  opt.key_type &= ~0x40;
  KeyLayout index_bit = layout_;
  index_bit.key_type |= 0x01;  // not one of the compared bits
  KeyLayout two = layout_;
  two.component_count = 2;
  KeyLayout longer = MakeKeyLayout(31, 1, 0x40);
  const Case cases[] = {
      {"as declared", layout_, 2, false, 0},
      {"DUP bit differs", dup, 2, false, 46},
      {"NOCASE bit differs", nocase, 2, false, 46},
      {"OPT bit differs", opt, 2, false, 46},
      {"INDEX bit is not compared", index_bit, 2, false, 0},
      {"component count differs", two, 2, false, 46},
      {"entry length differs", longer, 2, false, 46},
      {"entry count is not RECORDS", layout_, 3, false, 46},
      {"IGNORECORRUPTIONS", layout_, 3, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KeyOpenParams p;
    p.records = c.records;
    p.ignore_corruptions = c.ignore;
    EXPECT_STATUS_CODE(KeyFile::Open(fs_, kPath, c.layout, p, &key), c.code);
    EXPECT_EQ(key == nullptr, c.code != 0);
  }
  // An OPT key may hold fewer entries than RECORDS.
  KeyOpenParams p;
  p.records = 5;
  ASSERT_OK(KeyFile::Create(fs_, "/O.K01", opt, OpenOptions{}, &key));
  key.reset();
  EXPECT_OK(KeyFile::Open(fs_, "/O.K01", opt, p, &key));
}

TEST_F(KeyTreeTest, OpenOfAMissingOrShortFileIs46) {
  Make(8);
  key_.reset();
  std::unique_ptr<KeyFile> key;
  KeyOpenParams params;
  EXPECT_STATUS_CODE(KeyFile::Open(fs_, "/NONE.K01", layout_, params, &key),
                     46);
  const std::string whole = fs_.Contents(kPath);
  for (size_t size : {0u, 34u, 511u, 512u, 1023u}) {
    SCOPED_TRACE(size);
    fs_.SetContents(kPath, whole.substr(0, size));
    EXPECT_STATUS_CODE(KeyFile::Open(fs_, kPath, layout_, params, &key), 46);
  }
  EXPECT_EQ(fs_.OpenFileCount(), 0u);
}

TEST_F(KeyTreeTest, HeaderReadErrorsBelow19PassOnOthersAre46) {
  Make(8);
  key_.reset();
  testing::FaultFileSystem faulty(fs_);
  std::unique_ptr<KeyFile> key;
  KeyOpenParams params;
  faulty.FailNth(testing::FaultKind::kRead, 1, testing::FaultMode::kTransient,
                 5);
  EXPECT_STATUS_CODE(KeyFile::Open(faulty, kPath, layout_, params, &key), 5);
  faulty.FailNth(testing::FaultKind::kRead, 1, testing::FaultMode::kTransient,
                 30);
  EXPECT_STATUS_CODE(KeyFile::Open(faulty, kPath, layout_, params, &key), 46);
  faulty.FailNth(testing::FaultKind::kOpen, 1, testing::FaultMode::kTransient,
                 4);
  EXPECT_STATUS_CODE(KeyFile::Open(faulty, kPath, layout_, params, &key), 4);
}

// --- Failures while changing. ---

TEST_F(KeyTreeTest, AWriteFailingInASplitIsTakenBack) {
  Make(120);
  for (uint32_t r = 1; r <= 4; ++r) Insert(r, std::string(1, 'A' + r));
  const std::string before = fs_.Contents(kPath);
  key_.reset();
  testing::FaultFileSystem faulty(fs_);
  KeyOpenParams params;
  params.file.write = true;
  params.records = 4;
  ASSERT_OK(KeyFile::Open(faulty, kPath, layout_, params, &key_));
  // The split writes three nodes, then the header: fail the second.
  faulty.FailNth(testing::FaultKind::kWrite, 2, testing::FaultMode::kTransient);
  EXPECT_STATUS_CODE(key_->Insert(Entry(5, "A")), 5);
  EXPECT_OK(key_->error());
  EXPECT_EQ(fs_.Contents(kPath), before);
  EXPECT_EQ(Walk(), "1:B 2:C 3:D 4:E");
  ASSERT_OK(key_->Insert(Entry(5, "A")));
  EXPECT_EQ(Walk(), "5:A 1:B 2:C 3:D 4:E");
  EXPECT_EQ(Faults(), "");
}

TEST_F(KeyTreeTest, AChangeThatCannotBeTakenBackLeavesTheKeyRefusingWork) {
  Make(120);
  for (uint32_t r = 1; r <= 4; ++r) Insert(r, std::string(1, 'A' + r));
  key_.reset();
  testing::FaultFileSystem faulty(fs_);
  KeyOpenParams params;
  params.file.write = true;
  params.records = 4;
  ASSERT_OK(KeyFile::Open(faulty, kPath, layout_, params, &key_));
  faulty.FailNth(testing::FaultKind::kWrite, 2,
                 testing::FaultMode::kPersistent);
  EXPECT_STATUS_CODE(key_->Insert(Entry(5, "A")), 5);
  EXPECT_EQ(key_->error().code(), 5);
  KeyPosition at;
  EXPECT_STATUS_CODE(key_->Search(Entry(0, "B"), false, &at), 5);
  EXPECT_STATUS_CODE(key_->Insert(Entry(6, "Z")), 5);
  faulty.ClearFaults();
  // Initialise makes a usable, empty key again.
  ASSERT_OK(key_->Initialise());
  ASSERT_OK(key_->Insert(Entry(6, "Z")));
  EXPECT_EQ(Faults(), "");
}

TEST_F(KeyTreeTest, WriteBackHoldsEveryChangeUntilSync) {
  Make(120);
  const std::string empty_key = fs_.Contents(kPath);
  ASSERT_OK(key_->SetWriteBack(true));
  std::string expected;
  for (uint32_t r = 1; r <= 26; ++r) {
    Insert(r, std::string(1, static_cast<char>('A' + r - 1)));
    expected += (r > 1 ? " " : "") + std::to_string(r) + ":" +
                std::string(1, static_cast<char>('A' + r - 1));
  }
  ASSERT_GT(key_->header().height, 1u);  // the root has split
  EXPECT_EQ(fs_.Contents(kPath), empty_key);
  EXPECT_EQ(Walk(), expected);
  ASSERT_OK(key_->Sync());
  EXPECT_EQ(Faults(), "");
  // Leaving the mode writes through again, each change at once.
  ASSERT_OK(key_->SetWriteBack(false));
  Insert(27, "ZZ");
  EXPECT_EQ(Faults(), "");
  EXPECT_EQ(Walk(), expected + " 27:ZZ");
}

// For N = 1, 2, ... the Nth write of a run of changes fails, once or from
// then on.  A fault that fires once is taken back: the change reports it,
// and the key, on disk and in memory, holds exactly the entries of the
// changes that succeeded.  A fault that persists also defeats the taking
// back: the key refuses work after it, damage stays damage (46 at open or
// a checker report, never a crash), and BUILD makes a clean key again.
TEST_F(KeyTreeTest, EveryFailedWriteIsTakenBackOrRefusedAndBuildRepairs) {
  Make(120);
  const std::string empty_key = fs_.Contents(kPath);
  key_.reset();
  for (testing::FaultMode mode :
       {testing::FaultMode::kTransient, testing::FaultMode::kPersistent}) {
    for (uint64_t n = 1;; ++n) {
      SCOPED_TRACE("write " + std::to_string(n));
      fs_.SetContents(kPath, empty_key);
      testing::FaultFileSystem faulty(fs_);
      KeyOpenParams params;
      params.file.write = true;
      std::unique_ptr<KeyFile> key;
      ASSERT_OK(KeyFile::Open(faulty, kPath, layout_, params, &key));
      faulty.FailNth(testing::FaultKind::kWrite, n, mode);
      std::mt19937 random(5);
      std::set<std::pair<std::string, uint32_t>> model;
      Status failed;
      for (uint32_t r = 1; r <= 60 && failed.ok(); ++r) {
        const std::string text = "T" + std::to_string(random() % 40);
        if (r % 3 == 0 && !model.empty()) {
          const auto victim = *model.begin();
          failed = key->Delete(Entry(victim.second, victim.first));
          if (failed.ok()) model.erase(victim);
        } else {
          failed = key->Insert(Entry(r, text));
          if (failed.ok()) model.insert({text, r});
        }
      }
      if (faulty.FaultsFired() == 0) {
        ASSERT_OK(failed);
        EXPECT_EQ(Faults(), "");
        EXPECT_GT(n, 40u);  // every write of the run got its turn
        break;
      }
      EXPECT_EQ(failed.code(), 5);
      KeyPosition at;
      if (mode == testing::FaultMode::kTransient) {
        ASSERT_OK(key->error());
        EXPECT_EQ(key->entry_count(), model.size());
        EXPECT_EQ(Faults(), "");
        std::vector<uint32_t> expected, walked;
        for (const auto& entry : model) expected.push_back(entry.second);
        ASSERT_OK(key->First(&at));
        for (bool found = at.state == SearchState::kFound; found;) {
          walked.push_back(at.record_no());
          ASSERT_OK(key->Next(&at, &found));
        }
        EXPECT_EQ(walked, expected);
        continue;
      }
      EXPECT_STATUS_CODE(key->First(&at), 5);
      key.reset();
      params.ignore_corruptions = true;
      const Status reopened = KeyFile::Open(fs_, kPath, layout_, params, &key);
      EXPECT_TRUE(reopened.ok() || reopened.code() == 46)
          << reopened.ToString();
      (void)Faults();
      if (!reopened.ok()) {
        ASSERT_OK(KeyFile::Create(fs_, kPath, layout_, OpenOptions{}, &key));
      }
      // BUILD from the records the model holds.
      class ModelSource final : public RecordSource {
       public:
        ModelSource(const std::set<std::pair<std::string, uint32_t>>& model,
                    uint16_t width)
            : it_(model.begin()), end_(model.end()), width_(width) {}
        Status Next(uint32_t* record_no, std::span<const char>* record,
                    bool* done) override {
          if (it_ == end_) {
            *done = true;
            return Status::OK();
          }
          image_ = key_test::Padded(it_->first, width_);
          *record_no = it_->second;
          *record = image_;
          ++it_;
          return Status::OK();
        }

       private:
        std::set<std::pair<std::string, uint32_t>>::const_iterator it_, end_;
        uint16_t width_;
        std::string image_;
      } source(model, width_);
      KeyEncoder encoder;
      ASSERT_OK(KeyEncoder::Create(file_decl_, file_decl_.keys[0],
                                   values::DefaultLocale(), &encoder));
      ASSERT_OK(BuildKey(fs_, *key, encoder, source, nullptr));
      EXPECT_EQ(key->entry_count(), model.size());
      EXPECT_EQ(Faults(), "");
      ASSERT_LT(n, 2000u);
    }
  }
}

// Another station's changes are seen after Refresh; a position taken
// before finds its place again by value.
TEST_F(KeyTreeTest, RefreshSeesAnotherHandlesChanges) {
  Make(120);
  for (uint32_t r = 1; r <= 6; ++r) Insert(r, std::string(1, 'A' + 2 * r));
  KeyOpenParams params;
  params.file.write = true;
  params.ignore_corruptions = true;
  std::unique_ptr<KeyFile> other;
  ASSERT_OK(KeyFile::Open(fs_, kPath, layout_, params, &other));
  KeyPosition at;
  ASSERT_OK(other->Search(Entry(2, "E"), false, &at));
  ASSERT_EQ(at.state, SearchState::kFound);

  for (uint32_t r = 7; r <= 12; ++r) Insert(r, "F");
  Delete(3, "G");
  ASSERT_OK(other->Refresh());
  EXPECT_EQ(other->entry_count(), 11u);
  bool found = false;
  std::string seen;
  for (int i = 0; i < 7; ++i) {
    ASSERT_OK(other->Next(&at, &found));
    ASSERT_TRUE(found);
    seen += std::to_string(at.record_no()) + " ";
  }
  EXPECT_EQ(seen, "7 8 9 10 11 12 4 ");
}

}  // namespace
}  // namespace zuna::datfile
