// The relation manager over a parent file and its child file: open and
// close passes, changes and deletes framed in a transaction, the
// referential-integrity actions, changes another station made meanwhile,
// and the files registry's usage notes.
#include "framework/data/relation_manager.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/data/files_manager.h"
#include "tests/framework/data/file_manager_fixture.h"

namespace zuna::framework::test {
namespace {

using values::W;

// CUS: THREAD, CREATE.  Record, 20 bytes:
//   1 CUS:Id    LONG        offset 0
//   2 CUS:Name  STRING(16)  offset 4
// Key 1 CUS:IdKey (CUS:Id) unique.
FileDecl CustomerDeclaration() {
  FileDecl file;
  file.label = "CUS";
  file.record_length = 20;
  file.fields = {MakeField("CUS:Id", FieldType::kLong, 0, 4),
                 MakeField("CUS:Name", FieldType::kString, 4, 16)};
  file.keys = {MakeKey("CUS:IdKey", {0}, false, false)};
  file.create = true;
  file.thread = true;
  return file;
}

// LIN: THREAD, CREATE.  Record, 14 bytes:
//   1 LIN:Cust  LONG        offset 0   the customer the line belongs to
//   2 LIN:Item  STRING(10)  offset 4
// Key 1 LIN:CustKey (LIN:Cust, LIN:Item) DUP.
FileDecl LineDeclaration() {
  FileDecl file;
  file.label = "LIN";
  file.record_length = 14;
  file.fields = {MakeField("LIN:Cust", FieldType::kLong, 0, 4),
                 MakeField("LIN:Item", FieldType::kString, 4, 10)};
  file.keys = {MakeKey("LIN:CustKey", {0, 1}, true, false)};
  file.create = true;
  file.thread = true;
  return file;
}

std::string CustomerRecord(int32_t id, std::string_view name) {
  std::string record(20, ' ');
  datfile::EncodeFixed32(record.data(), static_cast<uint32_t>(id));
  record.replace(4, std::min<size_t>(name.size(), 16), name.substr(0, 16));
  return record;
}

std::string LineRecord(int32_t customer, std::string_view item) {
  std::string record(14, ' ');
  datfile::EncodeFixed32(record.data(), static_cast<uint32_t>(customer));
  record.replace(4, std::min<size_t>(item.size(), 10), item.substr(0, 10));
  return record;
}

values::VariableRef LongField(std::span<char> buffer, size_t offset) {
  values::VariableRef ref;
  ref.type = values::VarType::kLong;
  ref.address = buffer.data() + offset;
  ref.size = 4;
  return ref;
}

// The parent's relation manager as a dictionary with one relation writes
// it: CUS:Id links to LIN:Cust through LIN:CustKey.
class CustomerRelate final : public RelationManager {
 public:
  CustomerRelate(RelationManager& lines, uint8_t update_mode,
                 uint8_t delete_mode)
      : lines_(lines), update_mode_(update_mode), delete_mode_(delete_mode) {}

  // Stands in for a driver that cannot frame transactions or a
  // transaction that cannot start.
  int32_t start_error = 0;
  int starts = 0;

 protected:
  void DeferedAddRelations() override {
    AddRelation(lines_, update_mode_, delete_mode_, Key{0});
    AddRelationLink(LongField(Me->Buffer, 0), LongField(lines_.Me->Buffer, 0));
  }
  int32_t StartTransaction() override {
    ++starts;
    return start_error != 0 ? start_error : RelationManager::StartTransaction();
  }

 private:
  RelationManager& lines_;
  uint8_t update_mode_;
  uint8_t delete_mode_;
};

// A file manager whose next deletes fail, as a record held elsewhere would
// make them.
class FlakyDeleteAccess final : public DictionaryAccess {
 public:
  using DictionaryAccess::DictionaryAccess;
  uint8_t DeleteRecord(uint8_t query) override {
    ++deletes;
    if (failures_left > 0) {
      --failures_left;
      SetError(Msg::DeleteFailed);
      return Level::Notify;
    }
    return DictionaryAccess::DeleteRecord(query);
  }
  int failures_left = 0;
  int deletes = 0;
};

class RelationManagerTest : public FileManagerTest {
 protected:
  RelationManagerTest() { ThreadFilesManager(); }

