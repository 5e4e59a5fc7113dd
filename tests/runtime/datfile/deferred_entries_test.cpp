// ADDs under STREAM inside a transaction leave their key entries to be
// inserted in key order later: whatever comes next -- a read by key from
// this FILE or another, a PUT, COMMIT -- finds every key whole; ROLLBACK
// forgets them with their records; a failure while inserting them leaves
// a transaction that can only be rolled back.
#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "runtime/datfile/checker.h"
#include "tests/runtime/datfile/driver_test_util.h"
#include "runtime/datfile/coding.h"
#include "runtime/datfile/key_format.h"

namespace zuna::datfile::driver_test {
namespace {

using Files = std::map<std::string, std::string>;

constexpr uint32_t kShared = kAccessReadWrite | kShareDenyNone;

// Names arriving in no order, as an import's do, with namesakes.
const std::vector<std::string> kArrivals = {"Orlov",  "Abramov", "Zykov",   "Ivanov",
                                            "Belov",  "Orlov",   "Yakovlev", "Abramov",
                                            "Kozlov", "Tarasov", "Ivanov",  "Egorov"};

class DeferredEntriesTest : public DriverFixture {
 protected:
  void SetUp() override {
    CreateThreePeople();
    before_ = RegisterFiles(fs_);
  }

  static Files RegisterFiles(testing::MemFileSystem& fs) {
    Files files;
    for (const char* name : {"/ZUN.DAT", "/ZUN.K01", "/ZUN.K02"}) {
      files[name] = fs.Contents(name);
    }
    return files;
  }

  std::unique_ptr<DatFileInstance> Station(FileSystem& fs, uint32_t mode = kShared) {
    auto zun = std::make_unique<DatFileInstance>(testing::ZunDeclaration(), fs);
    zun->set_name("/ZUN");
    EXPECT_EQ(OPEN(*zun, mode), 0);
    return zun;
  }

  // LOGOUT, STREAM and the arrivals added, record 4 onwards, each born on
  // a day of its own (the date key in no order either).
  void AddArrivals(DatFileInstance& zun) {
    ASSERT_EQ(LOGOUT(zun), 0);
    ASSERT_EQ(STREAM(zun), 0);
    for (size_t i = 0; i < kArrivals.size(); ++i) {
      ASSERT_EQ(AddZun(zun, kArrivals[i], static_cast<int32_t>(5000 - 37 * (i % 5) - i)), 0);
    }
  }

