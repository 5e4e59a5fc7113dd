// Key trees of the three shapes an inner node's right link may take
// (key_file.h, invariant 4): our own (no links), inner levels linked like
// the leaves, and a rightmost child in the right link without an entry.
// Each register is laid down byte by byte (hand_laid_register.h), then used
// as the register uses it: checked clean by the checker and by zunatool,
// sought by every name and date, changed by many adds and deletes, and
// rebuilt by PACK and BUILD.  Damaged shapes end in 46 or a checker fault,
// never in a wrong answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "runtime/datfile/checker.h"
#include "runtime/datfile/key_file.h"
#include "runtime/values/code_page.h"
#include "tests/runtime/datfile/driver_test_util.h"
#include "tests/runtime/datfile/key_test_util.h"
#include "tests/support/file_bytes.h"
#include "tests/support/hand_laid_register.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace zuna::datfile {
namespace {

using driver_test::kByDate;
using driver_test::kByName;
using testing::HandPerson;
using testing::HandTreeShape;
using testing::InnerShape;

const char* const kFiles[] = {"ZUN.DAT", "ZUN.K01", "ZUN.K02"};

// 520 people, 430 names (90 of them twice) and 365 dates.  The name key
// (14 entries a node) is laid 12 a leaf and 8 children a node: 44 leaves,
// 6 inner nodes, a root; the date key (62 a node) 40 a leaf and 4 children
// a node: 13 leaves, 4 inner nodes, a root.  Three levels each.
constexpr uint32_t kPeople = 520;
constexpr HandTreeShape DateShape(InnerShape s) { return {s, 40, 4}; }
constexpr HandTreeShape NameShape(InnerShape s) { return {s, 12, 8}; }

std::string Name(const char* stem, uint32_t n) {
  char text[32];
  std::snprintf(text, sizeof text, "%s %03u", stem, n);
  return text;
}

std::vector<HandPerson> People() {
  std::vector<HandPerson> people;
  for (uint32_t k = 0; k < kPeople; ++k) {
    people.push_back(
        {Name("PERSON", (k * 7) % 430), static_cast<int32_t>(70000 + (k * 37) % 365)});
  }
  return people;
}

constexpr InnerShape kShapes[] = {InnerShape::kOwn, InnerShape::kNeighbours,
                                  InnerShape::kRightmostChild};

class KeyShapesTest : public driver_test::DriverFixture {
 protected:
  void Lay(InnerShape shape) {
    const std::vector<HandPerson> people = People();
    const testing::HandLaidRegister files =
        testing::LayRegister(people, DateShape(shape), NameShape(shape));
    for (const std::string* key : {&files.k01, &files.k02}) {
      ASSERT_EQ(testing::KeyHeight(*key), 3);
      ExpectLaidShape(*key, shape);
    }
    Use(files);
  }

  void Use(const testing::HandLaidRegister& files) {
    const std::vector<HandPerson> people = People();
    fs_.SetContents("/ZUN.DAT", files.dat);
    fs_.SetContents("/ZUN.K01", files.k01);
    fs_.SetContents("/ZUN.K02", files.k02);
    live_.clear();
    for (uint32_t r = 1; r <= people.size(); ++r) live_[r] = people[r - 1];
  }

  // The root's right link and its first child's links, read by hand: the
  // laid tree really has the shape asked for.
  static void ExpectLaidShape(const std::string& key, InnerShape shape) {
    const uint32_t root = key_test::U32(key, 0);
    const uint32_t root_right = key_test::U32(key, root * 512 + 1);
    const uint32_t first = key_test::U32(key, root * 512 + 13);
    const uint32_t first_right = key_test::U32(key, first * 512 + 1);
    switch (shape) {
      case InnerShape::kOwn:
        EXPECT_EQ(root_right, 0u);
        EXPECT_EQ(first_right, 0u);
        break;
      case InnerShape::kNeighbours:
        EXPECT_EQ(root_right, 0u);
        ASSERT_NE(first_right, 0u);
        EXPECT_EQ(key_test::U32(key, first_right * 512 + 5), first);
        EXPECT_EQ(key_test::U32(key, first_right * 512 + 9), root);
        break;
      case InnerShape::kRightmostChild:
        ASSERT_NE(root_right, 0u);
        EXPECT_EQ(key_test::U32(key, root_right * 512 + 9), root);
        ASSERT_NE(first_right, 0u);
        EXPECT_EQ(key_test::U32(key, first_right * 512 + 9), first);
        break;
    }
  }

