// STREAM/FLUSH, EMPTY, BUILD (keys, dynamic index, duplicate report), PACK,
// REMOVE and RENAME.
#include <algorithm>
#include <string>

#include "runtime/values/code_page.h"
#include "runtime/values/evaluator.h"
#include "tests/runtime/datfile/driver_test_util.h"

namespace zuna::datfile::driver_test {
namespace {

using DriverMaintenanceTest = DriverFixture;

TEST_F(DriverMaintenanceTest, StreamDefersTheHeaderOfAppendUntilFlush) {
  auto zun = OpenNewZun();
  const std::string header = fs_.Contents("/ZUN.DAT").substr(0, 85);
  ASSERT_EQ(STREAM(*zun), 0);
  fs_.ResetCounters();
  SetZun(*zun, "Anna", 1);
  ASSERT_EQ(APPEND(*zun), 0);
  ASSERT_EQ(APPEND(*zun), 0);
  EXPECT_EQ(fs_.Contents("/ZUN.DAT").substr(0, 85), header);
  EXPECT_EQ(fs_.Counters("/ZUN.DAT").syncs, 0u);
  EXPECT_EQ(fs_.Counters("/ZUN.K01").writes, 0u);  // APPEND keeps keys alone
  EXPECT_EQ(RECORDS(*zun), 2u);
  ASSERT_EQ(FLUSH(*zun), 0);
  EXPECT_NE(fs_.Contents("/ZUN.DAT").substr(0, 85), header);
  EXPECT_GE(fs_.Counters("/ZUN.DAT").syncs, 1u);
  // The keys learn of appended records by BUILD.
  ASSERT_EQ(BUILD(*zun), 0);
  EXPECT_EQ(RECORDS(*zun, kByName), 2u);
}

TEST_F(DriverMaintenanceTest, WriteThroughSyncsEveryWrite) {
  auto zun = OpenNewZun();
  fs_.ResetCounters();
  ASSERT_EQ(AddZun(*zun, "Anna", 1), 0);
  EXPECT_EQ(fs_.Counters("/ZUN.DAT").syncs, 1u);
  EXPECT_EQ(fs_.Counters("/ZUN.K01").syncs, 1u);
}

TEST_F(DriverMaintenanceTest, CloseWritesADirtyHeader) {
  auto zun = OpenNewZun();
  ASSERT_EQ(STREAM(*zun), 0);
  ASSERT_EQ(AddZun(*zun, "Anna", 1), 0);
  SetZun(*zun, "Boris", 2);
  ASSERT_EQ(APPEND(*zun), 0);
  ASSERT_EQ(CLOSE(*zun), 0);
  ASSERT_EQ(OPEN(*zun), 0);  // OPT keys: no count test at OPEN
  EXPECT_EQ(RECORDS(*zun), 2u);
  EXPECT_EQ(RECORDS(*zun, kByName), 1u);  // the keys miss the appended record
  ASSERT_EQ(CLOSE(*zun), 0);
  ASSERT_EQ(BUILD(*zun), 0);  // BUILD opens the closed file itself
  ASSERT_EQ(OPEN(*zun), 0);
  EXPECT_EQ(WalkKey(*zun, kByName), (std::vector<uint32_t>{1, 2}));
}

TEST_F(DriverMaintenanceTest, EmptyLeavesNoRecordsAndFreshKeys) {
  auto zun = OpenNewZun();
  for (int i = 1; i <= 30; ++i) ASSERT_EQ(AddZun(*zun, "P" + std::to_string(i), i), 0);
  ASSERT_EQ(EMPTY(*zun), 0);
  EXPECT_EQ(RECORDS(*zun), 0u);
  EXPECT_EQ(RECORDS(*zun, kByDate), 0u);
  EXPECT_EQ(fs_.Contents("/ZUN.DAT").size(), kZunDataOffset);
  EXPECT_EQ(fs_.Contents("/ZUN.K02").size(), 1024u);
  EXPECT_EQ(GET(*zun, 1u), 35);
  ASSERT_EQ(AddZun(*zun, "Again", 5), 0);
  EXPECT_EQ(POINTER(*zun), 1u);
  ASSERT_EQ(CLOSE(*zun), 0);
  EXPECT_EQ(OPEN(*zun), 0);
}

TEST_F(DriverMaintenanceTest, PackClosesUpRecordNumbersAndRebuildsKeys) {
  auto zun = OpenNewZun();
  for (int i = 1; i <= 6; ++i) {
    ASSERT_EQ(AddZun(*zun, std::string(1, static_cast<char>('G' - i)), i * 10), 0);
  }
  for (uint32_t r : {2u, 5u}) {
    ASSERT_EQ(GET(*zun, r), 0);
    ASSERT_EQ(DELETE(*zun), 0);
  }
  ASSERT_EQ(PACK(*zun), 0);
  EXPECT_EQ(fs_.Contents("/ZUN.DAT").size(), kZunDataOffset + 4 * kZunSlotLength);
  EXPECT_FALSE(fs_.Exists("/ZUN.T00"));
  EXPECT_EQ(RECORDS(*zun), 4u);
  // Old 1, 3, 4, 6 (names F, D, C, A) are now 1..4.
  EXPECT_EQ(WalkFile(*zun), (std::vector<uint32_t>{1, 2, 3, 4}));
  EXPECT_EQ(WalkKey(*zun, kByName), (std::vector<uint32_t>{4, 3, 2, 1}));
  ASSERT_EQ(GET(*zun, 4u), 0);
  EXPECT_EQ(ZunFio(*zun), "A");
  EXPECT_EQ(ZunData(*zun), 60);
  ASSERT_EQ(CLOSE(*zun), 0);
  EXPECT_EQ(OPEN(*zun), 0);
}

// BUILD of an open FILE makes each key under another name and renames it
// over the key file: the FILE goes on with the keys made anew, and nothing
// of the work is left beside them.
TEST_F(DriverMaintenanceTest, BuildOfAnOpenFileGoesOnWithTheKeysItMadeAnew) {
  auto zun = OpenNewZun();
  ASSERT_EQ(AddZun(*zun, "Petrov", 200), 0);
  ASSERT_EQ(AddZun(*zun, "Ivanov", 300), 0);
  SetZun(*zun, "Abramov", 100);
  ASSERT_EQ(APPEND(*zun), 0);  // in no key until BUILD
  EXPECT_EQ(WalkKey(*zun, kByName), (std::vector<uint32_t>{2, 1}));
  ASSERT_EQ(BUILD(*zun), 0);
  EXPECT_EQ(fs_.ListFiles(), (std::vector<std::string>{"/ZUN.DAT", "/ZUN.K01", "/ZUN.K02"}));
  EXPECT_EQ(WalkKey(*zun, kByName), (std::vector<uint32_t>{3, 2, 1}));
  // The keys the FILE writes now are the files OPEN will read.
  ASSERT_EQ(AddZun(*zun, "Borisov", 50), 0);
  ASSERT_EQ(CLOSE(*zun), 0);
  ASSERT_EQ(OPEN(*zun), 0);
  EXPECT_EQ(WalkKey(*zun, kByName), (std::vector<uint32_t>{3, 4, 2, 1}));
  EXPECT_EQ(WalkKey(*zun, kByDate), (std::vector<uint32_t>{4, 3, 1, 2}));
  ASSERT_EQ(CLOSE(*zun), 0);
}

TEST_F(DriverMaintenanceTest, PackCopiesOemImagesByteForByte) {
  auto zun = OpenNewZun();
  ASSERT_EQ(AddZun(*zun, "gone", 10), 0);
  ASSERT_EQ(AddZun(*zun, "kept", 20), 0);
  ASSERT_EQ(CLOSE(*zun), 0);
  // Slot 2's name starts with 866 box drawing (C4h) and ends with 866 FFh,
  // neither of which has a 1251 form: decoding and encoding again would
  // turn them into '?'.
  std::string bytes = fs_.Contents("/ZUN.DAT");
  const size_t name2 = kZunDataOffset + kZunSlotLength + 5;
  bytes[name2] = '\xC4';
  bytes[name2 + 29] = '\xFF';
  const std::string image2 = bytes.substr(name2, kZunSlotLength - 5);
  fs_.SetContents("/ZUN.DAT", bytes);
  ASSERT_EQ(OPEN(*zun), 0);
  ASSERT_EQ(GET(*zun, 1u), 0);
  ASSERT_EQ(DELETE(*zun), 0);
  ASSERT_EQ(CLOSE(*zun), 0);

  ASSERT_EQ(PACK(*zun), 0);
  const std::string packed = fs_.Contents("/ZUN.DAT");
  ASSERT_EQ(packed.size(), kZunDataOffset + kZunSlotLength);
  EXPECT_EQ(packed.substr(kZunDataOffset + 5), image2);
}

TEST_F(DriverMaintenanceTest, PackKeepsMemos) {
  DatFileInstance mem(testing::MemoDeclaration(), fs_);
  mem.set_name("/MEM");
  ASSERT_EQ(CREATE(mem), 0);
  ASSERT_EQ(OPEN(mem), 0);
  for (const char* name : {"Anna", "Boris", "Vera"}) {
    std::string record(testing::kMemoRecordLength, '\0');
    std::fill_n(record.begin(), 20, ' ');
    record.replace(0, std::string(name).size(), name);
    std::copy(record.begin(), record.end(), mem.record().begin());
    std::fill(mem.memo().begin(), mem.memo().end(), ' ');
    const std::string note = std::string("note of ") + name;
    std::copy(note.begin(), note.end(), mem.memo().begin());
    ASSERT_EQ(ADD(mem), 0);
  }
  ASSERT_EQ(GET(mem, 1u), 0);
  ASSERT_EQ(DELETE(mem), 0);
  ASSERT_EQ(PACK(mem), 0);
  ASSERT_EQ(GET(mem, 2u), 0);
  EXPECT_EQ(std::string(mem.memo().begin(), mem.memo().begin() + 12), "note of Vera");
  EXPECT_FALSE(fs_.Exists("/MEM.M00"));
  ASSERT_EQ(CLOSE(mem), 0);
  EXPECT_EQ(OPEN(mem), 0);
}

TEST_F(DriverMaintenanceTest, BuildOfAKeyWithoutDupReportsDuplicates) {
  DatFileInstance mem(testing::MemoDeclaration(), fs_);
  mem.set_name("/MEM");
  ASSERT_EQ(CREATE(mem), 0);
  ASSERT_EQ(OPEN(mem), 0);
  std::string record(testing::kMemoRecordLength, '\0');
  std::fill_n(record.begin(), 20, ' ');
  record.replace(0, 4, "Anna");
  std::copy(record.begin(), record.end(), mem.record().begin());
  ASSERT_EQ(APPEND(mem), 0);  // no duplicate check without keys
  ASSERT_EQ(APPEND(mem), 0);
  EXPECT_EQ(BUILD(mem), 40);
  EXPECT_EQ(fs_.Contents("/MEM.BLD"),
            "Duplicate record numbers for:\n/MEM.K01\nRecord number: 1\n"
            "Record number: 2\n\n");
  EXPECT_EQ(RECORDS(mem, Key{0}), 2u);  // the whole key is still written
}

TEST_F(DriverMaintenanceTest, DynamicIndexOrdersWithoutMaintenanceAndVanishesAtClose) {
  auto zun = OpenNewZun();
  ASSERT_EQ(AddZun(*zun, "Boris", 10, 3), 0);
  ASSERT_EQ(AddZun(*zun, "Anna", 10, 1), 0);
  ASSERT_EQ(AddZun(*zun, "Vera", 5, 2), 0);
  Key dynamic;
  ASSERT_EQ(BUILD(*zun, "ZUN:DATA, +DATA1", &dynamic), 0);
  EXPECT_EQ(dynamic.index, 2);
  EXPECT_EQ(WalkKey(*zun, dynamic), (std::vector<uint32_t>{3, 2, 1}));
  const std::string path = zun->driver_state().keys[2].path;
  EXPECT_TRUE(fs_.Exists(path));
  EXPECT_EQ(BUILD(*zun, "ZUN:NOPE", &dynamic), 47);
  ASSERT_EQ(CLOSE(*zun), 0);
  EXPECT_FALSE(fs_.Exists(path));
  EXPECT_EQ(zun->driver_state().keys.size(), 2u);
}

TEST_F(DriverMaintenanceTest, FilteredDynamicIndexHoldsOnlyTheMatchingRecords) {
  auto zun = OpenNewZun();
  ASSERT_EQ(AddZun(*zun, "Boris", 30), 0);
  ASSERT_EQ(AddZun(*zun, "Anna", 10), 0);
  ASSERT_EQ(AddZun(*zun, "Vera", 25), 0);
  ASSERT_EQ(AddZun(*zun, "Gleb", 5), 0);
  ASSERT_EQ(AddZun(*zun, "Dina", 20), 0);
  ASSERT_EQ(AddZun(*zun, "Egor", 40), 0);
  SetZun(*zun, "buffer", 77);
  Key dynamic;
  ASSERT_EQ(BUILD(*zun, "ZUN:FIO", "ZUN:DATA >= 20", &dynamic), 0);
  EXPECT_EQ(dynamic.index, 2);
  // Boris, Dina, Egor, Vera by name; Anna and Gleb left out.
  EXPECT_EQ(WalkKey(*zun, dynamic), (std::vector<uint32_t>{1, 5, 6, 3}));
  EXPECT_EQ(RECORDS(*zun, dynamic), 4u);
  // Two conditions, and the dynamic index sorting by date.
  Key by_date;
  ASSERT_EQ(BUILD(*zun, "ZUN:DATA", "ZUN:DATA < 30 AND ZUN:FIO <> 'Vera'", &by_date), 0);
  EXPECT_EQ(WalkKey(*zun, by_date), (std::vector<uint32_t>{4, 2, 5}));
}

TEST_F(DriverMaintenanceTest, FilterSeesCyrillicNamesOfAnOemFileInTheProgramCodePage) {
  auto zun = OpenNewZun();
  ASSERT_EQ(AddZun(*zun, values::W("Петров Пётр"), 3), 0);
  ASSERT_EQ(AddZun(*zun, values::W("Иванов Иван"), 1), 0);
  ASSERT_EQ(AddZun(*zun, values::W("Иванова Анна"), 2), 0);
  Key dynamic;
  ASSERT_EQ(BUILD(*zun, "ZUN:DATA", values::W("SUB(ZUN:FIO,1,6) = 'Иванов'"), &dynamic), 0);
  EXPECT_EQ(WalkKey(*zun, dynamic), (std::vector<uint32_t>{2, 3}));
}

TEST_F(DriverMaintenanceTest, AFilterThatDoesNotCompileLeavesNoIndex) {
  auto zun = OpenNewZun();
  ASSERT_EQ(AddZun(*zun, "Anna", 10), 0);
  Key dynamic{-1};
  EXPECT_EQ(BUILD(*zun, "ZUN:FIO", "ZUN:DATA >", &dynamic), 1010);
  EXPECT_EQ(values::ERRORCODE(), 1010);
  EXPECT_EQ(BUILD(*zun, "ZUN:FIO", "ZUN:NOPE = 1", &dynamic), 1011);
  EXPECT_NE(values::FILEERROR().find("NOPE"), std::string::npos) << values::FILEERROR();
  EXPECT_EQ(dynamic.index, -1);
  EXPECT_EQ(zun->driver_state().keys.size(), 2u);
  // The program's own bindings are as they were: the field scope is gone.
  EXPECT_EQ(values::EVALUATE("ZUN:DATA"), "");
  EXPECT_EQ(values::ERRORCODE(), 1011);
}

TEST_F(DriverMaintenanceTest, PackRebuildsAFilteredDynamicIndexWithItsFilter) {
  auto zun = OpenNewZun();
  for (int i = 1; i <= 6; ++i) ASSERT_EQ(AddZun(*zun, "P" + std::to_string(i), i), 0);
  Key dynamic;
  ASSERT_EQ(BUILD(*zun, "ZUN:DATA", "ZUN:DATA % 2 = 0", &dynamic), 0);
  ASSERT_EQ(GET(*zun, 1u), 0);
  ASSERT_EQ(DELETE(*zun), 0);
  ASSERT_EQ(PACK(*zun), 0);
  // Old 2, 4, 6 are now 1, 3, 5.
  EXPECT_EQ(WalkKey(*zun, dynamic), (std::vector<uint32_t>{1, 3, 5}));
}

TEST_F(DriverMaintenanceTest, PackCopiesOemMemoTextByteForByte) {
  FileDecl decl = testing::MemoDeclaration();
  decl.oem = true;
  DatFileInstance mem(decl, fs_);
  mem.set_name("/MEM");
  ASSERT_EQ(CREATE(mem), 0);
  ASSERT_EQ(OPEN(mem), 0);
  for (const char* name : {"Gone", "Kept"}) {
    std::string record(testing::kMemoRecordLength, '\0');
    std::fill_n(record.begin(), 20, ' ');
    record.replace(0, 4, name);
    std::copy(record.begin(), record.end(), mem.record().begin());
    std::fill(mem.memo().begin(), mem.memo().end(), ' ');
    // 300 characters: two blocks.
    const std::string note = std::string(300, 'n');
    std::copy(note.begin(), note.end(), mem.memo().begin());
    ASSERT_EQ(ADD(mem), 0);
  }
  ASSERT_EQ(CLOSE(mem), 0);
  // Kept's memo (blocks 3 and 4) gets 866 box drawing (C4h) and 866 FFh,
  // neither of which has a 1251 form: decoding and encoding again would
  // turn them into '?'.
  std::string memo_bytes = fs_.Contents("/MEM.MEM");
  const size_t block3 = 6 + 2 * 256;
  memo_bytes[block3 + 4] = '\xC4';
  memo_bytes[block3 + 256 + 4 + 47] = '\xFF';
  fs_.SetContents("/MEM.MEM", memo_bytes);
  const std::string kept_text = memo_bytes.substr(block3 + 4, 252) +
                                memo_bytes.substr(block3 + 256 + 4, 252);
  ASSERT_EQ(OPEN(mem), 0);
  ASSERT_EQ(GET(mem, 1u), 0);
  ASSERT_EQ(DELETE(mem), 0);
  ASSERT_EQ(PACK(mem), 0);
  ASSERT_EQ(CLOSE(mem), 0);
  const std::string packed = fs_.Contents("/MEM.MEM");
  ASSERT_EQ(packed.size(), 6u + 2 * 256);
  EXPECT_EQ(packed.substr(6 + 4, 252) + packed.substr(6 + 256 + 4, 252), kept_text);
  EXPECT_FALSE(fs_.Exists("/MEM.M00"));
  EXPECT_FALSE(fs_.Exists("/MEM.M01"));
}

TEST_F(DriverMaintenanceTest, PackKeepsEncryptedMemos) {
  DatFileInstance sec(testing::SecretDeclaration(), fs_);
  sec.set_name("/SEC");
  ASSERT_EQ(CREATE(sec), 0);
  ASSERT_EQ(OPEN(sec), 0);
  for (int i = 0; i < 3; ++i) {
    SetZun(sec, "P" + std::to_string(i), i + 1);
    // All 300 bytes: the second block holds 48 of them, scrambled with
    // the rest of its 252.
    std::fill(sec.memo().begin(), sec.memo().end(), static_cast<char>('a' + i));
    ASSERT_EQ(ADD(sec), 0);
  }
  ASSERT_EQ(GET(sec, 2u), 0);
  ASSERT_EQ(DELETE(sec), 0);
  ASSERT_EQ(PACK(sec), 0);
  ASSERT_EQ(GET(sec, 2u), 0);
  EXPECT_EQ(std::string(sec.memo().begin(), sec.memo().end()),
            std::string(testing::kSecretMemoSize, 'c'));
  ASSERT_EQ(GET(sec, 1u), 0);
  EXPECT_EQ(std::string(sec.memo().begin(), sec.memo().end()),
            std::string(testing::kSecretMemoSize, 'a'));
}

TEST_F(DriverMaintenanceTest, EmptyMakesEveryKeyAnew) {
  auto zun = OpenNewZun();
  ASSERT_EQ(AddZun(*zun, "Anna", 1), 0);
  ASSERT_EQ(EMPTY(*zun), 0);
  // Every key made anew: a fresh 1024-byte file with its descriptor.
  EXPECT_EQ(fs_.Contents("/ZUN.K01").size(), 1024u);
  ASSERT_EQ(CLOSE(*zun), 0);
  ASSERT_EQ(OPEN(*zun), 0);
  EXPECT_EQ(RECORDS(*zun, kByName), 0u);
}

TEST_F(DriverMaintenanceTest, RemoveAndRenameEveryFile) {
  auto zun = OpenNewZun();
  ASSERT_EQ(AddZun(*zun, "Anna", 1), 0);
  EXPECT_EQ(RENAME(*zun, "/NEW"), 52);  // open
  ASSERT_EQ(CLOSE(*zun), 0);
  ASSERT_EQ(RENAME(*zun, "/NEW"), 0);
  EXPECT_EQ(fs_.ListFiles(), (std::vector<std::string>{"/NEW.DAT", "/NEW.K01", "/NEW.K02"}));
  EXPECT_EQ(OPEN(*zun), 2);
  zun->set_name("/NEW");
  ASSERT_EQ(OPEN(*zun), 0);
  EXPECT_EQ(RECORDS(*zun), 1u);
  ASSERT_EQ(CLOSE(*zun), 0);
  ASSERT_EQ(REMOVE(*zun), 0);
  EXPECT_TRUE(fs_.ListFiles().empty());
  EXPECT_EQ(REMOVE(*zun), 2);
}

}  // namespace
}  // namespace zuna::datfile::driver_test