  // CUS with customers 1 (two lines) and 2 (one line), LIN with the lines,
  // and the managers; the parent's relation acts with `update_mode` and
  // `delete_mode`.
  void MakeShop(uint8_t update_mode, uint8_t delete_mode) {
    customers_ = MakeFile(CustomerDeclaration());
    lines_ = MakeFile(LineDeclaration());
    CreateWith(*customers_,
               {CustomerRecord(1, "Ivanov"), CustomerRecord(2, "Petrov")});
    CreateWith(*lines_, {LineRecord(1, "tea"), LineRecord(2, "milk"),
                         LineRecord(1, "bread")});
    customer_access_ = std::make_unique<FlakyDeleteAccess>(
        *customers_, errors_,
        std::vector<DictionaryAccess::KeyEntry>{{Key{0}, "CUS:IdKey", 0}},
        "cus");
    line_access_ = std::make_unique<DictionaryAccess>(
        *lines_, errors_,
        std::vector<DictionaryAccess::KeyEntry>{{Key{0}, "LIN:CustKey", 0}},
        "lin");
    customer_access_->Init();
    line_access_->Init();
    line_relate_ = std::make_unique<RelationManager>();
    line_relate_->Init(*line_access_, 0);
    customer_relate_ = std::make_unique<CustomerRelate>(
        *line_relate_, update_mode, delete_mode);
    customer_relate_->Init(*customer_access_, 1);
  }

  // Opens the parent as a procedure does and reads customer `id`.
  void OpenAndRead(int32_t id) {
    ASSERT_EQ(customer_relate_->Open(0), Level::Benign);
    SetLongAt(customers_->record(), 0, id);
    ASSERT_EQ(customer_access_->Fetch(Key{0}), Level::Benign);
  }

  // This station watches customer 1; another changes his name; this one's
  // change then fails and shows the other's record, with id 8 from a form
  // and id 7 from a browse.
  void ChangeElsewhereThenUpdate(uint8_t from_form) {
    MakeShop(RI::None, RI::None);
    OpenAndRead(1);
    ASSERT_EQ(datfile::WATCH(*customers_), 0);
    ASSERT_EQ(customer_access_->Fetch(Key{0}), Level::Benign);
    DatFileInstance other(CustomerDeclaration());
    other.set_name(dir_.File("CUS"));
    ASSERT_EQ(datfile::OPEN(other, 0x42), 0);
    SetRecord(other, CustomerRecord(1, ""));
    ASSERT_EQ(datfile::GET(other, Key{0}), 0);
    SetTextAt(other.record(), 4, 16, "Elsewhere");
    ASSERT_EQ(datfile::PUT(other), 0);
    ASSERT_EQ(datfile::CLOSE(other), 0);

    SetTextAt(customers_->record(), 4, 16, "Here");
    EXPECT_EQ(customer_relate_->Update(from_form), Level::Notify);
    const auto shown = Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].request.caption, W("Запись не обновляется"));
    const bool says_shown = shown[0].request.text.find(W(
        "Эти изменения сейчас отображены на экране.")) != std::string::npos;
    EXPECT_EQ(says_shown, from_form == 1);
    EXPECT_EQ(TextAt(customers_->record(), 4, 16), "Elsewhere");
    EXPECT_EQ(Stored(CustomerDeclaration())[0].second, "Elsewhere");
    EXPECT_EQ(customer_relate_->Close(0), Level::Benign);
    EXPECT_FALSE(customers_->is_open());
  }

  void TearDown() override {
    customer_relate_.reset();
    line_relate_.reset();
    customer_access_.reset();
    line_access_.reset();
  }

