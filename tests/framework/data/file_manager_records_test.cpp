// The file manager's record operations: insert, update and delete with
// their messages, fetch, next, saved buffers and file states, keys, and the
// file callbacks with their hooks and assertions.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "runtime/datfile/driver.h"
#include "runtime/datfile/key_encoding.h"
#include "runtime/values/locale.h"
#include "tests/framework/data/file_manager_fixture.h"

namespace zuna::framework::test {
namespace {

using values::W;

class FileManagerRecordsTest : public FileManagerTest {
 protected:
  // A PPL file holding `records` and an initialized manager over it that
  // knows `keys`; neither opened nor used yet.
  void MakePeople(const std::vector<std::string>& records,
                  std::vector<DictionaryAccess::KeyEntry> keys = PeopleKeys()) {
    people_ = MakeFile(PeopleDeclaration());
    CreateWith(*people_, records);
    access_ = std::make_unique<DictionaryAccess>(*people_, errors_,
                                                 std::move(keys), "ppl");
    access_->Init();
  }

  // An open PPL manager over a file holding Ivanov (1000) and Petrov (2000).
  void OpenPeople() {
    MakePeople({PeopleRecord("Ivanov", 1000), PeopleRecord("Petrov", 2000)});
    ASSERT_EQ(access_->Open(), Level::Benign);
    ASSERT_EQ(access_->UseFile(UseType::Use), Level::Benign);
  }

  // This station watches and reads `name`; then another station, other_,
  // opened shared, rereads him and stores `born` in his record.
  void WatchThenChangeElsewhere(const char* name, int32_t born) {
    SetTextAt(people_->record(), 0, 20, name);
    ASSERT_EQ(datfile::WATCH(*people_), 0);
    ASSERT_EQ(access_->Fetch(Key{0}), Level::Benign);
    other_ = MakeFile(PeopleDeclaration());
    ASSERT_EQ(datfile::OPEN(*other_, 0x42), 0);
    SetRecord(*other_, PeopleRecord(name, 0));
    ASSERT_EQ(datfile::GET(*other_, Key{0}), 0);
    SetLongAt(other_->record(), 20, born);
    ASSERT_EQ(datfile::PUT(*other_), 0);
  }

  void TearDown() override {
    if (access_) access_->Close();
    access_.reset();
  }

  std::unique_ptr<DatFileInstance> people_;
  std::unique_ptr<DictionaryAccess> access_;
  std::unique_ptr<DatFileInstance> other_;  // another station's instance
};

TEST_F(FileManagerRecordsTest, InsertAddsAndRunsTheInsertHooks) {
  OpenPeople();
  SetRecord(*people_, PeopleRecord("Sidorov", 3000));
  EXPECT_EQ(access_->Insert(), Level::Benign);
  EXPECT_EQ(datfile::RECORDS(*people_), 3u);
  EXPECT_EQ(access_->pre_insert, 1);
  EXPECT_EQ(access_->post_insert, 1);
  EXPECT_TRUE(host_.MessageBoxes().empty());
}

TEST_F(FileManagerRecordsTest, DuplicateOnAUniqueKeyNamesTheKey) {
  OpenPeople();
  SetRecord(*people_, PeopleRecord("IVANOV", 5000));  // NOCASE: duplicate
  EXPECT_EQ(access_->Insert(), Level::Notify);
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].request.caption, W("Ошибка дублирования в ключе"));
  EXPECT_EQ(shown[0].request.text,
            W("Добавление этой записи создает дублирование для ключа: ") +
                "PPL:NameKey");
  EXPECT_EQ(datfile::RECORDS(*people_), 2u);
}

TEST_F(FileManagerRecordsTest, DuplicateOfTheRecordJustReadIsNamedToo) {
  OpenPeople();
  SetTextAt(people_->record(), 0, 20, "Petrov");
  ASSERT_EQ(access_->Fetch(Key{0}), Level::Benign);  // Petrov is current
  SetLongAt(people_->record(), 20, 1);
  EXPECT_EQ(access_->Insert(), Level::Notify);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].request.text,
            W("Добавление этой записи создает дублирование для ключа: ") +
                "PPL:NameKey");
  // The caller's record is as it was.
  EXPECT_EQ(TextAt(people_->record(), 0, 20), "Petrov");
  EXPECT_EQ(LongAt(people_->record(), 20), 1);
}

