#include "framework/window/profile_file.h"


#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "runtime/values/env_file.h"
#include "runtime/values/locale.h"
#include "runtime/values/profile_reader.h"
#include "runtime/values/program_files.h"

namespace zuna::framework {
namespace {

// How often a writer starts over because another writer replaced the file
// between its open and its lock.  Each retry means another writer made
// progress, so this is never reached in practice.
constexpr int kMaxReplaceRetries = 100;

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// The name comparison of profile_reader.cpp: the locale's case-insensitive
// order, equal lengths.
bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && values::CompareStringsNoCase(a, b) == 0;
}

// One line of the text: [begin, content_end) without its line end,
// [begin, next) with it.
struct LineSpan {
  size_t begin = 0;
  size_t content_end = 0;
  size_t next = 0;
};

enum class LineKind { kOther, kSection, kEntry };

struct ParsedLine {
  LineSpan span;
  LineKind kind = LineKind::kOther;
  std::string_view name;  // section or entry name, trimmed
};

std::vector<ParsedLine> ParseLines(std::string_view text) {
  std::vector<ParsedLine> lines;
  size_t begin = 0;
  while (begin < text.size()) {
    ParsedLine line;
    size_t end = text.find('\n', begin);
    line.span.begin = begin;
    line.span.next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    if (end > begin && text[end - 1] == '\r') --end;
    line.span.content_end = end;
    const std::string_view content = Trim(text.substr(begin, end - begin));
    if (!content.empty() && content.front() != ';') {
      if (content.front() == '[') {
        const size_t close = content.find(']');
        line.kind = LineKind::kSection;
        line.name = Trim(content.substr(
            1, close == std::string_view::npos ? std::string_view::npos
                                               : close - 1));
      } else if (const size_t equals = content.find('=');
                 equals != std::string_view::npos) {
        line.kind = LineKind::kEntry;
        line.name = Trim(content.substr(0, equals));
      }
    }
    lines.push_back(line);
    begin = line.span.next;
  }
  return lines;
}

std::string LineEndOf(std::string_view text) {
  const size_t newline = text.find('\n');
  if (newline != std::string_view::npos && newline > 0 &&
      text[newline - 1] == '\r') {
    return "\r\n";
  }
  return "\n";
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

bool ValidEdit(const ProfileEdit& edit) {
  const std::string_view section = Trim(edit.section);
  const std::string_view name = Trim(edit.name);
  return !section.empty() && section.find(']') == std::string_view::npos &&
         !HasLineBreak(section) && !name.empty() &&
         name.find('=') == std::string_view::npos && !HasLineBreak(name) &&
         name.front() != ';' && name.front() != '[';
}

std::string CleanValue(std::string_view value) {
  std::string clean(value);
  for (char& c : clean) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return clean;
}

void SetEntry(std::string& text, std::string_view section,
              std::string_view name, std::string_view value) {
  const std::vector<ParsedLine> lines = ParseLines(text);
  const std::string line_end = LineEndOf(text);
  bool in_section = false;
  bool seen_section = false;         // the first matching block was met
  bool in_first_block = false;
  std::optional<size_t> insert_after;  // index of the line to insert after
  for (size_t i = 0; i < lines.size(); ++i) {
    const ParsedLine& line = lines[i];
    if (line.kind == LineKind::kSection) {
      in_section = SameName(line.name, section);
      in_first_block = in_section && !seen_section;
      if (in_first_block) {
        seen_section = true;
        insert_after = i;
      }
      continue;
    }
    if (!in_section || line.kind != LineKind::kEntry) continue;
    if (SameName(line.name, name)) {
      // Rule 1: keep the text up to '=' and the blanks after it.
      const size_t equals = text.find('=', line.span.begin);
      size_t value_begin = equals + 1;
      while (value_begin < line.span.content_end &&
             (text[value_begin] == ' ' || text[value_begin] == '\t')) {
        ++value_begin;
      }
      text.replace(value_begin, line.span.content_end - value_begin, value);
      return;
    }
    if (in_first_block) insert_after = i;
  }
  std::string entry(Trim(name));
  entry += '=';
  entry += value;
  if (insert_after.has_value()) {
    // Rule 2.
    const LineSpan& after = lines[*insert_after].span;
    std::string insertion;
    if (after.next == after.content_end) insertion += line_end;  // last line
    insertion += entry;
    insertion += line_end;
    text.insert(after.next, insertion);
    return;
  }
  // Rule 3.
  if (!text.empty() && text.back() != '\n') text += line_end;
  text += '[';
  text += Trim(section);
  text += ']';
  text += line_end;
  text += entry;
  text += line_end;
}

void RemoveEntry(std::string& text, std::string_view section,
                 std::string_view name) {
  const std::vector<ParsedLine> lines = ParseLines(text);
  bool in_section = false;
  // Erase from the end so earlier spans stay valid.
  std::vector<LineSpan> doomed;
  for (const ParsedLine& line : lines) {
    if (line.kind == LineKind::kSection) {
      in_section = SameName(line.name, section);
    } else if (in_section && line.kind == LineKind::kEntry &&
               SameName(line.name, name)) {
      doomed.push_back(line.span);
    }
  }
  for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) {
    text.erase(it->begin, it->next - it->begin);
  }
}

// --- The file -------------------------------------------------------------

class Fd final {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);  // never retried: see close(2) on EINTR
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

bool ReadAll(int fd, std::string* out) {
  out->clear();
  char buffer[8192];
  off_t offset = 0;
  while (true) {
    const ssize_t got = ::pread(fd, buffer, sizeof buffer, offset);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    out->append(buffer, static_cast<size_t>(got));
    offset += got;
  }
}

// Waits for the exclusive lock on the whole file.  A file system without
// locks (EINVAL, ENOLCK) is written unlocked: one writer at a time is then
// the user's affair, as it is for any editor.
bool LockWhole(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;
  lock.l_pid = 0;
  while (::fcntl(fd, F_OFD_SETLKW, &lock) != 0) {
    if (errno == EINTR) continue;
    return errno == EINVAL || errno == ENOLCK;
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

void SyncDirectory(const std::string& directory) {
  Fd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
}

// Writes `text` to a new file beside `path` and renames it over `path`.
bool ReplaceFile(const std::string& path, std::string_view text,
                 mode_t mode) {
  std::string temp = path + ".XXXXXX";
  Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0) return false;
  const bool written = WriteAll(fd.get(), text) &&
                       ::fchmod(fd.get(), mode) == 0 &&
                       ::fsync(fd.get()) == 0;
  fd.reset();
  if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  SyncDirectory(DirectoryOf(path));
  return true;
}

// A symbolic link is followed, so the file it leads to is what changes.
std::string FollowLink(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      std::string target(real);
      std::free(real);
      return target;
    }
  }
  return path;
}

}  // namespace

