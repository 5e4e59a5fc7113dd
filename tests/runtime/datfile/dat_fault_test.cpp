// Failed writes in the data and memo files: the header in memory stays as it
// was, creation leaves no unusable file, and a memo write that fails at any
// point never leaves two chains (or a chain and the free list) sharing a
// block.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "runtime/datfile/coding.h"
#include "runtime/datfile/data_file.h"
#include "runtime/datfile/memo_file.h"
#include "tests/runtime/datfile/dat_test_util.h"
#include "tests/support/fault_fs.h"
#include "tests/support/zun_declaration.h"

namespace zuna::testing {
namespace {

using datfile::AddPlan;
using datfile::DeleteDone;

class DatFaultTest : public DatFileTest {};

TEST_F(DatFaultTest, FailedCreateLeavesNoDataFile) {
  decl_ = MemoDeclaration();
  for (uint64_t n = 1;; ++n) {
    SCOPED_TRACE(n);
    MemFileSystem mem;
    FaultFileSystem fs(mem);
    fs.FailNth(FaultKind::kWrite, n, FaultMode::kPersistent);
    const datfile::Status status = datfile::CreateDataFile(fs, kDat, decl_, {}, true);
    if (fs.FaultsFired() == 0) {
      ASSERT_OK(status);
      break;
    }
    EXPECT_STATUS_CODE(status, 5);
    EXPECT_FALSE(mem.Exists(kDat));
  }
}

TEST_F(DatFaultTest, FailedSlotWritesLeaveTheHeaderAsItWas) {
  ASSERT_OK(Create(ZunDeclaration()));
  FaultFileSystem fs(fs_);
  ASSERT_OK(datfile::DataFile::Open(fs, kDat, decl_, {.write = true}, nullptr, &data_));
  for (int i = 0; i < 3; ++i) {
    AddPlan plan;
    ASSERT_OK(data_->PlanAdd(&plan));
    ASSERT_OK(data_->CommitAdd(plan, 0, ZunRecord("A", i)));
  }
  DeleteDone done;
  ASSERT_OK(data_->DeleteRecord(2, &done));
  const datfile::DatHeader before = data_->header();

  fs.FailNth(FaultKind::kWrite, 1, FaultMode::kPersistent);
  AddPlan plan;
  ASSERT_OK(data_->PlanAdd(&plan));
  EXPECT_EQ(plan.record_no, 2u);
  EXPECT_STATUS_CODE(data_->CommitAdd(plan, 0, ZunRecord("B", 9)), 5);
  EXPECT_EQ(data_->header(), before);
  EXPECT_STATUS_CODE(data_->DeleteRecord(3, &done), 5);
  EXPECT_EQ(data_->header(), before);
  EXPECT_STATUS_CODE(data_->Undelete(2), 5);
  EXPECT_EQ(data_->header(), before);

  fs.ClearFaults();
  ASSERT_OK(data_->PlanAdd(&plan));
  ASSERT_OK(data_->CommitAdd(plan, 0, ZunRecord("B", 9)));
  EXPECT_EQ(plan.record_no, 2u);
  EXPECT_EQ(data_->header().deleted_count, 0u);
}

// --- memo ---------------------------------------------------------------------

// The memo file as bytes, walked independently of MemoFile.
struct MemoImage {
  std::string bytes;
  uint32_t Blocks() const { return static_cast<uint32_t>((bytes.size() - 6) / 256); }
  uint32_t Next(uint32_t block) const {
    return datfile::DecodeFixed32(bytes.data() + 6 + (block - 1) * 256);
  }
  // The blocks of a chain; fails the test on a link outside the file or a
  // cycle.
  std::vector<uint32_t> Chain(uint32_t first) const {
    std::vector<uint32_t> chain;
    std::set<uint32_t> seen;
    for (uint32_t b = first; b != 0; b = Next(b)) {
      EXPECT_LE(b, Blocks()) << "link past the end";
      EXPECT_TRUE(seen.insert(b).second) << "cycle at block " << b;
      if (b > Blocks() || chain.size() > Blocks()) break;
      chain.push_back(b);
    }
    return chain;
  }
  uint32_t FreeHead() const { return datfile::DecodeFixed32(bytes.data() + 2); }
};

class MemoFaultTest : public DatFileTest {};

// Record A has a 3-block memo; B had 2 blocks, released; a rewrite of A to
// 5 blocks reuses A's blocks, takes B's from the free list and appends.  Any
// write of it may fail.
TEST_F(MemoFaultTest, FailedRewriteNeverSharesBlocks) {
  for (uint64_t n = 1;; ++n) {
    SCOPED_TRACE(n);
    MemFileSystem mem;
    datfile::FileDecl decl = MemoDeclaration();
    decl.memo->size = 1500;
    ASSERT_OK(datfile::CreateDataFile(mem, kDat, decl, {}, true));
    FaultFileSystem fs(mem);
    std::unique_ptr<datfile::MemoFile> memo;
    ASSERT_OK(datfile::MemoFile::Open(fs, kMem, {.write = true}, *decl.memo,
                                      std::nullopt, false, &memo));
    const std::string old_a = std::string(700, 'a') + std::string(800, ' ');
    std::string b = std::string(400, 'b') + std::string(1100, ' ');
    datfile::MemoWriteResult a_result;
    datfile::MemoWriteResult b_result;
    ASSERT_OK(memo->Write(old_a, 0, {}, &a_result));
    ASSERT_OK(memo->Write(b, 0, {}, &b_result));
    ASSERT_OK(memo->Release(b_result.link));

    fs.FailNth(FaultKind::kWrite, n, FaultMode::kPersistent);
    const std::string new_a(1200, 'A');
    datfile::MemoWriteResult result;
    const datfile::Status status = memo->Write(new_a, a_result.link, old_a, &result);

    const MemoImage image{mem.Contents(kMem)};
    const std::vector<uint32_t> free_list = image.Chain(image.FreeHead());
    if (fs.FaultsFired() == 0) {
      ASSERT_OK(status);
      EXPECT_EQ(image.Chain(result.link).size(), 5u);
      EXPECT_TRUE(free_list.empty());
      break;
    }
    EXPECT_STATUS_CODE(status, 5);
    // The record still names A's old chain: it must end, inside the file,
    // and share no block with the free list.
    const std::vector<uint32_t> chain_a = image.Chain(a_result.link);
    for (uint32_t block : chain_a) {
      EXPECT_EQ(std::count(free_list.begin(), free_list.end(), block), 0)
          << "block " << block << " both in A's chain and free";
    }
  }
}

}  // namespace
}  // namespace zuna::testing
