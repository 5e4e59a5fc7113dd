// The checker over files made by the data and key file layers, clean and
// then damaged one way at a time by editing bytes.  Offsets are worked out
// by hand from the formats: ZUN's data offset is 85 + 3 x 27 (fields) +
// 2 x (19 + 6) (keys) = 216, a slot is 38 + 5 = 43 bytes, so slot n lies at
// 216 + (n - 1) x 43; key node b lies at b x 512, its entries from +13.
#include "runtime/datfile/checker.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "runtime/datfile/coding.h"
#include "runtime/datfile/key_encoding.h"
#include "runtime/datfile/key_file.h"
#include "runtime/values/clock.h"
#include "runtime/values/code_page.h"
#include "tests/runtime/datfile/checker_test_util.h"
#include "tests/support/mem_fs.h"
#include "tests/support/shipped_locale.h"
#include "tests/support/status_matchers.h"
#include "tests/support/zun_declaration.h"

namespace zuna::datfile {
namespace {

using ::zuna::testing::MemFileSystem;
using values::W;

constexpr uint64_t kDataOffset = 216;
constexpr uint64_t kSlotLength = 43;
constexpr uint64_t SlotAt(uint64_t n) { return kDataOffset + (n - 1) * kSlotLength; }
constexpr uint64_t kNode1 = 512;
// Entry i of a LONG key's node (entry length 8).
constexpr uint64_t LongEntryAt(uint64_t node, uint64_t i) {
  return node * 512 + 13 + i * 8;
}

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  EncodeFixed32(s.data(), v);
  return s;
}

std::string Kinds(const CheckResult& result) {
  std::string out;
  for (const CheckFault& f : result.faults) {
    out += std::string(FaultKindName(f.kind)) + " " + f.file + "@" +
           std::to_string(f.offset) + ": " + values::Cp1251ToUtf8(f.text) + "\n";
  }
  return out;
}

class CheckerTest : public ::testing::Test {
 protected:
  CheckerTest() : clock_(values::LocalDateTime{2009, 3, 5, 4500000}) {
    values::SetClock(&clock_);
    options_.locale = &locale_;
  }
  ~CheckerTest() override { values::SetClock(nullptr); }

  // Records 1-5; record 2 deleted, record 4 has a blank name (no entry in
  // the OPT name key).  Key 1 (date) order: 5, 1, 3, 4.
  void BuildZun() {
    records_ = {testing::ZunRecord(W("Иванов Иван"), 60000),
                testing::ZunRecord(W("Петров Пётр"), 61000),
                testing::ZunRecord(W("Сидоров Сидор"), 62000),
                testing::ZunRecord("", 63000),
                testing::ZunRecord(W("Андреев Андрей"), 59000)};
    ASSERT_OK(testing::BuildCheckedFile(fs_, "/ZUN.DAT", decl_, locale_,
                                        records_, {2}));
  }

  CheckResult Check() {
    CheckResult result;
    EXPECT_OK(CheckDataFile(fs_, "/ZUN.DAT", options_, &result));
    return result;
  }

  void Patch(const std::string& path, uint64_t offset, const std::string& bytes) {
    std::string contents = fs_.Contents(path);
    contents.replace(offset, bytes.size(), bytes);
    fs_.SetContents(path, contents);
  }

  // Appends node 2 to ZUN.K01 as the head of its free chain, linking to
  // itself: a free chain that never ends.
  void AppendSelfLinkedFreeNode() {
    std::string key = fs_.Contents("/ZUN.K01");
    std::string node(512, '\0');
    EncodeFixed32(&node[1], 2);
    key += node;
    EncodeFixed32(&key[8], 2);   // node count
    EncodeFixed32(&key[24], 2);  // free node
    fs_.SetContents("/ZUN.K01", key);
  }

  // Expects exactly one fault of `kind`, in `file` at `offset`.
  void ExpectFault(const CheckResult& result, FaultKind kind,
                   const std::string& file, uint64_t offset) {
    const std::vector<CheckFault> found = result.FaultsOf(kind);
    ASSERT_EQ(found.size(), 1u) << Kinds(result);
    EXPECT_EQ(found[0].file, file) << Kinds(result);
    EXPECT_EQ(found[0].offset, offset) << Kinds(result);
  }