  // The records of `decl` on disk, each as (LONG at 0, text after it).
  std::vector<std::pair<int32_t, std::string>> Stored(const FileDecl& decl) {
    DatFileInstance file(decl);
    file.set_name(dir_.File(decl.label));
    std::vector<std::pair<int32_t, std::string>> rows;
    EXPECT_EQ(datfile::OPEN(file, 0x40), 0) << values::ERROR();
    EXPECT_EQ(datfile::SET(file), 0);
    while (datfile::NEXT(file) == 0) {
      rows.emplace_back(LongAt(file.record(), 0),
                        TextAt(file.record(), 4, decl.record_length - 4));
    }
    datfile::CLOSE(file);
    return rows;
  }

  bool NoLogsLeft() const {
    return ::access(dir_.File("CUS.LOG").c_str(), F_OK) != 0 &&
           ::access(dir_.File("LIN.LOG").c_str(), F_OK) != 0;
  }

  std::unique_ptr<DatFileInstance> customers_;
  std::unique_ptr<DatFileInstance> lines_;
  std::unique_ptr<FlakyDeleteAccess> customer_access_;
  std::unique_ptr<DictionaryAccess> line_access_;
  std::unique_ptr<RelationManager> line_relate_;
  std::unique_ptr<CustomerRelate> customer_relate_;
};

using Rows = std::vector<std::pair<int32_t, std::string>>;

// --- Open and close ---------------------------------------------------------

TEST_F(RelationManagerTest, OpenOpensTheLazyFileAndItsRelationsCloseUndoesExactlyThat) {
  MakeShop(RI::None, RI::Restrict);
  ASSERT_EQ(customer_relate_->Open(0), Level::Benign);
  EXPECT_TRUE(customers_->is_open());  // opened for real although lazy
  EXPECT_EQ(line_access_->GetOpened(), 1);
  ASSERT_EQ(customer_relate_->Open(0), Level::Benign);
  EXPECT_EQ(customer_access_->GetOpened(), 2);
  EXPECT_EQ(line_access_->GetOpened(), 2);
  // Someone else's open of the child is not this manager's to close.
  ASSERT_EQ(line_relate_->Open(0), Level::Benign);

  EXPECT_EQ(customer_relate_->Close(0), Level::Benign);
  EXPECT_EQ(customer_relate_->Close(0), Level::Benign);
  EXPECT_FALSE(customers_->is_open());
  EXPECT_EQ(customer_access_->GetOpened(), 0);
  EXPECT_EQ(line_access_->GetOpened(), 1);
  EXPECT_EQ(line_relate_->Close(0), Level::Benign);
  EXPECT_EQ(line_access_->GetOpened(), 0);
  EXPECT_TRUE(Shown().empty());
}

// Two files related both ways: a pass visits each once.
class CircularRelate final : public RelationManager {
 public:
  RelationManager* other = nullptr;

 protected:
  void DeferedAddRelations() override {
    AddRelation(*other, RI::None, RI::None, Key{0});
  }
};

TEST_F(RelationManagerTest, CircularRelationsAreWalkedOncePerPass) {
  MakeShop(RI::None, RI::None);
  CircularRelate a, b;
  a.other = &b;
  b.other = &a;
  // Managers of their own for the same files would be a second mapping.
  a.Me = customer_access_.get();
  b.Me = line_access_.get();
  a.Relations = std::make_unique<std::vector<RelationRow>>();
  b.Relations = std::make_unique<std::vector<RelationRow>>();
  ASSERT_EQ(a.Open(0), Level::Benign);
  EXPECT_EQ(customer_access_->GetOpened(), 1);
  EXPECT_EQ(line_access_->GetOpened(), 1);
  EXPECT_EQ(a.LastTouched, b.LastTouched);
  EXPECT_EQ(a.Close(0), Level::Benign);
  EXPECT_EQ(customer_access_->GetOpened(), 0);
  EXPECT_EQ(line_access_->GetOpened(), 0);
}

