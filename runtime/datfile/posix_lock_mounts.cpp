// Which mounts keep byte-range locks on this host, read from
// /proc/self/mountinfo (proc(5)).  One line per mount:
//
//   36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - nfs srv:/x rw,vers=3,nolock
//   (1)(2) (3)   (4)   (5)      (6)      (7)   (8) (9) (10)     (11)
//
// (1) mount id, (2) parent id, (3) device, (4) root within the file system,
// (5) mount point, (6) per-mount options, (7) zero or more optional fields,
// (8) "-", (9) file system type, (10) source, (11) per-superblock options.
// Spaces, tabs, newlines and backslashes in (5) are written as \040,
// \011, \012 and \134.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/datfile/posix_file_internal.h"

namespace zuna::datfile {

namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

// Undoes the kernel's \ooo escapes of a mount point.
std::string Unescape(std::string_view field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) &&
        IsOctal(field[i + 2]) && IsOctal(field[i + 3])) {
      out += static_cast<char>((field[i + 1] - '0') * 64 +
                               (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

// True when `path` is `mount_point` or lies below it.
bool Contains(const std::string& mount_point, const std::string& path) {
  if (mount_point == "/") return !path.empty() && path.front() == '/';
  if (path.compare(0, mount_point.size(), mount_point) != 0) return false;
  return path.size() == mount_point.size() || path[mount_point.size()] == '/';
}

struct Mount {
  std::string mount_point;
  std::string type;
  std::vector<std::string_view> options;  // per-mount and per-superblock
};

// Parses one line; false when it does not have the fields of proc(5).
bool ParseLine(std::string_view line, Mount* mount) {
  const std::vector<std::string_view> fields = Split(line, ' ');
  if (fields.size() < 10) return false;
  size_t dash = 6;
  while (dash < fields.size() && fields[dash] != "-") ++dash;
  if (dash + 2 >= fields.size()) return false;  // no type and source
  mount->mount_point = Unescape(fields[4]);
  mount->type = std::string(fields[dash + 1]);
  mount->options = Split(fields[5], ',');
  if (dash + 3 < fields.size()) {
    for (std::string_view option : Split(fields[dash + 3], ',')) {
      mount->options.push_back(option);
    }
  }
  return true;
}

bool HasOption(const Mount& mount, std::string_view wanted) {
  for (std::string_view option : mount.options) {
    if (option == wanted) return true;
  }
  return false;
}

// The option of `mount` that keeps its locks on this host, or empty.
std::string_view HostLocalOption(const Mount& mount) {
  const std::string& type = mount.type;
  if (type == "nfs" || type == "nfs4") {
    // "nolock" turns the network lock manager off; local_lock=all|posix
    // keeps POSIX (and so OFD) locks local.  local_lock=flock touches only
    // flock(), which nothing here uses.
    for (std::string_view option :
         {"nolock", "local_lock=all", "local_lock=posix"}) {
      if (HasOption(mount, option)) return option;
    }
  } else if (type == "cifs" || type == "smb3") {
    // Without byte-range locks sent to the server, the client checks them
    // against its own processes only.
    if (HasOption(mount, "nobrl")) return "nobrl";
  } else if (type == "fuse.sshfs") {
    // SFTP has no locks; the kernel keeps them for this host alone.
    return "sshfs";
  }
  return {};
}

}  // namespace

bool MountKeepsLocksLocal(std::string_view mountinfo,
                          const std::string& real_path, std::string* reason) {
  reason->clear();
  bool found = false;
  Mount best;
  for (std::string_view line : Split(mountinfo, '\n')) {
    Mount mount;
    if (!ParseLine(line, &mount) || !Contains(mount.mount_point, real_path)) {
      continue;
    }
    // Longest mount point wins; of equal ones the later, mounted on top.
    if (!found || mount.mount_point.size() >= best.mount_point.size()) {
      best = std::move(mount);
      found = true;
    }
  }
  if (!found) return false;
  const std::string_view option = HostLocalOption(best);
  if (option.empty()) return false;
  *reason = best.mount_point + " is a " + best.type + " mount (" +
            std::string(option) +
            "): its byte-range locks are seen only by this host";
  return true;
}

}  // namespace zuna::datfile
