// The view manager: the order and filter texts it composes for the view,
// its sort orders, reading through ValidateRecord, ranges, priming, saved
// buffers, the view's files and the free element.
#include "framework/data/view_manager.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/data/files_manager.h"
#include "framework/data/relation_manager.h"
#include "runtime/datfile/view.h"
#include "tests/framework/data/file_manager_fixture.h"

namespace zuna::framework::test {
namespace {

using values::W;

// A view manager whose ValidateRecord a test decides.
class TestViewManager : public ViewManager {
 public:
  uint8_t ValidateRecord() override {
    return validate ? validate() : ViewManager::ValidateRecord();
  }
  std::function<uint8_t()> validate;
};

// ORD's keys without auto numbering: priming must not add records.
std::vector<DictionaryAccess::KeyEntry> PlainOrderKeys() {
  return {{Key{0}, "ORD:NumKey", 0}, {Key{1}, "ORD:ItemKey", 0}};
}

// PPL with a case-sensitive name key.
FileDecl CasedPeopleDeclaration() {
  FileDecl decl = PeopleDeclaration();
  decl.keys[0].nocase = false;
  return decl;
}

class ViewManagerTest : public FileManagerTest {
 protected:
  // The file managers register with the thread's files registry, which
  // must exist before them.
  ViewManagerTest() { ThreadFilesManager(); }

  // `decl`'s file holding `records`, its file manager (knowing `keys`),
  // its relation manager and a view over it; nothing open yet.
  void Prepare(const FileDecl& decl,
               std::vector<DictionaryAccess::KeyEntry> keys,
               const std::vector<std::string>& records) {
    file_ = MakeFile(decl);
    CreateWith(*file_, records);
    access_ = std::make_unique<DictionaryAccess>(*file_, errors_,
                                                 std::move(keys), "file");
    access_->Init();
    relation_ = std::make_unique<RelationManager>();
    relation_->Init(*access_, 0);
    view_ = std::make_unique<datfile::View>(*file_);
  }

  // PPL holding Petrov 2000, Ivanov 1000, Sidorov 3000 and O'Brien 4000,
  // and the manager initialised over it with one sort order on the name
  // key.
  void StartPeople(const FileDecl& decl = PeopleDeclaration()) {
    Prepare(decl, PeopleKeys(),
            {PeopleRecord("Petrov", 2000), PeopleRecord("Ivanov", 1000),
             PeopleRecord("Sidorov", 3000), PeopleRecord("O'Brien", 4000)});
    manager_.Init(*view_, *relation_);
    ASSERT_EQ(manager_.AddSortOrder(Key{0}), 1);
  }

  // ORD holding orders of customers 1 and 2, the manager over it with one
  // sort order on (ORD:Customer, ORD:Number).
  void StartOrders() {
    Prepare(OrderDeclaration(), PlainOrderKeys(), {});
    manager_.Init(*view_, *relation_);
    ASSERT_EQ(manager_.AddSortOrder(Key{0}), 1);
  }

  // Variables of the test that range pairs refer to; they live as long as
  // the fixture.
  values::VariableRef Text(std::string_view value) {
    texts_.push_back(std::make_unique<char[]>(20));
    const values::VariableRef ref = values::RefString(texts_.back().get(), 20);
    values::WriteString(ref, value);
    return ref;
  }
  values::VariableRef Long(int32_t value) {
    longs_.push_back(std::make_unique<int32_t>(value));
    return values::RefLong(*longs_.back());
  }

  // Adds a range pair to the current sort order limiting by `left` (its
  // Right a new variable of the same kind, empty).
  void AddRange(const values::VariableRef& left) {
    const values::VariableRef right =
        values::IsNumeric(left.type) ? Long(0) : Text("");
    manager_.CurrentSortOrder()->RangeList->AddPair(left, right);
  }
  void SetLimit(uint8_t limit_type) {
    manager_.CurrentSortOrder()->LimitType = limit_type;
  }

  // The names the manager reads from here on, and the level it ended with.
  std::vector<std::string> ReadNames(bool backwards = false) {
    std::vector<std::string> names;
    for (;;) {
      last_level_ = backwards ? manager_.Previous() : manager_.Next();
      if (last_level_ != Level::Benign) return names;
      names.push_back(TextAt(file_->record(), 0, 20));
    }
  }