TEST_F(FileManagerRecordsTest, DuplicateOnAKeyWithoutDescriptionNamesItsLabel) {
  MakePeople({PeopleRecord("Ivanov", 1000)}, {{Key{0}, "", 0}});
  ASSERT_EQ(access_->Open(), Level::Benign);
  SetRecord(*people_, PeopleRecord("Ivanov", 1));
  EXPECT_EQ(access_->Insert(), Level::Notify);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].request.text,
            W("Добавление этой записи создает дублирование для ключа: ") +
                "PPL:NameKey");
}

TEST_F(FileManagerRecordsTest, DuplicateOnAKeyTheManagerDoesNotKnowStillSaysSo) {
  // Only the DUP key is registered: the duplicated key cannot be named, but
  // the user is told all the same.
  MakePeople({PeopleRecord("Ivanov", 1000)}, {{Key{1}, "PPL:BornKey", 0}});
  ASSERT_EQ(access_->Open(), Level::Benign);
  SetRecord(*people_, PeopleRecord("Ivanov", 1));
  EXPECT_EQ(access_->Insert(), Level::Notify);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].request.text,
            W("Добавление этой записи создает дублирование для ключа: "));
}

TEST_F(FileManagerRecordsTest, TryInsertIsSilentAndKeeps15ForALaterThrow) {
  OpenPeople();
  SetRecord(*people_, PeopleRecord("Petrov", 1));
  EXPECT_EQ(access_->TryInsert(), Level::Notify);
  EXPECT_TRUE(host_.MessageBoxes().empty());
  EXPECT_EQ(access_->LastError, Msg::DuplicateKey);
  values::ClearError();
  EXPECT_EQ(access_->Throw(), Level::Notify);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].request.caption, W("Ошибка дублирования в ключе"));
  EXPECT_EQ(Shown()[0].request.text,
            W("Добавление этой записи создает дублирование для ключа: ") +
                "PPL:NameKey");
}

TEST_F(FileManagerRecordsTest, ValidationFailureStopsInsertAndUpdate) {
  class Picky : public DictionaryAccess {
   public:
    using DictionaryAccess::DictionaryAccess;
    uint8_t ValidateFieldServer(int32_t id, uint8_t) override {
      return id == 2 ? Level::Notify : Level::Benign;
    }
  };
  people_ = MakeFile(PeopleDeclaration());
  CreateWith(*people_, {PeopleRecord("Ivanov", 1000)});
  Picky access(*people_, errors_, PeopleKeys(), "ppl");
  access.Init();
  ASSERT_EQ(access.Open(), Level::Benign);
  int32_t failed = 0;
  EXPECT_EQ(access.ValidateRecord(&failed), Level::Notify);
  EXPECT_EQ(failed, 2);
  SetRecord(*people_, PeopleRecord("Sidorov", 1));
  EXPECT_EQ(access.Insert(), Level::Notify);
  ASSERT_EQ(datfile::SET(*people_), 0);
  ASSERT_EQ(access.Next(), Level::Benign);
  EXPECT_EQ(access.Update(), Level::User);  // update differs from insert
  EXPECT_EQ(datfile::RECORDS(*people_), 1u);
  access.Close();
}

TEST_F(FileManagerRecordsTest, UpdateOfARecordChangedElsewhereShows7AndRereads) {
  OpenPeople();
  ASSERT_NO_FATAL_FAILURE(WatchThenChangeElsewhere("Ivanov", 1111));

  SetLongAt(people_->record(), 20, 2222);
  EXPECT_EQ(access_->Update(), Level::Notify);
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].request.caption, W("Запись не обновляется"));
  EXPECT_EQ(shown[0].request.text,
            W("Запись была изменена другой рабочей станцией."));
  // The buffer holds the other station's version, under watch again: a
  // second change now goes through.
  EXPECT_EQ(LongAt(people_->record(), 20), 1111);
  SetLongAt(people_->record(), 20, 3333);
  EXPECT_EQ(access_->Update(), Level::Benign);
  EXPECT_EQ(datfile::CLOSE(*other_), 0);
}

