// I/O faults in the middle of PACK and EMPTY.  For N = 1, 2, ... the Nth
// write, sync, truncate, rename or directory sync (of any file, the
// temporary files of the key sort included) fails once; the loop stops at
// the first N that never fires.
//
// What a failed PACK or EMPTY must leave behind (driver_maintenance.cpp):
//   - either the checker finds nothing wrong, or OPEN answers 46 (a key
//     file was cut) and after BUILD the checker finds nothing wrong: a key
//     that no longer matches the records never opens as if it did, which
//     matters most for OPT keys, whose entry count OPEN cannot test;
//   - PACK: the same live records, in the same order, with the same memos;
//   - EMPTY: all the records, or none.
// A PACK that failed while copying leaves the FILE open and usable.
// A PACK or BUILD killed at any of its steps must leave the same as a
// failure: the files as they stood at each step (maintenance_points.h) are
// put back and judged the same way.
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/datfile/checker.h"
#include "runtime/datfile/maintenance_points.h"
#include "runtime/values/code_page.h"
#include "tests/runtime/datfile/driver_test_util.h"
#include "tests/support/fault_fs.h"

namespace zuna::datfile::driver_test {
namespace {

using zuna::testing::FaultFileSystem;
using zuna::testing::FaultKind;
using zuna::testing::FaultMode;

constexpr int kPeople = 40;  // the name key has two levels

// A live record as a reader sees it.
struct Row {
  std::string fio;
  int32_t data = 0;
  std::string memo;
  friend bool operator==(const Row&, const Row&) = default;
};

const char* KindName(FaultKind kind) {
  switch (kind) {
    case FaultKind::kWrite: return "write";
    case FaultKind::kSync: return "sync";
    case FaultKind::kTruncate: return "truncate";
    case FaultKind::kRename: return "rename";
    case FaultKind::kSyncDirectory: return "directory sync";
    default: return "other";
  }
}

constexpr FaultKind kPackKinds[] = {FaultKind::kWrite, FaultKind::kSync,
                                    FaultKind::kTruncate, FaultKind::kRename,
                                    FaultKind::kSyncDirectory};
// EMPTY renames nothing.
constexpr FaultKind kEmptyKinds[] = {FaultKind::kWrite, FaultKind::kSync,
                                     FaultKind::kTruncate, FaultKind::kSyncDirectory};

// The register, and the register with a memo of 300 bytes (two blocks for
// a long note), so that PACK has a memo file to swap as well.
FileDecl Declaration(bool with_memo) {
  FileDecl decl = testing::ZunDeclaration();
  if (with_memo) decl.memo = MemoDecl{"ZUN:Notes", 300, false};
  return decl;
}

class MaintenanceFaultTest : public DriverFixture,
                             public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    decl_ = Declaration(GetParam());
    const auto zun = Zun(fs_);
    ASSERT_EQ(CREATE(*zun), 0);
    ASSERT_EQ(OPEN(*zun, kAccessReadWrite | kShareDenyAll), 0);
    for (int i = 0; i < kPeople; ++i) {
      SetZun(*zun, values::W("Человек ") + std::to_string(i % 17), 100 + i % 9);
      if (!zun->memo().empty()) {
        std::fill(zun->memo().begin(), zun->memo().end(), ' ');
        const std::string note(i % 3 == 0 ? 0 : 260, static_cast<char>('a' + i % 26));
        std::copy(note.begin(), note.end(), zun->memo().begin());
      }
      ASSERT_EQ(ADD(*zun), 0);
    }
    for (uint32_t r = 3; r <= kPeople; r += 4) {
      ASSERT_EQ(GET(*zun, r), 0);
      ASSERT_EQ(DELETE(*zun), 0);
    }
    ASSERT_EQ(CLOSE(*zun), 0);
    for (const std::string& path : fs_.ListFiles()) baseline_[path] = fs_.Contents(path);
    live_ = Rows();
    ASSERT_EQ(live_.size(), static_cast<size_t>(kPeople - kPeople / 4));
  }

  // The register's FILE (named /ZUN) with its files in `fs`, not open.
  std::unique_ptr<DatFileInstance> Zun(FileSystem& fs) {
    auto zun = std::make_unique<DatFileInstance>(decl_, fs);
    zun->set_name("/ZUN");
    return zun;
  }