  // The assertion reports shown, in order, each beginning with its check.
  void ExpectAssertions(std::initializer_list<std::string> checks) {
    const std::vector<std::string> shown = host_.Assertions();
    ASSERT_EQ(shown.size(), checks.size());
    size_t at = 0;
    for (const std::string& check : checks) {
      EXPECT_TRUE(shown[at].starts_with(check + "\n")) << shown[at];
      ++at;
    }
  }

  std::vector<std::unique_ptr<char[]>> texts_;
  std::vector<std::unique_ptr<int32_t>> longs_;
  std::unique_ptr<DatFileInstance> file_;
  std::unique_ptr<DictionaryAccess> access_;
  std::unique_ptr<RelationManager> relation_;
  std::unique_ptr<datfile::View> view_;
  TestViewManager manager_;
  uint8_t last_level_ = Level::Benign;
};

using Names = std::vector<std::string>;

// --- The filter text --------------------------------------------------------

TEST_F(ViewManagerTest, NoRangeAndNoFilterGiveTheViewAnEmptyFilter) {
  StartPeople();
  ASSERT_EQ(manager_.Open(), Level::Benign);
  EXPECT_EQ(view_->filter(), "");
  EXPECT_EQ(view_->order(), "+UPPER(PPL:Name)");
  EXPECT_FALSE(view_->has_filter());
}

TEST_F(ViewManagerTest, PairRangeBoundsTheFieldWithQuotedTexts) {
  StartPeople(CasedPeopleDeclaration());
  SetLimit(Range::Pair);
  AddRange(Text("J"));
  AddRange(Text("Q"));
  ASSERT_EQ(manager_.Reset(), Level::Benign);
  EXPECT_EQ(view_->filter(), "PPL:Name >= 'J' AND PPL:Name <= 'Q'");
  EXPECT_EQ(ReadNames(), (Names{"O'Brien", "Petrov"}));
}

TEST_F(ViewManagerTest, AQuoteInsideAValueIsDoubled) {
  StartPeople(CasedPeopleDeclaration());
  SetLimit(Range::Current);
  AddRange(Text("O'Brien"));
  ASSERT_EQ(manager_.Reset(), Level::Benign);
  EXPECT_EQ(view_->filter(), "PPL:Name = 'O''Brien'");
  EXPECT_EQ(ReadNames(), (Names{"O'Brien"}));
  EXPECT_TRUE(Shown().empty());
}

TEST_F(ViewManagerTest, NocaseKeyComparesUpperCasedAndFiltersFollow) {
  StartPeople();
  SetLimit(Range::Current);
  AddRange(Text("ivanov"));
  manager_.SetFilter("PPL:Born > 0");
  ASSERT_EQ(manager_.Reset(), Level::Benign);
  EXPECT_EQ(view_->filter(),
            "UPPER(PPL:Name) = UPPER('ivanov') AND (PPL:Born > 0)");
  EXPECT_EQ(ReadNames(), (Names{"Ivanov"}));
}

TEST_F(ViewManagerTest, NumericRangeIsWrittenAsANumber) {
  StartPeople();
  ASSERT_EQ(manager_.AddSortOrder(Key{1}), 2);
  SetLimit(Range::File);
  AddRange(Long(2000));
  ASSERT_EQ(manager_.Reset(), Level::Benign);
  EXPECT_EQ(view_->filter(), "PPL:Born = 2000");
  EXPECT_EQ(ReadNames(), (Names{"Petrov"}));
}

TEST_F(ViewManagerTest, CasedValueWritesNumbersAndTextsAsTheLanguageReadsThem) {
  double real = 1.5;
  EXPECT_EQ(ViewManager::CasedValue("X", values::RefReal(real)), "1.5");
  real = 0.1;
  EXPECT_EQ(ViewManager::CasedValue("X", values::RefReal(real)), "0.1");
  real = 1e6;
  EXPECT_EQ(ViewManager::CasedValue("X", values::RefReal(real)), "1000000");
  int32_t negative = -7;
  EXPECT_EQ(ViewManager::CasedValue("X", values::RefLong(negative)), "-7");
  char text[10];
  const values::VariableRef padded = values::RefString(text, 10);
  values::WriteString(padded, " a'b");  // trailing blanks cut, leading kept
  EXPECT_EQ(ViewManager::CasedValue("X", padded), "' a''b'");
  EXPECT_EQ(ViewManager::CasedValue("lower(X)", padded), "LOWER(' a''b')");
  values::WriteString(padded, "");
  EXPECT_EQ(ViewManager::CasedValue("UPPER(X)", padded), "UPPER('')");
}

TEST_F(ViewManagerTest, FiltersAreJoinedInIdOrderEachInBrackets) {
  StartPeople();
  manager_.SetFilter("PPL:Born > 1000");
  manager_.SetFilter("PPL:Born < 4000", "1");
  ASSERT_EQ(manager_.Reset(), Level::Benign);
  EXPECT_EQ(view_->filter(), "(PPL:Born < 4000) AND (PPL:Born > 1000)");
  EXPECT_EQ(ReadNames(), (Names{"Petrov", "Sidorov"}));
}

TEST_F(ViewManagerTest, AnEmptyExpressionRemovesItsEntryAndAnotherReplacesIt) {
  StartPeople();
  manager_.SetFilter("PPL:Born > 1000");
  manager_.SetFilter("PPL:Born < 4000", "1");
  manager_.SetFilter("");
  ASSERT_EQ(manager_.ApplyFilter(), Level::Benign);
  EXPECT_EQ(view_->filter(), "(PPL:Born < 4000)");
  manager_.SetFilter("PPL:Born < 3000", "1");
  manager_.SetFilter("   ", kStandardFilterId);  // blank: nothing to remove
  ASSERT_EQ(manager_.ApplyFilter(), Level::Benign);
  EXPECT_EQ(view_->filter(), "(PPL:Born < 3000)");
  EXPECT_EQ(manager_.CurrentSortOrder()->Filter->size(), 1u);
}

TEST_F(ViewManagerTest, FilterIdsAreCutToThirtyCharacters) {
  StartPeople();
  const std::string id(30, 'x');
  manager_.SetFilter("PPL:Born > 1000", id + "first");
  manager_.SetFilter("PPL:Born > 2000", id + "second");
  ASSERT_EQ(manager_.CurrentSortOrder()->Filter->size(), 1u);
  EXPECT_EQ(manager_.CurrentSortOrder()->Filter->front().Id, id);
  EXPECT_EQ(manager_.CurrentSortOrder()->Filter->front().Expression,
            "PPL:Born > 2000");
}

TEST_F(ViewManagerTest, AFilterLongerThanFiveThousandCharactersReachesTheView) {
  StartPeople();
  const std::string expression =
      "PPL:Name <> '" + std::string(6000, 'z') + "'";
  manager_.SetFilter(expression);
  ASSERT_EQ(manager_.Reset(), Level::Benign);
  EXPECT_EQ(view_->filter(), "(" + expression + ")");
  EXPECT_TRUE(view_->has_filter());
  EXPECT_EQ(ReadNames().size(), 4u);
  EXPECT_TRUE(Shown().empty());
}

TEST_F(ViewManagerTest, EachSortOrderHasItsOwnFiltersAndRange) {
  StartPeople();
  manager_.SetFilter("PPL:Born > 1000");
  ASSERT_EQ(manager_.AddSortOrder(Key{1}), 2);
  ASSERT_EQ(manager_.Reset(), Level::Benign);
  EXPECT_EQ(view_->filter(), "");
  EXPECT_EQ(view_->order(), "+PPL:Born");
  EXPECT_EQ(manager_.SetSort(1), 1);
  ASSERT_EQ(manager_.Reset(), Level::Benign);
  EXPECT_EQ(view_->filter(), "(PPL:Born > 1000)");
  EXPECT_EQ(view_->order(), "+UPPER(PPL:Name)");
}

TEST_F(ViewManagerTest, AFilterThatDoesNotCompileShows43AndTheScanGoesOn) {
  StartPeople();
  manager_.SetFilter("PPL:Born >");
  EXPECT_EQ(manager_.Reset(), Level::Benign);
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].request.caption, W("Ошибка открытия представления"));
  EXPECT_TRUE(shown[0].request.text.starts_with(W("Ошибка: (")))
      << shown[0].request.text;
  EXPECT_TRUE(shown[0].request.text.ends_with(
      W(") возникла при открытии текущего представления. Проигнорирован "
        "фильтр и интервал (Filter and Range Limits).")));
  EXPECT_EQ(ReadNames(), (Names{"Ivanov", "O'Brien", "Petrov", "Sidorov"}));
}

