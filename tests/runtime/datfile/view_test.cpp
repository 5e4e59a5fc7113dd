// The view engine over the register's ZUN: order text, access path, filter,
// early end, positions and the writes that reach the current record.  The
// randomized comparison with a brute-force evaluation is view_model_test.cpp.
//
// These tests run with the built-in locale (identity collation, ASCII case
// pairs), so the names are ASCII; the register's own locale is exercised by
// zunatool's tests.
#include "runtime/datfile/view.h"

#include <string>
#include <vector>

#include "runtime/values/evaluator.h"
#include "tests/runtime/datfile/driver_test_util.h"

namespace zuna::datfile::driver_test {
namespace {

using Kind = View::AccessPath::Kind;

constexpr uint32_t kShared = kAccessReadWrite | kShareDenyNone;

// Record numbers the view returns, reading until 33.
std::vector<uint32_t> ReadAll(View& view, bool forward = true) {
  std::vector<uint32_t> out;
  for (;;) {
    const int32_t code = forward ? view.Next() : view.Previous();
    if (code != 0) {
      EXPECT_EQ(code, 33);
      break;
    }
    out.push_back(view.current_record());
  }
  return out;
}

std::vector<uint32_t> Reversed(std::vector<uint32_t> v) {
  std::reverse(v.begin(), v.end());
  return v;
}

class ViewTest : public DriverFixture {
 protected:
  void SetUp() override {
    values::PUSHBIND(true);
    zun_ = OpenNewZun();
  }
  void TearDown() override { values::POPBIND(); }

  // Adds the people; their record numbers are 1, 2, ... in this order.
  void Add(std::vector<std::pair<std::string, int32_t>> people) {
    for (const auto& [fio, data] : people)
      ASSERT_EQ(AddZun(*zun_, fio, data), 0);
  }

  // Records 1..n with DATA 1..n and DATA1 = n - DATA.
  void AddCounting(int n) {
    for (int i = 1; i <= n; ++i) {
      ASSERT_EQ(AddZun(*zun_, "P" + std::to_string(i), i, n - i), 0);
    }
  }

  // An open view of ZUN with `order` and `filter`, at the start.
  std::unique_ptr<View> NewView(std::string_view order,
                                std::string_view filter = "") {
    auto view = std::make_unique<View>(*zun_);
    EXPECT_EQ(view->SetOrder(order), 0) << order;
    EXPECT_EQ(view->SetFilter(filter), 0) << filter;
    EXPECT_EQ(view->Open(), 0);
    EXPECT_EQ(view->Set(), 0);
    return view;
  }

