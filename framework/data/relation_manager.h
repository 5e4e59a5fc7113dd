// RelationManager: one file of the dictionary together with the files
// related to it.  It is what procedures open and close, and what a window
// asks to change or delete a record:
//   - Open/Close/ForceOpen open and close the file and, through the
//     relations, the related files, each related open made by this manager
//     closed by it again;
//   - Update and Delete frame the change in a runtime transaction (LOGOUT,
//     COMMIT, ROLLBACK) when UseLogout is set, and apply the referential
//     integrity actions to the related records: restrict, clear or cascade;
//   - Save notes the linking fields a form starts from, so Update can tell
//     whether they changed.
//
// A relation row links this file (Left fields) to a related file (Right
// fields) through the related file's key HisKey; its UpdateMode and
// DeleteMode say what a change or delete of this record does to the
// related records (RI::None, Clear, Restrict, Cascade).  A dictionary adds
// its relations in an override of DeferedAddRelations, through AddRelation
// and AddRelationLink; DeferedRelations runs it once, on first need.
//
// Every operation returns a level code (error_table.h).  Failures are
// reported by the file manager Me, through its error manager.
//
// Changes and deletes that another station made meanwhile:
//   - Update: the file manager's PUT fails with 89 (the record is watched);
//     from a form (FromForm 1) that is id 8, from a browse id 7, and the
//     buffer holds the other station's record.
//   - Delete re-reads the record by its position inside the transaction.
//     A position is a record number for a file without a PRIMARY key, and
//     RECLAIM reuses the slots of deleted records, so the record re-read
//     must still be the one the caller had: the record buffer at the call
//     is compared, byte for byte, with the record at the position.  When
//     they differ (or the record is gone) nothing is deleted, id 9 is
//     shown, the caller's record is put back in the buffer and the result
//     is Level::Notify; the question to try again is not asked, as another
//     try could not succeed.  The record is watched from that re-read, so
//     a change (or a delete) another station makes before the delete
//     fails it the same way.
//   - Another station's transaction holds the file's log while it runs: a
//     change or delete that meets it (48) starts again, silently, for up
//     to LogoutTimeout seconds.
//
// Passes: a top-level Open or Close (Cascade 0) starts a pass of the
// thread's counter (Epoch); a cascaded call that reaches a manager already
// visited in the current pass returns at once, so circular relations are
// walked once.
//
// Ownership: the manager does not own Me (the dictionary does) or the
// related managers; it owns its relation rows and their pair lists.
//
// Threads: a relation manager belongs to one thread (the dictionary makes
// one per thread) and takes no lock.  The transaction it starts is the
// process's one (runtime/datfile/transaction.h): another thread's change
// waits for it up to LogoutTimeout seconds, then gets id 24.
#ifndef ZUNA_FRAMEWORK_DATA_RELATION_MANAGER_H_
#define ZUNA_FRAMEWORK_DATA_RELATION_MANAGER_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/data/field_pairs.h"
#include "framework/data/file_manager.h"
#include "runtime/datfile/file_instance.h"
#include "runtime/values/variable.h"

namespace zuna::framework {

// Referential-integrity actions (UpdateMode, DeleteMode).
namespace RI {
inline constexpr uint8_t None = 0;
inline constexpr uint8_t Clear = 1;     // blank the related records' links
inline constexpr uint8_t Restrict = 2;  // refuse while related records exist
inline constexpr uint8_t Cascade = 3;   // change or delete them along
}  // namespace RI

class FilesManager;
class RelationManager;

// One related file.
struct RelationRow {
  RelationManager* File = nullptr;  // the related file's manager
  // Left: this file's linking fields; Right: the related file's; Buffer:
  // Left as Save found it.
  std::unique_ptr<BufferedPairsClass> Fields;
  datfile::Key HisKey;  // the related file's key over its linking fields
  uint8_t UpdateMode = RI::None;
  uint8_t DeleteMode = RI::None;
  uint8_t Opened = 0;  // opens of the related file this manager made
};

// The pass counter of the calling thread (a top-level Open or Close raises
// it).
int32_t& Epoch();

class RelationManager : public RelatedDeleteInterface {
 public:
  RelationManager() = default;
  ~RelationManager() override;
  RelationManager(const RelationManager&) = delete;
  RelationManager& operator=(const RelationManager&) = delete;

  // --- Life cycle -------------------------------------------------------

  // Stores `me` and `use_logout`, creates the relation list, LogoutTimeout
  // 2, and maps the file to this manager in the thread's files registry.
  virtual void Init(FileManager& me, uint8_t use_logout);
  // Disposes the relations and their pairs and removes the mapping.
  virtual void Kill();

  // --- Relations (from DeferedAddRelations) -----------------------------

  // Adds a relation to `related` through its key `his_key`; the links
  // follow with AddRelationLink.
  void AddRelation(RelationManager& related, uint8_t update_mode,
                   uint8_t delete_mode, datfile::Key his_key);
  // A linking field pair of the relation added last: `left` this file's
  // field, `right` the related file's.
  void AddRelationLink(const values::VariableRef& left,
                       const values::VariableRef& right);
  // Runs DeferedAddRelations once.
  void DeferedRelations();

  // --- Open and close ---------------------------------------------------

  // Procedures call these with cascade 0.  Open of a lazy file still opens
  // it physically at the top level (UseFile).
  virtual uint8_t Open(uint8_t cascade = 0);
  virtual uint8_t Close(uint8_t cascade = 0);
  uint8_t ForceOpen(uint8_t cascade = 0);

  // --- Changes ----------------------------------------------------------

