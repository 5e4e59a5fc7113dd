// FileSystem and File over POSIX system calls.
//
// Every open is a fresh open(2) with O_CLOEXEC: one File, one open file
// description.  Open-file-description locks belong to the description, so
// a dup()ed or inherited descriptor would share (and keep alive) the locks
// of the File it came from.  The locks themselves are in posix_lock.cpp.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>  // EFBIG, EIO, EISDIR for failures found here, not errno
#include <climits>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

#include "runtime/datfile/handle_table.h"
#include "runtime/datfile/os_file.h"
#include "runtime/datfile/posix_error_internal.h"
#include "runtime/datfile/posix_file_internal.h"

namespace zuna::datfile {

namespace {

// Data files grow past 2 GiB only with a 64-bit off_t; a 32-bit build must
// say -D_FILE_OFFSET_BITS=64 rather than silently wrap offsets.
static_assert(sizeof(off_t) == 8, "the driver needs a 64-bit off_t");

constexpr uint64_t kMaxFileOffset =
    static_cast<uint64_t>(std::numeric_limits<off_t>::max());

// The largest count handed to one pread/pwrite: Linux moves at most
// 0x7ffff000 bytes per call anyway, and ssize_t must hold the result.
constexpr size_t kMaxTransfer = size_t{1} << 30;

// Offsets and sizes arrive as uint64_t; beyond off_t they would turn
// negative.  Refused as "file too large" (5), like the kernel's EFBIG.
Status CheckRange(const std::string& path, uint64_t offset, size_t count) {
  if (offset > kMaxFileOffset || count > kMaxFileOffset - offset) {
    return PosixErrorStatus(EFBIG, path, PosixCall::kOther);
  }
  return Status::OK();
}

class PosixFile final : public File {
 public:
  // `share_base`: where this File's share bytes are (os_file.h); 0 for a
  // temporary file, which takes none.
  PosixFile(int fd, std::string path, std::string absolute_name,
            uint64_t share_base)
      : fd_(fd),
        path_(std::move(path)),
        share_base_(share_base),
        registration_(OpenHandles(), std::move(absolute_name)) {}

  // close() is never retried: on Linux the descriptor is released even when
  // close reports EINTR, and a retry could close a descriptor another thread
  // has just been given.  Its result is not checked either: every write the
  // driver relies on has been synced (and checked) before.
  ~PosixFile() override { ::close(fd_); }

  Status ReadAt(uint64_t offset, std::span<char> out,
                size_t* bytes_read) override;
  Status WriteAt(uint64_t offset, std::span<const char> data) override;
  Status Sync() override;
  Status Truncate(uint64_t size) override;
  Status Size(uint64_t* size) override;
  const std::string& path() const override { return path_; }
  FileHandle handle() const override { return registration_.handle(); }
  Status Lock(uint64_t offset, uint64_t length, LockKind kind) override {
    return PosixLockRange(fd_, path_, offset, length, kind);
  }
  Status Unlock(uint64_t offset, uint64_t length) override {
    return PosixUnlockRange(fd_, path_, offset, length);
  }
  Status ProbeSoleOpener() override;

  int fd() const { return fd_; }

 private:
  const int fd_;
  const std::string path_;
  const uint64_t share_base_;
  HandleRegistration registration_;
};

Status PosixFile::ReadAt(uint64_t offset, std::span<char> out,
                         size_t* bytes_read) {
  *bytes_read = 0;
  ZUNA_RETURN_IF_ERROR(CheckRange(path_, offset, out.size()));
  size_t done = 0;
  while (done < out.size()) {
    const size_t count = std::min(out.size() - done, kMaxTransfer);
    const ssize_t n = ActivePosixSysCalls().pread(
        fd_, out.data() + done, count, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (LastCallInterrupted()) continue;
      return LastPosixError(path_, PosixCall::kOther);
    }
    if (n == 0) break;  // end of file
    done += static_cast<size_t>(n);
  }
  *bytes_read = done;
  return Status::OK();
}

Status PosixFile::WriteAt(uint64_t offset, std::span<const char> data) {
  ZUNA_RETURN_IF_ERROR(CheckRange(path_, offset, data.size()));
  size_t done = 0;
  while (done < data.size()) {
    const size_t count = std::min(data.size() - done, kMaxTransfer);
    const ssize_t n = ActivePosixSysCalls().pwrite(
        fd_, data.data() + done, count, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (LastCallInterrupted()) continue;
      return LastPosixError(path_, PosixCall::kOther);
    }
    // pwrite returns 0 for a non-empty buffer only on a broken device;
    // looping on it would never end.
    if (n == 0) return PosixErrorStatus(EIO, path_, PosixCall::kOther);
    done += static_cast<size_t>(n);
  }
  return Status::OK();
}

Status PosixFile::Sync() {
  while (ActivePosixSysCalls().fdatasync(fd_) != 0) {
    if (!LastCallInterrupted()) return LastPosixError(path_, PosixCall::kOther);
  }
  return Status::OK();
}

Status PosixFile::Truncate(uint64_t size) {
  ZUNA_RETURN_IF_ERROR(CheckRange(path_, size, 0));
  while (ActivePosixSysCalls().ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    if (!LastCallInterrupted()) return LastPosixError(path_, PosixCall::kOther);
  }
  return Status::OK();
}

Status PosixFile::Size(uint64_t* size) {
  struct stat info;
  if (::fstat(fd_, &info) != 0) {
    *size = 0;
    return LastPosixError(path_, PosixCall::kOther);
  }
  *size = static_cast<uint64_t>(info.st_size);
  return Status::OK();
}

Status PosixFile::ProbeSoleOpener() {
  // Nobody can reach an unlinked temporary file by name.
  if (share_base_ == 0) return Status::OK();
  return PosixProbeShareBytes(fd_, path_, share_base_);
}

// Opens with open(2), retrying EINTR (possible on network file systems).
// Returns the descriptor or -1 with errno set.
int OpenRetrying(const std::string& path, int flags, mode_t mode) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags, mode);
  } while (fd < 0 && LastCallInterrupted());
  return fd;
}