TEST_F(FileManagerRecordsTest, TryUpdateRecords7ForTheCallerToTurnInto8) {
  OpenPeople();
  ASSERT_NO_FATAL_FAILURE(WatchThenChangeElsewhere("Petrov", 4444));

  SetLongAt(people_->record(), 20, 5555);
  EXPECT_EQ(access_->TryUpdate(), Level::Notify);
  EXPECT_TRUE(host_.MessageBoxes().empty());
  EXPECT_EQ(access_->LastError, Msg::RecordChangedElsewhere);
  EXPECT_EQ(LongAt(people_->record(), 20), 4444);
  // A form shows the re-read record and says so with id 8.
  EXPECT_EQ(access_->Throw(Msg::RecordChangedShown), Level::Notify);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_NE(Shown()[0].request.text.find(
                W("Эти изменения сейчас отображены на экране.")),
            std::string::npos);
  EXPECT_EQ(datfile::CLOSE(*other_), 0);
}

TEST_F(FileManagerRecordsTest, UpdateRunsTheUpdateHooks) {
  OpenPeople();
  SetTextAt(people_->record(), 0, 20, "Petrov");
  ASSERT_EQ(access_->Fetch(Key{0}), Level::Benign);
  SetLongAt(people_->record(), 20, 2001);
  EXPECT_EQ(access_->Update(), Level::Benign);
  EXPECT_EQ(access_->pre_update, 1);
  EXPECT_EQ(access_->post_update, 1);
  SetRecord(*people_, PeopleRecord("Petrov", 0));
  ASSERT_EQ(access_->Fetch(Key{0}), Level::Benign);
  EXPECT_EQ(LongAt(people_->record(), 20), 2001);
}

TEST_F(FileManagerRecordsTest, DeleteAnsweredNoIsCancelAndDeletesNothing) {
  OpenPeople();
  SetTextAt(people_->record(), 0, 20, "Ivanov");
  ASSERT_EQ(access_->Fetch(Key{0}), Level::Benign);
  host_.Answer(Button::No);
  EXPECT_EQ(access_->DeleteRecord(1), Level::Cancel);
  EXPECT_EQ(datfile::RECORDS(*people_), 2u);
  EXPECT_EQ(access_->pre_delete, 0);
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].request.caption, W("Подтвердите Удаление"));
  EXPECT_EQ(shown[0].request.buttons, Button::Yes | Button::No);

  host_.Answer(Button::Yes);
  EXPECT_EQ(access_->DeleteRecord(1), Level::Benign);
  EXPECT_EQ(datfile::RECORDS(*people_), 1u);
  EXPECT_EQ(access_->pre_delete, 1);
  EXPECT_EQ(access_->post_delete, 1);
}

TEST_F(FileManagerRecordsTest, FailedDeleteIsRecordedAs13AndNotShown) {
  OpenPeople();
  ASSERT_EQ(datfile::SET(*people_), 0);  // no current record
  EXPECT_EQ(access_->DeleteRecord(0), Level::Notify);
  EXPECT_EQ(access_->LastError, Msg::DeleteFailed);
  EXPECT_TRUE(host_.MessageBoxes().empty());
}

TEST_F(FileManagerRecordsTest, FetchOfAMissingKeyClearsTheBuffer) {
  OpenPeople();
  SetRecord(*people_, PeopleRecord("Nobody", 77));
  EXPECT_EQ(access_->Fetch(Key{0}), Level::Notify);
  EXPECT_EQ(std::string(people_->record().data(), 24),
            std::string(20, ' ') + std::string(4, '\0'));
  EXPECT_TRUE(host_.MessageBoxes().empty());
}

TEST_F(FileManagerRecordsTest, PreviousRunsBackwardsAndOffTheStart) {
  OpenPeople();
  ASSERT_EQ(datfile::SET(*people_, Key{1}), 0);
  EXPECT_EQ(access_->Previous(), Level::Benign);
  EXPECT_EQ(TextAt(people_->record(), 0, 20), "Petrov");
  EXPECT_EQ(access_->TryPrevious(), Level::Benign);
  EXPECT_EQ(TextAt(people_->record(), 0, 20), "Ivanov");
  EXPECT_EQ(access_->Previous(), Level::Notify);
  EXPECT_EQ(access_->GetEOF(), 1);
  EXPECT_TRUE(host_.MessageBoxes().empty());
}

