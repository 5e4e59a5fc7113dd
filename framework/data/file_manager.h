// FileManager: one data file of the dictionary as the framework uses it.  It
// opens and closes the FILE with use counting and lazy opening, reads,
// inserts, changes and deletes records through the runtime's statements,
// keeps copies of the record buffer and of whole file states, knows the
// file's keys and their descriptions, numbers auto-numbered keys, and turns
// every runtime error into an entry of the error manager's message table.
//
// Two forms of every operation: the plain one (Open, Next, Previous,
// Insert, Update, PrimeAutoInc, ValidateField) reports failures to the user
// through the error manager; the Try form (TryOpen, TryNext, TryPrevious,
// TryInsert, TryUpdate, TryPrimeAutoInc, TryValidateField, TryFetch) only
// records the failure (SetError: LastError and the captured runtime error)
// and returns a level; the caller may show it later with Throw().  Both run
// the same server routine with a HandleErrors flag.
//
// Every operation returns a level code (error_table.h): Level::Benign
// success; Level::Notify failed, recorded (and shown when reporting);
// Level::Fatal the file could not be made usable; Level::User or
// Level::Cancel where a method says so.
//
// How a dictionary uses it: it derives one class per file and overrides
//   Init()     set Buffer, FileNameValue, File and the error manager
//              (SetErrors), then call FileManager::Init();
//   UseFile()  for any use type but UseType::Initialize first call
//              UseFile(UseType::Initialize); for UseType::Initialize on a
//              manager not yet Initialized run Init(File, Errors), set
//              Create and LockRecover and AddKey every key; then return
//              FileManager::UseFile(use_type);
//   Kill()     call FileManager::Kill().
// Without that UseFile override a record operation on a file nobody opened
// is the fatal message 42 (Msg::FileNotOpen).
//
// Life cycle: constructed -> Init() (light: registered with the thread's
// files registry, lazy, nothing open) -> first UseFile -> Init(File, Errors)
// (queues, open server, file callback) -> Open/Close pairs counted in
// Opened, physically open while Used -> Kill (queues and open server gone,
// callback unregistered; Init(File, Errors) may run again).  With LazyOpen,
// Open only counts; the physical open happens at the first record
// operation (the caller's record buffer is kept across it), the physical
// close when Opened returns to 0.
//
// File callbacks: Init(File, Errors) registers the manager for its FILE
// (file_callbacks.h), so it hears every statement on the FILE that its
// thread runs, its own and anyone else's: PreInsert/PreUpdate/PreDelete
// before an add, put or delete and the Post hooks after it, and three
// internal assertions:
//   "You are calling CLOSE(<name>) instead of FileManager.Close()"  a
//       close of a THREAD file from elsewhere while the manager counts it
//       open (the manager then takes the file as physically closed);
//   "You have not called FileManager.Close() for <name>"  the FILE is
//       destroyed while physically open;
//   "You have not called FileManager.UseFile() for <name>"  an operation
//       other than close and the null-flag operations failed with 37.
// Other assertions: "Cannot have alias based upon an alias"; the buffer
// handle texts of RestoreBuffer; "FileManager used before Init" (an
// operation needing Init(File, Errors) before it); "Key not added to
// FileManager" (a key method for a key AddKey never saw).
//
// Ownership: the manager does not own File, Errors, AliasedFile or the
// registry; they must outlive it (File and Errors until Kill).  It owns
// its queues and its share of the open server.
//
// Threads: a manager belongs to one thread (a THREAD file has one manager
// per thread, reached through a per-thread reference) and takes no lock of
// its own; the open server and the driver serialise what threads share.
//
// Texts are Windows-1251.
#ifndef ZUNA_FRAMEWORK_DATA_FILE_MANAGER_H_
#define ZUNA_FRAMEWORK_DATA_FILE_MANAGER_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/data/error_manager.h"
#include "framework/data/file_callbacks.h"
#include "framework/data/file_open_server.h"
#include "framework/data/file_usage_registry.h"
#include "runtime/datfile/file_instance.h"
#include "runtime/datfile/statements.h"
#include "runtime/values/variable.h"

