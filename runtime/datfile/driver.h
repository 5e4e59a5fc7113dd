// The data-file driver's single entry: the runtime passes an operation, the
// FILE (DatFileInstance) and the statement's arguments, and gets back the
// runtime error number (0 = success) as a Status, with any answer in an
// OpResult.  The runtime's statements (statements.h) are thin wrappers.
//
// Threads and the lock: Dispatch takes the driver's process-wide critical
// section (a recursive mutex) for the whole operation, so two threads' FILEs
// never run driver code at the same time; a callback that re-enters the
// driver on the same thread is allowed.  Lock order, outermost first: the
// critical section, then (on a shared file, with the multi-station protocol)
// the data file's header lock byte, then key and memo file access.
//
// Every operation ends with the end step: each key forgets the leaf its
// last search reached (and, on a shared file, the header lock byte is
// freed).
//
// Errors (numbers as the runtime's texts name them):
//   2, 3, 4, 5, 6  operating-system failures passed on (5 also: write on a
//                  read-only FILE; a record held by another FILE on
//                  PUT/DELETE)
//   39  the disk is full (or the user's quota spent)
//   33  PUT/DELETE without a current record or on a deleted one; a sequence
//       step past its end; NEXT/PREVIOUS without SET; DELETED/HELD query
//       with IGNORESTATUS on and no current record
//   35  record number out of range or deleted; no record for a key value
//   36  data file header or slot unreadable or inconsistent
//   37  an operation that needs an open FILE on a closed one; IMPORT on
//       an open one
//   40  ADD/PUT/BUILD would duplicate a key without DUP
//   45  empty or invalid file name
//   46  key file missing or inconsistent
//   47  data file structure differs from the declaration (details in
//       DriverState::mismatches)
//   48  LOGOUT, COMMIT, ROLLBACK: no transaction log yet ("Unable To Log
//       Transaction"), so a caller that frames changes in a transaction
//       learns at once that it cannot have one
//   52  OPEN/SHARE/CREATE/REMOVE/RENAME on a FILE that is open
//   63  IGNORESTATUS on a shared FILE
//   73  memo file missing or unreadable at OPEN
//   88  a key longer than 245 bytes (at the first binding, reported by OPEN)
//   93  BUILD (or PACK's rebuild of the keys) whose final build event was
//       answered with cancel (build_events.h)
//   1010, 1011, 1013  BUILDdynfilter: the filter does not compile (the
//       evaluator's number and message, as EVALUATE would post them)
//   Any error that leaves memory and disk out of step also puts the FILE in
//   its failed state (file_instance.h).
#ifndef ZUNA_RUNTIME_DATFILE_DRIVER_H_
#define ZUNA_RUNTIME_DATFILE_DRIVER_H_

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "runtime/datfile/declaration.h"
#include "runtime/datfile/file_instance.h"
#include "runtime/datfile/status.h"