// The directory part of `path`: "." for a bare name, "/" for "/name".
std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The Status for the open(2) of `path` that has just failed.  POSIX says
// ENOENT both for a missing file and for a missing directory on the way;
// the runtime tells them apart (2 "File Not Found", 3 "Path Not Found"), so
// a missing file whose directory is missing too becomes 3.
Status OpenError(const std::string& path) {
  Status status = LastPosixError(path, PosixCall::kOpen);
  if (status.code() != Err::kFileNotFound) return status;
  struct stat info;
  const std::string directory = DirectoryOf(path);
  if (::stat(directory.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    return status;
  }
  return Status::Error(Err::kPathNotFound, status.detail());
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

class PosixFileSystemImpl final : public FileSystem {
 public:
  Status Open(const std::string& path, const OpenOptions& options,
              std::unique_ptr<File>* file) override;
  Status CreateTemp(const std::string& prefix,
                    std::unique_ptr<File>* file) override;
  Status Remove(const std::string& path) override;
  Status Rename(const std::string& from, const std::string& to) override;
  bool Exists(const std::string& path) override;
  Status SyncDirectory(const std::string& directory) override;
  Status ResolveName(const std::string& path, std::string* resolved) override;
  Status ProbeUnused(const std::string& path) override;
  bool LocksAreHostLocal(const std::string& path, std::string* reason) override;
};

Status PosixFileSystemImpl::Open(const std::string& path,
                                 const OpenOptions& options,
                                 std::unique_ptr<File>* file) {
  file->reset();
  if (options.truncate && !options.write) {
    // POSIX leaves O_TRUNC with O_RDONLY open (Linux truncates).
    return Status::Error(Err::kAccessDenied,
                         path + ": truncation needs write access");
  }
  int flags = O_CLOEXEC | (options.write ? O_RDWR : O_RDONLY);
  if (options.create) flags |= O_CREAT;
  if (options.create && options.exclusive) flags |= O_EXCL;
  // No O_TRUNC: the file is cut below, once the share mode is granted, so
  // an open refused for sharing never empties another station's file.
  const int fd = OpenRetrying(path, flags, 0666);
  if (fd < 0) return OpenError(path);

  // A directory opens read-only without complaint; refuse it here rather
  // than fail later with a confusing read error.
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    return PosixErrorStatus(EISDIR, path, PosixCall::kOpen);
  }
  uint64_t share_base = 0;
  Status status =
      PosixTakeShareBytes(fd, path, options.write, options.share, &share_base);
  if (status.ok() && options.truncate) {
    while (ActivePosixSysCalls().ftruncate(fd, 0) != 0) {
      if (!LastCallInterrupted()) {
        status = LastPosixError(path, PosixCall::kOther);
        break;
      }
    }
  }
  if (!status.ok()) {
    ::close(fd);  // drops every lock the description placed
    return status;
  }
  *file = std::make_unique<PosixFile>(fd, path, AbsoluteFileName(path),
                                      share_base);
  return Status::OK();
}

Status PosixFileSystemImpl::CreateTemp(const std::string& prefix,
                                       std::unique_ptr<File>* file) {
  file->reset();
  if (prefix.find('/') != std::string::npos) {
    return Status::Error(Err::kInvalidFilename,
                         prefix + ": a temporary-file prefix is not a path");
  }
  const char* tmpdir = std::getenv("TMPDIR");
  std::string directory = (tmpdir != nullptr && *tmpdir != '\0') ? tmpdir : "/tmp";
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  std::string name = directory + "/" + prefix + "XXXXXX";
  std::vector<char> templ(name.begin(), name.end());
  templ.push_back('\0');

  int fd;
  do {
    fd = ::mkostemp(templ.data(), O_CLOEXEC);
  } while (fd < 0 && LastCallInterrupted());
  if (fd < 0) return LastPosixError(name, PosixCall::kOpen);
  name.assign(templ.data());

  // Unlinked at once: the space comes back when the File closes, even if
  // the process is killed first.
  if (::unlink(name.c_str()) != 0) {
    Status status = LastPosixError(name, PosixCall::kOther);
    ::close(fd);
    return status;
  }
  *file = std::make_unique<PosixFile>(fd, name, AbsoluteFileName(name),
                                      /*share_base=*/0);
  return Status::OK();
}

Status PosixFileSystemImpl::Remove(const std::string& path) {
  if (::unlink(path.c_str()) != 0) {
    return LastPosixError(path, PosixCall::kOther);
  }
  return Status::OK();
}

Status PosixFileSystemImpl::Rename(const std::string& from,
                                   const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    return LastPosixError(from + " -> " + to, PosixCall::kOther);
  }
  return Status::OK();
}

