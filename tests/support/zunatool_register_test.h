// The fixture zunatool's command tests share: a register ZUN in a temporary
// directory, and zunatool run over it as a real process.
#ifndef ZUNA_TESTS_SUPPORT_ZUNATOOL_REGISTER_TEST_H_
#define ZUNA_TESTS_SUPPORT_ZUNATOOL_REGISTER_TEST_H_

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace zuna::testing {

inline ProgramResult Zunatool(const std::vector<std::string>& args) {
  return RunProgram(BinPath("zunatool"), args);
}

class ZunatoolRegisterTest : public ::testing::Test {
 protected:
  std::string Zun() const { return dir_.File("ZUN"); }

  // Runs zunatool and expects success with nothing on stderr; its stdout.
  std::string Ok(const std::vector<std::string>& args) {
    const ProgramResult r = Zunatool(args);
    EXPECT_EQ(r.exit_code, 0) << args[0] << ": " << r.out << r.err;
    EXPECT_EQ(r.err, "") << args[0];
    return r.out;
  }

  // Writes `text` to the file `name` in the directory; its path.
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = dir_.File(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  // Creates the register `zun` and imports the CSV `csv_text` into it.
  void MakeRegister(const std::string& zun, const std::string& csv_text) {
    ASSERT_EQ(Ok({"create", zun}), "");
    ASSERT_EQ(Ok({"import", zun, Write("in.csv", csv_text)}), "");
  }

  TempDir dir_;
};

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_ZUNATOOL_REGISTER_TEST_H_
