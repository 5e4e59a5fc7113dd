// Damaged key files: a valid tree written by the real code, then bytes set
// by hand.  Every kind of damage must end in 46 (or a checker report),
// never in a crash or a walk that does not end.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "runtime/datfile/key_encoding.h"
#include "runtime/datfile/key_file.h"
#include "tests/runtime/datfile/key_test_util.h"
#include "tests/support/mem_fs.h"
#include "tests/support/status_matchers.h"

namespace zuna::datfile {
namespace {

constexpr char kPath[] = "/C.K01";
constexpr size_t kEntry = 124;  // STRING(120) + record number: 4 a node

// 17 ascending entries A01..A17 make (see key_file_test.cpp):
//   root 8: (3 A16) (7 A17)
//   node 3: (1 A04) (2 A08) (4 A12) (5 A16)      node 7: (6 A17)
//   leaves 1 [A01-A04] 2 [A05-A08] 4 [A09-A12] 5 [A13-A16] 6 [A17]
class KeyCorruptionTest : public ::testing::Test {
 public:  // the damage tables below reach these through a pointer
  void SetUp() override {
    const FileDecl decl = key_test::StringFile(120, true);
    ASSERT_OK(KeyLayoutFor(decl, decl.keys[0], &layout_));
    std::unique_ptr<KeyFile> key;
    ASSERT_OK(KeyFile::Create(fs_, kPath, layout_, OpenOptions{}, &key));
    for (uint32_t r = 1; r <= 17; ++r) ASSERT_OK(key->Insert(Entry(r, r)));
    ASSERT_EQ(key_test::Faults(fs_, kPath, layout_), "");
  }

  static std::string Name(uint32_t n) {
    char text[8];
    std::snprintf(text, sizeof text, "A%02u", n);
    return text;
  }
  std::string Entry(uint32_t record_no, uint32_t name) const {
    return key_test::TextEntry(record_no, Name(name), 120);
  }

  void SetByte(uint64_t offset, uint8_t value) {
    std::string bytes = fs_.Contents(kPath);
    bytes[offset] = static_cast<char>(value);
    fs_.SetContents(kPath, bytes);
  }
  void SetU32(uint64_t offset, uint32_t value) {
    std::string bytes = fs_.Contents(kPath);
    bytes.replace(offset, 4, key_test::Le32(value));
    fs_.SetContents(kPath, bytes);
  }
  static uint64_t At(uint32_t block, size_t field) {
    return block * 512ull + field;
  }
  static uint64_t EntryAt(uint32_t block, size_t i) {
    return At(block, 13 + i * kEntry);
  }

  Status Open(std::unique_ptr<KeyFile>* key) {
    KeyOpenParams params;
    params.file.write = true;
    params.ignore_corruptions = true;
    return KeyFile::Open(fs_, kPath, layout_, params, key);
  }
  std::string Faults() { return key_test::Faults(fs_, kPath, layout_); }

