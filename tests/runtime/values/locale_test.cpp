#include "runtime/values/locale.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/values/code_page.h"
#include "runtime/values/runtime_messages.h"

namespace zuna::values {
namespace {

namespace fs = std::filesystem;

LocaleTables Load(const std::string& env_text) {
  return LoadLocale(RegionalSettings{}, env_text);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes) {
    out += kDigits[static_cast<uint8_t>(c) >> 4];
    out += kDigits[static_cast<uint8_t>(c) & 15];
  }
  return out;
}

struct CasePair {
  unsigned upper, lower;
};

// Every upper/lower-case pair of Windows-1251, read off the code page chart:
// А-Я C0-DF with а-я E0-FF, and the other Cyrillic letters of the upper half.
std::vector<CasePair> Cp1251CasePairs() {
  std::vector<CasePair> pairs = {
      {0xA8, 0xB8},  // Ё ё
      {0x80, 0x90},  // Ђ ђ
      {0x81, 0x83},  // Ѓ ѓ
      {0x8A, 0x9A},  // Љ љ
      {0x8C, 0x9C},  // Њ њ
      {0x8D, 0x9D},  // Ќ ќ
      {0x8E, 0x9E},  // Ћ ћ
      {0x8F, 0x9F},  // Џ џ
      {0xA1, 0xA2},  // Ў ў
      {0xA3, 0xBC},  // Ј ј
      {0xA5, 0xB4},  // Ґ ґ
      {0xAA, 0xBA},  // Є є
      {0xAF, 0xBF},  // Ї ї
      {0xB2, 0xB3},  // І і
      {0xBD, 0xBE},  // Ѕ ѕ
  };
  for (unsigned i = 0; i < 32; ++i) pairs.push_back({0xC0 + i, 0xE0 + i});
  return pairs;
}

char C(unsigned code) { return static_cast<char>(code); }

void ExpectCp1251CasePairs(const LocaleTables& t) {
  const std::vector<CasePair> pairs = Cp1251CasePairs();
  ASSERT_EQ(pairs.size(), 47u);
  for (const CasePair& p : pairs) {
    SCOPED_TRACE(Cp1251ToUtf8(std::string{C(p.upper), C(p.lower)}));
    EXPECT_EQ(ToUpper(C(p.lower), t), C(p.upper));
    EXPECT_EQ(ToLower(C(p.upper), t), C(p.lower));
    EXPECT_EQ(t.char_class[p.upper], kUpperClass);
    EXPECT_EQ(t.char_class[p.lower], kLowerClass);
  }
  int cased = 0;
  for (int c = 128; c < 256; ++c) cased += t.char_class[c] != 0;
  EXPECT_EQ(cased, 94);  // nothing else in the upper half has a case
}

// Invariant 2 of locale.h.
void ExpectCaseInvolution(const LocaleTables& t) {
  for (int c = 0; c < 256; ++c) {
    SCOPED_TRACE(c);
    const uint8_t partner = t.counterpart[c];
    if (partner == 0) continue;
    EXPECT_EQ(t.counterpart[partner], c);
    EXPECT_EQ(t.char_class[c] | t.char_class[partner],
              kUpperClass | kLowerClass);
  }
}

std::string ShippedEnvironmentFile() {
  return ReadFile(fs::path(ZUNA_SOURCE_DIR) / "app" / "Zuna.ENV");
}

// ---------------------------------------------------------------------------
// Defaults.

TEST(LocaleDefaultsTest, AsciiRules) {
  const LocaleTables t = DefaultLocale();
  EXPECT_EQ(ToUpper("abc xyz 09 !", t), "ABC XYZ 09 !");
  EXPECT_EQ(ToLower("ABC XYZ", t), "abc xyz");
  EXPECT_EQ(t.char_class['Q'], kUpperClass);
  EXPECT_EQ(t.char_class['q'], kLowerClass);
  EXPECT_EQ(t.char_class['7'], kDigitClass);
  EXPECT_TRUE(IsAlpha('q', t));
  EXPECT_TRUE(IsDigit('7', t));
  EXPECT_FALSE(IsAlpha('7', t));
  // Codes 128-255 have no case and no class without an environment file.
  for (int c = 128; c < 256; ++c) {
    EXPECT_EQ(t.char_class[c], 0) << c;
    EXPECT_EQ(t.counterpart[c], 0) << c;
  }
  EXPECT_EQ(ToUpper(W("иванов"), t), W("иванов"));
  EXPECT_NE(CompareStringsNoCase(W("иванов"), W("ИВАНОВ"), t), 0);
  for (int c = 0; c < 256; ++c) EXPECT_EQ(t.collation[c], c);
}

TEST(LocaleDefaultsTest, MonthNamesAndAmPm) {
  const LocaleTables t = DefaultLocale();
  EXPECT_EQ(MonthName(1, t), "January");
  EXPECT_EQ(MonthName(9, t), "September");
  EXPECT_EQ(MonthName(12, t), "December");
  EXPECT_EQ(MonthAbbrev(5, t), "May");
  EXPECT_EQ(MonthAbbrev(12, t), "Dec");
  EXPECT_EQ(MonthName(0, t), "");
  EXPECT_EQ(MonthName(13, t), "");
  EXPECT_EQ(t.am, "AM");
  EXPECT_EQ(t.pm, "PM");
  EXPECT_FALSE(t.has_digraphs());
  EXPECT_TRUE(t.message_overrides.empty());
}

TEST(LocaleDefaultsTest, NoFileMeansTheDefaults) {
  RegionalSettings r;
  r.s_short_date = "dd.MM.yyyy";
  const LocaleTables loaded = LoadLocale(r, std::nullopt);
  const LocaleTables defaults = DefaultLocale(r);
  EXPECT_EQ(loaded.collation, defaults.collation);
  EXPECT_EQ(loaded.counterpart, defaults.counterpart);
  EXPECT_EQ(loaded.char_class, defaults.char_class);
  EXPECT_EQ(loaded.month_names, defaults.month_names);
  EXPECT_EQ(loaded.short_date.tokens, defaults.short_date.tokens);
  // An empty file is no different.
  EXPECT_EQ(Load("").collation, DefaultLocale().collation);
}

// ---------------------------------------------------------------------------
// VANCASE.

TEST(LocaleCaseTest, PairingCyrillicLettersMakesUpperCasingWork) {
  const LocaleTables t = Load("VANCASE=" + W("ИВАНО,ивано"));
  EXPECT_EQ(ToUpper(W("иванов"), t), W("ИВАНОВ"));
  EXPECT_EQ(ToLower(W("ИВАНОВ"), t), W("иванов"));
  EXPECT_EQ(CompareStringsNoCase(W("иванов"), W("ИВАНОВ"), t), 0);
  EXPECT_NE(CompareStrings(W("иванов"), W("ИВАНОВ"), t), 0);
  EXPECT_EQ(ToUpper(W("б"), t), W("б"));  // not listed: no case
  ExpectCaseInvolution(t);
}

TEST(LocaleCaseTest, PairsNeedBothCharactersInTheUpperHalf) {
  // X/y and a/Б are not pairs; A-Z/a-z keep their defaults.
  const LocaleTables t = Load("VANCASE=X" + W("А") + "a,y" + W("аБ"));
  EXPECT_EQ(ToLower('X', t), 'x');
  EXPECT_EQ(ToUpper('y', t), 'Y');
  EXPECT_EQ(ToUpper('a', t), 'A');
  EXPECT_EQ(ToUpper(W("а"), t), W("А"));
  EXPECT_EQ(ToLower(W("Б"), t), W("Б"));
}

TEST(LocaleCaseTest, ANewValueClearsTheEarlierUpperHalf) {
  const LocaleTables t = Load("VANCASE=WINDOWS\nVANCASE=\xC0,\xE0");
  EXPECT_EQ(ToUpper('\xE0', t), '\xC0');
  EXPECT_EQ(ToUpper('\xE1', t), '\xE1');
  EXPECT_EQ(ToUpper('\xB8', t), '\xB8');
}

TEST(LocaleCaseTest, WindowsAndUnequalLengthsTakeTheSystemPairs) {
  const std::string texts[] = {"VANCASE=WINDOWS", "VANCASE=windows",
                               "VANCASE=\xC0\xC1,\xE0", "VANCASE=\xC0",
                               "VANCASE=\"WINDOWS\""};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    const LocaleTables t = Load(text);
    ExpectCp1251CasePairs(t);
    ExpectCaseInvolution(t);
    EXPECT_EQ(ToUpper('a', t), 'A');
  }
}