  // Writes the buffer over the current record, with the related records
  // as the relations say, in a transaction when UseLogout.
  virtual uint8_t Update(uint8_t from_form = 0);
  // Deletes the current record, with the related records as the relations
  // say, in a transaction when UseLogout.  With `query` id 11 asks first
  // (any answer but Yes: Level::Cancel).  A failure asks id 36 whether to
  // try again.
  uint8_t Delete(uint8_t query) override;
  // Delete(query) with the question to try again asked by `ask_retry`,
  // which returns the button pressed (Button::Yes tries again); a window
  // that offers more answers than Yes and No asks its own.  The last
  // answer is left in *answer (0 when none was asked: success, a refusal,
  // or a record that another station changed, where a retry is no use).
  // `where`, when given, is the record's position (a form that keeps it
  // across failed tries, after which the file has no current record).
  uint8_t Delete(uint8_t query, const std::function<int32_t()>& ask_retry,
                 int32_t* answer = nullptr, std::string_view where = {});
  // Applied by a parent's manager to this (related) file: the records
  // whose `his_key` fields equal the pairs' old values (Buffer for an
  // update, Left for a delete).
  virtual uint8_t UpdateSecondary(datfile::Key his_key,
                                  BufferedPairsClass& pairs, uint8_t mode);
  virtual uint8_t DeleteSecondary(datfile::Key his_key,
                                  BufferedPairsClass& pairs, uint8_t mode,
                                  uint8_t flag = 0);
  // Writes the current (related) record whose linking fields were changed
  // and carries the change on to its own related records.
  uint8_t CascadeUpdates();
  // Notes every relation's linking fields as the "before" values.
  virtual void Save();
  virtual uint8_t CancelAutoInc();

  // --- Driver -----------------------------------------------------------

  // Sends "QUICKSCAN=on" / "=off" to the driver when the file is open;
  // with `propagate` the related files too.
  virtual void SetQuickScan(uint8_t on, uint8_t propagate = 0);

  // --- Transactions -----------------------------------------------------

  // Make this file (and for update and delete, the related files the
  // action will change) part of the next transaction.
  uint8_t LogoutPrime();
  uint8_t LogoutUpdate();
  uint8_t LogoutDelete();

  // --- Fields -----------------------------------------------------------

  FileManager* Me = nullptr;
  std::unique_ptr<std::vector<RelationRow>> Relations;
  RelationManager* AliasFile = nullptr;
  uint8_t PrevUseLogout = 0;
  uint8_t UseLogout = 0;
  uint8_t LogoutTimeout = 0;
  int32_t LastTouched = 0;
  uint8_t ForcingOpen = 0;
  uint8_t DeferedRelationsDone = 0;

 protected:
  // The dictionary's relations; empty in the base.
  virtual void DeferedAddRelations() {}
  // Starts the transaction over the files LogoutPrime collected; the
  // runtime error number (0 success, 80 when the driver has no
  // transactions).
  virtual int32_t StartTransaction();

 private:
  uint8_t OpenCloseServer(uint8_t cascade, bool opening);
  uint8_t UpdateOnce(uint8_t from_form);
  // UpdateSecondary for every relation whose linking fields changed since
  // Save.
  uint8_t UpdateRelated();
  // One try of a delete of the record at `position`; *stale when the
  // record there is no longer the one `seen` (no use trying again).
  uint8_t DeleteOnce(const std::string& position, const std::string& seen,
                     bool* stale);
  // Re-reads the record at `position`, watched; Notify (`seen` back in the
  // buffer) unless it is still `seen`: id 9 shown and *stale set when it is
  // gone or another record, id 13 when the read failed for a passing
  // reason (the file locked elsewhere).
  uint8_t RegetSeen(const std::string& position, const std::string& seen,
                    bool* stale);
  // Id 9 with the error posted now, the transaction rolled back, `seen`
  // back in the buffer.
  uint8_t RefuseStale(const std::string& seen);
  // After a failed write: when it met another station's transaction (48)
  // and `deadline` has not passed, rolls back, pauses and says to try
  // again.
  bool RetryAfterBusyLog(std::chrono::steady_clock::time_point deadline);
  // DeleteSecondary for every relation with a delete action.
  uint8_t DeleteRelated();
  // LogoutPrime of this file and, recursively, of the related files whose
  // `delete_action ? DeleteMode : UpdateMode` is Clear or Cascade.
  uint8_t LogoutRelated(bool delete_action);
  // Starts the transaction (id 24 when it cannot), when UseLogout.
  uint8_t BeginTransaction(bool delete_action);
  void CommitTransaction();
  void RollbackTransaction();
  // A related record blocks the action: `id` recorded, the transaction
  // rolled back, the message shown.
  uint8_t Refuse(uint16_t id);
  // Runs `act` on each related record (this file) whose linking fields
  // (the pairs' Right) equal the parent's old values: Buffer when
  // `by_buffer`, else Left.  The file's state is saved around it.
  uint8_t ForEachChild(datfile::Key his_key, BufferedPairsClass& pairs,
                       bool by_buffer, const std::function<uint8_t()>& act);
  // The places of those records, in the order of `his_key`.
  uint8_t FindChildren(datfile::Key his_key, BufferedPairsClass& pairs,
                       bool by_buffer, std::vector<std::string>* children);
  bool ChildMatches(BufferedPairsClass& pairs, bool by_buffer);

  bool in_quick_scan_ = false;
  FilesManager* registry_ = nullptr;  // the one Init registered with
};

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_DATA_RELATION_MANAGER_H_
