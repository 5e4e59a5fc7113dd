// Whole-file work: EMPTY, BUILD (the file's keys, one key, a dynamic
// index), PACK, REMOVE and RENAME.
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "runtime/datfile/driver_internal.h"
#include "runtime/datfile/duplicate_report.h"
#include "runtime/datfile/file_names.h"
#include "runtime/datfile/key_build.h"
#include "runtime/datfile/scramble.h"
#include "runtime/values/locale.h"

namespace zuna::datfile::driver {
namespace {

// The live records of a data file in record-number order, for BUILD.  Counts
// the deleted slots it passes.
class SlotSource final : public RecordSource {
 public:
  explicit SlotSource(DataFile& data)
      : data_(data), buffer_(data.declaration().record_length) {}

  Status Next(uint32_t* record_no, std::span<const char>* record,
              bool* done) override {
    while (next_ <= data_.header().record_slots) {
      const uint32_t r = next_++;
      SlotPrefix prefix;
      ZUNA_RETURN_IF_ERROR(data_.ReadRecord(r, &prefix, buffer_));
      if (prefix.deleted()) {
        ++deleted_;
        continue;
      }
      *record_no = r;
      *record = buffer_;
      return Status::OK();
    }
    *done = true;
    return Status::OK();
  }

  uint32_t deleted() const { return deleted_; }

