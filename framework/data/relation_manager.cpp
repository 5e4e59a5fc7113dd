#include "framework/data/relation_manager.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "framework/data/assertion.h"
#include "framework/data/error_table.h"
#include "framework/data/files_manager.h"
#include "framework/data/framework_host.h"
#include "runtime/datfile/statements.h"
#include "runtime/datfile/status.h"
#include "runtime/values/error_state.h"

namespace zuna::framework {
namespace {

using datfile::Err::kRecordChanged;
using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::seconds;
inline constexpr int32_t kNotSupported = 80;
// Between tries of a change that met another station's transaction.
inline constexpr std::chrono::milliseconds kBusyLogPause{10};

bool RecordGoneOrChanged(int32_t error) {
  return error == kRecordChanged || error == datfile::Err::kRecordNotAvailable ||
         error == datfile::Err::kRecordNotFound;
}

bool IsIntegrityAction(uint8_t mode) {
  return mode == RI::Clear || mode == RI::Restrict || mode == RI::Cascade;
}

// The transaction this thread's relation managers started: the files they
// made part of the next one, and whether it is open.  A manager and the
// related managers it reaches share it; the first to roll back or commit
// ends it for all of them.
struct ThreadTransaction {
  std::vector<datfile::DatFileInstance*> files;
  datfile::DatFileInstance* open_on = nullptr;  // a FILE of the open one
};

ThreadTransaction& ThisThreadTransaction() {
  thread_local ThreadTransaction transaction;
  return transaction;
}

}  // namespace

int32_t& Epoch() {
  thread_local int32_t epoch = 0;
  return epoch;
}

RelationManager::~RelationManager() { RelationManager::Kill(); }

// --- Life cycle -----------------------------------------------------------

void RelationManager::Init(FileManager& me, uint8_t use_logout) {
  Me = &me;
  UseLogout = use_logout;
  PrevUseLogout = use_logout;
  Relations = std::make_unique<std::vector<RelationRow>>();
  LogoutTimeout = 2;
  DeferedRelationsDone = 0;
  registry_ = &ThreadFilesManager();
  registry_->AddFileMapping(*this);
}

void RelationManager::Kill() {
  Relations.reset();
  DeferedRelationsDone = 0;
  // Only through the registry still installed: one gone with its thread
  // (a manager outliving it at thread exit) is not touched.
  if (registry_ != nullptr && registry_ == ThreadFileUsageRegistry()) {
    registry_->RemoveRelationFileMapping(*this);
  }
  registry_ = nullptr;
}

// --- Relations ------------------------------------------------------------

void RelationManager::AddRelation(RelationManager& related,
                                  uint8_t update_mode, uint8_t delete_mode,
                                  datfile::Key his_key) {
  if (!Relations) {
    AssertionFailed("Relation manager incorrectly initialized.");
    return;
  }
  RelationRow row;
  row.File = &related;
  row.Fields = std::make_unique<BufferedPairsClass>();
  row.Fields->Init();
  row.HisKey = his_key;
  row.UpdateMode = update_mode;
  row.DeleteMode = delete_mode;
  Relations->push_back(std::move(row));
}

void RelationManager::AddRelationLink(const values::VariableRef& left,
                                      const values::VariableRef& right) {
  if (!Relations || Relations->empty()) {
    AssertionFailed("Relation manager incorrectly initialized.");
    return;
  }
  Relations->back().Fields->AddPair(left, right);
}

void RelationManager::DeferedRelations() {
  if (DeferedRelationsDone) return;
  DeferedRelationsDone = 1;
  DeferedAddRelations();
}

// --- Open and close -------------------------------------------------------

uint8_t RelationManager::Open(uint8_t cascade) {
  const uint8_t was_forcing = ForcingOpen;
  if (Me != nullptr && !Me->LazyOpen) ForcingOpen = 1;
  const uint8_t level = OpenCloseServer(cascade, true);
  ForcingOpen = was_forcing;
  return level;
}

uint8_t RelationManager::ForceOpen(uint8_t cascade) {
  const uint8_t was_forcing = ForcingOpen;
  ForcingOpen = 1;
  const uint8_t level = OpenCloseServer(cascade, true);
  ForcingOpen = was_forcing;
  return level;
}

uint8_t RelationManager::Close(uint8_t cascade) {
  return OpenCloseServer(cascade, false);
}

uint8_t RelationManager::OpenCloseServer(uint8_t cascade, bool opening) {
  int32_t& epoch = Epoch();
  if (!cascade) {
    ++epoch;
  } else if (LastTouched == epoch) {
    return Level::Benign;  // met again along a circle of relations
  }
  LastTouched = epoch;
  if (!Relations || Me == nullptr) {
    AssertionFailed("Relation manager incorrectly initialized.");
    return Level::Fatal;
  }
  uint8_t level;
  if (opening) {
    level = Me->Open();
    // The procedure's own file is opened for real even when lazy: its
    // window reads it at once.
    if (!cascade && level == Level::Benign) level = Me->UseFile(UseType::Use);
  } else {
    level = Me->Close();
  }
  if (!cascade || ForcingOpen) DeferedRelations();
  for (RelationRow& row : *Relations) {
    if (level != Level::Benign) break;
    FileManager& related = *row.File->Me;
    const int32_t before = related.GetOpened();
    if (opening) {
      level = ForcingOpen ? row.File->ForceOpen(1) : row.File->Open(1);
      if (related.GetOpened() > before) ++row.Opened;
    } else if (row.Opened > 0) {
      level = row.File->Close(1);
      if (related.GetOpened() < before) --row.Opened;
    }
  }
  return level;
}

// --- Transactions ---------------------------------------------------------

uint8_t RelationManager::LogoutPrime() {
  if (!UseLogout || Me == nullptr || Me->File == nullptr) return Level::Benign;
  std::vector<datfile::DatFileInstance*>& files = ThisThreadTransaction().files;
  if (std::find(files.begin(), files.end(), Me->File) == files.end()) {
    files.push_back(Me->File);
  }
  return Level::Benign;
}

uint8_t RelationManager::LogoutUpdate() { return LogoutRelated(false); }

uint8_t RelationManager::LogoutDelete() { return LogoutRelated(true); }

uint8_t RelationManager::LogoutRelated(bool delete_action) {
  uint8_t level = LogoutPrime();
  if (level != Level::Benign || !Relations) return level;
  // The related managers join this file's transaction whatever their own
  // UseLogout says: their records change with this one.
  DeferedRelations();
  for (RelationRow& row : *Relations) {
    const uint8_t mode = delete_action ? row.DeleteMode : row.UpdateMode;
    if (mode != RI::Clear && mode != RI::Cascade) continue;
    const uint8_t saved = row.File->UseLogout;
    row.File->UseLogout = 1;
    level = row.File->LogoutRelated(delete_action);
    row.File->UseLogout = saved;
    if (level != Level::Benign) break;
  }
  return level;
}

int32_t RelationManager::StartTransaction() {
  ThreadTransaction& transaction = ThisThreadTransaction();
  for (datfile::DatFileInstance* file : transaction.files) {
    const int32_t error = datfile::LOGOUT(*file);
    if (error != 0) return error;
    transaction.open_on = file;
  }
  return 0;
}

uint8_t RelationManager::BeginTransaction(bool delete_action) {
  if (!UseLogout) return Level::Benign;
  ThreadTransaction& transaction = ThisThreadTransaction();
  transaction.files.clear();
  uint8_t level = delete_action ? LogoutDelete() : LogoutUpdate();
  int32_t error = 0;
  if (level == Level::Benign) error = StartTransaction();
  transaction.files.clear();
  if (level != Level::Benign) return level;
  if (error == 0) return Level::Benign;
  // Whatever part of it started goes, before anyone is told.
  RollbackTransaction();
  if (error == kNotSupported) {
    UseLogout = 0;
    AssertionFailed("Driver does not support transaction framing.");
    return Level::Benign;
  }
  Me->SetError(Msg::TransactionFailed);
  Me->Throw();
  return Level::Notify;
}

void RelationManager::CommitTransaction() {
  ThreadTransaction& transaction = ThisThreadTransaction();
  if (transaction.open_on == nullptr) return;
  datfile::DatFileInstance& file = *transaction.open_on;
  transaction.open_on = nullptr;
  const int32_t error = datfile::COMMIT(file);
  if (error != 0) AssertionFailed("Unable to commit transaction");
}

void RelationManager::RollbackTransaction() {
  ThreadTransaction& transaction = ThisThreadTransaction();
  if (transaction.open_on == nullptr) return;
  datfile::DatFileInstance& file = *transaction.open_on;
  transaction.open_on = nullptr;
  datfile::ROLLBACK(file);
}

// --- Update ---------------------------------------------------------------

uint8_t RelationManager::Update(uint8_t from_form) {
  uint8_t level = ForceOpen(0);
  if (level != Level::Benign) {
    Close(0);
    return level;
  }
  level = UpdateOnce(from_form);
  Close(0);
  return level;
}

uint8_t RelationManager::UpdateOnce(uint8_t from_form) {
  const Clock::time_point deadline = Clock::now() + Seconds(LogoutTimeout);
  uint8_t level;
  do {
    level = BeginTransaction(false);
    if (level != Level::Benign) return level;
    level = Me->TryUpdate();
  } while (level != Level::Benign && RetryAfterBusyLog(deadline));
  if (level != Level::Benign) {
    RollbackTransaction();
    // A form shows the record it re-read, so it says so.
    if (from_form && Me->LastError == Msg::RecordChangedElsewhere) {
      Me->LastError = Msg::RecordChangedShown;
    }
    if (level == Level::Notify) Me->Throw();
    const bool changed_elsewhere =
        Me->LastError == Msg::RecordChangedElsewhere ||
        Me->LastError == Msg::RecordChangedShown;
    return changed_elsewhere ? Level::Notify : Level::User;
  }
  level = UpdateRelated();
  if (level != Level::Benign) {
    RollbackTransaction();
    return level;
  }
  CommitTransaction();
  return Level::Benign;
}

bool RelationManager::RetryAfterBusyLog(Clock::time_point deadline) {
  if (!UseLogout || values::ERRORCODE() != datfile::Err::kUnableToLog ||
      Clock::now() >= deadline) {
    return false;
  }
  RollbackTransaction();
  std::this_thread::sleep_for(kBusyLogPause);
  return true;
}

uint8_t RelationManager::UpdateRelated() {
  DeferedRelations();
  for (RelationRow& row : *Relations) {
    if (!IsIntegrityAction(row.UpdateMode)) continue;
    if (row.Fields->EqualLeftBuffer()) continue;
    const uint8_t level =
        row.File->UpdateSecondary(row.HisKey, *row.Fields, row.UpdateMode);
    if (level != Level::Benign) {
      // The record keeps the links it had: those Save noted.
      row.Fields->AssignBufferToLeft();
      return level;
    }
  }
  return Level::Benign;
}

uint8_t RelationManager::CascadeUpdates() {
  const uint8_t level = Me->TryUpdate();
  if (level != Level::Benign) {
    RollbackTransaction();
    Me->Throw();
    return Level::Notify;
  }
  return UpdateRelated();
}

void RelationManager::Save() {
  if (!Relations) return;
  DeferedRelations();
  for (RelationRow& row : *Relations) row.Fields->AssignLeftToBuffer();
}

uint8_t RelationManager::CancelAutoInc() { return Me->CancelAutoInc(this); }

// --- Delete ---------------------------------------------------------------

uint8_t RelationManager::Delete(uint8_t query) {
  return Delete(query, [this] {
    return Me->Throw(Msg::DeleteRetry) == Level::Benign ? Button::Yes
                                                        : Button::No;
  });
}

uint8_t RelationManager::Delete(uint8_t query,
                                const std::function<int32_t()>& ask_retry,
                                int32_t* answer, std::string_view where) {
  if (answer != nullptr) *answer = 0;
  if (query && Me->Throw(Msg::ConfirmDelete) != Level::Benign) {
    return Level::Cancel;
  }
  // The record the caller has: the one to delete, whatever the file holds
  // at its position by now.
  const std::string seen(Me->Buffer.begin(), Me->Buffer.end());
  // Taken once: a try that was rolled back leaves the file without a
  // current record, and the next try must find the same one.
  const std::string position = where.empty() ? Me->Position() : std::string(where);
  for (;;) {
    bool stale = false;
    uint8_t level;
    {
      WaitCursor wait;
      level = DeleteOnce(position, seen, &stale);
    }
    if (level == Level::Benign || stale) return level;
    const int32_t pressed = ask_retry();
    if (answer != nullptr) *answer = pressed;
    if (pressed != Button::Yes) return level;
  }
}

uint8_t RelationManager::DeleteOnce(const std::string& position,
                                    const std::string& seen, bool* stale) {
  const Clock::time_point deadline = Clock::now() + Seconds(LogoutTimeout);
  uint8_t level = ForceOpen(0);
  while (level == Level::Benign) {
    level = BeginTransaction(true);
    if (level != Level::Benign) break;
    level = RegetSeen(position, seen, stale);
    if (level == Level::Benign) level = DeleteRelated();
    if (level != Level::Benign) break;
    level = Me->DeleteRecord(0);
    if (level == Level::Benign) {
      CommitTransaction();
      break;
    }
    if (RetryAfterBusyLog(deadline)) {
      level = Level::Benign;
      continue;
    }
    if (RecordGoneOrChanged(values::ERRORCODE())) {
      // Changed or deleted by another station between the check and the
      // delete: there is nothing of the caller's left to delete.
      *stale = true;
      level = RefuseStale(seen);
    } else {
      RollbackTransaction();
      Me->Throw();
      level = Level::Notify;
    }
  }
  RollbackTransaction();  // nothing when committed or rolled back already
  Close(0);
  return level;
}
uint8_t RelationManager::RegetSeen(const std::string& position,
                                   const std::string& seen, bool* stale) {
  // Watched from this read on, so that a change another station makes
  // before the delete fails the delete (89) instead of being lost with it.
  datfile::WATCH(*Me->File);
  const bool read = !position.empty() &&
                    Me->TryReget(position) == Level::Benign;
  if (read && std::equal(seen.begin(), seen.end(), Me->Buffer.begin(),
                         Me->Buffer.end())) {
    return Level::Benign;
  }
  if (!read && !position.empty() && !RecordGoneOrChanged(values::ERRORCODE())) {
    // The read itself failed for a passing reason (another station holds
    // the file locked): the record may well be there; another try may do.
    const int32_t error = values::ERRORCODE();
    RollbackTransaction();
    std::copy(seen.begin(), seen.end(), Me->Buffer.begin());
    values::PostError(error);
    Me->Throw(Msg::DeleteFailed);
    return Level::Notify;
  }
  *stale = true;
  // Gone, or its slot now holds another record: the caller's record is
  // not there to delete.
  if (read) values::PostError(kRecordChanged);
  return RefuseStale(seen);
}

uint8_t RelationManager::RefuseStale(const std::string& seen) {
  Me->SetError(Msg::RecordReadFailed);  // with the error that says why
  RollbackTransaction();
  std::copy(seen.begin(), seen.end(), Me->Buffer.begin());
  Me->Throw();
  return Level::Notify;
}
uint8_t RelationManager::DeleteRelated() {
  DeferedRelations();
  for (RelationRow& row : *Relations) {
    if (!IsIntegrityAction(row.DeleteMode)) continue;
    const uint8_t level =
        row.File->DeleteSecondary(row.HisKey, *row.Fields, row.DeleteMode);
    if (level != Level::Benign) return level;
  }
  return Level::Benign;
}

// --- The related file's side ----------------------------------------------

uint8_t RelationManager::UpdateSecondary(datfile::Key his_key,
                                         BufferedPairsClass& pairs,
                                         uint8_t mode) {
  if (!IsIntegrityAction(mode)) {
    AssertionFailed("Invalid RI mode specified");
    return Level::Benign;
  }
  return ForEachChild(his_key, pairs, /*by_buffer=*/true, [&] {
    if (mode == RI::Restrict) return Refuse(Msg::RelatedBlocksChange);
    Save();
    if (mode == RI::Clear) {
      pairs.ClearRight();
    } else {
      pairs.AssignLeftToRight();
    }
    return CascadeUpdates();
  });
}

uint8_t RelationManager::DeleteSecondary(datfile::Key his_key,
                                         BufferedPairsClass& pairs,
                                         uint8_t mode, uint8_t /*flag*/) {
  if (!IsIntegrityAction(mode)) {
    AssertionFailed("Invalid RI mode");
    return Level::Benign;
  }
  return ForEachChild(his_key, pairs, /*by_buffer=*/false, [&] {
    if (mode == RI::Restrict) return Refuse(Msg::RelatedBlocksDelete);
    if (mode == RI::Clear) {
      Save();
      pairs.ClearRight();
      return CascadeUpdates();
    }
    uint8_t level = DeleteRelated();
    if (level != Level::Benign) return level;
    level = Me->DeleteRecord(0);
    if (level != Level::Benign) {
      RollbackTransaction();
      Me->Throw();
      return Level::Notify;
    }
    return Level::Benign;
  });
}

uint8_t RelationManager::Refuse(uint16_t id) {
  Me->SetError(id);
  RollbackTransaction();
  Me->Throw();
  return Level::Notify;
}

uint8_t RelationManager::ForEachChild(datfile::Key his_key,
                                      BufferedPairsClass& pairs,
                                      bool by_buffer,
                                      const std::function<uint8_t()>& act) {
  uint8_t level = Me->UseFile(UseType::Use);
  if (level != Level::Benign) return level;
  int32_t state = Me->SaveFile();
  std::vector<std::string> children;
  level = FindChildren(his_key, pairs, by_buffer, &children);
  // Each child is read again by its place before it is acted on: acting on
  // one (a changed key, a delete) may move the file's sequence, never the
  // place of another.
  for (const std::string& child : children) {
    if (level != Level::Benign) break;
    if (Me->TryReget(child) != Level::Benign) continue;
    if (!ChildMatches(pairs, by_buffer)) continue;
    level = act();
  }
  Me->RestoreFile(state, 1);
  return level;
}

uint8_t RelationManager::FindChildren(datfile::Key his_key,
                                      BufferedPairsClass& pairs,
                                      bool by_buffer,
                                      std::vector<std::string>* children) {
  Me->ClearRecord();
  if (by_buffer) {
    pairs.AssignBufferToRight();
  } else {
    pairs.AssignLeftToRight();
  }
  const size_t linked = pairs.List ? pairs.List->size() : 0;
  Me->ClearKey(his_key, static_cast<uint8_t>(linked + 1), 255, 0);
  Me->SetKey(his_key);
  // From the first record at or after the linking values in the buffer.
  datfile::SET(*Me->File, his_key, his_key);
  for (;;) {
    const uint8_t level = Me->TryNext();
    if (level != Level::Benign) {
      if (Me->GetEOF()) return Level::Benign;
      RollbackTransaction();
      Me->Throw();
      return Level::Fatal;
    }
    if (!ChildMatches(pairs, by_buffer)) return Level::Benign;
    children->push_back(Me->Position());
  }
}

bool RelationManager::ChildMatches(BufferedPairsClass& pairs, bool by_buffer) {
  return by_buffer ? pairs.EqualRightBuffer(1) != 0
                   : pairs.EqualLeftRight() != 0;
}

// --- Driver ---------------------------------------------------------------

void RelationManager::SetQuickScan(uint8_t on, uint8_t propagate) {
  if (in_quick_scan_) return;  // a circle of relations
  in_quick_scan_ = true;
  if (Me != nullptr && Me->File != nullptr && Me->Used) {
    datfile::DatFileInstance& file = *Me->File;
    const std::string option = on ? "QUICKSCAN=on" : "QUICKSCAN=off";
    datfile::SEND(file, option);
  }
  if (propagate && Relations) {
    DeferedRelations();
    for (RelationRow& row : *Relations) row.File->SetQuickScan(on, 1);
  }
  in_quick_scan_ = false;
}

}  // namespace zuna::framework
