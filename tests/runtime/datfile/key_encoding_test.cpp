#include "runtime/datfile/key_encoding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/values/code_page.h"
#include "tests/runtime/datfile/key_test_util.h"
#include "tests/support/status_matchers.h"
#include "tests/support/zun_declaration.h"

namespace zuna::datfile {
namespace {

using key_test::Hex;
using key_test::Unhex;
using values::W;

// BYTE@0 SHORT@1 LONG@3 REAL@7 DECIMAL(5,2)@15 USHORT@18 ULONG@20 SREAL@24.
FileDecl NumberFile() {
  FileDecl file;
  file.label = "NUM";
  file.record_length = 28;
  auto field = [](FieldType type, uint16_t offset, uint16_t size) {
    FieldDecl f;
    f.type = type;
    f.offset = offset;
    f.size = size;
    return f;
  };
  file.fields = {
      field(FieldType::kByte, 0, 1),     field(FieldType::kShort, 1, 2),
      field(FieldType::kLong, 3, 4),     field(FieldType::kReal, 7, 8),
      field(FieldType::kDecimal, 15, 3), field(FieldType::kUShort, 18, 2),
      field(FieldType::kULong, 20, 4),   field(FieldType::kSReal, 24, 4)};
  return file;
}

KeyDecl KeyOn(std::vector<uint16_t> fields, bool nocase = false,
              bool opt = false) {
  KeyDecl key;
  key.label = "K";
  for (uint16_t f : fields) key.components.push_back({f});
  key.duplicates = true;
  key.nocase = nocase;
  key.optional = opt;
  return key;
}

KeyEncoder Encoder(const FileDecl& file, const KeyDecl& key,
                   const values::LocaleTables& tables) {
  KeyEncoder encoder;
  EXPECT_OK(KeyEncoder::Create(file, key, tables, &encoder));
  return encoder;
}

std::string Value(const KeyEncoder& encoder, const std::string& record) {
  std::string value(encoder.key_length(), '\0');
  encoder.EncodeValue(record, value);
  return value;
}

const char kCyrillicCase[] =
    "VANCASE=АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ,"
    "абвгдеёжзийклмнопрстуфхцчшщъыьэюя\n";

values::LocaleTables Tables(const std::string& env_utf8) {
  return values::LoadLocale(values::RegionalSettings{}, W(env_utf8));
}

// --- Numbers. ---

TEST(KeyEncodingTest, NumbersBecomeBigEndianWithTheirOrderInTheBytes) {
  struct Row {
    const char* what;
    uint16_t field;
    uint16_t offset;
    const char* stored;   // the record bytes (little-endian, as in memory)
    const char* encoded;  // the key value
  };
  const Row rows[] = {
      {"BYTE C8", 0, 0, "C8", "C8"},
      {"SHORT -1", 1, 1, "FF FF", "7F FF"},
      {"SHORT +1", 1, 1, "01 00", "80 01"},
      {"SHORT -32768", 1, 1, "00 80", "00 00"},
      {"SHORT 32767", 1, 1, "FF 7F", "FF FF"},
      {"LONG 0", 2, 3, "00 00 00 00", "80 00 00 00"},
      {"LONG -1", 2, 3, "FF FF FF FF", "7F FF FF FF"},
      {"LONG 76038 (5 March 2009)", 2, 3, "06 29 01 00", "80 01 29 06"},
      {"REAL 0.0", 3, 7, "00 00 00 00 00 00 00 00", "80 00 00 00 00 00 00 00"},
      {"REAL 1.0", 3, 7, "00 00 00 00 00 00 F0 3F", "BF F0 00 00 00 00 00 00"},
      {"REAL -1.0", 3, 7, "00 00 00 00 00 00 F0 BF", "40 0F FF FF FF FF FF FF"},
      {"REAL -2.5", 3, 7, "00 00 00 00 00 00 04 C0", "3F FB FF FF FF FF FF FF"},
      {"DECIMAL +123.45", 4, 15, "01 23 45", "81 23 45"},
      {"DECIMAL -123.45", 4, 15, "F1 23 45", "0E DC BA"},
      {"DECIMAL +0", 4, 15, "00 00 00", "80 00 00"},
      {"USHORT 0x1234", 5, 18, "34 12", "12 34"},
      {"ULONG 0xDEADBEEF", 6, 20, "EF BE AD DE", "DE AD BE EF"},
      {"SREAL 1.0", 7, 24, "00 00 80 3F", "BF 80 00 00"},
      {"SREAL -1.0", 7, 24, "00 00 80 BF", "40 7F FF FF"},
  };
  const FileDecl file = NumberFile();
  const values::LocaleTables tables = values::DefaultLocale();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const KeyEncoder encoder = Encoder(file, KeyOn({row.field}), tables);
    std::string record(file.record_length, '\0');
    const std::string stored = Unhex(row.stored);
    record.replace(row.offset, stored.size(), stored);
    EXPECT_EQ(Hex(Value(encoder, record)), row.encoded);
  }
}

TEST(KeyEncodingTest, ComparingBytesOrdersSignedNumbersAndReals) {
  const FileDecl file = NumberFile();
  const values::LocaleTables tables = values::DefaultLocale();
  const KeyEncoder longs = Encoder(file, KeyOn({2}), tables);
  const KeyEncoder reals = Encoder(file, KeyOn({3}), tables);
  std::mt19937 random(7);
  std::vector<int32_t> numbers = {INT32_MIN, -70000, -1,  0,
                                  1,         255,    256, INT32_MAX};
  std::vector<double> doubles = {-1e300, -2.5, -1.0, -1e-300, 0.0,
                                 1e-300, 1.0,  2.5,  1e300};
  for (int i = 0; i < 200; ++i) {
    numbers.push_back(static_cast<int32_t>(random()));
    doubles.push_back((static_cast<double>(random()) - 2147483648.0) / 977.0);
  }
  auto long_value = [&](int32_t n) {
    std::string record(file.record_length, '\0');
    EncodeFixed32(record.data() + 3, static_cast<uint32_t>(n));
    return Value(longs, record);
  };
  auto real_value = [&](double d) {
    std::string record(file.record_length, '\0');
    std::memcpy(record.data() + 7, &d, 8);  // the record buffer is native
    return Value(reals, record);
  };
  for (size_t i = 0; i < numbers.size(); ++i) {
    for (size_t j = 0; j < numbers.size(); j += 7) {
      EXPECT_EQ(numbers[i] < numbers[j],
                long_value(numbers[i]) < long_value(numbers[j]))
          << numbers[i] << " vs " << numbers[j];
    }
  }
  for (double a : doubles) {
    for (double b : doubles) {
      EXPECT_EQ(a < b, real_value(a) < real_value(b)) << a << " vs " << b;
    }
  }
}

TEST(KeyEncodingTest, ComponentsAreConcatenatedInDeclarationOrder) {
  const FileDecl file = NumberFile();
  const KeyEncoder encoder =
      Encoder(file, KeyOn({1, 0, 2}), values::DefaultLocale());
  std::string record(file.record_length, '\0');
  const std::string bytes = Unhex("05 FE FF 06 29 01 00");  // 5, -2, 76038
  record.replace(0, bytes.size(), bytes);
  EXPECT_EQ(Hex(encoder.MakeEntry(0x01020304, record)),
            "04 03 02 01 7F FE 05 80 01 29 06");
}

// --- Text. ---

TEST(KeyEncodingTest, NoCaseUpperCasesCyrillicThroughTheCaseTable) {
  const FileDecl file = key_test::StringFile(8, true, true);
  const std::string record = key_test::Padded(W("иванов"), 8);
  // И В А Н О В in 1251, then two blanks.
  EXPECT_EQ(
      Hex(Value(Encoder(file, file.keys[0], Tables(kCyrillicCase)), record)),
      "C8 C2 C0 CD CE C2 20 20");
  // Without case pairs Cyrillic letters have no case; ASCII still has.
  EXPECT_EQ(
      Hex(Value(Encoder(file, file.keys[0], values::DefaultLocale()), record)),
      "E8 E2 E0 ED EE E2 20 20");
  EXPECT_EQ(Hex(Value(Encoder(file, file.keys[0], values::DefaultLocale()),
                      "ivan    ")),
            "49 56 41 4E 20 20 20 20");
  // A key without NOCASE keeps the case.
  const FileDecl exact = key_test::StringFile(8, true, false);
  EXPECT_EQ(
      Hex(Value(Encoder(exact, exact.keys[0], Tables(kCyrillicCase)), record)),
      "E8 E2 E0 ED EE E2 20 20");
}

TEST(KeyEncodingTest, CollationTableDecidesTheOrderOfLetters) {
  // Ranked: Е, Ё, Ж take the codes A8, C5, C6 in that order.
  const values::LocaleTables tables =
      Tables(std::string(kCyrillicCase) + "VANCOLSEQ=ЕЁЖ\n");
  const FileDecl file = key_test::StringFile(3, true, false);
  EXPECT_EQ(Hex(Value(Encoder(file, file.keys[0], tables), W("ЁЕЖ"))),
            "C5 A8 C6");
  const FileDecl nocase = key_test::StringFile(3, true, true);
  EXPECT_EQ(Hex(Value(Encoder(nocase, nocase.keys[0], tables), W("ёеж"))),
            "C5 A8 C6");
}

// An OEM file's key weighs 866 codes: the collation sequence, converted to
// 866, ranks its letters among their own 866 codes and leaves every other
// code as it is.  The expected bytes are worked out by hand from 866.
TEST(KeyEncodingTest, OemKeysUpperCaseIn1251ThenWeigh866Codes) {
  const struct {
    std::string env;
    const char* name;
    const char* hex;
  } cases[] = {
      // No tables: no case above 127, and the key is the 866 bytes.
      {"", "Яковлев Пётр",
       "9F AA AE A2 AB A5 A2 20 8F F1 E2 E0"},
      // Е Ё Ж are 85 F0 86 in 866: in that order they take 85 86 F0.
      {std::string(kCyrillicCase) + "VANCOLSEQ=ЕЁЖ\n", "ёЕж", "86 85 F0"},
      {std::string(kCyrillicCase) + "VANCOLSEQ=ЕЁЖ\n", "Дом", "84 8E 8C"},
      // «АаБб…Яя» deals А 80, а 81, … over the 66 codes 80-AF, E0-F1.
      {std::string(kCyrillicCase) +
           "VANCOLSEQ=АаБбВвГгДдЕеЁёЖжЗзИиЙйКкЛлМмНнОоПпРрСсТтУуФфХхЦцЧчШшЩщ"
           "ЪъЫыЬьЭэЮюЯя\n",
       "Яковлев Пётр", "F0 96 9E 84 98 8A 84 20 A0 8C A6 A2"},
  };
  for (const auto& c : cases) {
    const values::LocaleTables tables = Tables(c.env);
    const std::string name = W(c.name);
    FileDecl file = key_test::StringFile(name.size(), true, true);
    file.oem = true;
    EXPECT_EQ(Hex(Value(Encoder(file, file.keys[0], tables), name)), c.hex)
        << c.name;
  }
}

TEST(KeyEncodingTest, OemAndAnsiKeysSortNamesAlike) {
  const std::string env_path = std::string(ZUNA_SOURCE_DIR) + "/app/Zuna.ENV";
  std::FILE* f = std::fopen(env_path.c_str(), "rb");
  ASSERT_NE(f, nullptr) << env_path;
  std::string env;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
    env.append(buf, n);
  std::fclose(f);
  const values::LocaleTables tables =
      values::LoadLocale(values::RegionalSettings{}, env);
  FileDecl ansi = key_test::StringFile(12, true, true);
  FileDecl oem = ansi;
  oem.oem = true;
  const KeyEncoder a = Encoder(ansi, ansi.keys[0], tables);
  const KeyEncoder o = Encoder(oem, oem.keys[0], tables);
  std::vector<std::string> names;
  for (const char* name :
       {"Ёлкин", "Елкин", "ежов", "Жуков", "абрамов", "Яковлев", "эдуардов",
        "Щукин", "Smith", "юрьев", "Ильин", "йогуртов", "Ъ", "ь", "ы"}) {
    names.push_back(key_test::Padded(W(name), 12));
  }
  for (const std::string& x : names) {
    for (const std::string& y : names) {
      EXPECT_EQ(Value(a, x) < Value(a, y), Value(o, x) < Value(o, y))
          << values::Cp1251ToUtf8(x) << " / " << values::Cp1251ToUtf8(y);
    }
  }
  // The shipped sequence puts Ё right after Е, before Ж.
  EXPECT_LT(Value(o, names[1]), Value(o, names[0]));
  EXPECT_LT(Value(o, names[0]), Value(o, names[3]));
  // Every character an OEM file can hold orders alike in both forms, so a
  // view may walk the OEM name key for an order the program compares in
  // 1251.
  std::vector<std::string> singles;
  for (int c = 1; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    if (values::Cp866ToCp1251(values::Cp1251ToCp866(ch)) != ch) continue;
    singles.push_back(key_test::Padded(std::string(1, ch), 12));
  }
  ASSERT_GT(singles.size(), 200u);
  for (size_t i = 1; i < singles.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      ASSERT_EQ(Value(a, singles[j]) < Value(a, singles[i]),
                Value(o, singles[j]) < Value(o, singles[i]))
          << int(uint8_t(singles[j][0])) << " / " << int(uint8_t(singles[i][0]));
    }
  }
}