  std::unique_ptr<DatFileInstance> zun_;
};

TEST_F(ViewTest, OrderTextIsCutIntoItemsUpToTheFirstThatDoesNotParse) {
  View view(*zun_);
  EXPECT_EQ(view.SetOrder(" ZUN:DATA ,\t-UPPER(ZUN:FIO) , +SUB(ZUN:FIO,2,3)"),
            0);
  EXPECT_EQ(view.order_items(), 3u);
  EXPECT_TRUE(view.rebuild_pending());

  struct Row {
    const char* order;
    int32_t error;
    size_t items;
  } rows[] = {
      {"", 0, 0},
      {"  \t ", 0, 0},
      {"ZUN:DATA, ZUN:NOBODY, ZUN:FIO", 1011, 1},
      {"ZUN:DATA,", 1010, 1},
      {"ZUN:DATA,,ZUN:FIO", 1010, 1},
      {"ZUN:DATA, -(ZUN:FIO", 1010, 1},
      {"ZUN:FIO, ZUN:DATA, 'open", 1010, 2},
      {"today", 1010, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.order);
    EXPECT_EQ(view.SetOrder(row.order), row.error);
    EXPECT_EQ(values::ERRORCODE(), row.error);
    EXPECT_EQ(view.order_items(), row.items);
    EXPECT_EQ(view.order(), row.order);
  }
}

TEST_F(ViewTest, AccessPathIsAKeyWhenItsOrderIsTheItems) {
  Add({{"b", 30}, {"A", 10}, {"a", 20}, {"B", 10}});
  struct Row {
    const char* order;
    Kind kind;
    int key;
    bool backwards;
    std::vector<uint32_t> records;
  } rows[] = {
      {"", Kind::kFileOrder, -1, false, {1, 2, 3, 4}},
      {"ZUN:DATA", Kind::kKey, 0, false, {2, 4, 3, 1}},
      {"-zun:data", Kind::kKey, 0, true, {1, 3, 4, 2}},
      // The framework names a NOCASE key's components UPPER(...), numbers too.
      {"UPPER(ZUN:DATA)", Kind::kKey, 0, false, {2, 4, 3, 1}},
      // Under the identity tables ZUN's name key weighs 866 codes, where the
      // program compares 1251 ones (Ё is below А in 1251, above я in 866):
      // the key cannot serve the order.
      {"UPPER(ZUN:FIO)", Kind::kSortedPass, -1, false, {2, 3, 1, 4}},
      {"-upper(zun:fio)", Kind::kSortedPass, -1, false, {4, 1, 3, 2}},
      // LOWER weighs '_' above 'a', the key (upper-casing) below 'A'.
      {"LOWER(ZUN:FIO)", Kind::kSortedPass, -1, false, {2, 3, 1, 4}},
      // Case matters to the plain field, not to the NOCASE key.
      {"ZUN:FIO", Kind::kSortedPass, -1, false, {2, 4, 3, 1}},
      {"ZUN:DATA, ZUN:FIO", Kind::kSortedPass, -1, false, {2, 4, 3, 1}},
      // Ties follow the last item's direction.
      {"ZUN:DATA, -ZUN:DATA1", Kind::kSortedPass, -1, false, {4, 2, 3, 1}},
      {"-ZUN:DATA, ZUN:FIO", Kind::kSortedPass, -1, false, {1, 3, 2, 4}},
      {"ZUN:DATA1", Kind::kSortedPass, -1, false, {1, 2, 3, 4}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.order);
    auto view = NewView(row.order);
    EXPECT_EQ(view->access_path().kind, Kind::kNone);  // not rebuilt yet
    EXPECT_EQ(ReadAll(*view), row.records);
    EXPECT_FALSE(view->rebuild_pending());
    EXPECT_EQ(view->access_path().kind, row.kind);
    EXPECT_EQ(view->access_path().key, row.key);
    EXPECT_EQ(view->access_path().backwards, row.backwards);
  }
}

TEST_F(ViewTest, AnOptKeyThatLeavesRecordsOutIsNotUsed) {
  Add({{"Late", 50}, {"Nobody", 0}, {"Early", 10}, {"", 20}});
  auto by_date = NewView("ZUN:DATA");
  EXPECT_EQ(ReadAll(*by_date), (std::vector<uint32_t>{2, 3, 4, 1}));
  EXPECT_EQ(by_date->access_path().kind, Kind::kSortedPass);
  auto by_name = NewView("UPPER(ZUN:FIO)");
  EXPECT_EQ(ReadAll(*by_name), (std::vector<uint32_t>{4, 3, 1, 2}));
  EXPECT_EQ(by_name->access_path().kind, Kind::kSortedPass);

  // Once every record has a date the key holds them all again.
  ASSERT_EQ(GET(*zun_, 2), 0);
  ASSERT_EQ(DELETE(*zun_), 0);
  ASSERT_EQ(by_date->SetOrder("ZUN:DATA"), 0);
  ASSERT_EQ(by_date->Set(), 0);
  EXPECT_EQ(ReadAll(*by_date), (std::vector<uint32_t>{3, 4, 1}));
  EXPECT_EQ(by_date->access_path().kind, Kind::kKey);
}

TEST_F(ViewTest, DescendingIsTheAscendingOrderBackwardsTiesIncluded) {
  Add({{"x", 5}, {"y", 3}, {"x", 5}, {"z", 3}, {"x", 9}, {"y", 5}});
  for (const char* order : {"ZUN:DATA", "ZUN:FIO", "ZUN:DATA1, ZUN:DATA"}) {
    SCOPED_TRACE(order);
    auto ascending = NewView(order);
    const std::vector<uint32_t> forward = ReadAll(*ascending);
    ASSERT_EQ(forward.size(), 6u);
    ASSERT_EQ(ascending->Set(), 0);
    EXPECT_EQ(ReadAll(*ascending, false), Reversed(forward));

    std::string minus = order;
    for (size_t at = 0; at != std::string::npos;
         at = minus.find(", ", at + 3)) {
      minus.insert(at == 0 ? 0 : at + 2, "-");
    }
    auto descending = NewView(minus);
    EXPECT_EQ(ReadAll(*descending), Reversed(forward)) << minus;
  }
  // Equal dates keep record-number order ascending, and descending reversed.
  auto by_date = NewView("ZUN:DATA");
  EXPECT_EQ(ReadAll(*by_date), (std::vector<uint32_t>{2, 4, 1, 3, 6, 5}));
}

TEST_F(ViewTest, SetThenPreviousReadsTheLastRecordAndEndsTurnBack) {
  AddCounting(5);
  for (const char* order : {"", "ZUN:DATA", "ZUN:DATA1, ZUN:FIO"}) {
    SCOPED_TRACE(order);
    auto view = NewView(order, "ZUN:DATA <> 3");
    const std::vector<uint32_t> forward = ReadAll(*view);
    ASSERT_EQ(forward.size(), 4u);
    // At the end: the same way again finds nothing, the other way the last.
    EXPECT_EQ(view->Next(), 33);
    EXPECT_EQ(view->Previous(), 0);
    EXPECT_EQ(view->current_record(), forward.back());
    ASSERT_EQ(view->Set(), 0);
    EXPECT_EQ(view->Previous(), 0);
    EXPECT_EQ(view->current_record(), forward.back());
    EXPECT_EQ(ReadAll(*view, false),
              std::vector<uint32_t>(forward.rbegin() + 1, forward.rend()));
    EXPECT_EQ(view->Previous(), 33);
    EXPECT_EQ(view->Next(), 0);
    EXPECT_EQ(view->current_record(), forward.front());
  }
}

TEST_F(ViewTest, AtTheEndTheRecordBufferIsLeftAlone) {
  Add({{"Anna", 10}, {"Boris", 20}, {"Vera", 30}});
  auto view = NewView("ZUN:DATA", "ZUN:DATA < 25");
  ASSERT_EQ(view->Next(), 0);
  ASSERT_EQ(view->Next(), 0);
  EXPECT_EQ(ZunFio(*zun_), "Boris");
  EXPECT_EQ(view->Next(), 33);  // Vera was read and refused
  EXPECT_EQ(ZunFio(*zun_), "Boris");
  EXPECT_EQ(view->current_record(), 0u);
}

TEST_F(ViewTest, FilterThatDoesNotCompileIsReportedAndTheViewReadsWithoutIt) {
  AddCounting(3);
  View view(*zun_);
  ASSERT_EQ(view.SetOrder("ZUN:DATA"), 0);
  EXPECT_EQ(view.SetFilter("zun:nobody = 1"), 1011);
  EXPECT_EQ(values::ERRORCODE(), 1011);
  EXPECT_FALSE(view.has_filter());
  EXPECT_EQ(view.filter(), "zun:nobody = 1");
  EXPECT_EQ(view.SetFilter("zun:data <"), 1010);
  EXPECT_EQ(values::ERRORCODE(), 1010);
  ASSERT_EQ(view.Open(), 0);
  EXPECT_EQ(ReadAll(view), (std::vector<uint32_t>{1, 2, 3}));
  EXPECT_EQ(view.SetFilter("  "), 0);
  EXPECT_EQ(values::ERRORCODE(), 0);
}

TEST_F(ViewTest, FilterIsCompiledOnceAndReadsProgramVariablesEachTime) {
  AddCounting(6);
  int32_t limit = 2;
  values::BIND("lim", values::RefLong(limit));
  auto view = NewView("ZUN:DATA", "ZUN:DATA <= lim");
  EXPECT_EQ(ReadAll(*view), (std::vector<uint32_t>{1, 2}));
  limit = 4;
  ASSERT_EQ(view->Set(), 0);
  EXPECT_EQ(ReadAll(*view), (std::vector<uint32_t>{1, 2, 3, 4}));
  EXPECT_FALSE(view->rebuild_pending());
}

TEST_F(ViewTest, ChangingTheFilterRebuildsAndReadsFromTheLastSet) {
  AddCounting(6);
  auto view = NewView("-ZUN:DATA");
  ASSERT_EQ(view->Next(), 0);
  ASSERT_EQ(view->Next(), 0);
  ASSERT_EQ(view->SetFilter("ZUN:DATA % 2 = 1"), 0);
  EXPECT_TRUE(view->rebuild_pending());
  EXPECT_EQ(ReadAll(*view), (std::vector<uint32_t>{5, 3, 1}));
}

// How many records each scan reads, with the early end and without.
TEST_F(ViewTest, EarlyEndStopsAtTheFirstRecordThatRulesOutTheRest) {
  AddCounting(100);
  int32_t limit = 30;
  values::BIND("lim", values::RefLong(limit));
  struct Row {
    const char* order;
    const char* filter;
    bool forward;
    size_t returned;
    uint64_t examined;
  } rows[] = {
      {"ZUN:DATA", "ZUN:DATA <= 10", true, 10, 11},
      {"ZUN:DATA", "zun:data < 10", true, 9, 10},
      {"ZUN:DATA", "10 >= ZUN:DATA", true, 10, 11},
      {"ZUN:DATA", "ZUN:DATA = 20", true, 1, 21},
      {"ZUN:DATA", "ZUN:DATA <= 10", false, 10, 100},  // not from this end
      {"ZUN:DATA", "ZUN:DATA >= 90", false, 11, 12},
      {"ZUN:DATA", "NOT (ZUN:DATA > 10)", true, 10, 11},
      {"ZUN:DATA", "ZUN:DATA < 5 AND ZUN:DATA1 <> 97", true, 3, 5},
      {"ZUN:DATA", "(ZUN:DATA < 5 OR ZUN:DATA = 7) AND NOT ZUN:DATA1 = 0", true,
       5, 8},
      {"ZUN:DATA", "(ZUN:DATA < 5 OR ZUN:DATA > 200) AND ZUN:DATA1 > 0", true,
       4, 100},
      {"ZUN:DATA", "NOT (ZUN:DATA > 10 OR ZUN:DATA1 = 3)", true, 10, 11},
      {"ZUN:DATA", "ZUN:DATA <> 7 AND NOT ZUN:DATA <> 9", true, 1, 10},
      {"ZUN:DATA", "ZUN:DATA < 5 XOR ZUN:DATA < 3", true, 2, 5},
      {"ZUN:DATA", "ZUN:DATA <= lim", true, 30, 31},
      {"ZUN:DATA", "ZUN:DATA <= lim + 0", true, 30, 100},  // compared as REAL
      {"ZUN:DATA", "ZUN:DATA < 5 OR ZUN:DATA1 = 7", true, 5, 100},
      // Depends on the file; today may change; not the order item.
      {"ZUN:DATA", "ZUN:DATA < ZUN:DATA1", true, 49, 100},
      {"ZUN:DATA", "ZUN:DATA < today() - 76000", true, 37, 100},
      {"ZUN:DATA", "ZUN:DATA1 >= 95", true, 5, 100},
      {"ZUN:DATA", "ZUN:DATA <> 1 AND ZUN:DATA < 3", true, 1, 3},
      {"-ZUN:DATA", "ZUN:DATA >= 95", true, 6, 7},
      // Not the item as written.
      {"-UPPER(ZUN:DATA)", "ZUN:DATA >= 95", true, 6, 100},
      // Sorted passes.
      {"ZUN:DATA1", "ZUN:DATA1 < 3", true, 3, 4},
      {"ZUN:DATA, ZUN:FIO", "ZUN:DATA <= 10", true, 10, 11},
      {"UPPER(ZUN:FIO)", "UPPER(ZUN:FIO) < 'P10'", true, 1, 2},
      // P1 P10 P100 P11 ... P19 P2 ...
      {"UPPER(ZUN:FIO)", "UPPER(ZUN:FIO) < UPPER('p2')", true, 12, 13},
      {"-UPPER(ZUN:FIO)", "UPPER(ZUN:FIO) > 'P98'", true, 1, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.order) + " | " + row.filter);
    auto view = NewView(row.order, row.filter);
    const uint64_t before = view->records_examined();
    EXPECT_EQ(ReadAll(*view, row.forward).size(), row.returned);
    EXPECT_EQ(view->records_examined() - before, row.examined);
  }
}

TEST_F(ViewTest, AfterAnEarlyEndTheOtherWayGoesOnFromThere) {
  AddCounting(20);
  auto view = NewView("ZUN:DATA", "ZUN:DATA <= 5");
  EXPECT_EQ(ReadAll(*view), (std::vector<uint32_t>{1, 2, 3, 4, 5}));
  const uint64_t examined = view->records_examined();
  EXPECT_EQ(view->Next(), 33);  // at once
  EXPECT_EQ(view->records_examined(), examined);
  EXPECT_EQ(view->Previous(), 0);
  EXPECT_EQ(view->current_record(), 5u);
  EXPECT_EQ(view->records_examined(),
            examined + 1);  // from 6, where it stopped
}

TEST_F(ViewTest, PositionResetAndRegetInEveryAccessPath) {
  Add({{"d", 40}, {"a", 10}, {"c", 30}, {"b", 20}, {"e", 50}, {"a2", 10}});
  for (const char* order :
       {"", "ZUN:DATA", "-ZUN:DATA", "ZUN:FIO", "ZUN:DATA, ZUN:FIO"}) {
    SCOPED_TRACE(order);
    auto view = NewView(order);
    const std::vector<uint32_t> all = ReadAll(*view);
    ASSERT_EQ(all.size(), 6u);
    ASSERT_EQ(view->Set(), 0);
    EXPECT_EQ(view->Position(), "");  // no current record yet... or any more
    for (int i = 0; i < 3; ++i) ASSERT_EQ(view->Next(), 0);
    const std::string third = view->Position();
    ASSERT_FALSE(third.empty());
    ASSERT_EQ(view->Next(), 0);

    // Reset: forwards from that record, backwards from it.
    ASSERT_EQ(view->Reset(third), 0);
    EXPECT_EQ(ReadAll(*view),
              std::vector<uint32_t>(all.begin() + 2, all.end()));
    ASSERT_EQ(view->Reset(third), 0);
    EXPECT_EQ(ReadAll(*view, false),
              Reversed(std::vector<uint32_t>(all.begin(), all.begin() + 3)));

    // Reget: that record, the cursor unmoved.
    ASSERT_EQ(view->Set(), 0);
    ASSERT_EQ(view->Next(), 0);
    ASSERT_EQ(view->Reget(third), 0);
    EXPECT_EQ(view->current_record(), all[2]);
    EXPECT_EQ(POINTER(*zun_), all[2]);
    ASSERT_EQ(view->Next(), 0);
    EXPECT_EQ(view->current_record(), all[1]);

    EXPECT_EQ(view->Reset("nonsense"), 35);
    EXPECT_EQ(view->Reget(""), 35);
  }
  // A place of one order is no place of another.
  auto by_name = NewView("ZUN:FIO");
  ASSERT_EQ(by_name->Next(), 0);
  const std::string place = by_name->Position();
  auto by_date = NewView("ZUN:DATA");
  EXPECT_EQ(by_date->Reset(place), 35);
}

// A place is the record as the view read it: a program that changes the
// record buffer afterwards, or the view's order, does not move it.  For
// orders of fields alone (worked out when first asked for) and for an
// expression (taken at the read).
TEST_F(ViewTest, APlaceIsTheRecordAsReadWhateverChangesAfter) {
  Add({{"d", 40}, {"a", 10}, {"c", 30}, {"b", 20}, {"e", 50}});
  for (const char* order :
       {"ZUN:DATA", "-UPPER(ZUN:FIO)", "ZUN:DATA, ZUN:FIO", "ZUN:DATA + 0"}) {
    SCOPED_TRACE(order);
    auto view = NewView(order);
    for (int i = 0; i < 2; ++i) ASSERT_EQ(view->Next(), 0);
    const uint32_t second = view->current_record();
    SetZun(*zun_, "zzz", 99);
    const std::string place = view->Position();
    ASSERT_EQ(view->Next(), 0);
    const uint32_t third = view->current_record();
    SetZun(*zun_, "zzz", 99);
    ASSERT_EQ(view->SetOrder(order), 0);  // the same order, taken again
    const std::string third_place = view->Position();

    ASSERT_EQ(view->Reset(place), 0);
    ASSERT_EQ(view->Next(), 0);
    EXPECT_EQ(view->current_record(), second);
    ASSERT_EQ(view->Reset(third_place), 0);
    ASSERT_EQ(view->Next(), 0);
    EXPECT_EQ(view->current_record(), third);
  }
}

TEST_F(ViewTest, SetStartsAtTheValuesInTheRecordBuffer) {
  Add({{"d", 40}, {"a", 10}, {"c", 30}, {"b", 20}, {"e", 50}, {"c2", 30}});
  struct Row {
    const char* order;
    std::vector<uint32_t> forward;
    std::vector<uint32_t> backward;
  } rows[] = {
      {"ZUN:DATA", {3, 6, 1, 5}, {6, 3, 4, 2}},
      {"-ZUN:DATA", {6, 3, 4, 2}, {3, 6, 1, 5}},
      {"ZUN:DATA, ZUN:FIO", {3, 6, 1, 5}, {6, 3, 4, 2}},  // one leading value
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.order);
    auto view = NewView(row.order);
    SetZun(*zun_, "zzz", 30);
    ASSERT_EQ(view->Set(1), 0);
    EXPECT_EQ(ReadAll(*view), row.forward);
    SetZun(*zun_, "zzz", 30);
    ASSERT_EQ(view->Set(1), 0);
    EXPECT_EQ(ReadAll(*view, false), row.backward);
  }
  // Both values of a two-item order.
  auto view = NewView("ZUN:DATA, ZUN:FIO");
  SetZun(*zun_, "c1", 30);
  ASSERT_EQ(view->Set(2), 0);
  EXPECT_EQ(ReadAll(*view), (std::vector<uint32_t>{6, 1, 5}));
}