TEST_F(ViewManagerTest, AnOrderThatDoesNotCompileShows43) {
  StartPeople();
  manager_.SetOrder("+PPL:Nobody");
  EXPECT_EQ(manager_.Open(), Level::Benign);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].request.caption, W("Ошибка открытия представления"));
}

// --- Order texts and sort orders --------------------------------------------

TEST_F(ViewManagerTest, AppendOrderExtendsReplacesOrStarts) {
  StartPeople();
  ASSERT_EQ(manager_.AddSortOrder(), 2);
  SortOrderRow& row = *manager_.CurrentSortOrder();
  EXPECT_EQ(row.Order, "");
  manager_.AppendOrder("x");
  EXPECT_EQ(row.Order, "x");
  manager_.AppendOrder(" y ");
  EXPECT_EQ(row.Order, "x,y");
  manager_.AppendOrder("");
  manager_.AppendOrder("  ");
  EXPECT_EQ(row.Order, "x,y");
  manager_.AppendOrder("*z");
  EXPECT_EQ(row.Order, "z");
  manager_.AppendOrder("*");
  EXPECT_EQ(row.Order, "");
  EXPECT_TRUE(host_.Assertions().empty());
}

TEST_F(ViewManagerTest, AddSortOrderTakesTheKeysOrderAndFirstField) {
  StartPeople();
  const SortOrderRow& first = (*manager_.Order)[0];
  EXPECT_EQ(first.Order, "+UPPER(PPL:Name)");
  ASSERT_TRUE(first.MainKey.has_value());
  EXPECT_EQ(first.MainKey->index, 0);
  ASSERT_TRUE(first.FreeElement.has_value());
  EXPECT_EQ(first.FreeElement->address, file_->record().data());
  EXPECT_EQ(first.LimitType, Range::None);
  ASSERT_NE(first.RangeList->List, nullptr);
  EXPECT_TRUE(first.RangeList->List->empty());

  EXPECT_EQ(manager_.AddSortOrder(), 2);
  EXPECT_EQ(manager_.GetSort(), 2);
  const SortOrderRow& second = (*manager_.Order)[1];
  EXPECT_EQ(second.Order, "");
  EXPECT_FALSE(second.MainKey.has_value());
  EXPECT_FALSE(second.FreeElement.has_value());
}