TEST_F(RelationManagerTest, UseBeforeInitIsAnAssertion) {
  RelationManager uninitialised;
  EXPECT_EQ(uninitialised.Open(0), Level::Fatal);
  ASSERT_EQ(host_.Assertions().size(), 1u);
  EXPECT_NE(host_.Assertions()[0].find("Relation manager incorrectly initialized."),
            std::string::npos);
}

// --- Changes ------------------------------------------------------------------

TEST_F(RelationManagerTest, ChangeOfTheLinkCascadesToTheChildrenInOneTransaction) {
  MakeShop(RI::Cascade, RI::None);
  OpenAndRead(1);
  customer_relate_->Save();
  SetLongAt(customers_->record(), 0, 7);
  EXPECT_EQ(customer_relate_->Update(1), Level::Benign);
  EXPECT_EQ(customer_relate_->Close(0), Level::Benign);
  EXPECT_EQ(customer_relate_->starts, 1);
  EXPECT_TRUE(NoLogsLeft());
  EXPECT_EQ(Stored(CustomerDeclaration()), (Rows{{7, "Ivanov"}, {2, "Petrov"}}));
  EXPECT_EQ(Stored(LineDeclaration()),
            (Rows{{7, "tea"}, {2, "milk"}, {7, "bread"}}));
  EXPECT_TRUE(Shown().empty());
}

TEST_F(RelationManagerTest, ClearOnChangeBlanksTheChildrensLink) {
  MakeShop(RI::Clear, RI::None);
  OpenAndRead(1);
  customer_relate_->Save();
  SetLongAt(customers_->record(), 0, 9);
  EXPECT_EQ(customer_relate_->Update(0), Level::Benign);
  EXPECT_EQ(customer_relate_->Close(0), Level::Benign);
  EXPECT_EQ(Stored(LineDeclaration()),
            (Rows{{0, "tea"}, {2, "milk"}, {0, "bread"}}));
}

TEST_F(RelationManagerTest, RestrictedChangeIsRolledBackAndReportedWithTheLinksPutBack) {
  MakeShop(RI::Restrict, RI::None);
  OpenAndRead(2);
  customer_relate_->Save();
  SetLongAt(customers_->record(), 0, 5);
  SetTextAt(customers_->record(), 4, 16, "Petrova");
  EXPECT_EQ(customer_relate_->Update(1), Level::Notify);
  // The parent's record had been written before its child refused: the
  // transaction takes it back.
  EXPECT_EQ(Stored(CustomerDeclaration()), (Rows{{1, "Ivanov"}, {2, "Petrov"}}));
  EXPECT_EQ(Stored(LineDeclaration()),
            (Rows{{1, "tea"}, {2, "milk"}, {1, "bread"}}));
  EXPECT_TRUE(NoLogsLeft());
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].request.caption, W("Ошибка обновления связанной записи"));
  EXPECT_NE(shown[0].request.text.find("lin"), std::string::npos);
  EXPECT_EQ(LongAt(customers_->record(), 0), 2);  // the link as it was
  EXPECT_EQ(customer_relate_->Close(0), Level::Benign);
  EXPECT_FALSE(customers_->is_open());
}

TEST_F(RelationManagerTest, AChangeWithoutLinkChangesLeavesTheChildrenAlone) {
  MakeShop(RI::Restrict, RI::Restrict);
  OpenAndRead(1);
  customer_relate_->Save();
  SetTextAt(customers_->record(), 4, 16, "Ivanova");
  EXPECT_EQ(customer_relate_->Update(0), Level::Benign);
  EXPECT_EQ(customer_relate_->Close(0), Level::Benign);
  EXPECT_EQ(Stored(CustomerDeclaration()), (Rows{{1, "Ivanova"}, {2, "Petrov"}}));
}

TEST_F(RelationManagerTest, ChangeMadeElsewhereIs8FromAForm) {
  ChangeElsewhereThenUpdate(1);
}

TEST_F(RelationManagerTest, ChangeMadeElsewhereIs7FromABrowse) {
  ChangeElsewhereThenUpdate(0);
}

