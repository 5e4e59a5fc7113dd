// Build events: progress while BUILD reads the records, the final event,
// and 93 when the final event is answered with cancel.
#include <string>
#include <vector>

#include "runtime/datfile/checker.h"
#include "tests/runtime/datfile/driver_test_util.h"

namespace zuna::datfile::driver_test {
namespace {

constexpr int kPeople = 250;

class DriverBuildEventsTest : public DriverFixture {
 protected:
  // A register of kPeople, every fifth deleted.
  std::unique_ptr<DatFileInstance> FilledZun() {
    auto zun = OpenNewZun();
    for (int i = 0; i < kPeople; ++i) {
      EXPECT_EQ(AddZun(*zun, "P" + std::to_string(i % 37), 100 + i % 11), 0);
    }
    for (uint32_t r = 5; r <= kPeople; r += 5) {
      EXPECT_EQ(GET(*zun, r), 0);
      EXPECT_EQ(DELETE(*zun), 0);
    }
    return zun;
  }

  // Records every event; answers `final_answer` to the final one and
  // `progress_answer` to the others.
  void Listen(DatFileInstance& file, int progress_answer = 0, int final_answer = 0) {
    file.set_build_events([this, progress_answer, final_answer](const BuildProgress& p) {
      events_.push_back(p);
      return p.final ? final_answer : progress_answer;
    });
  }

  std::vector<BuildProgress> ProgressOf(int key) const {
    std::vector<BuildProgress> out;
    for (const BuildProgress& p : events_) {
      if (!p.final && p.key == key) out.push_back(p);
    }
    return out;
  }

  void ExpectClean() {
    CheckResult result;
    ASSERT_OK(CheckDataFile(fs_, "/ZUN.DAT", CheckOptions{}, &result));
    for (const CheckFault& fault : result.faults) ADD_FAILURE() << FormatFault(fault);
  }