TEST_F(ViewTest, SkipMovesOverPassingRecords) {
  AddCounting(10);
  auto view = NewView("-ZUN:DATA", "ZUN:DATA % 2 = 0");
  ASSERT_EQ(view->Next(), 0);
  ASSERT_EQ(view->current_record(), 10u);
  SetZun(*zun_, "kept", 777);
  EXPECT_EQ(view->Skip(2), 0);  // over 8 and 6
  EXPECT_EQ(ZunFio(*zun_), "kept");
  EXPECT_EQ(view->current_record(), 10u);
  ASSERT_EQ(view->Next(), 0);
  EXPECT_EQ(view->current_record(), 4u);
  EXPECT_EQ(view->Skip(-1), 0);  // back over 6
  ASSERT_EQ(view->Previous(), 0);
  EXPECT_EQ(view->current_record(), 8u);
  EXPECT_EQ(view->Skip(5), 33);
  EXPECT_EQ(view->Next(), 33);
}

TEST_F(ViewTest, RecordsCountsThePassingRecordsAndLeavesTheCursor) {
  AddCounting(12);
  for (const char* order : {"", "ZUN:DATA", "ZUN:DATA1, ZUN:FIO"}) {
    SCOPED_TRACE(order);
    auto view = NewView(order, "ZUN:DATA % 3 = 0");
    const std::vector<uint32_t> all = ReadAll(*view);
    ASSERT_EQ(all.size(), 4u);
    ASSERT_EQ(view->Set(), 0);
    ASSERT_EQ(view->Next(), 0);
    ASSERT_EQ(view->Next(), 0);
    SetZun(*zun_, "edited", 1);
    EXPECT_EQ(view->Records(), 4u);
    EXPECT_EQ(ZunFio(*zun_), "edited");
    ASSERT_EQ(view->Next(), 0);
    EXPECT_EQ(view->current_record(), all[2]);
    ASSERT_EQ(view->Previous(), 0);
    EXPECT_EQ(view->current_record(), all[1]);
    // At the path's end, and again after counting.
    EXPECT_EQ(ReadAll(*view).size(), 2u);
    EXPECT_EQ(view->Records(), 4u);
    EXPECT_EQ(view->Next(), 33);
    ASSERT_EQ(view->Previous(), 0);
    EXPECT_EQ(view->current_record(), all[3]);
  }
  auto unfiltered = NewView("ZUN:DATA");
  EXPECT_EQ(unfiltered->Records(), 12u);
}

