// Record slots: ADD with and without RECLAIM, PUT, DELETE and the free chain,
// logical EOF/BOF trimming, undelete, and damaged chains and slots.
#include <gtest/gtest.h>

#include <string>

#include "runtime/datfile/data_file.h"
#include "runtime/values/code_page.h"
#include "tests/runtime/datfile/dat_test_util.h"
#include "tests/support/zun_declaration.h"

namespace zuna::testing {
namespace {

namespace Err = datfile::Err;
using datfile::AddPlan;
using datfile::DeleteDone;
using datfile::SlotPrefix;

constexpr size_t kDataOffset = 216;
constexpr size_t kSlotLength = 43;

class SlotTest : public DatFileTest {
 protected:
  void SetUp() override { CreateAndOpen(ZunDeclaration()); }

  void CreateAndOpen(const datfile::FileDecl& decl) {
    ASSERT_OK(Create(decl, /*exclusive=*/false));
    ASSERT_OK(OpenData());
  }

  // ADD as the driver runs it: plan, write, header.
  uint32_t Add(const std::string& record) {
    AddPlan plan;
    EXPECT_OK(data_->PlanAdd(&plan));
    EXPECT_OK(data_->CommitAdd(plan, 0, record));
    EXPECT_OK(data_->WriteHeader(true));
    return plan.record_no;
  }

  void Delete(uint32_t record_no) {
    DeleteDone done;
    ASSERT_OK(data_->DeleteRecord(record_no, &done));
    ASSERT_OK(data_->WriteHeader(true));
  }

  std::string Slot(uint32_t record_no) const {
    return DatBytes(kDataOffset + (record_no - 1) * kSlotLength, kSlotLength);
  }
  std::string Prefix(uint32_t record_no) const {
    return ToHex(Slot(record_no).substr(0, 5));
  }
  // Record slots, deleted count as the file holds them.
  std::string CountsOnDisk() const { return ToHex(DatBytes(5, 8)); }
  // Logical EOF, BOF, first free as the file holds them.
  std::string ChainOnDisk() const { return ToHex(DatBytes(25, 12)); }

