#include "runtime/values/collation.h"

#include <gtest/gtest.h>

#include <bitset>
#include <string>

#include "runtime/values/code_page.h"
#include "runtime/values/locale.h"

namespace zuna::values {
namespace {

bool IsPermutation(const CollationTable& table) {
  std::bitset<256> seen;
  for (uint8_t w : table) seen[w] = true;
  return seen.all();
}

uint8_t W8(const CollationTable& t, unsigned code) { return t[code]; }

// ---------------------------------------------------------------------------
// Building the table.

TEST(CollationTableTest, RankedRuleDealsOutTheListedCodes) {
  // Listed d c b a: their codes 97..100 in ascending order go to them in
  // list order.
  const CollationTable t = CollationFromSequence("dcba");
  EXPECT_EQ(t['d'], 97);
  EXPECT_EQ(t['c'], 98);
  EXPECT_EQ(t['b'], 99);
  EXPECT_EQ(t['a'], 100);
  EXPECT_EQ(t['e'], 101);  // unlisted keep their own code
  EXPECT_EQ(t['A'], 65);
  EXPECT_EQ(t[0], 0);
  EXPECT_EQ(t[255], 255);
}

TEST(CollationTableTest, RepeatsAreDroppedFirstOccurrenceCounting) {
  const CollationTable t = CollationFromSequence("babab");
  EXPECT_EQ(t['b'], 97);
  EXPECT_EQ(t['a'], 98);
}

TEST(CollationTableTest, InterleavedCaseSequence) {
  // a A b B: codes 65 66 97 98 dealt out in that order.
  const CollationTable t = CollationFromSequence("aAbB");
  EXPECT_EQ(t['a'], 65);
  EXPECT_EQ(t['A'], 66);
  EXPECT_EQ(t['b'], 97);
  EXPECT_EQ(t['B'], 98);
}

// All printable codes, highest first: 254 253 ... 128 126 125 ... 32.
std::string PrintableDescending() {
  std::string s;
  for (int c = 254; c >= 128; --c) s.push_back(static_cast<char>(c));
  for (int c = 126; c >= 32; --c) s.push_back(static_cast<char>(c));
  return s;
}

TEST(CollationTableTest, ExactlyThe222PrintableCodesAreLaidOver) {
  const std::string seq = PrintableDescending();
  ASSERT_EQ(seq.size(), 222u);
  const CollationTable t = CollationFromSequence(seq);
  // First 95 (254 down to 160) take 32..126, the next 127 (159 down to 128,
  // then 126 down to 32) take 128..254.
  struct Row {
    unsigned code, weight;
  } rows[] = {{254, 32},  {253, 33},  {160, 126}, {159, 128},
              {128, 159}, {126, 160}, {32, 254},  {0, 0},
              {31, 31},   {127, 127}, {255, 255}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    EXPECT_EQ(W8(t, row.code), row.weight);
  }
}

TEST(CollationTableTest, A222ListNamingAControlCodeIsRankedInstead) {
  // 32..125, 128..254, then code 1; '~' (126) is missing.  Laid over, code
  // 128 would take weight 126 while the unlisted '~' kept it too, so the
  // list is ranked: the sorted codes 1, 32..125, 128..254 go out in list
  // order.
  std::string seq;
  for (int c = 32; c <= 125; ++c) seq.push_back(static_cast<char>(c));
  for (int c = 128; c <= 254; ++c) seq.push_back(static_cast<char>(c));
  seq.push_back('\x01');
  ASSERT_EQ(seq.size(), 222u);
  const CollationTable t = CollationFromSequence(seq);
  struct Row {
    unsigned code, weight;
  } rows[] = {{32, 1},    {33, 32}, {125, 124}, {128, 125}, {129, 128},
              {254, 253}, {1, 254}, {126, 126}, {127, 127}, {0, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    EXPECT_EQ(W8(t, row.code), row.weight);
  }
  EXPECT_TRUE(IsPermutation(t));
}

TEST(CollationTableTest, A222ListWithRepeatsIsRanked) {
  // 'A', then the printable codes without 'B' (so 'A' repeats), then code
  // 2: 222 distinct characters, ranked among the codes 2, 32..65, 67..254.
  std::string seq = "A";
  for (int c = 32; c <= 126; ++c) {
    if (c != 'B') seq.push_back(static_cast<char>(c));
  }
  for (int c = 128; c <= 254; ++c) seq.push_back(static_cast<char>(c));
  seq.push_back('\x02');  // 'A' repeated inside, 'B' replaced by code 2
  const CollationTable t = CollationFromSequence(seq);
  EXPECT_EQ(t['A'], 2);   // first listed: the smallest listed code
  EXPECT_EQ(t[' '], 32);  // second listed: the next code
  EXPECT_EQ(t['@'], 64);
  EXPECT_EQ(t['C'], 65);  // 'A' and 'B' gone from the middle
  EXPECT_EQ(t[2], 254);
  EXPECT_EQ(t['B'], 66);  // unlisted
  EXPECT_TRUE(IsPermutation(t));
}

TEST(CollationTableTest, OemFormRanksTheSequenceAmong866Codes) {
  // «Я€А»: the euro sign has no 866 form and drops out; Я (9F) and А (80)
  // swap their 866 codes, and the question mark keeps its own weight.
  const CollationTable t = OemCollationFromSequence(W("Я€А"));
  EXPECT_EQ(W8(t, 0x9F), 0x80);
  EXPECT_EQ(W8(t, 0x80), 0x9F);
  EXPECT_EQ(W8(t, '?'), '?');
  EXPECT_EQ(W8(t, 0x88), 0x88);
  EXPECT_TRUE(IsPermutation(t));
  EXPECT_EQ(OemCollationFromSequence(""), IdentityCollation());
  // The WINDOWS order over 866 is still a permutation.
  EXPECT_TRUE(IsPermutation(OemCollationFromSequence(SystemCollationSequence())));
}

TEST(CollationTableTest, SystemOrderIsTheDocumentedOne) {
  const std::string seq = SystemCollationSequence();
  ASSERT_EQ(seq.size(), 253u);  // codes 2..254, each once
  std::bitset<256> seen;
  for (char c : seq) seen[static_cast<uint8_t>(c)] = true;
  EXPECT_EQ(seen.count(), 253u);
  EXPECT_FALSE(seen[0] || seen[1] || seen[255]);

  const CollationTable t = CollationFromSequence(seq);
  // Controls 2..31, then 127 and 98h, then the blank.
  EXPECT_EQ(t[2], 2);
  EXPECT_EQ(t[31], 31);
  EXPECT_EQ(t[127], 32);
  EXPECT_EQ(t[0x98], 33);
  EXPECT_EQ(t[' '], 34);
  EXPECT_EQ(t[255], 255);   // я stays on top
  EXPECT_EQ(t[0xDF], 254);  // Я just below it

  // Ascending chains, in 1251 bytes.
  const std::string chains[] = {
      // symbols < digits < Latin (upper before lower) < Cyrillic
      std::string("!") +
          "\xAB"
          "\xB9"
          "09AaBbZz" +
          "\xC0\xE0\xC1\xE1",
      // Г г Ґ ґ Д
      "\xC3\xE3\xA5\xB4\xC4",
      // Е е Ё ё Є є Ж
      "\xC5\xE5\xA8\xB8\xAA\xBA\xC6",
      // И и І і Ї ї Й й Ј ј К
      "\xC8\xE8\xB2\xB3\xAF\xBF\xC9\xE9\xA3\xBC\xCA",
      // У у Ў ў Ф,  Ю ю Я я
      "\xD3\xF3\xA1\xA2\xD4\xDE\xFE\xDF\xFF",
      // µ sorts as a symbol: after the no-break space, before the digits
      "\xA0\xB5"
      "0",
  };
  for (const std::string& chain : chains) {
    SCOPED_TRACE(Cp1251ToUtf8(chain));
    for (size_t i = 1; i < chain.size(); ++i) {
      EXPECT_LT(t[static_cast<uint8_t>(chain[i - 1])],
                t[static_cast<uint8_t>(chain[i])])
          << "at " << i;
    }
  }
}

TEST(CollationTableTest, EveryBuiltTableIsAPermutation) {
  const std::string sequences[] = {"",
                                   "a",
                                   "zyx",
                                   "aAbB",
                                   PrintableDescending(),
                                   SystemCollationSequence(),
                                   std::string("\xFF\x00\x01", 3)};
  for (const std::string& seq : sequences) {
    SCOPED_TRACE(seq.size());
    EXPECT_TRUE(IsPermutation(CollationFromSequence(seq)));
  }
}

// ---------------------------------------------------------------------------
// Comparison.

TEST(CompareStringsTest, DefaultTables) {
  const LocaleTables t = DefaultLocale();
  struct Row {
    std::string a, b;
    int expected;  // the exact weight difference
  } rows[] = {
      {"abc", "abc  ", 0},
      {"abc  ", "abc", 0},
      {"", "", 0},
      {"", "   ", 0},
      {"abc", "abd", -1},
      {"a", "B", 'a' - 'B'},  // 31: lower case sorts above upper
      {"abc", "ab", 'c' - ' '},
      {std::string("ab\x01"), "ab", 1 - ' '},  // below the padding blank
      {"\xC0", "z", 0xC0 - 'z'},
      {"b", "abc", 1},  // first difference decides, not length
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.a + "|" + row.b);
    EXPECT_EQ(CompareStrings(row.a, row.b, t), row.expected);
  }
}

TEST(CompareStringsTest, NoCaseUpperCasesBothSidesFirst) {
  const LocaleTables t = DefaultLocale();
  EXPECT_EQ(CompareStringsNoCase("abc", "ABC", t), 0);
  EXPECT_EQ(CompareStringsNoCase("a", "B", t), 'A' - 'B');
  EXPECT_EQ(CompareStringsNoCase("Smith ", "SMITH", t), 0);
  EXPECT_NE(CompareStrings("abc", "ABC", t), 0);
}

TEST(CompareStringsTest, EqualWeightsStopTheWalkWithoutDigraphs) {
  LocaleTables t = DefaultLocale();
  t.collation['y'] = 'x';  // a hand-made tie
  EXPECT_EQ(CompareStrings("xb", "ya", t), 0);
  EXPECT_EQ(CompareStrings("xb", "xa", t), 1);
}

TEST(CompareStringsTest, CollationSequenceReordersLetters) {
  LocaleTables t = DefaultLocale();
  t.collation = CollationFromSequence("aAbB");
  EXPECT_LT(CompareStrings("a", "A", t), 0);
  EXPECT_LT(CompareStrings("A", "b", t), 0);
  EXPECT_LT(CompareStrings("b", "B", t), 0);
  EXPECT_LT(CompareStrings("aB", "Aa", t), 0);
}

LocaleTables WithDigraphs() {
  LocaleTables t = DefaultLocale();
  t.digraphs = {{'&', 'A', 'E'}, {'#', 'A', 'E'}, {'%', 'A', 'O'}};
  return t;
}

TEST(CompareStringsTest, DigraphsCompareThroughTheirExpansion) {
  const LocaleTables t = WithDigraphs();
  struct Row {
    std::string a, b;
    int expected;
  } rows[] = {
      // 'A' = 'A', then 'E' against the blank of the unexpanded side.
      {"&", "AZ", 'E' - ' '},
      {"AZ", "&", ' ' - 'E'},
      {"&", "AE", 'E' - ' '},
      {"AEB", "&", ' ' - 'E'},
      {"&", "B", 'A' - 'B'},
      {"&", "", 'A' - ' '},
      {"&", "&", 0},
      // Two digraphs with one expansion are back in step: the walk goes on.
      {"&b", "#b", 0},
      {"&b", "#c", 'b' - 'c'},
      // Different expansions with one first character: the second decides.
      {"&", "%", 'E' - 'O'},
      // Without any digraph among the two, the plain difference.
      {"xa", "xb", -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.a + "|" + row.b);
    EXPECT_EQ(CompareStrings(row.a, row.b, t), row.expected);
  }
}

TEST(CompareStringsTest, DigraphsUseTheCollationWeights) {
  LocaleTables t = WithDigraphs();
  t.collation = CollationFromSequence("EA");  // E now weighs 65, A 69
  EXPECT_EQ(CompareStrings("&", "B", t), 69 - 'B');
  EXPECT_EQ(CompareStrings("&", "AZ", t), 65 - ' ');
}

TEST(CompareStringsTest, NoCaseWithDigraphsFoldsBeforeExpanding) {
  LocaleTables t = DefaultLocale();
  t.digraphs = {{'X', 'A', 'B'}};  // only the upper-case X is a digraph
  EXPECT_EQ(CompareStringsNoCase("x", "AC", t), 'B' - ' ');
  EXPECT_EQ(CompareStrings("x", "AC", t), 'x' - 'A');
}

}  // namespace
}  // namespace zuna::values