  std::unique_ptr<DatFileInstance> Open() {
    auto zun = NewZun();
    EXPECT_EQ(OPEN(*zun, kAccessReadWrite | kShareDenyAll), 0);
    return zun;
  }

  // Record numbers in the order of a key: by the name (or date), then by
  // record number.
  std::vector<uint32_t> Expected(Key key) const {
    std::vector<uint32_t> order;
    for (const auto& [r, p] : live_) order.push_back(r);
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
      const HandPerson& pa = live_.at(a);
      const HandPerson& pb = live_.at(b);
      return key.index == kByName.index ? pa.fio < pb.fio : pa.date < pb.date;
    });
    return order;
  }

  // Seeks every value of `key` as GET by key does, then as SET and NEXT do
  // (by value, and by value and record number), and checks the records
  // found against the model.
  void ExpectEverySeekFinds(DatFileInstance& zun, Key key) {
    const bool by_name = key.index == kByName.index;
    std::map<std::string, std::vector<uint32_t>> groups;  // value -> records
    for (const uint32_t r : Expected(key)) {
      const HandPerson& p = live_.at(r);
      groups[by_name ? p.fio : std::to_string(p.date)].push_back(r);
    }
    for (const auto& [value, records] : groups) {
      const HandPerson& p = live_.at(records.front());
      driver_test::SetZun(zun, p.fio, p.date);
      ASSERT_EQ(GET(zun, key), 0) << value;
      EXPECT_EQ(POINTER(zun), records.front()) << value;
      driver_test::SetZun(zun, p.fio, p.date);
      ASSERT_EQ(SET(zun, key, key), 0) << value;
      std::vector<uint32_t> run;
      while (NEXT(zun) == 0 && (by_name ? driver_test::ZunFio(zun) == p.fio
                                        : driver_test::ZunData(zun) == p.date)) {
        run.push_back(POINTER(zun));
      }
      EXPECT_EQ(run, records) << value;
      // By value and record number, as a view finds its place again.
      driver_test::SetZun(zun, p.fio, p.date);
      ASSERT_EQ(SET(zun, key, key, records.back()), 0) << value;
      ASSERT_EQ(NEXT(zun), 0) << value;
      EXPECT_EQ(POINTER(zun), records.back()) << value;
    }
  }

  // The whole check: the checker and zunatool find nothing wrong, both keys
  // walk in the model's order, every value is found, and positions by
  // ordinal agree.
  void ExpectSound(const std::string& when) {
    SCOPED_TRACE(when);
    CheckResult result;
    ASSERT_OK(CheckDataFile(fs_, "/ZUN.DAT", {}, &result));
    std::string faults;
    for (const CheckFault& f : result.faults) {
      faults += f.file + "@" + std::to_string(f.offset) + ": " +
                values::Cp1251ToUtf8(f.text) + "\n";
    }
    EXPECT_TRUE(result.clean()) << faults;
    EXPECT_EQ(result.live_records, live_.size());

    testing::TempDir dir;
    for (const char* name : kFiles) {
      ASSERT_TRUE(testing::WriteFileBytes(dir.File(name),
                                          fs_.Contents(std::string("/") + name)));
    }
    const testing::ProgramResult r =
        testing::RunProgram(testing::BinPath("zunatool"), {"check", dir.File("ZUN")});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;

    auto zun = Open();
    for (const Key key : {kByName, kByDate}) {
      const std::vector<uint32_t> expected = Expected(key);
      EXPECT_EQ(WalkKey(*zun, key), expected);
      ExpectEverySeekFinds(*zun, key);
      for (uint32_t ordinal = 1; ordinal <= expected.size(); ordinal += 23) {
        ASSERT_EQ(GET(*zun, key, ordinal), 0) << ordinal;
        EXPECT_EQ(POINTER(*zun), expected[ordinal - 1]) << ordinal;
        EXPECT_EQ(POINTER(*zun, key), ordinal);
      }
    }
    EXPECT_EQ(CLOSE(*zun), 0);
  }

  void Add(DatFileInstance& zun, const HandPerson& p) {
    ASSERT_EQ(AddZun(zun, p.fio, p.date), 0) << p.fio;
    live_[POINTER(zun)] = p;
  }
  void Delete(DatFileInstance& zun, uint32_t record_no) {
    ASSERT_EQ(GET(zun, record_no), 0) << record_no;
    ASSERT_EQ(DELETE(zun), 0) << record_no;
    live_.erase(record_no);
  }

  // Empties the top of both keys, where a rightmost child holds the values,
  // then adds above, below and among the laid values while deleting at
  // random.
  void Change() {
    auto zun = Open();
    std::vector<uint32_t> top;
    for (const auto& [r, p] : live_) {
      if (p.fio >= Name("PERSON", 360) || p.date >= 70300) top.push_back(r);
    }
    for (const uint32_t r : top) Delete(*zun, r);
    std::mt19937 random(12);
    for (uint32_t i = 0; i < 360; ++i) {
      static const char* const kStems[] = {"AAA", "PERSON", "ZZZ"};
      const HandPerson p{Name(kStems[i % 3], random() % 500),
                         static_cast<int32_t>(69800 + random() % 800)};
      Add(*zun, p);
      if (i % 2 == 1) {
        auto victim = live_.begin();
        std::advance(victim, random() % live_.size());
        Delete(*zun, victim->first);
      }
    }
    EXPECT_EQ(CLOSE(*zun), 0);
  }

  // PACK closes up the record numbers in slot order.
  void Renumber() {
    std::map<uint32_t, HandPerson> packed;
    uint32_t r = 0;
    for (const auto& [old, p] : live_) packed[++r] = p;
    live_ = std::move(packed);
  }

  std::map<uint32_t, HandPerson> live_;  // record number -> person
};

