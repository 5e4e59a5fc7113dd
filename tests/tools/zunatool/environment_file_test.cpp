// The environment file shipped beside the programs decides case and order of
// Russian names; a program copied away from it falls back to ASCII rules.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/run_program.h"

namespace zuna::testing {
namespace {

namespace fs = std::filesystem;

class EnvironmentFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lonely_dir_ = fs::temp_directory_path() /
                  ("zuna-env-test-" + std::to_string(::getpid()));
    fs::create_directories(lonely_dir_);
    fs::copy_file(BinPath("zunatool"), lonely_dir_ / "zunatool",
                  fs::copy_options::overwrite_existing);
  }
  void TearDown() override { fs::remove_all(lonely_dir_); }

  std::string Eval(const std::string& program, const std::string& expr) {
    const ProgramResult r = RunProgram(program, {"eval", expr});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return r.out;
  }

  fs::path lonely_dir_;
};

TEST_F(EnvironmentFileTest, ShippedFileUpperCasesCyrillicAndSortsRussian) {
  const std::string shipped = BinPath("zunatool");
  ASSERT_TRUE(fs::exists(BinPath("Zuna.ENV")));
  EXPECT_EQ(Eval(shipped, "upper('иванов ёж')"), "ИВАНОВ ЁЖ\n");
  EXPECT_EQ(Eval(shipped, "lower('ПЕТРОВ')"), "петров\n");
  // Ё sorts right after Е, before Ж, although its code is far below both.
  EXPECT_EQ(Eval(shipped, "'Ежов' < 'Ёлкин' and 'Ёлкин' < 'Жуков'"), "1\n");
  EXPECT_EQ(Eval(shipped, "'Яковлев' > 'Абрамов'"), "1\n");
}

TEST_F(EnvironmentFileTest, WithoutTheFileCyrillicHasNoCaseAndByteOrder) {
  const std::string lonely = (lonely_dir_ / "zunatool").string();
  ASSERT_FALSE(fs::exists(lonely_dir_ / "Zuna.ENV"));
  EXPECT_EQ(Eval(lonely, "upper('иванов')"), "иванов\n");
  EXPECT_EQ(Eval(lonely, "upper('abc')"), "ABC\n");
  // In 1251, Ё (A8h) sits below every other capital letter.
  EXPECT_EQ(Eval(lonely, "'Ёлкин' < 'Ежов'"), "1\n");
}

}  // namespace
}  // namespace zuna::testing
