// Random ADD / PUT / DELETE on ZUN compared with an in-memory model: both
// key orders (ties by record number), RECLAIM reuse, RECORDS, file order
// and GET by ordinal.  The seed comes from --gtest_random_seed and is
// printed, so a failure replays.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "runtime/datfile/checker.h"
#include "tests/runtime/datfile/driver_test_util.h"

namespace zuna::datfile::driver_test {
namespace {

struct Person {
  std::string fio;  // ASCII, unpadded
  int32_t data = 0;
  int32_t data1 = 0;
};

class DriverModelTest : public DriverFixture {
 protected:
  // Name order: upper-cased (NOCASE, ASCII case pairs), padded with
  // blanks; blank names and zero dates make no entry (OPT).
  std::vector<uint32_t> ByName() const {
    std::vector<std::pair<std::string, uint32_t>> rows;
    for (const auto& [r, p] : people_) {
      if (p.fio.empty()) continue;
      std::string key = p.fio;
      for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      key.resize(30, ' ');
      rows.emplace_back(key, r);
    }
    std::sort(rows.begin(), rows.end());
    std::vector<uint32_t> out;
    for (const auto& row : rows) out.push_back(row.second);
    return out;
  }
  std::vector<uint32_t> ByDate() const {
    std::vector<std::pair<int32_t, uint32_t>> rows;
    for (const auto& [r, p] : people_) {
      if (p.data != 0) rows.emplace_back(p.data, r);
    }
    std::sort(rows.begin(), rows.end());
    std::vector<uint32_t> out;
    for (const auto& row : rows) out.push_back(row.second);
    return out;
  }

  Person RandomPerson(std::mt19937& rng) {
    static const char* kNames[] = {"ivanov", "Ivanov", "PETROV", "petrova", "Sidorov",
                                   "abramov", "Zaitsev", "", "Orlov", "orlova"};
    Person p;
    p.fio = kNames[rng() % 10];
    if (!p.fio.empty() && rng() % 3 == 0) p.fio += std::to_string(rng() % 50);
    p.data = rng() % 8 == 0 ? 0 : static_cast<int32_t>(rng() % 200) - 20;
    p.data1 = static_cast<int32_t>(rng());
    return p;
  }

  uint32_t RandomLive(std::mt19937& rng) {
    auto it = people_.begin();
    std::advance(it, rng() % people_.size());
    return it->first;
  }

  void Compare(DatFileInstance& zun, std::mt19937& rng) {
    ASSERT_EQ(RECORDS(zun), people_.size());
    ASSERT_EQ(WalkKey(zun, kByName), ByName());
    ASSERT_EQ(WalkKey(zun, kByDate), ByDate());
    std::vector<uint32_t> backwards = ByDate();
    std::reverse(backwards.begin(), backwards.end());
    ASSERT_EQ(WalkKey(zun, kByDate, false), backwards);
    std::vector<uint32_t> live;
    for (const auto& entry : people_) live.push_back(entry.first);
    ASSERT_EQ(WalkFile(zun), live);
    const std::vector<uint32_t> names = ByName();
    if (!names.empty()) {
      const uint32_t ordinal = 1 + rng() % names.size();
      ASSERT_EQ(GET(zun, kByName, ordinal), 0);
      ASSERT_EQ(POINTER(zun), names[ordinal - 1]);
      ASSERT_EQ(POINTER(zun, kByName), ordinal);
      const Person& p = people_.at(POINTER(zun));
      ASSERT_EQ(ZunFio(zun), p.fio);
      ASSERT_EQ(ZunLong(zun, 34), p.data1);
    }
  }

  // The checker over the files as they are on the (in-memory) disk.
  void ExpectCheckerClean() {
    CheckResult result;
    ASSERT_TRUE(CheckDataFile(fs_, "/ZUN.DAT", CheckOptions{}, &result).ok());
    for (const CheckFault& fault : result.faults) {
      ADD_FAILURE() << FormatFault(fault);
    }
    EXPECT_EQ(result.live_records, people_.size());
  }

  // PACK closes up the record numbers in file order.
  void RenumberAfterPack() {
    std::map<uint32_t, Person> packed;
    uint32_t next = 0;
    for (auto& [r, p] : people_) packed[++next] = std::move(p);
    people_ = std::move(packed);
    free_.clear();
    slots_ = next;
  }

  std::map<uint32_t, Person> people_;
  std::vector<uint32_t> free_;  // deleted slots, last deleted at the back
  uint32_t slots_ = 0;
};

TEST_F(DriverModelTest, RandomWritesAgreeWithTheModel) {
  const uint32_t seed = static_cast<uint32_t>(::testing::UnitTest::GetInstance()->random_seed());
  std::printf("DriverModelTest seed %u (--gtest_random_seed=%u)\n", seed, seed);
  std::mt19937 rng(seed);
  auto zun = OpenNewZun();
  // scripts/soak-driver runs the long version (ZUNA_MODEL_STEPS=100000).
  const char* steps_text = std::getenv("ZUNA_MODEL_STEPS");
  const int steps = steps_text != nullptr ? std::atoi(steps_text) : 20000;
  for (int step = 1; step <= steps; ++step) {
    const uint32_t dice = rng() % 10;
    if (people_.empty() || dice < 5) {
      const Person p = RandomPerson(rng);
      SetZun(*zun, p.fio, p.data, p.data1);
      ASSERT_EQ(ADD(*zun), 0) << "step " << step;
      uint32_t expected = 0;
      if (!free_.empty()) {
        expected = free_.back();
        free_.pop_back();
      } else {
        expected = ++slots_;
      }
      ASSERT_EQ(POINTER(*zun), expected) << "step " << step;
      people_[expected] = p;
    } else if (dice < 8) {
      const uint32_t r = RandomLive(rng);
      ASSERT_EQ(GET(*zun, r), 0) << "step " << step;
      Person p = people_[r];
      const Person q = RandomPerson(rng);
      if (rng() % 2) p.fio = q.fio;
      if (rng() % 2) p.data = q.data;
      SetZun(*zun, p.fio, p.data, p.data1);
      ASSERT_EQ(PUT(*zun), 0) << "step " << step;
      people_[r] = p;
    } else {
      const uint32_t r = RandomLive(rng);
      ASSERT_EQ(GET(*zun, r), 0) << "step " << step;
      ASSERT_EQ(DELETE(*zun), 0) << "step " << step;
      people_.erase(r);
      free_.push_back(r);
    }
    if (step % 500 == 0) {
      SCOPED_TRACE("step " + std::to_string(step));
      Compare(*zun, rng);
      if (HasFatalFailure()) return;
    }
  }
  ASSERT_EQ(CLOSE(*zun), 0);
  ASSERT_EQ(OPEN(*zun), 0);
  Compare(*zun, rng);
  ASSERT_EQ(CLOSE(*zun), 0);
  ExpectCheckerClean();

  // Rebuilt keys hold the same order, and the file stays consistent.
  ASSERT_EQ(BUILD(*zun), 0);
  ExpectCheckerClean();
  ASSERT_EQ(OPEN(*zun), 0);
  Compare(*zun, rng);
  ASSERT_EQ(CLOSE(*zun), 0);

  // After PACK the live records keep their file order under new numbers.
  ASSERT_EQ(PACK(*zun), 0);
  RenumberAfterPack();
  ExpectCheckerClean();
  ASSERT_EQ(OPEN(*zun), 0);
  Compare(*zun, rng);
}

}  // namespace
}  // namespace zuna::datfile::driver_test