std::string ProgramDirectory() { return values::ProgramDirectory(); }

std::string ResolveProfilePath(std::string_view file_name) {
  return values::SettingsFile(file_name);
}

std::optional<std::string> ReadProfileText(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0 ||
      !S_ISREG(info.st_mode)) {
    return std::nullopt;
  }
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return std::nullopt;
  std::string text;
  if (!ReadAll(fd.get(), &text)) return std::nullopt;
  if (text.size() > values::kMaxProfileFileSize) {
    text.resize(values::kMaxProfileFileSize);
  }
  return text;
}

std::optional<std::string> EditProfileText(
    std::string_view text, const std::vector<ProfileEdit>& edits) {
  std::string result(text);
  for (const ProfileEdit& edit : edits) {
    if (!ValidEdit(edit)) return std::nullopt;
    const std::string_view section = Trim(edit.section);
    const std::string_view name = Trim(edit.name);
    if (edit.value.has_value()) {
      SetEntry(result, section, name, CleanValue(*edit.value));
    } else {
      RemoveEntry(result, section, name);
    }
  }
  return result;
}

bool WriteProfileEdits(const std::string& given_path,
                       const std::vector<ProfileEdit>& edits) {
  bool sets_value = false;
  for (const ProfileEdit& edit : edits) {
    if (!ValidEdit(edit)) return false;
    sets_value = sets_value || edit.value.has_value();
  }
  const std::string path = FollowLink(given_path);
  if (sets_value && DirectoryOf(path) == values::SettingsDirectory()) {
    // The settings directory does not exist before the first setting;
    // any other missing directory is the caller's mistake.
    std::error_code ignored;
    std::filesystem::create_directories(DirectoryOf(path), ignored);
  }
  for (int attempt = 0; attempt < kMaxReplaceRetries; ++attempt) {
    const int flags = O_RDWR | O_CLOEXEC | (sets_value ? O_CREAT : 0);
    Fd fd(::open(path.c_str(), flags, 0666));
    if (fd.get() < 0) return !sets_value && errno == ENOENT;
    if (!LockWhole(fd.get())) return false;
    // Another writer may have renamed a new file over the name while we
    // waited; our lock is then on a file nobody reads any more.
    struct stat locked {};
    struct stat named {};
    if (::fstat(fd.get(), &locked) != 0) return false;
    if (::stat(path.c_str(), &named) != 0 || locked.st_dev != named.st_dev ||
        locked.st_ino != named.st_ino) {
      continue;
    }
    if (!S_ISREG(locked.st_mode)) return false;
    std::string text;
    if (!ReadAll(fd.get(), &text)) return false;
    const std::optional<std::string> edited = EditProfileText(text, edits);
    if (!edited.has_value()) return false;
    if (*edited == text) return true;
    return ReplaceFile(path, *edited, locked.st_mode & 07777);
  }
  return false;
}

std::optional<std::string> GetProfileString(const std::string& path,
                                            std::string_view section,
                                            std::string_view name) {
  const std::optional<std::string> text = ReadProfileText(path);
  if (!text.has_value()) return std::nullopt;
  return values::FindProfileString(*text, section, name);
}

bool WriteProfileString(const std::string& path, std::string_view section,
                        std::string_view name, std::string_view value) {
  return WriteProfileEdits(
      path, {{std::string(section), std::string(name), std::string(value)}});
}

bool DeleteProfileString(const std::string& path, std::string_view section,
                         std::string_view name) {
  return WriteProfileEdits(
      path, {{std::string(section), std::string(name), std::nullopt}});
}

}  // namespace zuna::framework
