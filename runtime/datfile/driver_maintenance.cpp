// Whole-file work: EMPTY, BUILD (the file's keys, one key, a dynamic
// index), PACK, REMOVE, RENAME and the file-import entry.
//
// Keys that may no longer match the records never look sound, not even to
// a station that opens the file after this process was killed.  OPEN can
// only compare the entry count of a key that is not OPT with RECORDS, so an
// OPT key (the register's two are) left empty, half built or stale would
// open without a word.  Hence:
//   - EMPTY and PACK cut every declared key file to nothing before the
//     records change, and make them anew afterwards;
//   - BUILD cuts every key file it is about to build before it builds the
//     first (a key built before records were appended without keys is as
//     stale as a half built one);
//   - a key is built under a name of its own (ZUN.$01 for ZUN.K01, same
//     directory), synced, and only then renamed over the key file, the
//     directory synced after: the key file OPEN reads is cut or whole,
//     never a tree half laid down whose header still reads as an empty key;
//   - a key whose BUILD fails stays cut (best effort when the failure came
//     after the rename: the cut is a truncate of its own, tried once).
// A cut key file makes OPEN answer 46 ("Key File Must Be Rebuilt"), and
// BUILD makes the file whole again.  Whenever a key of an open FILE is cut
// the FILE is put in its failed state (writes would otherwise skip a key
// whose file is gone): only CLOSE works until it is reopened.
//
// What a failure reported by the file system leaves behind:
//   EMPTY  the records all there or all gone; key files intact (when the
//          failure came before the first cut) or cut.
//   PACK   copying into the ".T00"/".M00" pair first, a failure there
//          leaves every file as it was and the FILE open and usable.  From
//          the cut of the keys on, the data and memo files are the old pair
//          or the packed pair (the swap is taken back when its second
//          rename fails; when its third does, the next BUILD finishes it),
//          with the same live records in the same order either way, and
//          the keys are cut until BUILD.
//   BUILD  each key either built or cut; the other keys as built.
// A kill leaves no more than a failure does, with leftovers that the next
// BUILD or PACK overwrites (".$nn" keys, a ".T00"/".M00" pair), and one
// state of its own: PACK renames the old memo file aside before the packed
// data file comes in, and the packed memo file last, so that for a moment
// there is no memo file under its name.  The keys are cut by then, so
// OPEN answers 46 (the missing memo file with a packed one waiting is
// taken as 46 too: PackInterrupted), and BUILD finishes the swap before it
// reads a record (FinishInterruptedPack).  The data file is never missing
// and never meets a memo file it does not belong to.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "runtime/datfile/driver_internal.h"
#include "runtime/datfile/duplicate_report.h"
#include "runtime/datfile/file_import.h"
#include "runtime/datfile/file_names.h"
#include "runtime/datfile/key_build.h"
#include "runtime/datfile/maintenance_points.h"
#include "runtime/datfile/record_filter.h"
#include "runtime/datfile/scramble.h"
#include "runtime/datfile/transaction.h"
#include "runtime/values/locale.h"

namespace zuna::datfile::driver {
namespace {

// Where PACK parks the old memo file while the packed pair moves in.
constexpr std::string_view kParkedMemoExtension = ".M01";

// The live records of a data file in record-number order, for BUILD: counts
// the deleted slots it passes, leaves out the records a filter refuses and
// posts the progress events of build_events.h.
class SlotSource final : public RecordSource {
 public:
  SlotSource(DataFile& data, RecordFilter* filter,
             const BuildEventHandler& events, BuildProgress progress)
      : data_(data),
        filter_(filter),
        events_(events),
        progress_(progress),
        buffer_(data.declaration().record_length) {
    progress_.records_total = data.header().record_slots;
    step_ = std::max<uint32_t>(1, (progress_.records_total + 99) / 100);
  }

