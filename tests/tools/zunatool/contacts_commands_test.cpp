// zunatool import of vCard files and export --format csv|vcard|ics, run as
// real processes over a register in a temporary directory: what reaches
// the register, what the user is told, and the round trips back.
#include <gtest/gtest.h>

#include <libical/ical.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zunatool_register_test.h"

namespace zuna::testing {
namespace {

// People whose names carry what vCard and CSV must escape or keep: ',' ';'
// '\', a 29 February, two namesakes born the same day, 30 characters.
constexpr char kPeopleCsv[] =
    "Жуков Георгий;01/12/1980\n"
    "Смит, Джон;29/02/1984\n"
    "Рога; и копыта\\Ко;31/12/1999\n"
    "Иванов Иван;05/03/2009\n"
    "Иванов Иван;05/03/2009\n"
    "Константинопольский Александры;01/01/1801\n";

class ContactsCommandsTest : public ZunatoolRegisterTest {
 protected:
  // A new register named `name` holding the people of kPeopleCsv.
  std::string Filled(const std::string& name) {
    const std::string zun = dir_.File(name);
    Ok({"create", zun});
    Ok({"import", zun, Write(name + ".csv", kPeopleCsv)});
    return zun;
  }
};

TEST_F(ContactsCommandsTest, RoundTripsThroughVcardAndCsvKeepThePeople) {
  const std::string zun = Filled("ZUN");
  EXPECT_EQ(Ok({"export", zun}), kPeopleCsv);
  EXPECT_EQ(Ok({"export", zun, "--format", "csv"}), kPeopleCsv);

  const std::string vcf = Write("people.vcf", Ok({"export", zun, "--format", "vcard"}));
  const std::string from_vcard = dir_.File("VCARD");
  Ok({"create", from_vcard});
  EXPECT_EQ(Ok({"import", from_vcard, vcf}), "Добавлено: 6\nПропущено: 0\n");
  EXPECT_EQ(Ok({"export", from_vcard}), kPeopleCsv);

  const std::string csv = Write("people.csv", Ok({"export", zun, "--format", "csv"}));
  const std::string from_csv = dir_.File("CSV");
  Ok({"create", from_csv});
  EXPECT_EQ(Ok({"import", from_csv, csv}), "");
  EXPECT_EQ(Ok({"export", from_csv}), kPeopleCsv);
}

TEST_F(ContactsCommandsTest, VcardExportIsVersion4WithFnAndBday) {
  const std::string zun = dir_.File("ZUN");
  Ok({"create", zun});
  Ok({"add", zun, "Смит, Джон", "29/02/1984"});
  EXPECT_EQ(Ok({"export", zun, "--format", "vcard"}),
            "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Смит\\, Джон\r\nBDAY:19840229\r\nEND:VCARD\r\n");
}

TEST_F(ContactsCommandsTest, ImportTellsWhatItLeftOutAndCounts) {
  const std::string zun = Filled("ZUN");
  const std::string vcf = Write(
      "phone.txt",  // the content, not the name, makes it a vCard
      "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Анна Кузнецова\r\nBDAY:1990-12-31\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Без Дня\r\nTEL:+7 900\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Olga Smirnova\r\nBDAY:--06-15\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Прадед Фёдор\r\nBDAY:1790-01-01\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Ли 李\r\nBDAY:1995-03-10\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Константин Константинопольский-Преображенский\r\n"
      "BDAY:1960-01-01\r\nEND:VCARD\r\n");
  const ProgramResult r = Zunatool({"import", zun, vcf});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out,
            "Добавлено: 2\n"
            "Пропущено: 4 (без даты рождения: 1, дата без года: 1, дата не полная или вне "
            "1801-9999: 1, имя не годится: 1)\n"
            "Сокращено имён: 1\n");
  EXPECT_EQ(r.err,
            "zunatool: " + vcf + ", строка 14: «Olga Smirnova»: дата рождения без года («--06-15»), "
            "пропущено\n"
            "zunatool: " + vcf + ", строка 19: «Прадед Фёдор»: дата рождения «1790-01-01» — не "
            "полная дата в 1801-9999 годах, пропущено\n"
            "zunatool: " + vcf + ", строка 21: в имени «Ли 李» есть знак, который реестр не может "
            "хранить (его нет в кодовой странице 1251, или текст не в UTF-8), пропущено\n"
            "zunatool: " + vcf + ", строка 26: имя «Константин Константинопольский-Преображенский» "
            "длиннее 30 знаков, записано «Константин»\n");
  EXPECT_EQ(Ok({"export", zun}),
            std::string(kPeopleCsv) + "Анна Кузнецова;31/12/1990\nКонстантин;01/01/1960\n");
}

TEST_F(ContactsCommandsTest, AMalformedFileImportsNothingAndNamesTheLine) {
  const std::string zun = Filled("ZUN");
  const struct {
    const char* name;
    std::string text;
    std::string err;
  } cases[] = {
      {"broken.vcf",
       "BEGIN:VCARD\nFN:A\nBDAY:2000-01-01\nEND:VCARD\nBEGIN:VCARD\nFN:B\nBDAY:2000-02-30\nEND:VCARD\n",
       ", строка 7: дата рождения «2000-02-30» не читается как дата\n"},
      {"unended.vcf", "BEGIN:VCARD\nFN:A\nBDAY:2000-01-01\n",
       ", строка 1: карточка не закончена строкой END:VCARD\n"},
      // Named as a vCard, written as a CSV: read as the vCard it claims to be.
      {"people.vcf", "Петров Пётр;01/01/2000\n",
       ", строка 1: ожидается ИМЯ:ЗНАЧЕНИЕ, а написано «Петров Пётр;01/01/2000»\n"},
  };
  for (const auto& c : cases) {
    const std::string path = Write(c.name, c.text);
    const ProgramResult r = Zunatool({"import", zun, path});
    EXPECT_EQ(r.exit_code, 1) << c.name;
    EXPECT_EQ(r.err, "zunatool: " + path + c.err);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Ok({"export", zun}), kPeopleCsv) << c.name;
  }
}

TEST_F(ContactsCommandsTest, CalendarExportPassesLibicalsParser) {
  const std::string zun = Filled("ZUN");
  const std::string ics = Ok({"export", zun, "--format", "ics"});
  icalcomponent* calendar = icalparser_parse_string(ics.c_str());
  ASSERT_NE(calendar, nullptr) << ics;
  EXPECT_EQ(icalcomponent_count_errors(calendar), 0);
  EXPECT_EQ(icalrestriction_check(calendar), 1);
  EXPECT_EQ(icalcomponent_count_components(calendar, ICAL_VEVENT_COMPONENT), 6);
  icalcomponent_free(calendar);
  EXPECT_NE(ics.find("SUMMARY:День рождения: Смит\\, Джон\r\n"), std::string::npos) << ics;
}

TEST_F(ContactsCommandsTest, WrongArgumentsPrintUsage) {
  const std::string usage = "вызов: zunatool export FILE [--format csv|vcard|ics]\n";
  EXPECT_EQ(Zunatool({"export", Zun(), "--format", "json"}).err, usage);
  EXPECT_EQ(Zunatool({"export", Zun(), "--format"}).err, usage);
  EXPECT_EQ(Zunatool({"export", "--format", "ics"}).err, usage);
  EXPECT_EQ(Zunatool({"import", Zun()}).err,
            "вызов: zunatool import FILE CONTACTS.vcf|PEOPLE.csv\n");
}

}  // namespace
}  // namespace zuna::testing
