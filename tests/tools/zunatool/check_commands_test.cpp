// zunatool's info and check, run as a real process over files the data and
// key file layers wrote into a temporary directory.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/datfile/os_file.h"
#include "runtime/values/code_page.h"
#include "runtime/values/locale.h"
#include "tests/runtime/datfile/checker_test_util.h"
#include "tests/support/run_program.h"
#include "tests/support/status_matchers.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zun_declaration.h"

namespace zuna::testing {
namespace {

ProgramResult Zunatool(const std::vector<std::string>& args) {
  return RunProgram(BinPath("zunatool"), args);
}

// The tables zunatool loads: the environment file shipped beside it.
values::LocaleTables ShippedLocale() {
  std::ifstream in(std::string(ZUNA_SOURCE_DIR) + "/app/Zuna.ENV",
                   std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return values::LoadLocale({}, text.str());
}

class ZunatoolCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<std::string> records = {
        ZunRecord(values::W("Иванов Иван"), 60000),
        ZunRecord(values::W("петров пётр"), 61000),
        ZunRecord(values::W("Сидоров Сидор"), 62000)};
    ASSERT_OK(BuildCheckedFile(datfile::PosixFileSystem(), dir_.File("ZUN.DAT"),
                               ZunDeclaration(), ShippedLocale(), records, {2}));
  }

  void Patch(const std::string& name, std::streamoff offset,
             const std::string& bytes) {
    std::fstream file(dir_.File(name),
                      std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(offset);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  TempDir dir_;
};

TEST_F(ZunatoolCheckTest, CheckOfACleanFileExitsZero) {
  const ProgramResult r = Zunatool({"check", dir_.File("ZUN")});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Проверка ZUN.DAT: записей 2, удалённых 1, ZUN.K01 2, "
                       "ZUN.K02 2\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Проверка ZUN.DAT: ошибок нет\n"), std::string::npos)
      << r.out;
}

// A log cut short in its first record: its process died before it
// protected any write.
TEST_F(ZunatoolCheckTest, CheckNoRecoverNamesTheLogAndCheckRemovesIt) {
  std::ofstream(dir_.File("ZUN.LOG"), std::ios::binary) << "marker";
  const ProgramResult r = Zunatool({"check", "--no-recover", dir_.File("ZUN")});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Примечание: найден журнал незавершённой транзакции " +
                       dir_.File("ZUN.LOG")),
            std::string::npos)
      << r.out;
  // --no-recover only reads: the log is still there for the next open.
  EXPECT_TRUE(std::ifstream(dir_.File("ZUN.LOG")).good());

  const ProgramResult recovered = Zunatool({"check", dir_.File("ZUN")});
  EXPECT_EQ(recovered.exit_code, 0) << recovered.out << recovered.err;
  EXPECT_EQ(recovered.out.rfind("Журнал " + dir_.File("ZUN.LOG") +
                                    ", по которому нечего отменять, удалён, как при "
                                    "первом открытии файла\n",
                                0),
            0u)
      << recovered.out;
  EXPECT_EQ(recovered.out.find("Примечание: найден журнал"), std::string::npos)
      << recovered.out;
  EXPECT_FALSE(std::ifstream(dir_.File("ZUN.LOG")).good());
}

TEST_F(ZunatoolCheckTest, CheckPrintsFaultsAndExitsOne) {
  Patch("ZUN.DAT", 9, std::string("\x05\x00\x00\x00", 4));  // deleted count
  ASSERT_OK(datfile::PosixFileSystem().Remove(dir_.File("ZUN.K02")));
  const ProgramResult r = Zunatool({"check", dir_.File("ZUN.DAT")});
  EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("ZUN.DAT (смещение 9): в заголовке удалённых 5, а "
                       "слотов с битом удаления 1\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("ZUN.K02 (смещение 0): файл ключа ZUN:key2 отсутствует\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Проверка ZUN.DAT: ошибок 2\n"), std::string::npos)
      << r.out;
}

// The error line names the file as the user named it and says what the
// system said.
TEST_F(ZunatoolCheckTest, MissingFileIsFileNotFound) {
  const std::string expected = "zunatool: " + dir_.File("NONE") +
                               ".DAT: файл не найден: 2 File Not Found (" +
                               dir_.File("NONE.DAT") + ": No such file or directory)\n";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"check", dir_.File("NONE")},
        std::vector<std::string>{"check", "--no-recover", dir_.File("NONE")},
        std::vector<std::string>{"info", dir_.File("NONE")},
        std::vector<std::string>{"list", dir_.File("NONE")},
        std::vector<std::string>{"add", dir_.File("NONE"), "Кто-то", "01/01/2000"},
        std::vector<std::string>{"build", dir_.File("NONE")}}) {
    SCOPED_TRACE(args[0]);
    const ProgramResult r = Zunatool(args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, expected);
  }
}

// The same document with and without --json, parsed back.
TEST_F(ZunatoolCheckTest, InfoPrintsHeaderDescriptorsAndKeyHeaders) {
  const ProgramResult r = Zunatool({"info", dir_.File("zun.dat")});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const ProgramResult with_option = Zunatool({"info", "--json", dir_.File("zun.dat")});
  ASSERT_EQ(with_option.exit_code, 0) << with_option.err;
  EXPECT_EQ(with_option.out, r.out);
  const nlohmann::json info = nlohmann::json::parse(r.out);
  EXPECT_EQ(info["file"], "ZUN.DAT");
  EXPECT_EQ(info["owner_scrambled"], false);
  const nlohmann::json& header = info["header"];
  EXPECT_EQ(header["signature"], 13142);
  EXPECT_EQ(header["record_slots"], 3);
  EXPECT_EQ(header["deleted_count"], 1);
  EXPECT_EQ(header["data_offset"], 216);
  EXPECT_EQ(header["slot_length"], 43);
  EXPECT_EQ(header["file_prefix"], "ZUN");
  ASSERT_EQ(info["fields"].size(), 3u);
  EXPECT_EQ(info["fields"][0]["name"], "ZUN:FIO");
  EXPECT_EQ(info["fields"][0]["offset"], 0);
  EXPECT_EQ(info["fields"][0]["length"], 30);
  ASSERT_EQ(info["keys"].size(), 2u);
  const nlohmann::json& key = info["keys"][1];
  EXPECT_EQ(key["name"], "ZUN:key2");
  EXPECT_EQ(key["components"],
            nlohmann::json::parse(R"([{"type": 3, "field": 1, "offset": 0, "length": 30}])"));
  EXPECT_EQ(info["keys"][0]["file"]["name"], "ZUN.K01");
  EXPECT_EQ(info["keys"][0]["file"]["present"], true);
  EXPECT_EQ(info["keys"][0]["file"]["header"]["entry_count"], 2);
  EXPECT_EQ(key["file"]["header"]["entries_per_node"], 14);
  EXPECT_EQ(info["pictures"], nlohmann::json::array());
  EXPECT_EQ(info["faults"], nlohmann::json::array());
}

TEST(ZunatoolCheckUsageTest, WithoutAFileShowsUsage) {
  const ProgramResult r = Zunatool({"check"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("вызов: zunatool check"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace zuna::testing