TEST_F(KeyShapesTest, EachShapeIsSoundSoughtChangedAndRebuilt) {
  for (const InnerShape shape : kShapes) {
    SCOPED_TRACE(testing::InnerShapeName(shape));
    Lay(shape);
    ExpectSound("as laid");
    Change();
    ExpectSound("after adds and deletes");

    Lay(shape);
    {
      auto zun = Open();
      for (uint32_t r = 5; r <= kPeople; r += 9) Delete(*zun, r);
      ASSERT_EQ(PACK(*zun), 0);
      EXPECT_EQ(CLOSE(*zun), 0);
    }
    Renumber();
    ExpectSound("after PACK");

    Lay(shape);
    auto zun = NewZun();
    ASSERT_EQ(BUILD(*zun), 0);
    ExpectSound("after BUILD");
  }
}

// One entry a leaf and three children an inner node: some 780 nodes a key,
// more than a FILE's node cache has slots, so inner nodes share slots with
// nodes below them -- a rightmost child among them.  Every search that
// steps into a rightmost child must still arrive there.
TEST_F(KeyShapesTest, TreesOfMoreNodesThanTheCacheHoldsAreSoughtRight) {
  for (const InnerShape shape : kShapes) {
    SCOPED_TRACE(testing::InnerShapeName(shape));
    const HandTreeShape sparse{shape, 1, 3};
    Use(testing::LayRegister(People(), sparse, sparse));
    ExpectSound("as laid");
  }
}