TEST_F(RelationManagerTest, ATransactionThatCannotStartIs24AndChangesNothing) {
  MakeShop(RI::Cascade, RI::Cascade);
  customer_relate_->start_error = 56;
  OpenAndRead(1);
  customer_relate_->Save();
  SetLongAt(customers_->record(), 0, 8);
  EXPECT_EQ(customer_relate_->Update(0), Level::Notify);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].request.caption, W("Транзакция отменена"));
  EXPECT_EQ(Stored(CustomerDeclaration()), (Rows{{1, "Ivanov"}, {2, "Petrov"}}));
  EXPECT_EQ(customer_relate_->Close(0), Level::Benign);
}

TEST_F(RelationManagerTest, ADriverWithoutTransactionsSwitchesFramingOffOnce) {
  MakeShop(RI::None, RI::None);
  customer_relate_->start_error = 80;
  OpenAndRead(1);
  SetTextAt(customers_->record(), 4, 16, "Sidorov");
  EXPECT_EQ(customer_relate_->Update(0), Level::Benign);
  EXPECT_EQ(customer_relate_->UseLogout, 0);
  ASSERT_EQ(host_.Assertions().size(), 1u);
  EXPECT_NE(host_.Assertions()[0].find("Driver does not support transaction framing."),
            std::string::npos);
  SetTextAt(customers_->record(), 4, 16, "Sidorova");
  EXPECT_EQ(customer_relate_->Update(0), Level::Benign);
  EXPECT_EQ(customer_relate_->starts, 1);
  EXPECT_EQ(host_.Assertions().size(), 1u);
  EXPECT_EQ(customer_relate_->Close(0), Level::Benign);
  EXPECT_EQ(Stored(CustomerDeclaration())[0].second, "Sidorova");
}

// --- Deletes ------------------------------------------------------------------

TEST_F(RelationManagerTest, DeleteAnsweredNoIsCancelAndDeletesNothing) {
  MakeShop(RI::Cascade, RI::Cascade);
  OpenAndRead(1);
  host_.Answer(Button::No);
  EXPECT_EQ(customer_relate_->Delete(1), Level::Cancel);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].request.caption, W("Подтвердите Удаление"));
  EXPECT_EQ(customer_access_->deletes, 0);
  EXPECT_EQ(customer_relate_->Close(0), Level::Benign);
  EXPECT_EQ(Stored(CustomerDeclaration()).size(), 2u);
  EXPECT_EQ(Stored(LineDeclaration()).size(), 3u);
}

TEST_F(RelationManagerTest, DeleteCascadesToTheChildren) {
  MakeShop(RI::None, RI::Cascade);
  OpenAndRead(1);
  EXPECT_EQ(customer_relate_->Delete(0), Level::Benign);
  EXPECT_EQ(customer_relate_->Close(0), Level::Benign);
  EXPECT_EQ(Stored(CustomerDeclaration()), (Rows{{2, "Petrov"}}));
  EXPECT_EQ(Stored(LineDeclaration()), (Rows{{2, "milk"}}));
  EXPECT_TRUE(NoLogsLeft());
  EXPECT_TRUE(Shown().empty());
}

TEST_F(RelationManagerTest, DeleteWithClearKeepsTheChildrenWithoutALink) {
  MakeShop(RI::None, RI::Clear);
  OpenAndRead(1);
  EXPECT_EQ(customer_relate_->Delete(0), Level::Benign);
  EXPECT_EQ(customer_relate_->Close(0), Level::Benign);
  EXPECT_EQ(Stored(LineDeclaration()),
            (Rows{{0, "tea"}, {2, "milk"}, {0, "bread"}}));
}