  void RestoreBaseline() {
    for (const std::string& path : fs_.ListFiles()) ASSERT_OK(fs_.Remove(path));
    for (const auto& [path, bytes] : baseline_) fs_.SetContents(path, bytes);
  }

  // The live records in record-number order.
  std::vector<Row> Rows() {
    const auto zun = Zun(fs_);
    std::vector<Row> rows;
    EXPECT_EQ(OPEN(*zun), 0);
    if (SET(*zun) != 0) return rows;
    while (NEXT(*zun) == 0) {
      rows.push_back({ZunFio(*zun), ZunData(*zun),
                      std::string(zun->memo().begin(), zun->memo().end())});
    }
    EXPECT_EQ(CLOSE(*zun), 0);
    return rows;
  }

  bool Clean(const std::string& where, bool report) {
    CheckResult result;
    EXPECT_OK(CheckDataFile(fs_, "/ZUN.DAT", CheckOptions{}, &result));
    if (report) {
      for (const CheckFault& fault : result.faults) {
        ADD_FAILURE() << where << ": " << values::Cp1251ToUtf8(FormatFault(fault));
      }
    }
    return result.clean();
  }

  // The guarantee: clean, or 46 at OPEN and clean after BUILD.
  void ExpectCleanOrRebuildable(const std::string& where) {
    if (Clean(where, false)) return;
    const auto zun = Zun(fs_);
    ASSERT_EQ(OPEN(*zun), 46) << where << ": the checker finds faults";
    ASSERT_EQ(BUILD(*zun), 0) << where;
    Clean(where + ", after BUILD", true);
  }

  // Runs `operation` on files whose Nth call of `kind` fails once, for
  // every N until one never fires; `check` judges the rows afterwards.
  template <typename Operation, typename Check>
  void LoopFaults(FaultKind kind, Operation operation, Check check) {
    for (uint64_t n = 1; n < 1000; ++n) {
      RestoreBaseline();
      FaultFileSystem faults(fs_);
      const auto zun = Zun(faults);
      ASSERT_EQ(OPEN(*zun, kAccessReadWrite | kShareDenyAll), 0);
      faults.FailNth(kind, n, FaultMode::kTransient);
      const int32_t result = operation(*zun);
      const bool fired = faults.FaultsFired() > 0;
      faults.ClearFaults();
      (void)CLOSE(*zun);
      const std::string where = std::string(KindName(kind)) + " fault at call " +
                                std::to_string(n) + " (result " +
                                std::to_string(result) + ")";
      if (!fired) {
        EXPECT_GT(n, 1u) << "no fault ever fired: the loop tested nothing";
        EXPECT_EQ(result, 0) << where;
        Clean(where, true);
        check(Rows(), where);
        return;
      }
      EXPECT_NE(result, 0) << where << ": a fault fired and was not reported";
      ExpectCleanOrRebuildable(where);
      for (std::string_view ext : {".T00", ".M00", ".M01", ".$01", ".$02"}) {
        EXPECT_FALSE(fs_.Exists("/ZUN" + std::string(ext))) << where << ": " << ext;
      }
      check(Rows(), where);
      if (HasFailure()) return;
    }
    ADD_FAILURE() << "faults still fire after 1000 calls";
  }

  // LoopFaults for each of `kinds`, stopping at the first that fails.
  template <typename Operation, typename Check>
  void LoopAllFaults(std::span<const FaultKind> kinds, Operation operation, Check check) {
    for (FaultKind kind : kinds) {
      SCOPED_TRACE(KindName(kind));
      LoopFaults(kind, operation, check);
      if (HasFailure()) return;
    }
  }

  // The files as they stand, at each step a kill could stop `operation`.
  std::vector<std::map<std::string, std::string>> StepsOf(
      int32_t (*operation)(DatFileInstance&)) {
    steps_.clear();
    taking_steps_ = this;
    SetMaintenanceHook([](MaintenancePoint) {
      std::map<std::string, std::string> files;
      for (const std::string& path : taking_steps_->fs_.ListFiles()) {
        files[path] = taking_steps_->fs_.Contents(path);
      }
      taking_steps_->steps_.push_back(std::move(files));
    });
    const auto zun = Zun(fs_);
    EXPECT_EQ(operation(*zun), 0);
    SetMaintenanceHook(nullptr);
    return std::move(steps_);
  }

