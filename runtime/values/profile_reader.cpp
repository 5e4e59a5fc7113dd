#include "runtime/values/profile_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "runtime/values/locale.h"

namespace zuna::values {
namespace {

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareStringsNoCase(a, b) == 0;
}

}  // namespace

std::optional<std::string> FindProfileString(std::string_view file_text,
                                             std::string_view section,
                                             std::string_view key) {
  section = Trim(section);
  key = Trim(key);
  bool in_section = false;
  size_t line_start = 0;
  while (line_start < file_text.size()) {
    size_t line_end = file_text.find('\n', line_start);
    if (line_end == std::string_view::npos) line_end = file_text.size();
    std::string_view line = file_text.substr(line_start, line_end - line_start);
    line_start = line_end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = Trim(line);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const size_t close = line.find(']');
      const std::string_view name = Trim(line.substr(
          1, close == std::string_view::npos ? std::string_view::npos
                                             : close - 1));
      in_section = SameName(name, section);
      continue;
    }
    if (!in_section) continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    if (!SameName(Trim(line.substr(0, equals)), key)) continue;
    const std::string_view value = Trim(line.substr(equals + 1));
    return std::string(value.substr(0, kMaxProfileValue));
  }
  return std::nullopt;
}

std::optional<std::string> ReadProfileString(const std::string& path,
                                             std::string_view section,
                                             std::string_view key) {
  // Only regular files: a FIFO or device named by an expression would block
  // or never end.
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0 ||
      !S_ISREG(info.st_mode)) {
    return std::nullopt;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  const size_t size =
      std::min<size_t>(static_cast<size_t>(info.st_size), kMaxProfileFileSize);
  std::string text(size, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(file.gcount()));
  return FindProfileString(text, section, key);
}

}  // namespace zuna::values