bool PosixFileSystemImpl::Exists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

Status PosixFileSystemImpl::SyncDirectory(const std::string& directory) {
  const std::string name = directory.empty() ? "." : directory;
  const int fd = OpenRetrying(name, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return LastPosixError(name, PosixCall::kOther);
  Status status;
  while (::fsync(fd) != 0) {
    if (!LastCallInterrupted()) {
      status = LastPosixError(name, PosixCall::kOther);
      break;
    }
  }
  ::close(fd);
  return status;
}

Status PosixFileSystemImpl::ResolveName(const std::string& path,
                                        std::string* resolved) {
  *resolved = path;
  if (Exists(path)) return Status::OK();

  const size_t slash = path.rfind('/');
  const std::string prefix =
      slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string base = path.substr(prefix.size());
  if (base.empty() || base == "." || base == "..") return Status::OK();
  const std::string directory =
      prefix.empty() ? "." : (prefix.size() == 1 ? "/" : prefix.substr(0, slash));

  // A directory that cannot be listed has no other spelling to offer; the
  // open that follows reports what is wrong with the path.
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return Status::OK();
  std::vector<std::string> matches;
  while (const dirent* entry = ::readdir(dir)) {
    std::string_view name(entry->d_name);
    if (name == "." || name == "..") continue;
    if (EqualIgnoringAsciiCase(name, base)) matches.emplace_back(name);
  }
  ::closedir(dir);
  std::sort(matches.begin(), matches.end());  // a stable message

  if (matches.size() > 1) {
    return Status::Error(Err::kAccessDenied,
                         path + ": ambiguous name, both " + prefix + matches[0] +
                             " and " + prefix + matches[1] + " exist");
  }
  if (matches.size() == 1) *resolved = prefix + matches[0];
  return Status::OK();
}

Status PosixFileSystemImpl::ProbeUnused(const std::string& path) {
  // A description of our own to ask through; it places no lock, so it
  // refuses nobody, and closing it drops nothing (OFD locks are per
  // description).
  const int fd = OpenRetrying(path, O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return OpenError(path);
  Status status = PosixProbeShareBytesAtEitherBase(fd, path);
  ::close(fd);
  return status;
}

// `path` absolute with symbolic links resolved, as mount points are
// written; for a file not yet created, its directory resolved.  Falls back
// to the name made absolute lexically.
std::string RealPathOf(const std::string& path) {
  char buffer[PATH_MAX];
  if (::realpath(path.c_str(), buffer) != nullptr) return buffer;
  const std::string directory = DirectoryOf(path);
  const size_t slash = path.rfind('/');
  const std::string base =
      slash == std::string::npos ? path : path.substr(slash + 1);
  if (::realpath(directory.c_str(), buffer) != nullptr) {
    const std::string resolved = buffer;
    return resolved == "/" ? "/" + base : resolved + "/" + base;
  }
  return AbsoluteFileName(path);
}

bool PosixFileSystemImpl::LocksAreHostLocal(const std::string& path,
                                            std::string* reason) {
  reason->clear();
  std::ifstream in("/proc/self/mountinfo");
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  return MountKeepsLocksLocal(text.str(), RealPathOf(path), reason);
}

// The system's fcntl for the OFD lock commands, in the table's shape
// (fcntl itself takes a variable argument list).
int OfdLockCall(int fd, int command, struct flock* lock) {
  return ::fcntl(fd, command, lock);
}

}  // namespace

PosixSysCalls& ActivePosixSysCalls() {
  static PosixSysCalls calls = {&::pread, &::pwrite, &::fdatasync,
                                &::ftruncate, &OfdLockCall};
  return calls;
}

int PosixDescriptor(const File& file) {
  const auto* posix = dynamic_cast<const PosixFile*>(&file);
  return posix == nullptr ? -1 : posix->fd();
}

FileSystem& PosixFileSystem() {
  static PosixFileSystemImpl* file_system = new PosixFileSystemImpl;
  return *file_system;
}

}  // namespace zuna::datfile
