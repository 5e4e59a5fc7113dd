// Binding, OPEN / SHARE, CREATE and CLOSE.
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>
#include <utility>

#include "runtime/datfile/driver_internal.h"
#include "runtime/datfile/file_names.h"
#include "runtime/datfile/scramble.h"
#include "runtime/datfile/transaction.h"
#include "runtime/datfile/handle_table.h"
#include "runtime/values/locale.h"

namespace zuna::datfile::driver {
namespace {

// How long an open waits for a file another station is creating.
constexpr std::chrono::milliseconds kKeyCreationWait{1000};
constexpr std::chrono::milliseconds kKeyCreationPoll{10};

std::optional<ScrambleKey> EncryptKeyOf(const FileDecl& decl) {
  if (!decl.encrypt) return std::nullopt;
  return OwnerKey(decl.owner);
}

Status CompanionPath(DatFileInstance& file, std::string_view extension,
                     std::string* path) {
  const std::string& data_path = file.driver_state().data_path;
  return file.fs().ResolveName(CompanionFileName(data_path, extension), path);
}

Status KeyPath(DatFileInstance& file, const std::string& data_path,
               size_t index, std::string* path) {
  const KeyDecl& key = file.declaration().keys[index];
  std::string canonical;
  ZUNA_RETURN_IF_ERROR(KeyFileName(data_path, static_cast<uint32_t>(index + 1),
                                   key.index, &canonical));
  return file.fs().ResolveName(canonical, path);
}

void ResetRecordState(DriverState& s) {
  s.write_through = true;
  s.header_dirty = false;
  s.locked_by_me = false;
  s.header_byte_locked = false;  // the lock went with the files
  s.refreshed = false;
  s.recover_watch = {};
  s.hold_next_read = false;
  s.hold_seconds = 0;
  s.no_memo_next_read = false;
  s.memo_not_read = false;
  s.watch_pending = false;
  s.current = 0;
  s.current_prefix = {};
  s.memo_as_read.clear();
  s.held = 0;
  s.watched = 0;
  s.watch_image.clear();
  s.sequence = {};
  s.failure = Status::OK();
  for (KeyState& key : s.keys) key.current_entry.clear();
}

// A transaction that died in the middle is undone before anyone reads the
// files it half changed (its header may not even pass the checks of an
// open): at every open, not just the shared ones, since a FILE opened
// alone would otherwise work on them.  Another station still inside its
// transaction holds the log (56): a shared open goes on, its changes are
// that station's to finish.
Status RecoverTransaction(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  Status status = transaction::Recover(file.fs(), s.data_path, nullptr);
  if (status.code() == Err::kLogoutActive && s.shared) return Status::OK();
  return status;
}

Status OpenFiles(DatFileInstance& file, const OpenOptions& options) {
  DriverState& s = file.driver_state();
  const FileDecl& decl = file.declaration();
  s.mismatches.clear();
  s.log->data_path = AbsoluteFileName(s.data_path);
  ZUNA_RETURN_IF_ERROR(RecoverTransaction(file));
  ZUNA_RETURN_IF_ERROR(DataFile::Open(file.logged_fs(), s.data_path, decl, options,
                                      &s.mismatches, &s.data));
  ZUNA_RETURN_IF_ERROR(RefreshHeader(file, RefreshMode::kOpen));
  // The header as the refresh read it: under the lock byte, no other
  // station's transaction half written (DataFile::Open).
  ZUNA_RETURN_IF_ERROR(s.data->CheckSlotsFit());
  if (decl.memo) {
    std::string memo_path;
    ZUNA_RETURN_IF_ERROR(CompanionPath(file, kMemoExtension, &memo_path));
    Status status = MemoFile::Open(file.logged_fs(), memo_path, options, *decl.memo,
                                   EncryptKeyOf(decl), decl.oem, &s.memo);
    // A PACK killed half way through its swap: the keys are cut, and BUILD
    // finishes the swap (driver_maintenance.cpp), so this is the 46 that
    // makes a file manager rebuild rather than a missing memo file.
    if (status.code() == Err::kMemoFileMissing && PackInterrupted(file.fs(), s.data_path)) {
      return Status::Error(Err::kKeyFileMustBeRebuilt,
                           s.data_path + ": PACK interrupted; BUILD finishes it");
    }
    ZUNA_RETURN_IF_ERROR(status);
  }
  // An INDEX is opened only by BUILD; every KEY must be there and agree.
  for (size_t k = 0; k < decl.keys.size(); ++k) {
    if (!decl.keys[k].index) ZUNA_RETURN_IF_ERROR(OpenKeyFile(file, k));
  }
  return Status::OK();
}

}  // namespace

Status Bind(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  const FileDecl& decl = file.declaration();
  s.keys.clear();
  for (const KeyDecl& decl_key : decl.keys) {
    KeyState key;
    key.decl = decl_key;
    // 88 for a key over 245 bytes: the FILE cannot be used at all.
    ZUNA_RETURN_IF_ERROR(
        KeyEncoder::Create(decl, decl_key, values::Locale(), &key.encoder));
    key.maintained = !decl_key.index;
    s.keys.push_back(std::move(key));
  }
  return ApplyDriverString(file, decl.driver_options);
}

Status ResolveDataPath(DatFileInstance& file, std::string* data_path) {
  if (file.name().empty()) {
    return Status::Error(Err::kInvalidFilename, "empty file name");
  }
  std::string canonical;
  ZUNA_RETURN_IF_ERROR(DataFileName(file.name(), &canonical));
  return file.fs().ResolveName(canonical, data_path);
}

bool IsEmptyFile(FileSystem& fs, const std::string& path) {
  std::unique_ptr<File> opened;
  uint64_t size = 0;
  return fs.Open(path, OpenOptions{}, &opened).ok() &&
         opened->Size(&size).ok() && size == 0;
}

Status OpenKeyFile(DatFileInstance& file, size_t index) {
  DriverState& s = file.driver_state();
  KeyState& key = s.keys[index];
  ZUNA_RETURN_IF_ERROR(KeyPath(file, s.data_path, index, &key.path));
  KeyOpenParams params;
  params.file.write = !s.read_only;
  params.file.share = ShareModeFromMode(s.mode & ~3u).value_or(ShareMode::kCompat);
  params.records = s.data->Records();
  params.ignore_corruptions = s.switches.ignore_corruptions;
  Status status = KeyFile::Open(file.logged_fs(), key.path,
                                key.encoder.layout(), params, &key.file);
  // A station creating the file makes the data file first and its keys
  // right after.  A data file without records whose key file is missing,
  // still short, or shut to us by its creator is most likely that: its
  // creator is given a moment before the key counts as damaged.
  const auto deadline = std::chrono::steady_clock::now() + kKeyCreationWait;
  while (!status.ok() && s.data->Records() == 0 &&
         (status.code() == Err::kKeyFileMustBeRebuilt ||
          status.code() == Err::kAccessDenied) &&
         std::chrono::steady_clock::now() < deadline) {
    PauseOutsideDriver(kKeyCreationPoll);
    status = KeyFile::Open(file.logged_fs(), key.path, key.encoder.layout(),
                           params, &key.file);
  }
  return status;
}

Status OpenFile(DatFileInstance& file, uint32_t mode) {
  DriverState& s = file.driver_state();
  if (file.is_open()) {
    return Status::Error(Err::kFileAlreadyOpen, s.data_path);
  }
  std::string data_path;
  ZUNA_RETURN_IF_ERROR(ResolveDataPath(file, &data_path));
  const uint32_t access = mode & 3u;
  const uint32_t share = mode & ~3u;
  // IGNORESTATUS lets this FILE read and undelete records other stations
  // consider gone; it needs the file to itself.
  if (share == kShareDenyNone && s.switches.ignore_status) {
    return Status::Error(Err::kExclusiveAccessRequired, data_path);
  }
  ResetRecordState(s);
  s.data_path = std::move(data_path);
  s.mode = mode;
  s.read_only = access == kAccessReadOnly;
  s.shared = share == kShareDenyNone;
  OpenOptions options;
  options.write = !s.read_only;  // any write access asks for read and write
  // The memo and key files are opened with the data file's share mode.
  const std::optional<ShareMode> share_mode = ShareModeFromMode(share);
  if (!share_mode) {
    return Status::Error(Err::kAccessDenied,
                         s.data_path + ": invalid share mode " + std::to_string(share));
  }
  options.share = *share_mode;
  s.sharing_warning.clear();
  if (s.shared) (void)file.fs().LocksAreHostLocal(s.data_path, &s.sharing_warning);
  Status status = OpenFiles(file, options);
  if (!status.ok()) DropFiles(file);
  // Another station creating the file has it for a moment empty, before
  // its one write of header and descriptors: that is waited out too.
  const auto deadline = std::chrono::steady_clock::now() + kKeyCreationWait;
  while (status.code() == Err::kInvalidDataFile &&
         IsEmptyFile(file.fs(), s.data_path) &&
         std::chrono::steady_clock::now() < deadline) {
    PauseOutsideDriver(kKeyCreationPoll);
    status = OpenFiles(file, options);
    if (!status.ok()) DropFiles(file);
  }
  return status;
}

Status CreateFile(DatFileInstance& file, bool replace) {
  if (file.is_open()) {
    return Status::Error(Err::kFileAlreadyOpen, file.driver_state().data_path);
  }
  const FileDecl& decl = file.declaration();
  std::string data_path;
  ZUNA_RETURN_IF_ERROR(ResolveDataPath(file, &data_path));
  // Exclusive by default: of two stations that both found no file, the
  // second gets "already exists" here and opens the first one's file
  // instead of truncating it.
  ZUNA_RETURN_IF_ERROR(
      CreateDataFile(file.fs(), data_path, decl, {}, /*exclusive=*/!replace));
  Status status;
  std::vector<std::string> created;
  for (size_t k = 0; k < decl.keys.size() && status.ok(); ++k) {
    if (decl.keys[k].index) continue;
    std::string key_path;
    status = KeyPath(file, data_path, k, &key_path);
    if (!status.ok()) break;
    std::unique_ptr<KeyFile> key_file;
    OpenOptions options;
    options.write = true;
    status = KeyFile::Create(file.fs(), key_path,
                             file.driver_state().keys[k].encoder.layout(),
                             options, &key_file);
    created.push_back(key_path);
    if (status.ok()) status = key_file->Sync();
  }
  if (!status.ok()) {
    // Leave no data file behind whose keys are missing: the next OPEN
    // would answer 46 instead of 2, and the framework would not create.
    for (const std::string& path : created) (void)file.fs().Remove(path);
    if (decl.memo) {
      (void)file.fs().Remove(CompanionFileName(data_path, kMemoExtension));
    }
    (void)file.fs().Remove(data_path);
  }
  return status;
}

Status CloseFile(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  if (!file.is_open()) return Status::OK();
  Status first;
  if (s.failure.ok()) {
    first = ReleaseHeld(file);
    Status unlocked = UnlockFile(file);
    if (first.ok()) first = unlocked;
    if (s.header_dirty) {
      Status status = WriteHeaderStamped(file, false);
      if (first.ok()) first = status;
    }
    if (!s.read_only) {
      Status status = SyncAll(file);
      if (first.ok()) first = status;
    }
  }
  EndSharing(file);
  DropFiles(file);
  return first;
}

void DropFiles(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  for (KeyState& key : s.keys) {
    key.file.reset();
    key.current_entry.clear();
    // A dynamic index lives only as long as the open FILE.
    if (key.dynamic) (void)file.fs().Remove(key.path);
  }
  std::erase_if(s.keys, [](const KeyState& key) { return key.dynamic; });
  s.memo.reset();
  s.data.reset();
  ResetRecordState(s);
}

}  // namespace zuna::datfile::driver
