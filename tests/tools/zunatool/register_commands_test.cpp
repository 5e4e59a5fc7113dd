// zunatool's register commands (create, add, list, import, export, build,
// pack) run as real processes over a register file in a temporary
// directory; every expected output is written out by hand.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zunatool_register_test.h"

namespace zuna::testing {
namespace {

// Three people added in this order; by date: ёлкин, Жуков, Ежов; by name
// (Russian order, case ignored): Ежов, ёлкин, Жуков.
constexpr char kByDate[] =
    "ёлкин Пётр|15/06/1975\n"
    "Жуков Георгий|1/12/1980\n"
    "Ежов Николай|5/03/2009\n";
constexpr char kByName[] =
    "Ежов Николай|5/03/2009\n"
    "ёлкин Пётр|15/06/1975\n"
    "Жуков Георгий|1/12/1980\n";
constexpr char kExport[] =
    "Жуков Георгий;01/12/1980\n"
    "Ежов Николай;05/03/2009\n"
    "ёлкин Пётр;15/06/1975\n";

class ZunatoolCommandsTest : public ZunatoolRegisterTest {
 protected:
  void ExpectClean(const std::string& file) {
    const ProgramResult r = Zunatool({"check", file});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find(": ошибок нет\n"), std::string::npos) << r.out;
  }

