// The memo file: blocks and chains, the unchanged-memo test, reuse of blocks
// and the free list, BINARY, ENCRYPT and OEM memos, and damaged chains.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "runtime/datfile/memo_file.h"
#include "runtime/datfile/scramble.h"
#include "runtime/values/code_page.h"
#include "tests/runtime/datfile/dat_test_util.h"
#include "tests/support/zun_declaration.h"

namespace zuna::testing {
namespace {

namespace Err = datfile::Err;
using datfile::MemoWriteResult;

class MemoFileTest : public DatFileTest {
 protected:
  void SetUp() override { Reopen(MemoDeclaration()); }

  void Reopen(const datfile::FileDecl& decl, bool oem = false) {
    memo_.reset();
    ASSERT_OK(Create(decl, /*exclusive=*/false));
    std::optional<datfile::ScrambleKey> key;
    if (decl_.encrypt) key = datfile::OwnerKey(decl_.owner);
    ASSERT_OK(datfile::MemoFile::Open(fs_, kMem, {.write = true}, *decl_.memo, key,
                                      oem, &memo_));
  }

  // A memo buffer of the declared size holding `text`.
  std::string Memo(const std::string& text) const {
    std::string memo(decl_.memo->size, decl_.memo->binary ? '\0' : ' ');
    memo.replace(0, text.size(), text);
    return memo;
  }

  MemoWriteResult Write(const std::string& text, uint32_t old_link = 0,
                        const std::string& as_read = {}) {
    MemoWriteResult result;
    EXPECT_OK(memo_->Write(Memo(text), old_link, as_read, &result));
    return result;
  }

  std::string Read(uint32_t link) {
    std::string memo(decl_.memo->size, '?');
    EXPECT_OK(memo_->Read(link, memo));
    return memo;
  }

  std::string MemBytes() const { return fs_.Contents(kMem); }
  // Block b's next link, in hex.
  std::string Next(uint32_t block) const {
    return ToHex(MemBytes().substr(6 + (block - 1) * 256, 4));
  }
  std::string FreeHead() const { return ToHex(MemBytes().substr(2, 4)); }
  void PatchMem(size_t offset, const std::string& bytes) {
    std::string contents = MemBytes();
    contents.replace(offset, bytes.size(), bytes);
    fs_.SetContents(kMem, contents);
  }