TEST_F(ViewManagerTest, SetSortSaysWhetherTheSortOrderChanged) {
  StartPeople();
  ASSERT_EQ(manager_.AddSortOrder(Key{1}), 2);
  EXPECT_EQ(manager_.SetSort(2), 0);
  EXPECT_EQ(manager_.SetSort(0), 0);
  EXPECT_EQ(manager_.SetSort(1), 1);
  EXPECT_EQ(manager_.GetSort(), 1);
  EXPECT_TRUE(host_.Assertions().empty());
  EXPECT_EQ(manager_.SetSort(7), 0);
  EXPECT_EQ(manager_.GetSort(), 1);
  ExpectAssertions({"Sort order does not exist: 7"});
}

TEST_F(ViewManagerTest, WithoutSortOrdersOrderFilterAndOpenAssert) {
  Prepare(PeopleDeclaration(), PeopleKeys(), {});
  manager_.Init(*view_, *relation_);
  manager_.SetOrder("x");
  manager_.SetFilter("y");
  EXPECT_EQ(manager_.Open(), Level::Fatal);
  EXPECT_FALSE(view_->is_open());
  ExpectAssertions({"View does not have any sort orders defined",
                    "View does not have any sort orders defined",
                    std::string(kNoViewOrderText)});
}

TEST_F(ViewManagerTest, ASortOrderCannotBeAddedBeforeInitOrPastTheLast) {
  TestViewManager early;
  EXPECT_EQ(early.AddSortOrder(), 0);
  StartPeople();
  for (size_t n = 2; n <= kMaxSortOrders; ++n) {
    ASSERT_EQ(manager_.AddSortOrder(), n);
  }
  EXPECT_EQ(manager_.AddSortOrder(), 0);
  EXPECT_EQ(manager_.Order->size(), kMaxSortOrders);
  ExpectAssertions(
      {"Unable to add new sort order.", "Unable to add new sort order."});
}