  Status Next(uint32_t* record_no, std::span<const char>* record,
              bool* done) override {
    while (next_ <= data_.header().record_slots) {
      const uint32_t r = next_++;
      SlotPrefix prefix;
      ZUNA_RETURN_IF_ERROR(data_.ReadRecord(r, &prefix, buffer_));
      Progress(r);
      if (prefix.deleted()) {
        ++deleted_;
        continue;
      }
      if (filter_ != nullptr && !filter_->Accepts(buffer_)) continue;
      *record_no = r;
      *record = buffer_;
      return Status::OK();
    }
    Progress(progress_.records_total);
    *done = true;
    return Status::OK();
  }

  uint32_t deleted() const { return deleted_; }

 private:
  // An event each hundredth of the slots, and one when all are read.  The
  // answer is ignored: a key is never left half built (build_events.h).
  void Progress(uint32_t read) {
    if (!events_) return;
    const bool end = read >= progress_.records_total;
    if (end ? end_posted_ : read < next_event_) return;
    end_posted_ = end;
    next_event_ = read + step_;
    progress_.records_read = read;
    (void)events_(progress_);
  }

  DataFile& data_;
  RecordFilter* filter_;
  const BuildEventHandler& events_;
  BuildProgress progress_;
  std::vector<char> buffer_;
  uint32_t next_ = 1;
  uint32_t deleted_ = 0;
  uint32_t step_ = 1;
  uint32_t next_event_ = 0;
  bool end_posted_ = false;
};

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

Status NeedsWrite(const DatFileInstance& file) {
  if (!file.driver_state().read_only) return Status::OK();
  return Status::Error(Err::kAccessDenied,
                       file.driver_state().data_path + ": opened read-only");
}

Status AlreadyOpen(const DatFileInstance& file) {
  return Status::Error(Err::kFileAlreadyOpen, file.driver_state().data_path);
}

// EMPTY, PACK and BUILD of an open FILE rewrite files other stations
// would go on using: 5 while another one has the file open.
Status RefuseOtherOpeners(DatFileInstance& file) {
  return file.driver_state().data->file().ProbeSoleOpener();
}

// REMOVE and RENAME hold the data file open, denying all, while they work,
// so no station opens it half removed or half renamed; 5 while one has it
// open, 2 when it is missing.
Status HoldAlone(DatFileInstance& file, const std::string& data_path,
                 std::unique_ptr<File>* holder) {
  OpenOptions options;
  options.share = ShareMode::kDenyAll;
  return file.fs().Open(data_path, options, holder);
}

std::optional<ScrambleKey> MemoKey(const FileDecl& decl) {
  if (!decl.encrypt) return std::nullopt;
  return OwnerKey(decl.owner);
}

// The swap of a PACK killed between its renames (SwapPackedPair), carried
// forward: the packed data file in when it is still waiting, then the
// packed memo file.  Both were whole and on disk before the first rename.
// The caller holds the data file open denying all, so no station sees the
// swap half done; the data file is opened anew since it may have been
// replaced (a station slipping in between finds the keys cut, which they
// were before the swap began: 46).
Status FinishInterruptedPack(DatFileInstance& file, const OpenOptions& options) {
  DriverState& s = file.driver_state();
  FileSystem& fs = file.fs();
  const std::string t00 = CompanionFileName(s.data_path, kPackDataExtension);
  if (fs.Exists(t00)) ZUNA_RETURN_IF_ERROR(fs.Rename(t00, s.data_path));
  ZUNA_RETURN_IF_ERROR(fs.Rename(CompanionFileName(s.data_path, kPackMemoExtension),
                                 CompanionFileName(s.data_path, kMemoExtension)));
  ZUNA_RETURN_IF_ERROR(fs.SyncDirectory(DirectoryOf(s.data_path)));
  (void)fs.Remove(CompanionFileName(s.data_path, kParkedMemoExtension));
  s.data.reset();
  return DataFile::Open(fs, s.data_path, file.declaration(), options, &s.mismatches,
                        &s.data);
}

// BUILD and PACK of a closed FILE open the data file (and memo) alone, for
// read/write: the key files are about to be made anew, so a missing or
// broken one must not stop the open.  Other stations are kept out
// altogether (deny all, 5 while one has the file open): they would read
// keys cut short or follow record numbers that PACK is closing up.
Status OpenForMaintenance(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  ZUNA_RETURN_IF_ERROR(ResolveDataPath(file, &s.data_path));
  s.read_only = false;
  s.shared = false;
  s.mode = kAccessReadWrite | kShareDenyAll;
  OpenOptions options;
  options.write = true;
  options.share = ShareMode::kDenyAll;
  // A transaction that died half way is undone first, as every open does:
  // undone after, it would put old key blocks over the keys made anew and
  // old record images over the records PACK moved.  A station still inside
  // its transaction has the file open, which refuses BUILD and PACK anyway.
  Status recovered = transaction::Recover(file.fs(), s.data_path, nullptr);
  if (recovered.code() == Err::kLogoutActive) {
    return Status::Error(Err::kAccessDenied, recovered.detail());
  }
  ZUNA_RETURN_IF_ERROR(recovered);
  // The data file held alone first: no one else may see the swap finished.
  Status status = DataFile::Open(file.fs(), s.data_path, file.declaration(),
                                 options, &s.mismatches, &s.data);
  const FileDecl& decl = file.declaration();
  if (status.ok() && decl.memo && PackInterrupted(file.fs(), s.data_path)) {
    status = FinishInterruptedPack(file, options);
  }
  if (status.ok() && decl.memo) {
    status = MemoFile::Open(file.fs(), CompanionFileName(s.data_path, kMemoExtension),
                            options, *decl.memo, MemoKey(decl), decl.oem, &s.memo);
  }
  if (!status.ok()) DropFiles(file);
  return status;
}

// Runs `work` on the FILE, opening and closing it around when closed.
template <typename Work>
Status WithFileOpen(DatFileInstance& file, Work work) {
  if (file.is_open()) {
    ZUNA_RETURN_IF_ERROR(RefuseOtherOpeners(file));
    return work();
  }
  ZUNA_RETURN_IF_ERROR(OpenForMaintenance(file));
  Status status = work();
  Status closed = CloseFile(file);
  return status.ok() ? closed : status;
}

// Fills in the key file's name of declared key `index` when not yet known
// (an INDEX that was never opened).
Status KnowKeyPath(DatFileInstance& file, size_t index) {
  DriverState& s = file.driver_state();
  KeyState& key = s.keys[index];
  if (!key.path.empty()) return Status::OK();
  ZUNA_RETURN_IF_ERROR(KeyFileName(s.data_path, static_cast<uint32_t>(index + 1),
                                   key.decl.index, &key.path));
  return file.fs().ResolveName(key.path, &key.path);
}

// Closes declared key `index` and cuts its file to nothing, so that OPEN
// answers 46 until a BUILD makes it anew.  A file that does not exist (an
// INDEX never built) is left so.  A dynamic index is only closed: OPEN
// never looks at it.
Status CutKeyFile(DatFileInstance& file, size_t index) {
  KeyState& key = file.driver_state().keys[index];
  key.file.reset();
  if (key.dynamic) return Status::OK();
  ZUNA_RETURN_IF_ERROR(KnowKeyPath(file, index));
  if (!file.fs().Exists(key.path)) return Status::OK();
  OpenOptions options;
  options.write = true;
  std::unique_ptr<File> cut;
  ZUNA_RETURN_IF_ERROR(file.fs().Open(key.path, options, &cut));
  ZUNA_RETURN_IF_ERROR(cut->Truncate(0));
  return cut->Sync();
}

// Cuts the declared key files among `indexes` that have components.
Status CutKeys(DatFileInstance& file, const std::vector<size_t>& indexes) {
  auto& keys = file.driver_state().keys;
  for (size_t k : indexes) {
    if (keys[k].dynamic || keys[k].decl.components.empty()) continue;
    ZUNA_RETURN_IF_ERROR(CutKeyFile(file, k));
  }
  ReachedMaintenancePoint(MaintenancePoint::kKeysCut);
  return Status::OK();
}

// Cuts every declared key file that has components.
Status CutDeclaredKeys(DatFileInstance& file) {
  std::vector<size_t> all(file.driver_state().keys.size());
  for (size_t k = 0; k < all.size(); ++k) all[k] = k;
  return CutKeys(file, all);
}

// The name declared key file `key_path` is built under before it replaces
// it: the extension's letter becomes '$' (ZUN.K01 -> ZUN.$01).  The same
// directory, so that the rename is atomic; a name of its own per key, since
// keys are numbered once whether KEY or INDEX.
std::string BuildingName(const std::string& key_path) {
  std::string name = key_path;
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot + 1 == name.size()) return name + ".$";
  name[dot + 1] = '$';
  return name;
}

// The BUILD of some of a FILE's keys in one operation: numbers them for the
// build events and follows the deleted slots the reads pass.
class KeyBuilder {
 public:
  KeyBuilder(DatFileInstance& file, uint32_t key_count, DuplicateReport* report)
      : file_(file),
        key_count_(key_count),
        report_(report),
        deleted_(file.driver_state().data->header().deleted_count) {}

