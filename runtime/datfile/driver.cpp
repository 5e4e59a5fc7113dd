// Dispatch: the critical section, binding, the open and failed-state checks,
// the operation, and the end step.
#include "runtime/datfile/driver.h"

#include <mutex>
#include <thread>

#include "runtime/datfile/driver_internal.h"
#include "runtime/datfile/transaction.h"

namespace zuna::datfile {
namespace {

// The driver's process-wide critical section.  Recursive: the runtime's
// callbacks (build events, the framework's file callbacks) may re-enter the
// driver on the same thread.
std::recursive_mutex& DriverMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

// How often the calling thread holds the critical section, so a wait can
// give it up whole and take it back (PauseOutsideDriver).
thread_local int driver_lock_depth = 0;

void LockDriver() {
  DriverMutex().lock();
  ++driver_lock_depth;
}

void UnlockDriver() {
  --driver_lock_depth;
  DriverMutex().unlock();
}

class DriverLock {
 public:
  DriverLock() { LockDriver(); }
  ~DriverLock() { UnlockDriver(); }
  DriverLock(const DriverLock&) = delete;
  DriverLock& operator=(const DriverLock&) = delete;
};

// Operations that work on a closed FILE too.
bool WorksClosed(Op op) {
  switch (op) {
    case Op::Open: case Op::Share: case Op::Create: case Op::Close:
    case Op::Destroy: case Op::Remove: case Op::Rename: case Op::Pack:
    case Op::BuildFile: case Op::BuildKey: case Op::Send:
    case Op::Logout: case Op::Commit: case Op::Rollback:
    case Op::ImportFile:
      return true;
    default:
      return false;
  }
}

// The end step of every operation: each key forgets the leaf its last
// search reached, so the next operation starts from the root and sees a
// tree another operation may have changed, and on a shared file the header
// lock byte is freed.  The slots read ahead go too: once the operation is
// over, nothing keeps other stations from changing them.  Inside an
// OperationGroup all of this waits for its end.
void EndStep(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  if (s.group_depth > 0) return;
  for (KeyState& key : s.keys) {
    if (key.file) key.file->EndOperation();
  }
  if (s.data) s.data->DropReadAhead();
  driver::EndSharing(file);
}

Status Run(Op op, DatFileInstance& file, const OpArgs& args, OpResult* out) {
  using namespace driver;
  DriverState& s = file.driver_state();
  switch (op) {
    case Op::Open:
    case Op::Share:
      return OpenFile(file, args.mode);
    case Op::Create:
      return CreateFile(file, args.replace);
    case Op::Close:
    case Op::Destroy:
      return CloseFile(file);
    case Op::Add:
    case Op::AddFileLen:
      return AddRecord(file, true);
    case Op::Append:
    case Op::AppendLen:
      return AddRecord(file, false);
    case Op::Put:
      return PutRecord(file);
    case Op::PutFilePtr:
    case Op::PutFilePtrLen:
      return PutRecordAt(file, args.record_no,
                         op == Op::PutFilePtrLen ? args.length : 0);
    case Op::Delete:
      return DeleteRecord(file);
    case Op::GetFilePtr:
      return LoadRecord(file, args.record_no);
    case Op::RegetFile:
      return RegetFile(file, args.text, args.record_no);
    case Op::GetFileKey:
      return GetByKey(file, args.key);
    case Op::GetKeyPtr:
      return GetByOrdinal(file, args.key, args.record_no);
    case Op::RegetKey:
      return RegetKey(file, args.key, args.text);
    case Op::SetFile:
      return SetFile(file, SequenceKind::kFileStart, 0);
    case Op::SetFilePtr:
      return SetFile(file, SequenceKind::kFileFrom, args.record_no);
    case Op::ResetFile: {
      uint32_t record_no = 0;
      if (!DecodeFilePosition(args.text, &record_no)) {
        return Status::Error(Err::kRecordNotFound, "malformed file position");
      }
      return SetFile(file, SequenceKind::kFileFrom, record_no);
    }
    case Op::SetFileKey:
      return SetFileByKey(file, args.key);
    case Op::SetKey:
      return SetKey(file, args.key, SequenceKind::kKeyStart, {}, false, 0);
    case Op::SetKeyKey:
      return SetKeyFromBuffer(file, args.key, false, 0);
    case Op::SetKeyKeyPtr:
      return SetKeyFromBuffer(file, args.key, true, args.record_no);
    case Op::SetKeyPtr:
      return SetKey(file, args.key, SequenceKind::kKeyOrdinal, {}, false,
                    args.record_no);
    case Op::ResetKey:
      return SetKey(file, args.key, SequenceKind::kKeyFrom,
                    std::string(args.text), true, 0);
    case Op::Next:
      return Step(file, +1);
    case Op::Previous:
      return Step(file, -1);
    case Op::Skip:
      return Skip(file, args.count);
    case Op::Eof:
      return AtEnd(file, +1, &out->number);
    case Op::Bof:
      return AtEnd(file, -1, &out->number);
    case Op::PositionFile:
      PositionFile(file, &out->text);
      return Status::OK();
    case Op::PositionKey:
      return PositionKey(file, args.key, &out->text);
    case Op::PointerFile:
      out->number = s.current;
      return Status::OK();
    case Op::PointerKey:
      return PointerKey(file, args.key, &out->number);
    case Op::RecordsFile:
    case Op::CountRecords:
      return Records(file, &out->number);
    case Op::RecordsKey:
      return RecordsKey(file, args.key, &out->number);
    case Op::Duplicate:
      return Duplicate(file, -1, &out->number);
    case Op::DuplicateKey:
      return Duplicate(file, args.key, &out->number);
    case Op::HoldFile:
    case Op::HoldFileSec:
      s.hold_next_read = true;
      s.hold_seconds = args.count > 0 ? static_cast<uint32_t>(args.count) : 0;
      return Status::OK();
    case Op::Release:
      return ReleaseHeld(file);
    case Op::LockFile:
      return LockFile(file, 0);
    case Op::LockFileSec:
      return LockFile(file, args.count);
    case Op::Unlock:
      return UnlockFile(file);
    case Op::Watch:
      // The compare serves other stations only, so only a shared FILE
      // remembers the next record read.
      if (s.shared) s.watch_pending = true;
      return Status::OK();
    case Op::Stream:
      s.write_through = false;
      // Alone on the file, the key headers can wait for FLUSH as the data
      // header does; other stations must see them after every change.
      for (KeyState& key : s.keys) {
        if (key.file) (void)key.file->SetWriteBack(!s.shared);  // cannot fail
      }
      return Status::OK();
    case Op::Flush: {
      s.write_through = true;
      for (KeyState& key : s.keys) {
        if (key.file) ZUNA_RETURN_IF_ERROR(key.file->SetWriteBack(false));
      }
      if (s.header_dirty) ZUNA_RETURN_IF_ERROR(WriteHeaderStamped(file, false));
      return SyncAll(file);
    }
    case Op::NoMemo:
      s.no_memo_next_read = true;
      return Status::OK();
    case Op::Empty:
      return EmptyFile(file);
    case Op::BuildFile:
      return BuildFile(file);
    case Op::BuildKey:
      return BuildOneKey(file, args.key);
    case Op::BuildDyn:
    case Op::BuildDynFilter:
      return BuildDynamic(file, args.text, &out->number);
    case Op::Pack:
      return PackFile(file);
    case Op::Remove:
      return RemoveFiles(file);
    case Op::Rename:
      return RenameFiles(file, args.text);
    case Op::Logout:
      return transaction::Logout(file.fs(), s.log);
    case Op::Commit:
      return transaction::Commit(s.log);
    case Op::Rollback: {
      Status status = transaction::Rollback(s.log);
      Status reread = RereadAfterRollback(file);
      return status.ok() ? reread : status;
    }
    case Op::Send:
      return Send(file, args.text, &out->text);
    case Op::ImportFile:
      return ImportFile(file, args.text, &out->declaration);
  }
  return Status::Error(Err::kAccessDenied, "unknown operation");
}

}  // namespace

namespace {
bool IsAdd(Op op) { return op == Op::Add || op == Op::AddFileLen; }
}  // namespace

Status Dispatch(Op op, DatFileInstance& file, const OpArgs& args,
                OpResult* result) {
  // Another thread's transaction is waited for outside the critical
  // section, which that thread needs to finish it.
  if (op == Op::Logout && !transaction::WaitToStart()) {
    return Status::Error(Err::kLogoutActive, "another thread's transaction is open");
  }
  DriverLock lock;
  // A LOGOUT that fails, on any path, leaves the turn to other threads.
  struct TurnGuard {
    bool logout;
    ~TurnGuard() {
      if (logout) transaction::ReleaseUnusedTurn();
    }
  } turn_guard{op == Op::Logout};
  DriverState& s = file.driver_state();
  if (!s.bound) {
    s.bound = true;
    s.bind_error = driver::Bind(file);
  }
  if (!s.bind_error.ok()) return s.bind_error;
  if (!file.is_open() && !WorksClosed(op)) {
    return Status::Error(Err::kFileNotOpen, file.name());
  }
  const bool closing = op == Op::Close || op == Op::Destroy;
  // Entries ADDs left for later go in before anything else can look at a
  // key; a rollback takes the records that made them away.  A FILE closes
  // even when they fail to (their transaction is doomed then).
  Status inserted;
  if (driver::AnyEntriesDeferred()) {
    if (op == Op::Rollback) {
      driver::DropDeferredEntries();
    } else if (!(IsAdd(op) && driver::KeepsDeferring(file))) {
      inserted = driver::InsertDeferredEntries();
      if (!inserted.ok() && !closing) return inserted;
    }
  }
  if (!s.failure.ok() && !closing) return s.failure;
  if (s.log->stale && file.is_open() && !closing) {
    ZUNA_RETURN_IF_ERROR(driver::RereadAfterRollback(file));
  }
  // An answer nobody asked for goes to scratch kept per thread: an
  // OpResult holds a whole declaration (IMPORT's), too much to make and
  // unmake for every NEXT.  A callback re-entering the driver may write
  // it meanwhile; nobody reads it.
  thread_local OpResult scratch;
  OpResult* out = result ? result : &scratch;
  out->number = 0;
  out->text.clear();
  if (op == Op::ImportFile) out->declaration = FileDecl{};
  Status status = Run(op, file, args, out);
  EndStep(file);
  return inserted.ok() ? status : inserted;
}

OperationGroup::OperationGroup(DatFileInstance& file) : file_(file) {
  LockDriver();
  ++file_.driver_state().group_depth;
}

OperationGroup::~OperationGroup() {
  if (--file_.driver_state().group_depth == 0) EndStep(file_);
  UnlockDriver();
}

void YieldGroup(DatFileInstance& file) {
  DriverLock lock;
  DriverState& s = file.driver_state();
  if (s.group_depth == 0) return;
  const int depth = s.group_depth;
  s.group_depth = 0;
  EndStep(file);
  s.group_depth = depth;
}

std::string_view OpName(Op op) {
  static constexpr std::string_view kNames[] = {
      "OPEN", "SHARE", "CREATE", "CLOSE", "DESTROY",
      "ADD", "ADDfilelen", "APPEND", "APPENDlen", "PUT", "PUTfileptr",
      "PUTfileptrlen", "DELETE",
      "GETfileptr", "REGETfile", "GETfilekey", "GETkeyptr", "REGETkey",
      "SETfile", "SETfileptr", "RESETfile", "SETfilekey",
      "SETkey", "SETkeykey", "SETkeykeyptr", "SETkeyptr", "RESETkey",
      "NEXT", "PREVIOUS", "SKIP", "EOF", "BOF",
      "POSITIONfile", "POSITIONkey", "POINTERfile", "POINTERkey",
      "RECORDSfile", "COUNTRECORDS", "RECORDSkey", "DUPLICATE", "DUPLICATEkey",
      "HOLDfile", "HOLDfilesec", "RELEASE", "LOCKfile", "LOCKfilesec",
      "UNLOCK", "WATCH",
      "STREAM", "FLUSH", "NOMEMO", "EMPTY",
      "BUILDfile", "BUILDkey", "BUILDdyn", "BUILDdynfilter",
      "PACK", "REMOVE", "RENAME", "LOGOUT", "COMMIT", "ROLLBACK", "SEND",
      "IMPORT"};
  static_assert(std::size(kNames) == static_cast<size_t>(Op::ImportFile) + 1);
  return kNames[static_cast<size_t>(op)];
}

namespace driver {

void PauseOutsideDriver(std::chrono::microseconds pause) {
  const int depth = driver_lock_depth;
  for (int i = 0; i < depth; ++i) DriverMutex().unlock();
  std::this_thread::sleep_for(pause);
  for (int i = 0; i < depth; ++i) DriverMutex().lock();
}

Status RereadAfterRollback(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  s.log->stale = false;
  if (!file.is_open()) return Status::OK();
  // The files changed underneath: nothing remembered of them holds.
  s.header_dirty = false;
  s.current = 0;
  s.sequence = {};
  s.entries_pending = 0;
  ZUNA_RETURN_IF_ERROR(s.data->ReadHeader());
  if (s.memo) ZUNA_RETURN_IF_ERROR(s.memo->ReadHeader());
  for (size_t k = 0; k < s.keys.size(); ++k) {
    KeyState& key = s.keys[k];
    if (!key.file) continue;
    // A key whose change failed half way (a full disk) refuses work until
    // it is opened again; the undo has just put its file back as it was,
    // so it is opened again rather than left refusing -- which would also
    // make a ROLLBACK that worked report that failure.
    if (!key.file->error().ok() && !key.dynamic) {
      key.file.reset();
      key.current_entry.clear();
      ZUNA_RETURN_IF_ERROR(OpenKeyFile(file, k));
      continue;
    }
    ZUNA_RETURN_IF_ERROR(key.file->Refresh());
  }
  return Status::OK();
}

Status WriteHeaderStamped(DatFileInstance& file, bool defer) {
  DriverState& s = file.driver_state();
  if (defer && !s.write_through) {
    s.header_dirty = true;
    return Status::OK();
  }
  ZUNA_RETURN_IF_ERROR(s.data->WriteHeader(/*stamp=*/true));
  s.header_dirty = false;
  return Status::OK();
}

Status SyncAll(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  ZUNA_RETURN_IF_ERROR(s.data->Sync());
  if (s.memo) ZUNA_RETURN_IF_ERROR(s.memo->Sync());
  for (KeyState& key : s.keys) {
    if (key.file) ZUNA_RETURN_IF_ERROR(key.file->Sync());
  }
  return Status::OK();
}

Status OpenKey(DatFileInstance& file, int index, KeyState** key) {
  DriverState& s = file.driver_state();
  if (index < 0 || static_cast<size_t>(index) >= s.keys.size()) {
    return Status::Error(Err::kInvalidRecordDeclaration,
                         "no key " + std::to_string(index));
  }
  KeyState& k = s.keys[static_cast<size_t>(index)];
  if (!k.file) {
    return Status::Error(Err::kKeyFileMustBeRebuilt,
                         k.decl.label + ": key file not built");
  }
  *key = &k;
  return Status::OK();
}

Status Fail(DatFileInstance& file, Status status) {
  DriverState& s = file.driver_state();
  if (s.failure.ok()) s.failure = status;
  return status;
}

}  // namespace driver
}  // namespace zuna::datfile
