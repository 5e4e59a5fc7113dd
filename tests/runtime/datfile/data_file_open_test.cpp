// Opening a data file: the header checks that give 36, the structure checks
// that give 47 with their exact trace texts, the key descriptor rewrite, and
// files with an OWNER.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/datfile/data_file.h"
#include "runtime/datfile/memo_file.h"
#include "tests/runtime/datfile/dat_test_util.h"
#include "tests/support/zun_declaration.h"

namespace zuna::testing {
namespace {

namespace Err = datfile::Err;
using datfile::StructureMismatch;

class DatOpenTest : public DatFileTest {
 protected:
  void SetUp() override { ASSERT_OK(Create(ZunDeclaration())); }
};

// --- 47: one case per check, then all of them in order --------------------

struct StructureCase {
  const char* what;
  size_t offset;
  const char* bytes;
  StructureMismatch expected;
};

TEST_F(DatOpenTest, EachStructureCheckHasItsAttributeAndTraceText) {
  const StructureCase cases[] = {
      {"slot length 44", 19, "2c 00",
       {"SIZE", "Record Length Mismatch.  Data File Length 39 Record Definition Length 38"}},
      {"memo bit", 2, "a8 00", {"MEMOS", "Memo Count Mismatch "}},
      {"memo size 100", 67, "64 00",
       {"SIZE", "Memo Length Mismatch.  Data File Length 100 Record Definition Length 0"}},
      {"one key", 4, "01",
       {"KEYS", "Different number of key files defined.  Data file has1 keys "
                "defined.  Record Definition has 2"}},
      {"two fields", 13, "02 00",
       {"FIELDS", "Different number of fields defined.  Data file has2 fields "
                  "defined.  Record Definition has 3"}},
      {"one array", 17, "01 00",
       {"DIM", "Different number of arrays defined.  Data file has1 arrays "
               "defined.  Record Definition has 0"}},
  };
  const std::string pristine = DatBytes();
  for (const StructureCase& c : cases) {
    SCOPED_TRACE(c.what);
    fs_.SetContents(kDat, pristine);
    PatchDat(c.offset, Hex(c.bytes));
    EXPECT_STATUS_CODE(OpenData(), Err::kInvalidRecordDeclaration);
    EXPECT_EQ(mismatches_, std::vector<StructureMismatch>{c.expected});
    EXPECT_EQ(data_, nullptr);
    EXPECT_EQ(fs_.OpenFileCount(), 0u) << "the file is closed again";
  }
}

TEST_F(DatOpenTest, EveryFailingCheckIsReportedInOrder) {
  PatchDat(2, Hex("a8 00"));
  PatchDat(4, Hex("01"));
  PatchDat(13, Hex("02 00"));
  PatchDat(17, Hex("01 00"));
  PatchDat(19, Hex("2a 00"));
  PatchDat(67, Hex("2c 01"));
  EXPECT_STATUS_CODE(OpenData(), Err::kInvalidRecordDeclaration);
  std::vector<std::string> attributes;
  for (const StructureMismatch& m : mismatches_) attributes.push_back(m.attribute);
  EXPECT_EQ(attributes, (std::vector<std::string>{"SIZE", "MEMOS", "SIZE", "KEYS",
                                                  "FIELDS", "DIM"}));
  ASSERT_EQ(mismatches_.size(), 6u);
  EXPECT_EQ(mismatches_[0].trace,
            "Record Length Mismatch.  Data File Length 37 Record Definition Length 38");
  EXPECT_EQ(mismatches_[2].trace,
            "Memo Length Mismatch.  Data File Length 300 Record Definition Length 0");
}

TEST_F(DatOpenTest, DeclarationWithMemoAgainstFileWithoutOne) {
  decl_.memo = datfile::MemoDecl{"ZUN:Notes", 200, false};
  EXPECT_STATUS_CODE(OpenData(), Err::kInvalidRecordDeclaration);
  EXPECT_EQ(mismatches_,
            (std::vector<StructureMismatch>{
                {"MEMOS", "Memo Count Mismatch "},
                {"SIZE", "Memo Length Mismatch.  Data File Length 0 Record "
                         "Definition Length 200"}}));
}

// --- 36 ------------------------------------------------------------------

TEST_F(DatOpenTest, DamagedHeadersGive36) {
  struct Case {
    const char* what;
    size_t offset;
    const char* bytes;
  };
  const Case cases[] = {
      {"signature", 0, "56 34"},
      {"deleted count above record slots", 9, "01 00 00 00"},
      {"first free beyond the slots", 33, "01 00 00 00"},
      {"logical EOF beyond the slots", 25, "07 00 00 00"},
      {"slot length below the prefix", 19, "04 00"},
      {"data offset inside the descriptors", 21, "10 00 00 00"},
      {"data offset beyond the end of the file", 21, "00 10 00 00"},
      {"owner bit without a declared owner", 2, "a2 00"},
      {"a record slot beyond the end of the file", 5, "01 00 00 00"},
  };
  const std::string pristine = DatBytes();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs_.SetContents(kDat, pristine);
    PatchDat(c.offset, Hex(c.bytes));
    EXPECT_STATUS_CODE(OpenData(), Err::kInvalidDataFile);
    EXPECT_TRUE(mismatches_.empty());
    EXPECT_EQ(fs_.OpenFileCount(), 0u);
  }
}

TEST_F(DatOpenTest, TruncatedOrEmptyHeaderGives36) {
  for (size_t size : {0, 2, 50, 84}) {
    SCOPED_TRACE(size);
    ASSERT_OK(Create(ZunDeclaration(), /*exclusive=*/false));
    fs_.SetContents(kDat, DatBytes().substr(0, size));
    EXPECT_STATUS_CODE(OpenData(), Err::kInvalidDataFile);
  }
}

TEST_F(DatOpenTest, MissingFileGivesTheSystemsNumber) {
  ASSERT_OK(fs_.Remove(kDat));
  EXPECT_STATUS_CODE(OpenData(), Err::kFileNotFound);
}

TEST_F(DatOpenTest, KeyDescriptorsRunningIntoTheSlotsGive36) {
  PatchDat(166, Hex("20"));  // key 1 claims 32 components
  EXPECT_STATUS_CODE(OpenData(), Err::kInvalidDataFile);
}

// --- key descriptors -------------------------------------------------------

TEST_F(DatOpenTest, DisagreeingKeyDescriptorIsRewrittenOnlyForWriting) {
  const std::string pristine = DatBytes();
  // Key 1 (at 166): flags 0x30 -> 0x70 (not OPT), key length 4 -> 5.
  PatchDat(166 + 17, Hex("70 05"));
  const std::string damaged = DatBytes();

  ASSERT_OK(OpenData(/*write=*/false));
  data_.reset();
  EXPECT_EQ(DatBytes(), damaged);

  ASSERT_OK(OpenData(/*write=*/true));
  data_.reset();
  EXPECT_EQ(ToHex(DatBytes()), ToHex(pristine));
}

// --- OWNER ---------------------------------------------------------------------

class DatOwnerTest : public DatFileTest {};

TEST_F(DatOwnerTest, HeaderIsScrambledBeyondAttributesAndChecked) {
  ASSERT_OK(Create(SecretDeclaration()));
  const std::string file = DatBytes();
  // Signature and attributes stay plain: 0x80 | OWNER | ENCRYPT | MEMO | RECLAIM.
  EXPECT_EQ(ToHex(file.substr(0, 4)), "56 33 ae 00");
  // The plain header would show prefix "SEC" and 24 spaces of names.
  EXPECT_EQ(file.find("SEC"), std::string::npos);
  EXPECT_EQ(file.find("            "), std::string::npos);

  ASSERT_OK(OpenData());
  EXPECT_EQ(data_->header().key_count, 2u);
  EXPECT_EQ(data_->header().data_offset, 216u);
  EXPECT_EQ(data_->header().memo_size, kSecretMemoSize);
  // The check word: the 16-bit sum of the plain header with the word 0.
  datfile::HeaderBytes plain = datfile::EncodeDatHeader(data_->header());
  plain[83] = plain[84] = 0;
  uint32_t sum = 0;
  for (char c : plain) sum += static_cast<uint8_t>(c);
  EXPECT_EQ(data_->header().header_check, static_cast<uint16_t>(sum));
  std::string key;
  ASSERT_OK(data_->ReadKeyDescriptor(1, &key));
  EXPECT_EQ(key.substr(1, 16), "SEC:key2        ");
}

TEST_F(DatOwnerTest, WrongOwnerOrDamagedCheckWordGives36) {
  ASSERT_OK(Create(SecretDeclaration()));
  const std::string pristine = DatBytes();
  decl_.owner = "another owner";
  EXPECT_STATUS_CODE(OpenData(), Err::kInvalidDataFile);

  decl_ = SecretDeclaration();
  PatchDat(40, std::string(1, static_cast<char>(DatBytes()[40] ^ 0x01)));
  EXPECT_STATUS_CODE(OpenData(), Err::kInvalidDataFile);

  fs_.SetContents(kDat, pristine);
  decl_.owner.clear();
  EXPECT_STATUS_CODE(OpenData(), Err::kInvalidDataFile);
}

TEST_F(DatOwnerTest, HeaderWrittenAgainStaysReadable) {
  ASSERT_OK(Create(SecretDeclaration()));
  ASSERT_OK(OpenData());
  data_->mutable_header()->attributes |= datfile::dat::kAttrLocked;
  ASSERT_OK(data_->WriteHeader(/*stamp=*/false));
  ASSERT_OK(data_->ReadHeader());
  EXPECT_NE(data_->header().attributes & datfile::dat::kAttrLocked, 0);
  ASSERT_OK(OpenData());
  EXPECT_NE(data_->header().attributes & datfile::dat::kAttrLocked, 0);
}

// --- memo file at OPEN -----------------------------------------------------------

class MemoOpenTest : public DatFileTest {
 protected:
  datfile::Status OpenMemo() {
    memo_.reset();
    return datfile::MemoFile::Open(fs_, kMem, {.write = true}, *decl_.memo,
                                   std::nullopt, false, &memo_);
  }
  std::unique_ptr<datfile::MemoFile> memo_;
};

TEST_F(MemoOpenTest, MissingOrDamagedMemoFileGives73) {
  ASSERT_OK(Create(MemoDeclaration()));
  ASSERT_OK(OpenMemo());

  fs_.SetContents(kMem, Hex("4d 33 01 00 00 00"));  // free block 1, no blocks
  EXPECT_STATUS_CODE(OpenMemo(), Err::kMemoFileMissing);
  fs_.SetContents(kMem, Hex("4d 34 00 00 00 00"));
  EXPECT_STATUS_CODE(OpenMemo(), Err::kMemoFileMissing);
  fs_.SetContents(kMem, Hex("4d 33 00"));
  EXPECT_STATUS_CODE(OpenMemo(), Err::kMemoFileMissing);
  ASSERT_OK(fs_.Remove(kMem));
  EXPECT_STATUS_CODE(OpenMemo(), Err::kMemoFileMissing);
  EXPECT_EQ(fs_.OpenFileCount(), 0u);
}

}  // namespace
}  // namespace zuna::testing
