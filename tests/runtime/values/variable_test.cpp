#include "runtime/values/variable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "runtime/values/error_state.h"
#include "runtime/values/evaluator.h"

namespace zuna::values {
namespace {

std::string Evaluate(std::string_view text) {
  ClearError();
  std::string result = EVALUATE(text);
  EXPECT_EQ(ERRORCODE(), 0) << text << ": " << ERROR();
  return result;
}

TEST(VariableTest, ReadsEveryType) {
  uint8_t byte = 200;
  int16_t short_value = -1234;
  uint16_t ushort = 65000;
  int32_t long_value = -7;
  uint32_t ulong = 4000000000u;
  float sreal = 0.1f;
  double real = 2.5;
  char string[5] = {'a', 'b', ' ', ' ', ' '};
  char cstring[6] = {'x', 'y', '\0', 'z', 'z', 'z'};
  char pstring[5] = {3, 'p', 'q', 'r', 's'};

  struct Case {
    const char* label;
    VariableRef ref;
    double real;
    int32_t long_value;
    const char* text;
  } cases[] = {
      {"BYTE", RefByte(byte), 200, 200, "200"},
      {"SHORT", RefShort(short_value), -1234, -1234, "-1234"},
      {"USHORT", RefUShort(ushort), 65000, 65000, "65000"},
      {"LONG", RefLong(long_value), -7, -7, "-7"},
      {"ULONG", RefULong(ulong), 4000000000.0, 2147483647, "4000000000"},
      {"SREAL", RefSReal(sreal), static_cast<double>(0.1f), 0, "0.1"},
      {"REAL", RefReal(real), 2.5, 2, "2.5"},
      {"STRING", RefString(string, 5), 0, 0, "ab   "},
      {"CSTRING", RefCString(cstring, 6), 0, 0, "xy"},
      {"PSTRING", RefPString(pstring, 5), 0, 0, "pqr"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_DOUBLE_EQ(ReadReal(c.ref), c.real);
    EXPECT_EQ(ReadLong(c.ref), c.long_value);
    EXPECT_EQ(ReadString(c.ref), c.text);
  }
}

TEST(VariableTest, StringsReadAsTheNumberTheyBeginWith) {
  char text[8];
  std::memcpy(text, " 12.5e1x", 8);
  const VariableRef ref = RefString(text, 8);
  EXPECT_DOUBLE_EQ(ReadReal(ref), 125.0);
  EXPECT_EQ(ReadLong(ref), 125);
}

TEST(VariableTest, ReadsAreUnalignedAndBounded) {
  // A LONG at an odd offset of a packed buffer.
  unsigned char buffer[9] = {0xFF, 0x78, 0x56, 0x34, 0x12, 0xFF, 0, 0, 0};
  VariableRef ref{VarType::kLong, buffer + 1, 4};
  EXPECT_EQ(ReadLong(ref), 0x12345678);
  ref.size = 3;  // smaller than a LONG: reads as 0, ignores writes
  EXPECT_EQ(ReadLong(ref), 0);
  WriteLong(ref, 1);
  EXPECT_EQ(buffer[1], 0x78);
  VariableRef null_ref{VarType::kReal, nullptr, 8};
  EXPECT_EQ(ReadReal(null_ref), 0.0);
  EXPECT_EQ(ReadString(null_ref), "0");
  EXPECT_EQ(ReadString(RefString(nullptr, 4)), "");
  WriteReal(null_ref, 1.0);  // no effect, no crash

  char unterminated[3] = {'a', 'b', 'c'};
  EXPECT_EQ(ReadString(RefCString(unterminated, 3)), "abc");
  char lying[3] = {char(200), 'a', 'b'};  // length byte beyond the buffer
  EXPECT_EQ(ReadString(RefPString(lying, 3)), "ab");
  EXPECT_EQ(ReadString(RefPString(lying, 0)), "");
}

TEST(VariableTest, NaNReadsAsZero) {
  double nan = std::numeric_limits<double>::quiet_NaN();
  float fnan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(ReadReal(RefReal(nan)), 0.0);
  EXPECT_EQ(ReadLong(RefReal(nan)), 0);
  EXPECT_EQ(ReadReal(RefSReal(fnan)), 0.0);
}

TEST(VariableTest, WritesSaturateAndPad) {
  uint8_t byte = 0;
  int16_t short_value = 0;
  uint16_t ushort = 0;
  int32_t long_value = 0;
  uint32_t ulong = 0;
  float sreal = 0;
  double real = 0;

  WriteReal(RefByte(byte), 300.7);
  EXPECT_EQ(byte, 255);
  WriteReal(RefByte(byte), -5);
  EXPECT_EQ(byte, 0);
  WriteReal(RefShort(short_value), -40000);
  EXPECT_EQ(short_value, -32768);
  WriteLong(RefUShort(ushort), -1);
  EXPECT_EQ(ushort, 0);
  WriteReal(RefLong(long_value), 1e300);
  EXPECT_EQ(long_value, 2147483647);
  WriteReal(RefLong(long_value), -7.9);
  EXPECT_EQ(long_value, -7);
  WriteReal(RefLong(long_value), std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(long_value, 0);
  WriteReal(RefULong(ulong), 5e9);
  EXPECT_EQ(ulong, 4294967295u);
  WriteReal(RefSReal(sreal), 1e300);
  EXPECT_EQ(sreal, std::numeric_limits<float>::max());
  WriteString(RefReal(real), "12.5abc");
  EXPECT_EQ(real, 12.5);
  WriteString(RefLong(long_value), "  -42");
  EXPECT_EQ(long_value, -42);

  char string[5];
  WriteString(RefString(string, 5), "ab");
  EXPECT_EQ(std::string(string, 5), "ab   ");
  WriteString(RefString(string, 5), "abcdefg");
  EXPECT_EQ(std::string(string, 5), "abcde");
  WriteLong(RefString(string, 5), 12);
  EXPECT_EQ(std::string(string, 5), "12   ");
  WriteReal(RefString(string, 5), 0.5);
  EXPECT_EQ(std::string(string, 5), "0.5  ");

  char cstring[4];
  WriteString(RefCString(cstring, 4), "abcdef");
  EXPECT_EQ(std::string(cstring), "abc");
  char pstring[4];
  WriteString(RefPString(pstring, 4), "abcdef");
  EXPECT_EQ(pstring[0], 3);
  EXPECT_EQ(std::string(pstring + 1, 3), "abc");
}

TEST(VariableTest, ArrayElements) {
  int32_t grid[2][3] = {{11, 12, 13}, {21, 22, 23}};
  const VariableRef ref = RefArray(RefLong(grid[0][0]), {2, 3});
  EXPECT_EQ(ref.element_count(), 6u);
  struct Case {
    std::vector<int32_t> subscripts;
    int32_t expected;  // 0 with a null address
    bool valid;
  } cases[] = {
      {{1, 1}, 11, true}, {{2, 3}, 23, true},    {{2}, 21, true},
      {{}, 11, true},     {{0, 1}, 0, false},    {{3, 1}, 0, false},
      {{1, 4}, 0, false}, {{1, 1, 1}, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.subscripts));
    const VariableRef element =
        ref.Element(c.subscripts.data(), c.subscripts.size());
    EXPECT_EQ(element.address != nullptr, c.valid);
    EXPECT_EQ(element.dimension_count, 0);
    EXPECT_EQ(ReadLong(element), c.expected);
  }
  const VariableRef huge = RefArray(RefLong(grid[0][0]), {65536, 65536, 65536});
  EXPECT_EQ(huge.element_count(), 4294967295u);
}

class VariableInExpressionTest : public ::testing::Test {
 protected:
  void SetUp() override { PUSHBIND(); }
  void TearDown() override { POPBIND(); }
};

TEST_F(VariableInExpressionTest, EachTypeInAnExpression) {
  uint8_t byte = 200;
  uint32_t ulong = 4000000000u;
  float sreal = 0.25f;
  char name[6] = {'I', 'v', 'a', 'n', ' ', ' '};
  char cname[6] = {'P', 'e', 't', 'r', '\0', 'x'};
  BIND("b", RefByte(byte));
  BIND("u", RefULong(ulong));
  BIND("f", RefSReal(sreal));
  BIND("name", RefString(name, 6));
  BIND("cname", RefCString(cname, 6));
  EXPECT_EQ(Evaluate("b+1"), "201");
  EXPECT_EQ(Evaluate("u>2147483647"), "1");  // ULONG compares as REAL
  EXPECT_EQ(Evaluate("f*4"), "1");
  EXPECT_EQ(Evaluate("name&'|'"), "Ivan  |");
  EXPECT_EQ(Evaluate("name='Ivan'"), "1");
  EXPECT_EQ(Evaluate("cname&'|'"), "Petr|");
  EXPECT_EQ(Evaluate("len(name)"), "6");
}

TEST_F(VariableInExpressionTest, SubstringsAndSubscripts) {
  char text[6] = {'a', 'b', 'c', 'd', 'e', 'f'};
  int32_t numbers[3] = {10, 20, 30};
  char names[2][3] = {{'a', 'b', 'c'}, {'x', 'y', 'z'}};
  int32_t two = 2;
  int32_t grid[2][2] = {{1, 2}, {3, 4}};
  BIND("t", RefString(text, 6));
  BIND("n", RefArray(RefLong(numbers[0]), {3}));
  BIND("names", RefArray(RefString(names[0], 3), {2}));
  BIND("two", RefLong(two));
  BIND("g", RefArray(RefLong(grid[0][0]), {2, 2}));
  struct Row {
    const char* text;
    const char* expected;
  } rows[] = {
      {"t[2:4]", "bcd"},
      {"t[2 : 4]", "bcd"},
      {"t(2:4)", "bcd"},
      {"t[3]", "c"},
      {"t[5:10]", "ef"},
      {"t[0:2]", "ab"},
      {"t[4:2]", ""},
      {"t[-5:-1]", ""},
      // ':' continues a name, so "two:two" would be one name: blanks part them.
      {"t[two : two+1]", "bc"},
      {"n[2]", "20"},
      {"n(3)+n[1]", "40"},
      {"n[4]", "0"},  // outside the array: 0
      {"n[0]", "0"},
      {"n[2][1:1]", "2"},
      {"n", "10"},  // an array without subscripts reads its first element
      {"names[2]", "xyz"},
      {"names[2][2:3]", "yz"},
      {"names[1,]", ""},  // rejected below; placeholder never reached
      {"g[2,1]", "3"},
      {"g[2]", "3"},
      {"g(1,2)*10", "20"},
  };
  for (const Row& row : rows) {
    if (std::string_view(row.text) == "names[1,]") continue;
    SCOPED_TRACE(row.text);
    EXPECT_EQ(Evaluate(row.text), row.expected);
  }
  for (const char* bad : {"names[1,]", "t[1,2]", "n[1,2]", "g[1,1,1]", "t[1:2",
                          "t[1)", "t[]", "n[1][1:2][1]", "t[1:2:3]"}) {
    SCOPED_TRACE(bad);
    ClearError();
    EXPECT_EQ(EVALUATE(bad), "");
    EXPECT_EQ(ERRORCODE(), 1010);
  }
}

}  // namespace
}  // namespace zuna::values