  void MakeThree() {
    ASSERT_EQ(Ok({"create", Zun()}), "");
    ASSERT_EQ(Ok({"add", Zun(), "Жуков Георгий", "01/12/1980"}), "");
    ASSERT_EQ(Ok({"add", Zun(), "Ежов Николай", "5/3/2009"}), "");
    ASSERT_EQ(Ok({"add", Zun(), "ёлкин Пётр", "15/06/1975"}), "");
  }
};

TEST_F(ZunatoolCommandsTest, CreateAddListByDateAndByName) {
  MakeThree();
  ExpectClean(Zun());
  EXPECT_EQ(Ok({"list", Zun()}), kByDate);
  EXPECT_EQ(Ok({"list", Zun(), "--by", "date"}), kByDate);
  EXPECT_EQ(Ok({"list", dir_.File("ZUN.DAT"), "--by", "name"}), kByName);
}

TEST_F(ZunatoolCommandsTest, ListWithFilter) {
  MakeThree();
  EXPECT_EQ(Ok({"list", Zun(), "--filter", "year(zun:data)=1980"}),
            "Жуков Георгий|1/12/1980\n");
  EXPECT_EQ(Ok({"list", Zun(), "--by", "name", "--filter",
                "upper(sub(ZUN:FIO,1,1))='Ё' or year(ZUN:DATA)>2000"}),
            "Ежов Николай|5/03/2009\n"
            "ёлкин Пётр|15/06/1975\n");
  EXPECT_EQ(Ok({"list", Zun(), "--filter", "zun:data1<>0"}), "");
}

TEST_F(ZunatoolCommandsTest, ListWithABadFilterIsRefused) {
  MakeThree();
  ProgramResult r = Zunatool({"list", Zun(), "--filter", "year(zun:data"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(r.err.starts_with("1010 ")) << r.err;
  EXPECT_EQ(r.out, "");
  r = Zunatool({"list", Zun(), "--filter", "zun:nobody=1"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(r.err.starts_with("1011 ")) << r.err;
}

TEST_F(ZunatoolCommandsTest, SameNameAndSameDateAreBothListed) {
  ASSERT_EQ(Ok({"create", Zun()}), "");
  Ok({"add", Zun(), "Иванов Иван", "05/03/2009"});
  Ok({"add", Zun(), "ИВАНОВ ИВАН", "05/03/2009"});
  EXPECT_EQ(Ok({"list", Zun(), "--by", "name"}),
            "Иванов Иван|5/03/2009\n"
            "ИВАНОВ ИВАН|5/03/2009\n");
  EXPECT_EQ(Ok({"list", Zun()}),
            "Иванов Иван|5/03/2009\n"
            "ИВАНОВ ИВАН|5/03/2009\n");
  ExpectClean(Zun());
}

TEST_F(ZunatoolCommandsTest, ExportImportRoundTrip) {
  MakeThree();
  const std::string exported = Ok({"export", Zun()});
  EXPECT_EQ(exported, kExport);
  const std::string csv = Write("people.csv", exported);
  const std::string copy = dir_.File("COPY.DAT");
  ASSERT_EQ(Ok({"create", copy}), "");
  EXPECT_EQ(Ok({"import", copy, csv}), "");
  ExpectClean(copy);
  EXPECT_EQ(Ok({"export", copy}), kExport);
  EXPECT_EQ(Ok({"list", copy, "--by", "name"}), kByName);
}

TEST_F(ZunatoolCommandsTest, ImportSkipsBlankLinesAndTakesCrLf) {
  ASSERT_EQ(Ok({"create", Zun()}), "");
  const std::string csv = Write(
      "in.csv", "\xEF\xBB\xBFЖуков Георгий;01/12/1980\r\n\r\n   \nЕжов Николай;5/3/2009");
  EXPECT_EQ(Ok({"import", Zun(), csv}), "");
  EXPECT_EQ(Ok({"export", Zun()}),
            "Жуков Георгий;01/12/1980\n"
            "Ежов Николай;05/03/2009\n");
  ExpectClean(Zun());
}

TEST_F(ZunatoolCommandsTest, BuildAndPackKeepTheList) {
  MakeThree();
  EXPECT_EQ(Ok({"build", Zun()}), "");
  ExpectClean(Zun());
  EXPECT_EQ(Ok({"list", Zun()}), kByDate);
  EXPECT_EQ(Ok({"list", Zun(), "--by", "name"}), kByName);
  EXPECT_EQ(Ok({"pack", Zun()}), "");
  ExpectClean(Zun());
  EXPECT_EQ(Ok({"list", Zun()}), kByDate);
  EXPECT_EQ(Ok({"list", Zun(), "--by", "name"}), kByName);
  EXPECT_EQ(Ok({"export", Zun()}), kExport);
}

TEST_F(ZunatoolCommandsTest, BuildRepairsMissingAndDamagedKeyFiles) {
  MakeThree();
  // A lost name key: the list refuses with 46 until the keys are rebuilt.
  std::filesystem::remove(dir_.File("ZUN.K02"));
  ProgramResult r = Zunatool({"list", Zun()});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "zunatool: " + Zun() +
                       ".DAT: файлы ключей надо перестроить (zunatool build): 46 Key "
                       "File Must Be Rebuilt (" +
                       dir_.File("ZUN.K02") + ": key file missing)\n");
  EXPECT_EQ(Ok({"build", Zun()}), "");
  ExpectClean(Zun());
  EXPECT_EQ(Ok({"list", Zun(), "--by", "name"}), kByName);

  // A date key cut to its header block.
  std::filesystem::resize_file(dir_.File("ZUN.K01"), 512);
  EXPECT_EQ(Zunatool({"check", Zun()}).exit_code, 1);
  EXPECT_EQ(Ok({"build", Zun()}), "");
  ExpectClean(Zun());
  EXPECT_EQ(Ok({"list", Zun()}), kByDate);
}

TEST_F(ZunatoolCommandsTest, CreateOverAnExistingFileIsRefused) {
  MakeThree();
  const ProgramResult r = Zunatool({"create", Zun()});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "zunatool: " + Zun() +
                       ".DAT: реестр уже есть, create не заменяет его: 5 Access Denied (" +
                       dir_.File("ZUN.DAT") + ": File exists)\n");
  EXPECT_EQ(Ok({"list", Zun()}), kByDate);
}

TEST_F(ZunatoolCommandsTest, MissingFileIsFileNotFound) {
  const std::string csv = Write("in.csv", "Ежов Николай;05/03/2009\n");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"add", Zun(), "Ежов Николай", "05/03/2009"},
        std::vector<std::string>{"list", Zun()},
        std::vector<std::string>{"export", Zun()},
        std::vector<std::string>{"import", Zun(), csv},
        std::vector<std::string>{"build", Zun()},
        std::vector<std::string>{"pack", Zun()}}) {
    const ProgramResult r = Zunatool(args);
    EXPECT_EQ(r.exit_code, 1) << args[0];
    EXPECT_EQ(r.err, "zunatool: " + Zun() + ".DAT: файл не найден: 2 File Not Found (" +
                         dir_.File("ZUN.DAT") + ": No such file or directory)\n")
        << args[0];
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.File("ZUN.DAT")));
}

