// Which filters a view may judge on key entries, and the values an entry
// gives back.  That the records a view returns stay the same with it is
// view_model_test's business (random filters on ZUN:DATA in key order).
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/datfile/key_encoding.h"
#include "runtime/datfile/view_internal.h"
#include "runtime/values/locale.h"
#include "tests/support/status_matchers.h"
#include "tests/support/zun_declaration.h"

namespace zuna::datfile::view_internal {
namespace {

constexpr int kByDate = 0;  // ZUN:zun_key (ZUN:DATA)
constexpr int kByName = 1;  // ZUN:key2 (ZUN:FIO)

TEST(KeyFilterTest, OnlyFiltersOnTheKeysIntegerComponentsAreJudgedOnEntries) {
  struct Row {
    const char* filter;
    int key;
    bool judged;
    bool reusable;
    bool daily;
  };
  const Row rows[] = {
      {"ZUN:DATA > 50000", kByDate, true, true, false},
      {"ZUN:DATA % 7 = 3 OR zun:data < 10", kByDate, true, true, false},
      {"INT(SUB(FORMAT(ZUN:DATA,@D12),5,4)) >= 1225", kByDate, true, true, false},
      {"DEFORMAT('2026' & SUB(FORMAT(ZUN:DATA,@D12),5,4),@D12) - TODAY() <= 7",
       kByDate, true, true, true},
      {"ZUN:DATA > CLOCK()", kByDate, true, false, false},
      {"ZUN:DATA > 1 AND ZUN:FIO = 'A'", kByDate, false, false, false},
      {"ZUN:DATA1 > 1", kByDate, false, false, false},
      {"ZUN:FIO = 'A'", kByName, false, false, false},
      {"ZUN:DATA > 1", kByName, false, false, false},
      {"somevariable > 1", kByDate, false, false, false},
      {"MYPROC(ZUN:DATA)", kByDate, false, false, false},
  };
  const FileDecl decl = testing::ZunDeclaration();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.filter);
    const std::unique_ptr<KeyFilter> filter = KeyFilter::Analyse(row.filter, decl, row.key);
    ASSERT_EQ(filter != nullptr, row.judged);
    if (!filter) continue;
    EXPECT_EQ(filter->reusable(), row.reusable);
    EXPECT_EQ(filter->daily(), row.daily);
  }
}

// An entry made from a record gives its DATA back exactly, whatever the
// sign, and leaves the rest of the buffer alone.
TEST(KeyFilterTest, AnEntryGivesItsIntegerComponentBackExactly) {
  const FileDecl decl = testing::ZunDeclaration();
  KeyEncoder encoder;
  ASSERT_OK(KeyEncoder::Create(decl, decl.keys[kByDate], values::Locale(),
                               &encoder));
  const std::unique_ptr<KeyFilter> filter =
      KeyFilter::Analyse("ZUN:DATA <> 0", decl, kByDate);
  ASSERT_NE(filter, nullptr);
  for (const int32_t data : {1, -1, 0x7F, 0x80, 60001, -70000, INT_MAX, INT_MIN}) {
    SCOPED_TRACE(data);
    const std::string record = testing::ZunRecord("Ivanov", data, 42);
    const std::string entry = encoder.MakeEntry(7, record);
    std::string decoded = testing::ZunRecord("Petrov", 0, 99);
    filter->Decode(entry, decoded);
    EXPECT_EQ(decoded, testing::ZunRecord("Petrov", data, 99));
  }
}

}  // namespace
}  // namespace zuna::datfile::view_internal