 private:
  DataFile& data_;
  std::vector<char> buffer_;
  uint32_t next_ = 1;
  uint32_t deleted_ = 0;
};

Status NeedsWrite(const DatFileInstance& file) {
  if (!file.driver_state().read_only) return Status::OK();
  return Status::Error(Err::kAccessDenied,
                       file.driver_state().data_path + ": opened read-only");
}

Status AlreadyOpen(const DatFileInstance& file) {
  return Status::Error(Err::kFileAlreadyOpen, file.driver_state().data_path);
}

// BUILD and PACK of a closed FILE open the data file (and memo) alone, for
// read/write: the key files are about to be made anew, so a missing or
// broken one must not stop the open.
Status OpenForMaintenance(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  ZUNA_RETURN_IF_ERROR(ResolveDataPath(file, &s.data_path));
  s.read_only = false;
  s.shared = false;
  s.mode = kAccessReadWrite | kShareDenyWrite;
  OpenOptions options;
  options.write = true;
  Status status = DataFile::Open(file.fs(), s.data_path, file.declaration(),
                                 options, &s.mismatches, &s.data);
  const FileDecl& decl = file.declaration();
  if (status.ok() && decl.memo) {
    std::optional<ScrambleKey> key;
    if (decl.encrypt) key = OwnerKey(decl.owner);
    status = MemoFile::Open(file.fs(), CompanionFileName(s.data_path, kMemoExtension),
                            options, *decl.memo, key, decl.oem, &s.memo);
  }
  if (!status.ok()) DropFiles(file);
  return status;
}

// Runs `work` on the FILE, opening and closing it around when closed.
template <typename Work>
Status WithFileOpen(DatFileInstance& file, Work work) {
  if (file.is_open()) return work();
  ZUNA_RETURN_IF_ERROR(OpenForMaintenance(file));
  Status status = work();
  Status closed = CloseFile(file);
  return status.ok() ? closed : status;
}

// Builds key `index` (which has components) from the data file.  40 after
// the whole key is written when a key without DUP has equal values.
Status BuildInto(DatFileInstance& file, size_t index, DuplicateReport* report,
                 uint32_t* deleted) {
  DriverState& s = file.driver_state();
  KeyState& key = s.keys[index];
  if (!key.file) {
    if (key.path.empty()) {
      ZUNA_RETURN_IF_ERROR(KeyFileName(s.data_path, static_cast<uint32_t>(index + 1),
                                       key.decl.index, &key.path));
      ZUNA_RETURN_IF_ERROR(file.fs().ResolveName(key.path, &key.path));
    }
    OpenOptions options;
    options.write = true;
    ZUNA_RETURN_IF_ERROR(KeyFile::Create(file.fs(), key.path, key.encoder.layout(),
                                         options, &key.file));
  }
  SlotSource source(*s.data);
  Status status = BuildKey(file.fs(), *key.file, key.encoder, source, report);
  if (!status.ok() && status.code() != Err::kDuplicateKey) return status;
  *deleted = source.deleted();
  if (!key.dynamic) {
    // The key file was made anew: its descriptor in the data file follows.
    ZUNA_RETURN_IF_ERROR(s.data->RewriteKeyDescriptor(index));
  }
  return status;
}

// BUILD of the keys in `indexes`; a key with duplicates does not stop the
// others.  The header's deleted count is corrected from the slots read.
Status BuildKeys(DatFileInstance& file, const std::vector<size_t>& indexes) {
  DriverState& s = file.driver_state();
  ZUNA_RETURN_IF_ERROR(NeedsWrite(file));
  ZUNA_RETURN_IF_ERROR(RefreshHeader(file, RefreshMode::kLock));
  DuplicateReport report(file.fs(),
                         CompanionFileName(s.data_path, kBuildReportExtension));
  Status result;
  uint32_t deleted = s.data->header().deleted_count;
  for (size_t index : indexes) {
    if (s.keys[index].decl.components.empty()) continue;
    Status status = BuildInto(file, index, &report, &deleted);
    if (status.ok()) continue;
    if (status.code() != Err::kDuplicateKey) return status;
    if (result.ok()) result = status;
  }
  if (deleted != s.data->header().deleted_count) {
    s.data->mutable_header()->deleted_count = deleted;
    ZUNA_RETURN_IF_ERROR(WriteHeaderStamped(file, false));
  }
  return result;
}

std::vector<size_t> AllKeys(const DatFileInstance& file) {
  std::vector<size_t> indexes;
  const auto& keys = file.driver_state().keys;
  for (size_t k = 0; k < keys.size(); ++k) {
    if (!keys[k].dynamic) indexes.push_back(k);
  }
  return indexes;
}

bool LabelMatches(std::string_view label, std::string_view wanted) {
  auto same = [](std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (std::toupper(static_cast<unsigned char>(a[i])) !=
          std::toupper(static_cast<unsigned char>(b[i]))) {
        return false;
      }
    }
    return true;
  };
  if (same(label, wanted)) return true;
  const size_t colon = label.find(':');
  return colon != std::string_view::npos && same(label.substr(colon + 1), wanted);
}

// "ZUN:FIO,+ZUN:DATA": the dynamic index's components, ascending.
Status ParseComponents(const FileDecl& decl, std::string_view text,
                       std::vector<KeyComponent>* components) {
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find(',', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view part = text.substr(at, end - at);
    while (!part.empty() && std::isspace(static_cast<unsigned char>(part.front()))) part.remove_prefix(1);
    while (!part.empty() && std::isspace(static_cast<unsigned char>(part.back()))) part.remove_suffix(1);
    if (!part.empty() && part.front() == '+') part.remove_prefix(1);
    bool found = false;
    for (size_t f = 0; f < decl.fields.size() && !found && !part.empty(); ++f) {
      if (LabelMatches(decl.fields[f].label, part)) {
        components->push_back({static_cast<uint16_t>(f)});
        found = true;
      }
    }
    if (!found) {
      // Descending components ('-') have no encoding in a key file.
      return Status::Error(Err::kInvalidRecordDeclaration,
                           "dynamic index component \"" + std::string(part) + "\"");
    }
    at = end + 1;
  }
  return Status::OK();
}

// A name no other dynamic index of this process has, in the temporary
// directory.  The file is removed at CLOSE.
std::string DynamicIndexPath() {
  static std::atomic<uint64_t> counter{0};
  const char* dir = std::getenv("TMPDIR");
  std::string path = (dir && *dir) ? dir : "/tmp";
  path += "/TMP" + std::to_string(::getpid()) + "_" + std::to_string(++counter) + ".DYN";
  return path;
}

Status Pack(DatFileInstance& file);

}  // namespace

