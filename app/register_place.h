// Where the register lives: the directory whose ZUN.DAT (and key files) the
// program opens.  Several stations share a register by naming one directory
// on a network file system.
//
// The first of: the directory named on the command line; the one the
// settings file names ([Register] Directory=...); the user's data directory
// ($XDG_DATA_HOME/Zuna, normally ~/.local/share/Zuna).  A missing directory
// is made (with its parents); the register itself is made empty the first
// time it is opened.
#ifndef ZUNA_APP_REGISTER_PLACE_H_
#define ZUNA_APP_REGISTER_PLACE_H_

#include <optional>
#include <string>

#include "framework/window/settings_file.h"

namespace zuna::app {

inline constexpr const char* kRegisterSection = "Register";
inline constexpr const char* kRegisterDirectoryEntry = "Directory";

// The directory, or nullopt with *error set (Russian, UTF-8) when there is
// none that can be used.
std::optional<std::string> RegisterDirectory(const std::optional<std::string>& command_line,
                                             framework::INIClass& settings,
                                             std::string* error);

}  // namespace zuna::app

#endif  // ZUNA_APP_REGISTER_PLACE_H_