TEST(KeyEncodingTest, CStringStopsAtNulAndPStringAtItsLength) {
  FileDecl file;
  file.record_length = 10;
  FieldDecl c;
  c.type = FieldType::kCString;
  c.size = 5;
  FieldDecl p;
  p.type = FieldType::kPString;
  p.offset = 5;
  p.size = 5;
  file.fields = {c, p};
  const KeyEncoder encoder =
      Encoder(file, KeyOn({0, 1}), values::DefaultLocale());
  EXPECT_EQ(Hex(Value(encoder, std::string("AB\0XY\x02"
                                           "CDZZ",
                                           10))),
            "41 42 00 00 00 43 44 00 00 00");
}

// --- Register keys. ---

TEST(KeyEncodingTest, RegisterKeysOfZun) {
  const FileDecl zun = testing::ZunDeclaration();
  const values::LocaleTables tables = values::DefaultLocale();
  const KeyEncoder by_date = Encoder(zun, zun.keys[0], tables);
  const KeyEncoder by_name = Encoder(zun, zun.keys[1], tables);
  const std::string record = testing::ZunRecord(W("Иванов"), 76038, 5);
  EXPECT_EQ(Hex(by_date.MakeEntry(3, record)), "03 00 00 00 80 01 29 06");
  // OEM, identity tables: the key holds the 866 bytes of И в а н о в
  // themselves, and the blanks.
  std::string expected = "03 00 00 00 88 A2 A0 AD AE A2";
  for (int i = 0; i < 24; ++i) expected += " 20";
  EXPECT_EQ(Hex(by_name.MakeEntry(3, record)), expected);
}