Status EmptyFile(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  ZUNA_RETURN_IF_ERROR(NeedsWrite(file));
  ZUNA_RETURN_IF_ERROR(RefreshHeader(file, RefreshMode::kLock));
  ZUNA_RETURN_IF_ERROR(ReleaseHeld(file));
  s.current = 0;
  s.sequence = {};
  for (KeyState& key : s.keys) key.current_entry.clear();
  // From the first change on, a failure leaves a half-emptied file.
  Status status = s.data->Empty();
  if (status.ok() && s.memo) status = s.memo->Reset();
  for (size_t k = 0; k < s.keys.size() && status.ok(); ++k) {
    KeyState& key = s.keys[k];
    if (key.decl.components.empty()) continue;
    if (key.file) {
      status = key.file->Initialise();
    } else if (key.decl.index) {
      uint32_t deleted = 0;
      status = BuildInto(file, k, nullptr, &deleted);  // an empty key
    }
    if (status.ok() && !key.dynamic) status = s.data->RewriteKeyDescriptor(k);
  }
  if (status.ok() && s.write_through) status = SyncAll(file);
  return status.ok() ? status : Fail(file, status);
}

Status BuildFile(DatFileInstance& file) {
  return WithFileOpen(file, [&] { return BuildKeys(file, AllKeys(file)); });
}

Status BuildOneKey(DatFileInstance& file, int key) {
  const auto& keys = file.driver_state().keys;
  if (key < 0 || static_cast<size_t>(key) >= keys.size()) {
    return Status::Error(Err::kInvalidRecordDeclaration, "no key " + std::to_string(key));
  }
  return WithFileOpen(file, [&] {
    return BuildKeys(file, {static_cast<size_t>(key)});
  });
}

Status BuildDynamic(DatFileInstance& file, std::string_view components,
                    uint32_t* key_index) {
  DriverState& s = file.driver_state();
  const FileDecl& decl = file.declaration();
  if (components.find('|') != std::string_view::npos) {
    // A filtered dynamic index needs the file's fields bound for the
    // evaluator; not supported by this driver yet.
    return Status::Error(Err::kInvalidRecordDeclaration, "dynamic index filter");
  }
  KeyState key;
  key.decl.label = decl.label + ":DYN" + std::to_string(s.keys.size() + 1);
  ZUNA_RETURN_IF_ERROR(ParseComponents(decl, components, &key.decl.components));
  key.decl.duplicates = true;
  key.decl.index = true;
  ZUNA_RETURN_IF_ERROR(KeyEncoder::Create(decl, key.decl, values::Locale(), &key.encoder));
  key.dynamic = true;
  key.path = DynamicIndexPath();
  OpenOptions options;
  options.write = true;
  ZUNA_RETURN_IF_ERROR(KeyFile::Create(file.fs(), key.path, key.encoder.layout(),
                                       options, &key.file));
  s.keys.push_back(std::move(key));
  const size_t index = s.keys.size() - 1;
  uint32_t deleted = 0;
  Status status = BuildInto(file, index, nullptr, &deleted);
  if (!status.ok()) {
    s.keys[index].file.reset();
    (void)file.fs().Remove(s.keys[index].path);
    s.keys.pop_back();
    return status;
  }
  *key_index = static_cast<uint32_t>(index);
  return Status::OK();
}

Status PackFile(DatFileInstance& file) {
  return WithFileOpen(file, [&] { return Pack(file); });
}

