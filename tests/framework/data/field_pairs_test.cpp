#include "framework/data/field_pairs.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "framework/data/scripted_host.h"
#include "runtime/values/code_page.h"
#include "runtime/values/locale.h"

namespace zuna::framework {
namespace {

using values::RefByte;
using values::RefLong;
using values::RefReal;
using values::RefShort;
using values::RefString;
using values::VariableRef;
using values::W;

// A fixed, blank-padded STRING(n) for tests.
template <size_t N>
struct Text {
  char data[N];
  Text() { std::memset(data, ' ', N); }
  explicit Text(std::string_view s) : Text() { Set(s); }
  void Set(std::string_view s) {
    std::memset(data, ' ', N);
    std::memcpy(data, s.data(), std::min(N, s.size()));
  }
  std::string str() const { return std::string(data, N); }
  VariableRef ref() { return RefString(data, N); }
};

class FieldPairsTest : public ::testing::Test {
 protected:
  FieldPairsTest() : installed_(host_) {}
  ScriptedHost host_;
  ScopedHost installed_;
};

TEST_F(FieldPairsTest, CopiesEveryPairInBothDirectionsWithConversions) {
  Text<10> name_left("Petrov");
  Text<6> name_right("xxxxxx");
  int32_t long_left = 76038;
  int16_t short_right = 0;
  double real_left = 1e10;
  int16_t saturated = 0;
  uint8_t byte_left = 200;
  Text<4> byte_as_text;

  FieldPairsClass pairs;
  pairs.Init();
  pairs.AddPair(name_left.ref(), name_right.ref());
  pairs.AddPair(RefLong(long_left), RefShort(short_right));
  pairs.AddPair(RefReal(real_left), RefShort(saturated));
  pairs.AddPair(RefByte(byte_left), byte_as_text.ref());
  pairs.AssignLeftToRight();

  EXPECT_EQ(name_right.str(), "Petrov");        // cut to STRING(6)
  EXPECT_EQ(short_right, 32767);                // 76038 saturates in a SHORT
  EXPECT_EQ(saturated, 32767);
  EXPECT_EQ(byte_as_text.str(), "200 ");        // number as text, padded

  name_right.Set("Ivan");
  short_right = -5;
  pairs.AssignRightToLeft();
  EXPECT_EQ(name_left.str(), "Ivan      ");     // padded to STRING(10)
  EXPECT_EQ(long_left, -5);
  EXPECT_EQ(real_left, 32767.0);
  EXPECT_EQ(byte_left, 200);
}

TEST_F(FieldPairsTest, ClearBlanksTextAndZeroesNumbersOnOneSideOnly) {
  Text<5> text("abc");
  int32_t number = 42;
  Text<5> other_text("def");
  int32_t other_number = 7;
  FieldPairsClass pairs;
  pairs.Init();
  pairs.AddPair(text.ref(), other_text.ref());
  pairs.AddPair(RefLong(number), RefLong(other_number));

  pairs.ClearLeft();
  EXPECT_EQ(text.str(), "     ");
  EXPECT_EQ(number, 0);
  EXPECT_EQ(other_text.str(), "def  ");
  EXPECT_EQ(other_number, 7);

  pairs.ClearRight();
  EXPECT_EQ(other_text.str(), "     ");
  EXPECT_EQ(other_number, 0);
}

TEST_F(FieldPairsTest, EqualStopsAtTheFirstDifferentPair) {
  Text<8> a("Smith");
  Text<12> b("Smith");  // longer, more padding: still equal
  int32_t n = 5;
  double r = 5.0;       // compared as numbers across types
  FieldPairsClass pairs;
  pairs.Init();
  pairs.AddPair(a.ref(), b.ref());
  pairs.AddPair(RefLong(n), RefReal(r));
  EXPECT_EQ(pairs.EqualLeftRight(), 1);
  EXPECT_EQ(pairs.Equal(), 1);

  r = 5.5;
  EXPECT_EQ(pairs.EqualLeftRight(), 0);
  r = 5.0;
  b.Set("smith");  // case matters for the plain comparison
  EXPECT_EQ(pairs.Equal(), 0);
}

TEST_F(FieldPairsTest, EmptyListComparesEqualAndCopiesNothing) {
  FieldPairsClass pairs;
  EXPECT_EQ(pairs.EqualLeftRight(), 1);  // no list at all
  pairs.Init();
  EXPECT_EQ(pairs.EqualLeftRight(), 1);
  pairs.AssignLeftToRight();
  pairs.ClearLeft();
  EXPECT_TRUE(pairs.List->empty());

  BufferedPairsClass buffered;
  buffered.Init();
  EXPECT_EQ(buffered.EqualLeftBuffer(), 1);
  EXPECT_EQ(buffered.EqualRightBuffer(1), 1);
  EXPECT_TRUE(host_.MessageBoxes().empty());
}

TEST_F(FieldPairsTest, AddPairBeforeInitAssertsAndStops) {
  int32_t a = 1, b = 2;
  FieldPairsClass pairs;
  pairs.AddPair(RefLong(a), RefLong(b));
  ASSERT_EQ(host_.Assertions().size(), 1u);
  EXPECT_NE(host_.Assertions()[0].find("FieldPairs queue not initialized"),
            std::string::npos);
  EXPECT_EQ(host_.Stops().size(), 1u);
  EXPECT_EQ(pairs.List, nullptr);

  BufferedPairsClass buffered;
  buffered.AddPair(RefLong(a), RefLong(b));
  EXPECT_EQ(host_.Assertions().size(), 2u);
  EXPECT_EQ(host_.Stops().size(), 2u);
}

TEST_F(FieldPairsTest, InitTwiceLeavesAnEmptyListAndKillDropsIt) {
  int32_t a = 1, b = 2;
  BufferedPairsClass pairs;
  pairs.Init();
  pairs.AddPair(RefLong(a), RefLong(b));
  pairs.Init();
  ASSERT_NE(pairs.List, nullptr);
  EXPECT_TRUE(pairs.List->empty());
  pairs.AddPair(RefLong(a), RefLong(b));
  pairs.Kill();
  EXPECT_EQ(pairs.List, nullptr);
  pairs.Kill();  // twice is harmless
  EXPECT_TRUE(host_.MessageBoxes().empty());
}

TEST_F(FieldPairsTest, BufferStartsEmptyWithLeftsTypeAndRoundTrips) {
  Text<6> name("Sidorov");  // cut to STRING(6): "Sidoro"
  int32_t date = 76038;
  Text<6> right_name("Other");
  int32_t right_date = 1;
  BufferedPairsClass pairs;
  pairs.Init();
  pairs.AddPair(name.ref(), right_name.ref());
  pairs.AddPair(RefLong(date), RefLong(right_date));

  const FieldPairRow& first = (*pairs.List)[0];
  EXPECT_EQ(first.Buffer.type, values::VarType::kString);
  EXPECT_EQ(first.Buffer.size, 6u);
  EXPECT_EQ(values::ReadString(first.Buffer), "      ");
  EXPECT_EQ(values::ReadLong((*pairs.List)[1].Buffer), 0);
  EXPECT_EQ(pairs.EqualLeftBuffer(1), 0);

  pairs.AssignLeftToBuffer();
  EXPECT_EQ(pairs.EqualLeftBuffer(1), 1);
  EXPECT_EQ(pairs.EqualRightBuffer(1), 0);

  name.Set("Zzz");
  date = 5;
  pairs.AssignBufferToLeft();
  EXPECT_EQ(name.str(), "Sidoro");
  EXPECT_EQ(date, 76038);

  pairs.AssignBufferToRight();
  EXPECT_EQ(right_name.str(), "Sidoro");
  EXPECT_EQ(right_date, 76038);
  EXPECT_EQ(pairs.EqualRightBuffer(1), 1);

  right_date = 2;
  pairs.AssignRightToBuffer();
  EXPECT_EQ(values::ReadLong((*pairs.List)[1].Buffer), 2);
  EXPECT_EQ(pairs.EqualLeftBuffer(1), 0);
}

TEST_F(FieldPairsTest, BufferedComparisonIgnoresLatinCaseByDefault) {
  Text<10> name("ivanov");
  Text<10> other;
  BufferedPairsClass pairs;
  pairs.Init();
  pairs.AddPair(name.ref(), other.ref());
  pairs.AssignLeftToBuffer();
  name.Set("IVANOV");
  EXPECT_EQ(pairs.EqualLeftBuffer(), 1);   // no argument: case-insensitive
  EXPECT_EQ(pairs.EqualLeftBuffer(0), 1);
  EXPECT_EQ(pairs.EqualLeftBuffer(1), 0);  // as values: different
  name.Set("IVANOVA");
  EXPECT_EQ(pairs.EqualLeftBuffer(), 0);
}

TEST_F(FieldPairsTest, CyrillicCaseIsIgnoredOnlyWhereTheCaseTablePairsIt) {
  // A case table pairing only И/и and Н/н: "ин" matches "ИН", but "иван"
  // does not match "ИВАН" (в and а are not paired).
  values::LocaleTables tables =
      values::LoadLocale({}, "VANCASE=" + W("ИН,ин"));
  const bool installed = values::InstallLocale(std::move(tables));
  const bool ours = values::ToUpper(W("и")[0]) == W("И")[0] &&
                    values::ToUpper(W("в")[0]) == W("в")[0];
  if (!installed && !ours) {
    GTEST_SKIP() << "the process's locale tables were loaded before this "
                    "test (run it alone, as ctest does)";
  }
  Text<10> name(W("ин"));
  Text<10> other;
  BufferedPairsClass pairs;
  pairs.Init();
  pairs.AddPair(name.ref(), other.ref());
  pairs.AssignLeftToBuffer();
  name.Set(W("ИН"));
  EXPECT_EQ(pairs.EqualLeftBuffer(), 1);

  name.Set(W("иван"));
  pairs.AssignLeftToBuffer();
  name.Set(W("ИВАН"));
  EXPECT_EQ(pairs.EqualLeftBuffer(), 0);
}

TEST_F(FieldPairsTest, ArraysAreCopiedAndComparedElementByElement) {
  int32_t left[3] = {1, 2, 3};
  int16_t right[2] = {0, 0};  // fewer elements: only two are copied
  FieldPairsClass pairs;
  pairs.Init();
  pairs.AddPair(values::RefArray(RefLong(left[0]), {3}),
                values::RefArray(RefShort(right[0]), {2}));
  pairs.AssignLeftToRight();
  EXPECT_EQ(right[0], 1);
  EXPECT_EQ(right[1], 2);
  EXPECT_EQ(pairs.EqualLeftRight(), 1);
  right[1] = 9;
  EXPECT_EQ(pairs.EqualLeftRight(), 0);
}

}  // namespace
}  // namespace zuna::framework
