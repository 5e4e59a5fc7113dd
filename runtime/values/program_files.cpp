#include "runtime/values/program_files.h"

#include <filesystem>
#include <optional>

#include "runtime/values/env_file.h"

namespace zuna::values {

std::string ProgramDirectory() {
  std::error_code error;
  const std::filesystem::path exe =
      std::filesystem::canonical("/proc/self/exe", error);
  if (error || !exe.has_parent_path()) return {};
  return exe.parent_path().string();
}

std::string FileBesideProgram(std::string_view name) {
  if (name.find('/') != std::string_view::npos) return std::string(name);
  std::string directory = ProgramDirectory();
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

}  // namespace zuna::values