TEST_F(RelationManagerTest, RestrictedDeleteIsRefusedWith33AndNothingGoes) {
  MakeShop(RI::None, RI::Restrict);
  OpenAndRead(2);
  host_.Answer(Button::OK);  // the refusal (33)
  host_.Answer(Button::No);  // try again? (36)
  EXPECT_EQ(customer_relate_->Delete(0), Level::Notify);
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].request.caption, W("Ошибка удаления связанной записи"));
  EXPECT_EQ(shown[1].request.caption, W("Ошибка удаления записи"));
  EXPECT_EQ(customer_access_->deletes, 0);
  EXPECT_EQ(customer_relate_->Close(0), Level::Benign);
  EXPECT_EQ(Stored(CustomerDeclaration()).size(), 2u);
  EXPECT_EQ(Stored(LineDeclaration()).size(), 3u);
}

TEST_F(RelationManagerTest, AFailedDeleteRolledBackIsTriedAgainWithoutASecondConfirmation) {
  MakeShop(RI::None, RI::Cascade);
  OpenAndRead(1);
  customer_access_->failures_left = 1;
  host_.Answer(Button::Yes);  // confirm the delete
  host_.Answer(Button::OK);   // the failure (13)
  host_.Answer(Button::Yes);  // try again (36)
  EXPECT_EQ(customer_relate_->Delete(1), Level::Benign);
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].request.caption, W("Подтвердите Удаление"));
  EXPECT_EQ(shown[2].request.caption, W("Ошибка удаления записи"));
  EXPECT_EQ(customer_access_->deletes, 2);
  EXPECT_EQ(customer_relate_->Close(0), Level::Benign);
  // The first try's child deletes were rolled back, the second's kept.
  EXPECT_EQ(Stored(CustomerDeclaration()), (Rows{{2, "Petrov"}}));
  EXPECT_EQ(Stored(LineDeclaration()), (Rows{{2, "milk"}}));
}

TEST_F(RelationManagerTest, AFailedDeleteAnsweredNoAtTheRetryKeepsEverything) {
  MakeShop(RI::None, RI::Cascade);
  OpenAndRead(1);
  customer_access_->failures_left = 1;
  host_.Answer(Button::OK);
  host_.Answer(Button::No);
  EXPECT_EQ(customer_relate_->Delete(0), Level::Notify);
  EXPECT_EQ(customer_relate_->Close(0), Level::Benign);
  EXPECT_EQ(Stored(CustomerDeclaration()).size(), 2u);
  EXPECT_EQ(Stored(LineDeclaration()).size(), 3u);
}

// Another station deletes the record this one shows and a third adds
// somebody else into the slot it freed: the delete by position must not
// take the newcomer.
TEST_F(RelationManagerTest, DeleteOfARecordWhoseSlotWasReusedElsewhereDeletesNobody) {
  FileDecl reclaiming = CustomerDeclaration();
  reclaiming.reclaim = true;
  customers_ = MakeFile(reclaiming);
  CreateWith(*customers_,
             {CustomerRecord(1, "Ivanov"), CustomerRecord(2, "Petrov")});
  customer_access_ = std::make_unique<FlakyDeleteAccess>(
      *customers_, errors_,
      std::vector<DictionaryAccess::KeyEntry>{{Key{0}, "CUS:IdKey", 0}}, "cus");
  customer_access_->Init();
  RelationManager relate;
  relate.Init(*customer_access_, 1);
  ASSERT_EQ(relate.Open(0), Level::Benign);
  SetLongAt(customers_->record(), 0, 1);
  ASSERT_EQ(customer_access_->Fetch(Key{0}), Level::Benign);

  DatFileInstance other(reclaiming);
  other.set_name(dir_.File("CUS"));
  ASSERT_EQ(datfile::OPEN(other, 0x42), 0);
  ASSERT_EQ(datfile::GET(other, 1u), 0);
  ASSERT_EQ(datfile::DELETE(other), 0);
  SetRecord(other, CustomerRecord(3, "Sidorov"));
  ASSERT_EQ(datfile::ADD(other), 0);
  ASSERT_EQ(datfile::POINTER(other), 1u);  // the freed slot
  ASSERT_EQ(datfile::CLOSE(other), 0);

  EXPECT_EQ(relate.Delete(0), Level::Notify);
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 1u);  // no offer to try again
  EXPECT_EQ(shown[0].request.caption, W("Ошибка чтения записи"));
  EXPECT_EQ(customer_access_->deletes, 0);
  // The caller still has the record it showed.
  EXPECT_EQ(TextAt(customers_->record(), 4, 16), "Ivanov");
  EXPECT_EQ(relate.Close(0), Level::Benign);
  EXPECT_EQ(Stored(reclaiming), (Rows{{3, "Sidorov"}, {2, "Petrov"}}));
  customer_access_.reset();
}