TEST_F(ViewTest, PutAndDeleteReachTheCurrentRecord) {
  AddCounting(6);
  auto view = NewView("ZUN:DATA");
  EXPECT_EQ(view->Put(), 33);  // nothing read yet
  EXPECT_EQ(view->Delete(), 33);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(view->Next(), 0);
  ASSERT_EQ(view->current_record(), 3u);
  SetZun(*zun_, "Moved", 1000);
  ASSERT_EQ(view->Put(), 0);
  ASSERT_EQ(view->Next(), 0);
  EXPECT_EQ(view->current_record(), 4u);
  ASSERT_EQ(view->Delete(), 0);
  EXPECT_EQ(view->current_record(), 0u);
  EXPECT_EQ(view->Put(), 33);
  // The key is read as it is now: 4 is gone, 3 stands at the end.
  EXPECT_EQ(ReadAll(*view), (std::vector<uint32_t>{5, 6, 3}));
  EXPECT_EQ(GET(*zun_, 4), 35);
  ASSERT_EQ(GET(*zun_, 3), 0);
  EXPECT_EQ(ZunFio(*zun_), "Moved");
  EXPECT_EQ(ZunData(*zun_), 1000);
}

TEST_F(ViewTest, PutAfterTheFileMovedOnWritesTheViewsRecord) {
  AddCounting(6);
  auto view = NewView("ZUN:DATA1", "ZUN:DATA < 5");
  ASSERT_EQ(view->Next(), 0);
  ASSERT_EQ(view->current_record(), 4u);
  EXPECT_EQ(view->Records(), 4u);  // reads the file through
  EXPECT_EQ(POINTER(*zun_), 6u);
  SetZun(*zun_, "Four", 4, 40);
  ASSERT_EQ(view->Put(), 0);
  ASSERT_EQ(GET(*zun_, 4), 0);
  EXPECT_EQ(ZunFio(*zun_), "Four");
  ASSERT_EQ(GET(*zun_, 6), 0);
  EXPECT_EQ(ZunFio(*zun_), "P6");
  EXPECT_EQ(view->Records(), 4u);
  ASSERT_EQ(view->Delete(), 0);
  EXPECT_EQ(GET(*zun_, 4), 35);
  EXPECT_EQ(GET(*zun_, 6), 0);
}

