// vCard files as the common phone and mail programs write them, each in its
// program's documented form (made here, not exported from anyone's
// contacts), read into the register's people: names, dates, what is left
// out and why.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/values/code_page.h"
#include "tools/zunatool/person_text.h"
#include "tools/zunatool/vcard_people.h"

namespace zuna::tool {
namespace {

// Every byte outside printable ASCII (and '=') as =XX, the way 2.1 writers
// encode a value.
std::string Qp(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b >= 0x7F || b == '=') {
      out += '=';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
  }
  return out;
}

// Apple Contacts (macOS, iOS): vCard 3.0, grouped properties (item1.),
// lower-case type parameters, BDAY;VALUE=date, a birthday without a year
// stored as 1604 with X-APPLE-OMIT-YEAR, base64 photos folded over lines.
const std::string kApple =
    "BEGIN:VCARD\r\n"
    "VERSION:3.0\r\n"
    "PRODID:-//Apple Inc.//macOS 13.4//EN\r\n"
    "N:Иванова;Мария;;;\r\n"
    "FN:Мария Иванова\r\n"
    "ORG:ООО «Ромашка»;\r\n"
    "item1.EMAIL;type=INTERNET;type=pref:maria@example.ru\r\n"
    "item1.X-ABLabel:_$!<Other>!$_\r\n"
    "TEL;type=CELL;type=VOICE;type=pref:+7 912 345-67-89\r\n"
    "BDAY;VALUE=date:1985-03-05\r\n"
    "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDAAgGBgcGBQgHBwcJ\r\n"
    "  CQgKDBQNDAsLDBkSEw8UHRofHh0aHBwgJC4nICIsIxwcKDcpLDAxNDQ0Hyc5PTgyPC4zNDL/\r\n"
    "END:VCARD\r\n"
    "BEGIN:VCARD\r\n"
    "VERSION:3.0\r\n"
    "PRODID:-//Apple Inc.//macOS 13.4//EN\r\n"
    "N:Петров;Пётр;;;\r\n"
    "FN:Пётр Петров\r\n"
    "BDAY;X-APPLE-OMIT-YEAR=1604:1604-11-20\r\n"
    "END:VCARD\r\n"
    "BEGIN:VCARD\r\n"
    "VERSION:3.0\r\n"
    "N:Сидоров;Сидор;;;\r\n"
    "FN:Сидор Сидоров\r\n"
    "TEL;type=CELL:+7 900 000-00-00\r\n"
    "END:VCARD\r\n";

// Google Contacts export ("vCard (for iOS Contacts)"): 3.0, BDAY extended
// ISO, "--MM-DD" without a year, lines folded at 75 octets even inside a
// UTF-8 character.
const std::string kGoogle =
    "BEGIN:VCARD\r\n"
    "VERSION:3.0\r\n"
    "FN:Анна Кузнецова\r\n"
    "N:Кузнецова;Анна;;;\r\n"
    "EMAIL;TYPE=INTERNET;TYPE=HOME:anna@example.com\r\n"
    "TEL;TYPE=CELL:+79001234567\r\n"
    "BDAY:1990-12-31\r\n"
    "CATEGORIES:myContacts\r\n"
    "END:VCARD\r\n"
    "BEGIN:VCARD\r\n"
    "VERSION:3.0\r\n"
    "FN:Olga Smirnova\r\n"
    "N:Smirnova;Olga;;;\r\n"
    "BDAY:--06-15\r\n"
    "CATEGORIES:myContacts\r\n"
    "END:VCARD\r\n"
    "BEGIN:VCARD\r\n"
    "VERSION:3.0\r\n"
    "FN:Константин Константинопольский-Преображе\xD0\r\n"
    " \xBD\xD1\x81кий\r\n"
    "N:Константинопольский-Преображенский;Константин;;;\r\n"
    "BDAY:1960-01-01\r\n"
    "END:VCARD\r\n";

// Android's Contacts app: vCard 2.1, UTF-8 text as quoted-printable with
// CHARSET=UTF-8, a soft line break in a long value, bare type parameters,
// no FN on a card that has only N.
const std::string kAndroid =
    "BEGIN:VCARD\r\n"
    "VERSION:2.1\r\n"
    "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" + Qp("Смирнов;Алексей") + ";;;\r\n"
    "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" + Qp("Алексей ") + "=\r\n" +
    Qp("Смирнов") + "\r\n"
    "TEL;CELL:+79161234567\r\n"
    "BDAY:1984-02-29\r\n"
    "END:VCARD\r\n"
    "BEGIN:VCARD\r\n"
    "VERSION:2.1\r\n"
    "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" + Qp("Орлова;Ирина;Петровна") + ";;\r\n"
    "TEL;HOME;VOICE:+74951234567\r\n"
    "BDAY:19920708\r\n"
    "END:VCARD\r\n";

// Thunderbird's address book (102 and later): vCard 4.0, BDAY;VALUE=DATE in
// the basic form, escaped commas, a year-less "--MMDD", a BDAY in text.
const std::string kThunderbird =
    "BEGIN:VCARD\r\n"
    "VERSION:4.0\r\n"
    "FN:Соколова\\, Елена\r\n"
    "N:Соколова;Елена;;;\r\n"
    "EMAIL;PREF=1:elena@example.org\r\n"
    "BDAY;VALUE=DATE:19750101\r\n"
    "NOTE:встреча\\nв понедельник\r\n"
    "UID:2f1b6c1e-5d4f-4b8a-9d55-7a9c1f0e3b21\r\n"
    "END:VCARD\r\n"
    "BEGIN:VCARD\r\n"
    "VERSION:4.0\r\n"
    "FN:Игорь Новиков\r\n"
    "BDAY;VALUE=DATE:--0704\r\n"
    "END:VCARD\r\n"
    "BEGIN:VCARD\r\n"
    "VERSION:4.0\r\n"
    "FN:Прадед Фёдор\r\n"
    "BDAY;VALUE=text:около 1890\r\n"
    "END:VCARD\r\n";

// Outlook on Windows: vCard 2.1 in the system's code page (CHARSET=
// Windows-1251), quoted-printable notes with soft breaks, a BDAY with a
// time part, and a contact whose name the register cannot store.
std::string Outlook() {
  const std::string w_name = values::Utf8ToCp1251("Волков Дмитрий");
  return "BEGIN:VCARD\r\n"
         "VERSION:2.1\r\n"
         "N;LANGUAGE=ru;CHARSET=Windows-1251:" + values::Utf8ToCp1251("Волков;Дмитрий") + "\r\n"
         "FN;CHARSET=Windows-1251:" + w_name + "\r\n"
         "NOTE;CHARSET=Windows-1251;ENCODING=QUOTED-PRINTABLE:" +
         Qp(values::Utf8ToCp1251("Коллега по ")) + "=\r\n" +
         Qp(values::Utf8ToCp1251("работе")) + "\r\n"
         "BDAY:19781116T000000Z\r\n"
         "REV:20231120T101500Z\r\n"
         "END:VCARD\r\n"
         "BEGIN:VCARD\r\n"
         "VERSION:2.1\r\n"
         "N;CHARSET=Windows-1251;ENCODING=QUOTED-PRINTABLE:" +
         Qp(values::Utf8ToCp1251("Зайцева;Ольга")) + "\r\n"
         "FN;CHARSET=Windows-1251;ENCODING=QUOTED-PRINTABLE:" +
         Qp(values::Utf8ToCp1251("Зайцева Ольга")) + "\r\n"
         "BDAY:19810417\r\n"
         "END:VCARD\r\n"
         "BEGIN:VCARD\r\n"
         "VERSION:2.1\r\n"
         "FN;CHARSET=UTF-8:Ли Вэй 李伟\r\n"
         "BDAY:19950310\r\n"
         "END:VCARD\r\n";
}

struct Sample {
  const char* program;
  std::string text;
  std::vector<std::string> people;  // "name;dd/mm/yyyy"
  int no_birthday, no_year, bad_date, bad_name, names_cut;
  size_t notes;
};

TEST(VcardSamplesTest, ProgramsExportsReadIntoPeople) {
  const std::vector<Sample> samples = {
      {"Apple", kApple, {"Мария Иванова;05/03/1985"}, 1, 1, 0, 0, 0, 1},
      {"Google", kGoogle,
       {"Анна Кузнецова;31/12/1990", "Константин;01/01/1960"}, 0, 1, 0, 0, 1, 2},
      {"Android", kAndroid,
       {"Алексей Смирнов;29/02/1984", "Орлова Ирина Петровна;08/07/1992"}, 0, 0, 0, 0, 0, 0},
      {"Thunderbird", kThunderbird, {"Соколова, Елена;01/01/1975"}, 0, 1, 1, 0, 0, 2},
      {"Outlook", Outlook(),
       {"Волков Дмитрий;16/11/1978", "Зайцева Ольга;17/04/1981"}, 0, 0, 0, 1, 0, 1},
  };
  for (const Sample& s : samples) {
    SCOPED_TRACE(s.program);
    VcardPeople found;
    const auto why = ReadVcard(s.text, &found);
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
  ASSERT_FALSE(ReadVcard(kApple + kGoogle, &found));
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