TEST_F(ViewManagerTest, AGivenQueueIsUsedAndOutlivesKill) {
  Prepare(PeopleDeclaration(), PeopleKeys(), {});
  SortOrderQueue queue;
  manager_.Init(*view_, *relation_, &queue);
  EXPECT_EQ(manager_.DisposeOrder, 0);
  EXPECT_EQ(manager_.AddSortOrder(Key{1}), 1);
  EXPECT_EQ(queue.size(), 1u);
  manager_.Kill();
  EXPECT_EQ(manager_.Order, nullptr);
  ASSERT_EQ(queue.size(), 1u);
  EXPECT_EQ(queue[0].Order, "+PPL:Born");

  // Given again, its first sort order is current.
  manager_.Init(*view_, *relation_, &queue);
  EXPECT_EQ(manager_.GetSort(), 1);
  manager_.Kill();
  manager_.Init(*view_, *relation_);
  EXPECT_EQ(manager_.DisposeOrder, 1);
  EXPECT_EQ(manager_.GetSort(), 0);
}

// --- Reading --------------------------------------------------------------

TEST_F(ViewManagerTest, ResetAndNextReadInOrderAndEndWithoutAMessage) {
  StartPeople();
  ASSERT_EQ(manager_.Reset(), Level::Benign);
  EXPECT_EQ(ReadNames(), (Names{"Ivanov", "O'Brien", "Petrov", "Sidorov"}));
  EXPECT_EQ(last_level_, Level::Notify);
  EXPECT_TRUE(host_.MessageBoxes().empty());
  ASSERT_EQ(manager_.Reset(), Level::Benign);
  EXPECT_EQ(ReadNames(true), (Names{"Sidorov", "Petrov", "O'Brien", "Ivanov"}));
  EXPECT_EQ(last_level_, Level::Notify);
}

TEST_F(ViewManagerTest, ResetWithAPositionStartsAtTheBuffersValues) {
  StartPeople();
  SetTextAt(file_->record(), 0, 20, "P");
  ASSERT_EQ(manager_.Reset(1), Level::Benign);
  EXPECT_EQ(ReadNames(), (Names{"Petrov", "Sidorov"}));
}

TEST_F(ViewManagerTest, FilteredRecordsAreSkippedAndTheScanReadsOn) {
  StartPeople();
  manager_.validate = [&] {
    return LongAt(file_->record(), 20) % 2000 == 0 ? Record::OK
                                                   : Record::Filtered;
  };
  ASSERT_EQ(manager_.Reset(), Level::Benign);
  EXPECT_EQ(ReadNames(), (Names{"O'Brien", "Petrov"}));
  EXPECT_EQ(last_level_, Level::Notify);
}

TEST_F(ViewManagerTest, OutOfRangeEndsTheScan) {
  StartPeople();
  manager_.validate = [&] {
    return TextAt(file_->record(), 0, 20) == "Petrov" ? Record::OutOfRange
                                                      : Record::OK;
  };
  ASSERT_EQ(manager_.Reset(), Level::Benign);
  EXPECT_EQ(ReadNames(), (Names{"Ivanov", "O'Brien"}));
  EXPECT_EQ(last_level_, Level::Notify);
  EXPECT_TRUE(host_.MessageBoxes().empty());
}

TEST_F(ViewManagerTest, AFailedReadShowsMessage1AndIsFatal) {
  StartPeople();  // the view is not open: the read fails with 37
  EXPECT_EQ(manager_.Next(), Level::Fatal);
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].request.caption, W("Ошибка доступа к записи"));
  EXPECT_NE(shown[0].request.text.find("file"), std::string::npos);
}