  std::unique_ptr<datfile::MemoFile> memo_;
};

TEST_F(MemoFileTest, TwoHundredFiftyTwoCharactersFillOneBlock) {
  const std::string text(252, 'x');
  const MemoWriteResult r = Write(text);
  EXPECT_EQ(r.link, 1u);
  EXPECT_EQ(r.leftover, 0u);
  EXPECT_EQ(ToHex(MemBytes()), ToHex(Hex("4d 33 00 00 00 00  00 00 00 00") + text));
  EXPECT_EQ(Read(1), Memo(text));
}

TEST_F(MemoFileTest, TwoHundredFiftyThreeCharactersTakeTwoBlocks) {
  const std::string text = std::string(252, 'x') + "y";
  const MemoWriteResult r = Write(text);
  EXPECT_EQ(r.link, 1u);
  const std::string expected = Hex("4d 33 00 00 00 00") +
                               Hex("02 00 00 00") + std::string(252, 'x') +
                               Hex("00 00 00 00") + "y" + std::string(251, ' ');
  EXPECT_EQ(ToHex(MemBytes()), ToHex(expected));
  EXPECT_EQ(Read(1), Memo(text));
}

TEST_F(MemoFileTest, BlankMemoHasNoBlock) {
  EXPECT_EQ(Write("").link, 0u);
  EXPECT_EQ(MemBytes().size(), 6u);
  EXPECT_EQ(Read(0), Memo(""));
}

TEST_F(MemoFileTest, UnchangedMemoWritesNothing) {
  const MemoWriteResult first = Write("Call on Friday");
  const std::string as_read = Read(first.link);
  fs_.ResetCounters();
  const MemoWriteResult again = Write("Call on Friday", first.link, as_read);
  EXPECT_EQ(again.link, first.link);
  EXPECT_EQ(again.leftover, 0u);
  EXPECT_EQ(fs_.Counters(kMem).writes, 0u);
}

// CRC-16/ARC (reflected 0xA001, initial 0), to show the two texts below
// share a CRC; the memo file itself compares the bytes.
uint16_t Crc16Arc(const std::string& bytes) {
  uint16_t crc = 0;
  for (char c : bytes) {
    crc ^= static_cast<uint8_t>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

TEST_F(MemoFileTest, ChangedMemoWithTheSameCrcIsStillWritten) {
  const std::string before = Memo("Call on Friday dad");
  const std::string after = Memo("Call on Friday haa");
  ASSERT_EQ(Crc16Arc(before), Crc16Arc(after));
  ASSERT_EQ(Crc16Arc(before), 0x8a5c);
  const MemoWriteResult first = Write("Call on Friday dad");
  const MemoWriteResult second = Write("Call on Friday haa", first.link, Read(first.link));
  EXPECT_EQ(second.link, first.link);
  EXPECT_EQ(Read(second.link), after);
}

TEST_F(MemoFileTest, RewriteReusesTheChainThenTheFreeListThenAppends) {
  const MemoWriteResult a = Write(std::string(600, 'a'));  // blocks 1, 2, 3
  EXPECT_EQ(a.link, 1u);
  // Shorter: blocks 1 and 2 again; block 3 is left over for the caller.
  const MemoWriteResult a2 = Write(std::string(300, 'A'), a.link);
  EXPECT_EQ(a2.link, 1u);
  EXPECT_EQ(a2.leftover, 3u);
  EXPECT_EQ(Next(2), "00 00 00 00");
  ASSERT_OK(memo_->Release(a2.leftover));
  EXPECT_EQ(FreeHead(), "03 00 00 00");
  EXPECT_EQ(MemBytes().size(), 6u + 3 * 256);

  // Another record's two blocks: block 3 from the free list, then block 4.
  const MemoWriteResult b = Write(std::string(400, 'b'));
  EXPECT_EQ(b.link, 3u);
  EXPECT_EQ(Next(3), "04 00 00 00");
  EXPECT_EQ(Next(4), "00 00 00 00");
  EXPECT_EQ(FreeHead(), "00 00 00 00");
  EXPECT_EQ(Read(1), Memo(std::string(300, 'A')));
  EXPECT_EQ(Read(3), Memo(std::string(400, 'b')));

  // Longer again: 1, 2, then 5 appended.
  const MemoWriteResult a3 = Write(std::string(600, 'c'), a2.link);
  EXPECT_EQ(a3.link, 1u);
  EXPECT_EQ(Next(2), "05 00 00 00");
  EXPECT_EQ(Read(1), Memo(std::string(600, 'c')));
}

TEST_F(MemoFileTest, EmptiedMemoLeavesItsChainToRelease) {
  const MemoWriteResult a = Write(std::string(300, 'a'));
  const MemoWriteResult emptied = Write("", a.link, Read(a.link));
  EXPECT_EQ(emptied.link, 0u);
  EXPECT_EQ(emptied.leftover, 1u);
  ASSERT_OK(memo_->Release(emptied.leftover));
  EXPECT_EQ(FreeHead(), "01 00 00 00");
  EXPECT_EQ(Next(2), "00 00 00 00");
}

TEST_F(MemoFileTest, ReleaseLinksTheChainToTheOldHead) {
  const MemoWriteResult a = Write(std::string(300, 'a'));  // 1, 2
  const MemoWriteResult b = Write(std::string(300, 'b'));  // 3, 4
  ASSERT_OK(memo_->Release(a.link));
  ASSERT_OK(memo_->Release(b.link));
  EXPECT_EQ(FreeHead(), "03 00 00 00");
  EXPECT_EQ(Next(4), "01 00 00 00");
  EXPECT_EQ(Next(2), "00 00 00 00");
  EXPECT_STATUS_CODE(memo_->Release(b.link), Err::kInvalidDataFile)
      << "a chain already at the head of the free list";
}

TEST_F(MemoFileTest, ReadCopiesAtMostTheMemoSize) {
  const MemoWriteResult a = Write(std::string(600, 'a'));  // 3 blocks
  PatchMem(6 + 2 * 256, Hex("01 00 00 00"));  // block 3 -> 1: a cycle
  EXPECT_EQ(Read(a.link), Memo(std::string(600, 'a')));
}

TEST_F(MemoFileTest, DamagedChainsGive36) {
  const MemoWriteResult a = Write(std::string(300, 'a'));  // 1 -> 2
  const std::string pristine = MemBytes();
  MemoWriteResult r;

  PatchMem(6 + 256, Hex("02 00 00 00"));  // block 2 links to itself
  EXPECT_STATUS_CODE(memo_->Release(a.link), Err::kInvalidDataFile);
  EXPECT_STATUS_CODE(memo_->Write(Memo("short"), a.link, {}, &r), Err::kInvalidDataFile);

  fs_.SetContents(kMem, pristine);
  PatchMem(6 + 256, Hex("09 00 00 00"));  // past the end
  EXPECT_STATUS_CODE(memo_->Release(a.link), Err::kInvalidDataFile);
  std::string memo(kMemoSize, ' ');
  EXPECT_STATUS_CODE(memo_->Read(9, memo), Err::kInvalidDataFile);

  fs_.SetContents(kMem, pristine);
  PatchMem(6, Hex("02 00 00 00"));
  PatchMem(6 + 256, Hex("01 00 00 00"));  // 1 -> 2 -> 1
  EXPECT_STATUS_CODE(memo_->Release(a.link), Err::kInvalidDataFile);
  EXPECT_EQ(FreeHead(), "00 00 00 00") << "nothing changed";

  fs_.SetContents(kMem, pristine);
  PatchMem(2, Hex("01 00 00 00"));  // free list names a block in use
  EXPECT_STATUS_CODE(memo_->Write(Memo(std::string(600, 'z')), a.link, {}, &r),
                     Err::kInvalidDataFile);
}

TEST_F(MemoFileTest, FreeListCycleGives36) {
  const MemoWriteResult a = Write(std::string(300, 'a'));
  ASSERT_OK(memo_->Release(a.link));  // free 1 -> 2
  PatchMem(6 + 256, Hex("01 00 00 00"));  // 2 -> 1
  MemoWriteResult r;
  EXPECT_STATUS_CODE(memo_->Write(Memo(std::string(600, 'z')), 0, {}, &r),
                     Err::kInvalidDataFile);
}

TEST_F(MemoFileTest, BinaryMemoIsBlankWithZeroBytes) {
  Reopen(MemoDeclaration(/*binary=*/true));
  std::string bytes = std::string("\x01\x02 ", 3);
  const MemoWriteResult r = Write(bytes);
  EXPECT_EQ(r.link, 1u);
  EXPECT_EQ(ToHex(MemBytes().substr(6, 8)), "00 00 00 00 01 02 20 00");
  EXPECT_EQ(Read(1), Memo(bytes));
  EXPECT_EQ(Write(std::string(10, '\0')).link, 0u);
}

TEST_F(MemoFileTest, EncryptedBlocksReadBack) {
  Reopen(SecretDeclaration());
  const std::string text = std::string(260, 'e');
  const MemoWriteResult r = Write(text);
  EXPECT_EQ(Next(1), "02 00 00 00") << "links stay plain";
  EXPECT_EQ(MemBytes().find("eeee"), std::string::npos);
  EXPECT_EQ(Read(r.link), Memo(text));
}

TEST_F(MemoFileTest, OemMemoTextIsStoredIn866) {
  Reopen(MemoDeclaration(), /*oem=*/true);
  const std::string text = values::W("Звонить");  // З = 87 in 866
  Write(text);
  EXPECT_EQ(ToHex(MemBytes().substr(10, 2)), "87 a2");
  EXPECT_EQ(Read(1), Memo(text));
}

TEST_F(MemoFileTest, ResetEmptiesTheFile) {
  const MemoWriteResult a = Write(std::string(300, 'a'));
  ASSERT_OK(memo_->Release(a.link));
  ASSERT_OK(memo_->Reset());
  EXPECT_EQ(ToHex(MemBytes()), "4d 33 00 00 00 00");
}

}  // namespace
}  // namespace zuna::testing