  std::vector<BuildProgress> events_;
};

TEST_F(DriverBuildEventsTest, ProgressEachHundredthThenOneFinalEvent) {
  auto zun = FilledZun();
  Listen(*zun);
  ASSERT_EQ(BUILD(*zun), 0);
  ASSERT_FALSE(events_.empty());
  for (int key : {0, 1}) {
    SCOPED_TRACE(key);
    const std::vector<BuildProgress> progress = ProgressOf(key);
    // Every third slot of 250 (ceil(250 / 100)), and the last one.
    ASSERT_GE(progress.size(), 2u);
    EXPECT_LE(progress.size(), 101u);
    uint32_t last = 0;
    for (const BuildProgress& p : progress) {
      EXPECT_EQ(p.records_total, static_cast<uint32_t>(kPeople));
      EXPECT_EQ(p.key_ordinal, static_cast<uint32_t>(key + 1));
      EXPECT_EQ(p.key_count, 2u);
      EXPECT_GT(p.records_read, last);
      last = p.records_read;
    }
    EXPECT_EQ(progress.back().records_read, static_cast<uint32_t>(kPeople));
  }
  const BuildProgress& final_event = events_.back();
  EXPECT_TRUE(final_event.final);
  EXPECT_EQ(final_event.records_read, static_cast<uint32_t>(kPeople));
  size_t finals = 0;
  for (const BuildProgress& p : events_) finals += p.final ? 1 : 0;
  EXPECT_EQ(finals, 1u);
}

TEST_F(DriverBuildEventsTest, AnEmptyFileStillReportsTheEndOfEachKey) {
  auto zun = OpenNewZun();
  Listen(*zun);
  ASSERT_EQ(BUILD(*zun), 0);
  ASSERT_EQ(events_.size(), 3u);
  EXPECT_EQ(events_[0].key, 0);
  EXPECT_EQ(events_[1].key, 1);
  EXPECT_EQ(events_[1].records_read, 0u);
  EXPECT_TRUE(events_[2].final);
}

TEST_F(DriverBuildEventsTest, ProgressAnswersDoNotCancel) {
  auto zun = FilledZun();
  Listen(*zun, /*progress_answer=*/1, /*final_answer=*/0);
  EXPECT_EQ(BUILD(*zun), 0);
}

TEST_F(DriverBuildEventsTest, CancelAtTheFinalEventAnswers93AndTheKeysStand) {
  auto zun = FilledZun();
  Listen(*zun, 0, 1);
  EXPECT_EQ(BUILD(*zun), 93);
  EXPECT_EQ(values::ERRORCODE(), 93);
  // The keys were built whole before the question: they serve at once and
  // after reopening.
  EXPECT_EQ(RECORDS(*zun, kByDate), static_cast<uint32_t>(kPeople - kPeople / 5));
  ASSERT_EQ(CLOSE(*zun), 0);
  ExpectClean();
  ASSERT_EQ(OPEN(*zun), 0);
  EXPECT_EQ(WalkKey(*zun, kByName).size(), static_cast<size_t>(kPeople - kPeople / 5));
}

TEST_F(DriverBuildEventsTest, BuildOfAClosedFileAndOfOneKeyPostThemToo) {
  auto zun = FilledZun();
  ASSERT_EQ(CLOSE(*zun), 0);
  Listen(*zun, 0, 1);
  EXPECT_EQ(BUILD(*zun), 93);
  EXPECT_FALSE(zun->is_open());
  events_.clear();
  EXPECT_EQ(BUILD(*zun, kByName), 93);
  EXPECT_EQ(ProgressOf(0).size(), 0u);
  ASSERT_FALSE(ProgressOf(1).empty());
  EXPECT_EQ(ProgressOf(1).front().key_count, 1u);
  ExpectClean();
}

TEST_F(DriverBuildEventsTest, CancelTurnsDuplicatesInto93) {
  DatFileInstance mem(testing::MemoDeclaration(), fs_);
  mem.set_name("/MEM");
  ASSERT_EQ(CREATE(mem), 0);
  ASSERT_EQ(OPEN(mem), 0);
  std::string record(testing::kMemoRecordLength, ' ');
  std::copy(record.begin(), record.end(), mem.record().begin());
  ASSERT_EQ(APPEND(mem), 0);
  ASSERT_EQ(APPEND(mem), 0);
  Listen(mem, 0, 0);
  EXPECT_EQ(BUILD(mem), 40);
  Listen(mem, 0, 1);
  EXPECT_EQ(BUILD(mem), 93);
}

TEST_F(DriverBuildEventsTest, ACancelledDynamicIndexIsDropped) {
  auto zun = FilledZun();
  Listen(*zun, 0, 1);
  Key dynamic{-1};
  EXPECT_EQ(BUILD(*zun, "ZUN:FIO", &dynamic), 93);
  EXPECT_EQ(dynamic.index, -1);
  EXPECT_EQ(zun->driver_state().keys.size(), 2u);
  EXPECT_EQ(ProgressOf(2).back().records_read, static_cast<uint32_t>(kPeople));
  Listen(*zun);
  ASSERT_EQ(BUILD(*zun, "ZUN:FIO", &dynamic), 0);
  EXPECT_EQ(dynamic.index, 2);
}

TEST_F(DriverBuildEventsTest, PackPostsTheEventsOfItsRebuild) {
  auto zun = FilledZun();
  Listen(*zun, 0, 1);
  EXPECT_EQ(PACK(*zun), 93);
  // The pack itself is done and the keys built.
  EXPECT_EQ(RECORDS(*zun), static_cast<uint32_t>(kPeople - kPeople / 5));
  EXPECT_EQ(ProgressOf(0).back().records_total,
            static_cast<uint32_t>(kPeople - kPeople / 5));
  ASSERT_EQ(CLOSE(*zun), 0);
  ExpectClean();
}

TEST_F(DriverBuildEventsTest, NoHandlerNoEvents) {
  auto zun = FilledZun();
  ASSERT_EQ(BUILD(*zun), 0);
  EXPECT_TRUE(events_.empty());
}

}  // namespace
}  // namespace zuna::datfile::driver_test
