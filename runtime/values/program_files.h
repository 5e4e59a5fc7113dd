// Where the program's own files are.  Beside the program: the environment
// file (Zuna.ENV) it ships with, which both programs, zuna and zunatool,
// share.  In the user's settings directory: the settings file (Zuna.INI)
// and any other profile named without a directory, since the program's
// directory is usually not writable.
#ifndef ZUNA_RUNTIME_VALUES_PROGRAM_FILES_H_
#define ZUNA_RUNTIME_VALUES_PROGRAM_FILES_H_

#include <string>
#include <string_view>

namespace zuna::values {

// The running executable (realpath of /proc/self/exe); empty when it
// cannot be found.
std::string ProgramPath();

// The directory of ProgramPath(); empty when it cannot be found.
std::string ProgramDirectory();

// A name with a '/' is a path and is returned as it is.  A bare name is
// the file of that name beside the program; when no file has exactly that
// name but exactly one name there matches it ignoring ASCII case, that
// one.  (The current directory when the program's cannot be found.)  When
// there is none beside the program but the installed programs' shared
// directory (../share/zuna from the program's) has it, that one.
std::string FileBesideProgram(std::string_view name);

// $XDG_CONFIG_HOME/Zuna, else $HOME/.config/Zuna, else the program's
// directory.  It may not exist yet: writers create it.
std::string SettingsDirectory();

// $XDG_DATA_HOME/Zuna, else $HOME/.local/share/Zuna: where the user's
// register lives unless told otherwise.  Empty when neither is set.  It may
// not exist yet.
std::string DataDirectory();

// As FileBesideProgram, in SettingsDirectory() instead: the settings file
// "Zuna.INI", GETINI's bare names.
std::string SettingsFile(std::string_view name);

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_PROGRAM_FILES_H_