TEST_F(ViewManagerTest, OpenSetsTheViewsBufferingAndCloseClosesIt) {
  StartPeople();
  manager_.PageSize = 35;
  ASSERT_EQ(manager_.Open(), Level::Benign);
  EXPECT_TRUE(view_->is_open());
  EXPECT_EQ(manager_.Opened, 1);
  const datfile::View::Buffering buffering = view_->buffering();
  EXPECT_EQ(buffering.page_size, 35);
  EXPECT_EQ(buffering.pages_behind, 2);
  EXPECT_EQ(buffering.pages_ahead, 0);
  EXPECT_EQ(buffering.timeout_seconds, 60);
  EXPECT_EQ(manager_.Close(), Level::Benign);
  EXPECT_FALSE(view_->is_open());
  EXPECT_EQ(manager_.Opened, 0);

  // A view opened elsewhere is closed only with force.
  ASSERT_EQ(view_->Open(), 0);
  EXPECT_EQ(manager_.Close(), Level::Benign);
  EXPECT_TRUE(view_->is_open());
  EXPECT_EQ(manager_.Close(1), Level::Benign);
  EXPECT_FALSE(view_->is_open());
}

TEST_F(ViewManagerTest, AViewThatCannotOpenShows43) {
  Prepare(PeopleDeclaration(), PeopleKeys(), {});
  auto missing = MakeFile(PeopleDeclaration());
  missing->set_name(dir_.File("MISSING"));
  datfile::View elsewhere(*missing);
  manager_.Init(elsewhere, *relation_);
  ExpectAssertions({"Unable to obtain file manager for constituent file: " +
                    missing->name()});
  ASSERT_EQ(manager_.AddSortOrder(Key{0}), 1);
  EXPECT_EQ(manager_.Open(), Level::Notify);
  EXPECT_FALSE(elsewhere.is_open());
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].request.caption, W("Ошибка открытия представления"));
  manager_.Kill();
}

// --- Ranges -----------------------------------------------------------------

TEST_F(ViewManagerTest, ApplyRangeFileReappliesWhenTheLastValueChanges) {
  StartPeople();
  SetLimit(Range::File);
  const values::VariableRef name = Text("Ivanov");
  AddRange(name);
  ASSERT_EQ(manager_.Reset(), Level::Benign);
  EXPECT_EQ(manager_.ApplyRange(), 1);  // Right was empty
  EXPECT_EQ(manager_.ApplyRange(), 0);
  values::WriteString(name, "Petrov");
  EXPECT_EQ(manager_.ApplyRange(), 1);
  EXPECT_EQ(view_->filter(), "UPPER(PPL:Name) = UPPER('Petrov')");
  const FieldPairRow& pair =
      manager_.CurrentSortOrder()->RangeList->List->at(0);
  EXPECT_EQ(TextAt({static_cast<char*>(pair.Right.address), 20}, 0, 20),
            "Petrov");
  EXPECT_EQ(manager_.ApplyRange(), 0);
}

TEST_F(ViewManagerTest, ApplyRangePairFollowsEitherBound) {
  StartPeople(CasedPeopleDeclaration());
  SetLimit(Range::Pair);
  const values::VariableRef low = Text("A");
  const values::VariableRef high = Text("J");
  AddRange(low);
  AddRange(high);
  ASSERT_EQ(manager_.Reset(), Level::Benign);
  EXPECT_EQ(manager_.ApplyRange(), 1);  // both Rights taken at once
  EXPECT_EQ(manager_.ApplyRange(), 0);
  values::WriteString(high, "Q");
  EXPECT_EQ(manager_.ApplyRange(), 1);
  EXPECT_EQ(view_->filter(), "PPL:Name >= 'A' AND PPL:Name <= 'Q'");
  values::WriteString(low, "J");
  EXPECT_EQ(manager_.ApplyRange(), 1);
  EXPECT_EQ(manager_.ApplyRange(), 0);
  ASSERT_EQ(manager_.Reset(), Level::Benign);
  EXPECT_EQ(ReadNames(), (Names{"O'Brien", "Petrov"}));
}

