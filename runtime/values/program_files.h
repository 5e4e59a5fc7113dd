// Files that live beside the program: the environment file (Zuna.ENV), the
// settings file (Zuna.INI) and anything else a bare file name stands for.
// Both programs, zuna and zunatool, live in one directory and share these.
#ifndef ZUNA_RUNTIME_VALUES_PROGRAM_FILES_H_
#define ZUNA_RUNTIME_VALUES_PROGRAM_FILES_H_

#include <string>
#include <string_view>

namespace zuna::values {

// The directory of the running executable (realpath of /proc/self/exe);
// empty when it cannot be found.
std::string ProgramDirectory();

// A name with a '/' is a path and is returned as it is.  A bare name is
// the file of that name beside the program; when no file has exactly that
// name but exactly one name there matches it ignoring ASCII case, that
// one.  (The current directory when the program's cannot be found.)
std::string FileBesideProgram(std::string_view name);

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_PROGRAM_FILES_H_
