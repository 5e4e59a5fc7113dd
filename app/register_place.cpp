#include "app/register_place.h"

#include <filesystem>
#include <system_error>

#include "runtime/values/program_files.h"

namespace zuna::app {
namespace {

std::string Trimmed(std::string text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace

std::optional<std::string> RegisterDirectory(const std::optional<std::string>& command_line,
                                             framework::INIClass& settings,
                                             std::string* error) {
  std::string directory = command_line.value_or("");
  // The settings file's value is the path as the file system spells it.
  if (directory.empty()) {
    directory = Trimmed(settings.Fetch(kRegisterSection, kRegisterDirectoryEntry));
  }
  if (directory.empty()) directory = values::DataDirectory();
  if (directory.empty()) {
    *error =
        "не ясно, где хранить реестр: укажите каталог (zuna КАТАЛОГ) или задайте "
        "XDG_DATA_HOME или HOME";
    return std::nullopt;
  }
  namespace fs = std::filesystem;
  std::error_code failure;
  fs::create_directories(directory, failure);
  if (failure || !fs::is_directory(directory)) {
    *error = "каталог реестра " + directory + " недоступен" +
             (failure ? ": " + failure.message() : ": это не каталог");
    return std::nullopt;
  }
  fs::path absolute = fs::absolute(directory, failure);
  return failure ? directory : absolute.lexically_normal().string();
}

}  // namespace zuna::app