TEST_F(ViewTest, HoldAndWatchReadTheCurrentRecordAgain) {
  AddCounting(3);
  ASSERT_EQ(CLOSE(*zun_), 0);
  auto a = NewZun();
  ASSERT_EQ(OPEN(*a, kShared), 0);
  auto b = NewZun();
  ASSERT_EQ(OPEN(*b, kShared), 0);
  View view(*a);
  ASSERT_EQ(view.SetOrder("ZUN:DATA"), 0);
  ASSERT_EQ(view.Open(), 0);
  EXPECT_EQ(view.Hold(), 33);
  EXPECT_EQ(view.Watch(), 33);
  ASSERT_EQ(view.Next(), 0);

  // Held: the other station may read it but not write it.
  SetZun(*a, "scribble", 99);
  ASSERT_EQ(view.Hold(), 0);
  EXPECT_EQ(ZunFio(*a), "P1");
  ASSERT_EQ(GET(*b, 1), 0);
  EXPECT_EQ(PutZun(*b, "B was here", 1), 5);
  ASSERT_EQ(view.Release(), 0);
  ASSERT_EQ(GET(*b, 1), 0);
  EXPECT_EQ(PutZun(*b, "B was here", 1), 0);

  // Watched: a change by the other station since makes the Put fail.
  ASSERT_EQ(view.Watch(), 0);
  EXPECT_EQ(ZunFio(*a), "B was here");
  ASSERT_EQ(GET(*b, 1), 0);
  ASSERT_EQ(PutZun(*b, "B again", 1), 0);
  SetZun(*a, "A's change", 1);
  EXPECT_EQ(view.Put(), 89);
  ASSERT_EQ(view.Watch(), 0);
  SetZun(*a, "A's change", 1);
  EXPECT_EQ(view.Put(), 0);
  ASSERT_EQ(GET(*b, 1), 0);
  EXPECT_EQ(ZunFio(*b), "A's change");
}

