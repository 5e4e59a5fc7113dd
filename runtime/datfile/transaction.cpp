#include "runtime/datfile/transaction.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "runtime/datfile/coding.h"
#include "runtime/datfile/file_names.h"
#include "runtime/datfile/handle_table.h"
#include "runtime/values/locale.h"
#include "runtime/values/profile_reader.h"
#include "runtime/values/program_files.h"

namespace zuna::datfile::transaction {
namespace {

constexpr size_t kMaxImageRecord = 0xFFFF;  // the trailer's u16 length
constexpr size_t kUndoChunk = 2048;

// A file written in the transaction.
struct Target {
  uint16_t id = 0;
  uint16_t owner = 0;           // 0: a data file
  std::string name;
  // Its open descriptions (several FILEs of the process may have one
  // file open); empty once they all closed it.
  std::vector<LoggedFile*> files;
  // Ranges whose oldest image is in the log: [start, end) by start.
  std::map<uint64_t, uint64_t> logged;
  // The lowest end of file logged as an append; a cut there undoes every
  // growth after it.
  uint64_t appended_at = UINT64_MAX;
  // Writes gathered and not yet made: disjoint ranges by offset.
  std::map<uint64_t, std::string> gathered;
  // A FILE outside the transaction has written the file (NoteWriteOutside).
  bool written_outside = false;
};

// The log of one data file.
struct DataLog {
  uint16_t data_id = 0;
  std::string path;
  std::unique_ptr<File> file;
  uint64_t size = 0;
};

struct State {
  FileSystem* fs = nullptr;
  bool open = false;            // a transaction is open
  std::string name;             // the transaction file
  std::unique_ptr<File> file;   // once the first file is registered
  uint64_t size = 0;
  std::vector<Target> targets;  // by id - 1
  std::vector<DataLog> logs;
  std::vector<std::weak_ptr<LogBinding>> bindings;
  size_t gathered_bytes = 0;    // over every target
  Status doomed;                // set: only a rollback may end it (Doom)
};

// A batch is made once this much is gathered.  Blocks changed again and
// again (headers, inner nodes, leaves taking one insert after another) go
// out once per batch, so a bigger batch writes far less: 16 MiB holds the
// key and data blocks of some two hundred thousand imported records.
constexpr size_t kGatherLimit = 16 << 20;

State& Current() {
  static State state;  // guarded by the driver's critical section
  return state;
}

// Which thread's transaction is open; guarded by turn_mutex.
std::mutex turn_mutex;
std::condition_variable turn_changed;
std::thread::id turn_owner;

CrashHook crash_hook = nullptr;

void Reached(CrashPoint point) {
  if (crash_hook != nullptr) crash_hook(point);
}

Status LogFailure(const std::string& why) {
  return Status::Error(Err::kUnableToLog, why);
}

Status RollbackFailure(const std::string& why) {
  return Status::Error(Err::kUnableToRollback, why);
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string BaseNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// --- Names. ---

std::string ProgramStem() {
  const std::string base = BaseNameOf(values::ProgramPath());
  const std::string stem = base.substr(0, base.find('.'));
  return stem.empty() ? std::string("zuna") : stem.substr(0, 12);
}

// VANTMP from the environment or section "V21" of Zuna.INI beside the
// program; empty when neither names one.
std::string ConfiguredDirectory() {
  std::string directory;
  if (const char* env = std::getenv("VANTMP"); env != nullptr) directory = env;
  if (directory.empty()) {
    directory = values::ReadProfileString(values::SettingsFile("Zuna.INI"),
                                          "V21", "VANTMP").value_or("");
  }
  std::replace(directory.begin(), directory.end(), '\\', '/');
  if (!directory.empty() && directory.back() != '/') directory += '/';
  return directory;
}

// Four hex digits of the host name: a transaction directory shared by
// several hosts keeps their processes' names apart.
std::string HostTag() {
  char host[256] = {};
  (void)::gethostname(host, sizeof(host) - 1);
  uint32_t hash = 2166136261u;
  for (const char* c = host; *c != '\0'; ++c) {
    hash = (hash ^ static_cast<uint8_t>(*c)) * 16777619u;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string tag;
  for (int shift = 12; shift >= 0; shift -= 4) tag += kHex[(hash >> shift) & 15];
  return tag;
}

std::string TransactionFileName(const std::string& data_path) {
  std::string directory = ConfiguredDirectory();
  if (directory.empty()) directory = DirectoryOf(data_path);
  return directory + ProgramStem() + "-" + HostTag() + "-" +
         std::to_string(::getpid()) + ".TR$";
}


// The name as stored: zero-padded to kNameSize.
std::string StoredName(const std::string& name) {
  std::string stored = name;
  stored.resize(kNameSize, '\0');
  return stored;
}

std::string NameFrom(const char* bytes) {
  const char* end = std::find(bytes, bytes + kNameSize, '\0');
  return std::string(bytes, end);
}

std::string Trailer(uint64_t position, uint64_t length, uint16_t id) {
  std::string trailer(kTrailerSize, '\0');
  EncodeFixed32(trailer.data(), static_cast<uint32_t>(position));
  EncodeFixed16(trailer.data() + 4, static_cast<uint16_t>(length));
  EncodeFixed16(trailer.data() + 6, id);
  return trailer;
}

// A name recorded on another station may not exist here (another mount
// point): the same base name in `directory` is taken instead.
std::string LocalName(FileSystem& fs, const std::string& recorded,
                      const std::string& directory) {
  if (fs.Exists(recorded)) return recorded;
  const std::string local = directory + BaseNameOf(recorded);
  return fs.Exists(local) ? local : recorded;
}

// --- Ending a transaction. ---

void EndTransaction(bool rolled_back) {
  State& s = Current();
  for (const auto& weak : s.bindings) {
    if (auto binding = weak.lock()) {
      binding->logged = false;
      if (rolled_back) binding->stale = true;
    }
  }
  s = State{};
  std::lock_guard<std::mutex> lock(turn_mutex);
  turn_owner = std::thread::id();
  turn_changed.notify_all();
}

void Mark(const std::shared_ptr<LogBinding>& binding) {
  State& s = Current();
  if (!binding->logged) s.bindings.push_back(binding);
  binding->logged = true;
}

// --- Undo. ---

using TargetFor = std::map<uint16_t, File*>;

// Undoes `log` (a log file of `size` bytes) newest record first, into the
// files `targets` names by id.  The log itself is cut to its marker only
// once every target is on disk, so an undo cut short by a crash is simply
// done again, from the end, by the next recovery.
Status UndoLog(File& log, uint64_t size, const TargetFor& targets) {
  uint64_t at = size;
  std::set<File*> touched;
  std::vector<char> image;
  for (;;) {
    char trailer[kTrailerSize];
    if (at < kTrailerSize) return RollbackFailure(log.path() + ": damaged log");
    ZUNA_RETURN_IF_ERROR(ReadExact(log, at - kTrailerSize, trailer,
                                   Err::kUnableToRollback));
    const uint32_t position = DecodeFixed32(trailer);
    const uint16_t length = DecodeFixed16(trailer + 4);
    const uint16_t id = DecodeFixed16(trailer + 6);
    if (id == 0) break;  // the marker: nothing older to undo
    const auto target = targets.find(id);
    if (target == targets.end() || at < kTrailerSize + length) {
      return RollbackFailure(log.path() + ": record for unknown file " +
                             std::to_string(id));
    }
    File& file = *target->second;
    const uint64_t image_at = at - kTrailerSize - length;
    if (length == 0) {
      ZUNA_RETURN_IF_ERROR(file.Truncate(position));
    }
    for (uint64_t done = 0; done < length; done += kUndoChunk) {
      const size_t chunk = static_cast<size_t>(std::min<uint64_t>(kUndoChunk, length - done));
      image.resize(chunk);
      ZUNA_RETURN_IF_ERROR(ReadExact(log, image_at + done, image, Err::kUnableToRollback));
      ZUNA_RETURN_IF_ERROR(file.WriteAt(position + done, image));
    }
    touched.insert(&file);
    at = image_at;
    Reached(CrashPoint::kUndoing);
  }
  for (File* file : touched) ZUNA_RETURN_IF_ERROR(file->Sync());
  ZUNA_RETURN_IF_ERROR(log.Truncate(at));
  return log.Sync();
}

Status AsRollbackFailure(const Status& status) {
  if (status.ok() || status.code() == Err::kUnableToRollback) return status;
  return RollbackFailure(status.ToString());
}

// Undoes the transaction of the transaction file `name` in every file it
// lists, then removes its logs and itself.  `known` is a data file this
// process has open already (the one being opened), by absolute name.
Status RecoverTransactionFile(FileSystem& fs, const std::string& name,
                              const std::string& known_path, File* known) {
  OpenOptions options;
  options.write = true;
  options.share = ShareMode::kDenyAll;
  std::unique_ptr<File> directory_file;
  Status status = fs.Open(name, options, &directory_file);
  if (status.code() == Err::kAccessDenied) {
    return Status::Error(Err::kLogoutActive, name + ": transaction in progress");
  }
  if (!status.ok()) return AsRollbackFailure(status);
  uint64_t size = 0;
  ZUNA_RETURN_IF_ERROR(AsRollbackFailure(directory_file->Size(&size)));
  std::string records(size - size % kDirectoryRecordSize, '\0');
  ZUNA_RETURN_IF_ERROR(ReadExact(*directory_file, 0, records, Err::kUnableToRollback));

  const std::string here = DirectoryOf(name);
  TargetFor targets;
  std::vector<std::unique_ptr<File>> opened;
  struct Log { std::unique_ptr<File> file; std::string path; };
  std::vector<Log> logs;
  for (size_t at = 0; at < records.size(); at += kDirectoryRecordSize) {
    const uint16_t id = DecodeFixed16(&records[at]);
    const uint16_t owner = DecodeFixed16(&records[at + 2]);
    const std::string file_name = LocalName(fs, NameFrom(&records[at + 4]), here);
    if (known != nullptr && AbsoluteFileName(file_name) == known_path) {
      targets[id] = known;
    } else {
      std::unique_ptr<File> file;
      status = fs.Open(file_name, options, &file);
      if (!status.ok()) {
        OpenOptions shared = options;
        shared.share = ShareMode::kDenyNone;
        status = fs.Open(file_name, shared, &file);
      }
      if (!status.ok()) return AsRollbackFailure(status);
      targets[id] = file.get();
      opened.push_back(std::move(file));
    }
    if (owner != 0) continue;
    Log log{nullptr, LogPathFor(file_name)};
    status = fs.Open(log.path, options, &log.file);
    if (status.code() == Err::kFileNotFound) continue;  // never written
    if (status.code() == Err::kAccessDenied) {
      return Status::Error(Err::kLogoutActive, log.path + ": transaction in progress");
    }
    if (!status.ok()) return AsRollbackFailure(status);
    logs.push_back(std::move(log));
  }
  for (Log& log : logs) {
    uint64_t log_size = 0;
    ZUNA_RETURN_IF_ERROR(AsRollbackFailure(log.file->Size(&log_size)));
    ZUNA_RETURN_IF_ERROR(AsRollbackFailure(UndoLog(*log.file, log_size, targets)));
  }
  // Undone: the transaction file goes first, so a crash here leaves logs
  // holding their marker alone and no transaction file, which the next
  // recovery removes as committed; the other way round would leave a
  // transaction file that no log names, for ever.
  (void)fs.Remove(name);
  (void)fs.SyncDirectory(here);
  for (Log& log : logs) (void)fs.Remove(log.path);  // still held: ours alone
  logs.clear();
  directory_file.reset();
  (void)fs.SyncDirectory(here);
  return Status::OK();
}

// --- Registration. ---

Target* Find(LoggedFile& file) {
  for (Target& target : Current().targets) {
    if (std::find(target.files.begin(), target.files.end(), &file) != target.files.end()) {
      return &target;
    }
  }
  return nullptr;
}

// Find, or the target of the same file opened by another FILE, which this
// description then joins.
Target* FindByName(LoggedFile& file) {
  if (Target* target = Find(file)) return target;
  const std::optional<std::string> name = OpenHandles().Lookup(file.handle());
  if (!name) return nullptr;
  for (Target& target : Current().targets) {
    if (target.name == *name) {
      target.files.push_back(&file);
      return &target;
    }
  }
  return nullptr;
}

Status AppendDirectoryRecord(const Target& target) {
  State& s = Current();
  std::string record(kDirectoryRecordSize, '\0');
  EncodeFixed16(record.data(), target.id);
  EncodeFixed16(record.data() + 2, target.owner);
  const std::string name = StoredName(target.name);
  std::copy(name.begin(), name.end(), record.begin() + 4);
  ZUNA_RETURN_IF_ERROR(s.file->WriteAt(s.size, record));
  ZUNA_RETURN_IF_ERROR(s.file->Sync());
  s.size += record.size();
  return Status::OK();
}

// Creates the log, held (deny-all) from then on.  A new log is there
// before its open takes the share bytes, empty and let go: a station
// opening the data file meanwhile recovers without byte 0, takes it for
// the log of a process that died before its marker, and removes it.  Such
// a log would be held under no name, and no station would wait for the
// transaction: so the log is made again until its name is still there
// once held (no other log can take the name meanwhile, since a new log is
// made only under byte 0, as this one is).  An open refused for sharing
// is that recovery holding it: it goes on once the name is free.
Status OpenNewLog(const std::string& path, std::unique_ptr<File>* file) {
  constexpr int kAttempts = 50;
  constexpr std::chrono::milliseconds kPause{1};
  OpenOptions options;
  options.write = true;
  options.create = true;
  options.exclusive = true;
  options.share = ShareMode::kDenyAll;
  State& s = Current();
  Status status;
  bool refused = false;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(kPause);
    status = s.fs->Open(path, options, file);
    // An existing log is a transaction not yet recovered: never overwrite
    // it.  After a refusal it may be the one made here, which the
    // recovery holding it is about to remove.
    if (IsAlreadyExists(status) && !refused) return status;
    if (IsAlreadyExists(status) || status.code() == Err::kAccessDenied) {
      refused = true;
      continue;
    }
    if (!status.ok()) return status;
    if (s.fs->Exists(path)) return Status::OK();
    file->reset();
    status = Status::Error(Err::kAccessDenied, path + ": removed as soon as made");
  }
  return status;
}

Status CreateLog(const Target& data) {
  State& s = Current();
  DataLog log;
  log.data_id = data.id;
  log.path = LogPathFor(data.name);
  Status status = OpenNewLog(log.path, &log.file);
  if (!status.ok()) return LogFailure(log.path + ": " + status.ToString());
  const std::string marker = StoredName(s.name) + Trailer(0, kNameSize, 0);
  status = log.file->WriteAt(0, marker);
  if (status.ok()) status = log.file->Sync();
  if (status.ok()) status = s.fs->SyncDirectory(DirectoryOf(log.path));
  if (!status.ok()) {
    (void)s.fs->Remove(log.path);
    log.file.reset();
    return LogFailure(log.path + ": " + status.ToString());
  }
  log.size = marker.size();
  s.logs.push_back(std::move(log));
  return Status::OK();
}

// After the first log: a crash between the two leaves a log without its
// transaction file, which recovery takes for committed (it holds nothing
// to undo yet).
Status CreateTransactionFile() {
  State& s = Current();
  OpenOptions options;
  options.write = true;
  options.create = true;
  options.exclusive = true;
  options.share = ShareMode::kDenyAll;
  Status status = s.fs->Open(s.name, options, &s.file);
  if (IsAlreadyExists(status)) return Status::Error(Err::kLogoutActive, s.name);
  if (status.ok()) status = s.fs->SyncDirectory(DirectoryOf(s.name));
  if (!status.ok()) {
    s.file.reset();
    return LogFailure(s.name + ": " + status.ToString());
  }
  s.size = 0;
  return Status::OK();
}

Status Register(LoggedFile& file, Target** registered) {
  State& s = Current();
  const std::optional<std::string> name = OpenHandles().Lookup(file.handle());
  if (!name) return LogFailure(file.path() + ": not an open file of the driver");
  if (name->size() >= kNameSize) return LogFailure(*name + ": name too long to log");
  Target target;
  target.name = *name;
  target.files.push_back(&file);
  if (!file.is_data()) {
    LoggedFile* data = file.binding().data;
    if (data == nullptr) return LogFailure(*name + ": its data file is not open");
    Target* owner = FindByName(*data);
    if (owner == nullptr) ZUNA_RETURN_IF_ERROR(Register(*data, &owner));
    target.owner = owner->id;
  }
  if (s.targets.size() >= UINT16_MAX) return LogFailure("too many files in one transaction");
  target.id = static_cast<uint16_t>(s.targets.size() + 1);
  if (file.is_data()) ZUNA_RETURN_IF_ERROR(CreateLog(target));
  if (s.file == nullptr) ZUNA_RETURN_IF_ERROR(CreateTransactionFile());
  // The directory names the file before any record for it is logged.
  Status status = AppendDirectoryRecord(target);
  if (!status.ok()) return LogFailure(s.name + ": " + status.ToString());
  s.targets.push_back(std::move(target));
  *registered = &s.targets.back();
  return Status::OK();
}

DataLog* LogOf(const Target& target) {
  const uint16_t data_id = target.owner == 0 ? target.id : target.owner;
  for (DataLog& log : Current().logs) {
    if (log.data_id == data_id) return &log;
  }
  return nullptr;
}

bool Covered(const Target& target, uint64_t from, uint64_t to) {
  auto it = target.logged.upper_bound(from);
  if (it == target.logged.begin()) return false;
  --it;
  return it->first <= from && it->second >= to;
}

void AddCovered(Target& target, uint64_t from, uint64_t to) {
  auto it = target.logged.upper_bound(from);
  if (it != target.logged.begin() && std::prev(it)->second >= from) {
    --it;
    from = it->first;
    to = std::max(to, it->second);
    it = target.logged.erase(it);
  }
  while (it != target.logged.end() && it->first <= to) {
    to = std::max(to, it->second);
    it = target.logged.erase(it);
  }
  target.logged.emplace(from, to);
}

// The log records protecting a write of [offset, offset + length) of a
// file `end` bytes long.
Status MakeRecords(Target& target, File& file, uint64_t offset, uint64_t length,
                   uint64_t end, std::string* records) {
  const uint64_t write_end = offset + length;
  if (offset < end) {
    const uint64_t to = std::min(write_end, end);
    if (!Covered(target, offset, to)) {
      std::string image;
      for (uint64_t from = offset; from < to; from += kMaxImageRecord) {
        const uint64_t n = std::min<uint64_t>(kMaxImageRecord, to - from);
        image.resize(n);
        ZUNA_RETURN_IF_ERROR(ReadExact(file, from, image, Err::kUnableToLog));
        *records += image;
        *records += Trailer(from, n, target.id);
      }
      AddCovered(target, offset, to);
    }
  }
  if (write_end > end && end < target.appended_at) {
    *records += Trailer(end, 0, target.id);
    target.appended_at = end;
  }
  return Status::OK();
}

// The target `file` is an open description of, without joining it: by
// membership, else by name (another FILE of this process reading a file
// this transaction writes).
const Target* TargetOf(const LoggedFile& file) {
  for (const Target& target : Current().targets) {
    if (std::find(target.files.begin(), target.files.end(), &file) != target.files.end()) {
      return &target;
    }
  }
  const std::optional<std::string> name = OpenHandles().Lookup(file.handle());
  if (!name) return nullptr;
  for (const Target& target : Current().targets) {
    if (target.name == *name) return &target;
  }
  return nullptr;
}

// Puts `data` at `offset` into the disjoint ranges of `gathered`: written
// into the range it starts in or just after when it stays clear of the
// next one, else merged with every range it overlaps.  A write that only
// touches the range after it stays a range of its own: merging those would
// copy ever longer ranges over and over as a key file's blocks fill in
// around each other (WriteGatheredBatch writes touching ranges as one).
// Returns the growth in bytes.
size_t MergeGathered(std::map<uint64_t, std::string>& gathered, uint64_t offset,
                     std::span<const char> data) {
  uint64_t from = offset;
  uint64_t to = offset + data.size();
  auto first = gathered.upper_bound(offset);
  const auto next = first;
  if (first != gathered.begin()) {
    const auto before = std::prev(first);
    const uint64_t before_end = before->first + before->second.size();
    if (before_end >= offset) {
      // Within or at the end of one range, clear of the next: written in
      // place, or appended (slots added one after another grow one range,
      // which must not be copied whole for each).
      if (next == gathered.end() || next->first >= to) {
        std::string& bytes = before->second;
        const size_t at = static_cast<size_t>(offset - before->first);
        const size_t grown = to > before_end ? static_cast<size_t>(to - before_end) : 0;
        if (grown > 0) bytes.resize(bytes.size() + grown);
        std::copy(data.begin(), data.end(), bytes.begin() + static_cast<ptrdiff_t>(at));
        return grown;
      }
      first = before;
    }
  }
  auto last = first;
  size_t replaced = 0;
  for (; last != gathered.end() && last->first < to; ++last) {
    from = std::min(from, last->first);
    to = std::max<uint64_t>(to, last->first + last->second.size());
    replaced += last->second.size();
  }
  std::string merged(to - from, '\0');
  for (auto it = first; it != last; ++it) {
    std::copy(it->second.begin(), it->second.end(), merged.begin() + (it->first - from));
  }
  std::copy(data.begin(), data.end(), merged.begin() + (offset - from));
  gathered.erase(first, last);
  const size_t size = merged.size();
  gathered.emplace(from, std::move(merged));
  return size - replaced;
}

// The writes of targets with gathered ranges go through their first open
// description's file, or through one opened again by name when every
// FILE has closed it since.
Status TargetFile(Target& target, std::vector<std::unique_ptr<File>>* reopened,
                  File** file) {
  if (!target.files.empty()) {
    *file = &target.files.front()->base();
    return Status::OK();
  }
  OpenOptions options;
  options.write = true;
  options.share = ShareMode::kDenyNone;
  std::unique_ptr<File> opened;
  ZUNA_RETURN_IF_ERROR(Current().fs->Open(target.name, options, &opened));
  *file = opened.get();
  reopened->push_back(std::move(opened));
  return Status::OK();
}

// Removes `path` and makes the removal durable (its directory synced).
Status RemoveDurably(FileSystem& fs, const std::string& path) {
  Status status = fs.Remove(path);
  if (status.ok()) status = fs.SyncDirectory(DirectoryOf(path));
  return status;
}

}  // namespace

bool Active() { return Current().open; }

bool OpenHere() {
  if (!Current().open) return false;
  std::lock_guard<std::mutex> lock(turn_mutex);
  return turn_owner == std::this_thread::get_id();
}

bool LogsHere(const std::string& data_path) {
  if (!OpenHere()) return false;
  const std::string log_path = LogPathFor(data_path);
  const std::vector<DataLog>& logs = Current().logs;
  return std::any_of(logs.begin(), logs.end(),
                     [&](const DataLog& log) { return log.path == log_path; });
}

bool LogsAnythingHere() { return OpenHere() && !Current().logs.empty(); }

bool SoleWriterHere(const LoggedFile& data) {
  if (!OpenHere()) return false;
  for (const Target& target : Current().targets) {
    if (target.owner != 0 || target.files.size() != 1 || target.files[0] != &data ||
        target.written_outside) {
      continue;
    }
    // Its log exists from the first logged write on, and is held until
    // the transaction ends.
    return LogOf(target) != nullptr;
  }
  return false;
}

void NoteWriteOutside(const LoggedFile& file) {
  const Target* written = TargetOf(file);
  if (written == nullptr) return;
  // The data file's target is the one SoleWriterHere looks at.
  const uint16_t data_id = written->owner == 0 ? written->id : written->owner;
  for (Target& target : Current().targets) {
    if (target.id == data_id) target.written_outside = true;
  }
}

std::string LogPathFor(const std::string& data_path) {
  return CompanionFileName(data_path, kLogExtension);
}

bool WaitToStart() {
  std::unique_lock<std::mutex> lock(turn_mutex);
  const std::thread::id me = std::this_thread::get_id();
  const bool free = turn_changed.wait_for(lock, kStartTimeout, [&] {
    return turn_owner == std::thread::id() || turn_owner == me;
  });
  // Taken at once: between this wait and the LOGOUT that follows, another
  // thread must not slip in and make that LOGOUT fail without waiting.
  if (free) turn_owner = me;
  return free;
}

void ReleaseUnusedTurn() {
  if (Current().open) return;
  std::lock_guard<std::mutex> lock(turn_mutex);
  if (turn_owner == std::this_thread::get_id()) {
    turn_owner = std::thread::id();
    turn_changed.notify_all();
  }
}

Status Logout(FileSystem& fs, const std::shared_ptr<LogBinding>& binding) {
  State& s = Current();
  if (s.open) {
    std::lock_guard<std::mutex> lock(turn_mutex);
    if (turn_owner != std::this_thread::get_id()) {
      return Status::Error(Err::kLogoutActive, "another thread's transaction is open");
    }
    Mark(binding);
    return Status::OK();
  }
  const std::string name = TransactionFileName(binding->data_path);
  if (name.size() >= kNameSize) return LogFailure(name + ": name too long to log");
  if (fs.Exists(name)) {
    // Left by a process that had this one's number: undo what it left,
    // unless it is alive after all (then its files are held: 56).
    ZUNA_RETURN_IF_ERROR(RecoverTransactionFile(fs, name, "", nullptr));
  }
  // The transaction file itself is made at the first logged write, after
  // that data file's log: a process that dies before writing anything
  // leaves nothing behind.
  s.fs = &fs;
  s.name = name;
  s.open = true;
  {
    std::lock_guard<std::mutex> lock(turn_mutex);
    turn_owner = std::this_thread::get_id();
  }
  Mark(binding);
  return Status::OK();
}

Status BeforeWrite(LoggedFile& file, uint64_t offset, uint64_t length) {
  if (offset + length > UINT32_MAX) return LogFailure(file.path() + ": beyond 4 GiB");
  Target* target = FindByName(file);
  if (target == nullptr) ZUNA_RETURN_IF_ERROR(Register(file, &target));
  DataLog* log = LogOf(*target);
  if (log == nullptr) return LogFailure(file.path() + ": no log");
  uint64_t end = 0;
  Status status = file.base().Size(&end);
  if (!status.ok()) return LogFailure(file.path() + ": " + status.ToString());
  std::string records;
  ZUNA_RETURN_IF_ERROR(MakeRecords(*target, file.base(), offset, length, end, &records));
  if (records.empty()) return Status::OK();
  status = log->file->WriteAt(log->size, records);
  if (status.ok()) status = log->file->Sync();
  if (!status.ok()) {
    // The records may be half there: the ranges they claimed are not.
    target->logged.clear();
    target->appended_at = UINT64_MAX;
    return LogFailure(log->path + ": " + status.ToString());
  }
  log->size += records.size();
  Reached(CrashPoint::kLogged);
  return Status::OK();
}

Status Gather(LoggedFile& file, uint64_t offset, std::span<const char> data) {
  if (offset + data.size() > UINT32_MAX) return LogFailure(file.path() + ": beyond 4 GiB");
  Target* target = FindByName(file);
  if (target == nullptr) ZUNA_RETURN_IF_ERROR(Register(file, &target));
  if (LogOf(*target) == nullptr) return LogFailure(file.path() + ": no log");
  State& s = Current();
  s.gathered_bytes += MergeGathered(target->gathered, offset, data);
  if (s.gathered_bytes < kGatherLimit) return Status::OK();
  return WriteGathered();
}

namespace {

// WriteGathered; with `sync`, every file written is then synced too.
Status WriteGatheredBatch(bool sync) {
  State& s = Current();
  if (s.gathered_bytes == 0) return Status::OK();
  // The before-images of the whole batch, one run of records per log; the
  // files' ends as they are before any of its writes.
  std::vector<std::unique_ptr<File>> reopened;
  std::vector<std::pair<Target*, File*>> written;
  std::map<DataLog*, std::string> records;
  Status status;
  for (Target& target : s.targets) {
    if (target.gathered.empty()) continue;
    DataLog* log = LogOf(target);
    File* file = nullptr;
    if (log == nullptr) status = LogFailure(target.name + ": no log");
    if (status.ok()) status = TargetFile(target, &reopened, &file);
    uint64_t end = 0;
    if (status.ok()) status = file->Size(&end);
    // Ranges that touch are one run here too: one read of its before-image.
    for (auto it = target.gathered.begin(); it != target.gathered.end() && status.ok();) {
      const uint64_t offset = it->first;
      uint64_t run_end = offset;
      for (; it != target.gathered.end() && it->first == run_end; ++it) {
        run_end += it->second.size();
      }
      status = MakeRecords(target, *file, offset, run_end - offset, end, &records[log]);
    }
    if (!status.ok()) break;
    written.emplace_back(&target, file);
  }
  for (auto& [log, text] : records) {
    if (!status.ok()) break;
    if (text.empty()) continue;
    status = log->file->WriteAt(log->size, text);
    if (status.ok()) status = log->file->Sync();
    if (status.ok()) {
      log->size += text.size();
      Reached(CrashPoint::kLogged);
    }
  }
  if (!status.ok()) {
    // The records may be half there: the ranges they claimed are not.
    for (Target& target : s.targets) {
      target.logged.clear();
      target.appended_at = UINT64_MAX;
    }
    return LogFailure(status.ToString());
  }
  // Logged: now the writes, in block order, ranges that touch as one
  // write, each forgotten once made.
  std::string run;
  for (auto& [target, file] : written) {
    std::map<uint64_t, std::string>& gathered = target->gathered;
    while (!gathered.empty()) {
      const auto first = gathered.begin();
      auto last = std::next(first);
      uint64_t end = first->first + first->second.size();
      for (; last != gathered.end() && last->first == end; ++last) {
        end += last->second.size();
      }
      std::span<const char> bytes = first->second;
      if (std::next(first) != last) {
        run.clear();
        for (auto it = first; it != last; ++it) run += it->second;
        bytes = run;
      }
      ZUNA_RETURN_IF_ERROR(file->WriteAt(first->first, bytes));
      s.gathered_bytes -= bytes.size();
      gathered.erase(first, last);
      Reached(CrashPoint::kWritten);
    }
    if (sync) ZUNA_RETURN_IF_ERROR(file->Sync());
  }
  return Status::OK();
}

}  // namespace

Status WriteGathered() { return WriteGatheredBatch(/*sync=*/false); }

void Overlay(const LoggedFile& file, uint64_t offset, std::span<char> out,
             size_t* bytes_read) {
  if (Current().gathered_bytes == 0) return;
  const Target* target = TargetOf(file);
  if (target == nullptr || target->gathered.empty()) return;
  const uint64_t end = offset + out.size();
  auto it = target->gathered.upper_bound(offset);
  if (it != target->gathered.begin()) --it;
  for (; it != target->gathered.end() && it->first < end; ++it) {
    const uint64_t from = std::max(offset, it->first);
    const uint64_t to = std::min<uint64_t>(end, it->first + it->second.size());
    if (from >= to) continue;
    if (to - offset > *bytes_read) {
      // Between the file's end and the gathered write lies a gap.
      std::fill(out.begin() + static_cast<ptrdiff_t>(*bytes_read),
                out.begin() + static_cast<ptrdiff_t>(to - offset), '\0');
      *bytes_read = static_cast<size_t>(to - offset);
    }
    std::copy_n(it->second.begin() + static_cast<ptrdiff_t>(from - it->first), to - from,
                out.begin() + static_cast<ptrdiff_t>(from - offset));
  }
}

uint64_t GatheredEnd(const LoggedFile& file) {
  if (Current().gathered_bytes == 0) return 0;
  const Target* target = TargetOf(file);
  if (target == nullptr || target->gathered.empty()) return 0;
  const auto& last = *target->gathered.rbegin();
  return last.first + last.second.size();
}

bool HasGathered(const LoggedFile& file) { return GatheredEnd(file) != 0; }

void Forget(LoggedFile& file) {
  Target* target = Find(file);
  if (target == nullptr) return;
  // Its writes must not wait for a description that is going.  A failure
  // here leaves them gathered, for a batch through a file opened by name.
  if (!target->gathered.empty()) (void)WriteGathered();
  std::erase(target->files, &file);
}

Status Commit(const std::shared_ptr<LogBinding>& binding) {
  State& s = Current();
  if (!s.open) {
    binding->logged = false;
    return Status::OK();
  }
  if (!s.doomed.ok()) return s.doomed;
  // Every gathered write on disk before the commit point: afterwards no
  // log protects the files any more.
  ZUNA_RETURN_IF_ERROR(WriteGatheredBatch(/*sync=*/true));
  // The commit point: without its transaction file no log is ever undone.
  Status directory_gone;
  if (s.file != nullptr) {
    s.file.reset();
    directory_gone = RemoveDurably(*s.fs, s.name);
  }
  Reached(CrashPoint::kCommitted);
  // Each log's name goes while the log is still held, and only then the
  // log: once let go, the name may be removed by another station's
  // recovery and taken by a new transaction's log, which a removal by
  // name would then take away -- and with it the wait of every other
  // station for that transaction.
  Status logs_gone;
  for (DataLog& log : s.logs) {
    Status removed = RemoveDurably(*s.fs, log.path);
    if (logs_gone.ok()) logs_gone = removed;
    Reached(CrashPoint::kLogRemoved);
    log.file.reset();
  }
  EndTransaction(/*rolled_back=*/false);
  // Either removal alone commits: a log without its transaction file, or
  // a transaction file without logs, undoes nothing.
  if (!directory_gone.ok() && !logs_gone.ok()) return directory_gone;
  return Status::OK();
}

void Doom(const Status& why) {
  State& s = Current();
  if (s.open && s.doomed.ok()) s.doomed = why;
}

Status Rollback(const std::shared_ptr<LogBinding>& binding) {
  State& s = Current();
  if (!s.open) {
    binding->logged = false;
    return Status::OK();
  }
  // What was only gathered never reached the files: nothing to undo.
  for (Target& target : s.targets) target.gathered.clear();
  s.gathered_bytes = 0;
  TargetFor targets;
  std::vector<std::unique_ptr<File>> reopened;
  Status result;
  for (Target& target : s.targets) {
    if (!target.files.empty()) {
      targets[target.id] = &target.files.front()->base();
      continue;
    }
    // Closed by its FILE since: opened again by name.
    std::unique_ptr<File> file;
    OpenOptions options;
    options.write = true;
    options.share = ShareMode::kDenyNone;
    Status status = s.fs->Open(target.name, options, &file);
    if (!status.ok()) {
      result = RollbackFailure(target.name + ": " + status.ToString());
      continue;
    }
    targets[target.id] = file.get();
    reopened.push_back(std::move(file));
  }
  for (DataLog& log : s.logs) {
    if (!result.ok()) break;
    result = AsRollbackFailure(UndoLog(*log.file, log.size, targets));
  }
  if (result.ok()) {
    // As after a recovery: the transaction file first (see there).
    if (s.file != nullptr) {
      (void)s.fs->Remove(s.name);
      (void)s.fs->SyncDirectory(DirectoryOf(s.name));
      s.file.reset();
    }
    for (DataLog& log : s.logs) {
      (void)s.fs->Remove(log.path);
      log.file.reset();
    }
  }
  // On failure the logs stay for the next recovering open to finish.
  EndTransaction(/*rolled_back=*/true);
  return result;
}

Status Recover(FileSystem& fs, const std::string& data_path, File* here) {
  if (Active()) return Status::OK();
  const std::string log_path = LogPathFor(data_path);
  if (!fs.Exists(log_path)) return Status::OK();
  OpenOptions options;
  options.write = true;
  options.share = ShareMode::kDenyAll;
  std::unique_ptr<File> log;
  Status status = fs.Open(log_path, options, &log);
  if (status.code() == Err::kFileNotFound) return Status::OK();
  if (status.code() == Err::kAccessDenied) {
    return Status::Error(Err::kLogoutActive, log_path + ": transaction in progress");
  }
  if (!status.ok()) return AsRollbackFailure(status);
  uint64_t log_size = 0;
  ZUNA_RETURN_IF_ERROR(AsRollbackFailure(log->Size(&log_size)));
  if (log_size < kNameSize + kTrailerSize) {
    // Its process died writing the marker, before anything it protects.
    (void)fs.Remove(log_path);
    return Status::OK();
  }
  char marker[kNameSize];
  ZUNA_RETURN_IF_ERROR(ReadExact(*log, 0, marker, Err::kUnableToRollback));
  const std::string name = LocalName(fs, NameFrom(marker), DirectoryOf(log_path));
  if (!fs.Exists(name)) {
    // Committed: the transaction file went, this log did not.  Removed
    // while held, so no new transaction's log of that name is touched.
    (void)fs.Remove(log_path);
    return Status::OK();
  }
  log.reset();
  ZUNA_RETURN_IF_ERROR(
      RecoverTransactionFile(fs, name, AbsoluteFileName(data_path), here));
  // A log its transaction file never listed (its process died between the
  // two) holds the marker alone.
  status = fs.Open(log_path, options, &log);
  uint64_t size = 0;
  if (status.ok() && log->Size(&size).ok() && size <= kNameSize + kTrailerSize) {
    (void)fs.Remove(log_path);
  }
  return Status::OK();
}

void SetCrashHook(CrashHook hook) { crash_hook = hook; }

}  // namespace zuna::datfile::transaction
