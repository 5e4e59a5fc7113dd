// Two stations on one file, inside one process: each DatFileInstance opens
// its own files, so their locks and share modes exclude each other as two
// processes' would (the in-memory file system keeps that rule too).  Real
// processes are in tests/stations/.
#include <chrono>
#include <stdexcept>
#include <thread>

#include "runtime/datfile/checker.h"
#include "runtime/datfile/dat_format.h"
#include "tests/runtime/datfile/driver_test_util.h"
#include "tests/support/fault_fs.h"

namespace zuna::datfile::driver_test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kShared = kAccessReadWrite | kShareDenyNone;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class DriverSharingTest : public DriverFixture {
 protected:
  void SetUp() override { CreateThreePeople(); }

  std::unique_ptr<DatFileInstance> Station(uint32_t mode = kShared) {
    auto zun = NewZun();
    EXPECT_EQ(OPEN(*zun, mode), 0);
    return zun;
  }

  uint16_t DiskAttributes() {
    const std::string bytes = fs_.Contents("/ZUN.DAT");
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[2]) |
                                 static_cast<uint8_t>(bytes[3]) << 8);
  }

  uint8_t DiskStatus(uint32_t record_no) {
    return static_cast<uint8_t>(
        fs_.Contents("/ZUN.DAT")[kZunDataOffset + (record_no - 1) * kZunSlotLength]);
  }

  // What a station that died leaves behind: a flag or a held bit on disk
  // and no process to clear it.
  void SetDiskAttributes(uint16_t attributes) {
    std::string bytes = fs_.Contents("/ZUN.DAT");
    bytes[2] = static_cast<char>(attributes & 0xFF);
    bytes[3] = static_cast<char>(attributes >> 8);
    fs_.SetContents("/ZUN.DAT", bytes);
  }
  void SetDiskStatus(uint32_t record_no, uint8_t status) {
    std::string bytes = fs_.Contents("/ZUN.DAT");
    bytes[kZunDataOffset + (record_no - 1) * kZunSlotLength] = static_cast<char>(status);
    fs_.SetContents("/ZUN.DAT", bytes);
  }
};

TEST_F(DriverSharingTest, ReadOnlyAccessRefusesEveryWriteAndTouchesNothing) {
  const std::string before = fs_.Contents("/ZUN.DAT");
  auto zun = Station(kAccessReadOnly | kShareDenyNone);
  EXPECT_EQ(AddZun(*zun, "Newcomer", 1), 5);
  ASSERT_EQ(GET(*zun, 2u), 0);
  EXPECT_EQ(PutZun(*zun, "Changed", 2), 5);
  EXPECT_EQ(DELETE(*zun), 5);
  EXPECT_EQ(CLOSE(*zun), 0);
  EXPECT_EQ(fs_.Contents("/ZUN.DAT"), before);
}

TEST_F(DriverSharingTest, ShareModesRefuseConflictingOpens) {
  auto a = Station(kAccessReadWrite | kShareDenyWrite);
  auto b = NewZun();
  EXPECT_EQ(OPEN(*b, kShared), 5);
  EXPECT_EQ(OPEN(*b, kAccessReadOnly | kShareDenyNone), 0);
  EXPECT_EQ(CLOSE(*b), 0);
  EXPECT_EQ(CLOSE(*a), 0);
  a = Station(kAccessReadWrite | kShareDenyAll);
  EXPECT_EQ(OPEN(*b, kAccessReadOnly | kShareDenyNone), 5);
  EXPECT_EQ(CLOSE(*a), 0);
  a = Station();
  EXPECT_EQ(OPEN(*b, kShared), 0);
}

TEST_F(DriverSharingTest, LockFlagRefusesOtherStationsUntilUnlock) {
  auto a = Station();
  auto b = Station();
  ASSERT_EQ(LOCK(*a), 0);
  EXPECT_EQ(DiskAttributes() & dat::kAttrLocked, dat::kAttrLocked);
  EXPECT_EQ(AddZun(*b, "Blocked", 1), 32);
  auto c = NewZun();
  EXPECT_EQ(OPEN(*c, kShared), 5);
  // The station holding LOCK goes on working.
  EXPECT_EQ(AddZun(*a, "Locker", 2), 0);
  ASSERT_EQ(UNLOCK(*a), 0);
  EXPECT_EQ(DiskAttributes() & dat::kAttrLocked, 0);
  EXPECT_EQ(AddZun(*b, "Unblocked", 3), 0);
  EXPECT_EQ(OPEN(*c, kShared), 0);
  EXPECT_EQ(RECORDS(*c), 5u);
}

