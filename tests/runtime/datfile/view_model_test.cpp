// The view against a brute-force evaluation: random register files (both
// keys, duplicates, sometimes records an OPT key leaves out), random orders
// (descending items, UPPER, LOWER, expressions, several items) and random
// filters (comparisons on the first order item that can end a scan early,
// inside AND, OR, XOR and NOT, mixed with ones that cannot).  The expected
// records are every record for which the filter, evaluated on its own
// (RecordFilter, not the view), is true, sorted by item values computed
// here; ties by record number in the last item's direction.  Seeds come from
// --gtest_random_seed and are printed on failure.
#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "runtime/datfile/record_filter.h"
#include "runtime/datfile/view.h"
#include "runtime/values/evaluator.h"
#include "runtime/values/locale.h"
#include "tests/runtime/datfile/driver_test_util.h"

namespace zuna::datfile::driver_test {
namespace {

using Kind = View::AccessPath::Kind;

struct Person {
  uint32_t record_no = 0;
  std::string fio;  // 30 bytes, blank-padded
  int32_t data = 0;
  int32_t data1 = 0;
};

// An item's value for the brute force: a number or a text.
struct Value {
  bool is_text = false;
  double number = 0;
  std::string text;
};

int Compare(const Value& a, const Value& b) {
  if (a.is_text) {
    const int c = values::CompareStrings(a.text, b.text);
    return c < 0 ? -1 : c > 0;
  }
  return a.number < b.number ? -1 : a.number > b.number;
}

// The order items the generator picks from, and their values computed
// without the view or the evaluator.
struct ItemKind {
  const char* text;
  bool is_text;
  Value (*value)(const Person&);
};

Value Number(double n) { return Value{false, n, {}}; }
Value Text(std::string t) { return Value{true, 0, std::move(t)}; }

const ItemKind kItems[] = {
    {"ZUN:DATA", false, [](const Person& p) { return Number(p.data); }},
    {"UPPER(ZUN:DATA)", false, [](const Person& p) { return Number(p.data); }},
    {"ZUN:DATA1", false, [](const Person& p) { return Number(p.data1); }},
    {"UPPER(ZUN:FIO)", true,
     [](const Person& p) { return Text(values::ToUpper(p.fio)); }},
    {"upper(zun:fio)", true,
     [](const Person& p) { return Text(values::ToUpper(p.fio)); }},
    {"LOWER(ZUN:FIO)", true,
     [](const Person& p) { return Text(values::ToLower(p.fio)); }},
    {"ZUN:FIO", true, [](const Person& p) { return Text(p.fio); }},
    {"SUB(ZUN:FIO,2,2)", true,
     [](const Person& p) { return Text(p.fio.substr(1, 2)); }},
    {"ZUN:DATA % 5", false,
     [](const Person& p) { return Number(std::fmod(p.data, 5.0)); }},
    {"ZUN:DATA1 * 3 - ZUN:DATA", false,
     [](const Person& p) { return Number(p.data1 * 3.0 - p.data); }},
};

struct Item {
  const ItemKind* kind;
  bool descending;
};

// Names from a few letters of both cases, blanks, '_' and two Cyrillic
// letters (1251), so that case, collation and ties all matter.
const char kLetters[] = {'a', 'A', 'b', 'B',    'z',
                         '_', ' ', '1', '\xE0', '\xC1'};

class ViewModelTest : public DriverFixture {
 protected:
  void SetUp() override { values::PUSHBIND(true); }
  void TearDown() override { values::POPBIND(); }

  uint32_t Random(uint32_t n) {
    return std::uniform_int_distribution<uint32_t>(0, n - 1)(random_);
  }
  bool Chance(int percent) { return static_cast<int>(Random(100)) < percent; }

  std::string RandomName() {
    std::string name;
    const uint32_t length = Random(5);
    for (uint32_t i = 0; i < length; ++i)
      name += kLetters[Random(sizeof kLetters)];
    return name;
  }

  // A new file of random people, some deleted and some changed again, so
  // record numbers have gaps and RECLAIM reuses slots.
  void MakeFile() {
    zun_.reset();
    fs_.Remove("/ZUN.DAT").ok();
    fs_.Remove("/ZUN.K01").ok();
    fs_.Remove("/ZUN.K02").ok();
    zun_ = OpenNewZun();
    const bool blanks = Chance(30);
    const uint32_t count = Random(45);
    for (uint32_t i = 0; i < count; ++i) {
      std::string name = RandomName();
      int32_t data = 1 + static_cast<int32_t>(Random(12));
      if (!blanks && name.find_first_not_of(' ') == std::string::npos)
        name = "b";
      if (blanks && Chance(15)) data = 0;
      ASSERT_EQ(AddZun(*zun_, name, data, static_cast<int32_t>(Random(6))), 0);
    }
    for (uint32_t i = 0; i < count / 5; ++i) {
      const uint32_t record_no = 1 + Random(count);
      if (GET(*zun_, record_no) != 0) continue;
      if (Chance(50)) {
        ASSERT_EQ(DELETE(*zun_), 0);
      } else {
        ASSERT_EQ(PutZun(*zun_, blanks ? RandomName() : "c" + RandomName(),
                         1 + static_cast<int32_t>(Random(12))),
                  0);
      }
    }
    people_.clear();
    ASSERT_EQ(SET(*zun_), 0);
    while (NEXT(*zun_) == 0) {
      Person p;
      p.record_no = POINTER(*zun_);
      p.fio.assign(zun_->record().data(), 30);
      p.data = ZunData(*zun_);
      p.data1 = ZunLong(*zun_, 34);
      people_.push_back(p);
    }
  }