  testing::MemFileSystem fs_;
  KeyLayout layout_;
};

TEST_F(KeyCorruptionTest, DamagedHeadersAreRefusedAtOpen) {
  struct Case {
    const char* what;
    std::function<void(KeyCorruptionTest*)> damage;
  };
  const Case cases[] = {
      {"node count beyond the file",
       [](KeyCorruptionTest* t) { t->SetU32(8, 9); }},
      {"node count 0", [](KeyCorruptionTest* t) { t->SetU32(8, 0); }},
      {"root 0", [](KeyCorruptionTest* t) { t->SetU32(0, 0); }},
      {"root beyond the node count",
       [](KeyCorruptionTest* t) { t->SetU32(0, 9); }},
      {"last leaf 0", [](KeyCorruptionTest* t) { t->SetU32(12, 0); }},
      {"free node beyond the node count",
       [](KeyCorruptionTest* t) { t->SetU32(24, 0xFFFFFFFF); }},
      {"height 0", [](KeyCorruptionTest* t) { t->SetByte(33, 0); }},
      {"height beyond the node count",
       [](KeyCorruptionTest* t) { t->SetByte(33, 9); }},
      {"entries per node", [](KeyCorruptionTest* t) { t->SetByte(29, 5); }},
      {"entry length", [](KeyCorruptionTest* t) { t->SetByte(31, 0); }},
      {"no entries in a tall tree",
       [](KeyCorruptionTest* t) { t->SetU32(4, 0); }},
      {"more entries than the nodes hold",
       [](KeyCorruptionTest* t) { t->SetU32(4, 33); }},
      {"root count beyond capacity",
       [](KeyCorruptionTest* t) { t->SetByte(At(8, 0), 5); }},
      {"root with a parent",
       [](KeyCorruptionTest* t) { t->SetU32(At(8, 9), 3); }},
      {"file cut short",
       [](KeyCorruptionTest* t) {
         t->fs_.SetContents(kPath, t->fs_.Contents(kPath).substr(0, 5 * 512));
       }},
      // What an older BUILD left when killed after starting the key afresh:
      // an empty root, and the old tree's blocks still behind it.
      {"an empty root before the blocks of a tree",
       [](KeyCorruptionTest* t) {
         std::string bytes = t->fs_.Contents(kPath);
         bytes.replace(0, 35, key_test::Le32(1) + key_test::Le32(0) +
                                  key_test::Le32(1) + key_test::Le32(1) +
                                  std::string(12, '\0') + bytes.substr(28, 5) +
                                  std::string("\x01\0", 2));
         bytes.replace(At(1, 0), 512, std::string(512, '\0'));
         t->fs_.SetContents(kPath, bytes);
       }},
  };
  const std::string good = fs_.Contents(kPath);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs_.SetContents(kPath, good);
    c.damage(this);
    std::unique_ptr<KeyFile> key;
    EXPECT_STATUS_CODE(Open(&key), 46);
    EXPECT_EQ(key, nullptr);
    EXPECT_NE(Faults(), "");
  }
  EXPECT_EQ(fs_.OpenFileCount(), 0u);
  // An empty key that never grew is exactly two blocks, and sound.
  fs_.SetContents(kPath, good);
  SetU32(4, 0);
  SetU32(8, 1);
  SetU32(12, 1);
  SetU32(0, 1);
  SetByte(33, 1);
  fs_.SetContents(kPath, fs_.Contents(kPath).substr(0, 1024).replace(512, 512, std::string(512, '\0')));
  std::unique_ptr<KeyFile> empty;
  EXPECT_OK(Open(&empty));
}

// Damage below the root: the open succeeds, the first operation that
// meets it answers 46, and the checker names the invariant.
TEST_F(KeyCorruptionTest, DamagedNodesStopOperationsWith46) {
  struct Case {
    const char* what;
    std::function<void(KeyCorruptionTest*)> damage;
    uint32_t search_record;  // the search that meets the damage
    uint32_t search_name;
    const char* invariant;  // "[n]" the checker reports
  };
  const Case cases[] = {
      {"leaf count byte beyond capacity",
       [](KeyCorruptionTest* t) { t->SetByte(At(4, 0), 5); }, 0, 10, "[3]"},
      {"leaf count byte 255",
       [](KeyCorruptionTest* t) { t->SetByte(At(4, 0), 255); }, 0, 10, "[3]"},
      {"inner count byte beyond capacity",
       [](KeyCorruptionTest* t) { t->SetByte(At(3, 0), 200); }, 0, 2, "[3]"},
      {"leaf links to itself",
       [](KeyCorruptionTest* t) { t->SetU32(At(1, 1), 1); }, 99, 4, "[5]"},
      {"leaf links past the end",
       [](KeyCorruptionTest* t) { t->SetU32(At(1, 1), 99); }, 99, 4, "[5]"},
      {"child link past the end",
       [](KeyCorruptionTest* t) { t->SetU32(EntryAt(3, 1), 99); }, 0, 6, "[2]"},
      {"child link 0",
       [](KeyCorruptionTest* t) { t->SetU32(EntryAt(3, 1), 0); }, 0, 6, "[2]"},
      {"child link back to the root",
       [](KeyCorruptionTest* t) { t->SetU32(EntryAt(3, 1), 8); }, 0, 6, "[2]"},
      {"child link to itself",
       [](KeyCorruptionTest* t) { t->SetU32(EntryAt(3, 1), 3); }, 0, 6, "[2]"},
      {"a leaf chain that loops",
       [](KeyCorruptionTest* t) {
         t->SetU32(At(1, 5), 2);  // leaf 1 <- 2 and 2 -> 1, consistently
         t->SetU32(At(2, 1), 1);
       },
       99, 8, "[5]"},
  };
  const std::string good = fs_.Contents(kPath);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs_.SetContents(kPath, good);
    // Opened before the damage, as by a station that had the key open when
    // another wrote it: the search meets the damage.
    std::unique_ptr<KeyFile> key;
    ASSERT_OK(Open(&key));
    c.damage(this);
    KeyPosition at;
    EXPECT_STATUS_CODE(
        key->Search(Entry(c.search_record, c.search_name), false, &at), 46);
    EXPECT_NE(Faults().find(c.invariant), std::string::npos) << Faults();
    // Opened after it: refused at the open or at the search.
    std::unique_ptr<KeyFile> fresh;
    const Status opened = Open(&fresh);
    if (opened.ok()) {
      EXPECT_STATUS_CODE(
          fresh->Search(Entry(c.search_record, c.search_name), false, &at), 46);
    } else {
      EXPECT_EQ(opened.code(), 46);
    }
  }
}