TEST(LocaleCaseTest, EmptyValueRestoresTheAsciiDefaults) {
  const LocaleTables t = Load("VANCASE=WINDOWS\nVANCASE=");
  EXPECT_EQ(t.counterpart, DefaultLocale().counterpart);
  EXPECT_EQ(t.char_class, DefaultLocale().char_class);
}

TEST(LocaleCaseTest, StringsAreCutTo128BeforeTheirLengthsAreCompared) {
  // 129 and 130 characters: equal once cut, so no system pairs.
  const std::string upper = std::string(128, '\xC0') + "\xC1";
  const std::string lower = std::string(128, '\xE0') + "\xE1\xE1";
  const LocaleTables t = Load("VANCASE=" + upper + "," + lower);
  EXPECT_EQ(ToUpper('\xE0', t), '\xC0');
  EXPECT_EQ(ToUpper('\xE1', t), '\xE1');  // beyond the cut
  EXPECT_EQ(ToUpper('\xB8', t), '\xB8');  // not the system pairs
}

TEST(LocaleCaseTest, ALetterNamedTwiceKeepsThePairingTwoWay) {
  // А-а, then Б-а: а now belongs to Б, and А is left without a partner.
  const LocaleTables t = Load("VANCASE=\xC0\xC1,\xE0\xE0");
  EXPECT_EQ(ToUpper('\xE0', t), '\xC1');
  EXPECT_EQ(ToLower('\xC1', t), '\xE0');
  EXPECT_EQ(ToLower('\xC0', t), '\xC0');
  EXPECT_EQ(t.char_class[0xC0], 0);
  ExpectCaseInvolution(t);
  // A letter paired with itself is skipped.
  const LocaleTables self = Load("VANCASE=\xC0,\xC0");
  EXPECT_EQ(self.char_class[0xC0], 0);
}

