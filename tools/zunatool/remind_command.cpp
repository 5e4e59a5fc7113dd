// remind [FILE] [--days N]: one desktop notification naming the people
// whose birthday is 0 to N days away (default 7, as the program's list),
// in the list's order (upcoming_people.h, remind_text.h).  Nobody due: no
// notification, exit 0.  No notification service answering on the session
// bus: a Russian line on stderr, exit 1.
//
// Without FILE the register is found as `zuna` finds it without a
// directory (app/register_place.h): the settings file's [Register]
// Directory=, else $XDG_DATA_HOME/Zuna; so the systemd user timer shipped
// in packaging/ needs no argument.  Until the program has made its register
// there, nobody is due: the timer runs quietly instead of failing each day.

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/register_place.h"
#include "framework/window/settings_file.h"
#include "runtime/datfile/os_file.h"
#include "runtime/values/clock.h"
#include "tools/zunatool/command.h"
#include "tools/zunatool/desktop_notice.h"
#include "tools/zunatool/file_errors.h"
#include "tools/zunatool/register_file.h"
#include "tools/zunatool/remind_text.h"
#include "tools/zunatool/upcoming_people.h"

namespace zuna::tool {
namespace {

constexpr std::string_view kRemindSynopsis =
    "remind [FILE] [--days N]";

// ZUN in the directory where `zuna` keeps the register; nullopt after
// saying why there is none.
std::optional<std::string> ProgramsRegister() {
  std::string error;
  std::optional<std::string> directory;
  {
    framework::INIClass settings;
    settings.Init("Zuna.INI", 0, 0);
    directory = app::RegisterDirectory(std::nullopt, settings, &error);
    settings.Kill();
  }
  if (!directory) {
    Refuse(error);
    return std::nullopt;
  }
  return *directory + "/ZUN";
}

int RunRemind(Arguments arguments) {
  const std::optional<UpcomingArguments> read =
      ReadUpcomingArguments(arguments, /*json_allowed=*/false, kRemindSynopsis);
  if (!read) return 1;
  std::optional<std::string> name = read->file;
  if (!name) {
    name = ProgramsRegister();
    if (!name) return 1;
    if (!datfile::PosixFileSystem().Exists(FileLabel(*name))) return 0;
  }

  std::vector<UpcomingPerson> people;
  if (const int result = ReadUpcomingPeople(*name, values::TODAY(), read->days, &people)) {
    return result;
  }
  if (people.empty()) return 0;
  if (std::optional<std::string> failure = ShowDesktopNotice(kRemindSummary, RemindBody(people))) {
    return Refuse(
        "напоминание не показано: служба уведомлений рабочего стола не ответила "
        "(нужен сеанс с D-Bus и org.freedesktop.Notifications): " +
        *failure);
  }
  return 0;
}

}  // namespace

std::vector<Command> RemindCommands() {
  return {{"remind", kRemindSynopsis, RunRemind}};
}

}  // namespace zuna::tool