  std::vector<Item> RandomOrder() {
    std::vector<Item> items;
    if (Chance(8)) return items;
    const uint32_t count = Chance(70) ? 1 : 1 + Random(3);
    const bool same_sign = Chance(70);
    const bool descending = Chance(50);
    for (uint32_t i = 0; i < count; ++i) {
      // The key forms come up more often than the rest.
      const uint32_t pick = Chance(60) ? Random(5) : Random(std::size(kItems));
      items.push_back({&kItems[pick], same_sign ? descending : Chance(50)});
    }
    return items;
  }

  static std::string OrderText(const std::vector<Item>& items) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
      if (i > 0) text += i % 2 ? ", " : ",\t";
      text += items[i].descending ? "-" : (i % 2 ? "+" : "");
      text += items[i].kind->text;
    }
    return text;
  }

  std::string RandomRelop() {
    static const char* const kRelops[] = {
        "=", "<>", "<", ">", "<=", ">=", "=<", "=>", "~=", "~<", "~>"};
    return kRelops[Random(std::size(kRelops))];
  }

  std::string RandomTextConstant() {
    std::string name = RandomName();
    std::string quoted = "'";
    for (char c : name)
      quoted += c == '\'' ? std::string("''") : std::string(1, c);
    quoted += "'";
    return Chance(30) ? "UPPER(" + quoted + ")" : quoted;
  }

  // A comparison, most often of the first order item with a constant or a
  // bound variable (either way round).
  std::string RandomAtom(const std::vector<Item>& items) {
    if (!items.empty() && Chance(65)) {
      const ItemKind& first = *items[0].kind;
      std::string value;
      if (first.is_text) {
        value = RandomTextConstant();
      } else if (Chance(25)) {
        value = Chance(70) ? "lim" : "lim + 0";
      } else {
        value = std::to_string(static_cast<int>(Random(14)) - 1);
      }
      return Chance(75)
                 ? std::string(first.text) + " " + RandomRelop() + " " + value
                 : value + " " + RandomRelop() + " " + first.text;
    }
    switch (Random(6)) {
      case 0:
        return "ZUN:DATA1 " + RandomRelop() + " " + std::to_string(Random(6));
      case 1:
        return "ZUN:DATA " + RandomRelop() + " lim";
      case 2:
        return "UPPER(ZUN:FIO) " + RandomRelop() + " " + RandomTextConstant();
      case 3:
        return "ZUN:DATA " + RandomRelop() + " ZUN:DATA1 * 2";
      case 4:
        return "ZUN:DATA < today() - 76030";
      default:
        return "SUB(ZUN:FIO,1,1) = 'a'";
    }
  }

  std::string RandomFilter(const std::vector<Item>& items, int depth = 0) {
    if (depth == 0 && Chance(8)) return "";
    if (depth >= 2 || Chance(40)) return RandomAtom(items);
    switch (Random(5)) {
      case 0:
        return "NOT (" + RandomFilter(items, depth + 1) + ")";
      case 1:
        return "~" + RandomAtom(items);
      case 2:
        return "(" + RandomFilter(items, depth + 1) + ") OR " +
               RandomFilter(items, depth + 1);
      case 3:
        return RandomFilter(items, depth + 1) + " XOR (" +
               RandomFilter(items, depth + 1) + ")";
      default:
        return RandomFilter(items, depth + 1) + " and " +
               RandomFilter(items, depth + 1);
    }
  }

  // Every passing record, in view order.
  std::vector<uint32_t> Expected(const std::vector<Item>& items,
                                 const std::string& filter) {
    std::unique_ptr<RecordFilter> accepts;
    if (!filter.empty()) {
      EXPECT_OK(RecordFilter::Create(zun_->declaration(), filter, &accepts))
          << filter;
    }
    std::vector<const Person*> passing;
    for (const Person& p : people_) {
      if (accepts &&
          !accepts->Accepts(testing::ZunRecord(p.fio, p.data, p.data1)))
        continue;
      passing.push_back(&p);
    }
    const bool ties_ascend = items.empty() || !items.back().descending;
    std::sort(passing.begin(), passing.end(),
              [&](const Person* a, const Person* b) {
                for (const Item& item : items) {
                  int c = Compare(item.kind->value(*a), item.kind->value(*b));
                  if (item.descending) c = -c;
                  if (c != 0) return c < 0;
                }
                return ties_ascend ? a->record_no < b->record_no
                                   : a->record_no > b->record_no;
              });
    std::vector<uint32_t> out;
    for (const Person* p : passing) out.push_back(p->record_no);
    return out;
  }