namespace zuna::framework {

// Use types passed to UseFile.  Values below 3 make the files registry
// save the caller's file state when a called procedure uses the file.
namespace UseType {
inline constexpr uint8_t Use = 2;         // an operation is about to touch it
inline constexpr uint8_t Return = 3;      // the record goes back to a caller
inline constexpr uint8_t Benign = 4;      // use without a note in the registry
inline constexpr uint8_t Initialize = 5;  // make the manager ready
}  // namespace UseType

// 42h: read/write, deny none.  The low two bits are the access (0 = read
// only), the high four bits the sharing.
inline constexpr uint8_t kDefaultOpenMode = 0x42;
inline constexpr int16_t kDefaultLockRecover = 10;
// Position() texts are cut to this length.
inline constexpr size_t kPositionLimit = 1024;
// Auto numbering tries an add this many times before asking (id 35).
inline constexpr int kAutoIncAttempts = 3;

// One component of a key.
struct KeyFieldRow {
  values::VariableRef Field;  // into the manager's Buffer
  std::string FieldName;      // the label; "UPPER(label)" for text in NOCASE
  uint8_t Ascend = 1;
};

// One key (AddKey).
struct KeyRow {
  datfile::Key Key;
  std::string Description;  // the name used in messages; may be empty
  std::vector<KeyFieldRow> Fields;
  uint8_t AutoInc = 0;
  uint8_t Dups = 0;
  uint8_t NoCase = 0;
};

// One field of the record (Fields).
struct FieldRow {
  std::string Name;  // the label, "ZUN:FIO"
  values::VariableRef Field;
};

// One saved image (Buffers): a record, a memo, or the null-value flags.
struct BufferRow {
  int32_t Id = 0;
  std::string Image;
};

// One saved file state (Saved).
struct SavedFileRow {
  int32_t Id = 0;
  int32_t BufferId = 0;  // the SaveBuffer id of the record then
  int Key = -1;          // the current key, -1: file order
  std::string Position;  // of the current record in that order; "" none
  uint8_t Used = 0;
  uint8_t AtEOF = 0;
};

// What CancelAutoInc needs of a relation manager: deleting the current
// record together with what depends on it.
class RelatedDeleteInterface {
 public:
  virtual uint8_t Delete(uint8_t query) = 0;

 protected:
  virtual ~RelatedDeleteInterface() = default;
};

class FileManager {
 public:
  FileManager();
  virtual ~FileManager();
  FileManager(const FileManager&) = delete;
  FileManager& operator=(const FileManager&) = delete;

  // --- Life cycle -------------------------------------------------------

  // The light initialisation run at program (thread) start: registers the
  // manager with the thread's files registry; Opened 0, LazyOpen 1,
  // Killed 0, UseMRP 0, MRPSize 10.  A dictionary sets Buffer,
  // FileNameValue, File and the error manager first.
  virtual void Init();
  // The full initialisation, run on first use: stores `file` and `errors`,
  // takes a file open server, creates the queues and the field list, sets
  // the defaults (OpenMode 42h unless OpenModeOverridden, Create 1,
  // LockRecover 10, MRPSize 20 ...) and registers the file callback.
  // FileNameValue keeps a name the dictionary set; only an empty one is
  // taken from the FILE.  Buffer, when not set, becomes the FILE's record.
  virtual void Init(datfile::DatFileInstance& file, ErrorClass& errors);
  // When Initialized and not Killed: Cleanup, unregisters the callback,
  // Killed 1, Initialized 0.  Safe when called twice.
  virtual void Kill();
  void SetErrors(ErrorClass& errors) { Errors = &errors; }

  // --- Open and close ---------------------------------------------------

  virtual uint8_t Open();     // OpenServer(1, 0)
  virtual uint8_t TryOpen();  // OpenServer(0, 0)
  // One logical close: the last one closes the file physically (when it
  // is open).  Tells the files registry, which may restore a state.
  virtual uint8_t Close();
  int32_t GetOpened() const { return Opened; }
  bool IsOpened() const { return Opened > 0; }
  // FileName's value when set (trailing blanks cut), else FileNameValue.
  std::string GetName() const;
  uint8_t GetEOF() const { return AtEOF; }
  // Called at the top of every record operation; makes the file usable:
  // for UseType::Initialize a lazy file nobody counted open is opened now
  // (and counted once); for other types the usage is noted (not for 4) and
  // a lazy file counted open but not yet physically open is opened, the
  // record buffer kept as it was; a lazy file nobody opened is the fatal
  // message 42.  Returns the open's level (Benign when nothing was done).
  virtual uint8_t UseFile(uint8_t use_type = UseType::Use);