TEST_F(FileManagerRecordsTest, RecordHeldElsewhereIs31OrSkipped) {
  MakePeople(
      {PeopleRecord("A", 1), PeopleRecord("B", 2), PeopleRecord("C", 3)});
  ASSERT_EQ(access_->Open(), Level::Benign);
  access_->UseFile(UseType::Use);
  // Another station holds B.
  auto other = MakeFile(PeopleDeclaration());
  ASSERT_EQ(datfile::OPEN(*other, 0x42), 0);
  SetRecord(*other, PeopleRecord("B", 0));
  ASSERT_EQ(datfile::HOLD(*other), 0);
  ASSERT_EQ(datfile::GET(*other, Key{0}), 0);

  ASSERT_EQ(datfile::SET(*people_, Key{1}), 0);
  ASSERT_EQ(access_->Next(), Level::Benign);  // A
  ASSERT_EQ(datfile::HOLD(*people_, 1), 0);   // wait a second at most
  EXPECT_EQ(access_->Next(), Level::Notify);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].request.caption, W("Запись не читается"));
  EXPECT_EQ(Shown()[0].request.text,
            W("Запись захвачена другой рабочей станцией, невозможно чтение "
              "файла ppl."));

  access_->SkipHeldRecords = 1;
  ASSERT_EQ(datfile::HOLD(*people_, 1), 0);
  EXPECT_EQ(access_->Next(), Level::Benign);
  EXPECT_EQ(TextAt(people_->record(), 0, 20), "C");
  EXPECT_EQ(Shown().size(), 1u);
  EXPECT_EQ(datfile::CLOSE(*other), 0);
}

TEST_F(FileManagerRecordsTest, MultipleRecordReadsAreSetWhileScanning) {
  OpenPeople();
  access_->SetUseMRP(1);
  ASSERT_EQ(datfile::SET(*people_), 0);
  ASSERT_EQ(access_->Next(), Level::Benign);
  EXPECT_EQ(access_->DriverMRPSize(), 20);
  SetRecord(*people_, PeopleRecord("Sidorov", 3));
  ASSERT_EQ(access_->Insert(), Level::Benign);
  EXPECT_EQ(access_->DriverMRPSize(), 0);  // no read-ahead while writing
  ASSERT_EQ(access_->Next(), Level::Benign);
  EXPECT_EQ(access_->DriverMRPSize(), 20);
  access_->Close();
  EXPECT_EQ(access_->GetUseMRP(), 0);
  EXPECT_EQ(access_->DriverMRPSize(), 0);
  access_.reset();
}

TEST_F(FileManagerRecordsTest, PrimeRecordClearsAndRunsPrimeFields) {
  class Defaults : public DictionaryAccess {
   public:
    using DictionaryAccess::DictionaryAccess;
    void PrimeFields() override { SetLongAt(Buffer, 20, 42); }
  };
  people_ = MakeFile(PeopleDeclaration());
  CreateWith(*people_, {});
  Defaults access(*people_, errors_, PeopleKeys(), "ppl");
  access.Init();
  ASSERT_EQ(access.Open(), Level::Benign);
  SetRecord(*people_, PeopleRecord("Leftover", 9));
  EXPECT_EQ(access.PrimeRecord(), Level::Benign);
  EXPECT_EQ(TextAt(people_->record(), 0, 20), "");
  EXPECT_EQ(LongAt(people_->record(), 20), 42);
  SetRecord(*people_, PeopleRecord("Kept", 9));
  EXPECT_EQ(access.PrimeRecord(1), Level::Benign);
  EXPECT_EQ(TextAt(people_->record(), 0, 20), "Kept");
  access.Close();
}

// --- Saved buffers and file states -------------------------------------------