// ---------------------------------------------------------------------------
// VANCOLSEQ.

TEST(LocaleCollationTest, SequenceSettings) {
  const LocaleTables t = Load("VANCOLSEQ=aAbB");
  EXPECT_LT(CompareStrings("a", "A", t), 0);
  EXPECT_LT(CompareStrings("A", "b", t), 0);

  // A comma is an ordinary character of the sequence: "b,a" ranks b , a
  // over the codes 44 97 98.
  const LocaleTables commas = Load("VANCOLSEQ=b,a");
  EXPECT_EQ(commas.collation['b'], 44);
  EXPECT_EQ(commas.collation[','], 97);
  EXPECT_EQ(commas.collation['a'], 98);

  const LocaleTables reset = Load("VANCOLSEQ=ba\nVANCOLSEQ=");
  EXPECT_EQ(reset.collation, DefaultLocale().collation);
}

TEST(LocaleCollationTest, WindowsOrder) {
  const LocaleTables t = Load("VANCOLSEQ=WINDOWS");
  EXPECT_LT(CompareStrings("A", "a", t), 0);
  EXPECT_LT(CompareStrings("a", "B", t), 0);
  EXPECT_LT(CompareStrings("Zorro", W("абрамов"), t), 0);
  EXPECT_LT(CompareStrings(W("Ежов"), W("Ёлкин"), t), 0);
  EXPECT_LT(CompareStrings(W("Ёлкин"), W("Жуков"), t), 0);
  EXPECT_EQ(t.collation[' '], 34);
  EXPECT_EQ(t.collation[255], 255);
}

// ---------------------------------------------------------------------------
// The other settings.

TEST(LocaleSettingsTest, MonthNamesAreCut) {
  const LocaleTables t = Load(
      "VANMONTH=Januaryyyyyyyyyyyy,February,March,April,May,June,July,"
      "August,September,October,November,December,Thirteenth\n"
      "VANMON=Janu,Febr");
  EXPECT_EQ(MonthName(1, t), "Januaryyyyyy");  // 12 characters
  EXPECT_EQ(MonthName(12, t), "December");
  EXPECT_EQ(MonthAbbrev(1, t), "Jan");
  EXPECT_EQ(MonthAbbrev(2, t), "Feb");
  EXPECT_EQ(MonthAbbrev(3, t), "Mar");  // not given: default
}

TEST(LocaleSettingsTest, RussianMonthNamesAndEscapes) {
  const LocaleTables t =
      Load("VANMONTH=" + W("Январь,Февраль") + "\nVANMON=<65>pr,<300>");
  EXPECT_EQ(MonthName(1, t), W("Январь"));
  EXPECT_EQ(MonthName(2, t), W("Февраль"));
  EXPECT_EQ(MonthName(3, t), "March");
  EXPECT_EQ(MonthAbbrev(1, t), "Apr");  // <65> is A
  EXPECT_EQ(MonthAbbrev(2, t), "<30");  // <300> stays text, then is cut
  // An empty value changes nothing.
  EXPECT_EQ(MonthName(1, Load("VANMONTH=")), "January");
}

