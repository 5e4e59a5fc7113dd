// zunatool: the command-line companion of Zuna over the same runtime.
//
//   zunatool [--today YYYYMMDD] [--wait SECONDS] <command> [arguments]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "runtime/datfile/driver.h"
#include "runtime/values/clock.h"
#include "runtime/values/code_page.h"
#include "runtime/values/error_state.h"
#include "tools/zunatool/command.h"

namespace zuna::tool {
namespace {

// A day: more than anyone means, and far from overflowing a clock.
constexpr long kMaxWaitSeconds = 86400;

void PrintHelp(const std::vector<Command>& commands) {
  std::cout << "zunatool - спутник программы Zuna «Дни рождения» для командной строки\n"
               "\n"
               "вызов: zunatool [--today ГГГГММДД] [--wait СЕКУНДЫ] <команда> [аргументы]\n"
               "\n"
               "Команды:\n";
  for (const Command& command : commands) {
    std::cout << "  " << command.synopsis << "\n";
  }
  std::cout << "\n"
               "Ключи:\n"
               "  --today ГГГГММДД  считать сегодняшней эту дату (или ZUNA_TODAY=ГГГГММДД)\n"
               "  --wait СЕКУНДЫ    сколько ждать другие программы, открывшие реестр\n"
               "                    (по умолчанию 10): конца их транзакции, а для build\n"
               "                    и pack -- пока файл не закроют все\n"
               "  --help            показать этот текст\n"
               "\n"
               "Команды над реестром открывают его совместно, как программа Zuna\n"
               "(чтение/запись, без запретов для других), и работают, пока он открыт\n"
               "в Zuna или в другом zunatool; import -- одна транзакция: всё или ничего.\n"
               "build и pack нужен файл целиком: они ждут (--wait), потом отказываются,\n"
               "ничего не изменив. check сначала отменяет незавершённую транзакцию, как\n"
               "первое открытие файла; check --no-recover только читает.\n"
               "\n"
               "upcoming называет тех, у кого день рождения через 0..N дней (--days N,\n"
               "от 0 до 366; по умолчанию 7, как список программы). --json у list,\n"
               "upcoming и info: один документ JSON в UTF-8. remind показывает одно\n"
               "уведомление на рабочем столе (ничего, если дней рождения нет); без FILE\n"
               "берёт реестр программы Zuna: каталог из Zuna.INI ([Register] Directory=),\n"
               "иначе $XDG_DATA_HOME/Zuna.\n"
               "\n"
               "Тексты в UTF-8. Ошибки выводятся в stderr, код выхода 1; ошибка над\n"
               "файлом -- как \"zunatool: ФАЙЛ: что случилось: КОД ТЕКСТ (что сказала система)\".\n";
}

int Run(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  SetWaitLimit(kDefaultWaitLimit);
  const std::vector<Command> commands = AllCommands();
  size_t next = 0;
  static std::optional<values::FixedDateClock> today_clock;
  while (next < args.size() && args[next].starts_with("--")) {
    if (args[next] == "--help") {
      PrintHelp(commands);
      return 0;
    }
    if (args[next] == "--today") {
      if (next + 1 == args.size()) {
        std::cerr << "zunatool: после --today нужна дата ГГГГММДД\n";
        return 1;
      }
      const auto date = values::ParseYyyymmdd(args[next + 1]);
      if (!date) {
        std::cerr << "zunatool: после --today нужна существующая дата ГГГГММДД, а написано \""
                  << args[next + 1] << "\"\n";
        return 1;
      }
      today_clock.emplace(*date);
      values::SetClock(&*today_clock);
      next += 2;
      continue;
    }
    if (args[next] == "--wait") {
      char* end = nullptr;
      const char* text = next + 1 < args.size() ? args[next + 1].c_str() : "";
      const long seconds = std::strtol(text, &end, 10);
      if (*text == '\0' || *end != '\0' || seconds < 0 || seconds > kMaxWaitSeconds) {
        std::cerr << "zunatool: после --wait нужно число секунд от 0 до "
                  << kMaxWaitSeconds << "\n";
        return 1;
      }
      SetWaitLimit(std::chrono::seconds(seconds));
      next += 2;
      continue;
    }
    std::cerr << "zunatool: неизвестный ключ " << args[next]
              << " (см. zunatool --help)\n";
    return 1;
  }
  if (next == args.size()) {
    PrintHelp(commands);
    return 1;
  }
  for (const Command& command : commands) {
    if (command.name == args[next]) {
      return command.run(Arguments(args).subspan(next + 1));
    }
  }
  std::cerr << "zunatool: неизвестная команда " << args[next]
            << " (см. zunatool --help)\n";
  return 1;
}

}  // namespace

}  // namespace zuna::tool

int main(int argc, char** argv) { return zuna::tool::Run(argc, argv); }