TEST_F(DriverSharingTest, CloseGivesUpTheLock) {
  auto a = Station();
  auto b = Station();
  ASSERT_EQ(LOCK(*a), 0);
  ASSERT_EQ(CLOSE(*a), 0);
  EXPECT_EQ(AddZun(*b, "After", 1), 0);
}

TEST_F(DriverSharingTest, HeldRecordIsReadableButNotWritableByOthers) {
  auto a = Station();
  auto b = Station();
  ASSERT_EQ(HOLD(*a), 0);
  ASSERT_EQ(GET(*a, 2u), 0);
  EXPECT_NE(DiskStatus(2) & dat::kStatusHeld, 0);
  ASSERT_EQ(GET(*b, 2u), 0);
  EXPECT_EQ(ZunFio(*b), "Petrov");
  EXPECT_EQ(PutZun(*b, "Changed", 2), 5);
  EXPECT_EQ(DELETE(*b), 5);
  ASSERT_EQ(HOLD(*b, 1), 0);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(GET(*b, 2u), 43);
  EXPECT_GE(SecondsSince(start), 0.9);
  ASSERT_EQ(RELEASE(*a), 0);
  EXPECT_EQ(DiskStatus(2) & dat::kStatusHeld, 0);
  ASSERT_EQ(GET(*b, 2u), 0);
  EXPECT_EQ(PutZun(*b, "Changed", 2), 0);
}

TEST_F(DriverSharingTest, WatchSeesAnotherStationsChange) {
  auto a = Station();
  auto b = Station();
  ASSERT_EQ(WATCH(*b), 0);
  ASSERT_EQ(GET(*b, 1u), 0);
  ASSERT_EQ(GET(*a, 1u), 0);
  ASSERT_EQ(PutZun(*a, "Ivanova", 100), 0);
  EXPECT_EQ(PutZun(*b, "Ivanov Jr", 100), 89);
  // Read again, the change goes through.
  ASSERT_EQ(WATCH(*b), 0);
  ASSERT_EQ(GET(*b, 1u), 0);
  EXPECT_EQ(PutZun(*b, "Ivanov Jr", 100), 0);
}

// A watch covers one read: the record read again without WATCH is the
// station's new starting point, and its change goes through.
TEST_F(DriverSharingTest, AReadWithoutWatchEndsTheWatch) {
  auto a = Station();
  auto b = Station();
  ASSERT_EQ(WATCH(*b), 0);
  ASSERT_EQ(GET(*b, 1u), 0);
  ASSERT_EQ(GET(*a, 1u), 0);
  ASSERT_EQ(PutZun(*a, "Ivanova", 100), 0);
  ASSERT_EQ(GET(*b, 1u), 0);
  EXPECT_EQ(ZunFio(*b), "Ivanova");
  EXPECT_EQ(PutZun(*b, "Ivanova-Petrova", 100), 0);
}

TEST_F(DriverSharingTest, WatchKeepsADeleteFromTakingAChangedRecord) {
  auto a = Station();
  auto b = Station();
  ASSERT_EQ(WATCH(*b), 0);
  ASSERT_EQ(GET(*b, 1u), 0);
  ASSERT_EQ(GET(*a, 1u), 0);
  ASSERT_EQ(PutZun(*a, "Ivanova", 100), 0);
  EXPECT_EQ(DELETE(*b), 89);
  ASSERT_EQ(GET(*a, 1u), 0);  // still there, as a changed it
  EXPECT_EQ(ZunFio(*a), "Ivanova");
  // Read again, the delete goes through.
  ASSERT_EQ(WATCH(*b), 0);
  ASSERT_EQ(GET(*b, 1u), 0);
  EXPECT_EQ(DELETE(*b), 0);
  EXPECT_EQ(GET(*a, 1u), 35);
}

