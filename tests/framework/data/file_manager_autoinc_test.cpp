// Auto numbering, on a declaration of our own (ORD): the number within a
// customer is the highest one there plus 1, added at once; the insert
// completes it; an abandoned insert is taken back; three failed adds ask
// id 35.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/framework/data/file_manager_fixture.h"

namespace zuna::framework::test {
namespace {

using values::W;

std::string OrderRecord(int32_t customer, int32_t number,
                        std::string_view item) {
  std::string record(18, ' ');
  datfile::EncodeFixed32(record.data(), static_cast<uint32_t>(customer));
  datfile::EncodeFixed32(record.data() + 4, static_cast<uint32_t>(number));
  record.replace(8, std::min<size_t>(item.size(), 10), item.substr(0, 10));
  return record;
}

class FileManagerAutoIncTest : public FileManagerTest {
 protected:
  void OpenOrders(const std::vector<std::string>& records) {
    orders_ = MakeFile(OrderDeclaration());
    CreateWith(*orders_, records);
    access_ = std::make_unique<DictionaryAccess>(*orders_, errors_,
                                                 OrderKeys(), "ord");
    access_->Init();
    ASSERT_EQ(access_->Open(), Level::Benign);
    ASSERT_EQ(access_->UseFile(UseType::Use), Level::Benign);
  }
  void TearDown() override {
    if (access_) access_->Close();
    access_.reset();
  }

  // The numbers on file for `customer`, in key order.
  std::vector<int32_t> NumbersOf(int32_t customer) {
    std::vector<int32_t> numbers;
    SetRecord(*orders_, OrderRecord(customer, INT32_MIN, ""));
    EXPECT_EQ(datfile::SET(*orders_, Key{0}, Key{0}), 0);
    while (datfile::NEXT(*orders_) == 0 &&
           LongAt(orders_->record(), 0) == customer) {
      numbers.push_back(LongAt(orders_->record(), 4));
    }
    return numbers;
  }