// The name key alone, changed at random from each laid shape and checked
// after every change: single inserts and deletes anywhere, runs appended
// past the end (a full last leaf and full nodes above it get new right
// neighbours), and runs deleted at either end (rightmost children empty
// and go), down to an empty key and up again.
TEST_F(KeyShapesTest, RandomChangesKeepEveryShapeSound) {
  KeyLayout layout;
  const FileDecl decl = testing::ZunDeclaration();
  ASSERT_OK(KeyLayoutFor(decl, decl.keys[1], &layout));
  for (const InnerShape shape : kShapes) {
    SCOPED_TRACE(testing::InnerShapeName(shape));
    Lay(shape);
    std::set<std::string> model;  // entries: record number, padded name
    auto entry = [](uint32_t r, const std::string& fio) {
      return key_test::TextEntry(r, fio, 30);
    };
    auto order = [](const std::string& a, const std::string& b) {
      return a.substr(4) != b.substr(4) ? a.substr(4) < b.substr(4)
                                        : key_test::U32(a, 0) < key_test::U32(b, 0);
    };
    for (const auto& [r, p] : live_) model.insert(entry(r, p.fio));
    std::unique_ptr<KeyFile> key;
    KeyOpenParams params;
    params.file.write = true;
    params.records = kPeople;
    ASSERT_OK(KeyFile::Open(fs_, "/ZUN.K02", layout, params, &key));

    std::mt19937 random(7);
    uint32_t next_record = 1000, appended = 0;
    auto insert = [&](const std::string& fio) {
      const std::string e = entry(next_record++, fio);
      ASSERT_OK(key->Insert(e));
      model.insert(e);
    };
    auto remove = [&](const std::string& e) {
      ASSERT_OK(key->Delete(e));
      model.erase(e);
    };
    auto sorted = [&] {
      std::vector<std::string> all(model.begin(), model.end());
      std::sort(all.begin(), all.end(), order);
      return all;
    };
    for (int step = 0; step < 900; ++step) {
      SCOPED_TRACE("step " + std::to_string(step));
      const uint32_t what = random() % 20;
      if (what < 8) {
        static const char* const kStems[] = {"AAA", "PERSON", "ZZZ"};
        insert(Name(kStems[random() % 3], random() % 500));
      } else if (what < 10) {
        for (int i = 0; i < 20; ++i) insert(Name("ZZZZ", 10000 + appended++));
      } else if (what < 18 && !model.empty()) {
        auto victim = model.begin();
        std::advance(victim, random() % model.size());
        remove(*victim);
      } else {
        const std::vector<std::string> all = sorted();
        const size_t n = std::min<size_t>(all.size(), 30);
        for (size_t i = 0; i < n; ++i) {
          remove(what == 18 ? all[all.size() - 1 - i] : all[i]);
        }
      }
      ASSERT_EQ(key_test::Faults(fs_, "/ZUN.K02", layout), "");
    }
    const std::vector<std::string> all = sorted();
    KeyPosition at;
    ASSERT_OK(key->First(&at));
    for (const std::string& e : all) {
      ASSERT_EQ(at.entry, e);
      bool found = false;
      ASSERT_OK(key->Next(&at, &found));
      EXPECT_EQ(found, &e != &all.back());
    }
    for (size_t i = 0; i < all.size(); i += 7) {
      ASSERT_OK(key->Search(all[i], false, &at));
      EXPECT_EQ(at.state, SearchState::kFound);
      EXPECT_EQ(at.entry, all[i]);
    }
    for (const std::string& e : all) remove(e);
    EXPECT_EQ(key_test::Faults(fs_, "/ZUN.K02", layout), "");
    EXPECT_EQ(key->header().height, 1);
    for (int i = 0; i < 100; ++i) insert(Name("PERSON", i));
    EXPECT_EQ(key_test::Faults(fs_, "/ZUN.K02", layout), "");
  }
}

// --- Damage. ---

// The name key's nodes as laid: leaves 1-44, inner nodes 45-50, root 51
// (the helper numbers leaves first, the root last).
constexpr uint32_t kRoot = 51;
constexpr size_t kNameEntry = 34;

class KeyShapeDamageTest : public KeyShapesTest {
 public:  // the damage table reaches these through a pointer
  void SetU32(uint64_t offset, uint32_t value) {
    std::string bytes = fs_.Contents("/ZUN.K02");
    bytes.replace(offset, 4, key_test::Le32(value));
    fs_.SetContents("/ZUN.K02", bytes);
  }
  key_test::RawNode Node(uint32_t node) const {
    return key_test::ParseNode(key_test::Block(fs_, "/ZUN.K02", node), kNameEntry);
  }
  static uint64_t At(uint32_t node, size_t field) { return node * 512ull + field; }
};