  std::unique_ptr<KeyFile> OpenKey(size_t k, KeyEncoder* encoder) {
    EXPECT_OK(KeyEncoder::Create(decl_, decl_.keys[k], locale_, encoder));
    std::unique_ptr<KeyFile> key;
    KeyOpenParams params;
    params.file.write = true;
    params.ignore_corruptions = true;
    EXPECT_OK(KeyFile::Open(fs_, k == 0 ? "/ZUN.K01" : "/ZUN.K02",
                            encoder->layout(), params, &key));
    return key;
  }

  values::FixedClock clock_;
  values::LocaleTables locale_ = values::DefaultLocale();
  MemFileSystem fs_;
  FileDecl decl_ = testing::ZunDeclaration();
  std::vector<std::string> records_;
  CheckOptions options_;
};

TEST_F(CheckerTest, CleanFileHasNoFaultsAndCountsRecordsAndEntries) {
  BuildZun();
  const CheckResult result = Check();
  EXPECT_TRUE(result.clean()) << Kinds(result);
  EXPECT_EQ(result.data_file, "ZUN.DAT");
  EXPECT_EQ(result.record_slots, 5u);
  EXPECT_EQ(result.live_records, 4u);
  EXPECT_EQ(result.deleted_records, 1u);
  ASSERT_EQ(result.keys.size(), 2u);
  EXPECT_EQ(result.keys[0].file, "ZUN.K01");
  EXPECT_EQ(result.keys[0].entries, 4u);
  EXPECT_EQ(result.keys[1].file, "ZUN.K02");
  EXPECT_EQ(result.keys[1].entries, 3u);  // the blank name has no entry
}

TEST_F(CheckerTest, DetectsOemTextFromTheKeys) {
  // Under the identity tables an OEM key holds the 866 bytes themselves, as
  // an ANSI reading of them would: only a real order tells the two apart.
  locale_ = testing::ShippedLocale();
  options_.locale = &locale_;
  BuildZun();
  const CheckResult detected = Check();
  ASSERT_TRUE(detected.clean()) << Kinds(detected);
  // Read as ANSI, the Cyrillic names encode differently from the entries.
  options_.text = TextCodePage::kAnsi;
  const CheckResult as_ansi = Check();
  EXPECT_EQ(as_ansi.FaultsOf(FaultKind::kKeyEntryValue).size(), 3u)
      << Kinds(as_ansi);
}

TEST_F(CheckerTest, EmptyFileIsClean) {
  ASSERT_OK(testing::BuildCheckedFile(fs_, "/ZUN.DAT", decl_, locale_, {}));
  const CheckResult result = Check();
  EXPECT_TRUE(result.clean()) << Kinds(result);
  EXPECT_EQ(result.live_records, 0u);
}

TEST_F(CheckerTest, MissingDataFileIsStatusTwo) {
  CheckResult result;
  EXPECT_STATUS_CODE(CheckDataFile(fs_, "/ZUN.DAT", options_, &result), 2);
}

TEST_F(CheckerTest, WrongSignatureStopsTheCheck) {
  BuildZun();
  Patch("/ZUN.DAT", 0, "X3");
  const CheckResult result = Check();
  ExpectFault(result, FaultKind::kSignature, "ZUN.DAT", 0);
  EXPECT_EQ(result.faults.size(), 1u) << Kinds(result);
}

TEST_F(CheckerTest, DeletedCountOffByOne) {
  BuildZun();
  Patch("/ZUN.DAT", 9, Le32(2));
  ExpectFault(Check(), FaultKind::kDeletedCount, "ZUN.DAT", 9);
}

TEST_F(CheckerTest, FreeChainLinkToItselfIsACycle) {
  BuildZun();
  Patch("/ZUN.DAT", SlotAt(2) + 1, Le32(2));
  ExpectFault(Check(), FaultKind::kFreeChainCycle, "ZUN.DAT", SlotAt(2) + 1);
}

TEST_F(CheckerTest, FreeChainLinkPastTheEnd) {
  BuildZun();
  Patch("/ZUN.DAT", SlotAt(2) + 1, Le32(99));
  ExpectFault(Check(), FaultKind::kFreeChainLink, "ZUN.DAT", SlotAt(2) + 1);
}

TEST_F(CheckerTest, FreeChainThroughALiveRecordAndADeletionOffTheChain) {
  BuildZun();
  Patch("/ZUN.DAT", 33, Le32(3));  // first free names live record 3
  const CheckResult result = Check();
  ExpectFault(result, FaultKind::kFreeChainLive, "ZUN.DAT", 33);
  ExpectFault(result, FaultKind::kFreeChainLength, "ZUN.DAT", SlotAt(2));
}

TEST_F(CheckerTest, LogicalEofAndBofWrong) {
  BuildZun();
  Patch("/ZUN.DAT", 25, Le32(4));
  Patch("/ZUN.DAT", 29, Le32(2));
  const CheckResult result = Check();
  ExpectFault(result, FaultKind::kLogicalEof, "ZUN.DAT", 25);
  ExpectFault(result, FaultKind::kLogicalBof, "ZUN.DAT", 29);
}

TEST_F(CheckerTest, StatusByteWithUndefinedBits) {
  BuildZun();
  Patch("/ZUN.DAT", SlotAt(1), "\x81");
  ExpectFault(Check(), FaultKind::kSlotStatus, "ZUN.DAT", SlotAt(1));
}

TEST_F(CheckerTest, TruncatedLastSlot) {
  BuildZun();
  std::string bytes = fs_.Contents("/ZUN.DAT");
  bytes.resize(bytes.size() - 3);
  fs_.SetContents("/ZUN.DAT", bytes);
  const CheckResult result = Check();
  ExpectFault(result, FaultKind::kFileTooShort, "ZUN.DAT", SlotAt(6) - 3);
  // The four slots still whole are checked, and counts are not blamed.
  EXPECT_TRUE(result.FaultsOf(FaultKind::kDeletedCount).empty());
}

TEST_F(CheckerTest, BytesAfterTheLastSlotAreANoteNotAFault) {
  // What an interrupted append leaves: part of a slot, or a whole one.
  for (size_t extra : {size_t{10}, size_t{43}, size_t{2 * 43 + 7}}) {
    SCOPED_TRACE(extra);
    BuildZun();
    fs_.SetContents("/ZUN.DAT", fs_.Contents("/ZUN.DAT") + std::string(extra, 'x'));
    const CheckResult result = Check();
    EXPECT_TRUE(result.clean());
    const std::string said = W("незавершённого добавления");
    EXPECT_TRUE(std::any_of(result.notes.begin(), result.notes.end(),
                            [&](const std::string& note) {
                              return note.find(said) != std::string::npos;
                            }));
  }
}

TEST_F(CheckerTest, DataOffsetThatDisagreesWithTheDescriptors) {
  BuildZun();
  Patch("/ZUN.DAT", 21, Le32(kDataOffset + 1));
  const CheckResult result = Check();
  ExpectFault(result, FaultKind::kDataOffset, "ZUN.DAT", 21);
}

TEST_F(CheckerTest, KeyNodeCountByteTooLarge) {
  BuildZun();
  Patch("/ZUN.K01", kNode1, "\xC8");  // 200 > 62 entries per node
  ExpectFault(Check(), FaultKind::kKeyNodeCount, "ZUN.K01", kNode1);
}

TEST_F(CheckerTest, TwoLeafEntriesOutOfOrder) {
  BuildZun();
  const std::string key = fs_.Contents("/ZUN.K01");
  // Entries 1 and 2 (records 1 and 3) change places; the ends stay.
  Patch("/ZUN.K01", LongEntryAt(1, 1), key.substr(LongEntryAt(1, 2), 8));
  Patch("/ZUN.K01", LongEntryAt(1, 2), key.substr(LongEntryAt(1, 1), 8));
  const CheckResult result = Check();
  ExpectFault(result, FaultKind::kKeyLeafChain, "ZUN.K01", kNode1);
  EXPECT_TRUE(result.FaultsOf(FaultKind::kKeyCounts).empty()) << Kinds(result);
}

TEST_F(CheckerTest, SeparatorTooLow) {
  std::vector<std::string> records;
  for (int i = 1; i <= 30; ++i) {
    records.push_back(testing::ZunRecord(
        W("Человек ") + (i < 10 ? "0" : "") + std::to_string(i), 70000 + i));
  }
  ASSERT_OK(testing::BuildCheckedFile(fs_, "/ZUN.DAT", decl_, locale_, records));
  ASSERT_TRUE(Check().clean());
  const std::string key = fs_.Contents("/ZUN.K02");
  const uint32_t root = DecodeFixed32(key.data());
  ASSERT_EQ(DecodeFixed32(key.data() + 33) & 0xFFFF, 2u);  // height 2
  // The first separator becomes lower than the highest name under it.
  Patch("/ZUN.K02", root * 512ull + 13 + 4, std::string(30, '\0'));
  ExpectFault(Check(), FaultKind::kKeySeparator, "ZUN.K02", root * 512ull);
}

TEST_F(CheckerTest, MissingEntryForALiveRecord) {
  BuildZun();
  {
    KeyEncoder encoder;
    std::unique_ptr<KeyFile> key = OpenKey(0, &encoder);
    ASSERT_OK(key->Delete(encoder.MakeEntry(3, records_[2])));
  }
  const CheckResult result = Check();
  ExpectFault(result, FaultKind::kKeyEntryMissing, "ZUN.K01", SlotAt(3));
  EXPECT_EQ(result.faults.size(), 1u) << Kinds(result);
}

TEST_F(CheckerTest, ExtraEntryForADeletedRecord) {
  BuildZun();
  {
    KeyEncoder encoder;
    std::unique_ptr<KeyFile> key = OpenKey(0, &encoder);
    ASSERT_OK(key->Insert(encoder.MakeEntry(2, records_[1])));
  }
  // Record 2's date (61000) sorts between records 1 and 3: entry 2.
  const CheckResult result = Check();
  ExpectFault(result, FaultKind::kKeyEntryExtra, "ZUN.K01", LongEntryAt(1, 2));
  EXPECT_EQ(result.faults.size(), 1u) << Kinds(result);
}

TEST_F(CheckerTest, EntryForABlankNameInAnOptKey) {
  BuildZun();
  {
    KeyEncoder encoder;
    std::unique_ptr<KeyFile> key = OpenKey(1, &encoder);
    ASSERT_OK(key->Insert(encoder.MakeEntry(4, records_[3])));
  }
  EXPECT_EQ(Check().FaultsOf(FaultKind::kKeyEntryExtra).size(), 1u);
}

TEST_F(CheckerTest, EntryValueThatDisagreesWithTheRecord) {
  BuildZun();
  Patch("/ZUN.DAT", SlotAt(3) + 5 + 30, Le32(62001));  // record 3's DATA
  ExpectFault(Check(), FaultKind::kKeyEntryValue, "ZUN.K01", LongEntryAt(1, 2));
}

TEST_F(CheckerTest, MissingKeyFile) {
  BuildZun();
  ASSERT_OK(fs_.Remove("/ZUN.K02"));
  const CheckResult result = Check();
  ExpectFault(result, FaultKind::kKeyFileMissing, "ZUN.K02", 0);
  EXPECT_EQ(result.faults.size(), 1u) << Kinds(result);
}

TEST_F(CheckerTest, KeyHeaderThatDisagreesWithTheDescriptor) {
  BuildZun();
  Patch("/ZUN.K01", 30, "\x02");  // component count 2, the descriptor says 1
  EXPECT_FALSE(Check().FaultsOf(FaultKind::kKeyHeader).empty());
}

TEST_F(CheckerTest, KeyFreeNodeCycleEnds) {
  BuildZun();
  AppendSelfLinkedFreeNode();
  EXPECT_FALSE(Check().FaultsOf(FaultKind::kKeyFreeChain).empty());
}

TEST_F(CheckerTest, TreeFaultsAreRussianThroughout) {
  BuildZun();
  AppendSelfLinkedFreeNode();
  const std::vector<CheckFault> faults = Check().FaultsOf(FaultKind::kKeyFreeChain);
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(values::Cp1251ToUtf8(faults[0].text),
            "испорчена цепочка свободных узлов: узел 2: "
            "цепочка свободных узлов замкнута в цикл");
  // The header's faults as well: entry length and component count.
  BuildZun();
  Patch("/ZUN.K01", 30, "\x02");
  const std::vector<CheckFault> header = Check().FaultsOf(FaultKind::kKeyHeader);
  ASSERT_FALSE(header.empty());
  EXPECT_EQ(values::Cp1251ToUtf8(header[0].text),
            "заголовок ключа не согласуется с описанием ключа или размером "
            "файла: заголовок: составных частей 2, по описанию 1");
}

TEST_F(CheckerTest, FormatsFaultsWithFileAndOffset) {
  const CheckFault fault{FaultKind::kDeletedCount, "ZUN.DAT", 9, W("текст")};
  EXPECT_EQ(values::Cp1251ToUtf8(FormatFault(fault)),
            "ZUN.DAT (смещение 9): текст");
}

// Files with an OWNER: scrambled header and descriptors, ENCRYPTed records,
// a memo file.
class SecretCheckerTest : public CheckerTest {
 protected:
  void BuildSecret() {
    decl_ = testing::SecretDeclaration();
    records_ = {testing::ZunRecord(W("Иванов Иван"), 60000),
                testing::ZunRecord(W("Петров Пётр"), 61000)};
    ASSERT_OK(testing::BuildCheckedFile(fs_, "/ZUN.DAT", decl_, locale_,
                                        records_, {1}));
  }
};

TEST_F(SecretCheckerTest, WithoutTheOwnerOnlyNotes) {
  BuildSecret();
  const CheckResult result = Check();
  EXPECT_TRUE(result.clean()) << Kinds(result);
  ASSERT_EQ(result.notes.size(), 1u);
  EXPECT_NE(values::Cp1251ToUtf8(result.notes[0]).find("OWNER"),
            std::string::npos);
}

TEST_F(SecretCheckerTest, WithTheOwnerChecksEverything) {
  BuildSecret();
  options_.owner = decl_.owner;
  const CheckResult result = Check();
  EXPECT_TRUE(result.clean()) << Kinds(result);
  EXPECT_EQ(result.live_records, 1u);
  ASSERT_EQ(result.keys.size(), 2u);
  EXPECT_EQ(result.keys[0].entries, 1u);
}

TEST_F(SecretCheckerTest, WrongOwnerFailsTheCheckWord) {
  BuildSecret();
  options_.owner = "wrong";
  ExpectFault(Check(), FaultKind::kHeaderCheck, "ZUN.DAT", 83);
}

TEST_F(SecretCheckerTest, MemoLinkBeyondTheMemoFile) {
  BuildSecret();
  options_.owner = decl_.owner;
  DataFileInfo info;
  ASSERT_OK(DescribeDataFile(fs_, "/ZUN.DAT", decl_.owner, &info, nullptr));
  Patch("/ZUN.DAT", info.header.data_offset + info.header.slot_length + 1,
        Le32(7));  // live record 2 names memo block 7 of none
  EXPECT_EQ(Check().FaultsOf(FaultKind::kMemoLink).size(), 1u);
}

TEST_F(SecretCheckerTest, MissingMemoFile) {
  BuildSecret();
  options_.owner = decl_.owner;
  ASSERT_OK(fs_.Remove("/ZUN.MEM"));
  ExpectFault(Check(), FaultKind::kMemoFile, "ZUN.MEM", 0);
}

TEST_F(CheckerTest, DescribeReadsTheDescriptors) {
  BuildZun();
  DataFileInfo info;
  ASSERT_OK(DescribeDataFile(fs_, "/ZUN.DAT", std::nullopt, &info, nullptr));
  EXPECT_EQ(info.header.data_offset, kDataOffset);
  ASSERT_EQ(info.fields.size(), 3u);
  EXPECT_EQ(info.fields[0].name, "ZUN:FIO");
  EXPECT_EQ(info.fields[1].offset, 30u);
  ASSERT_EQ(info.keys.size(), 2u);
  EXPECT_EQ(info.keys[1].name, "ZUN:key2");
  EXPECT_EQ(info.keys[1].key_type, 0x30);  // DUP, NOCASE, OPT
  ASSERT_EQ(info.key_files.size(), 2u);
  EXPECT_TRUE(info.key_files[0].present);
  EXPECT_EQ(info.key_files[0].header.entry_count, 4u);
}

}  // namespace
}  // namespace zuna::datfile
