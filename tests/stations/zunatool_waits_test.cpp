// zunatool's waits for other programs on its register, with a real second
// station (zuna_station) holding the file open or keeping a transaction
// open:
//   - build and pack need the file alone: they wait up to --wait, say so
//     once on stderr, then refuse with exit 1 and every byte unchanged --
//     or go on once the other program closes the file;
//   - every command waits for another station's transaction up to --wait,
//     then refuses naming the file (56); a check or an import started
//     meanwhile goes on once it commits.
// A zunatool whose stderr the test must read as it comes runs under
// /bin/sh with 2>&1, so its lines arrive through the child's stdout pipe.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/file_bytes.h"
#include "tests/support/run_program.h"
#include "tests/support/station_client.h"
#include "tests/support/temp_dir.h"

namespace zuna::testing {
namespace {

ProgramResult Zunatool(const std::vector<std::string>& args) {
  return RunProgram(BinPath("zunatool"), args);
}

// zunatool with stderr joined to stdout, read line by line.
std::unique_ptr<ChildProcess> ZunatoolTalking(const std::string& arguments) {
  return std::make_unique<ChildProcess>(
      "/bin/sh", std::vector<std::string>{"-c", "exec '" + BinPath("zunatool") + "' " +
                                                    arguments + " 2>&1"});
}


size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class ZunatoolWaitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Zunatool({"create", Zun()}).exit_code, 0);
    for (const char* name : {"Иванов Иван", "Петров Пётр", "Сидоров Сидор"}) {
      ASSERT_EQ(Zunatool({"add", Zun(), name, "05/03/1990"}).exit_code, 0);
    }
  }

  std::string Zun() const { return dir_.File("ZUN"); }

  TempDir dir_;
};

TEST_F(ZunatoolWaitsTest, WholeFileWorkWaitsThenRefusesChangingNothing) {
  StationClient station;
  ASSERT_EQ(station.Code("share " + Zun()), 0);
  // A deleted record, so that a pack would change the file.
  ASSERT_EQ(station.Code("get 2"), 0);
  ASSERT_EQ(station.Code("delete"), 0);
  const std::map<std::string, std::string> before = ReadDirectoryBytes(dir_.path());
  for (const char* work : {"build", "pack"}) {
    SCOPED_TRACE(work);
    const ProgramResult r = Zunatool({"--wait", "1", work, Zun()});
    EXPECT_EQ(r.exit_code, 1) << r.err;
    const std::string label = "zunatool: " + Zun() + ".DAT: ";
    EXPECT_EQ(Count(r.err, label + "реестр открыт другой программой"), 1u) << r.err;
    EXPECT_EQ(Count(r.err, label + "реестр всё ещё открыт другой программой"), 1u)
        << r.err;
    EXPECT_NE(r.err.find("ничего не изменено"), std::string::npos) << r.err;
    EXPECT_TRUE(ReadDirectoryBytes(dir_.path()) == before) << "a refused " << work << " changed files";
  }
  EXPECT_EQ(station.Code("close"), 0);
}

TEST_F(ZunatoolWaitsTest, WholeFileWorkGoesOnOnceTheOtherProgramCloses) {
  StationClient station;
  ASSERT_EQ(station.Code("share " + Zun()), 0);
  ASSERT_EQ(station.Code("get 2"), 0);
  ASSERT_EQ(station.Code("delete"), 0);
  auto pack = ZunatoolTalking("--wait 60 pack '" + Zun() + "'");
  std::string line;
  ASSERT_TRUE(pack->ReadLine(&line, std::chrono::seconds(30)));
  EXPECT_NE(line.find("реестр открыт другой программой, а для сжатия файла файл нужен "
                      "целиком; ждём, пока его закроют (не дольше 60 с)"),
            std::string::npos)
      << line;
  EXPECT_EQ(station.Code("close"), 0);
  EXPECT_FALSE(pack->ReadLine(&line, std::chrono::seconds(30))) << line;
  EXPECT_EQ(pack->Wait(std::chrono::seconds(30)), 0);
  const ProgramResult list = Zunatool({"list", Zun(), "--by", "name"});
  EXPECT_EQ(list.out, "Иванов Иван|5/03/1990\nСидоров Сидор|5/03/1990\n");
  const ProgramResult check = Zunatool({"check", Zun()});
  EXPECT_NE(check.out.find("Проверка ZUN.DAT: записей 2, удалённых 0"), std::string::npos)
      << check.out;
  EXPECT_EQ(check.exit_code, 0) << check.out;
}

TEST_F(ZunatoolWaitsTest, CommandsWaitForAnotherStationsTransaction) {
  StationClient station;
  ASSERT_EQ(station.Code("share " + Zun()), 0);
  ASSERT_EQ(station.Code("logout"), 0);
  ASSERT_EQ(station.Code("add Station 60000"), 0);  // its log is held now

  const std::string refused = "zunatool: " + Zun() +
                              ".DAT: другая программа не закончила транзакцию с этим "
                              "файлом за 0 с (сколько ждать, задаёт --wait СЕКУНДЫ): 56 "
                              "LOGOUT Already Active (" +
                              dir_.File("ZUN.LOG");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--wait", "0", "add", Zun(), "Новый", "01/01/2001"},
        std::vector<std::string>{"--wait", "0", "list", Zun()},
        std::vector<std::string>{"--wait", "0", "export", Zun()}}) {
    SCOPED_TRACE(args[2]);
    const ProgramResult r = Zunatool(args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err.rfind(refused, 0), 0u) << r.err;
  }
  const ProgramResult check = Zunatool({"--wait", "0", "check", Zun()});
  EXPECT_EQ(check.exit_code, 1);
  EXPECT_NE(check.err.find("реестр всё ещё занят другой программой; проверка не выполнена"),
            std::string::npos)
      << check.err;

  // A check and an import started now wait for the transaction's end.
  const std::string csv = dir_.File("people.csv");
  std::ofstream(csv, std::ios::binary) << "Импорт Первый;01/02/2003\nИмпорт Второй;\n";
  auto waiting_check = ZunatoolTalking("--wait 60 check '" + Zun() + "'");
  std::string line;
  ASSERT_TRUE(waiting_check->ReadLine(&line, std::chrono::seconds(30)));
  EXPECT_NE(line.find("реестр занят другой программой"), std::string::npos) << line;
  ChildProcess import(BinPath("zunatool"), {"--wait", "60", "import", Zun(), csv});
  ASSERT_EQ(station.Code("add Station2 60001"), 0);
  ASSERT_EQ(station.Code("commit"), 0);
  std::string rest;
  while (waiting_check->ReadLine(&line, std::chrono::seconds(30))) rest += line + "\n";
  EXPECT_EQ(waiting_check->Wait(std::chrono::seconds(30)), 0) << rest;
  EXPECT_EQ(import.Wait(std::chrono::seconds(60)), 0);
  EXPECT_EQ(station.Code("close"), 0);
  // The check saw the transaction whole: either before the import or after.
  EXPECT_TRUE(rest.find("записей 5,") != std::string::npos ||
              rest.find("записей 7,") != std::string::npos)
      << rest;
  const ProgramResult exported = Zunatool({"export", Zun()});
  std::multiset<std::string> names;
  std::istringstream lines(exported.out);
  for (std::string one; std::getline(lines, one);) names.insert(one.substr(0, one.rfind(';')));
  EXPECT_EQ(names, (std::multiset<std::string>{"Иванов Иван", "Петров Пётр", "Сидоров Сидор",
                                               "Station", "Station2", "Импорт Первый",
                                               "Импорт Второй"}));
}

}  // namespace
}  // namespace zuna::testing