// --- Limits. ---

TEST(KeyEncodingTest, KeyLengthGivesEntryLengthAndEntriesPerNode) {
  FileDecl file = testing::ZunDeclaration();
  KeyLayout layout;
  // A 30-byte STRING and a LONG.
  ASSERT_OK(KeyLayoutFor(file, KeyOn({0, 1}), &layout));
  EXPECT_EQ(layout.key_length, 34);
  EXPECT_EQ(layout.entry_length, 38);
  EXPECT_EQ(layout.entries_per_node, 13);
  EXPECT_EQ(layout.component_count, 2);
  ASSERT_OK(KeyLayoutFor(file, KeyOn({1}), &layout));
  EXPECT_EQ(layout.entry_length, 8);
  EXPECT_EQ(layout.entries_per_node, 62);
  ASSERT_OK(KeyLayoutFor(file, KeyOn({0}), &layout));
  EXPECT_EQ(layout.entry_length, 34);
  EXPECT_EQ(layout.entries_per_node, 14);
  // ZUN's keys: DUP and NOCASE set, OPT (so 0x40 clear).
  ASSERT_OK(KeyLayoutFor(file, file.keys[1], &layout));
  EXPECT_EQ(layout.key_type, 0x30);

  const FileDecl longest = key_test::StringFile(245, false);
  ASSERT_OK(KeyLayoutFor(longest, longest.keys[0], &layout));
  EXPECT_EQ(layout.entry_length, 249);
  EXPECT_EQ(layout.entries_per_node, 2);
  EXPECT_EQ(layout.key_type, 0x40);

  const FileDecl too_long = key_test::StringFile(246, false);
  EXPECT_STATUS_CODE(KeyLayoutFor(too_long, too_long.keys[0], &layout), 88);
  KeyEncoder encoder;
  EXPECT_STATUS_CODE(KeyEncoder::Create(too_long, too_long.keys[0],
                                        values::DefaultLocale(), &encoder),
                     88);
  EXPECT_STATUS_CODE(KeyLayoutFor(file, KeyOn({9}), &layout), 47);
}