  // --- Records ----------------------------------------------------------

  // TryFetch; on failure the record buffer is cleared.  Reports nothing.
  virtual uint8_t Fetch(datfile::Key key);
  // Reads the record whose `key` value equals the buffer's.  Notify when
  // there is none (or any other error), Fatal when UseFile fails.
  virtual uint8_t TryFetch(datfile::Key key);
  // The next / previous record of the current sequence.  Running off the
  // end is Notify with AtEOF set and nothing shown.  A record held by
  // another station is skipped with SkipHeldRecords, else id 31; any other
  // error id 1 (Fatal when not reported).
  virtual uint8_t Next();
  virtual uint8_t Previous();
  virtual uint8_t TryNext();
  virtual uint8_t TryPrevious();
  // Adds the buffer as a new record (validated first).  A duplicate key is
  // id 15 with the duplicated key's description as %Message (the first
  // non-DUP key that the buffer duplicates; empty when none is found); any
  // other error id 4.  Notify on failure.
  virtual uint8_t Insert();
  virtual uint8_t TryInsert();
  // Rewrites the current record (validated first; a validation failure is
  // Level::User).  Changed by another station since read (89): id 7, then
  // the record is re-read so the buffer holds the other station's version,
  // Notify.  Any other error id 28.
  virtual uint8_t Update();
  virtual uint8_t TryUpdate();
  // Deletes the current record.  With `query` it first asks id 11; any
  // answer but Yes is Level::Cancel and nothing is deleted.  A failure is
  // recorded as id 13 (not shown) and Notify.
  virtual uint8_t DeleteRecord(uint8_t query);
  // A new record: the buffer cleared (unless `suppress_clear`), PrimeFields,
  // and with an auto-numbered key the number assigned (and the record
  // added) at once: PrimeAutoInc's result.
  virtual uint8_t PrimeRecord(uint8_t suppress_clear = 0);
  // Numbers every auto-numbered key (the highest value among records with
  // the same leading components, plus 1; 1 when there is none) and adds
  // the record, so no other station takes the same number; Insert then
  // completes it with a put.  Three failed adds record id 35; the plain
  // form asks it and starts three more attempts on Yes.
  virtual uint8_t PrimeAutoInc();
  virtual uint8_t TryPrimeAutoInc();
  // Undoes PrimeAutoInc's add when the insert is abandoned: through
  // `relation`'s Delete(0) or, without one, DeleteRecord(0).
  virtual uint8_t CancelAutoInc(RelatedDeleteInterface* relation = nullptr);
  uint8_t GetAutoIncDone() const { return AutoIncDone; }
  // The position of the current record in the primary key (PrimaryKey), or
  // in the file without one; "" when UseFile fails or there is none.
  std::string Position();
  // Re-reads the record at `position` (as Position gave it).
  uint8_t TryReget(std::string_view position);
  virtual uint8_t ValidateField(int32_t id);
  virtual uint8_t TryValidateField(int32_t id);
  // Fields `low` to `high` in order; the first that fails gives its level
  // and its number in *failed.
  virtual uint8_t ValidateFields(int32_t low, int32_t high,
                                 int32_t* failed = nullptr);
  // ValidateFields(1, number of fields, failed).
  virtual uint8_t ValidateRecord(int32_t* failed = nullptr);
  // 1 when the current record is deleted (the base never knows one).
  virtual uint8_t Deleted() { return 0; }

  // --- Buffers and state ------------------------------------------------

  // The runtime's clear of the record buffer (and memo): text blank,
  // numbers zero.
  void ClearRecord();

