// I/O faults in the middle of ADD, PUT and DELETE.  For each of the data
// file and the two key files, and for N = 1, 2, ..., the Nth write (or
// sync) of that file fails once; the operation must either succeed or fail
// with a runtime error number, and afterwards the files on disk must pass
// the checker and hold the state after a success, the state before a
// failed write, and either after a failed sync.  The loop stops at the
// first N that never fires.
#include <map>

#include "runtime/datfile/checker.h"
#include "tests/runtime/datfile/driver_test_util.h"
#include "tests/support/fault_fs.h"

namespace zuna::datfile::driver_test {
namespace {

using zuna::testing::FaultFileSystem;
using zuna::testing::FaultKind;
using zuna::testing::FaultMode;

constexpr const char* kBaselineFiles[] = {"/ZUN.DAT", "/ZUN.K01", "/ZUN.K02"};
constexpr int kPeople = 40;  // enough for the name key to have two levels

class DriverFaultTest : public DriverFixture {
 protected:
  void SetUp() override {
    auto zun = OpenNewZun();
    for (int i = 0; i < kPeople; ++i) {
      ASSERT_EQ(AddZun(*zun, "Person" + std::to_string(i % 17), 100 + i % 9), 0);
    }
    ASSERT_EQ(CLOSE(*zun), 0);
    for (const char* path : kBaselineFiles) baseline_[path] = fs_.Contents(path);
  }

  void RestoreBaseline() {
    for (const auto& [path, bytes] : baseline_) fs_.SetContents(path, bytes);
  }

  // The checker's verdict and the record count of the files as they are.
  uint32_t ExpectConsistent(const std::string& where) {
    CheckResult result;
    EXPECT_TRUE(CheckDataFile(fs_, "/ZUN.DAT", CheckOptions{}, &result).ok());
    for (const CheckFault& fault : result.faults) {
      ADD_FAILURE() << where << ": " << FormatFault(fault);
    }
    return result.live_records;
  }

  // Whether a record with this name is in the file, found through the
  // name key (so a stale key entry or a missing one shows).
  bool HasPerson(std::string_view fio) {
    auto zun = NewZun();
    EXPECT_EQ(OPEN(*zun, kAccessReadWrite | kShareDenyAll), 0);
    SetZun(*zun, fio, 0);
    const bool found = GET(*zun, kByName) == 0;
    (void)CLOSE(*zun);
    return found;
  }

  // Runs `operation` against files whose Nth call of `kind` on `file`
  // fails once, for every N until one never fires.  `changed` tells, from
  // the files as they are, whether the operation's change is there.
  template <typename Operation, typename Changed>
  void LoopFaults(const char* file, FaultKind kind, uint32_t records_after,
                  Operation operation, Changed changed) {
    for (uint64_t n = 1; n < 200; ++n) {
      RestoreBaseline();
      FaultFileSystem faults(fs_);
      DatFileInstance zun(testing::ZunDeclaration(), faults);
      zun.set_name("/ZUN");
      ASSERT_EQ(OPEN(zun, kAccessReadWrite | kShareDenyAll), 0);
      zuna::testing::Fault fault;
      fault.kind = kind;
      fault.nth = n;
      fault.mode = FaultMode::kTransient;
      fault.path_contains = file;
      faults.Inject(fault);
      const int32_t result = operation(zun);
      const bool fired = faults.FaultsFired() > 0;
      (void)CLOSE(zun);
      const std::string where = "fault at call " + std::to_string(n) +
                                " (result " + std::to_string(result) + ")";
      const uint32_t records = ExpectConsistent(where);
      const bool after = records == records_after && changed();
      const bool before = records == kPeople && !changed();
      if (!fired) {
        EXPECT_GT(n, 1u) << "no fault ever fired: the loop tested nothing";
        EXPECT_EQ(result, 0) << where;
        EXPECT_TRUE(after) << where;
        return;
      }
      if (result == 0) {
        EXPECT_TRUE(after) << where;
      } else if (kind == FaultKind::kWrite) {
        EXPECT_TRUE(before) << where;
      } else {
        // A failed sync leaves the change written but not known to be
        // durable: either state is an honest outcome of a reported failure.
        EXPECT_TRUE(before || after) << where;
      }
      if (HasFailure()) return;
    }
    ADD_FAILURE() << "faults still fire after 200 calls";
  }

  // LoopFaults for every file and both kinds of fault.
  template <typename Operation, typename Changed>
  void LoopAllFaults(uint32_t records_after, Operation operation,
                     Changed changed) {
    for (const char* file : {"ZUN.DAT", "ZUN.K01", "ZUN.K02"}) {
      for (FaultKind kind : {FaultKind::kWrite, FaultKind::kSync}) {
        SCOPED_TRACE(std::string(file) +
                     (kind == FaultKind::kWrite ? " write" : " sync"));
        LoopFaults(file, kind, records_after, operation, changed);
        if (HasFailure()) return;
      }
    }
  }

  std::map<std::string, std::string> baseline_;
};

TEST_F(DriverFaultTest, AddSurvivesAFailedWriteOrSync) {
  LoopAllFaults(
      kPeople + 1,
      [this](DatFileInstance& zun) { return AddZun(zun, "Newcomer", 105); },
      [this] { return HasPerson("Newcomer"); });
}

TEST_F(DriverFaultTest, PutSurvivesAFailedWriteOrSync) {
  // Record 7 gets a new name and date, so both keys change.
  LoopAllFaults(
      kPeople,
      [](DatFileInstance& zun) {
        const int32_t got = GET(zun, 7u);
        if (got != 0) return got;
        SetZun(zun, "Renamed", 99);
        return PUT(zun);
      },
      [this] { return HasPerson("Renamed"); });
}

TEST_F(DriverFaultTest, DeleteSurvivesAFailedWriteOrSync) {
  LoopAllFaults(
      kPeople - 1,
      [](DatFileInstance& zun) {
        const int32_t got = GET(zun, 8u);
        return got != 0 ? got : DELETE(zun);
      },
      [this] {
        auto zun = NewZun();
        EXPECT_EQ(OPEN(*zun, kAccessReadWrite | kShareDenyAll), 0);
        const bool gone = GET(*zun, 8u) == 35;
        (void)CLOSE(*zun);
        return gone;
      });
}

}  // namespace
}  // namespace zuna::datfile::driver_test