TEST(LocaleSettingsTest, AmPm) {
  const LocaleTables t = Load("VANAMPM=vorm,nachm");
  EXPECT_EQ(t.am, "vo");
  EXPECT_EQ(t.pm, "na");

  RegionalSettings r;
  r.s1159 = W("ДП");
  r.s2359 = W("ППП");
  const LocaleTables windows = LoadLocale(r, "VANAMPM=WINDOWS");
  EXPECT_EQ(windows.am, W("ДП"));
  EXPECT_EQ(windows.pm, W("ПП"));
  // The regional texts reach the tables only through WINDOWS.
  EXPECT_EQ(LoadLocale(r, "").am, "AM");
}

TEST(LocaleSettingsTest, Digraphs) {
  struct Row {
    std::string value;
    std::string expected;  // the digraphs, three characters each
  } rows[] = {
      {"&AE#OE", "&AE#OE"},
      {"&AE,#OE", "&AE#OE"},
      {"\"&AE\",\"#OE\"", "&AE#OE"},
      {"&AE#O", "&AE"},   // incomplete group ignored
      {"&AE&OE", "&AE"},  // a character keeps its first definition
      {"", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value);
    const LocaleTables t = Load("VANDIGRAPH=" + row.value);
    std::string got;
    for (const Digraph& d : t.digraphs) got += {d.character, d.first, d.second};
    EXPECT_EQ(got, row.expected);
    EXPECT_EQ(t.has_digraphs(), !row.expected.empty());
  }
  std::string seventeen;
  for (char c = 'a'; c < 'a' + 17; ++c) seventeen += {c, 'X', 'Y'};
  EXPECT_EQ(Load("VANDIGRAPH=" + seventeen).digraphs.size(), kMaxDigraphs);
}

TEST(LocaleSettingsTest, DigraphsReachComparison) {
  const LocaleTables t = Load("VANDIGRAPH=&AE");
  EXPECT_LT(CompareStrings("AZ", "&", t), 0);
  EXPECT_LT(CompareStrings("&", "B", t), 0);
}

TEST(LocaleSettingsTest, SwitchesAndCaptions) {
  const LocaleTables t = Load(
      "VANLFN=on\nVANLAYOUT=rtl\nVANSYSTEMCHARSET=CYRILLIC\n"
      "VANBUTTON=" +
      W("&Да,&Нет,Отмена"));
  EXPECT_TRUE(t.long_file_names);
  EXPECT_TRUE(t.right_to_left);
  EXPECT_EQ(t.system_charset, "CYRILLIC");
  EXPECT_EQ(t.button_captions,
            (std::vector<std::string>{W("&Да"), W("&Нет"), W("Отмена")}));
  EXPECT_FALSE(t.oem_charset);

  const LocaleTables off = Load("VANLFN=on\nVANLFN=off\nVANLAYOUT=LTR");
  EXPECT_FALSE(off.long_file_names);
  EXPECT_FALSE(off.right_to_left);
}

TEST(LocaleSettingsTest, MessageOverrides) {
  const LocaleTables t = Load("VANMSG35=" + W("Запись не найдена") +
                              "\nvanmsg0042=a,b\nVANMSG=x\nVANMSGX=y\n"
                              "VANMSG99999999999=z\nVANMSG-1=w\n"
                              "VANMSG 1010 = late\nVANMSG1010=later");
  const std::map<int32_t, std::string> expected = {
      {35, W("Запись не найдена")}, {42, "a"}, {1010, "later"}};
  EXPECT_EQ(t.message_overrides, expected);
}

TEST(LocaleSettingsTest, UnknownNamesAreIgnored) {
  const LocaleTables t =
      Load("FOO=1\nVANCASEX=WINDOWS\nVAN=2\nVANCOLSEQUENCE=zyx\n");
  EXPECT_EQ(t.counterpart, DefaultLocale().counterpart);
  EXPECT_EQ(t.collation, DefaultLocale().collation);
}

TEST(LocaleSettingsTest, OemFileIsConverted) {
  // 866: А = 80h, а = A0h, Ё = F0h, ё = F1h.
  const LocaleTables t =
      Load("VANCASE=\x80\xF0,\xA0\xF1\r\nVANCHARSET=OEM\r\n");
  EXPECT_TRUE(t.oem_charset);
  EXPECT_EQ(ToUpper(W("аё"), t), W("АЁ"));
  // Unconverted, the same bytes pair other letters.
  const LocaleTables raw = Load("VANCASE=\x80\xF0,\xA0\xF1\r\n");
  EXPECT_EQ(ToUpper('\xA0', raw), '\x80');
}