  void AddFive() {
    for (int i = 1; i <= 5; ++i) Add(ZunRecord("Person " + std::to_string(i), 70000 + i));
  }
};

TEST_F(SlotTest, AddWritesStatusNewAndTheOemImage) {
  const std::string fio = values::W("Иванов Иван");
  EXPECT_EQ(Add(ZunRecord(fio, 76038, 7)), 1u);
  // Status 0x01, link 0; FIO in code page 866 (И = 88, в = a2, а = a0,
  // н = ad, о = ae); DATA 76038 and DATA1 7 as they were.
  const std::string expected =
      Hex("01 00 00 00 00") +
      Hex("88 a2 a0 ad ae a2 20 88 a2 a0 ad") + std::string(19, ' ') +
      Hex("06 29 01 00 07 00 00 00");
  EXPECT_EQ(ToHex(Slot(1)), ToHex(expected));
  EXPECT_EQ(CountsOnDisk(), "01 00 00 00 00 00 00 00");
  EXPECT_EQ(ChainOnDisk(), "01 00 00 00 01 00 00 00 00 00 00 00");
  EXPECT_EQ(DatBytes().size(), kDataOffset + kSlotLength);

  std::string record(kZunRecordLength, '\0');
  SlotPrefix prefix;
  ASSERT_OK(data_->ReadRecord(1, &prefix, record));
  EXPECT_EQ(record, ZunRecord(fio, 76038, 7));
  EXPECT_EQ(prefix, (SlotPrefix{0x01, 0}));
}

TEST_F(SlotTest, PutOrsInRevised) {
  Add(ZunRecord("A", 1));
  ASSERT_OK(data_->WriteRecord(1, {0x01 | 0x04, 0}, ZunRecord("B", 2)));
  EXPECT_EQ(Prefix(1), "05 00 00 00 00");
  EXPECT_EQ(Slot(1)[5], 'B');
}

TEST_F(SlotTest, DeletingTheOnlyRecord) {
  Add(ZunRecord("A", 1));
  Delete(1);
  EXPECT_EQ(CountsOnDisk(), "01 00 00 00 01 00 00 00");  // slots 1, deleted 1
  // EOF 0; BOF stays 1 (it only moves up below record slots); first free 1.
  EXPECT_EQ(ChainOnDisk(), "00 00 00 00 01 00 00 00 01 00 00 00");
  EXPECT_EQ(Prefix(1), "11 00 00 00 00");
  EXPECT_EQ(Slot(1)[5], 'A') << "the image stays in the slot";
  EXPECT_EQ(data_->Records(), 0u);
}

TEST_F(SlotTest, WithoutReclaimAddAfterDeleteAppends) {
  datfile::FileDecl decl = ZunDeclaration();
  decl.reclaim = false;
  CreateAndOpen(decl);
  Add(ZunRecord("A", 1));
  Delete(1);
  EXPECT_EQ(Add(ZunRecord("B", 2)), 2u);
  EXPECT_EQ(CountsOnDisk(), "02 00 00 00 01 00 00 00");
  // EOF 2; BOF stays at the deleted slot 1 (a scan skips it); first free 1.
  EXPECT_EQ(ChainOnDisk(), "02 00 00 00 01 00 00 00 01 00 00 00");
  EXPECT_EQ(Prefix(1), "11 00 00 00 00");
}

TEST_F(SlotTest, WithReclaimAddReusesTheHeadOfTheFreeChain) {
  AddFive();
  Delete(1);
  Delete(3);  // chain 3 -> 1
  EXPECT_EQ(Prefix(3), "11 01 00 00 00");
  EXPECT_EQ(Add(ZunRecord("C", 3)), 3u);
  EXPECT_EQ(ChainOnDisk().substr(24), "01 00 00 00");  // first free: 3's link
  EXPECT_EQ(Prefix(3), "01 00 00 00 00");
  EXPECT_EQ(Add(ZunRecord("D", 4)), 1u);
  EXPECT_EQ(ChainOnDisk().substr(24), "00 00 00 00");
  EXPECT_EQ(Add(ZunRecord("E", 5)), 6u);
  EXPECT_EQ(CountsOnDisk(), "06 00 00 00 00 00 00 00");
}

TEST_F(SlotTest, HeadWithoutDeletedBitIsNotReused) {
  AddFive();
  Delete(2);
  PatchDat(kDataOffset + kSlotLength, Hex("01"));  // slot 2 looks live
  EXPECT_EQ(Add(ZunRecord("F", 6)), 6u);
}

TEST_F(SlotTest, FreeChainAfterSeveralDeletes) {
  AddFive();
  Delete(2);
  Delete(4);
  Delete(1);
  EXPECT_EQ(CountsOnDisk(), "05 00 00 00 03 00 00 00");
  EXPECT_EQ(ChainOnDisk().substr(24), "01 00 00 00");
  EXPECT_EQ(Prefix(1), "11 04 00 00 00");
  EXPECT_EQ(Prefix(4), "11 02 00 00 00");
  EXPECT_EQ(Prefix(2), "11 00 00 00 00");
  EXPECT_EQ(Prefix(3), "01 00 00 00 00");
  EXPECT_EQ(data_->Records(), 2u);
}

TEST_F(SlotTest, LogicalEofAndBofTrimming) {
  struct Step {
    uint32_t deleted;
    uint32_t eof;
    uint32_t bof;
  };
  const Step steps[] = {
      {3, 5, 1},  // a middle record changes neither
      {5, 4, 1},  // EOF moves to the next live record below
      {4, 2, 1},  // ... over deleted slots
      {1, 2, 2},  // BOF moves up to the next live record
      {2, 0, 5},  // no live record: EOF 0; BOF stops at record slots
  };
  AddFive();
  for (const Step& s : steps) {
    SCOPED_TRACE(s.deleted);
    Delete(s.deleted);
    EXPECT_EQ(data_->header().logical_eof, s.eof);
    EXPECT_EQ(data_->header().logical_bof, s.bof);
  }
  EXPECT_EQ(Add(ZunRecord("G", 7)), 2u);  // reclaimed: the head is 2
  EXPECT_EQ(data_->header().logical_eof, 2u);
  EXPECT_EQ(data_->header().logical_bof, 2u);
}

TEST_F(SlotTest, DeletingADeletedRecordIsRefused) {
  AddFive();
  Delete(2);
  DeleteDone done;
  EXPECT_STATUS_CODE(data_->DeleteRecord(2, &done), Err::kRecordNotAvailable);
  EXPECT_EQ(data_->header().deleted_count, 1u);
}

TEST_F(SlotTest, UndeleteUnlinksFromTheMiddleAndTheHead) {
  AddFive();
  Delete(2);
  Delete(4);
  Delete(1);  // chain 1 -> 4 -> 2
  ASSERT_OK(data_->Undelete(4));
  EXPECT_EQ(Prefix(4), "01 00 00 00 00");
  EXPECT_EQ(Prefix(1), "11 02 00 00 00");
  EXPECT_EQ(data_->header().deleted_count, 2u);
  ASSERT_OK(data_->Undelete(1));
  EXPECT_EQ(data_->header().first_free, 2u);
  EXPECT_EQ(data_->header().logical_bof, 1u);
  ASSERT_OK(data_->Undelete(3));  // not deleted: nothing happens
  EXPECT_EQ(data_->header().deleted_count, 1u);
}

TEST_F(SlotTest, UndoAddPutsAReusedSlotBackOnTheChain) {
  AddFive();
  Delete(4);
  Delete(2);  // chain 2 -> 4
  AddPlan plan;
  ASSERT_OK(data_->PlanAdd(&plan));
  ASSERT_OK(data_->CommitAdd(plan, 0, ZunRecord("H", 8)));
  EXPECT_EQ(data_->header().first_free, 4u);
  ASSERT_OK(data_->UndoAdd(plan));
  ASSERT_OK(data_->WriteHeader(false));
  EXPECT_EQ(Prefix(2), "11 04 00 00 00");
  EXPECT_EQ(data_->header().first_free, 2u);
  EXPECT_EQ(data_->header().deleted_count, 2u);
}

TEST_F(SlotTest, RecordNumbersOutsideTheSlotsGive35) {
  AddFive();
  std::string record(kZunRecordLength, '\0');
  SlotPrefix prefix;
  EXPECT_STATUS_CODE(data_->ReadRecord(0, &prefix, record), Err::kRecordNotFound);
  EXPECT_STATUS_CODE(data_->ReadRecord(6, &prefix, record), Err::kRecordNotFound);
}

TEST_F(SlotTest, TruncatedLastSlotGives36) {
  AddFive();
  fs_.SetContents(kDat, DatBytes().substr(0, DatBytes().size() - 1));
  std::string record(kZunRecordLength, '\0');
  SlotPrefix prefix;
  EXPECT_STATUS_CODE(data_->ReadRecord(5, &prefix, record), Err::kInvalidDataFile);
  EXPECT_OK(data_->ReadRecord(4, &prefix, record));
}

// --- damaged free chains end in 36, never in a hang ------------------------

TEST_F(SlotTest, DamagedFreeChainsGive36) {
  struct Case {
    const char* what;
    uint32_t slot;
    const char* prefix;
    uint32_t undelete;
  };
  // Chain as built: 1 -> 4 -> 2.  Each case damages one link, then
  // undeletes a slot the walk must look for.
  const Case cases[] = {
      {"link to itself", 4, "11 04 00 00 00", 2},
      {"link past the end", 4, "11 09 00 00 00", 2},
      {"cycle 1 -> 4 -> 1", 4, "11 01 00 00 00", 2},
      {"live record on the chain", 4, "01 02 00 00 00", 2},
      {"slot missing from the chain", 4, "11 00 00 00 00", 2},
  };
  AddFive();
  Delete(2);
  Delete(4);
  Delete(1);
  data_.reset();
  const std::string pristine = DatBytes();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs_.SetContents(kDat, pristine);
    ASSERT_OK(OpenData());
    PatchDat(kDataOffset + (c.slot - 1) * kSlotLength, Hex(c.prefix));
    EXPECT_STATUS_CODE(data_->Undelete(c.undelete), Err::kInvalidDataFile);
    EXPECT_EQ(data_->header().deleted_count, 3u);
  }
}

TEST_F(SlotTest, FreeHeadLinkingOutsideTheSlotsGives36OnAdd) {
  AddFive();
  Delete(3);
  PatchDat(kDataOffset + 2 * kSlotLength, Hex("11 63 00 00 00"));
  AddPlan plan;
  EXPECT_STATUS_CODE(data_->PlanAdd(&plan), Err::kInvalidDataFile);
}

// --- ENCRYPT ---------------------------------------------------------------------

TEST_F(SlotTest, EncryptedImageIsScrambledAndReadsBack) {
  CreateAndOpen(SecretDeclaration());
  const std::string record = ZunRecord(values::W("Петров Пётр"), 76038, 1);
  EXPECT_EQ(Add(record), 1u);
  const std::string slot = Slot(1);
  EXPECT_EQ(ToHex(slot.substr(0, 5)), "01 00 00 00 00") << "the prefix stays plain";
  EXPECT_NE(slot.substr(5), record);
  std::string raw(kZunRecordLength, '\0');
  SlotPrefix prefix;
  ASSERT_OK(data_->ReadSlot(1, &prefix, raw));
  EXPECT_EQ(raw, slot.substr(5)) << "ReadSlot gives the image as stored";
  data_.reset();
  ASSERT_OK(OpenData());
  std::string back(kZunRecordLength, '\0');
  ASSERT_OK(data_->ReadRecord(1, &prefix, back));
  EXPECT_EQ(back, record);
}

TEST_F(SlotTest, EmptyCutsTheFileToItsDescriptors) {
  AddFive();
  Delete(2);
  ASSERT_OK(data_->Empty());
  EXPECT_EQ(DatBytes().size(), kDataOffset);
  EXPECT_EQ(CountsOnDisk(), "00 00 00 00 00 00 00 00");
  EXPECT_EQ(ChainOnDisk(), "00 00 00 00 00 00 00 00 00 00 00 00");
}

}  // namespace
}  // namespace zuna::testing
