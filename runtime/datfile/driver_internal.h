// The driver's operations behind Dispatch (driver.h), one group per file:
// driver_open.cpp, driver_write.cpp, driver_read.cpp, driver_sequence.cpp,
// driver_switches.cpp, driver_maintenance.cpp, driver_sharing.cpp and
// driver_deferred.cpp.  Every function here runs
// inside Dispatch, with the critical section held, on a bound FILE; those
// that need an open FILE are only called when it is open (Dispatch checks).
#ifndef ZUNA_RUNTIME_DATFILE_DRIVER_INTERNAL_H_
#define ZUNA_RUNTIME_DATFILE_DRIVER_INTERNAL_H_

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "runtime/datfile/driver.h"
#include "runtime/datfile/file_instance.h"
#include "runtime/datfile/status.h"

namespace zuna::datfile::driver {

// --- driver.cpp: shared steps -------------------------------------------------

// Why the header is refreshed.
enum class RefreshMode { kLock, kOpen };

// The header refresh before an operation that reads counts or changes the
// file (driver_sharing.cpp).  A FILE that is not shared keeps its header in
// memory and does nothing; a shared one takes byte 0, re-reads the data
// file header, honours another station's LOCK flag (5 at OPEN, else 32;
// RECOVER waits it out and breaks it), and re-reads the memo and key
// headers.  Once per operation.
Status RefreshHeader(DatFileInstance& file, RefreshMode mode);

// --- driver_sharing.cpp: the multi-station protocol ---------------------------

// Byte 0 of a shared data file: tried every millisecond for a second; 5
// when it stays taken.  Nothing on a FILE that is not shared or that holds
// it already.
Status TakeHeaderByte(DatFileInstance& file);
void FreeHeaderByte(DatFileInstance& file);
// The end of every operation: byte 0 freed, the next one refreshes again.
void EndSharing(DatFileInstance& file);
// SetFatalHandler (driver.h).
void SetFatal(FatalHandler handler);
// LOCK (waiting up to `wait_seconds` for another station's LOCK) and UNLOCK;
// nothing on a FILE that is not shared.
Status LockFile(DatFileInstance& file, int32_t wait_seconds);
Status UnlockFile(DatFileInstance& file);
// Reads slot `record_no` (raw), waiting out another station's held bit as
// a hold-read (`hold`) or a read with RECOVER must; 43 when a hold-read's
// timeout passes.  With byte 0 held on a shared FILE.
Status WaitForHeldSlot(DatFileInstance& file, uint32_t record_no, bool hold,
                       SlotPrefix* prefix, std::span<char> raw);

// After a ROLLBACK (of this FILE or of another in the same transaction):
// the headers, the memo free list and the key headers read again, the
// current record and sequence forgotten.
Status RereadAfterRollback(DatFileInstance& file);

// Sleeps with the driver's critical section given up (as often as the
// calling thread holds it) and taken back: every wait for another station
// or thread goes through here, so another thread of this process -- which
// may be the one waited for -- can run its operations meanwhile.  Callers
// pause only before their operation has changed anything, and read the
// files again after the pause.  A FILE that several threads share must be
// used by one of them at a time, as between any two operations.
void PauseOutsideDriver(std::chrono::microseconds pause);

// --- driver_deferred.cpp: key entries inserted later -----------------------

// Whether ADD leaves `key`'s entry to be inserted later: with STREAM on,
// inside a transaction in which this FILE is the one writer of its data
// file (other stations wait for the transaction before they read), for a
// maintained key that allows duplicates (an insert there refuses nothing).
bool DefersEntries(const DatFileInstance& file, const KeyState& key);
// Leaves `entry` (key `key_index` of an ADD that succeeded) to be inserted.
void DeferEntry(DatFileInstance& file, size_t key_index, std::string_view entry);
// Whether any FILE has entries waiting; whether `file` may go on adding
// without them going in first (no other FILE has any waiting, and its own
// are below the bound).
bool AnyEntriesDeferred();
bool KeepsDeferring(const DatFileInstance& file);
// Inserts every FILE's waiting entries, each key's in key order.  On a
// failure the rest are dropped and the transaction can only be rolled back
// (transaction::Doom).  Dispatch calls it before every operation but an
// ADD of the one FILE deferring.
Status InsertDeferredEntries();
// Forgets every waiting entry: the ADDs that made them are being rolled
// back.
void DropDeferredEntries();

// The close of an open FILE that is being destroyed, told to the statement
// observer (statements.h) as Op::Destroy.
void CloseDestroyed(DatFileInstance& file);

// Writes the data file header with a change stamp, or, with write-through
// off and `defer` set (APPEND under STREAM), only marks it dirty.
Status WriteHeaderStamped(DatFileInstance& file, bool defer);

// With write-through on: data, memo and key files to disk.
Status SyncAll(DatFileInstance& file);

// The key `index` of the FILE, open; 47 when the FILE has no such key, 46
// when its key file is not open (an INDEX never built).
Status OpenKey(DatFileInstance& file, int index, KeyState** key);

// Records `status` as the FILE's failure (file_instance.h) and returns it.
Status Fail(DatFileInstance& file, Status status);

// --- driver_open.cpp ------------------------------------------------------------

// First binding: driver string switches, key encoders (88 over 245 bytes).
Status Bind(DatFileInstance& file);
Status OpenFile(DatFileInstance& file, uint32_t mode);
Status CreateFile(DatFileInstance& file, bool replace);
// Releases the held record, flushes, closes every file.  The FILE is
// closed afterwards even when a step failed; the first failure is returned.
Status CloseFile(DatFileInstance& file);
// Forgets everything about the open files (no I/O); the FILE is closed.
void DropFiles(DatFileInstance& file);
// Resolves the FILE's name to the data file's full name.
Status ResolveDataPath(DatFileInstance& file, std::string* data_path);
// Opens the key file of `key` (a declared KEY or INDEX).
Status OpenKeyFile(DatFileInstance& file, size_t index);

// --- driver_write.cpp -------------------------------------------------------------

Status AddRecord(DatFileInstance& file, bool maintain_keys);
Status PutRecord(DatFileInstance& file);
Status PutRecordAt(DatFileInstance& file, uint32_t record_no, uint32_t length);
Status DeleteRecord(DatFileInstance& file);
// Whether `entry` (a record's entry in a key without DUP) would be a
// duplicate: another record (not `self`) has the same value.
Status IsDuplicate(KeyState& key, const std::string& entry, uint32_t self,
                   bool* duplicate);
// The entry the record buffer makes in `key` for record `record_no`; empty
// when an OPT key leaves a blank record out.
std::string EntryFor(const DatFileInstance& file, const KeyState& key,
                     uint32_t record_no);
// The same for a record image in the program's form.
std::string EntryForImage(const KeyState& key, uint32_t record_no,
                          std::span<const char> record);

// --- driver_read.cpp ---------------------------------------------------------------

// Reads record `record_no` into the buffers and makes it current.  A deleted
// slot is 35 unless IGNORESTATUS is on.  Honours HOLD, WATCH and NOMEMO.
Status LoadRecord(DatFileInstance& file, uint32_t record_no);
// Makes the current record's key entries that its read left to be made
// (DriverState::entries_pending); every reader of KeyState::current_entry
// calls it first.
void MakeCurrentEntries(DatFileInstance& file);
// Forgets every key's current entry, made or not (no current record).
void ForgetCurrentEntries(DriverState& s);
Status GetByKey(DatFileInstance& file, int key);
Status GetByOrdinal(DatFileInstance& file, int key, uint32_t ordinal);
Status RegetFile(DatFileInstance& file, std::string_view position,
                 uint32_t record_no);
Status RegetKey(DatFileInstance& file, int key, std::string_view position);
// Clears the held bit of the record this FILE holds, if any.
Status ReleaseHeld(DatFileInstance& file);
void PositionFile(const DatFileInstance& file, std::string* position);
Status PositionKey(DatFileInstance& file, int key, std::string* position);
Status PointerKey(DatFileInstance& file, int key, uint32_t* ordinal);
Status Records(DatFileInstance& file, uint32_t* records);
Status RecordsKey(DatFileInstance& file, int key, uint32_t* records);
Status Duplicate(DatFileInstance& file, int key, uint32_t* answer);
// The 4-byte position of a record number, and back (false: malformed).
std::string EncodeFilePosition(uint32_t record_no);
bool DecodeFilePosition(std::string_view position, uint32_t* record_no);

// --- driver_sequence.cpp -------------------------------------------------------------

Status SetFile(DatFileInstance& file, SequenceKind kind, uint32_t record_no);
Status SetFileByKey(DatFileInstance& file, int key);
Status SetKey(DatFileInstance& file, int key, SequenceKind kind,
              std::string entry, bool has_record, uint32_t ordinal);
// SETkeykey, SETkeykeyptr: the start entry from the record buffer.
Status SetKeyFromBuffer(DatFileInstance& file, int key, bool with_record,
                        uint32_t record_no);
Status Step(DatFileInstance& file, int direction);  // NEXT +1, PREVIOUS -1
Status Skip(DatFileInstance& file, int32_t count);
Status AtEnd(DatFileInstance& file, int direction, uint32_t* answer);

// --- driver_switches.cpp ---------------------------------------------------------------

// Applies every option of the driver string (at binding).
Status ApplyDriverString(DatFileInstance& file, std::string_view options);
// SEND: applies or queries one switch; *answer is its value afterwards.
Status Send(DatFileInstance& file, std::string_view text, std::string* answer);

// The text helpers of the driver string, SEND and BUILD's dynamic index
// list: `text` without leading and trailing white space (std::isspace), and
// whether `a` and `b` are equal but for letter case (std::toupper).
std::string_view Trim(std::string_view text);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// --- driver_maintenance.cpp ----------------------------------------------------------------

Status EmptyFile(DatFileInstance& file);
Status BuildFile(DatFileInstance& file);
Status BuildOneKey(DatFileInstance& file, int key);
Status BuildDynamic(DatFileInstance& file, std::string_view components,
                    uint32_t* key);
Status PackFile(DatFileInstance& file);
// True when a PACK of the data file `data_path` (with a memo) was killed
// between its renames: no memo file, the packed one waiting beside the old
// one parked.  OPEN answers 46 then; BUILD finishes the swap.
bool PackInterrupted(FileSystem& fs, const std::string& data_path);
Status RemoveFiles(DatFileInstance& file);
Status RenameFiles(DatFileInstance& file, std::string_view new_name);
// IMPORT: 37 on an open FILE; else describes the data file `name` (the
// FILE's name when empty) in *decl (file_import.h).
Status ImportFile(DatFileInstance& file, std::string_view name, FileDecl* decl);

}  // namespace zuna::datfile::driver

#endif  // ZUNA_RUNTIME_DATFILE_DRIVER_INTERNAL_H_
