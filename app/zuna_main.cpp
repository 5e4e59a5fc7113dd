// zuna: the register of people and their birthdays, on the desktop.
//
//   zuna [--today YYYYMMDD] [DIRECTORY]
//
// DIRECTORY holds the register (ZUN.DAT and its key files); without it, the
// one the settings file names, else the user's data directory
// (register_place.h).  Several stations share a register by naming one
// directory on a network file system.  --today (or ZUNA_TODAY=YYYYMMDD)
// fixes today's date for the whole program.
//
// Exit codes: 0 after the frame closed (also on SIGTERM or SIGHUP, which
// close it in order), 1 when the program could not start, 3 after a fatal
// error.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/register_place.h"
#include "app/register_list.h"
#include "app/register_program.h"
#include "app/upcoming_list.h"
#include "app/stop_signals.h"
#include "framework/window/engine_host.h"
#include "runtime/values/clock.h"
#include "runtime/values/code_page.h"
#include "runtime/values/program_files.h"
#include "runtime/window/engine.h"
#include "runtime/window/qt/qt_session.h"

namespace {

using namespace zuna;

constexpr const char* kUsage = "вызов: zuna [--today ГГГГММДД] [КАТАЛОГ]\n";

struct Arguments {
  std::optional<std::string> directory;
  std::optional<values::LocalDateTime> today;
  bool help = false;
  std::string error;  // UTF-8; empty when the arguments are sound
};

Arguments Parse(int argc, char** argv) {
  Arguments parsed;
  std::vector<std::string> args(argv + 1, argv + argc);
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help") {
      parsed.help = true;
    } else if (args[i] == "--today") {
      parsed.today = i + 1 < args.size() ? values::ParseYyyymmdd(args[++i]) : std::nullopt;
      if (!parsed.today) parsed.error = "после --today нужна существующая дата ГГГГММДД";
    } else if (args[i].starts_with("--") || parsed.directory) {
      parsed.error = "непонятный аргумент \"" + args[i] + "\"";
    } else {
      parsed.directory = args[i];
    }
  }
  return parsed;
}

// The program's own file `name` (program_files.h); empty when missing.
std::string ExistingFile(std::string_view name) {
  const std::string path = values::FileBesideProgram(name);
  return ::access(path.c_str(), R_OK) == 0 ? path : std::string();
}

}  // namespace

int main(int argc, char** argv) {
  // Before any thread: every thread then has the stop signals blocked.
  std::atomic<window::Engine*> engine{nullptr};
  app::StopSignals signals([&engine] {
    if (window::Engine* running = engine.load()) running->Abandon();
  });
  window::qt::QtSession session(argc, argv);
  framework::EngineHost host;
  framework::ScopedHost installed(host);

  Arguments args = Parse(argc, argv);
  if (args.help || !args.error.empty()) {
    if (!args.error.empty()) std::fprintf(stderr, "zuna: %s\n", args.error.c_str());
    std::fputs(kUsage, args.help ? stdout : stderr);
    return args.help ? 0 : 1;
  }
  static std::optional<values::FixedDateClock> today_clock;
  if (args.today) {
    today_clock.emplace(*args.today);
    values::SetClock(&*today_clock);
  }

  std::string error;
  std::optional<std::string> directory;
  {
    framework::INIClass settings;
    settings.Init("Zuna.INI", 0, 0);
    directory = app::RegisterDirectory(args.directory, settings, &error);
    settings.Kill();
  }
  if (directory && ::chdir(directory->c_str()) != 0) {
    error = "не удалось перейти в каталог реестра " + *directory;
    directory.reset();
  }
  if (!directory) {
    std::fprintf(stderr, "zuna: %s\n", error.c_str());
    session.Run([&error] {
      window::MESSAGE(values::Utf8ToCp1251(error), values::W("Дни рождения"),
                      window::ICON::Exclamation);
    });
    return 1;
  }

  app::InstallThreadHooks(session.engine());
  engine = &session.engine();
  app::ProgramOptions options;
  options.lists = {.upcoming = app::tab1, .register_list = app::tab2};
  options.create_register = true;
  options.backdrop = ExistingFile("backdrop.png");
  options.icon = ExistingFile("zuna.png");
  const int code = session.Run([&options] { app::ProgramMain(options); });
  engine = nullptr;
  return code;
}