TEST_F(ZunatoolCommandsTest, BadDatesAreRefused) {
  MakeThree();
  for (const std::string date :
       {"31/02/2009", "29/02/2009", "00/01/2000", "1/13/2000", "01/01/1800",
        "2009-03-05", "05/03/09", "05/03/2009x", ""}) {
    const ProgramResult r = Zunatool({"add", Zun(), "Петров Пётр", date});
    EXPECT_EQ(r.exit_code, 1) << date;
    EXPECT_NE(r.err.find("дата «" + date + "»"), std::string::npos)
        << r.err;
  }
  EXPECT_EQ(Ok({"add", Zun(), "Петров Пётр", "29/02/2008"}), "");
  EXPECT_EQ(Ok({"list", Zun(), "--filter", "year(zun:data)=2008"}),
            "Петров Пётр|29/02/2008\n");
}

TEST_F(ZunatoolCommandsTest, NamesAreCheckedBeforeAdding) {
  MakeThree();
  const std::string thirty = "Константинопольский Александр";  // 29
  EXPECT_EQ(Ok({"add", Zun(), thirty + "ы", "01/01/2000"}), "");
  ProgramResult r = Zunatool({"add", Zun(), thirty + "ыы", "01/01/2000"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("длиннее 30 знаков"), std::string::npos) << r.err;
  // In 1251 but not in 866.
  r = Zunatool({"add", Zun(), "Smith €", "01/01/2000"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("кодовой странице 866"), std::string::npos) << r.err;
  // In neither.
  r = Zunatool({"add", Zun(), "Ли 李", "01/01/2000"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("кодовой странице 1251"), std::string::npos) << r.err;
  r = Zunatool({"add", Zun(), "   ", "01/01/2000"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("имя не задано"), std::string::npos) << r.err;
  // A question mark of its own is a character like any other.
  EXPECT_EQ(Ok({"add", Zun(), "Кто?", "02/01/2000"}), "");
  EXPECT_EQ(Ok({"list", Zun(), "--filter", "year(zun:data)=2000"}),
            thirty + "ы|1/01/2000\nКто?|2/01/2000\n");
  ExpectClean(Zun());
}

TEST_F(ZunatoolCommandsTest, BadCsvLineLeavesTheFileUnchanged) {
  MakeThree();
  for (const std::string& text :
       {std::string("Петров Пётр;01/01/2000\n\nСидоров;31/02/2001\n"),
        std::string("Петров Пётр;01/01/2000\n\nСидоров 01/02/2001\n"),
        std::string("Петров Пётр;01/01/2000\n\nSmith €;01/02/2001\n")}) {
    const std::string csv = Write("bad.csv", text);
    const ProgramResult r = Zunatool({"import", Zun(), csv});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("bad.csv, строка 3: "), std::string::npos) << r.err;
    EXPECT_EQ(Ok({"export", Zun()}), kExport);
  }
  const ProgramResult r = Zunatool({"import", Zun(), dir_.File("none.csv")});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("не удаётся прочитать"), std::string::npos) << r.err;
  ExpectClean(Zun());
}

TEST_F(ZunatoolCommandsTest, WrongArgumentsPrintUsage) {
  EXPECT_EQ(Zunatool({"add", Zun(), "Ежов"}).err,
            "вызов: zunatool add FILE NAME DD/MM/YYYY\n");
  EXPECT_EQ(Zunatool({"list", Zun(), "--by", "age"}).err,
            "вызов: zunatool list FILE [--by date|name] [--filter EXPR] [--json]\n");
  EXPECT_EQ(Zunatool({"create"}).exit_code, 1);
}

}  // namespace
}  // namespace zuna::testing