// ---------------------------------------------------------------------------
// The shipped Zuna.ENV.

class ShippedEnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    text_ = ShippedEnvironmentFile();
    ASSERT_FALSE(text_.empty()) << "app/Zuna.ENV missing";
    tables_ = Load(text_);
  }
  std::string text_;
  LocaleTables tables_;
};

TEST_F(ShippedEnvironmentTest, IsWindows1251WithEveryCyrillicCasePair) {
  EXPECT_FALSE(tables_.oem_charset);
  ExpectCp1251CasePairs(tables_);
  ExpectCaseInvolution(tables_);
  EXPECT_EQ(ToUpper(W("иванов"), tables_), W("ИВАНОВ"));
  EXPECT_EQ(ToUpper(W("ёлкин"), tables_), W("ЁЛКИН"));
  EXPECT_EQ(ToLower(W("ҐЄІЇЅЎЈ"), tables_), W("ґєіїѕўј"));
  EXPECT_EQ(ToUpper("smith", tables_), "SMITH");
}

TEST_F(ShippedEnvironmentTest, NoCaseComparisonMatchesAcrossCase) {
  EXPECT_EQ(CompareStringsNoCase(W("иванов"), W("ИВАНОВ"), tables_), 0);
  EXPECT_EQ(CompareStringsNoCase(W("Ёлкин  "), W("ёЛКИН"), tables_), 0);
  EXPECT_NE(CompareStrings(W("иванов"), W("ИВАНОВ"), tables_), 0);
}

TEST_F(ShippedEnvironmentTest, NamesSortAsARussianReaderExpects) {
  std::vector<std::string> names;
  for (const char* n :
       {"Яковлев", "Жуков", "Ёлкин", "Щукин", "Ежов", "абрикосов", "Шубин",
        "Абрамов", "Эйхе", "иванова", "Йоффе", "Иванов", "Кузнецов", "Семёнов",
        "Семенов", "Семин", "Zorro"}) {
    names.push_back(W(n));
  }
  std::sort(names.begin(), names.end(),
            [&](const std::string& a, const std::string& b) {
              return CompareStringsNoCase(a, b, tables_) < 0;
            });
  std::vector<std::string> expected;
  for (const char* n :
       {"Zorro", "Абрамов", "абрикосов", "Ежов", "Ёлкин", "Жуков", "Иванов",
        "иванова", "Йоффе", "Кузнецов", "Семенов", "Семёнов", "Семин", "Шубин",
        "Щукин", "Эйхе", "Яковлев"}) {
    expected.push_back(W(n));
  }
  EXPECT_EQ(names, expected);
}

TEST_F(ShippedEnvironmentTest, WithCaseCapitalsComeFirstLetterByLetter) {
  // Each capital sorts just before its small letter, at the first
  // difference.
  std::vector<std::string> names;
  for (const char* n : {"ивлев", "Ивлев", "иванов", "ИВАНОВ", "Иванов"}) {
    names.push_back(W(n));
  }
  std::sort(names.begin(), names.end(),
            [&](const std::string& a, const std::string& b) {
              return CompareStrings(a, b, tables_) < 0;
            });
  std::vector<std::string> expected;
  for (const char* n : {"ИВАНОВ", "Иванов", "Ивлев", "иванов", "ивлев"}) {
    expected.push_back(W(n));
  }
  EXPECT_EQ(names, expected);
}

TEST_F(ShippedEnvironmentTest, WithoutItYoSortsBeforeA) {
  // In 1251 Ё is A8h, below А (C0h): the reason the file ships.
  const LocaleTables bare = DefaultLocale();
  EXPECT_LT(CompareStrings(W("Ёлкин"), W("Абрамов"), bare), 0);
  EXPECT_GT(CompareStrings(W("Ёлкин"), W("Абрамов"), tables_), 0);
  EXPECT_LT(CompareStrings(W("Ежов"), W("Ёлкин"), tables_), 0);
  EXPECT_LT(CompareStrings(W("Ёлкин"), W("Жуков"), tables_), 0);
}