TEST_F(FileManagerRecordsTest, SaveBufferIdsLeaveRoomForMemosAndNulls) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  CreateWith(*zun, {});
  DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
  access.Init();
  access.UseFile(UseType::Use);
  EXPECT_EQ(access.SaveBuffer(), 1);
  EXPECT_EQ(access.SaveBuffer(), 3);  // record + null flags each

  auto memo = MakeFile(zuna::testing::MemoDeclaration());
  CreateWith(*memo, {});
  DictionaryAccess memo_access(
      *memo, errors_,
      std::vector<DictionaryAccess::KeyEntry>{{Key{0}, "MEM:NameKey", 0}},
      "mem");
  memo_access.Init();
  memo_access.UseFile(UseType::Use);
  EXPECT_EQ(memo_access.SaveBuffer(), 1);
  EXPECT_EQ(memo_access.SaveBuffer(), 4);  // record, memo, null flags
  memo_access.Close();
  access.Close();
}

TEST_F(FileManagerRecordsTest, RestoreBufferBringsBackRecordAndMemo) {
  auto memo = MakeFile(zuna::testing::MemoDeclaration());
  CreateWith(*memo, {});
  DictionaryAccess access(
      *memo, errors_,
      std::vector<DictionaryAccess::KeyEntry>{{Key{0}, "MEM:NameKey", 0}},
      "mem");
  access.Init();
  access.UseFile(UseType::Use);
  SetTextAt(memo->record(), 0, 20, "Before");
  std::fill(memo->memo().begin(), memo->memo().end(), 'm');
  int32_t id = access.SaveBuffer();
  EXPECT_EQ(access.EqualBuffer(id), 1);
  SetTextAt(memo->record(), 0, 20, "After");
  EXPECT_EQ(access.EqualBuffer(id), 0);
  SetTextAt(memo->record(), 0, 20, "Before");
  memo->memo()[5] = 'x';
  EXPECT_EQ(access.EqualBuffer(id), 0);  // the memo differs
  SetTextAt(memo->record(), 0, 20, "After");

  access.RestoreBuffer(id, 0);  // kept
  EXPECT_EQ(TextAt(memo->record(), 0, 20), "Before");
  EXPECT_EQ(memo->memo()[5], 'm');
  EXPECT_EQ(id, 1);
  access.RestoreBuffer(id, 1);  // released
  EXPECT_EQ(id, 0);
  EXPECT_TRUE(access.Buffers->empty());
  EXPECT_TRUE(host_.Assertions().empty());
  access.Close();
}

TEST_F(FileManagerRecordsTest, RestoringAnUnknownHandleAsserts) {
  OpenPeople();
  SetRecord(*people_, PeopleRecord("Same", 1));
  int32_t id = 7;
  access_->RestoreBuffer(id, 1);
  ASSERT_EQ(host_.Assertions().size(), 1u);
  EXPECT_EQ(host_.Assertions()[0].rfind("Restore handle is invalid\n", 0), 0u);
  EXPECT_EQ(TextAt(people_->record(), 0, 20), "Same");

  // A handle whose null-flag row is gone: the memo-less text for it.
  int32_t saved = access_->SaveBuffer();
  access_->Buffers->pop_back();
  access_->RestoreBuffer(saved, 1);
  ASSERT_EQ(host_.Assertions().size(), 2u);
  EXPECT_NE(host_.Assertions()[1].find("nullity information"),
            std::string::npos);
}

TEST_F(FileManagerRecordsTest, RestoreFileReturnsToTheSavedRecordAndSequence) {
  MakePeople({PeopleRecord("A", 1), PeopleRecord("B", 2), PeopleRecord("C", 3),
              PeopleRecord("D", 4)});
  ASSERT_EQ(access_->Open(), Level::Benign);
  access_->UseFile(UseType::Use);
  access_->SetKey(Key{1});
  ASSERT_EQ(datfile::SET(*people_, Key{1}), 0);
  ASSERT_EQ(access_->Next(), Level::Benign);
  ASSERT_EQ(access_->Next(), Level::Benign);  // B
  int32_t state = access_->SaveFile();
  ASSERT_EQ(access_->Next(), Level::Benign);  // C
  ASSERT_EQ(access_->Next(), Level::Benign);  // D
  SetTextAt(people_->record(), 0, 20, "changed by the caller");

  int32_t kept = state;
  access_->RestoreFile(kept, 0);  // position only
  EXPECT_EQ(kept, 0);
  EXPECT_EQ(TextAt(people_->record(), 0, 20), "changed by the calle");
  ASSERT_EQ(access_->Next(), Level::Benign);
  EXPECT_EQ(TextAt(people_->record(), 0, 20), "C");

  state = access_->SaveFile();  // at C
  ASSERT_EQ(access_->Next(), Level::Benign);
  access_->RestoreFile(state, 1);
  EXPECT_EQ(TextAt(people_->record(), 0, 20), "C");
  ASSERT_EQ(access_->Next(), Level::Benign);
  EXPECT_EQ(TextAt(people_->record(), 0, 20), "D");
  EXPECT_TRUE(access_->Saved->empty());
  EXPECT_TRUE(access_->Buffers->empty());
  EXPECT_TRUE(host_.Assertions().empty());
}

