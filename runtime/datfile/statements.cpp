#include "runtime/datfile/statements.h"

#include <atomic>
#include <string>
#include <utility>

#include "runtime/datfile/driver_internal.h"
#include "runtime/values/error_state.h"

namespace zuna::datfile {

int32_t PostStatus(const Status& status) {
  if (status.ok()) {
    values::ClearError();
  } else {
    values::PostFileError(status.code(), std::to_string(status.code()),
                          status.detail());
  }
  return status.code();
}

namespace {

std::atomic<StatementObserver*> observer{nullptr};

int32_t Do(Op op, DatFileInstance& file, OpArgs args = {},
           OpResult* result = nullptr) {
  StatementObserver* const told = observer.load(std::memory_order_acquire);
  if (told == nullptr) return PostStatus(Dispatch(op, file, args, result));
  told->Before(file, op);
  const Status status = Dispatch(op, file, args, result);
  PostStatus(status);
  told->After(file, op, status.code());
  return PostStatus(status);
}

OpArgs WithKey(Key key) {
  OpArgs args;
  args.key = key.index;
  return args;
}

OpResult Ask(Op op, DatFileInstance& file, OpArgs args = {}) {
  OpResult result;
  Do(op, file, args, &result);
  return result;
}

}  // namespace

StatementObserver* SetStatementObserver(StatementObserver* replacement) {
  return observer.exchange(replacement, std::memory_order_acq_rel);
}

namespace driver {

void CloseDestroyed(DatFileInstance& file) {
  StatementObserver* const told = observer.load(std::memory_order_acquire);
  if (told == nullptr) {
    (void)Dispatch(Op::Destroy, file, OpArgs{}, nullptr);
    return;
  }
  told->Before(file, Op::Destroy);
  const Status status = Dispatch(Op::Destroy, file, OpArgs{}, nullptr);
  told->After(file, Op::Destroy, status.code());
}

}  // namespace driver

int32_t OPEN(DatFileInstance& file, uint32_t mode) {
  OpArgs args;
  args.mode = mode;
  return Do(Op::Open, file, args);
}
int32_t SHARE(DatFileInstance& file, uint32_t mode) {
  OpArgs args;
  args.mode = mode;
  return Do(Op::Share, file, args);
}
int32_t CREATE(DatFileInstance& file) { return Do(Op::Create, file); }
int32_t CLOSE(DatFileInstance& file) { return Do(Op::Close, file); }

int32_t ADD(DatFileInstance& file) { return Do(Op::Add, file); }
int32_t ADD(DatFileInstance& file, uint32_t length) {
  OpArgs args;
  args.length = length;
  return Do(Op::AddFileLen, file, args);
}
int32_t APPEND(DatFileInstance& file) { return Do(Op::Append, file); }
int32_t APPEND(DatFileInstance& file, uint32_t length) {
  OpArgs args;
  args.length = length;
  return Do(Op::AppendLen, file, args);
}
int32_t PUT(DatFileInstance& file) { return Do(Op::Put, file); }
int32_t PUT(DatFileInstance& file, uint32_t record_no, uint32_t length) {
  OpArgs args;
  args.record_no = record_no;
  args.length = length;
  return Do(length == 0 ? Op::PutFilePtr : Op::PutFilePtrLen, file, args);
}
int32_t DELETE(DatFileInstance& file) { return Do(Op::Delete, file); }

int32_t GET(DatFileInstance& file, uint32_t record_no) {
  OpArgs args;
  args.record_no = record_no;
  return Do(Op::GetFilePtr, file, args);
}
int32_t GET(DatFileInstance& file, Key key) {
  return Do(Op::GetFileKey, file, WithKey(key));
}
int32_t GET(DatFileInstance& file, Key key, uint32_t ordinal) {
  OpArgs args = WithKey(key);
  args.record_no = ordinal;
  return Do(Op::GetKeyPtr, file, args);
}
int32_t REGET(DatFileInstance& file, std::string_view position) {
  OpArgs args;
  args.text = position;
  return Do(Op::RegetFile, file, args);
}
int32_t REGET(DatFileInstance& file, Key key, std::string_view position) {
  OpArgs args = WithKey(key);
  args.text = position;
  return Do(Op::RegetKey, file, args);
}

int32_t SET(DatFileInstance& file) { return Do(Op::SetFile, file); }
int32_t SET(DatFileInstance& file, uint32_t record_no) {
  OpArgs args;
  args.record_no = record_no;
  return Do(Op::SetFilePtr, file, args);
}
int32_t SET(DatFileInstance& file, Key key, FileOrder) {
  return Do(Op::SetFileKey, file, WithKey(key));
}
int32_t SET(DatFileInstance& file, Key key) {
  return Do(Op::SetKey, file, WithKey(key));
}
int32_t SET(DatFileInstance& file, Key key, Key) {
  return Do(Op::SetKeyKey, file, WithKey(key));
}
int32_t SET(DatFileInstance& file, Key key, Key, uint32_t record_no) {
  OpArgs args = WithKey(key);
  args.record_no = record_no;
  return Do(Op::SetKeyKeyPtr, file, args);
}
int32_t SET(DatFileInstance& file, Key key, uint32_t ordinal) {
  OpArgs args = WithKey(key);
  args.record_no = ordinal;
  return Do(Op::SetKeyPtr, file, args);
}
int32_t RESET(DatFileInstance& file, std::string_view position) {
  OpArgs args;
  args.text = position;
  return Do(Op::ResetFile, file, args);
}
int32_t RESET(DatFileInstance& file, Key key, std::string_view position) {
  OpArgs args = WithKey(key);
  args.text = position;
  return Do(Op::ResetKey, file, args);
}
int32_t NEXT(DatFileInstance& file) { return Do(Op::Next, file); }
int32_t PREVIOUS(DatFileInstance& file) { return Do(Op::Previous, file); }
int32_t SKIP(DatFileInstance& file, int32_t count) {
  OpArgs args;
  args.count = count;
  return Do(Op::Skip, file, args);
}
bool EOF_(DatFileInstance& file) { return Ask(Op::Eof, file).number != 0; }
bool BOF(DatFileInstance& file) { return Ask(Op::Bof, file).number != 0; }

uint32_t RECORDS(DatFileInstance& file) { return Ask(Op::RecordsFile, file).number; }
uint32_t RECORDS(DatFileInstance& file, Key key) {
  return Ask(Op::RecordsKey, file, WithKey(key)).number;
}
std::string POSITION(DatFileInstance& file) { return Ask(Op::PositionFile, file).text; }
std::string POSITION(DatFileInstance& file, Key key) {
  return Ask(Op::PositionKey, file, WithKey(key)).text;
}
uint32_t POINTER(DatFileInstance& file) { return Ask(Op::PointerFile, file).number; }
uint32_t POINTER(DatFileInstance& file, Key key) {
  return Ask(Op::PointerKey, file, WithKey(key)).number;
}
bool DUPLICATE(DatFileInstance& file) { return Ask(Op::Duplicate, file).number != 0; }
bool DUPLICATE(DatFileInstance& file, Key key) {
  return Ask(Op::DuplicateKey, file, WithKey(key)).number != 0;
}

int32_t HOLD(DatFileInstance& file, int32_t seconds) {
  OpArgs args;
  args.count = seconds;
  return Do(seconds > 0 ? Op::HoldFileSec : Op::HoldFile, file, args);
}
int32_t RELEASE(DatFileInstance& file) { return Do(Op::Release, file); }
int32_t WATCH(DatFileInstance& file) { return Do(Op::Watch, file); }
int32_t LOCK(DatFileInstance& file, int32_t seconds) {
  OpArgs args;
  args.count = seconds;
  return Do(seconds > 0 ? Op::LockFileSec : Op::LockFile, file, args);
}
int32_t UNLOCK(DatFileInstance& file) { return Do(Op::Unlock, file); }
int32_t LOGOUT(DatFileInstance& file) { return Do(Op::Logout, file); }
int32_t COMMIT(DatFileInstance& file) { return Do(Op::Commit, file); }
int32_t ROLLBACK(DatFileInstance& file) { return Do(Op::Rollback, file); }

int32_t STREAM(DatFileInstance& file) { return Do(Op::Stream, file); }
int32_t FLUSH(DatFileInstance& file) { return Do(Op::Flush, file); }
int32_t NOMEMO(DatFileInstance& file) { return Do(Op::NoMemo, file); }

int32_t EMPTY(DatFileInstance& file) { return Do(Op::Empty, file); }
int32_t BUILD(DatFileInstance& file) { return Do(Op::BuildFile, file); }
int32_t BUILD(DatFileInstance& file, Key key) {
  return Do(Op::BuildKey, file, WithKey(key));
}
int32_t BUILD(DatFileInstance& file, std::string_view components, Key* key) {
  OpArgs args;
  args.text = components;
  OpResult result;
  const int32_t code = Do(Op::BuildDyn, file, args, &result);
  if (code == 0 && key) key->index = static_cast<int>(result.number);
  return code;
}
int32_t BUILD(DatFileInstance& file, std::string_view components,
              std::string_view filter, Key* key) {
  const std::string text = std::string(components) + "|" + std::string(filter);
  OpArgs args;
  args.text = text;
  OpResult result;
  const int32_t code = Do(Op::BuildDynFilter, file, args, &result);
  if (code == 0 && key) key->index = static_cast<int>(result.number);
  return code;
}
int32_t PACK(DatFileInstance& file) { return Do(Op::Pack, file); }
int32_t REMOVE(DatFileInstance& file) { return Do(Op::Remove, file); }
int32_t RENAME(DatFileInstance& file, std::string_view new_name) {
  OpArgs args;
  args.text = new_name;
  return Do(Op::Rename, file, args);
}
std::string SEND(DatFileInstance& file, std::string_view message) {
  OpArgs args;
  args.text = message;
  return Ask(Op::Send, file, args).text;
}

int32_t IMPORT(DatFileInstance& file, FileDecl* decl, std::string_view name) {
  OpArgs args;
  args.text = name;
  OpResult result;
  const int32_t code = Do(Op::ImportFile, file, args, &result);
  if (code == 0 && decl) *decl = std::move(result.declaration);
  return code;
}

}  // namespace zuna::datfile