TEST_F(KeyCorruptionTest, StepsRefuseALeafChainThatLoops) {
  std::unique_ptr<KeyFile> key;
  ASSERT_OK(Open(&key));
  SetU32(At(1, 5), 2);
  SetU32(At(2, 1), 1);
  KeyPosition at;
  ASSERT_OK(key->Search(Entry(8, 8), false, &at));
  bool found = false;
  EXPECT_STATUS_CODE(key->Next(&at, &found), 46);
  // Walking back from leaf 1 meets leaf 2 again, which does not come first;
  // a search that lands on leaf 1's first entry already looks back there.
  EXPECT_STATUS_CODE(key->Search(Entry(1, 1), false, &at), 46);
  ASSERT_OK(key->Search(Entry(2, 2), false, &at));
  ASSERT_OK(key->Previous(&at, &found));
  ASSERT_TRUE(found);
  EXPECT_STATUS_CODE(key->Previous(&at, &found), 46);
  uint32_t ordinal = 0;
  EXPECT_STATUS_CODE(key->OrdinalOf(Entry(10, 10), &ordinal), 46);
}

TEST_F(KeyCorruptionTest, AFreeChainThatLoopsIsNotHandedOutTwice) {
  std::unique_ptr<KeyFile> key;
  ASSERT_OK(Open(&key));
  for (uint32_t r = 1; r <= 8; ++r) ASSERT_OK(key->Delete(Entry(r, r)));
  ASSERT_EQ(key->header().free_node, 2u);  // 2 -> 1
  key.reset();
  SetU32(At(1, 1), 2);  // 2 -> 1 -> 2 -> ...
  EXPECT_NE(Faults().find("[7] узел 2: цепочка свободных узлов замкнута в цикл"),
            std::string::npos)
      << Faults();
  ASSERT_OK(Open(&key));
  Status status;
  int inserts = 0;
  for (uint32_t r = 100; r < 140 && status.ok(); ++r, ++inserts) {
    status = key->Insert(key_test::TextEntry(r, "B" + std::to_string(r), 120));
  }
  EXPECT_EQ(status.code(), 46);
  EXPECT_LT(inserts, 40);
  // The key refuses work from then on.
  KeyPosition at;
  EXPECT_STATUS_CODE(key->Search(Entry(0, 9), false, &at), 46);
}

TEST_F(KeyCorruptionTest, CheckerReportsOrderSeparatorsAndLeaks) {
  const std::string good = fs_.Contents(kPath);
  // Two entries of leaf 4 swapped.
  std::string bytes = good;
  const std::string first = bytes.substr(EntryAt(4, 0), kEntry);
  bytes.replace(EntryAt(4, 0), kEntry, bytes.substr(EntryAt(4, 1), kEntry));
  bytes.replace(EntryAt(4, 1), kEntry, first);
  fs_.SetContents(kPath, bytes);
  EXPECT_NE(Faults().find("[5] узел 4: элементы не по порядку"),
            std::string::npos)
      << Faults();
  // A separator that is not its child's highest value.
  fs_.SetContents(kPath, good);
  SetByte(EntryAt(3, 2) + 6, '3');  // "A12" -> "A13"
  EXPECT_NE(Faults().find("[4] узел 3: разделитель 2"), std::string::npos)
      << Faults();
  // A node nobody links: one more block, counted but not in the tree.
  fs_.SetContents(kPath, good + std::string(512, '\0'));
  SetU32(8, 9);
  EXPECT_NE(Faults().find("[8] узел 9: ни в дереве, ни в цепочке свободных"),
            std::string::npos)
      << Faults();
  // Header says the wrong first record.
  fs_.SetContents(kPath, good);
  SetU32(20, 5);
  EXPECT_NE(Faults().find("[6]"), std::string::npos) << Faults();
  // Bytes after the entries of a node.
  fs_.SetContents(kPath, good);
  SetByte(At(6, 500), 1);
  EXPECT_NE(Faults().find("[8] узел 6: лишние байты после элементов"),
            std::string::npos)
      << Faults();
}

// A height the tree does not have would send every descent to the wrong
// level: too low, and inner nodes pass for leaves, their child numbers for
// record numbers.  The key refuses it at open and when another station's
// header brings it, and the checker reports it.
TEST_F(KeyCorruptionTest, AWrongHeightIsRefusedAndReported) {
  const std::string good = fs_.Contents(kPath);
  std::unique_ptr<KeyFile> open_before;
  ASSERT_OK(Open(&open_before));
  for (const uint8_t height : {1, 2, 4, 9}) {  // the tree has three levels
    SCOPED_TRACE(height);
    fs_.SetContents(kPath, good);
    SetByte(33, height);
    std::unique_ptr<KeyFile> key;
    EXPECT_STATUS_CODE(Open(&key), 46);
    EXPECT_EQ(key, nullptr);
    EXPECT_NE(Faults(), "");
    EXPECT_STATUS_CODE(open_before->Refresh(), 46);
  }
  // Back to the truth, the open key works again.
  fs_.SetContents(kPath, good);
  ASSERT_OK(open_before->Refresh());
  KeyPosition at;
  ASSERT_OK(open_before->Search(Entry(10, 10), false, &at));
  EXPECT_EQ(at.state, SearchState::kFound);
  uint32_t ordinal = 0;
  ASSERT_OK(open_before->OrdinalOf(Entry(10, 10), &ordinal));
  EXPECT_EQ(ordinal, 10u);
}

}  // namespace
}  // namespace zuna::datfile
