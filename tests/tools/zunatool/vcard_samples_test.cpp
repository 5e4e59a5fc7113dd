// vCard files as the common phone and mail programs write them, each in its
// program's documented form (made here, not exported from anyone's
// contacts), read into the register's people: names, dates, what is left
// out and why.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "runtime/values/code_page.h"
#include "tools/zunatool/person_text.h"
#include "tools/zunatool/vcard_people.h"

namespace zuna::tool {
namespace {

// The samples in tests/data/vcard/, one file per program, each in the form
// its program documents and writes:
//   apple.vcf        Apple Contacts (macOS, iOS): 3.0, grouped properties
//                    (item1.), lower-case type parameters, BDAY;VALUE=date,
//                    a birthday without a year stored as 1604 with
//                    X-APPLE-OMIT-YEAR, a base64 photo folded over lines.
//   google.vcf       Google Contacts' export: 3.0, extended ISO dates,
//                    "--MM-DD" without a year, lines folded at 75 octets
//                    even inside a UTF-8 character.
//   android.vcf      Android's Contacts app: 2.1, UTF-8 as quoted-printable
//                    with CHARSET=UTF-8, a soft line break, bare type
//                    parameters, a card with N and no FN.
//   thunderbird.vcf  Thunderbird's address book (102 and later): 4.0,
//                    BDAY;VALUE=DATE in the basic form, escaped commas,
//                    "--MMDD", a BDAY in text.
//   outlook.vcf      Outlook on Windows: 2.1 in CHARSET=Windows-1251,
//                    quoted-printable with soft breaks, a BDAY with a time
//                    part, a name the register cannot store.
std::string Sample(const std::string& name) {
  std::ifstream in(std::string(ZUNA_SOURCE_DIR) + "/tests/data/vcard/" + name,
                   std::ios::binary);
  EXPECT_TRUE(in) << name;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Expected {
  const char* file;
  std::vector<std::string> people;  // "name;dd/mm/yyyy"
  int no_birthday, no_year, bad_date, bad_name, names_cut;
  size_t notes;
};

TEST(VcardSamplesTest, ProgramsExportsReadIntoPeople) {
  const std::vector<Expected> samples = {
      {"apple.vcf", {"Мария Иванова;05/03/1985"}, 1, 1, 0, 0, 0, 1},
      {"google.vcf",
       {"Анна Кузнецова;31/12/1990", "Константин;01/01/1960"}, 0, 1, 0, 0, 1, 2},
      {"android.vcf",
       {"Алексей Смирнов;29/02/1984", "Орлова Ирина Петровна;08/07/1992"}, 0, 0, 0, 0, 0, 0},
      {"thunderbird.vcf", {"Соколова, Елена;01/01/1975"}, 0, 1, 1, 0, 0, 2},
      {"outlook.vcf",
       {"Волков Дмитрий;16/11/1978", "Зайцева Ольга;17/04/1981"}, 0, 0, 0, 1, 0, 1},
  };
  for (const Expected& s : samples) {
    SCOPED_TRACE(s.file);
    VcardPeople found;
    const auto why = ReadVcard(Sample(s.file), &found);
    ASSERT_FALSE(why) << *why;
    std::vector<std::string> people;
    for (const Person& p : found.people) {
      people.push_back(values::Cp1251ToUtf8(p.fio) + ";" + CsvDate(p.date));
    }
    EXPECT_EQ(people, s.people);
    EXPECT_EQ(found.no_birthday, s.no_birthday);
    EXPECT_EQ(found.no_year, s.no_year);
    EXPECT_EQ(found.bad_date, s.bad_date);
    EXPECT_EQ(found.bad_name, s.bad_name);
    EXPECT_EQ(found.names_cut, s.names_cut);
    EXPECT_EQ(found.notes.size(), s.notes);
    for (const std::string& note : found.notes) EXPECT_TRUE(note.starts_with("строка ")) << note;
  }
}

TEST(VcardSamplesTest, NotesNameTheLineAndTheReason) {
  VcardPeople found;
  ASSERT_FALSE(ReadVcard(Sample("apple.vcf") + Sample("google.vcf"), &found));
  ASSERT_EQ(found.notes.size(), 3u);
  EXPECT_EQ(found.notes[0],
            "строка 19: «Пётр Петров»: дата рождения без года («1604-11-20»), пропущено");
  EXPECT_EQ(found.notes[1], "строка 40: «Olga Smirnova»: дата рождения без года («--06-15»), пропущено");
  EXPECT_EQ(found.notes[2],
            "строка 43: имя «Константин Константинопольский-Преображенский» длиннее 30 "
            "знаков, записано «Константин»");
}

// A name over the field's 30 characters is cut after its last whole word
// that fits; a single word longer than the field is cut at the field's end.
TEST(VcardSamplesTest, LongNamesAreCutAtAWordBoundary) {
  const std::string twenty_nine = "Константинопольский Александр";
  const struct {
    std::string fn;
    std::string stored;
    int cut;
  } cases[] = {
      {twenty_nine + "ы", twenty_nine + "ы", 0},                   // 30: fits
      {twenty_nine + " Ю", twenty_nine, 1},                        // the blank is the 30th
      {twenty_nine + "ыы", "Константинопольский", 1},              // 31, in a word
      {"Ааааааааааааааааааааааааааааааааааа", "Аааааааааааааааааааааааааааааа", 1},
      {"Анна  Мария   Иванова-Петрова-Сидорова", "Анна Мария", 1},  // blanks collapsed first
      {" Анна\n  Мария ", "Анна Мария", 0},
  };
  for (const auto& c : cases) {
    const std::string text = "BEGIN:VCARD\nVERSION:4.0\nFN:" + c.fn + "\nBDAY:20000101\nEND:VCARD\n";
    VcardPeople found;
    ASSERT_FALSE(ReadVcard(text, &found)) << c.fn;
    ASSERT_EQ(found.people.size(), 1u) << c.fn;
    EXPECT_EQ(values::Cp1251ToUtf8(found.people[0].fio), c.stored) << c.fn;
    EXPECT_EQ(found.names_cut, c.cut) << c.fn;
  }
}

// A file that is not a sequence of cards, or a BDAY that is no date, gives
// nothing and names the line.
TEST(VcardSamplesTest, MalformedFilesNameTheLine) {
  const struct {
    std::string text;
    std::string starts;
  } cases[] = {
      {"Иванов;01/01/2000\nBEGIN:VCARD\nEND:VCARD\n", "строка 1: ожидается ИМЯ:ЗНАЧЕНИЕ"},
      {"FN:Иванов\n", "строка 1: ожидается BEGIN:VCARD"},
      {"BEGIN:VCARD\nVERSION:3.0\nFN:Иванов\n", "строка 1: карточка не закончена"},
      {"BEGIN:VCARD\nFN:Иванов\nBEGIN:VCARD\nEND:VCARD\n", "строка 3: BEGIN:VCARD внутри"},
      {"BEGIN:VCARD\nFN:Иванов\nтелефон 123\nEND:VCARD\n", "строка 3: ожидается ИМЯ:ЗНАЧЕНИЕ"},
      {"BEGIN:VCARD\nFN:A\nEND:VCARD\nBEGIN:VCARD\nFN:B\nBDAY:1985-02-30\nEND:VCARD\n",
       "строка 6: дата рождения «1985-02-30» не читается"},
      {"BEGIN:VCARD\nFN:B\nBDAY:вчера\nEND:VCARD\n", "строка 3: дата рождения «вчера»"},
      {"BEGIN:VCARD\nVERSION:2.1\nFN;CHARSET=NO-SUCH-SET:B\nEND:VCARD\n",
       "строка 3: текст не в кодировке NO-SUCH-SET"},
      {"BEGIN:VCARD\nVERSION:3.0\n;X=1:B\nEND:VCARD\n", "строка 3: у свойства нет имени"},
      {"BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=NO-SUCH-SET:B\nEND:VCARD\n",
       "строка 3: текст не в кодировке NO-SUCH-SET"},
  };
  for (const auto& c : cases) {
    VcardPeople found;
    const auto why = ReadVcard(c.text, &found);
    ASSERT_TRUE(why) << c.text;
    EXPECT_TRUE(why->starts_with(c.starts)) << *why;
  }
}

// Only the properties the register takes must be readable: a note in a
// character set nobody here knows leaves the card as good as it was.
TEST(VcardSamplesTest, AnUnreadableNoteDoesNotMatter) {
  VcardPeople found;
  ASSERT_FALSE(ReadVcard("BEGIN:VCARD\nVERSION:2.1\nFN:Ivan\nNOTE;CHARSET=NO-SUCH-SET:\xFF\n"
                         "BDAY:20000101\nEND:VCARD\n",
                         &found));
  EXPECT_EQ(found.people.size(), 1u);
}

TEST(VcardSamplesTest, ContentDecidesWhatIsAVcard) {
  EXPECT_TRUE(LooksLikeVcard("BEGIN:VCARD\r\n"));
  EXPECT_TRUE(LooksLikeVcard("\xEF\xBB\xBF\r\n\n  begin:vcard\n"));
  EXPECT_FALSE(LooksLikeVcard("Иванов Иван;05/03/2009\n"));
  EXPECT_FALSE(LooksLikeVcard("BEGIN:VCALENDAR\n"));
  EXPECT_FALSE(LooksLikeVcard(""));
}

}  // namespace
}  // namespace zuna::tool
