// The runtime's FILE as the data-file driver sees it: one instance of a
// declared file on one thread, with its record buffer, its memo buffer and
// the driver's per-file state (open files, mode word, flags, current and
// held record, watch image, sequence, switches).
//
// Ownership and life: the program (for a THREAD file, each thread) owns one
// DatFileInstance per FILE for as long as it uses the file.  The instance
// owns a copy of the declaration and every file the driver opens for it;
// destroying an open instance closes its files as CLOSE would, without
// reporting.  It is neither copied nor moved: the data file keeps a
// reference to the declaration inside it.
//
// Threads: an instance belongs to one thread.  Every driver operation on it
// goes through Dispatch (driver.h), which holds the driver's process-wide
// critical section for the whole operation; the record and memo buffers may
// be read and written by the owning thread between operations only.
//
// Buffers: the record buffer is exactly the declared record length, in the
// program's code page; the driver copies it to and from the slot image and
// never interprets it except through the declaration (key values, OEM text).
// The memo buffer is the declared memo size (empty without a MEMO).
//
// Lifecycle of the driver state:
//   bound (Bind ran: switches parsed, key lengths checked; no files open)
//     -- OPEN / SHARE -->  open  -- CLOSE -->  bound  (may be opened again)
//   open: one held record at most, one pending WATCH at most, one sequence.
//   failed: a write that broke off half-way left memory and disk out of
//     step; every operation but CLOSE answers with the stored error until
//     the FILE is closed and opened again.
#ifndef ZUNA_RUNTIME_DATFILE_FILE_INSTANCE_H_
#define ZUNA_RUNTIME_DATFILE_FILE_INSTANCE_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "runtime/datfile/build_events.h"
#include "runtime/datfile/data_file.h"
#include "runtime/datfile/declaration.h"
#include "runtime/datfile/key_encoding.h"
#include "runtime/datfile/key_file.h"
#include "runtime/datfile/logged_file.h"
#include "runtime/datfile/memo_file.h"
#include "runtime/datfile/os_file.h"
#include "runtime/datfile/status.h"

namespace zuna::datfile {

// The share part of an open mode word (mode & ~3).
inline constexpr uint32_t kShareDenyAll = 0x10;
inline constexpr uint32_t kShareDenyWrite = 0x20;
inline constexpr uint32_t kShareDenyRead = 0x30;
inline constexpr uint32_t kShareDenyNone = 0x40;  // the only "shared" mode
// The access part (mode & 3).
inline constexpr uint32_t kAccessReadOnly = 0;
inline constexpr uint32_t kAccessWrite = 1;
inline constexpr uint32_t kAccessReadWrite = 2;

// Where the next NEXT / PREVIOUS of a sequence starts or continues.
enum class SequenceKind : uint8_t {
  kNone,         // no sequence: NEXT and PREVIOUS give 33
  kFileStart,    // SETfile: first (NEXT) or last (PREVIOUS) record
  kFileFrom,     // SETfileptr / RESETfile / SETfilekey: from record_no
  kKeyStart,     // SETkey: first or last entry
  kKeyFrom,      // SETkeykey / SETkeykeyptr / RESETkey: from entry
  kKeyOrdinal,   // SETkeyptr: from the entry at ordinal
  kStepping,     // positioned: later steps move from `cursor`
};

// One key of the instance: a declared KEY or INDEX, or a dynamic index
// built at run time.
struct KeyState {
  KeyDecl decl;               // copy; a dynamic index's own components
  KeyEncoder encoder;
  std::unique_ptr<KeyFile> file;  // null: not open (an INDEX not built)
  bool maintained = false;    // a KEY: kept up to date by every write
  bool dynamic = false;       // built by BUILDdyn in a file of its own
  std::string filter;         // a dynamic index's filter; empty: none
  std::string path;           // its key file
  // The current record's entry in this key; empty when there is no
  // current record or the record is absent from an OPT key (its components
  // were all blank).  After a read it is made only when first asked for
  // (DriverState::entries_pending).
  std::string current_entry;
};

// The sequence (SET / NEXT / PREVIOUS / SKIP).  See driver_sequence.cpp.
struct SequenceState {
  SequenceKind kind = SequenceKind::kNone;
  int key = -1;               // the key in use; -1: record-number order
  uint32_t record_no = 0;     // kFileFrom start, or the file cursor
  uint32_t ordinal = 0;       // kKeyOrdinal
  std::string entry;          // kKeyFrom start entry
  bool entry_has_record = false;  // the start entry carries a record number
  // Once stepping: the position reached.  In file order `record_no` is the
  // record last reached; in key order `position` is.  `off_end` tells that
  // the last step ran past the end (+1) or the start (-1) of the sequence.
  KeyPosition position;
  int off_end = 0;
};

// The switches of the driver string and SEND.
struct DriverSwitches {
  uint32_t recover_seconds = 0;       // RECOVER=n (0: off)
  bool ignore_status = false;         // IGNORESTATUS
  bool ignore_corruptions = false;    // IGNORECORRUPTIONS
  bool maintain_header_time = false;  // MAINTAINHEADERTIME
};

// The driver's per-file state.  For the driver's own files only (driver*.cpp,
// statements.cpp); the runtime reaches it through Dispatch.
struct DriverState {
  bool bound = false;
  Status bind_error;           // 88 for a key over 245 bytes, kept for OPEN

