// Transactions: LOGOUT, COMMIT, ROLLBACK and the recovery of a transaction
// whose process died.  One transaction at a time per process.
//
// Files on disk.  The transaction file (".TR$") is the directory of the
// files changed in the transaction, one 83-byte record each, in the order
// they were first written:
//     0  u16       file id: 1, 2, 3 ... in the order of registration
//     2  u16       owner id: 0 for a data file; a memo or key file names its
//                  data file's id
//     4  char[79]  the file's absolute name, zero-terminated
// Each data file has a log (its name with ".LOG"), shared by its memo and
// key files under their own ids: records of an optional before-image
// followed by an 8-byte trailer
//     0  u32  position in the target file
//     4  u16  bytes of before-image just ahead of the trailer; 0: the target
//             grew here during the transaction (undo cuts it back)
//     6  u16  the target's file id (0 only in the first record)
// The first record is the marker: the transaction file's name (79 bytes)
// as its image, position 0, file id 0.  Records are only appended; a
// record reaches the disk before the write it protects.  A range already
// logged in this transaction is not logged again (undo restores the oldest
// image last), nor an end of file beyond one already logged.
//
// The transaction file's name is unique to the process (program name, a
// tag of the host, the process id) so that any number of programs on any
// number of hosts can each run a transaction at once; the logs carry the
// name, so whoever recovers finds it.  It lives in the VANTMP directory
// (environment, or section "V21" of Zuna.INI beside the program), else
// beside the first data file logged.
//
// Commit point: removing the transaction file (its directory entry made
// durable).  A log found without its transaction file belongs to a
// committed transaction and is removed; with it, the transaction is undone.
//
// Threads: the driver's critical section guards all of this.  A LOGOUT
// from another thread than the one whose transaction is open waits (outside
// that section, see WaitToStart) up to two seconds and then fails with 56.
#ifndef ZUNA_RUNTIME_DATFILE_TRANSACTION_H_
#define ZUNA_RUNTIME_DATFILE_TRANSACTION_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "runtime/datfile/logged_file.h"
#include "runtime/datfile/os_file.h"
#include "runtime/datfile/status.h"