namespace zuna::datfile {

// The operations, named as the runtime names them.
enum class Op : uint8_t {
  Open, Share, Create, Close, Destroy,
  Add, AddFileLen, Append, AppendLen, Put, PutFilePtr, PutFilePtrLen, Delete,
  GetFilePtr, RegetFile, GetFileKey, GetKeyPtr, RegetKey,
  SetFile, SetFilePtr, ResetFile, SetFileKey,
  SetKey, SetKeyKey, SetKeyKeyPtr, SetKeyPtr, ResetKey,
  Next, Previous, Skip, Eof, Bof,
  PositionFile, PositionKey, PointerFile, PointerKey,
  RecordsFile, CountRecords, RecordsKey, Duplicate, DuplicateKey,
  HoldFile, HoldFileSec, Release, LockFile, LockFileSec, Unlock, Watch,
  Stream, Flush, NoMemo, Empty,
  BuildFile, BuildKey, BuildDyn, BuildDynFilter,
  Pack, Remove, Rename, Logout, Commit, Rollback, Send,
  // The file-import entry: describes a data file as a declaration
  // (file_import.h).  Works on a closed FILE only.
  ImportFile,
};

// The statement's arguments; each operation reads only the ones it names.
struct OpArgs {
  // OPEN/SHARE: the mode word, access (mode & 3) | share (mode & ~3).
  uint32_t mode = 0;
  // GETfileptr, REGETfile, SETfileptr, PUTfileptr*, SETkeykeyptr: a record
  // number (1-based).  GETkeyptr, SETkeyptr: a 1-based ordinal.
  uint32_t record_no = 0;
  // SKIP: records to step (negative: back).  HOLDfilesec, LOCKfilesec:
  // seconds to wait.
  int32_t count = 0;
  // ADDfilelen, APPENDlen, PUTfileptrlen: bytes of the record buffer that
  // count (0 or more than the record length: all of it).
  uint32_t length = 0;
  // The key (0-based index into the FILE's keys; dynamic indexes follow
  // the declared ones).  Key operations need one.
  int key = -1;
  // REGETfile, RESETfile, REGETkey, RESETkey: a position string as
  // POSITIONfile / POSITIONkey returned it.  SEND: the switch text
  // ("RECOVER=10", "IGNORESTATUS").  RENAME: the new name.  BUILDdyn:
  // the components ("ZUN:FIO,ZUN:DATA", each optionally led by '+').
  // BUILDdynfilter: the components, then '|', then the filter expression
  // (record_filter.h), the FILE's fields named by their labels.
  // IMPORT: the data file to describe; empty: the FILE's name.
  std::string_view text;
  // CREATE: replace an existing file instead of failing with 5 (exclusive
  // create, the default, lets two stations race to create safely).
  bool replace = false;
};

// The operation's answer.
struct OpResult {
  // EOF, BOF, DUPLICATE: 0 or 1.  POINTERfile, POINTERkey, RECORDS*: the
  // number.  BUILDdyn: the key index of the new dynamic index.
  uint32_t number = 0;
  // POSITIONfile (4 bytes), POSITIONkey (entry), SEND (the switch's value).
  std::string text;
  // IMPORT: the data file's description.
  FileDecl declaration;
};

// Runs `op` on `file`.  `result` may be null for operations without one.
// The FILE is bound (switches parsed, key lengths checked) on its first
// operation.
Status Dispatch(Op op, DatFileInstance& file, const OpArgs& args,
                OpResult* result);

// Called when the lock system itself fails (not a mere conflict): nobody
// can tell what is locked any more, so the program must stop.  The default
// writes `text` ("DOS FILE LOCKING ERROR") and the detail to stderr and
// exits.  A handler must not return.
using FatalHandler = void (*)(std::string_view text, const Status& status);
void SetFatalHandler(FatalHandler handler);  // nullptr: the default

// How long an operation on a shared FILE waits for another station's
// transaction on its data file (the transaction's log held) to end before
// it gives up with 56 ("LOGOUT Already Active"), the detail naming the
// log.  The wait starts again with each operation.  Negative, the
// default: as long as it takes, as for the header lock byte (a station
// that dies lets go of its log, and the next operation undoes its work).
// Zero: no wait at all.  Process-wide, for every FILE; any thread.
void SetTransactionWaitLimit(std::chrono::milliseconds limit);

// Several operations on one FILE that other stations see as one: the
// header is refreshed (and on a shared file the header lock byte taken)
// once, by the first operation that needs it, and the byte is freed when
// the group ends.  Meant for a reader stepping through a page of records
// (a view reads 20 at a time); keep groups short, since other stations
// wait for the byte meanwhile.  Holds the driver's critical section for
// its lifetime; groups nest.
class OperationGroup {
 public:
  explicit OperationGroup(DatFileInstance& file);
  ~OperationGroup();
  OperationGroup(const OperationGroup&) = delete;
  OperationGroup& operator=(const OperationGroup&) = delete;

 private:
  DatFileInstance& file_;
};

// Inside OperationGroups on `file`: lets other stations in, as if the
// groups ended and began again -- the header lock byte freed, nothing kept
// of the file -- while they stay open; the next operation refreshes the
// header.  For a reader that may examine many records under its caller's
// group (a view's filter passing few of them), so that other stations
// still get their turn every so often.  Nothing outside a group.
void YieldGroup(DatFileInstance& file);

// The runtime's name of an operation ("OPEN", "GETfileptr" ...), for traces.
std::string_view OpName(Op op);

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_DRIVER_H_