  void TearDown() override { SetMaintenanceHook(nullptr); }

  static inline MaintenanceFaultTest* taking_steps_ = nullptr;
  std::vector<std::map<std::string, std::string>> steps_;
  FileDecl decl_;
  std::map<std::string, std::string> baseline_;
  std::vector<Row> live_;
};

TEST_P(MaintenanceFaultTest, PackKeepsEveryLiveRecordInOrder) {
  LoopAllFaults(
      kPackKinds, [](DatFileInstance& zun) { return PACK(zun); },
      [this](const std::vector<Row>& rows, const std::string& where) {
        EXPECT_TRUE(rows == live_) << where << ": " << rows.size() << " rows";
      });
}

TEST_P(MaintenanceFaultTest, EmptyLeavesAllRecordsOrNone) {
  LoopAllFaults(
      kEmptyKinds, [](DatFileInstance& zun) { return EMPTY(zun); },
      [this](const std::vector<Row>& rows, const std::string& where) {
        EXPECT_TRUE(rows.empty() || rows == live_) << where << ": " << rows.size();
      });
}

// A PACK that fails while it copies changes nothing the FILE relies on: it
// goes on working, and a second PACK succeeds.
TEST_P(MaintenanceFaultTest, AFailedCopyLeavesTheFileUsable) {
  RestoreBaseline();
  FaultFileSystem faults(fs_);
  const auto zun = Zun(faults);
  ASSERT_EQ(OPEN(*zun, kAccessReadWrite | kShareDenyAll), 0);
  zuna::testing::Fault fault;
  fault.kind = FaultKind::kWrite;
  fault.nth = 5;
  fault.path_contains = ".T00";
  faults.Inject(fault);
  EXPECT_EQ(PACK(*zun), 5);
  EXPECT_FALSE(fs_.Exists("/ZUN.T00"));
  EXPECT_EQ(AddZun(*zun, "Newcomer", 7), 0);
  EXPECT_EQ(PACK(*zun), 0);
  EXPECT_EQ(RECORDS(*zun), live_.size() + 1);
  ASSERT_EQ(CLOSE(*zun), 0);
  Clean("after the second PACK", true);
}

TEST_P(MaintenanceFaultTest, AKillAtAnyStepOfPackOrBuildLeavesTheRecordsWholeOrRebuildable) {
  const std::pair<const char*, int32_t (*)(DatFileInstance&)> operations[] = {
      {"PACK", [](DatFileInstance& zun) { return PACK(zun); }},
      {"BUILD", [](DatFileInstance& zun) { return BUILD(zun); }},
  };
  for (const auto& [name, operation] : operations) {
    RestoreBaseline();
    const auto steps = StepsOf(operation);
    // Nothing of the work is left beside the register's own files.
    const std::vector<std::string> own = GetParam()
        ? std::vector<std::string>{"/ZUN.DAT", "/ZUN.K01", "/ZUN.K02", "/ZUN.MEM"}
        : std::vector<std::string>{"/ZUN.DAT", "/ZUN.K01", "/ZUN.K02"};
    EXPECT_EQ(fs_.ListFiles(), own) << name;
    ASSERT_GT(steps.size(), 6u) << name;
    int refused = 0;
    for (size_t step = 0; step < steps.size() && !HasFailure(); ++step) {
      const std::string where = std::string(name) + " killed at step " + std::to_string(step);
      for (const std::string& path : fs_.ListFiles()) ASSERT_OK(fs_.Remove(path));
      for (const auto& [path, bytes] : steps[step]) fs_.SetContents(path, bytes);
      if (!Clean(where, false)) ++refused;
      ExpectCleanOrRebuildable(where);
      EXPECT_TRUE(Rows() == live_) << where;
    }
    // From the first cut to the last key in place, OPEN refuses.
    EXPECT_GE(refused, static_cast<int>(steps.size()) - 2) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Memo, MaintenanceFaultTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "WithMemo" : "Register";
                         });

}  // namespace
}  // namespace zuna::datfile::driver_test