TEST_F(FileManagerRecordsTest, RestoringAStateSavedClosedClosesTheFile) {
  MakePeople({PeopleRecord("A", 1)});
  access_->UseFile(UseType::Initialize);  // lazily opened: counted once
  ASSERT_EQ(access_->Close(), Level::Benign);
  ASSERT_FALSE(people_->is_open());
  int32_t state = access_->SaveFile();
  access_->UseFile(UseType::Use);
  ASSERT_TRUE(people_->is_open());
  access_->RestoreFile(state, 1);
  EXPECT_FALSE(people_->is_open());
  EXPECT_EQ(access_->Used, 0);
  EXPECT_EQ(access_->GetOpened(), 0);
  EXPECT_TRUE(host_.Assertions().empty());
}

// --- Keys ---------------------------------------------------------------------

TEST_F(FileManagerRecordsTest, KeysKnowTheirComponentsAndOrderTexts) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  CreateWith(*zun, {});
  DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
  access.Init();
  access.UseFile(UseType::Initialize);
  // ZUN:zun_key is NOCASE, but a date has no case.
  EXPECT_EQ(access.KeyToOrder(Key{0}), "+ZUN:DATA");
  EXPECT_EQ(access.KeyToOrder(Key{1}), "+UPPER(ZUN:FIO)");
  EXPECT_EQ(access.KeyToOrder(Key{1}, 2), "");
  EXPECT_EQ(access.GetComponents(Key{1}), 1);
  EXPECT_EQ(access.GetFieldName(Key{1}, 1), "UPPER(ZUN:FIO)");
  EXPECT_EQ(access.GetFieldAscending(Key{0}, 1), 1);
  const values::VariableRef field = access.GetField(Key{0}, 1);
  EXPECT_EQ(field.type, values::VarType::kLong);
  EXPECT_EQ(field.address, zun->record().data() + 30);
  EXPECT_EQ(access.PrimaryKey, 0);
  EXPECT_EQ(access.HasAutoInc, 0);
  ASSERT_EQ(access.Fields->size(), 3u);
  EXPECT_EQ((*access.Fields)[2].Name, "ZUN:DATA1");

  auto orders = MakeFile(OrderDeclaration());
  DictionaryAccess order_access(*orders, errors_, OrderKeys(), "ord");
  order_access.Init();
  order_access.UseFile(UseType::Initialize);
  EXPECT_EQ(order_access.KeyToOrder(Key{0}), "+ORD:Customer,+ORD:Number");
  EXPECT_EQ(order_access.KeyToOrder(Key{0}, 2), "+ORD:Number");
  EXPECT_EQ(order_access.HasAutoInc, 1);

  // A key nobody added.
  EXPECT_EQ(access.GetComponents(Key{5}), 0);
  EXPECT_EQ(host_.Assertions().size(), 1u);
  access.Close();
  order_access.Close();
}

TEST_F(FileManagerRecordsTest, ClearKeySetsFirstOrLastValuesOfTheOrder) {
  auto orders = MakeFile(OrderDeclaration());
  DictionaryAccess access(*orders, errors_, OrderKeys(), "ord");
  access.Init();
  access.UseFile(UseType::Initialize);
  SetLongAt(orders->record(), 0, 7);
  SetLongAt(orders->record(), 4, 7);
  access.ClearKey(Key{0}, 2, 2, 0);
  EXPECT_EQ(LongAt(orders->record(), 0), 7);
  EXPECT_EQ(LongAt(orders->record(), 4), INT32_MIN);
  access.ClearKey(Key{0}, 1, 255, 1);
  EXPECT_EQ(LongAt(orders->record(), 0), INT32_MAX);
  EXPECT_EQ(LongAt(orders->record(), 4), INT32_MAX);
  access.Close();
}