// Without WATCH a station may change a record another one has changed
// since its read; the key entries it takes out must be the ones the
// record has now, or stale ones would stay behind.
TEST_F(DriverSharingTest, WritesAfterAnotherStationsPutReplaceTheKeysItMade) {
  auto a = Station();
  auto b = Station();
  ASSERT_EQ(GET(*a, 1u), 0);
  ASSERT_EQ(GET(*a, 2u), 0);
  ASSERT_EQ(GET(*b, 1u), 0);
  ASSERT_EQ(PutZun(*b, "Ivanova", 101), 0);
  ASSERT_EQ(GET(*b, 2u), 0);
  ASSERT_EQ(PutZun(*b, "Petrova", 201), 0);
  // a still holds record 2 as "Petrov": it deletes "Petrova".
  EXPECT_EQ(DELETE(*a), 0);
  ASSERT_EQ(GET(*a, 1u), 0);
  ASSERT_EQ(GET(*b, 1u), 0);
  ASSERT_EQ(PutZun(*b, "Ivanovskaya", 102), 0);
  EXPECT_EQ(PutZun(*a, "Ivanov", 100), 0);
  ASSERT_EQ(CLOSE(*a), 0);
  ASSERT_EQ(CLOSE(*b), 0);
  CheckResult result;
  ASSERT_TRUE(CheckDataFile(fs_, "/ZUN.DAT", CheckOptions{}, &result).ok());
  for (const CheckFault& fault : result.faults) ADD_FAILURE() << FormatFault(fault);
  auto zun = Station();
  EXPECT_EQ(WalkKey(*zun, kByName), (std::vector<uint32_t>{1, 3}));
  EXPECT_EQ(WalkKey(*zun, kByDate), (std::vector<uint32_t>{1, 3}));
}

TEST_F(DriverSharingTest, IgnoreStatusNeedsTheFileAlone) {
  auto a = Station();
  EXPECT_EQ(SEND(*a, "IGNORESTATUS=ON"), "");
  EXPECT_EQ(values::ERRORCODE(), 63);
}

TEST_F(DriverSharingTest, AppendsUnderStreamTakeDifferentSlots) {
  auto a = Station();
  auto b = Station();
  ASSERT_EQ(STREAM(*a), 0);
  ASSERT_EQ(STREAM(*b), 0);
  SetZun(*a, "FromA", 1);
  ASSERT_EQ(APPEND(*a), 0);
  SetZun(*b, "FromB", 2);
  ASSERT_EQ(APPEND(*b), 0);
  EXPECT_EQ(POINTER(*a), 4u);
  EXPECT_EQ(POINTER(*b), 5u);
  ASSERT_EQ(FLUSH(*a), 0);
  ASSERT_EQ(FLUSH(*b), 0);
  EXPECT_EQ(RECORDS(*a), 5u);
}

TEST_F(DriverSharingTest, KeyOrderStepsFindTheirPlaceAfterOtherStationsChanges) {
  auto a = Station();
  auto b = Station();
  ASSERT_EQ(SET(*a, kByName), 0);
  ASSERT_EQ(NEXT(*a), 0);
  EXPECT_EQ(ZunFio(*a), "Ivanov");
  ASSERT_EQ(AddZun(*b, "Kuznetsov", 5), 0);  // between Ivanov and Petrov
  ASSERT_EQ(GET(*b, 2u), 0);
  ASSERT_EQ(DELETE(*b), 0);  // Petrov
  ASSERT_EQ(NEXT(*a), 0);
  EXPECT_EQ(ZunFio(*a), "Kuznetsov");
  ASSERT_EQ(NEXT(*a), 0);
  EXPECT_EQ(ZunFio(*a), "Sidorov");
  EXPECT_EQ(NEXT(*a), 33);
}

TEST_F(DriverSharingTest, AbandonedLockFlagStopsEveryoneWithoutRecover) {
  SetDiskAttributes(DiskAttributes() | dat::kAttrLocked);
  auto b = NewZun();
  EXPECT_EQ(OPEN(*b, kShared), 5);
}

TEST_F(DriverSharingTest, RecoverBreaksAnAbandonedLockFlag) {
  auto b = Station();
  SetDiskAttributes(DiskAttributes() | dat::kAttrLocked);
  EXPECT_EQ(AddZun(*b, "Waiting", 1), 32);
  EXPECT_EQ(SEND(*b, "RECOVER=1"), "1");
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(AddZun(*b, "Recovered", 1), 0);
  EXPECT_GE(SecondsSince(start), 0.9);
  EXPECT_EQ(DiskAttributes() & dat::kAttrLocked, 0);
}

