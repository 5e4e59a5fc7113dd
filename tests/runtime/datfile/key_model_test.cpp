// Random inserts, deletes, searches and steps on a key file, compared after
// every operation with a std::set of (value, record number), and after
// every batch with the checker, the header and a full walk both ways.
// Long values make nodes hold few entries, so trees split, grow and shrink
// within a few hundred steps.  Seeds come from --gtest_random_seed and are
// printed on failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>

#include "runtime/datfile/key_encoding.h"
#include "runtime/datfile/key_file.h"
#include "tests/runtime/datfile/key_test_util.h"
#include "tests/support/mem_fs.h"
#include "tests/support/status_matchers.h"

namespace zuna::datfile {
namespace {

struct Shape {
  const char* name;
  uint16_t width;  // STRING width: 245 -> 2 a node, 120 -> 4, 60 -> 7 ...
  bool dup;
  int distinct;  // how many different values the random ones come from
  int steps;
};

std::ostream& operator<<(std::ostream& out, const Shape& s) {
  return out << s.name;
}

using Model = std::set<std::pair<std::string, uint32_t>>;

class KeyModelTest : public ::testing::TestWithParam<Shape> {
 protected:
  void SetUp() override {
    const Shape& shape = GetParam();
    decl_ = key_test::StringFile(shape.width, shape.dup);
    ASSERT_OK(KeyLayoutFor(decl_, decl_.keys[0], &layout_));
    ASSERT_OK(KeyFile::Create(fs_, kPath, layout_, OpenOptions{}, &key_));
  }

  std::string Value(int n) const {
    char text[16];
    std::snprintf(text, sizeof text, "V%05d", n);
    return key_test::Padded(text, GetParam().width);
  }
  std::string Entry(const std::string& value, uint32_t record_no) const {
    return key_test::Le32(record_no) + value;
  }

  void Run(uint32_t seed);
  void RandomInsert();
  void RandomDelete();
  void RandomSearch();
  void RandomSteps();
  void CheckAll();
  void Reopen();