TEST_F(ViewTest, OpenBindsTheFieldsToTheRecordBufferUntilClose) {
  Add({{"Anna", 10}, {"Boris", 20}});
  View view(*zun_);
  ASSERT_EQ(view.SetOrder("-ZUN:DATA"), 0);
  ASSERT_EQ(view.Open(), 0);
  EXPECT_EQ(view.Open(), 52);
  ASSERT_EQ(view.Next(), 0);
  EXPECT_EQ(values::EVALUATE("clip(ZUN:FIO) & '/' & zun:data"), "Boris/20");
  ASSERT_EQ(view.Close(), 0);
  EXPECT_TRUE(zun_->is_open());  // it was open before the view
  EXPECT_EQ(values::EVALUATE("zun:data"), "");
  EXPECT_EQ(values::ERRORCODE(), 1011);
  EXPECT_EQ(view.Next(), 37);
}

TEST_F(ViewTest, OpenOpensAClosedFileAndCloseClosesIt) {
  AddCounting(2);
  ASSERT_EQ(CLOSE(*zun_), 0);
  View view(*zun_);
  ASSERT_EQ(view.Open(kAccessReadOnly | kShareDenyNone), 0);
  EXPECT_TRUE(zun_->is_open());
  EXPECT_EQ(ReadAll(view), (std::vector<uint32_t>{1, 2}));
  ASSERT_EQ(view.Close(), 0);
  EXPECT_FALSE(zun_->is_open());
  auto missing = NewZun("/NOBODY");
  View nowhere(*missing);
  EXPECT_EQ(nowhere.Open(), 2);
  EXPECT_FALSE(nowhere.is_open());
}

}  // namespace
}  // namespace zuna::datfile::driver_test