TEST_F(DriverSharingTest, RecoverBreaksAnAbandonedHold) {
  auto b = Station();
  SetDiskStatus(3, static_cast<uint8_t>(DiskStatus(3) | dat::kStatusHeld));
  ASSERT_EQ(HOLD(*b, 1), 0);
  EXPECT_EQ(GET(*b, 3u), 43);
  EXPECT_EQ(SEND(*b, "RECOVER=1"), "1");
  ASSERT_EQ(HOLD(*b, 5), 0);
  const Clock::time_point start = Clock::now();
  ASSERT_EQ(GET(*b, 3u), 0);
  EXPECT_GE(SecondsSince(start), 0.9);
  EXPECT_LT(SecondsSince(start), 4.0);
  // Now held by b.
  EXPECT_NE(DiskStatus(3) & dat::kStatusHeld, 0);
  ASSERT_EQ(RELEASE(*b), 0);
  EXPECT_EQ(DiskStatus(3) & dat::kStatusHeld, 0);
}

TEST_F(DriverSharingTest, WholeFileWorkWaitsUntilNoOtherStationHasTheFile) {
  auto a = Station();
  auto b = NewZun();
  EXPECT_EQ(REMOVE(*b), 5);
  EXPECT_EQ(RENAME(*b, "/OTHER"), 5);
  EXPECT_EQ(BUILD(*b), 5);
  EXPECT_EQ(PACK(*b), 5);
  ASSERT_EQ(OPEN(*b, kShared), 0);
  EXPECT_EQ(EMPTY(*b), 5);
  EXPECT_EQ(PACK(*b), 5);
  EXPECT_EQ(RECORDS(*a), 3u);  // nothing was touched
  ASSERT_EQ(CLOSE(*a), 0);
  EXPECT_EQ(EMPTY(*b), 0);
  ASSERT_EQ(CLOSE(*b), 0);
  EXPECT_EQ(RENAME(*b, "/OTHER"), 0);
  EXPECT_TRUE(fs_.Exists("/OTHER.DAT"));
}

// Another station's transaction, here another thread's (this thread's own
// is never waited for): without a limit it is waited out; with one, an
// operation gives up with 56 once the limit has passed, naming the log.
TEST_F(DriverSharingTest, AWaitForAnotherStationsTransactionCanBeBounded) {
  auto importer = Station();
  auto other = Station();  // opened first: an open would wait as well
  std::thread([&] {
    ASSERT_EQ(LOGOUT(*importer), 0);
    ASSERT_EQ(AddZun(*importer, "Import", 60000), 0);  // its log is held now
  }).join();
  SetTransactionWaitLimit(std::chrono::milliseconds(0));
  EXPECT_EQ(AddZun(*other, "Other", 60001), Err::kLogoutActive);
  EXPECT_NE(values::FILEERROR().find("/ZUN.LOG"), std::string::npos)
      << values::FILEERROR();
  SetTransactionWaitLimit(std::chrono::milliseconds(50));
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(RECORDS(*other), 0u);
  EXPECT_EQ(values::ERRORCODE(), Err::kLogoutActive);
  EXPECT_GE(SecondsSince(start), 0.05);
  // Without a limit, the wait lasts until the transaction ends.
  SetTransactionWaitLimit(std::chrono::milliseconds(-1));
  std::thread waiter([&] { EXPECT_EQ(AddZun(*other, "Other", 60001), 0); });
  ASSERT_EQ(COMMIT(*importer), 0);
  waiter.join();
  EXPECT_EQ(RECORDS(*other), 5u);
  ASSERT_EQ(CLOSE(*importer), 0);
  ASSERT_EQ(CLOSE(*other), 0);
}

struct LockingStopped : std::runtime_error {
  LockingStopped() : std::runtime_error("stopped") {}
};

TEST_F(DriverSharingTest, ABrokenLockSystemStopsTheProgram) {
  testing::FaultFileSystem faulty(fs_);
  DatFileInstance zun(testing::ZunDeclaration(), faulty);
  zun.set_name("/ZUN");
  ASSERT_EQ(OPEN(zun, kShared), 0);
  faulty.FailNth(testing::FaultKind::kLock, 1, testing::FaultMode::kTransient, 6);
  static std::string seen;
  SetFatalHandler([](std::string_view text, const Status&) {
    seen = std::string(text);
    throw LockingStopped();
  });
  EXPECT_THROW((void)GET(zun, 1u), LockingStopped);
  SetFatalHandler(nullptr);
  EXPECT_EQ(seen, "DOS FILE LOCKING ERROR");
}

}  // namespace
}  // namespace zuna::datfile::driver_test