namespace {

// Copies the live records into `packed` (and its memo) in record-number
// order, so their numbers close up.
Status CopyLive(DatFileInstance& file, DataFile& packed, MemoFile* packed_memo) {
  DriverState& s = file.driver_state();
  std::vector<char> record(file.declaration().record_length);
  std::vector<char> memo(file.memo().size());
  for (uint32_t r = 1; r <= s.data->header().record_slots; ++r) {
    SlotPrefix prefix;
    // The image goes across exactly as stored (see CommitAddRaw).
    ZUNA_RETURN_IF_ERROR(s.data->ReadSlot(r, &prefix, record));
    if (prefix.deleted()) continue;
    MemoWriteResult written;
    if (s.memo && prefix.link != 0) {
      ZUNA_RETURN_IF_ERROR(s.memo->Read(prefix.link, memo));
      ZUNA_RETURN_IF_ERROR(packed_memo->Write(memo, 0, {}, &written));
    }
    AddPlan plan;
    ZUNA_RETURN_IF_ERROR(packed.PlanAdd(&plan));
    ZUNA_RETURN_IF_ERROR(packed.CommitAddRaw(plan, written.link, record));
  }
  ZUNA_RETURN_IF_ERROR(packed.WriteHeader(/*stamp=*/true));
  ZUNA_RETURN_IF_ERROR(packed.Sync());
  if (packed_memo) ZUNA_RETURN_IF_ERROR(packed_memo->Sync());
  return Status::OK();
}

// Lays down empty .T00 (and .M00) files.  The data file layer names a new
// file's memo after the data file, so the pair is made under a stem of its
// own ("ZUN$P") and renamed: made as "ZUN.T00", its memo would be ZUN.MEM.
Status CreatePackFiles(DatFileInstance& file, const std::string& t00,
                       const std::string& m00) {
  DriverState& s = file.driver_state();
  const FileDecl& decl = file.declaration();
  if (!decl.memo) return CreateDataFile(file.fs(), t00, decl, {}, false);
  const std::string stem = CompanionFileName(s.data_path, "") + "$P";
  const std::string made = stem + std::string(kPackDataExtension);
  ZUNA_RETURN_IF_ERROR(CreateDataFile(file.fs(), made, decl, {}, false));
  ZUNA_RETURN_IF_ERROR(file.fs().Rename(stem + std::string(kMemoExtension), m00));
  return file.fs().Rename(made, t00);
}

Status ReopenAfterPack(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  const FileDecl& decl = file.declaration();
  OpenOptions options;
  options.write = true;
  ZUNA_RETURN_IF_ERROR(DataFile::Open(file.fs(), s.data_path, decl, options,
                                      &s.mismatches, &s.data));
  if (!decl.memo) return Status::OK();
  std::optional<ScrambleKey> key;
  if (decl.encrypt) key = OwnerKey(decl.owner);
  return MemoFile::Open(file.fs(), CompanionFileName(s.data_path, kMemoExtension),
                        options, *decl.memo, key, decl.oem, &s.memo);
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

Status Pack(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  ZUNA_RETURN_IF_ERROR(NeedsWrite(file));
  ZUNA_RETURN_IF_ERROR(RefreshHeader(file, RefreshMode::kLock));
  ZUNA_RETURN_IF_ERROR(ReleaseHeld(file));
  // Record numbers change: no record stays current, no sequence survives.
  s.current = 0;
  s.sequence = {};
  if (s.data->header().deleted_count > 0) {
    const std::string t00 = CompanionFileName(s.data_path, kPackDataExtension);
    const std::string m00 = CompanionFileName(s.data_path, kPackMemoExtension);
    ZUNA_RETURN_IF_ERROR(CreatePackFiles(file, t00, m00));
    OpenOptions options;
    options.write = true;
    std::unique_ptr<DataFile> packed;
    std::unique_ptr<MemoFile> packed_memo;
    const FileDecl& decl = file.declaration();
    Status status = DataFile::Open(file.fs(), t00, decl, options, nullptr, &packed);
    if (status.ok() && decl.memo) {
      std::optional<ScrambleKey> key;
      if (decl.encrypt) key = OwnerKey(decl.owner);
      status = MemoFile::Open(file.fs(), m00, options, *decl.memo, key, decl.oem,
                              &packed_memo);
    }
    if (status.ok()) status = CopyLive(file, *packed, packed_memo.get());
    packed.reset();
    packed_memo.reset();
    if (!status.ok()) {
      // The original files are untouched: drop the copies.
      (void)file.fs().Remove(t00);
      if (decl.memo) (void)file.fs().Remove(m00);
      return status;
    }
    s.data.reset();
    s.memo.reset();
    // From the first rename on the FILE's open files are gone: any failure
    // leaves it failed until reopened.
    status = file.fs().Rename(t00, s.data_path);
    if (status.ok() && decl.memo) {
      status = file.fs().Rename(m00, CompanionFileName(s.data_path, kMemoExtension));
    }
    if (status.ok()) status = file.fs().SyncDirectory(DirectoryOf(s.data_path));
    if (status.ok()) status = ReopenAfterPack(file);
    if (!status.ok()) return Fail(file, status);
  }
  Status status = BuildKeys(file, AllKeys(file));
  return status.ok() || status.code() == Err::kDuplicateKey ? status : Fail(file, status);
}

}  // namespace

Status RemoveFiles(DatFileInstance& file) {
  if (file.is_open()) return AlreadyOpen(file);
  std::string data_path;
  ZUNA_RETURN_IF_ERROR(ResolveDataPath(file, &data_path));
  const FileDecl& decl = file.declaration();
  ZUNA_RETURN_IF_ERROR(file.fs().Remove(data_path));
  if (decl.memo) {
    ZUNA_RETURN_IF_ERROR(file.fs().Remove(CompanionFileName(data_path, kMemoExtension)));
  }
  for (size_t k = 0; k < decl.keys.size(); ++k) {
    std::string key_path;
    ZUNA_RETURN_IF_ERROR(KeyFileName(data_path, static_cast<uint32_t>(k + 1),
                                     decl.keys[k].index, &key_path));
    ZUNA_RETURN_IF_ERROR(file.fs().ResolveName(key_path, &key_path));
    // An INDEX exists only once built.
    if (decl.keys[k].index && !file.fs().Exists(key_path)) continue;
    ZUNA_RETURN_IF_ERROR(file.fs().Remove(key_path));
  }
  return Status::OK();
}

Status RenameFiles(DatFileInstance& file, std::string_view new_name) {
  if (file.is_open()) return AlreadyOpen(file);
  if (new_name.empty()) return Status::Error(Err::kInvalidFilename, "empty new name");
  std::string from;
  ZUNA_RETURN_IF_ERROR(ResolveDataPath(file, &from));
  std::string to;
  ZUNA_RETURN_IF_ERROR(DataFileName(new_name, &to));
  const FileDecl& decl = file.declaration();
  ZUNA_RETURN_IF_ERROR(file.fs().Rename(from, to));
  if (decl.memo) {
    ZUNA_RETURN_IF_ERROR(file.fs().Rename(CompanionFileName(from, kMemoExtension),
                                          CompanionFileName(to, kMemoExtension)));
  }
  for (size_t k = 0; k < decl.keys.size(); ++k) {
    const uint32_t number = static_cast<uint32_t>(k + 1);
    std::string old_key, new_key;
    ZUNA_RETURN_IF_ERROR(KeyFileName(from, number, decl.keys[k].index, &old_key));
    ZUNA_RETURN_IF_ERROR(KeyFileName(to, number, decl.keys[k].index, &new_key));
    ZUNA_RETURN_IF_ERROR(file.fs().ResolveName(old_key, &old_key));
    if (decl.keys[k].index && !file.fs().Exists(old_key)) continue;
    ZUNA_RETURN_IF_ERROR(file.fs().Rename(old_key, new_key));
  }
  return Status::OK();
}

}  // namespace zuna::datfile::driver
