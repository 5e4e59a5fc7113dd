// I/O faults in the middle of ADD and DELETE.  For N = 1, 2, ... the Nth
// write (or sync) of the data file fails once; the operation must either
// succeed or fail with a runtime error number, and afterwards the files on
// disk must pass the checker and hold either the state before or the state
// after.  The loop stops at the first N that never fires.
//
// Faults in the key files are not looped here: a key change spans a node
// write and a header write, and a failure between them leaves the key file
// out of step until the transaction log can undo it.
#include <map>

#include "runtime/datfile/checker.h"
#include "tests/runtime/datfile/driver_test_util.h"
#include "tests/support/fault_fs.h"

namespace zuna::datfile::driver_test {
namespace {

using zuna::testing::FaultFileSystem;
using zuna::testing::FaultKind;
using zuna::testing::FaultMode;

constexpr const char* kFiles[] = {"/ZUN.DAT", "/ZUN.K01", "/ZUN.K02"};
constexpr int kPeople = 40;  // enough for the name key to have two levels

class DriverFaultTest : public DriverFixture {
 protected:
  void SetUp() override {
    auto zun = OpenNewZun();
    for (int i = 0; i < kPeople; ++i) {
      ASSERT_EQ(AddZun(*zun, "Person" + std::to_string(i % 17), 100 + i % 9), 0);
    }
    ASSERT_EQ(CLOSE(*zun), 0);
    for (const char* path : kFiles) baseline_[path] = fs_.Contents(path);
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

  // Runs `operation` against files whose Nth call of `kind` fails once, for
  // every N until one never fires.
  template <typename Operation>
  void LoopFaults(FaultKind kind, uint32_t records_after, Operation operation) {
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
      fault.path_contains = "ZUN.DAT";
      faults.Inject(fault);
      const int32_t result = operation(zun);
      const bool fired = faults.FaultsFired() > 0;
      (void)CLOSE(zun);
      const std::string where = "fault at call " + std::to_string(n) +
                                " (result " + std::to_string(result) + ")";
      if (!fired) {
        EXPECT_GT(n, 1u) << "no fault ever fired: the loop tested nothing";
        EXPECT_EQ(result, 0) << where;
        EXPECT_EQ(ExpectConsistent(where), records_after);
        return;
      }
      const uint32_t records = ExpectConsistent(where);
      if (result == 0) {
        EXPECT_EQ(records, records_after) << where;
      } else if (kind == FaultKind::kWrite) {
        EXPECT_EQ(records, static_cast<uint32_t>(kPeople)) << where;
      } else {
        // A failed sync leaves the change written but not known to be
        // durable: either state is an honest outcome of a reported failure.
        EXPECT_TRUE(records == kPeople || records == records_after) << where;
      }
      if (HasFailure()) return;
    }
    ADD_FAILURE() << "faults still fire after 200 calls";
  }

  std::map<std::string, std::string> baseline_;
};

TEST_F(DriverFaultTest, AddSurvivesAFailedWriteOrSync) {
  for (FaultKind kind : {FaultKind::kWrite, FaultKind::kSync}) {
    SCOPED_TRACE(kind == FaultKind::kWrite ? "write" : "sync");
    LoopFaults(kind, kPeople + 1, [this](DatFileInstance& zun) {
      return AddZun(zun, "Newcomer", 105);
    });
  }
}

TEST_F(DriverFaultTest, DeleteSurvivesAFailedWriteOrSync) {
  for (FaultKind kind : {FaultKind::kWrite, FaultKind::kSync}) {
    SCOPED_TRACE(kind == FaultKind::kWrite ? "write" : "sync");
    LoopFaults(kind, kPeople - 1, [](DatFileInstance& zun) {
      const int32_t got = GET(zun, 7u);
      return got != 0 ? got : DELETE(zun);
    });
  }
}

}  // namespace
}  // namespace zuna::datfile::driver_test
