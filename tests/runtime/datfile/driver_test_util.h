// Helpers for the driver tests: a fixed clock, an in-memory file system, the
// register's ZUN as a FILE instance, and readers that walk a sequence.
#ifndef ZUNA_TESTS_RUNTIME_DATFILE_DRIVER_TEST_UTIL_H_
#define ZUNA_TESTS_RUNTIME_DATFILE_DRIVER_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/datfile/driver.h"
#include "runtime/datfile/file_instance.h"
#include "runtime/datfile/statements.h"
#include "runtime/values/clock.h"
#include "runtime/values/error_state.h"
#include "tests/support/mem_fs.h"
#include "tests/support/status_matchers.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zun_declaration.h"

namespace zuna::datfile::driver_test {

inline constexpr Key kByDate{0};  // ZUN:zun_key (ZUN:DATA)
inline constexpr Key kByName{1};  // ZUN:key2 (ZUN:FIO)

// A new register file: data offset 216, slot length 43.
inline constexpr uint64_t kZunDataOffset = 216;
inline constexpr uint64_t kZunSlotLength = 43;

inline void SetZun(DatFileInstance& file, std::string_view fio, int32_t data,
                   int32_t data1 = 0) {
  const std::string record = testing::ZunRecord(fio, data, data1);
  std::copy(record.begin(), record.end(), file.record().begin());
}

inline std::string ZunFio(const DatFileInstance& file) {
  std::string fio(file.record().begin(), file.record().begin() + 30);
  while (!fio.empty() && (fio.back() == ' ' || fio.back() == '\0')) fio.pop_back();
  return fio;
}

inline int32_t ZunLong(const DatFileInstance& file, size_t offset) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) {
    v = (v << 8) | static_cast<uint8_t>(file.record()[offset + i]);
  }
  return static_cast<int32_t>(v);
}
inline int32_t ZunData(const DatFileInstance& file) { return ZunLong(file, 30); }

class DriverFixture : public ::testing::Test {
 protected:
  DriverFixture() : clock_({2009, 3, 5, 4500000}) { values::SetClock(&clock_); }
  ~DriverFixture() override { values::SetClock(nullptr); }

  // A ZUN instance named `name` in the in-memory file system.
  std::unique_ptr<DatFileInstance> NewZun(const std::string& name = "/ZUN") {
    auto file = std::make_unique<DatFileInstance>(testing::ZunDeclaration(), fs_);
    file->set_name(name);
    return file;
  }

  // Created and opened read/write, exclusive.
  std::unique_ptr<DatFileInstance> OpenNewZun(const std::string& name = "/ZUN") {
    auto file = NewZun(name);
    EXPECT_EQ(CREATE(*file), 0);
    EXPECT_EQ(OPEN(*file, kAccessReadWrite | kShareDenyAll), 0);
    return file;
  }

  // A closed register file of three people: Ivanov (1, DATA 100), Petrov
  // (2, 200), Sidorov (3, 300).
  void CreateThreePeople() {
    auto zun = OpenNewZun();
    ASSERT_EQ(AddZun(*zun, "Ivanov", 100), 0);
    ASSERT_EQ(AddZun(*zun, "Petrov", 200), 0);
    ASSERT_EQ(AddZun(*zun, "Sidorov", 300), 0);
    ASSERT_EQ(CLOSE(*zun), 0);
  }

  int32_t AddZun(DatFileInstance& file, std::string_view fio, int32_t data,
                 int32_t data1 = 0) {
    SetZun(file, fio, data, data1);
    return ADD(file);
  }

  // Writes the fields over the record last read and PUTs it.
  int32_t PutZun(DatFileInstance& file, std::string_view fio, int32_t data,
                 int32_t data1 = 0) {
    SetZun(file, fio, data, data1);
    return PUT(file);
  }

  // Record numbers of a whole walk with NEXT (or PREVIOUS) after `set`.
  template <typename SetFn>
  std::vector<uint32_t> Walk(DatFileInstance& file, SetFn set, bool forward = true) {
    std::vector<uint32_t> out;
    EXPECT_EQ(set(), 0);
    for (;;) {
      const int32_t code = forward ? NEXT(file) : PREVIOUS(file);
      if (code != 0) {
        EXPECT_EQ(code, 33);
        break;
      }
      out.push_back(POINTER(file));
    }
    return out;
  }
  std::vector<uint32_t> WalkKey(DatFileInstance& file, Key key, bool forward = true) {
    return Walk(file, [&] { return SET(file, key); }, forward);
  }
  std::vector<uint32_t> WalkFile(DatFileInstance& file, bool forward = true) {
    return Walk(file, [&] { return SET(file); }, forward);
  }

  values::FixedClock clock_;
  testing::MemFileSystem fs_;
};

}  // namespace zuna::datfile::driver_test

#endif  // ZUNA_TESTS_RUNTIME_DATFILE_DRIVER_TEST_UTIL_H_
