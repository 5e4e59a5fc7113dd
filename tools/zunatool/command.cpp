// The command table and the helpers every command shares (command.h).

#include <iostream>

#include "runtime/datfile/driver.h"
#include "runtime/values/code_page.h"
#include "runtime/values/error_state.h"
#include "tools/zunatool/command.h"

namespace zuna::tool {
namespace {

std::chrono::seconds wait_limit = kDefaultWaitLimit;

}  // namespace

std::vector<Command> AllCommands() {
  std::vector<Command> commands = ValueCommands();
  for (const Command& command : CheckCommands()) commands.push_back(command);
  for (const Command& command : RegisterCommands()) commands.push_back(command);
  for (const Command& command : RemindCommands()) commands.push_back(command);
  return commands;
}

int ReportRuntimeError() {
  std::cerr << values::ERRORCODE() << ' ' << values::Cp1251ToUtf8(values::ERROR())
            << '\n';
  return 1;
}

std::chrono::seconds WaitLimit() { return wait_limit; }

// The driver waits out another station's transaction within the same
// limit, in every operation of every command.
void SetWaitLimit(std::chrono::seconds limit) {
  wait_limit = limit;
  datfile::SetTransactionWaitLimit(limit);
}

int ReportUsage(std::string_view synopsis) {
  std::cerr << "вызов: zunatool " << synopsis << '\n';
  return 1;
}

void PrintLine(std::string_view cp1251_text) {
  std::cout << values::Cp1251ToUtf8(cp1251_text) << '\n';
}

}  // namespace zuna::tool
