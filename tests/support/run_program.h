// Runs a program of the build as a child process and captures what it says,
// for tests of the command-line programs and of several stations at once.
#ifndef ZUNA_TESTS_SUPPORT_RUN_PROGRAM_H_
#define ZUNA_TESTS_SUPPORT_RUN_PROGRAM_H_

#include <string>
#include <vector>

namespace zuna::testing {

struct ProgramResult {
  int exit_code = -1;  // -1 when the child did not exit normally
  std::string out;
  std::string err;
};

// Runs `path` with `args` (argv[1]...) and the current environment plus
// `extra_env` entries ("NAME=VALUE"; an entry "NAME=" without value removes
// NAME).  Waits for it to end.
ProgramResult RunProgram(const std::string& path,
                         const std::vector<std::string>& args,
                         const std::vector<std::string>& extra_env = {});

// The path of a program built into bin/ (zunatool, zuna).
std::string BinPath(const std::string& program);

}  // namespace zuna::testing

#endif  // ZUNA_TESTS_SUPPORT_RUN_PROGRAM_H_
