// os_lock_station: a second station for the OS layer's multi-process tests.
// It opens, locks and probes files through PosixFileSystem() on command, so
// a test can put a real other process on the far side of a share mode or a
// byte-range lock, and order every step through pipes (never by sleeping).
//
// It prints "ready", then reads one command per line on stdin and answers
// each with one line on stdout: the runtime error number of the call (0 =
// OK), or "? <text>" for a command it does not understand.  It ends at
// "quit" or at the end of stdin; files still open close as it exits.
//
//   open SLOT PATH r|w compat|none|read|write|all [create] [truncate]
//   close SLOT
//   lock SLOT OFFSET LENGTH s|x       (shared or exclusive)
//   unlock SLOT OFFSET LENGTH
//   sole SLOT                         (File::ProbeSoleOpener)
//   unused PATH                       (FileSystem::ProbeUnused)
//
// SLOT is any word naming the File; PATH contains no blanks.
#include <cstdint>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "runtime/datfile/os_file.h"

namespace {

using zuna::datfile::File;
using zuna::datfile::LockKind;
using zuna::datfile::OpenOptions;
using zuna::datfile::ShareMode;
using zuna::datfile::Status;

bool ParseShare(const std::string& word, ShareMode* share) {
  static const std::map<std::string, ShareMode> kShares = {
      {"compat", ShareMode::kCompat},     {"none", ShareMode::kDenyNone},
      {"read", ShareMode::kDenyRead},     {"write", ShareMode::kDenyWrite},
      {"all", ShareMode::kDenyAll},
  };
  auto found = kShares.find(word);
  if (found == kShares.end()) return false;
  *share = found->second;
  return true;
}

// The answer line for one command.
std::string Run(const std::string& line,
                std::map<std::string, std::unique_ptr<File>>& files) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  auto code = [](const Status& status) { return std::to_string(status.code()); };
  auto file_at = [&](const std::string& slot) -> File* {
    auto found = files.find(slot);
    return found == files.end() ? nullptr : found->second.get();
  };

  if (command == "open") {
    std::string slot, path, access, share_word, flag;
    in >> slot >> path >> access >> share_word;
    OpenOptions options;
    if (access != "r" && access != "w") return "? access " + access;
    options.write = access == "w";
    if (!ParseShare(share_word, &options.share)) return "? share " + share_word;
    while (in >> flag) {
      if (flag == "create") {
        options.create = true;
      } else if (flag == "truncate") {
        options.truncate = true;
      } else {
        return "? flag " + flag;
      }
    }
    std::unique_ptr<File> file;
    Status status = zuna::datfile::PosixFileSystem().Open(path, options, &file);
    if (status.ok()) files[slot] = std::move(file);
    return code(status);
  }
  if (command == "close") {
    std::string slot;
    in >> slot;
    return files.erase(slot) == 1 ? "0" : "? no file " + slot;
  }
  if (command == "lock" || command == "unlock") {
    std::string slot, kind;
    uint64_t offset = 0, length = 0;
    in >> slot >> offset >> length;
    if (command == "lock") in >> kind;
    File* file = file_at(slot);
    if (file == nullptr || in.fail()) return "? " + line;
    if (command == "unlock") return code(file->Unlock(offset, length));
    if (kind != "s" && kind != "x") return "? kind " + kind;
    return code(file->Lock(offset, length,
                           kind == "x" ? LockKind::kExclusive : LockKind::kShared));
  }
  if (command == "sole") {
    std::string slot;
    in >> slot;
    File* file = file_at(slot);
    return file == nullptr ? "? no file " + slot : code(file->ProbeSoleOpener());
  }
  if (command == "unused") {
    std::string path;
    in >> path;
    return code(zuna::datfile::PosixFileSystem().ProbeUnused(path));
  }
  return "? " + line;
}

}  // namespace

int main() {
  std::map<std::string, std::unique_ptr<File>> files;
  std::cout << "ready" << std::endl;
  std::string line;
  while (std::getline(std::cin, line) && line != "quit") {
    std::cout << Run(line, files) << std::endl;  // endl: the test waits for it
  }
  return 0;
}