  // Builds key `index` (which has components) from the data file, making
  // its file when it is not open; `filter` (may be null) for a dynamic
  // index, else its own filter text is compiled.  40 after the whole key
  // is written when a key without DUP has equal values.  Any other failure
  // cuts the key file (CutKeyFile) and is returned.
  Status Build(size_t index, RecordFilter* filter = nullptr) {
    Status status = BuildOrFail(index, filter);
    if (!status.ok() && status.code() != Err::kDuplicateKey) {
      (void)CutKeyFile(file_, index);
    }
    return status;
  }

  // Deleted slots the last build counted (the header's count before any).
  uint32_t deleted() const { return deleted_; }

 private:
  Status BuildOrFail(size_t index, RecordFilter* filter) {
    DriverState& s = file_.driver_state();
    KeyState& key = s.keys[index];
    std::unique_ptr<RecordFilter> own_filter;
    if (filter == nullptr && !key.filter.empty()) {
      ZUNA_RETURN_IF_ERROR(
          RecordFilter::Create(file_.declaration(), key.filter, &own_filter));
      filter = own_filter.get();
    }
    BuildProgress progress;
    progress.key = static_cast<int>(index);
    progress.key_ordinal = ++built_;
    progress.key_count = key_count_;
    SlotSource source(*s.data, filter, file_.build_events(), progress);
    // A dynamic index lives in a temporary file no one else opens.
    Status status = key.dynamic
                        ? BuildKey(file_.fs(), *key.file, key.encoder, source, report_)
                        : BuildAndReplace(index, source);
    if (!status.ok() && status.code() != Err::kDuplicateKey) return status;
    deleted_ = source.deleted();
    if (!key.dynamic) {
      // The key file was made anew: its descriptor in the data file follows.
      ZUNA_RETURN_IF_ERROR(s.data->RewriteKeyDescriptor(index));
    }
    return status;
  }

