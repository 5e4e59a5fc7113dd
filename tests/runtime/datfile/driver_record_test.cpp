// ADD, PUT, DELETE, GET by number and key, key maintenance, memo, OEM text,
// IGNORESTATUS, switches and holds on one station.
#include <string>

#include "tests/runtime/datfile/dat_test_util.h"
#include "tests/runtime/datfile/driver_test_util.h"

namespace zuna::datfile::driver_test {
namespace {

using DriverRecordTest = DriverFixture;

TEST_F(DriverRecordTest, AddGetPutDeleteRoundTripWithBothKeys) {
  auto zun = OpenNewZun();
  ASSERT_EQ(AddZun(*zun, "Petrov", 300, 7), 0);
  EXPECT_EQ(POINTER(*zun), 1u);
  ASSERT_EQ(AddZun(*zun, "Abramov", 200), 0);
  ASSERT_EQ(AddZun(*zun, "Sidorov", 100), 0);
  EXPECT_EQ(RECORDS(*zun), 3u);
  EXPECT_EQ(RECORDS(*zun, kByDate), 3u);
  EXPECT_EQ(RECORDS(*zun, kByName), 3u);

  ASSERT_EQ(GET(*zun, 1u), 0);
  EXPECT_EQ(ZunFio(*zun), "Petrov");
  EXPECT_EQ(ZunLong(*zun, 34), 7);

  SetZun(*zun, "", 200);
  ASSERT_EQ(GET(*zun, kByDate), 0);
  EXPECT_EQ(ZunFio(*zun), "Abramov");
  SetZun(*zun, "SIDOROV", 0);  // NOCASE
  ASSERT_EQ(GET(*zun, kByName), 0);
  EXPECT_EQ(POINTER(*zun), 3u);

  // PUT changes the date: the date key moves, the name key stays.
  SetZun(*zun, "Sidorov", 400);
  ASSERT_EQ(PUT(*zun), 0);
  EXPECT_EQ(WalkKey(*zun, kByDate), (std::vector<uint32_t>{2, 1, 3}));
  EXPECT_EQ(WalkKey(*zun, kByName), (std::vector<uint32_t>{2, 1, 3}));

  ASSERT_EQ(GET(*zun, 1u), 0);
  ASSERT_EQ(DELETE(*zun), 0);
  EXPECT_EQ(POINTER(*zun), 0u);  // no current record after DELETE
  EXPECT_EQ(RECORDS(*zun), 2u);
  EXPECT_EQ(RECORDS(*zun, kByName), 2u);
  EXPECT_EQ(GET(*zun, 1u), 35);
  SetZun(*zun, "Petrov", 0);
  EXPECT_EQ(GET(*zun, kByName), 35);

  ASSERT_EQ(CLOSE(*zun), 0);
  ASSERT_EQ(OPEN(*zun), 0);  // the key counts agree with RECORDS on disk
  EXPECT_EQ(WalkKey(*zun, kByDate), (std::vector<uint32_t>{2, 3}));
}

TEST_F(DriverRecordTest, WriteErrors) {
  auto zun = OpenNewZun();
  EXPECT_EQ(PUT(*zun), 33);
  EXPECT_EQ(DELETE(*zun), 33);
  EXPECT_EQ(GET(*zun, 1u), 35);  // no records at all
  ASSERT_EQ(AddZun(*zun, "Petrov", 300), 0);
  EXPECT_EQ(GET(*zun, 0u), 35);
  EXPECT_EQ(GET(*zun, 2u), 35);
  EXPECT_EQ(GET(*zun, kByDate, 2u), 35);
  ASSERT_EQ(GET(*zun, kByDate, 1u), 0);
  EXPECT_EQ(GET(*zun, Key{7}), 47);
}

TEST_F(DriverRecordTest, BlankValuesStayOutOfOptKeys) {
  auto zun = OpenNewZun();
  ASSERT_EQ(AddZun(*zun, "", 0), 0);
  ASSERT_EQ(AddZun(*zun, "Named", 0), 0);
  EXPECT_EQ(RECORDS(*zun), 2u);
  EXPECT_EQ(RECORDS(*zun, kByDate), 0u);
  EXPECT_EQ(RECORDS(*zun, kByName), 1u);
  ASSERT_EQ(GET(*zun, 1u), 0);
  EXPECT_EQ(POSITION(*zun, kByName), "");
  SetZun(*zun, "Later", 5);  // leaves the blank state: entries are made
  ASSERT_EQ(PUT(*zun), 0);
  EXPECT_EQ(RECORDS(*zun, kByDate), 1u);
  EXPECT_EQ(WalkKey(*zun, kByName), (std::vector<uint32_t>{1, 2}));
  ASSERT_EQ(CLOSE(*zun), 0);
  EXPECT_EQ(OPEN(*zun), 0);
}

TEST_F(DriverRecordTest, DuplicateInAKeyWithoutDupIs40AndWritesNothing) {
  DatFileInstance mem(testing::MemoDeclaration(), fs_);
  mem.set_name("/MEM");
  ASSERT_EQ(CREATE(mem), 0);
  ASSERT_EQ(OPEN(mem), 0);
  auto set = [&](std::string_view name) {
    std::string record(testing::kMemoRecordLength, '\0');
    std::fill_n(record.begin(), 20, ' ');
    std::copy(name.begin(), name.end(), record.begin());
    std::copy(record.begin(), record.end(), mem.record().begin());
  };
  set("Anna");
  ASSERT_EQ(ADD(mem), 0);
  set("Boris");
  ASSERT_EQ(ADD(mem), 0);
  const std::string dat = fs_.Contents("/MEM.DAT");
  set("ANNA");  // NOCASE: the same value
  EXPECT_TRUE(DUPLICATE(mem));
  EXPECT_EQ(ADD(mem), 40);
  EXPECT_EQ(fs_.Contents("/MEM.DAT"), dat);
  ASSERT_EQ(GET(mem, 2u), 0);
  EXPECT_FALSE(DUPLICATE(mem));  // its own value is no duplicate
  set("anna");
  EXPECT_EQ(PUT(mem), 40);
  EXPECT_EQ(fs_.Contents("/MEM.DAT"), dat);
  set("Boris");
  EXPECT_EQ(PUT(mem), 0);  // unchanged key: no check, no entry moved
}

TEST_F(DriverRecordTest, ReclaimReusesTheLastDeletedSlot) {
  auto zun = OpenNewZun();
  for (int i = 1; i <= 4; ++i) ASSERT_EQ(AddZun(*zun, "P" + std::to_string(i), i), 0);
  ASSERT_EQ(GET(*zun, 2u), 0);
  ASSERT_EQ(DELETE(*zun), 0);
  ASSERT_EQ(GET(*zun, 3u), 0);
  ASSERT_EQ(DELETE(*zun), 0);
  ASSERT_EQ(AddZun(*zun, "New", 9), 0);
  EXPECT_EQ(POINTER(*zun), 3u);
  ASSERT_EQ(AddZun(*zun, "Newer", 10), 0);
  EXPECT_EQ(POINTER(*zun), 2u);
  ASSERT_EQ(AddZun(*zun, "Newest", 11), 0);
  EXPECT_EQ(POINTER(*zun), 5u);
  EXPECT_EQ(fs_.Contents("/ZUN.DAT").size(), kZunDataOffset + 5 * kZunSlotLength);
}

TEST_F(DriverRecordTest, OemFileStoresNamesIn866AndLeavesLongBytesAlone) {
  auto zun = OpenNewZun();
  // "Иванов" in 1251; DATA 0x0001A8C0 has bytes above 0x7F.
  const std::string ivanov_1251 = testing::Hex("c8 e2 e0 ed ee e2");
  ASSERT_EQ(AddZun(*zun, ivanov_1251, 0x0001A8C0, -1), 0);
  const std::string slot = fs_.Contents("/ZUN.DAT").substr(kZunDataOffset, kZunSlotLength);
  EXPECT_EQ(testing::ToHex(slot.substr(0, 5)), "01 00 00 00 00");
  EXPECT_EQ(testing::ToHex(slot.substr(5, 6)), "88 a2 a0 ad ae a2");
  EXPECT_EQ(slot.substr(11, 24), std::string(24, ' '));
  EXPECT_EQ(testing::ToHex(slot.substr(35, 8)), "c0 a8 01 00 ff ff ff ff");
  SetZun(*zun, "", 0);
  ASSERT_EQ(GET(*zun, 1u), 0);
  EXPECT_EQ(ZunFio(*zun), ivanov_1251);
  EXPECT_EQ(ZunData(*zun), 0x0001A8C0);
}

TEST_F(DriverRecordTest, NomemoReadThenPutLeavesTheMemoFileUntouched) {
  DatFileInstance mem(testing::MemoDeclaration(), fs_);
  mem.set_name("/MEM");
  ASSERT_EQ(CREATE(mem), 0);
  ASSERT_EQ(OPEN(mem), 0);
  std::string record(testing::kMemoRecordLength, '\0');
  std::fill_n(record.begin(), 20, ' ');
  record.replace(0, 4, "Anna");
  std::copy(record.begin(), record.end(), mem.record().begin());
  const std::string note = "remember the flowers";
  std::copy(note.begin(), note.end(), mem.memo().begin());
  ASSERT_EQ(ADD(mem), 0);
  const std::string memo_bytes = fs_.Contents("/MEM.MEM");
  EXPECT_EQ(memo_bytes.size(), 6u + 256u);

  fs_.ResetCounters();
  ASSERT_EQ(NOMEMO(mem), 0);
  ASSERT_EQ(GET(mem, 1u), 0);
  std::fill(mem.memo().begin(), mem.memo().end(), ' ');  // not the record's memo
  mem.record()[20] = 5;
  ASSERT_EQ(PUT(mem), 0);
  EXPECT_EQ(fs_.Counters("/MEM.MEM").writes, 0u);
  EXPECT_EQ(fs_.Contents("/MEM.MEM"), memo_bytes);

  // A normal read gets the memo; an unchanged memo is not rewritten.
  ASSERT_EQ(GET(mem, 1u), 0);
  EXPECT_EQ(std::string(mem.memo().begin(), mem.memo().begin() + note.size()), note);
  fs_.ResetCounters();
  ASSERT_EQ(PUT(mem), 0);
  EXPECT_EQ(fs_.Counters("/MEM.MEM").writes, 0u);
}

TEST_F(DriverRecordTest, IgnoreStatusReadsDeletedRecordsAndPutUndeletes) {
  auto zun = OpenNewZun();
  ASSERT_EQ(AddZun(*zun, "Gone", 10), 0);
  ASSERT_EQ(AddZun(*zun, "Kept", 20), 0);
  ASSERT_EQ(GET(*zun, 1u), 0);
  ASSERT_EQ(DELETE(*zun), 0);
  EXPECT_EQ(SEND(*zun, "DELETED"), "OFF");
  EXPECT_EQ(SEND(*zun, "ignorestat=on"), "ON");  // prefix, any case
  EXPECT_EQ(SEND(*zun, "DELETED"), "");
  EXPECT_EQ(values::ERRORCODE(), 33);  // no current record
  ASSERT_EQ(GET(*zun, 1u), 0);
  EXPECT_EQ(ZunFio(*zun), "Gone");
  EXPECT_EQ(SEND(*zun, "DELETED"), "ON");
  EXPECT_EQ(SEND(*zun, "HELD"), "OFF");
  EXPECT_EQ(DELETE(*zun), 33);  // a deleted slot never enters the chain twice
  ASSERT_EQ(PUT(*zun), 0);      // undeletes
  EXPECT_EQ(SEND(*zun, "IGNORESTATUS=OFF"), "OFF");
  EXPECT_EQ(RECORDS(*zun), 2u);
  EXPECT_EQ(WalkKey(*zun, kByDate), (std::vector<uint32_t>{1, 2}));
  ASSERT_EQ(AddZun(*zun, "Third", 30), 0);
  EXPECT_EQ(POINTER(*zun), 3u);  // the free chain is empty again
  ASSERT_EQ(CLOSE(*zun), 0);
  EXPECT_EQ(OPEN(*zun), 0);
}

TEST_F(DriverRecordTest, IgnoreStatusNeedsExclusiveAccess) {
  auto zun = NewZun();
  ASSERT_EQ(CREATE(*zun), 0);
  ASSERT_EQ(SHARE(*zun), 0);
  EXPECT_EQ(SEND(*zun, "IGNORESTATUS=ON"), "");
  EXPECT_EQ(values::ERRORCODE(), 63);
  EXPECT_EQ(SEND(*zun, "IGNORESTATUS"), "OFF");
}

TEST_F(DriverRecordTest, SwitchesFromTheDriverString) {
  FileDecl decl = testing::ZunDeclaration();
  decl.driver_options = "/RECOVER=10 /maintainheader=on /IgnoreCorruptions";
  DatFileInstance zun(decl, fs_);
  zun.set_name("/ZUN");
  EXPECT_EQ(SEND(zun, "RECOVER"), "10");
  EXPECT_EQ(SEND(zun, "MAINTAINHEADERTIME"), "ON");
  EXPECT_EQ(SEND(zun, "IGNORECORRUPTIONS"), "ON");
  EXPECT_EQ(SEND(zun, "IGNORECORRUPTIONS=yes"), "OFF");  // only ON turns it on
  EXPECT_EQ(SEND(zun, "NOSUCHSWITCH"), "");
}

TEST_F(DriverRecordTest, MaintainHeaderTimeStampsEveryPut) {
  auto zun = OpenNewZun();
  ASSERT_EQ(AddZun(*zun, "Anna", 1), 0);
  const std::string header = fs_.Contents("/ZUN.DAT").substr(0, 85);
  clock_ = values::FixedClock({2010, 1, 2, 100});
  ASSERT_EQ(PUT(*zun), 0);  // no key changed: header untouched
  EXPECT_EQ(fs_.Contents("/ZUN.DAT").substr(0, 85), header);
  EXPECT_EQ(SEND(*zun, "MAINTAINHEADERTIME=ON"), "ON");
  ASSERT_EQ(PUT(*zun), 0);
  EXPECT_NE(fs_.Contents("/ZUN.DAT").substr(75, 8), header.substr(75, 8));
}

TEST_F(DriverRecordTest, HoldSetsTheHeldBitUntilReleaseOrTheNextRead) {
  auto zun = OpenNewZun();
  ASSERT_EQ(AddZun(*zun, "Anna", 1), 0);
  ASSERT_EQ(AddZun(*zun, "Boris", 2), 0);
  auto status_byte = [&](uint64_t record_no) {
    return static_cast<uint8_t>(
        fs_.Contents("/ZUN.DAT")[kZunDataOffset + (record_no - 1) * kZunSlotLength]);
  };
  ASSERT_EQ(HOLD(*zun), 0);
  ASSERT_EQ(GET(*zun, 1u), 0);
  EXPECT_EQ(status_byte(1), 0x41);
  ASSERT_EQ(GET(*zun, 2u), 0);  // the next read releases
  EXPECT_EQ(status_byte(1), 0x01);
  ASSERT_EQ(HOLD(*zun, 2), 0);
  ASSERT_EQ(GET(*zun, 2u), 0);
  EXPECT_EQ(status_byte(2), 0x41);
  ASSERT_EQ(PUT(*zun), 0);  // a write releases too
  EXPECT_EQ(status_byte(2), 0x05);
  ASSERT_EQ(HOLD(*zun), 0);
  ASSERT_EQ(GET(*zun, 1u), 0);
  ASSERT_EQ(RELEASE(*zun), 0);
  EXPECT_EQ(status_byte(1), 0x01);
  ASSERT_EQ(HOLD(*zun), 0);
  ASSERT_EQ(GET(*zun, 1u), 0);
  ASSERT_EQ(CLOSE(*zun), 0);
  EXPECT_EQ(status_byte(1), 0x01);
  EXPECT_EQ(WATCH(*zun), 37);
}

TEST_F(DriverRecordTest, PutFilePtrWritesTheBufferOverTheGivenRecord) {
  auto zun = OpenNewZun();
  ASSERT_EQ(AddZun(*zun, "Anna", 1, 11), 0);
  ASSERT_EQ(AddZun(*zun, "Boris", 2, 22), 0);
  SetZun(*zun, "Vera", 3, 33);
  ASSERT_EQ(PUT(*zun, 1u, 30u), 0);  // only the name
  ASSERT_EQ(GET(*zun, 1u), 0);
  EXPECT_EQ(ZunFio(*zun), "Vera");
  EXPECT_EQ(ZunData(*zun), 1);
  SetZun(*zun, "Gleb", 4);
  EXPECT_EQ(PUT(*zun, 9u), 35);
  EXPECT_EQ(ZunFio(*zun), "Gleb");  // the caller's buffer is kept
  EXPECT_EQ(POINTER(*zun), 1u);     // and the previous record is current
}

TEST_F(DriverRecordTest, StatementsPostTheirOutcomeOnce) {
  auto zun = OpenNewZun();
  EXPECT_EQ(GET(*zun, 5u), 35);
  EXPECT_EQ(values::ERRORCODE(), 35);
  EXPECT_EQ(AddZun(*zun, "Anna", 1), 0);
  EXPECT_EQ(values::ERRORCODE(), 0);
}

}  // namespace
}  // namespace zuna::datfile::driver_test