  // Saves the record, each memo and the null-value flags under consecutive
  // ids; returns the record's id (the last row's id + 1, 1 when empty).
  virtual int32_t SaveBuffer();
  // Copies the images saved under `id` back; with `release` the rows go
  // and `id` becomes 0.  An unknown id is the assertion "Restore handle is
  // invalid" (a missing memo or null-flags row has its own text) and
  // leaves the buffer as it was.
  virtual void RestoreBuffer(int32_t& id, uint8_t release = 1);
  // The same with images `other` saved (into this manager's buffer).
  virtual void RestoreBuffer(int32_t& id, FileManager& other,
                             uint8_t release);
  // Lets the images saved under `id` go without copying them back; `id`
  // becomes 0.  An unknown id is reported as RestoreBuffer reports it.
  void ReleaseBuffer(int32_t& id);
  // 1 when the record and every memo equal the images saved under `id`.
  virtual uint8_t EqualBuffer(int32_t id);
  // Saves the file state: record buffer, current key, position, whether
  // the file is physically open, AtEOF.  Returns its id.
  int32_t SaveFile();
  // Puts the state saved under `id` back and releases it (`id` becomes 0):
  // the file is closed when it was closed then; the record current then is
  // current again, with the sequence going on after it; the record buffer
  // is restored when `restore_buffer`, else left as the caller had it.
  void RestoreFile(int32_t& id, uint8_t restore_buffer = 1);
  void RestoreFile(int32_t& id, FileManager& other, uint8_t restore_buffer);

  // --- Keys -------------------------------------------------------------

  // Registers a key of the FILE (its components, DUP, NOCASE, PRIMARY from
  // the declaration) with the description used in messages.
  void AddKey(datfile::Key key, std::string_view description,
              uint8_t auto_inc = 0);
  // Makes `key` current and names it for %Key.
  void SetKey(datfile::Key key);
  // Sets components `low` to `high` (1-based) of `key` in the buffer to
  // the values that come first in the key's order (`order` 0) or last
  // (`order` 1).
  void ClearKey(datfile::Key key, uint8_t low = 1, uint8_t high = 255,
                uint8_t order = 0);
  // The key as an order text from component `start` on: "+ZUN:DATA",
  // "+UPPER(ZUN:FIO)", components joined by ",", "-" for descending ones.
  std::string KeyToOrder(datfile::Key key, uint8_t start = 1);
  uint8_t GetComponents(datfile::Key key);
  values::VariableRef GetField(datfile::Key key, uint8_t component);
  std::string GetFieldName(datfile::Key key, uint8_t component);
  uint8_t GetFieldAscending(datfile::Key key, uint8_t component);

  // --- Errors -----------------------------------------------------------

  // Captures the runtime error state now (Errors->SetErrors) and records
  // `id` as LastError for a later Throw().
  void SetError(uint16_t id);
  // Shows LastError with the error state captured by SetError.
  virtual uint8_t Throw();
  virtual uint8_t Throw(uint16_t id);  // SetError(id), then Throw()
  virtual uint8_t ThrowMessage(uint16_t id, std::string_view text);

  // --- Multiple-record reads --------------------------------------------

  virtual void SetUseMRP(uint8_t on) { UseMRP = on; }
  virtual uint8_t GetUseMRP() { return UseMRP; }
  virtual void SetMRPSize(uint8_t size) { MRPSize = size; }
  virtual uint8_t GetMRPSize() { return MRPSize; }
  // The driver's multiple-record read size as the manager last set it.
  // The native driver reads one record at a time; the setting is kept for
  // the framework's bookkeeping only.
  uint8_t DriverMRPSize() const { return driver_mrp_size_; }

  // --- Hooks (empty in the base) ----------------------------------------

  virtual void PreInsert() {}
  virtual void PostInsert() {}
  virtual void PreUpdate() {}
  virtual void PostUpdate() {}
  virtual void PreDelete() {}
  virtual void PostDelete() {}
  // Every operation on the FILE, before and after (after the Pre/Post hook
  // and the checks).
  virtual void FunctionCalled(uint16_t /*code*/) {}
  virtual void FunctionDone(uint16_t /*code*/, int32_t /*error*/) {}
  virtual void BindFields() {}
  virtual void PrimeFields() {}

  // --- Fields -----------------------------------------------------------
  // Public, as the dictionary and the relation and view managers set and
  // read them.