  // Builds declared key `index` under its building name and renames it
  // over the key file once whole and synced; the key file is then opened
  // again under its own name for the FILE.  OK or 40 (the key written all
  // the same), else the failure, the building file removed.
  Status BuildAndReplace(size_t index, RecordSource& source) {
    DriverState& s = file_.driver_state();
    KeyState& key = s.keys[index];
    key.file.reset();
    ZUNA_RETURN_IF_ERROR(KnowKeyPath(file_, index));
    FileSystem& fs = file_.fs();
    const std::string building = BuildingName(key.path);
    OpenOptions options;
    options.write = true;
    // The key is written whole when the build ends in OK or 40; each later
    // step keeps that result unless it fails itself.
    auto written = [](const Status& result) {
      return result.ok() || result.code() == Err::kDuplicateKey;
    };
    auto then = [](const Status& result, const Status& step) {
      return step.ok() ? result : step;
    };
    std::unique_ptr<KeyFile> fresh;
    Status status = KeyFile::Create(fs, building, key.encoder.layout(), options, &fresh);
    BuildOptions build_options;
    build_options.report_name = key.path;
    if (status.ok()) {
      status = BuildKey(fs, *fresh, key.encoder, source, report_, build_options);
    }
    if (written(status)) status = then(status, fresh->Sync());
    fresh.reset();
    if (written(status)) {
      ReachedMaintenancePoint(MaintenancePoint::kKeyWritten);
      status = then(status, fs.Rename(building, key.path));
    }
    if (written(status)) status = then(status, fs.SyncDirectory(DirectoryOf(key.path)));
    if (!written(status)) {
      (void)fs.Remove(building);
      return status;
    }
    ReachedMaintenancePoint(MaintenancePoint::kKeyInPlace);
    KeyOpenParams params;
    params.file.write = true;
    params.file.share = ShareModeFromMode(s.mode & ~3u).value_or(ShareMode::kCompat);
    params.records = s.data->Records();
    // Just built from the records: a filtered INDEX holds fewer entries.
    params.ignore_corruptions = true;
    Status opened = KeyFile::Open(file_.logged_fs(), key.path, key.encoder.layout(),
                                  params, &key.file);
    return opened.ok() ? status : opened;
  }