// The first and last value of a text key are the characters the key itself
// weighs lowest and highest: for ZUN, whose name key weighs 866 codes, not
// those of the program's 1251 order.
TEST_F(FileManagerRecordsTest, ClearKeyOfAnOemTextKeyReachesItsEnds) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
  access.Init();
  access.UseFile(UseType::Initialize);
  const FileDecl& decl = zun->declaration();
  datfile::KeyEncoder name_key;
  ASSERT_TRUE(datfile::KeyEncoder::Create(decl, decl.keys[1], values::Locale(),
                                          &name_key)
                  .ok());
  auto first_byte = [&](const std::string& record) {
    return static_cast<uint8_t>(name_key.MakeEntry(1, record)[4]);
  };
  access.ClearKey(Key{1}, 1, 1, 1);
  const std::string highest(zun->record().data(), zun->record().size());
  access.ClearKey(Key{1}, 1, 1, 0);
  const std::string lowest(zun->record().data(), zun->record().size());
  for (int c = 1; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    if (values::Cp866ToCp1251(values::Cp1251ToCp866(ch)) != ch) continue;
    std::string record = highest;
    std::memset(record.data(), ch, 30);
    EXPECT_LE(first_byte(record), first_byte(highest)) << c;
    EXPECT_GE(first_byte(record), first_byte(lowest)) << c;
  }
  access.Close();
}

TEST_F(FileManagerRecordsTest, SetKeyNamesTheKeyForMessages) {
  OpenPeople();
  access_->SetKey(Key{1});
  ErrorStatusGroup group;
  errors_.GetAllStatusVariables(group);
  EXPECT_EQ(group.KeyName, "PPL:BornKey");
}

// --- File callbacks -----------------------------------------------------------

TEST_F(FileManagerRecordsTest, CloseBehindTheManagersBackAsserts) {
  OpenPeople();
  datfile::CLOSE(*people_);
  ASSERT_EQ(host_.Assertions().size(), 1u);
  EXPECT_EQ(host_.Assertions()[0].rfind(
                "You are calling CLOSE(ppl) instead of FileManager.Close()", 0),
            0u);
  // The manager knows the file is closed and opens it again when used.
  EXPECT_EQ(access_->Used, 0);
  EXPECT_EQ(access_->UseFile(UseType::Use), Level::Benign);
  EXPECT_TRUE(people_->is_open());
}

TEST_F(FileManagerRecordsTest, OperationWithoutUseFileAsserts) {
  MakePeople({});
  access_->UseFile(UseType::Initialize);
  access_->Close();  // closed again: the FILE is not open
  datfile::NEXT(*people_);
  ASSERT_EQ(host_.Assertions().size(), 1u);
  EXPECT_EQ(host_.Assertions()[0].rfind(
                "You have not called FileManager.UseFile() for ppl", 0),
            0u);
}

TEST_F(FileManagerRecordsTest, DestroyingAnOpenFileAsserts) {
  OpenPeople();
  people_.reset();
  ASSERT_EQ(host_.Assertions().size(), 1u);
  EXPECT_EQ(host_.Assertions()[0].rfind(
                "You have not called FileManager.Close() for ppl", 0),
            0u);
  // The FILE is gone: nothing may close it now.
  access_->Opened = 0;
  access_->Used = 0;
}

TEST_F(FileManagerRecordsTest, KillUnregistersTheCallback) {
  OpenPeople();
  access_->Close();
  access_->Kill();
  EXPECT_EQ(access_->Initialized, 0);
  EXPECT_EQ(access_->Killed, 1);
  access_->Kill();  // twice is harmless
  const size_t before = access_->done.size();
  ASSERT_EQ(datfile::OPEN(*people_, 0x42), 0);
  datfile::CLOSE(*people_);
  EXPECT_EQ(access_->done.size(), before);
  EXPECT_TRUE(host_.Assertions().empty());
  access_.reset();
}

}  // namespace
}  // namespace zuna::framework::test
