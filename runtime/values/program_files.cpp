#include "runtime/values/program_files.h"

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "runtime/values/env_file.h"

namespace zuna::values {

std::string ProgramPath() {
  std::error_code error;
  const std::filesystem::path exe =
      std::filesystem::canonical("/proc/self/exe", error);
  return error ? std::string() : exe.string();
}

std::string ProgramDirectory() {
  const std::filesystem::path exe = ProgramPath();
  if (!exe.has_parent_path()) return {};
  return exe.parent_path().string();
}

namespace {

// `name` in `directory`, or its one spelling there in another case.
std::string FileIn(std::string directory, std::string_view name) {
  if (directory.empty()) directory = ".";
  const std::string exact = directory + "/" + std::string(name);
  std::error_code error;
  if (std::filesystem::exists(exact, error)) return exact;
  std::optional<std::string> match;
  std::filesystem::directory_iterator it(directory, error);
  for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    if (!EqualsIgnoringAsciiCase(it->path().filename().string(), name)) continue;
    if (match) return exact;  // two spellings: neither is "the" file
    match = it->path().string();
  }
  return match.value_or(exact);
}

}  // namespace

std::string FileBesideProgram(std::string_view name) {
  if (name.find('/') != std::string_view::npos) return std::string(name);
  const std::string beside = FileIn(ProgramDirectory(), name);
  std::error_code error;
  if (std::filesystem::exists(beside, error)) return beside;
  // Installed: the programs in <prefix>/bin, their files in
  // <prefix>/share/zuna.
  const std::string shared = FileIn(ProgramDirectory() + "/../share/zuna", name);
  return std::filesystem::exists(shared, error)
             ? std::filesystem::path(shared).lexically_normal().string()
             : beside;
}

namespace {

// $`xdg_variable`/Zuna, else $HOME/`home_relative`/Zuna; empty when neither
// names an absolute directory.
std::string UserDirectory(const char* xdg_variable, const char* home_relative) {
  const char* xdg = std::getenv(xdg_variable);
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/Zuna";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') {
    return std::string(home) + "/" + home_relative + "/Zuna";
  }
  return {};
}

}  // namespace

std::string SettingsDirectory() {
  std::string directory = UserDirectory("XDG_CONFIG_HOME", ".config");
  return directory.empty() ? ProgramDirectory() : directory;
}

std::string DataDirectory() { return UserDirectory("XDG_DATA_HOME", ".local/share"); }

std::string SettingsFile(std::string_view name) {
  if (name.find('/') != std::string_view::npos) return std::string(name);
  return FileIn(SettingsDirectory(), name);
}

}  // namespace zuna::values