  DatFileInstance& file_;
  const uint32_t key_count_;
  DuplicateReport* report_;
  uint32_t built_ = 0;
  uint32_t deleted_;
};

// The end of a BUILD or PACK whose keys are built (`result` OK or 40): the
// final build event, a non-zero answer to which makes the result 93.
Status FinishBuild(DatFileInstance& file, Status result, uint32_t key_count) {
  if (!result.ok() && result.code() != Err::kDuplicateKey) return result;
  const BuildEventHandler& events = file.build_events();
  if (!events) return result;
  const DriverState& s = file.driver_state();
  BuildProgress progress;
  progress.key_ordinal = key_count;
  progress.key_count = key_count;
  progress.records_read = progress.records_total = s.data->header().record_slots;
  progress.final = true;
  if (events(progress) == 0) return result;
  return Status::Error(Err::kBuildCancelled, s.data_path + ": BUILD cancelled");
}

// BUILD of the keys in `indexes` (those without components are passed
// over); a key with duplicates does not stop the others.  The header's
// deleted count is corrected from the slots read.  Ends with the final
// build event.
Status BuildKeys(DatFileInstance& file, const std::vector<size_t>& indexes) {
  DriverState& s = file.driver_state();
  ZUNA_RETURN_IF_ERROR(NeedsWrite(file));
  ZUNA_RETURN_IF_ERROR(RefreshHeader(file, RefreshMode::kLock));
  std::vector<size_t> built;
  for (size_t index : indexes) {
    if (!s.keys[index].decl.components.empty()) built.push_back(index);
  }
  // From here until the last key is in place, OPEN answers 46.
  if (Status cut = CutKeys(file, built); !cut.ok()) return Fail(file, cut);
  DuplicateReport report(file.fs(),
                         CompanionFileName(s.data_path, kBuildReportExtension));
  KeyBuilder builder(file, static_cast<uint32_t>(built.size()), &report);
  Status result;
  for (size_t index : built) {
    Status status = builder.Build(index);
    if (status.ok()) continue;
    if (status.code() != Err::kDuplicateKey) return Fail(file, status);
    if (result.ok()) result = status;
  }
  if (builder.deleted() != s.data->header().deleted_count) {
    s.data->mutable_header()->deleted_count = builder.deleted();
    Status status = WriteHeaderStamped(file, false);
    if (!status.ok()) return Fail(file, status);
  }
  return FinishBuild(file, result, static_cast<uint32_t>(built.size()));
}

// The declared keys, and with `dynamic` the dynamic indexes too.
std::vector<size_t> KeysToBuild(const DatFileInstance& file, bool dynamic) {
  std::vector<size_t> indexes;
  const auto& keys = file.driver_state().keys;
  for (size_t k = 0; k < keys.size(); ++k) {
    if (dynamic || !keys[k].dynamic) indexes.push_back(k);
  }
  return indexes;
}

bool LabelMatches(std::string_view label, std::string_view wanted) {
  if (EqualsIgnoringCase(label, wanted)) return true;
  const size_t colon = label.find(':');
  return colon != std::string_view::npos &&
         EqualsIgnoringCase(label.substr(colon + 1), wanted);
}

// "ZUN:FIO,+ZUN:DATA": the dynamic index's components, ascending.
Status ParseComponents(const FileDecl& decl, std::string_view text,
                       std::vector<KeyComponent>* components) {
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find(',', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view part = Trim(text.substr(at, end - at));
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

// EMPTY's last step: key `index` made anew, empty.
Status RemakeEmptyKey(DatFileInstance& file, size_t index) {
  DriverState& s = file.driver_state();
  KeyState& key = s.keys[index];
  if (key.dynamic) return key.file->Initialise();
  ZUNA_RETURN_IF_ERROR(KnowKeyPath(file, index));
  OpenOptions options;
  options.write = true;
  ZUNA_RETURN_IF_ERROR(KeyFile::Create(file.fs(), key.path, key.encoder.layout(),
                                       options, &key.file));
  return s.data->RewriteKeyDescriptor(index);
}

// EMPTY's changes, keys cut first: from then on a failure at any step
// leaves keys that OPEN refuses, never keys that still list the records.
Status EmptyAll(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  ZUNA_RETURN_IF_ERROR(CutDeclaredKeys(file));
  ZUNA_RETURN_IF_ERROR(s.data->Empty());
  if (s.memo) ZUNA_RETURN_IF_ERROR(s.memo->Reset());
  for (size_t k = 0; k < s.keys.size(); ++k) {
    if (!s.keys[k].decl.components.empty()) ZUNA_RETURN_IF_ERROR(RemakeEmptyKey(file, k));
  }
  if (!s.write_through) return Status::OK();
  ZUNA_RETURN_IF_ERROR(SyncAll(file));
  // Key files may have been made anew (an INDEX never built before).
  return file.fs().SyncDirectory(DirectoryOf(s.data_path));
}

Status Pack(DatFileInstance& file);

}  // namespace

Status EmptyFile(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  ZUNA_RETURN_IF_ERROR(NeedsWrite(file));
  ZUNA_RETURN_IF_ERROR(RefuseOtherOpeners(file));
  ZUNA_RETURN_IF_ERROR(RefreshHeader(file, RefreshMode::kLock));
  ZUNA_RETURN_IF_ERROR(ReleaseHeld(file));
  s.current = 0;
  s.sequence = {};
  ForgetCurrentEntries(s);
  Status status = EmptyAll(file);
  return status.ok() ? status : Fail(file, status);
}

Status BuildFile(DatFileInstance& file) {
  return WithFileOpen(file, [&] { return BuildKeys(file, KeysToBuild(file, false)); });
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

Status BuildDynamic(DatFileInstance& file, std::string_view text,
                    uint32_t* key_index) {
  DriverState& s = file.driver_state();
  const FileDecl& decl = file.declaration();
  const size_t bar = text.find('|');
  const std::string_view components = text.substr(0, bar);
  const std::string_view filter_text =
      bar == std::string_view::npos ? std::string_view() : Trim(text.substr(bar + 1));
  KeyState key;
  key.decl.label = decl.label + ":DYN" + std::to_string(s.keys.size() + 1);
  ZUNA_RETURN_IF_ERROR(ParseComponents(decl, components, &key.decl.components));
  // Compiled before anything is made: a filter that does not compile
  // leaves no trace.
  std::unique_ptr<RecordFilter> filter;
  if (!filter_text.empty()) {
    ZUNA_RETURN_IF_ERROR(RecordFilter::Create(decl, filter_text, &filter));
  }
  ZUNA_RETURN_IF_ERROR(RefreshHeader(file, RefreshMode::kLock));
  key.decl.duplicates = true;
  key.decl.index = true;
  ZUNA_RETURN_IF_ERROR(KeyEncoder::Create(decl, key.decl, values::Locale(), &key.encoder));
  key.dynamic = true;
  key.filter = std::string(filter_text);
  key.path = DynamicIndexPath();
  OpenOptions options;
  options.write = true;
  ZUNA_RETURN_IF_ERROR(KeyFile::Create(file.fs(), key.path, key.encoder.layout(),
                                       options, &key.file));
  s.keys.push_back(std::move(key));
  const size_t index = s.keys.size() - 1;
  KeyBuilder builder(file, 1, nullptr);
  Status status = FinishBuild(file, builder.Build(index, filter.get()), 1);
  if (!status.ok()) {
    // Cancelled too: the statement hands out no key for it.
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

bool PackInterrupted(FileSystem& fs, const std::string& data_path) {
  return !fs.Exists(CompanionFileName(data_path, kMemoExtension)) &&
         fs.Exists(CompanionFileName(data_path, kPackMemoExtension)) &&
         fs.Exists(CompanionFileName(data_path, kParkedMemoExtension));
}

namespace {

// Copies the live records into `packed` (and its memo) in record-number
// order, so their numbers close up.  Record images and memo blocks go
// across exactly as stored (CommitAddRaw, MemoFile::ReadStored).
Status CopyLive(DatFileInstance& file, DataFile& packed, MemoFile* packed_memo) {
  DriverState& s = file.driver_state();
  std::vector<char> record(file.declaration().record_length);
  std::string memo;
  for (uint32_t r = 1; r <= s.data->header().record_slots; ++r) {
    SlotPrefix prefix;
    ZUNA_RETURN_IF_ERROR(s.data->ReadSlot(r, &prefix, record));
    if (prefix.deleted()) continue;
    uint32_t link = 0;
    if (s.memo && prefix.link != 0) {
      ZUNA_RETURN_IF_ERROR(s.memo->ReadStored(prefix.link, &memo));
      ZUNA_RETURN_IF_ERROR(packed_memo->AppendStored(memo, &link));
    }
    AddPlan plan;
    ZUNA_RETURN_IF_ERROR(packed.PlanAdd(&plan));
    ZUNA_RETURN_IF_ERROR(packed.CommitAddRaw(plan, link, record));
  }
  ZUNA_RETURN_IF_ERROR(packed.WriteHeader(/*stamp=*/true));
  ZUNA_RETURN_IF_ERROR(packed.Sync());
  if (packed_memo) ZUNA_RETURN_IF_ERROR(packed_memo->Sync());
  return Status::OK();
}

// Lays down the ".T00" (and ".M00") pair and fills it with the live
// records.  On failure the pair is removed again; nothing else changed.
Status WritePackedPair(DatFileInstance& file, const std::string& t00,
                       const std::string& m00) {
  const FileDecl& decl = file.declaration();
  OpenOptions options;
  options.write = true;
  std::unique_ptr<DataFile> packed;
  std::unique_ptr<MemoFile> packed_memo;
  Status status = CreateDataFile(file.fs(), t00, m00, decl, {}, false);
  if (status.ok()) status = DataFile::Open(file.fs(), t00, decl, options, nullptr, &packed);
  if (status.ok() && decl.memo) {
    status = MemoFile::Open(file.fs(), m00, options, *decl.memo, MemoKey(decl),
                            decl.oem, &packed_memo);
  }
  if (status.ok()) status = CopyLive(file, *packed, packed_memo.get());
  if (!status.ok()) {
    packed.reset();
    packed_memo.reset();
    (void)file.fs().Remove(t00);
    if (decl.memo) (void)file.fs().Remove(m00);
  }
  return status;
}

// Removes the ".T00"/".M00" pair of a PACK that stops before it swaps.
void RemovePackedPair(DatFileInstance& file, const std::string& t00,
                      const std::string& m00) {
  (void)file.fs().Remove(t00);
  if (file.declaration().memo) (void)file.fs().Remove(m00);
}

// Puts the packed pair in place of the old one, one atomic rename at a
// time: the old memo file parked, the packed data file in, the packed memo
// file in.  Until the last rename there is no memo file under its name, so
// no open pairs the data file with a memo file it does not belong to (see
// the top of this file).  A failure of the first two renames is taken back
// and the packed pair removed; once the packed data file is in, the swap
// can only go forward: a failure of the last rename leaves it to the next
// BUILD (FinishInterruptedPack).
Status SwapPackedPair(DatFileInstance& file, const std::string& t00,
                      const std::string& m00) {
  FileSystem& fs = file.fs();
  const std::string& data_path = file.driver_state().data_path;
  if (!file.declaration().memo) {
    Status status = fs.Rename(t00, data_path);
    if (!status.ok()) RemovePackedPair(file, t00, m00);
    return status;
  }
  const std::string mem = CompanionFileName(data_path, kMemoExtension);
  const std::string parked = CompanionFileName(data_path, kParkedMemoExtension);
  Status status = fs.Rename(mem, parked);
  if (!status.ok()) {
    RemovePackedPair(file, t00, m00);
    return status;
  }
  ReachedMaintenancePoint(MaintenancePoint::kPackMemoParked);
  status = fs.Rename(t00, data_path);
  if (!status.ok()) {
    (void)fs.Rename(parked, mem);
    RemovePackedPair(file, t00, m00);
    return status;
  }
  ReachedMaintenancePoint(MaintenancePoint::kPackDataReplaced);
  ZUNA_RETURN_IF_ERROR(fs.Rename(m00, mem));
  ReachedMaintenancePoint(MaintenancePoint::kPackMemoReplaced);
  // A parked memo left behind is harmless: the next PACK replaces it.
  (void)fs.Remove(parked);
  return Status::OK();
}

Status ReopenAfterPack(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  const FileDecl& decl = file.declaration();
  OpenOptions options;
  options.write = true;
  ZUNA_RETURN_IF_ERROR(DataFile::Open(file.fs(), s.data_path, decl, options,
                                      &s.mismatches, &s.data));
  if (!decl.memo) return Status::OK();
  return MemoFile::Open(file.fs(), CompanionFileName(s.data_path, kMemoExtension),
                        options, *decl.memo, MemoKey(decl), decl.oem, &s.memo);
}

// The packed pair replaces the data and memo files.  From the cut of the
// keys on, every failure leaves the FILE failed.
Status ReplaceWithPackedPair(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  const std::string t00 = CompanionFileName(s.data_path, kPackDataExtension);
  const std::string m00 = CompanionFileName(s.data_path, kPackMemoExtension);
  ZUNA_RETURN_IF_ERROR(WritePackedPair(file, t00, m00));
  ReachedMaintenancePoint(MaintenancePoint::kPackCopied);
  Status status = CutDeclaredKeys(file);
  if (!status.ok()) {
    // The old pair is in place: drop the packed one.
    RemovePackedPair(file, t00, m00);
    return Fail(file, status);
  }
  s.data.reset();
  s.memo.reset();
  status = SwapPackedPair(file, t00, m00);
  if (!status.ok()) return Fail(file, status);
  status = file.fs().SyncDirectory(DirectoryOf(s.data_path));
  if (status.ok()) status = ReopenAfterPack(file);
  return status.ok() ? status : Fail(file, status);
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
    ZUNA_RETURN_IF_ERROR(ReplaceWithPackedPair(file));
  }
  // Dynamic indexes name records by number too.
  return BuildKeys(file, KeysToBuild(file, true));
}

}  // namespace

Status RemoveFiles(DatFileInstance& file) {
  if (file.is_open()) return AlreadyOpen(file);
  std::string data_path;
  ZUNA_RETURN_IF_ERROR(ResolveDataPath(file, &data_path));
  std::unique_ptr<File> holder;
  ZUNA_RETURN_IF_ERROR(HoldAlone(file, data_path, &holder));
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
  std::unique_ptr<File> holder;
  ZUNA_RETURN_IF_ERROR(HoldAlone(file, from, &holder));
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

Status ImportFile(DatFileInstance& file, std::string_view name, FileDecl* decl) {
  // The dynamic file layer describes files it is about to open; one already
  // open under this FILE is refused.
  if (file.is_open()) {
    return Status::Error(Err::kFileNotOpen,
                         file.driver_state().data_path + ": import of an open FILE");
  }
  const std::string wanted(name.empty() ? std::string_view(file.name()) : name);
  if (wanted.empty()) return Status::Error(Err::kInvalidFilename, "empty file name");
  return ImportDeclaration(file.fs(), wanted, decl);
}

}  // namespace zuna::datfile::driver
