// The command-line companion's command table: each command group registers
// its subcommands here, and main() dispatches to them.
//
// Texts arrive and leave as UTF-8; commands convert at their edges and work
// in the runtime's 1251 text inside.  A command returns the process exit
// code: 0 on success, 1 on failure (after writing "CODE TEXT" or a usage line
// to stderr).
#ifndef ZUNA_TOOLS_ZUNATOOL_COMMAND_H_
#define ZUNA_TOOLS_ZUNATOOL_COMMAND_H_

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zuna::tool {

using Arguments = std::span<const std::string>;

struct Command {
  std::string_view name;
  std::string_view synopsis;  // the line shown by --help
  int (*run)(Arguments arguments);
};

// Every command of every group, in the order --help lists them.
std::vector<Command> AllCommands();

// Command groups (one file each).
std::vector<Command> ValueCommands();
std::vector<Command> CheckCommands();
std::vector<Command> RegisterCommands();
std::vector<Command> RemindCommands();

// Prints "CODE TEXT" for the calling thread's runtime error to stderr and
// returns 1.  For errors that concern no file (eval); errors over a
// register go through ReportFileError (file_errors.h).
int ReportRuntimeError();

// The global option --wait SECONDS (default 10): how long a command waits
// for other programs that have its register open -- another station's
// transaction, or the file to itself for build and pack -- before it gives
// up.  main() sets it before the command runs.
inline constexpr std::chrono::seconds kDefaultWaitLimit{10};
std::chrono::seconds WaitLimit();
void SetWaitLimit(std::chrono::seconds limit);

// Prints "usage: zunatool <synopsis>" to stderr and returns 1.
int ReportUsage(std::string_view synopsis);

// Writes runtime (1251) text to stdout as UTF-8, followed by a newline.
void PrintLine(std::string_view cp1251_text);

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_COMMAND_H_