  static std::vector<uint32_t> ReadAll(View& view, bool forward) {
    std::vector<uint32_t> out;
    for (;;) {
      const int32_t code = forward ? view.Next() : view.Previous();
      if (code != 0) {
        EXPECT_EQ(code, 33);
        return out;
      }
      out.push_back(view.current_record());
    }
  }

  const Person& PersonAt(uint32_t record_no) const {
    return *std::find_if(people_.begin(), people_.end(), [&](const Person& p) {
      return p.record_no == record_no;
    });
  }

  void CheckOne(const std::vector<Item>& items, const std::string& filter) {
    const std::string order = OrderText(items);
    SCOPED_TRACE("order \"" + order + "\", filter \"" + filter + "\"");
    const std::vector<uint32_t> expected = Expected(items, filter);
    View view(*zun_);
    ASSERT_EQ(view.SetOrder(order), 0);
    ASSERT_EQ(view.SetFilter(filter), 0);
    ASSERT_EQ(view.Open(), 0);
    ASSERT_EQ(view.Set(), 0);
    ASSERT_EQ(ReadAll(view, true), expected);
    ++paths_[static_cast<int>(view.access_path().kind)];
    early_ends_ += view.can_end_early();
    ASSERT_EQ(view.Set(), 0);
    ASSERT_EQ(ReadAll(view, false),
              std::vector<uint32_t>(expected.rbegin(), expected.rend()));
    EXPECT_EQ(view.Records(), expected.size());
    if (expected.empty()) return;

    // From the place of one of the records, both ways.
    const size_t at = Random(static_cast<uint32_t>(expected.size()));
    ASSERT_EQ(view.Set(), 0);
    for (size_t i = 0; i <= at; ++i) ASSERT_EQ(view.Next(), 0);
    const std::string position = view.Position();
    ASSERT_EQ(view.Reset(position), 0);
    ASSERT_EQ(ReadAll(view, true),
              std::vector<uint32_t>(expected.begin() + at, expected.end()));
    ASSERT_EQ(view.Reset(position), 0);
    ASSERT_EQ(ReadAll(view, false),
              std::vector<uint32_t>(
                  expected.rend() - static_cast<std::ptrdiff_t>(at) - 1,
                  expected.rend()));

    // From the first item's value in the record buffer, both ways.
    if (items.empty()) return;
    const Person& probe =
        people_[Random(static_cast<uint32_t>(people_.size()))];
    const Value start = items[0].kind->value(probe);
    std::vector<uint32_t> from;
    std::vector<uint32_t> upto;
    for (uint32_t record_no : expected) {
      int c = Compare(items[0].kind->value(PersonAt(record_no)), start);
      if (items[0].descending) c = -c;
      if (c >= 0) from.push_back(record_no);
      if (c <= 0) upto.insert(upto.begin(), record_no);
    }
    SetZun(*zun_, probe.fio, probe.data, probe.data1);
    ASSERT_EQ(view.Set(1), 0);
    ASSERT_EQ(ReadAll(view, true), from);
    SetZun(*zun_, probe.fio, probe.data, probe.data1);
    ASSERT_EQ(view.Set(1), 0);
    ASSERT_EQ(ReadAll(view, false), upto);
  }

  void Run(uint32_t seed) {
    random_.seed(seed);
    for (int file = 0; file < 60; ++file) {
      ASSERT_NO_FATAL_FAILURE(MakeFile());
      for (int view = 0; view < 12; ++view) {
        limit_ = static_cast<int32_t>(Random(14));
        const std::vector<Item> items = RandomOrder();
        ASSERT_NO_FATAL_FAILURE(CheckOne(items, RandomFilter(items)));
      }
    }
  }

  std::mt19937 random_;
  std::unique_ptr<DatFileInstance> zun_;
  std::vector<Person> people_;
  int32_t limit_ = 0;
  int paths_[4] = {0, 0, 0, 0};
  int early_ends_ = 0;
};

TEST_F(ViewModelTest, EqualsTheFilterEvaluatedOnEveryRecordInOrder) {
  values::BIND("lim", values::RefLong(limit_));
  const uint32_t base =
      static_cast<uint32_t>(::testing::UnitTest::GetInstance()->random_seed());
  for (uint32_t i = 1; i <= 3; ++i) {
    SCOPED_TRACE("--gtest_random_seed=" + std::to_string(base) + ", run " +
                 std::to_string(i));
    ASSERT_NO_FATAL_FAILURE(Run(base * 7919u + i));
  }
  // Every access path was taken, and early ends were on offer.
  EXPECT_GT(paths_[static_cast<int>(Kind::kFileOrder)], 0);
  EXPECT_GT(paths_[static_cast<int>(Kind::kKey)], 100);
  EXPECT_GT(paths_[static_cast<int>(Kind::kSortedPass)], 100);
  EXPECT_GT(early_ends_, 100);
}

}  // namespace
}  // namespace zuna::datfile::driver_test
