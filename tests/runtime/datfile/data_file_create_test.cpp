// A new data file byte for byte, and how creation treats an existing file
// and a declaration the format cannot hold.
#include <gtest/gtest.h>

#include <string>

#include "runtime/datfile/data_file.h"
#include "tests/runtime/datfile/dat_test_util.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zun_declaration.h"

namespace zuna::testing {
namespace {

namespace Err = datfile::Err;

// The register's ZUN: 85-byte header, 3 field descriptors, 2 key
// descriptors; data offset 85 + 3 x 27 + 2 x (19 + 6) = 216, slot length 43.
std::string ExpectedZunFile() {
  const std::string spaces12(12, ' ');
  std::string header =
      Hex("56 33"            // "V3"
          " a0 00"           // attributes 0x0080 | 0x0020 (RECLAIM)
          " 02"              // key count
          " 00 00 00 00"     // record slots
          " 00 00 00 00"     // deleted count
          " 03 00"           // field count
          " 00 00 00 00"     // picture count, array count
          " 2b 00"           // slot length 43
          " d8 00 00 00"     // data offset 216
          " 00 00 00 00 00 00 00 00 00 00 00 00") +  // EOF, BOF, first free
      spaces12 + spaces12 +                              // record, memo name
      "ZUN" + "ZUN" +                                    // file, record prefix
      Hex("00 00 00 00 00 00 00 00") +                   // memo size/width, reserved
      Hex(kStampHex) + Hex("00 00");                     // stamp, check word
  std::string fields =
      Hex("03") + "ZUN:FIO         " + Hex("00 00 1e 00 00 00 00 00 00 00") +
      Hex("01") + "ZUN:DATA        " + Hex("1e 00 04 00 00 00 00 00 00 00") +
      Hex("01") + "ZUN:DATA1       " + Hex("22 00 04 00 00 00 00 00 00 00");
  std::string keys =
      Hex("01") + "ZUN:zun_key     " + Hex("30 04") + Hex("01 02 00 1e 00 04") +
      Hex("01") + "ZUN:key2        " + Hex("30 1e") + Hex("03 01 00 00 00 1e");
  return header + fields + keys;
}

class DatCreateTest : public DatFileTest {};

TEST_F(DatCreateTest, ZunFileByteForByte) {
  ASSERT_OK(Create(ZunDeclaration()));
  const std::string expected = ExpectedZunFile();
  ASSERT_EQ(expected.size(), 216u);
  EXPECT_EQ(ToHex(DatBytes()), ToHex(expected));
  EXPECT_FALSE(fs_.Exists(kMem)) << "ZUN declares no memo";
}

TEST_F(DatCreateTest, NewZunFileOpensEmpty) {
  ASSERT_OK(Create(ZunDeclaration()));
  ASSERT_OK(OpenData());
  const datfile::DatHeader& h = data_->header();
  EXPECT_EQ(h.data_offset, 216u);
  EXPECT_EQ(h.slot_length, 43u);
  EXPECT_EQ(data_->Records(), 0u);
  EXPECT_EQ(h.logical_eof, 0u);
  EXPECT_EQ(h.logical_bof, 0u);
  EXPECT_EQ(h.first_free, 0u);
  EXPECT_TRUE(mismatches_.empty());
}

// Arrays, a dimensioned GROUP and its members, a picture shared by two
// fields; no keys, so the record prefix moves into the file prefix.
TEST_F(DatCreateTest, ArraysGroupsAndPictures) {
  ASSERT_OK(Create(ArrayDeclaration()));
  const std::string file = DatBytes();
  // field count 7, picture count 1, array count 5, slot length 61,
  // data offset 85 + 7 x 27 + 7 + 4 x 10 + 14 = 335.
  EXPECT_EQ(ToHex(file.substr(13, 12)),
            "07 00 01 00 05 00 3d 00 4f 01 00 00");
  EXPECT_EQ(ToHex(file.substr(2, 2)), "80 00");
  EXPECT_EQ(file.substr(61, 6), std::string("ARR") + Hex("00 00 00"));
  const std::string fields =
      Hex("03") + "ARR:Codes       " + Hex("00 00 04 00 00 00 01 00 00 00") +
      Hex("07") + "ARR:Period      " + Hex("0c 00 0c 00 00 00 02 00 00 00") +
      Hex("01") + "ARR:From        " + Hex("0c 00 04 00 00 00 03 00 00 00") +
      Hex("01") + "ARR:Till        " + Hex("10 00 04 00 00 00 04 00 00 00") +
      Hex("03") + "ARR:Tags        " + Hex("14 00 02 00 00 00 05 00 00 00") +
      Hex("04") + "ARR:Title       " + Hex("24 00 0a 00 00 00 00 00 01 00") +
      Hex("04") + "ARR:Note        " + Hex("2e 00 0a 00 00 00 00 00 01 00");
  EXPECT_EQ(ToHex(file.substr(85, 189)), ToHex(fields));
  EXPECT_EQ(ToHex(file.substr(274, 7)), ToHex(Hex("05 00") + "@s10" + Hex("00")));
  const std::string arrays =
      Hex("01 00 01 00 0c 00  03 00 04 00") +            // Codes DIM(3)
      Hex("01 00 01 00 18 00  02 00 0c 00") +            // Period DIM(2)
      Hex("00 00 01 00 04 00  02 00 0c 00") +            // From, in Period
      Hex("00 00 01 00 04 00  02 00 0c 00") +            // Till, in Period
      Hex("01 00 02 00 04 00  02 00 0c 00  02 00 02 00");  // Tags DIM(2) in Period
  EXPECT_EQ(ToHex(file.substr(281)), ToHex(arrays));
  EXPECT_EQ(file.size(), 335u);
}

// BYTE, SHORT, DECIMAL(7,2), REAL, a type without a code, a field not stored
// and a two-component key without DUP/NOCASE/OPT.
TEST_F(DatCreateTest, NumericTypesAndFieldNotStored) {
  ASSERT_OK(Create(NumericDeclaration()));
  const std::string file = DatBytes();
  EXPECT_EQ(ToHex(file.substr(13, 2)), "07 00") << "NUM:Scratch is not stored";
  EXPECT_EQ(ToHex(file.substr(19, 6)), "25 00 31 01 00 00");  // 37, 305
  const std::string fields =
      Hex("05") + "NUM:Count       " + Hex("00 00 01 00 00 00 00 00 00 00") +
      Hex("06") + "NUM:Small       " + Hex("01 00 02 00 00 00 00 00 00 00") +
      Hex("08") + "NUM:Amount      " + Hex("03 00 04 00 05 02 00 00 00 00") +
      Hex("02") + "NUM:Rate        " + Hex("07 00 08 00 00 00 00 00 00 00") +
      Hex("00") + "NUM:Flags       " + Hex("0f 00 02 00 00 00 00 00 00 00") +
      Hex("01") + "NUM:Stamp       " + Hex("15 00 04 00 00 00 00 00 00 00") +
      Hex("00") + "NUM:Label       " + Hex("19 00 07 00 00 00 00 00 00 00");
  EXPECT_EQ(ToHex(file.substr(85, 189)), ToHex(fields));
  const std::string key = Hex("02") + "NUM:AmountKey   " + Hex("40 06") +
                          Hex("08 03 00 03 00 04") + Hex("06 02 00 01 00 02");
  EXPECT_EQ(ToHex(file.substr(274)), ToHex(key));
}

TEST_F(DatCreateTest, MemoFileAndMemoHeaderFields) {
  ASSERT_OK(Create(MemoDeclaration()));
  const std::string file = DatBytes();
  EXPECT_EQ(ToHex(file.substr(2, 2)), "a8 00");  // 0x80 | RECLAIM | MEMO
  EXPECT_EQ(file.substr(49, 12), "Notes       ");
  EXPECT_EQ(ToHex(file.substr(67, 4)), "58 02 00 00");  // memo size 600
  EXPECT_EQ(ToHex(fs_.Contents(kMem)), "4d 33 00 00 00 00");
}

TEST_F(DatCreateTest, ExclusiveCreateLeavesAnExistingFileAlone) {
  ASSERT_OK(Create(ZunDeclaration()));
  fs_.SetContents(kDat, DatBytes() + "a record slot");
  const std::string before = DatBytes();
  const datfile::Status status = Create(ZunDeclaration());
  EXPECT_TRUE(status.IsAlreadyExists()) << status.ToString();
  EXPECT_EQ(DatBytes(), before);
}

TEST_F(DatCreateTest, OnTheRealFileSystem) {
  TempDir dir;
  const std::string path = dir.File("ZUN.DAT");
  datfile::FileDecl decl = ZunDeclaration();
  datfile::FileSystem& fs = datfile::PosixFileSystem();
  ASSERT_OK(datfile::CreateDataFile(fs, path, decl, {}, /*exclusive=*/true));
  const datfile::Status again = datfile::CreateDataFile(fs, path, decl, {}, true);
  EXPECT_TRUE(again.IsAlreadyExists()) << again.ToString();

  std::unique_ptr<datfile::DataFile> data;
  ASSERT_OK(datfile::DataFile::Open(fs, path, decl, {.write = true}, nullptr, &data));
  std::unique_ptr<datfile::File> file;
  ASSERT_OK(fs.Open(path, {}, &file));
  uint64_t size = 0;
  ASSERT_OK(file->Size(&size));
  std::string image(size, '\0');
  ASSERT_OK(datfile::ReadExact(*file, 0, image, datfile::Err::kInvalidDataFile));
  EXPECT_EQ(ToHex(image), ToHex(ExpectedZunFile()));
}

TEST_F(DatCreateTest, ReplacingCreateCutsAnExistingFile) {
  ASSERT_OK(Create(ZunDeclaration()));
  fs_.SetContents(kDat, DatBytes() + "a record slot");
  ASSERT_OK(Create(ZunDeclaration(), /*exclusive=*/false));
  EXPECT_EQ(ToHex(DatBytes()), ToHex(ExpectedZunFile()));
}

TEST_F(DatCreateTest, FiveDimensionsFailWith75AndCreateNothing) {
  EXPECT_STATUS_CODE(Create(FiveDimensionDeclaration()),
                     Err::kInvalidFieldTypeDescriptor);
  EXPECT_FALSE(fs_.Exists(kDat));
}

TEST_F(DatCreateTest, FourDimensionsAreAccepted) {
  datfile::FileDecl decl = FiveDimensionDeclaration();
  decl.fields[1].dimensions = {2, 2};
  decl.fields[1].size = 16;
  ASSERT_OK(Create(decl));
  // Cube: own 2, total 4, size 16; Block's (2, 64) (2, 32), then (2, 8) (2, 4).
  EXPECT_EQ(ToHex(DatBytes().substr(DatBytes().size() - 22)),
            "02 00 04 00 10 00 02 00 40 00 02 00 20 00 02 00 08 00 02 00 04 00");
}

TEST_F(DatCreateTest, KeyLongerThan245FailsWith88) {
  datfile::FileDecl decl = ZunDeclaration();
  decl.record_length = 300;
  decl.fields[0].size = 246;
  decl.fields[1].offset = 246;
  decl.fields[2].offset = 250;
  EXPECT_STATUS_CODE(Create(decl), Err::kInvalidKeyLength);
  EXPECT_FALSE(fs_.Exists(kDat));
}

TEST_F(DatCreateTest, FieldOutsideTheRecordFailsWith75) {
  datfile::FileDecl decl = ZunDeclaration();
  decl.fields[2].offset = 36;
  EXPECT_STATUS_CODE(Create(decl), Err::kInvalidFieldTypeDescriptor);
}

}  // namespace
}  // namespace zuna::testing