TEST_F(ViewManagerTest, ApplyRangeLimitFollowsTheRightValues) {
  StartPeople();
  ASSERT_EQ(manager_.AddSortOrder(Key{1}), 2);
  SetLimit(Range::Limit);
  AddRange(Long(3000));
  ASSERT_EQ(manager_.Reset(), Level::Benign);
  EXPECT_EQ(manager_.ApplyRange(), 0);  // Right and Buffer both empty
  FieldPairRow& pair = manager_.CurrentSortOrder()->RangeList->List->at(0);
  values::WriteLong(pair.Right, 3000);
  EXPECT_EQ(manager_.ApplyRange(), 1);
  EXPECT_EQ(values::ReadLong(pair.Buffer), 3000);
  EXPECT_EQ(view_->filter(), "PPL:Born = 3000");
  EXPECT_EQ(manager_.ApplyRange(), 0);
}

TEST_F(ViewManagerTest, ApplyRangeWithoutARangeChangesNothing) {
  StartPeople();
  AddRange(Text("Ivanov"));  // Range::None
  EXPECT_EQ(manager_.ApplyRange(), 0);
  SetLimit(Range::Current);
  EXPECT_EQ(manager_.ApplyRange(), 0);
}

// --- Records and buffers ----------------------------------------------------

TEST_F(ViewManagerTest, PrimeRecordPutsTheLimitingValuesInTheBuffer) {
  StartOrders();
  SetLimit(Range::Current);
  AddRange(Long(5));
  AddRange(Long(7));
  SetRecord(*file_, std::string(18, 'x'));
  EXPECT_EQ(manager_.PrimeRecord(), Level::Benign);
  EXPECT_EQ(LongAt(file_->record(), 0), 5);
  EXPECT_EQ(LongAt(file_->record(), 4), 7);
  EXPECT_EQ(TextAt(file_->record(), 8, 10), "");
  EXPECT_EQ(datfile::RECORDS(*file_), 0u);
}

TEST_F(ViewManagerTest, PrimeRecordOfAPairRangeSetsOnlyTheLeadingFields) {
  StartOrders();
  SetLimit(Range::Pair);
  AddRange(Long(5));
  AddRange(Long(10));
  AddRange(Long(20));
  SetRecord(*file_, std::string(18, 'x'));
  EXPECT_EQ(manager_.PrimeRecord(1), Level::Benign);
  EXPECT_EQ(LongAt(file_->record(), 0), 5);
  EXPECT_EQ(TextAt(file_->record(), 4, 14), "xxxxxxxxxxxxxx");  // kept
}

TEST_F(ViewManagerTest, ClearFilesRecordBlanksTextAndZeroesNumbers) {
  StartPeople();
  SetRecord(*file_, std::string(24, 'q'));
  manager_.ClearFilesRecord();
  EXPECT_EQ(std::string(file_->record().data(), 20), std::string(20, ' '));
  EXPECT_EQ(LongAt(file_->record(), 20), 0);
}

TEST_F(ViewManagerTest, SavedBuffersAreAStack) {
  StartPeople();
  SetRecord(*file_, PeopleRecord("First", 1));
  manager_.SaveBuffers();
  SetRecord(*file_, PeopleRecord("Second", 2));
  manager_.SaveBuffers();
  EXPECT_EQ(manager_.SavedBuffers->size(), 2u);
  SetRecord(*file_, PeopleRecord("Third", 3));
  manager_.RestoreBuffers();
  EXPECT_EQ(TextAt(file_->record(), 0, 20), "Second");
  manager_.RestoreBuffers();
  EXPECT_EQ(TextAt(file_->record(), 0, 20), "First");
  EXPECT_EQ(LongAt(file_->record(), 20), 1);
  EXPECT_TRUE(manager_.SavedBuffers->empty());
  manager_.RestoreBuffers();  // nothing saved: nothing happens
  EXPECT_EQ(TextAt(file_->record(), 0, 20), "First");
  EXPECT_TRUE(host_.Assertions().empty());
}

TEST_F(ViewManagerTest, BuffersBeforeInitAssert) {
  TestViewManager early;
  early.SaveBuffers();
  early.RestoreBuffers();
  ExpectAssertions({"View manager has not  properly initialized",
                    "View manager has not  properly initialized"});
}

// --- The view's files -------------------------------------------------------