TEST(KeyEncodingTest, IndexKeysAllowDuplicates) {
  FileDecl file = key_test::StringFile(4, false);
  file.keys[0].index = true;
  KeyLayout layout;
  ASSERT_OK(KeyLayoutFor(file, file.keys[0], &layout));
  EXPECT_EQ(layout.key_type, 0x51);
}

// --- Blank values (OPT, IGNORESTATUS). ---

TEST(KeyEncodingTest, BlankComponentsAreZeroOrSpaces) {
  const FileDecl zun = testing::ZunDeclaration();
  KeyDecl both = KeyOn({0, 1}, true, true);
  const KeyEncoder encoder = Encoder(zun, both, values::DefaultLocale());
  EXPECT_TRUE(encoder.IsBlank(testing::ZunRecord("", 0, 99)));
  EXPECT_TRUE(encoder.IsBlank(std::string(38, '\0')));
  EXPECT_FALSE(encoder.IsBlank(testing::ZunRecord("A", 0)));
  EXPECT_FALSE(encoder.IsBlank(testing::ZunRecord("", 1)));
  EXPECT_FALSE(encoder.IsBlank(testing::ZunRecord("", -1)));

  const FileDecl num = NumberFile();
  const KeyEncoder reals = Encoder(num, KeyOn({3, 4}), values::DefaultLocale());
  std::string record(num.record_length, '\0');
  record[14] = static_cast<char>(0x80);  // REAL -0.0
  record[15] = static_cast<char>(0xF0);  // DECIMAL -0
  EXPECT_TRUE(reals.IsBlank(record));
  record[17] = 0x01;  // DECIMAL -0.01
  EXPECT_FALSE(reals.IsBlank(record));
}

TEST(KeyEncodingTest, BlankEntryOfADeletedRecord) {
  const FileDecl zun = testing::ZunDeclaration();
  const values::LocaleTables tables = values::DefaultLocale();
  EXPECT_EQ(Hex(Encoder(zun, zun.keys[0], tables).MakeBlankEntry(7)),
            "07 00 00 00 80 00 00 00");
  std::string spaces = "07 00 00 00";
  for (int i = 0; i < 30; ++i) spaces += " 20";
  EXPECT_EQ(Hex(Encoder(zun, zun.keys[1], tables).MakeBlankEntry(7)), spaces);
  const FileDecl num = NumberFile();
  EXPECT_EQ(Hex(Encoder(num, KeyOn({3, 4}), tables).MakeBlankEntry(1)),
            "01 00 00 00 80 00 00 00 00 00 00 00 80 00 00");
}

}  // namespace
}  // namespace zuna::datfile