  FileManager* AliasedFile = nullptr;  // the file this one is an alias of
  std::span<char> Buffer;              // the record buffer
  std::unique_ptr<std::vector<BufferRow>> Buffers;
  uint8_t Create = 1;                  // create the file when missing
  ErrorClass* Errors = nullptr;
  std::unique_ptr<std::vector<FieldRow>> Fields;
  datfile::DatFileInstance* File = nullptr;
  std::optional<values::VariableRef> FileName;  // a variable file name
  std::string FileNameValue;                    // the constant file name
  uint8_t HasAutoInc = 0;
  uint8_t InUseFile = 0;
  uint8_t InCallback = 0;
  int32_t InClose = 0;
  uint8_t InRestore = 0;
  uint8_t InView = 0;
  uint8_t Used = 0;       // physically open
  int32_t Opened = 0;     // logical opens not yet closed
  uint8_t AtEOF = 0;
  uint8_t AutoIncDone = 0;
  uint16_t LastError = 0;
  uint8_t LazyOpen = 1;
  int16_t LockRecover = kDefaultLockRecover;
  uint8_t OpenMode = kDefaultOpenMode;
  uint8_t OpenModeOverridden = 0;
  uint8_t PrimaryKey = 0;  // row in Keys of the PRIMARY key; 0 none
  std::unique_ptr<std::vector<SavedFileRow>> Saved;
  uint8_t SkipHeldRecords = 0;
  uint8_t CleanedUp = 0;
  std::unique_ptr<std::vector<KeyRow>> Keys;
  uint8_t Initialized = 0;
  uint8_t Killed = 0;
  // The file open server; Release()d by Cleanup.  A test may replace it
  // (releasing the one it replaces) between Init(File, Errors) and the
  // first open.
  IFileOpenServer* Opener = nullptr;
  uint8_t UseMRP = 0;
  uint8_t MRPSize = 10;

 protected:
  // The shared routines behind the plain and Try forms.
  uint8_t OpenServer(uint8_t handle_errors, uint8_t force);
  // The physical open with its recovery rules (5 with "Recover=", 94, 2
  // with Create, 46 with a rebuild; two attempts).
  uint8_t OpenFile(uint8_t handle_errors);
  uint8_t NextServer(uint8_t handle_errors, uint8_t backwards);
  uint8_t InsertServer(uint8_t handle_errors);
  uint8_t UpdateServer(uint8_t handle_errors);
  uint8_t PrimeAutoIncServer(uint8_t handle_errors);
  // The base accepts every field; an alias asks the aliased manager.
  virtual uint8_t ValidateFieldServer(int32_t id, uint8_t handle_errors);
  // Disposes the queues and releases the open server.
  void Cleanup();

  // The Keys row of `key`; nullptr (after the assertion) when unknown.
  KeyRow* FindKey(datfile::Key key);

 private:
  // The callback registered for File: forwards to the manager.
  class Callback final : public FileCallbackInterface {
   public:
    explicit Callback(FileManager& owner) : owner_(owner) {}
    void FunctionCalled(uint16_t code) override;
    void FunctionDone(uint16_t code, int32_t error) override;

   private:
    FileManager& owner_;
  };

  void CallbackCalled(uint16_t code);
  void CallbackDone(uint16_t code, int32_t error);
  bool RequireInit();
  void BuildFields();
  // Copies the images saved under `id` back (unless `copy` is false) and,
  // with `release`, lets them go.
  void RestoreFrom(FileManager& source, int32_t& id, uint8_t release,
                   bool copy = true);
  // Step 2 of auto numbering for every auto-numbered key.
  uint8_t NumberAutoIncKeys(uint8_t handle_errors);
  // The description of the first non-DUP key the buffer duplicates
  // (its label when it has none); nullopt when none does.  The record the
  // buffer collides with may become the current record.
  std::optional<std::string> DuplicatedKey();
  std::string KeyName(const KeyRow& row) const;

  Callback callback_{*this};
  FileUsageRegistry* registry_ = nullptr;  // the one Init() registered with
  int current_key_ = -1;     // SetKey's key; -1: file order
  uint8_t driver_mrp_size_ = 0;
};

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_DATA_FILE_MANAGER_H_