  std::string data_path;       // full name of the open data file
  std::unique_ptr<DataFile> data;
  std::unique_ptr<MemoFile> memo;
  std::vector<KeyState> keys;  // declared keys in order, then dynamic ones
  std::vector<StructureMismatch> mismatches;  // of the last failed OPEN

  // The open mode word and what it implies.
  uint32_t mode = 0;
  bool read_only = false;
  bool shared = false;
  // A shared file on a mount whose locks only this host sees (NFS with
  // nolock, CIFS with nobrl ...): why stations on other hosts would not be
  // kept out.  Empty when locks reach the server.  For the program to show.
  std::string sharing_warning;

  // Flags.
  bool write_through = true;
  bool header_dirty = false;
  bool locked_by_me = false;   // this FILE set the header's LOCK flag
  bool header_byte_locked = false;  // holds byte 0 (until the operation ends)
  bool companions_locked = false;   // and the key and memo files' bytes
  bool refreshed = false;      // the header was refreshed in this operation
  int group_depth = 0;         // OperationGroups open on this FILE
  bool hold_next_read = false;
  uint32_t hold_seconds = 0;
  bool no_memo_next_read = false;
  bool memo_not_read = false;  // the current record's memo was not read
  bool watch_pending = false;  // shared files only

  // Current record.
  uint32_t current = 0;        // record number, 0: none
  SlotPrefix current_prefix;
  // The current record was APPENDed: it has no key entries yet.
  bool current_unkeyed = false;
  std::vector<char> memo_as_read;  // the memo as read, for "unchanged"

  // Held record (this FILE set its held bit), 0: none.
  uint32_t held = 0;

  // Watch image: the record's slot image RAW as on disk (scrambled, OEM
  // text), so that it compares byte for byte with a later read of the slot.
  uint32_t watched = 0;
  std::vector<char> watch_image;
  // A read's slot image on its way to the record buffer (scratch).
  std::vector<char> slot_image;
  // The current record as its read left it (program form), and how many
  // keys (the first ones) still wait for their current_entry to be made
  // from it: a reader stepping through the file never asks for them, so a
  // read leaves them to the first operation that does (MakeCurrentEntries,
  // driver_internal.h).  0 whenever the entries are set otherwise.
  std::vector<char> entries_image;
  size_t entries_pending = 0;

  // Key entries ADDs left to be inserted later, by key index, each key's
  // entries back to back (driver_deferred.cpp); empty when none wait.
  std::vector<std::string> deferred_entries;

  SequenceState sequence;
  DriverSwitches switches;

  // RECOVER: since when another station's LOCK flag has stood with this
  // change stamp.
  struct RecoverWatch {
    bool active = false;
    uint64_t stamp = 0;
    std::chrono::steady_clock::time_point since;
  } recover_watch;

  // The FILE's place in a transaction (transaction.h); its data, memo and
  // key files are opened through DatFileInstance::logged_fs().
  std::shared_ptr<LogBinding> log = std::make_shared<LogBinding>();

  // Set when a write broke off with memory and disk out of step; every
  // operation but CLOSE returns it until the FILE is reopened.
  Status failure;
};

class DatFileInstance {
 public:
  // An instance of `decl` whose files live in `fs` (which must outlive it).
  explicit DatFileInstance(FileDecl decl, FileSystem& fs = PosixFileSystem());
  ~DatFileInstance();
  DatFileInstance(const DatFileInstance&) = delete;
  DatFileInstance& operator=(const DatFileInstance&) = delete;

  const FileDecl& declaration() const { return decl_; }
  FileSystem& fs() { return fs_; }
  // fs() with the transaction log in front of every file it opens: the
  // driver opens the FILE's own files through it.
  FileSystem& logged_fs() { return logged_fs_; }

  // The name OPEN uses: the NAME attribute, or the label when there is
  // none.  The program may change it while the FILE is closed (a NAME
  // variable); ".DAT" is added at OPEN when it has no extension.
  const std::string& name() const { return name_; }
  void set_name(std::string name) { name_ = std::move(name); }

  // The record buffer: declared record length, program code page.
  std::span<char> record() { return record_; }
  std::span<const char> record() const { return record_; }
  // The memo buffer: declared memo size; empty without a MEMO.
  std::span<char> memo() { return memo_; }
  std::span<const char> memo() const { return memo_; }

  bool is_open() const { return state_.data != nullptr; }

  // Build events (build_events.h): an empty handler (the default) asks for
  // none.  Change it between operations only.
  void set_build_events(BuildEventHandler handler) {
    build_events_ = std::move(handler);
  }
  const BuildEventHandler& build_events() const { return build_events_; }

  DriverState& driver_state() { return state_; }
  const DriverState& driver_state() const { return state_; }

 private:
  FileDecl decl_;
  FileSystem& fs_;
  DriverState state_;  // before logged_fs_, which shares its LogBinding
  LoggingFileSystem logged_fs_;
  std::string name_;
  std::vector<char> record_;
  std::vector<char> memo_;
  BuildEventHandler build_events_;
};

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_FILE_INSTANCE_H_