  // Every record in the name key, in name order; and the checker clean.
  void ExpectWhole(DatFileInstance& zun) {
    EXPECT_EQ(RECORDS(zun, kByName), 3 + kArrivals.size());
    EXPECT_EQ(RECORDS(zun, kByDate), 3 + kArrivals.size());
    std::vector<std::string> names;
    for (uint32_t record_no : WalkKey(zun, kByName)) {
      EXPECT_EQ(GET(zun, record_no), 0);
      names.push_back(ZunFio(zun));
    }
    std::vector<std::string> expected = kArrivals;
    expected.insert(expected.end(), {"Ivanov", "Petrov", "Sidorov"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
  }

  void ExpectClean(FileSystem& fs) {
    CheckResult result;
    ASSERT_TRUE(CheckDataFile(fs, "/ZUN.DAT", CheckOptions{}, &result).ok());
    for (const CheckFault& fault : result.faults) ADD_FAILURE() << FormatFault(fault);
  }

  Files before_;
};

// Whatever comes after the ADDs finds the keys whole, through this FILE or
// another one of the process, and the committed files check clean.
TEST_F(DeferredEntriesTest, WhatComesNextFindsEveryKeyWhole) {
  const std::map<std::string, std::function<void(DatFileInstance&, DatFileInstance&)>>
      next = {
          {"a search by name here",
           [](DatFileInstance& zun, DatFileInstance&) {
             SetZun(zun, "Tarasov", 0);
             EXPECT_EQ(GET(zun, kByName), 0);
           }},
          {"a search by name in another FILE",
           [](DatFileInstance&, DatFileInstance& other) {
             SetZun(other, "Zykov", 0);
             EXPECT_EQ(GET(other, kByName), 0);
           }},
          {"a PUT of the last one added",
           [](DatFileInstance& zun, DatFileInstance&) {
             SetZun(zun, "Egorov", 4000);
             EXPECT_EQ(PUT(zun), 0);
           }},
          {"FLUSH", [](DatFileInstance& zun, DatFileInstance&) { EXPECT_EQ(FLUSH(zun), 0); }},
          {"COMMIT straight away", [](DatFileInstance&, DatFileInstance&) {}},
      };
  for (const auto& [what, step] : next) {
    SCOPED_TRACE(what);
    testing::MemFileSystem fs;
    for (const auto& [path, bytes] : before_) fs.SetContents(path, bytes);
    auto zun = Station(fs);
    auto other = Station(fs);
    AddArrivals(*zun);
    step(*zun, *other);
    ExpectWhole(*zun);
    ASSERT_EQ(COMMIT(*zun), 0);
    ASSERT_EQ(CLOSE(*zun), 0);
    ASSERT_EQ(CLOSE(*other), 0);
    ExpectClean(fs);
    auto again = Station(fs);
    ExpectWhole(*again);
  }
}

// Alone on the file, STREAM keeps the keys written back; the entries go
// in all the same, and the keys stay written back for what follows.
TEST_F(DeferredEntriesTest, AloneOnTheFileTheKeysAreWholeToo) {
  auto zun = Station(fs_, kAccessReadWrite | kShareDenyAll);
  AddArrivals(*zun);
  ExpectWhole(*zun);
  ASSERT_EQ(AddZun(*zun, "Afterwards", 9), 0);
  ASSERT_EQ(FLUSH(*zun), 0);
  ASSERT_EQ(COMMIT(*zun), 0);
  ASSERT_EQ(CLOSE(*zun), 0);
  ExpectClean(fs_);
  auto again = Station(fs_);
  EXPECT_EQ(RECORDS(*again, kByName), 4 + kArrivals.size());
}

TEST_F(DeferredEntriesTest, ARollbackTakesTheEntriesAwayWithTheirRecords) {
  auto zun = Station(fs_);
  AddArrivals(*zun);
  ASSERT_EQ(ROLLBACK(*zun), 0);
  EXPECT_EQ(RegisterFiles(fs_), before_);
  EXPECT_EQ(WalkKey(*zun, kByName), (std::vector<uint32_t>{1, 2, 3}));
  // Outside the transaction the next ADD goes into the keys at once.
  ASSERT_EQ(AddZun(*zun, "Later", 7), 0);
  ASSERT_EQ(CLOSE(*zun), 0);
  ExpectClean(fs_);
}

// A damaged leaf met while the entries go in: COMMIT must not make records
// without their entries last, and a rollback leaves the files as they were.
TEST_F(DeferredEntriesTest, AFailedInsertLeavesOnlyARollback) {
  {
    auto zun = Station(fs_);
    for (int i = 10; i < 60; ++i) ASSERT_EQ(AddZun(*zun, "P" + std::to_string(i), i), 0);
    ASSERT_EQ(CLOSE(*zun), 0);
  }
  // The name key's last leaf, where "Zykov" goes, claims more entries than
  // a node holds.
  std::string k02 = fs_.Contents("/ZUN.K02");
  const uint32_t last_leaf = DecodeFixed32(k02.data() + kKeyHeaderLastLeafOffset);
  ASSERT_NE(last_leaf, DecodeFixed32(k02.data() + kKeyHeaderRootOffset)) << "one leaf";
  k02[last_leaf * kKeyBlockSize + kNodeCountOffset] = '\xFF';
  fs_.SetContents("/ZUN.K02", k02);
  const Files damaged = RegisterFiles(fs_);

  for (const bool close_first : {false, true}) {
    SCOPED_TRACE(close_first ? "CLOSE after the adds" : "FLUSH after the adds");
    auto zun = Station(fs_);
    AddArrivals(*zun);
    if (close_first) {
      // The FILE closes all the same; the transaction stays to be undone.
      EXPECT_EQ(CLOSE(*zun), 46);
      EXPECT_FALSE(zun->is_open());
    } else {
      EXPECT_EQ(FLUSH(*zun), 46);
    }
    EXPECT_EQ(COMMIT(*zun), 46);
    EXPECT_EQ(COMMIT(*zun), 46) << "a second COMMIT must refuse too";
    ASSERT_EQ(ROLLBACK(*zun), 0);
    EXPECT_EQ(CLOSE(*zun), 0);
    EXPECT_EQ(RegisterFiles(fs_), damaged);
  }
}

}  // namespace
}  // namespace zuna::datfile::driver_test