namespace zuna::datfile::transaction {

inline constexpr size_t kDirectoryRecordSize = 83;
inline constexpr size_t kNameSize = 79;  // 78 characters and a zero
inline constexpr size_t kTrailerSize = 8;
inline constexpr std::chrono::seconds kStartTimeout{2};

// True while a transaction is open in this process.
bool Active();

// Before the driver's critical section: waits until no other thread's
// transaction is open (at most kStartTimeout) and takes the turn for the
// calling thread; false when another's is still open.
bool WaitToStart();

// True when the calling thread's transaction is open.
bool OpenHere();

// What the calling thread's open transaction has logged: the data file
// `data_path` (absolute), or any file at all.  False without one.
bool LogsHere(const std::string& data_path);
bool LogsAnythingHere();
// True when the calling thread's open transaction logs the data file that
// `data` is an open description of, and every change logged for it so far
// came through `data` alone.  While that holds, every other station waits
// for the transaction to end before it reads or writes the file (its log
// is held), and no other FILE of this process has changed it either: the
// headers the owner of `data` keeps in memory are the file's.
bool SoleWriterHere(const LoggedFile& data);
// A write to `file` outside the transaction (a FILE of this process not in
// it) while it is open: should the transaction log `file`, or the data
// file it belongs to, SoleWriterHere is false for that data file from now
// on, so the transaction's FILE reads the headers again.
void NoteWriteOutside(const LoggedFile& file);

// The log of the data file `data_path` (its name with ".LOG").
std::string LogPathFor(const std::string& data_path);

// Inside the critical section, after a LOGOUT: gives back a turn that
// WaitToStart took when the LOGOUT left no transaction open.
void ReleaseUnusedTurn();

// LOGOUT: opens the process's transaction unless open, and marks the FILE
// logged.  56 when the transaction file's name is taken by a live
// transaction; 48 when it cannot be created.  On failure nothing stays
// open and the FILE is not logged.
Status Logout(FileSystem& fs, const std::shared_ptr<LogBinding>& binding);

// COMMIT: the changes are in the files already; the log goes.  Clears the
// logged flag of every FILE of the transaction.
Status Commit(const std::shared_ptr<LogBinding>& binding);

// After a change the transaction made could not be finished (the key
// entries a FILE deferred, driver_deferred.cpp): until it is rolled back,
// COMMIT refuses with `why` and commits nothing.
void Doom(const Status& why);

// ROLLBACK: every logged file back to its state at its first write in the
// transaction; 65 when that fails.  Every FILE of the transaction is left
// unlogged and marked stale (its headers must be read again).
Status Rollback(const std::shared_ptr<LogBinding>& binding);

// For LoggedFile: logs what [offset, offset + length) of `target` holds
// before it changes.  48 when the log cannot be written (the caller then
// must not write).
Status BeforeWrite(LoggedFile& target, uint64_t offset, uint64_t length);

// Gathered writes.  Inside the transaction a logged file's writes are not
// made at once: they are gathered in memory, by file and in block order,
// and made in batches -- the before-images of a whole batch logged with
// one write and one sync per log, then the writes.  Once a file's first
// write is gathered its data file's log exists and is held, so every
// other station waits for the transaction to end before it reads or
// writes the file; a FILE of this process reads through its LoggedFile,
// which lays the gathered writes over what it reads (Overlay, GatheredEnd).
// A batch is made when the gathered bytes pass a limit, at every Sync and
// Truncate of a logged file, and at COMMIT before the commit point (the
// files then synced); a ROLLBACK forgets what was never made.

// For LoggedFile::WriteAt: gathers the write of `data` at `offset`,
// registering the file with the transaction (and creating its data file's
// log) at its first.  48 when that fails; a batch's failure otherwise.
Status Gather(LoggedFile& target, uint64_t offset, std::span<const char> data);

// Makes every gathered write (see above).  48 when a log cannot be
// written (nothing of the batch is then made, and it stays gathered);
// a failed write's own error, the writes not yet made staying gathered.
Status WriteGathered();

// For LoggedFile's reads: after `out` was read from the file at `offset`
// (*bytes_read of it), lays over it what is gathered for that file;
// *bytes_read grows when gathered writes reach past what was read (bytes
// between read as zero, as a file's gap does).
void Overlay(const LoggedFile& file, uint64_t offset, std::span<char> out,
             size_t* bytes_read);
// The end of the file's furthest gathered write; 0 when none.
uint64_t GatheredEnd(const LoggedFile& file);
// Whether anything is gathered for the file.
bool HasGathered(const LoggedFile& file);

// For LoggedFile's destructor: the transaction stops using `target` (an
// undo reopens it by name).
void Forget(LoggedFile& target);

// Recovery of the data file `data_path` at OPEN: when it has a log that no
// live transaction holds, the transaction that wrote it is undone in every
// file it touched (or, when its transaction file is gone, the log of a
// committed transaction is removed).  `here` is the data file when this
// FILE has it open already (else null: it is opened like the transaction's
// other files).  0 also when there is nothing to do; 56 when another
// station's transaction holds the log; 65 when the undo fails.  Does
// nothing while this process has a transaction open.
Status Recover(FileSystem& fs, const std::string& data_path, File* here);

// Where the process stands, for tests that stop it on purpose (a station
// killing itself at such a point).
enum class CrashPoint {
  kLogged,           // a batch's log records are on disk, its writes not
                     // yet made
  kWritten,          // one write of a batch made, the rest not yet
  kCommitted,        // the transaction file is gone, the logs not yet
  kLogRemoved,       // after the commit point, one log's name removed, the
                     // log itself still held
  kUndoing,          // one record of a log has just been undone
};
using CrashHook = void (*)(CrashPoint point);
void SetCrashHook(CrashHook hook);

}  // namespace zuna::datfile::transaction

#endif  // ZUNA_RUNTIME_DATFILE_TRANSACTION_H_