// --- The files registry ---------------------------------------------------

TEST_F(RelationManagerTest, ACalledProcedureClosingTheFileGivesTheCallerItsRecordBack) {
  MakeShop(RI::None, RI::None);
  errors_.SetProcedureName("Browse");
  ASSERT_EQ(customer_relate_->Open(0), Level::Benign);
  ASSERT_EQ(datfile::SET(*customers_, Key{0}), 0);
  ASSERT_EQ(customer_access_->Next(), Level::Benign);  // customer 1
  FilesManager& files = ThreadFilesManager();
  EXPECT_TRUE(files.FindRecord(*customer_access_));

  errors_.SetProcedureName("Form");
  ASSERT_EQ(customer_relate_->Open(0), Level::Benign);
  SetLongAt(customers_->record(), 0, 2);
  ASSERT_EQ(customer_access_->Fetch(Key{0}), Level::Benign);
  EXPECT_EQ(TextAt(customers_->record(), 4, 16), "Petrov");
  ASSERT_EQ(files.StatusQ().size(), 2u);
  EXPECT_NE(files.StatusQ()[1].Hold, 0);
  EXPECT_EQ(customer_relate_->Close(0), Level::Benign);
  errors_.SetProcedureName();

  // Back in the browse: its record, and its sequence goes on after it.
  EXPECT_EQ(TextAt(customers_->record(), 4, 16), "Ivanov");
  ASSERT_EQ(customer_access_->Next(), Level::Benign);
  EXPECT_EQ(TextAt(customers_->record(), 4, 16), "Petrov");
  EXPECT_EQ(files.StatusQ().size(), 1u);
  EXPECT_EQ(customer_relate_->Close(0), Level::Benign);
  EXPECT_TRUE(files.StatusQ().empty());
}

TEST_F(RelationManagerTest, FilesAreMappedToTheirManagersOnce) {
  MakeShop(RI::None, RI::None);
  FilesManager& files = ThreadFilesManager();
  const FileId id = FilesManager::GetFileID(*customers_);
  EXPECT_EQ(files.GetFileMapping(id), customer_access_.get());
  EXPECT_EQ(files.GetRelationFileMapping(id), customer_relate_.get());
  RelationManager second;
  second.Init(*customer_access_, 0);
  ASSERT_EQ(host_.Assertions().size(), 1u);
  EXPECT_NE(host_.Assertions()[0].find("Mapping for file already exists for the RM"),
            std::string::npos);
  second.Kill();
  customer_relate_->Kill();
  EXPECT_EQ(files.GetRelationFileMapping(id), nullptr);
  customer_access_.reset();
  EXPECT_EQ(files.GetFileMapping(id), nullptr);
}

TEST_F(RelationManagerTest, QuickScanIsAcceptedByTheDriver) {
  MakeShop(RI::None, RI::None);
  ASSERT_EQ(customer_relate_->Open(0), Level::Benign);
  customer_relate_->SetQuickScan(1, 1);
  EXPECT_EQ(values::ERRORCODE(), 0);
  customer_relate_->SetQuickScan(0, 1);
  EXPECT_EQ(values::ERRORCODE(), 0);
  EXPECT_TRUE(host_.Assertions().empty());
  EXPECT_EQ(customer_relate_->Close(0), Level::Benign);
}

}  // namespace
}  // namespace zuna::framework::test