namespace zuna::datfile::driver_test {
namespace {

// Records what it hears, and runs a statement of its own in between, as a
// file manager's hooks may.
class RecordingObserver final : public StatementObserver {
 public:
  void Before(DatFileInstance&, Op op) override { heard.push_back({op, -1}); }
  void After(DatFileInstance& file, Op op, int32_t error) override {
    heard.push_back({op, error});
    if (op == Op::GetFilePtr) (void)RECORDS(file);  // succeeds, clears
  }
  std::vector<std::pair<Op, int32_t>> heard;
};

TEST_F(DriverRecordTest, TheStatementObserverHearsEveryStatementAndItsOutcome) {
  RecordingObserver observer;
  StatementObserver* previous = SetStatementObserver(&observer);
  {
    auto zun = OpenNewZun();
    ASSERT_EQ(AddZun(*zun, "Petrov", 300), 0);
    // The observer's own statement does not hide the failure.
    EXPECT_EQ(GET(*zun, 9u), 35);
    EXPECT_EQ(values::ERRORCODE(), 35);
    const std::vector<std::pair<Op, int32_t>> get_heard(
        observer.heard.end() - 4, observer.heard.end());
    EXPECT_EQ(get_heard, (std::vector<std::pair<Op, int32_t>>{
                             {Op::GetFilePtr, -1}, {Op::GetFilePtr, 35},
                             {Op::RecordsFile, -1}, {Op::RecordsFile, 0}}));
    observer.heard.clear();
  }  // destroyed while open
  SetStatementObserver(previous);
  EXPECT_EQ(observer.heard,
            (std::vector<std::pair<Op, int32_t>>{{Op::Destroy, -1},
                                                 {Op::Destroy, 0}}));
}

}  // namespace
}  // namespace zuna::datfile::driver_test
