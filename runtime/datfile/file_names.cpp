#include "runtime/datfile/file_names.h"

#include <filesystem>
#include <system_error>

namespace zuna::datfile {
namespace {

// Position of the extension's dot in `path`, or npos when the last path
// component has none.
size_t ExtensionDot(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  const size_t start = slash == std::string_view::npos ? 0 : slash + 1;
  const size_t dot = path.find_last_of('.');
  if (dot == std::string_view::npos || dot < start) return std::string_view::npos;
  return dot;
}

Status InvalidName(std::string_view name) {
  return Status::Error(Err::kInvalidFilename, "invalid file name '" +
                                                  std::string(name) + "'");
}

}  // namespace

Status BuildFileName(std::string_view name, std::string_view extension,
                     bool replace, std::string* full_path) {
  if (name.empty() || name.find('\0') != std::string_view::npos ||
      name.back() == '/') {
    return InvalidName(name);
  }
  std::string path(name);
  if (path.front() != '/') {
    std::error_code error;
    const std::filesystem::path cwd = std::filesystem::current_path(error);
    if (error) return InvalidName(name);
    std::string base = cwd.string();
    if (base.empty() || base.back() != '/') base += '/';
    path = base + path;
  }
  const size_t dot = ExtensionDot(path);
  if (dot == std::string::npos) {
    path += extension;
  } else if (replace) {
    path.replace(dot, std::string::npos, extension);
  }
  *full_path = std::move(path);
  return Status::OK();
}

Status DataFileName(std::string_view name, std::string* full_path) {
  return BuildFileName(name, kDataExtension, false, full_path);
}

std::string CompanionFileName(std::string_view data_path,
                              std::string_view extension) {
  std::string path(data_path);
  const size_t dot = ExtensionDot(path);
  if (dot != std::string::npos) path.erase(dot);
  path += extension;
  return path;
}

Status KeyFileExtension(uint32_t key_number, bool is_index,
                        std::string* extension) {
  static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  if (key_number < 1 || key_number >= 36 * 36) {
    return Status::Error(Err::kInvalidFilename,
                         "key number " + std::to_string(key_number) +
                             " has no two-digit key file extension");
  }
  *extension = is_index ? ".I" : ".K";
  *extension += kDigits[key_number / 36];
  *extension += kDigits[key_number % 36];
  return Status::OK();
}

Status KeyFileName(std::string_view data_path, uint32_t key_number,
                   bool is_index, std::string* full_path) {
  std::string extension;
  ZUNA_RETURN_IF_ERROR(KeyFileExtension(key_number, is_index, &extension));
  *full_path = CompanionFileName(data_path, extension);
  return Status::OK();
}

}  // namespace zuna::datfile