TEST_F(ViewManagerTest, TheFileIsOpenedThroughItsRelationManagerUntilKill) {
  Prepare(PeopleDeclaration(), PeopleKeys(), {PeopleRecord("Ivanov", 1)});
  EXPECT_FALSE(file_->is_open());
  manager_.Init(*view_, *relation_);
  EXPECT_TRUE(file_->is_open());
  EXPECT_EQ(access_->GetOpened(), 1);
  EXPECT_EQ(manager_.Used, 1);
  EXPECT_EQ(manager_.Inited, 1);
  ASSERT_EQ(manager_.AddSortOrder(Key{0}), 1);
  ASSERT_EQ(manager_.Reset(), Level::Benign);
  manager_.Kill();
  EXPECT_FALSE(view_->is_open());
  EXPECT_FALSE(file_->is_open());
  EXPECT_EQ(access_->GetOpened(), 0);
  EXPECT_EQ(manager_.Used, 0);
  EXPECT_EQ(manager_.Killed, 1);
  EXPECT_EQ(manager_.Order, nullptr);
  EXPECT_EQ(manager_.SavedBuffers, nullptr);
  manager_.Kill();  // twice: nothing more
  EXPECT_EQ(access_->GetOpened(), 0);
  EXPECT_TRUE(host_.Assertions().empty());
}

TEST_F(ViewManagerTest, AFileWithoutARelationManagerAsserts) {
  Prepare(PeopleDeclaration(), PeopleKeys(), {});
  relation_->Kill();  // the mapping goes
  manager_.Init(*view_, *relation_);
  ExpectAssertions(
      {"Unable to obtain relation manager for constituent file: " +
       file_->name()});
  EXPECT_FALSE(file_->is_open());
}

TEST_F(ViewManagerTest, UseViewWithoutAViewAsserts) {
  manager_.UseView();
  ExpectAssertions({"View manager has not been assigned a view"});
  EXPECT_EQ(manager_.Used, 0);
}

// --- The free element -------------------------------------------------------

TEST_F(ViewManagerTest, FreeElementIsTheFirstComponentTheRangeLeaves) {
  StartOrders();
  EXPECT_EQ(manager_.GetFreeElementPosition(), 1);
  EXPECT_EQ(manager_.GetFreeElementName(), "ORD:Customer");
  SetLimit(Range::Current);
  AddRange(Long(1));
  EXPECT_EQ(manager_.GetFreeElementPosition(), 2);
  EXPECT_EQ(manager_.GetFreeElementName(), "ORD:Number");
  EXPECT_EQ(manager_.GetFreeElementAscending(), 1);
  manager_.SetOrder("+ORD:Customer,-ORD:Number");
  EXPECT_EQ(manager_.GetFreeElementAscending(), 0);
  AddRange(Long(2));
  EXPECT_EQ(manager_.GetFreeElementPosition(), 0);  // past the last
  EXPECT_EQ(manager_.GetFreeElementName(), "");
  SetLimit(Range::Pair);  // the last two pairs share one field
  EXPECT_EQ(manager_.GetFreeElementPosition(), 2);

  ASSERT_EQ(manager_.AddSortOrder(), 2);  // no main key
  EXPECT_EQ(manager_.GetFreeElementPosition(), 0);
}

TEST_F(ViewManagerTest, GetFieldAscendingReadsTheSignOfTheItemNamingIt) {
  StartPeople();
  manager_.SetOrder("-UPPER(PPL:Name), SUB(PPL:Name,1,3) ,+PPL:Born");
  EXPECT_EQ(manager_.GetFieldAscending("PPL:Name"), 0);
  EXPECT_EQ(manager_.GetFieldAscending("UPPER(PPL:Name)"), 0);
  EXPECT_EQ(manager_.GetFieldAscending("ppl:name"), 0);
  EXPECT_EQ(manager_.GetFieldAscending("PPL:Born"), 1);
  EXPECT_EQ(manager_.GetFieldAscending("PPL:Other"), 1);
  EXPECT_EQ(manager_.GetFreeElementAscending(), 0);
  manager_.SetOrder("PPL:Name,-PPL:Born");
  EXPECT_EQ(manager_.GetFieldAscending("PPL:Name"), 1);
  EXPECT_EQ(manager_.GetFieldAscending(access_->GetField(Key{1}, 1)), 0);
  EXPECT_EQ(manager_.GetFieldAscending(access_->GetField(Key{0}, 1)), 1);
}

}  // namespace
}  // namespace zuna::framework::test