  static constexpr char kPath[] = "/M.K01";
  testing::MemFileSystem fs_;
  FileDecl decl_;
  KeyLayout layout_;
  std::unique_ptr<KeyFile> key_;
  Model model_;
  std::set<uint32_t> used_records_;
  std::mt19937 random_;
  int highest_ = 0;
};

void KeyModelTest::RandomInsert() {
  const Shape& shape = GetParam();
  int n;
  if (random_() % 4 == 0) {
    n = ++highest_;  // ascending loading: the append path
  } else {
    n = static_cast<int>(random_() % shape.distinct);
    highest_ = std::max(highest_, n);
  }
  const std::string value = Value(n);
  uint32_t record_no;
  do {
    record_no = 1 + random_() % 1000000;
  } while (!used_records_.insert(record_no).second);
  if (!shape.dup) {
    // The record writer's duplicate check comes first.
    KeyPosition at;
    ASSERT_OK(key_->Search(Entry(value, record_no), true, &at));
    const auto it = model_.lower_bound({value, 0});
    const bool exists = it != model_.end() && it->first == value;
    ASSERT_EQ(at.state == SearchState::kFound, exists);
    if (exists) return;
  }
  ASSERT_OK(key_->Insert(Entry(value, record_no)));
  model_.insert({value, record_no});
}

void KeyModelTest::RandomDelete() {
  if (model_.empty()) return;
  auto it = model_.begin();
  std::advance(it, random_() % model_.size());
  ASSERT_OK(key_->Delete(Entry(it->first, it->second)));
  model_.erase(it);
}

void KeyModelTest::RandomSearch() {
  const std::string value =
      Value(static_cast<int>(random_() % (GetParam().distinct + 2)) - 1);
  const uint32_t kind = random_() % 3;
  const bool exact = kind == 0;
  uint32_t record_no = kind == 1 ? 0 : random_() % 1000000;
  if (kind == 2 && !model_.empty() && random_() % 2 == 0) {
    auto it = model_.begin();
    std::advance(it, random_() % model_.size());
    record_no = it->second;  // searches that hit an entry exactly
  }
  KeyPosition at;
  ASSERT_OK(key_->Search(Entry(value, record_no), exact, &at));
  const bool any = exact || record_no == 0;
  const auto it = model_.lower_bound({value, any ? 0 : record_no});
  if (it == model_.end()) {
    EXPECT_EQ(at.state, SearchState::kPastEnd);
    EXPECT_EQ(at.node, key_->header().last_leaf);
    return;
  }
  const bool found = it->first == value && (any || it->second == record_no);
  EXPECT_EQ(at.state, found ? SearchState::kFound : SearchState::kPositioned);
  EXPECT_EQ(at.record_no(), it->second);
  EXPECT_EQ(at.entry.substr(4), it->first);
}

void KeyModelTest::RandomSteps() {
  if (model_.empty()) return;
  auto it = model_.begin();
  std::advance(it, random_() % model_.size());
  KeyPosition at;
  ASSERT_OK(key_->Search(Entry(it->first, it->second), false, &at));
  ASSERT_EQ(at.state, SearchState::kFound);
  const bool forward = random_() % 2 == 0;
  const int steps = 1 + random_() % 20;
  for (int i = 0; i < steps; ++i) {
    bool found = false;
    if (forward) {
      ASSERT_OK(key_->Next(&at, &found));
      ++it;
      ASSERT_EQ(found, it != model_.end());
      if (!found) return;
    } else {
      ASSERT_OK(key_->Previous(&at, &found));
      ASSERT_EQ(found, it != model_.begin());
      if (!found) return;
      --it;
    }
    ASSERT_EQ(at.record_no(), it->second);
    // Within one operation the remembered leaf serves the next search.
    KeyPosition again;
    ASSERT_OK(key_->Search(Entry(it->first, it->second), false, &again));
    ASSERT_EQ(again.state, SearchState::kFound);
    ASSERT_EQ(again.node, at.node);
  }
  key_->EndOperation();
}

void KeyModelTest::CheckAll() {
  std::vector<KeyFault> faults;
  ASSERT_OK(key_->CheckStructure(&faults));
  for (const KeyFault& f : faults) ADD_FAILURE() << f.what;
  ASSERT_TRUE(faults.empty());
  const KeyHeader& h = key_->header();
  ASSERT_EQ(h.entry_count, model_.size());
  ASSERT_EQ(h.first_record, model_.empty() ? 0 : model_.begin()->second);
  ASSERT_EQ(h.last_record, model_.empty() ? 0 : model_.rbegin()->second);
  if (model_.empty()) {
    ASSERT_EQ(h.height, 1);
    ASSERT_EQ(h.last_leaf, h.root);
  }
  // Forward and backward walks.
  KeyPosition at;
  ASSERT_OK(key_->First(&at));
  bool found = at.state != SearchState::kPastEnd;
  for (const auto& [value, record_no] : model_) {
    ASSERT_TRUE(found);
    ASSERT_EQ(at.record_no(), record_no);
    ASSERT_EQ(at.entry.substr(4), value);
    ASSERT_OK(key_->Next(&at, &found));
  }
  ASSERT_FALSE(found);
  ASSERT_OK(key_->Last(&at));
  found = at.state != SearchState::kPastEnd;
  for (auto it = model_.rbegin(); it != model_.rend(); ++it) {
    ASSERT_TRUE(found);
    ASSERT_EQ(at.record_no(), it->second);
    ASSERT_OK(key_->Previous(&at, &found));
  }
  ASSERT_FALSE(found);
  // Ordinals both ways, at a few places.
  for (int i = 0; i < 3 && !model_.empty(); ++i) {
    const uint32_t ordinal = 1 + random_() % model_.size();
    auto it = model_.begin();
    std::advance(it, ordinal - 1);
    ASSERT_OK(key_->EntryAt(ordinal, &at, &found));
    ASSERT_TRUE(found);
    ASSERT_EQ(at.record_no(), it->second);
    uint32_t back = 0;
    ASSERT_OK(key_->OrdinalOf(Entry(it->first, it->second), &back));
    ASSERT_EQ(back, ordinal);
  }
  key_->EndOperation();
}

void KeyModelTest::Reopen() {
  key_.reset();
  KeyOpenParams params;
  params.file.write = true;
  params.records = static_cast<uint32_t>(model_.size());
  ASSERT_OK(KeyFile::Open(fs_, kPath, layout_, params, &key_));
}

void KeyModelTest::Run(uint32_t seed) {
  random_.seed(seed);
  const int steps = GetParam().steps;
  for (int step = 1; step <= steps; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    // Grow for the first half, then shrink, so trees get tall and then
    // empty out completely.
    const uint32_t insert_share = step < steps / 2 ? 55 : 25;
    const uint32_t roll = random_() % 100;
    if (roll < insert_share) {
      ASSERT_NO_FATAL_FAILURE(RandomInsert());
    } else if (roll < 70) {
      ASSERT_NO_FATAL_FAILURE(RandomDelete());
    } else if (roll < 85) {
      ASSERT_NO_FATAL_FAILURE(RandomSearch());
    } else {
      ASSERT_NO_FATAL_FAILURE(RandomSteps());
    }
    key_->EndOperation();
    if (step % 50 == 0) {
      ASSERT_NO_FATAL_FAILURE(CheckAll());
    }
    if (step % 400 == 0) {
      ASSERT_NO_FATAL_FAILURE(Reopen());
    }
  }
  // Empty it out: the key must end as a one-level tree.
  while (!model_.empty()) ASSERT_NO_FATAL_FAILURE(RandomDelete());
  ASSERT_NO_FATAL_FAILURE(CheckAll());
}

TEST_P(KeyModelTest, RandomOperationsMatchAnOrderedSet) {
  const uint32_t base =
      static_cast<uint32_t>(::testing::UnitTest::GetInstance()->random_seed());
  for (uint32_t i = 1; i <= 3; ++i) {
    const uint32_t seed = base * 7919u + i;
    SCOPED_TRACE("--gtest_random_seed=" + std::to_string(base) + ", run " +
                 std::to_string(i));
    SetUp();
    model_.clear();
    used_records_.clear();
    highest_ = 0;
    ASSERT_NO_FATAL_FAILURE(Run(seed));
  }
}

INSTANTIATE_TEST_SUITE_P(
    KeyShapes, KeyModelTest,
    ::testing::Values(Shape{"Two_a_node_dup", 245, true, 40, 3000},
                      Shape{"Two_a_node_unique", 245, false, 400, 3000},
                      Shape{"Four_a_node_dup", 120, true, 25, 3000},
                      Shape{"Seven_a_node_unique", 60, false, 2000, 3000},
                      Shape{"Fourteen_a_node_dup", 30, true, 300, 4000}),
    [](const ::testing::TestParamInfo<Shape>& info) {
      return std::string(info.param.name);
    });

}  // namespace
}  // namespace zuna::datfile