  std::unique_ptr<DatFileInstance> orders_;
  std::unique_ptr<DictionaryAccess> access_;
};

TEST_F(FileManagerAutoIncTest, NumbersFollowTheHighestWithinTheLeadingValues) {
  OpenOrders({OrderRecord(7, 1, "a"), OrderRecord(7, 5, "b"),
              OrderRecord(9, 2, "c")});
  // Customer 7: highest 5, so 6.  The record is on file at once.
  SetRecord(*orders_, OrderRecord(7, 0, "new7"));
  EXPECT_EQ(access_->PrimeRecord(1), Level::Benign);
  EXPECT_EQ(LongAt(orders_->record(), 4), 6);
  EXPECT_EQ(TextAt(orders_->record(), 8, 10), "new7");
  EXPECT_EQ(access_->GetAutoIncDone(), 1);
  EXPECT_EQ(datfile::RECORDS(*orders_), 4u);

  // The insert completes the added record in place.
  SetTextAt(orders_->record(), 8, 10, "done7");
  EXPECT_EQ(access_->Insert(), Level::Benign);
  EXPECT_EQ(access_->GetAutoIncDone(), 0);
  EXPECT_EQ(datfile::RECORDS(*orders_), 4u);
  EXPECT_EQ(NumbersOf(7), (std::vector<int32_t>{1, 5, 6}));

  // Customer 8 has none: 1.  Customer 10, past the last record: 1.
  SetRecord(*orders_, OrderRecord(8, 99, "new8"));
  EXPECT_EQ(access_->Insert(), Level::Benign);
  EXPECT_EQ(NumbersOf(8), (std::vector<int32_t>{1}));
  SetRecord(*orders_, OrderRecord(10, 99, "new10"));
  EXPECT_EQ(access_->Insert(), Level::Benign);
  EXPECT_EQ(NumbersOf(10), (std::vector<int32_t>{1}));
  EXPECT_EQ(NumbersOf(9), (std::vector<int32_t>{2}));
  EXPECT_EQ(access_->pre_insert, 3);  // the adds
  EXPECT_EQ(access_->pre_update, 1);  // the insert that completed one
  EXPECT_TRUE(host_.MessageBoxes().empty());
}

TEST_F(FileManagerAutoIncTest, AnEmptyFileStartsAtOne) {
  OpenOrders({});
  SetRecord(*orders_, OrderRecord(3, 0, "x"));
  EXPECT_EQ(access_->TryPrimeAutoInc(), Level::Benign);
  EXPECT_EQ(LongAt(orders_->record(), 4), 1);
  // Already done: a second call changes nothing.
  EXPECT_EQ(access_->PrimeAutoInc(), Level::Benign);
  EXPECT_EQ(datfile::RECORDS(*orders_), 1u);
}

TEST_F(FileManagerAutoIncTest, CancelAutoIncDeletesTheAddedRecord) {
  OpenOrders({OrderRecord(7, 1, "a")});
  SetRecord(*orders_, OrderRecord(7, 0, "gone"));
  ASSERT_EQ(access_->PrimeAutoInc(), Level::Benign);
  ASSERT_EQ(datfile::RECORDS(*orders_), 2u);
  EXPECT_EQ(access_->CancelAutoInc(), Level::Benign);
  EXPECT_EQ(access_->GetAutoIncDone(), 0);
  EXPECT_EQ(datfile::RECORDS(*orders_), 1u);
  // Nothing to undo any more.
  EXPECT_EQ(access_->CancelAutoInc(), Level::Benign);
  EXPECT_EQ(datfile::RECORDS(*orders_), 1u);
}

TEST_F(FileManagerAutoIncTest, CancelAutoIncGoesThroughTheRelationManager) {
  class Relation final : public RelatedDeleteInterface {
   public:
    explicit Relation(FileManager& me) : me_(me) {}
    uint8_t Delete(uint8_t query) override {
      ++calls;
      return me_.DeleteRecord(query);
    }
    int calls = 0;

   private:
    FileManager& me_;
  };
  OpenOrders({});
  SetRecord(*orders_, OrderRecord(1, 0, "x"));
  ASSERT_EQ(access_->PrimeAutoInc(), Level::Benign);
  Relation relation(*access_);
  EXPECT_EQ(access_->CancelAutoInc(&relation), Level::Benign);
  EXPECT_EQ(relation.calls, 1);
  EXPECT_EQ(datfile::RECORDS(*orders_), 0u);
}

TEST_F(FileManagerAutoIncTest, ThreeFailedAddsAsk35AndYesTriesThreeMore) {
  OpenOrders({OrderRecord(1, 1, "taken")});
  // The item duplicates a unique key: every add fails.
  SetRecord(*orders_, OrderRecord(2, 0, "taken"));
  host_.Answer(Button::Yes);
  host_.Answer(Button::No);
  EXPECT_EQ(access_->PrimeAutoInc(), Level::Notify);
  EXPECT_EQ(access_->pre_insert, 6);  // 3 adds, Yes, 3 more
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].request.caption, W("Ошибка автоматического увеличения"));
  EXPECT_EQ(shown[0].request.text,
            W("Попытка автоматического нумерования этой записи привела к "
              "ошибке: Creates Duplicate Key (40). Попробовать еще раз?"));
  ErrorStatusGroup group;
  errors_.GetAllStatusVariables(group);
  EXPECT_EQ(group.KeyName, "ORD:ItemKey");
  EXPECT_EQ(datfile::RECORDS(*orders_), 1u);
  EXPECT_EQ(access_->GetAutoIncDone(), 0);
}

TEST_F(FileManagerAutoIncTest, TryPrimeAutoIncOnlyRecords35) {
  OpenOrders({OrderRecord(1, 1, "taken")});
  SetRecord(*orders_, OrderRecord(2, 0, "taken"));
  EXPECT_EQ(access_->TryPrimeAutoInc(), Level::Notify);
  EXPECT_EQ(access_->LastError, Msg::AutoNumberRetry);
  EXPECT_EQ(access_->pre_insert, 3);
  EXPECT_TRUE(host_.MessageBoxes().empty());
  // TryInsert takes the same road, silently.
  EXPECT_EQ(access_->TryInsert(), Level::Notify);
  EXPECT_TRUE(host_.MessageBoxes().empty());
}

}  // namespace
}  // namespace zuna::framework::test
