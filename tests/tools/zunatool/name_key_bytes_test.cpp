// The bytes zunatool's name key keeps for a person, under the built-in
// tables and under the shipped environment file, worked out by hand from
// code page 866; and a register whose key a previous release wrote with
// other weights: check reports it, build mends it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/file_bytes.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace zuna::testing {
namespace {

namespace fs = std::filesystem;

// The first entry of ZUN.K02's single leaf (node 1 at 512, entries at 13):
// the record number, then the 30-byte name value.
constexpr size_t kFirstEntry = 512 + 13;
constexpr size_t kNumberSize = 4;
constexpr size_t kNameSize = 30;

std::string Bytes(std::initializer_list<int> codes) {
  std::string s;
  for (int c : codes) s.push_back(static_cast<char>(c));
  s.resize(kNameSize, ' ');
  return s;
}

std::string NameEntry(const TempDir& dir) {
  return ReadFileBytes(dir.File("ZUN.K02")).substr(kFirstEntry, kNumberSize + kNameSize);
}

std::string RecordOne() { return std::string("\x01\0\0\0", 4); }

class NameKeyBytesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A copy of zunatool with no environment file beside it.
    fs::copy_file(BinPath("zunatool"), lonely_.File("zunatool"));
  }

  ProgramResult Run(const std::string& program,
                    const std::vector<std::string>& args) {
    return RunProgram(program, args);
  }

  // Creates the register and adds «Яковлев Пётр» with `program`.
  void AddPerson(const std::string& program) {
    ASSERT_EQ(Run(program, {"create", dir_.File("ZUN")}).exit_code, 0);
    const ProgramResult r =
        Run(program, {"add", dir_.File("ZUN"), "Яковлев Пётр", "05/03/1985"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }

  TempDir dir_;
  TempDir lonely_;
};

TEST_F(NameKeyBytesTest, WithoutTheEnvironmentFileTheKeyHoldsThe866Bytes) {
  AddPerson(lonely_.File("zunatool"));
  // Я к о в л е в _ П ё т р in 866; no case above 127 without the tables.
  EXPECT_EQ(NameEntry(dir_),
            RecordOne() + Bytes({0x9F, 0xAA, 0xAE, 0xA2, 0xAB, 0xA5, 0xA2,
                                 0x20, 0x8F, 0xF1, 0xE2, 0xE0}));
}

TEST_F(NameKeyBytesTest, ShippedOrderRanksTheLettersAmongTheir866Codes) {
  AddPerson(BinPath("zunatool"));
  // Upper-cased to ЯКОВЛЕВ ПЁТР.  The shipped list turned into 866 holds 77
  // characters: the symbols NBSP ¤ ° · № take 80-84, then А а Б б … deal
  // out the rest of 80-AF, E0-F8, FA, FC, FD, FF in alphabetical order, with
  // Ё ё Є є after Е е, Ї ї after И и, Ў ў after У у.  So А 85, В 89, Е 8F,
  // Ё 91, К 9F, Л A1, О A7, П A9, Р AB, Т AF, Я FD.
  EXPECT_EQ(NameEntry(dir_),
            RecordOne() + Bytes({0xFD, 0x9F, 0xA7, 0x89, 0xA1, 0x8F, 0x89,
                                 0x20, 0xA9, 0x91, 0xAF, 0xAB}));
}

TEST_F(NameKeyBytesTest, CheckReportsWeightsOfAnEarlierReleaseAndBuildMendsThem) {
  const std::string zunatool = BinPath("zunatool");
  AddPerson(zunatool);
  const std::string sound = NameEntry(dir_);
  // What an earlier release stored: every character weighed by its 1251
  // rank, not by its 866 code.
  std::string key = ReadFileBytes(dir_.File("ZUN.K02"));
  key.replace(kFirstEntry, kNumberSize + kNameSize,
              RecordOne() + Bytes({0xAC, 0xE7, 0xEB, 0xAF, 0xE8, 0xE2, 0xAF,
                                   0x20, 0x9C, 0x89, 0xEF, 0xED}));
  ASSERT_TRUE(WriteFileBytes(dir_.File("ZUN.K02"), key));

  ProgramResult r = Run(zunatool, {"check", dir_.File("ZUN")});
  EXPECT_EQ(r.exit_code, 1) << r.out;
  EXPECT_NE(r.out.find("значение не совпадает с записью"), std::string::npos)
      << r.out;

  r = Run(zunatool, {"build", dir_.File("ZUN")});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(NameEntry(dir_), sound);
  r = Run(zunatool, {"check", dir_.File("ZUN")});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  r = Run(zunatool, {"list", dir_.File("ZUN"), "--by", "name"});
  EXPECT_EQ(r.out, "Яковлев Пётр|5/03/1985\n");
}

}  // namespace
}  // namespace zuna::testing