TEST_F(ShippedEnvironmentTest, MatchesTheSystemCasePairs) {
  const LocaleTables windows = Load("VANCASE=WINDOWS");
  EXPECT_EQ(tables_.counterpart, windows.counterpart);
  EXPECT_EQ(tables_.char_class, windows.char_class);
}

// ---------------------------------------------------------------------------
// The process's tables.

TEST(LocaleProcessTest, LoadedOnceForEveryThread) {
  std::array<const LocaleTables*, 8> seen{};
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = &Locale(); });
  }
  for (std::thread& t : threads) t.join();
  for (const LocaleTables* p : seen) EXPECT_EQ(p, &Locale());
  EXPECT_FALSE(InstallLocale(DefaultLocale()));  // already loaded
}

TEST(LocaleProcessTest, InstalledTablesReachRuntimeMessages) {
  // A fresh process, so that nothing has loaded the tables yet.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const bool installed = InstallLocale(
            Load("VANMSG35=" + W("Запись не найдена") + "\nVANMSG1010=x"));
        const bool again = InstallLocale(DefaultLocale());
        const bool ok = installed && !again &&
                        RuntimeMessage(35) == W("Запись не найдена") &&
                        RuntimeMessage(1010) == "x" &&
                        RuntimeMessage(33) == "Record Not Available";
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// Run by EnvironmentFileIsFoundBesideTheExecutable in a copy of this binary:
// reports what the copy's process loaded.
TEST(LocaleProbe, DISABLED_Report) {
  std::printf("PROBE path=%s\n", EnvironmentFilePath().c_str());
  std::printf("PROBE upper=%s\n", Hex(ToUpper(W("иванов"))).c_str());
  std::printf("PROBE msg35=%s\n", RuntimeMessage(35).c_str());
}

class EnvironmentFileLocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("zuna_locale_test_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    dir_ = fs::canonical(dir_);
    fs::copy_file("/proc/self/exe", dir_ / "probe");
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The probe's "PROBE key=value" lines.
  std::map<std::string, std::string> RunProbe() {
    const std::string command = (dir_ / "probe").string() +
                                " --gtest_filter=LocaleProbe.DISABLED_Report"
                                " --gtest_also_run_disabled_tests 2>&1";
    std::map<std::string, std::string> report;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return report;
    std::string output;
    char buffer[4096];
    while (const size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
      output.append(buffer, n);
    }
    ::pclose(pipe);
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("PROBE ", 0) != 0) continue;
      const size_t eq = line.find('=');
      report[line.substr(6, eq - 6)] = line.substr(eq + 1);
    }
    return report;
  }

  fs::path dir_;
};

const std::string kPairsFile = "VANCASE=" + W("ИВАНО,ивано") + "\nVANMSG35=n";
const std::string kUpperIvanov = "C8C2C0CDCEC2";  // ИВАНОВ
const std::string kLowerIvanov = "E8E2E0EDEEE2";  // иванов

TEST_F(EnvironmentFileLocationTest, ExactNameBesideTheExecutable) {
  WriteFile(dir_ / "Zuna.ENV", kPairsFile);
  const auto report = RunProbe();
  EXPECT_EQ(report.at("path"), (dir_ / "Zuna.ENV").string());
  EXPECT_EQ(report.at("upper"), kUpperIvanov);
  EXPECT_EQ(report.at("msg35"), "n");
}

TEST_F(EnvironmentFileLocationTest, OneOtherSpellingIsAccepted) {
  WriteFile(dir_ / "zuna.env", kPairsFile);
  const auto report = RunProbe();
  EXPECT_EQ(report.at("path"), (dir_ / "zuna.env").string());
  EXPECT_EQ(report.at("upper"), kUpperIvanov);
}

TEST_F(EnvironmentFileLocationTest, TwoOtherSpellingsAreNeitherUsed) {
  WriteFile(dir_ / "zuna.env", kPairsFile);
  WriteFile(dir_ / "ZUNA.ENV", kPairsFile);
  const auto report = RunProbe();
  EXPECT_EQ(report.at("path"), (dir_ / "Zuna.ENV").string());
  EXPECT_EQ(report.at("upper"), kLowerIvanov);
}

TEST_F(EnvironmentFileLocationTest, MissingFileLeavesTheDefaults) {
  const auto report = RunProbe();
  EXPECT_EQ(report.at("path"), (dir_ / "Zuna.ENV").string());
  EXPECT_EQ(report.at("upper"), kLowerIvanov);
  EXPECT_EQ(report.at("msg35"), "Record Not Found");
}

}  // namespace
}  // namespace zuna::values