// Every name is sought in the damaged key: each search either finds an
// entry of that name or answers 46; `fails` says whether some must be 46.
TEST_F(KeyShapeDamageTest, DamagedShapesAnswer46OrTheTruthAndTheCheckerSaysSo) {
  struct Case {
    const char* what;
    InnerShape shape;
    std::function<void(KeyShapeDamageTest*)> damage;
    bool fails;
  };
  const Case cases[] = {
      {"rightmost child's parent field cleared", InnerShape::kRightmostChild,
       [](KeyShapeDamageTest* t) { t->SetU32(At(t->Node(kRoot).right, 9), 0); },
       true},
      {"rightmost child names back as a neighbour", InnerShape::kRightmostChild,
       [](KeyShapeDamageTest* t) {
         t->SetU32(At(t->Node(kRoot).right, 5), kRoot);
       },
       true},
      {"inner right link to itself", InnerShape::kRightmostChild,
       [](KeyShapeDamageTest* t) { t->SetU32(At(45, 1), 45); }, true},
      {"root's right link to a leaf that claims it", InnerShape::kRightmostChild,
       [](KeyShapeDamageTest* t) {
         t->SetU32(At(kRoot, 1), 44);
         t->SetU32(At(44, 9), kRoot);
       },
       true},
      {"neighbour link skips a node", InnerShape::kNeighbours,
       [](KeyShapeDamageTest* t) { t->SetU32(At(45, 1), 47); }, false},
      {"neighbour link not returned", InnerShape::kNeighbours,
       [](KeyShapeDamageTest* t) { t->SetU32(At(46, 5), 0); }, false},
      {"root's last separator too low", InnerShape::kOwn,
       [](KeyShapeDamageTest* t) {
         const int last = t->Node(kRoot).count - 1;
         t->SetU32(At(kRoot, 13 + last * kNameEntry + 4), 0x20202020);
       },
       true},
      {"a separator too low before a rightmost child", InnerShape::kRightmostChild,
       [](KeyShapeDamageTest* t) {
         const int last = t->Node(kRoot).count - 1;
         t->SetU32(At(kRoot, 13 + last * kNameEntry + 4), 0x20202020);
       },
       true},
      {"a separator too low in a linked level", InnerShape::kNeighbours,
       [](KeyShapeDamageTest* t) { t->SetU32(At(kRoot, 13 + 4), 0x20202020); },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Lay(c.shape);
    ASSERT_EQ(Node(kRoot).parent, 0u);
    c.damage(this);
    KeyLayout layout;
    const FileDecl decl = testing::ZunDeclaration();
    ASSERT_OK(KeyLayoutFor(decl, decl.keys[1], &layout));
    EXPECT_NE(key_test::Faults(fs_, "/ZUN.K02", layout), "");

    std::unique_ptr<KeyFile> key;
    KeyOpenParams params;
    params.records = kPeople;
    ASSERT_OK(KeyFile::Open(fs_, "/ZUN.K02", layout, params, &key));
    int failed = 0;
    for (const auto& [r, p] : live_) {
      KeyPosition at;
      const Status status =
          key->Search(key_test::TextEntry(0, p.fio, 30), false, &at);
      key->EndOperation();
      if (!status.ok()) {
        EXPECT_EQ(status.code(), 46) << p.fio;
        ++failed;
        continue;
      }
      ASSERT_EQ(at.state, SearchState::kFound) << p.fio;
      EXPECT_EQ(live_.at(at.record_no()).fio, p.fio);
    }
    EXPECT_EQ(failed > 0, c.fails) << failed;

    testing::TempDir dir;
    for (const char* name : kFiles) {
      ASSERT_TRUE(testing::WriteFileBytes(dir.File(name),
                                          fs_.Contents(std::string("/") + name)));
    }
    const testing::ProgramResult check =
        testing::RunProgram(testing::BinPath("zunatool"), {"check", dir.File("ZUN")});
    EXPECT_NE(check.exit_code, 0) << check.out;
    EXPECT_NE(check.exit_code, -1) << "zunatool did not end normally";
  }
}

}  // namespace
}  // namespace zuna::datfile
