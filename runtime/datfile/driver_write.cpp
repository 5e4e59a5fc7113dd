// ADD, APPEND, PUT, PUTfileptr, DELETE: the record, its memo, its key
// entries and the header, in an order that keeps the files sound when a
// step fails.
//
// Order of a write (why each step sits where it does):
//   1. read-only FILE -> 5; header refresh (shared files).
//   2. PUT/DELETE: the current record's prefix is read again: none -> 33,
//      deleted -> 33 (IGNORESTATUS: PUT undeletes), held by someone else
//      -> 5 (IGNORESTATUS: the hold is overridden).
//   3. ADD/PUT: the duplicate check over every key without DUP, before
//      anything is written, so a refused write leaves no trace (in
//      particular, no slot taken off the free chain).
//   4. The slot is chosen (ADD: RECLAIM or append), the memo written, the
//      slot written; from here a failure takes the slot back.
//   5. Key entries; a failure undoes what this write did to the keys and
//      the slot, or, when even that fails, leaves the FILE failed.
//   6. The header with a change stamp; then, in write-through mode, every
//      file to disk.
#include <algorithm>
#include <string>
#include <vector>

#include "runtime/datfile/coding.h"
#include "runtime/datfile/dat_format.h"
#include "runtime/datfile/driver_internal.h"

namespace zuna::datfile::driver {
namespace {

Status ReadOnly(const DatFileInstance& file) {
  return Status::Error(Err::kAccessDenied,
                       file.driver_state().data_path + ": opened read-only");
}

Status NoCurrentRecord() {
  return Status::Error(Err::kRecordNotAvailable, "no current record");
}

// The common start of PUT and DELETE: refuse a read-only file, refresh the
// header, and re-read the current record's prefix from disk, since on a
// shared file another station may have deleted or held it since our read.
// There another station may also have changed the record: the key entries
// to take out are the ones its image on disk makes now, not the ones it
// made when this FILE read it.  *raw receives the slot's image as stored,
// the one read serving the WATCH test and PUT's taking back as well.
Status StartCurrentRecordWrite(DatFileInstance& file, uint32_t* record_no,
                               SlotPrefix* prefix, std::vector<char>* raw) {
  DriverState& s = file.driver_state();
  if (s.read_only) return ReadOnly(file);
  ZUNA_RETURN_IF_ERROR(RefreshHeader(file, RefreshMode::kLock));
  if (s.current == 0) return NoCurrentRecord();
  MakeCurrentEntries(file);
  *record_no = s.current;
  raw->assign(file.record().size(), '\0');
  ZUNA_RETURN_IF_ERROR(s.data->ReadSlot(*record_no, prefix, *raw));
  if (!s.shared || s.current_unkeyed) return Status::OK();
  if (prefix->deleted()) return Status::OK();  // refused by the caller
  std::vector<char> image = *raw;
  s.data->DecodeImage(image);
  for (KeyState& key : s.keys) {
    key.current_entry = EntryForImage(key, *record_no, image);
  }
  return Status::OK();
}

// Key entries this write put in (or took out), to take them back.
struct KeyChanges {
  std::vector<std::pair<KeyState*, std::string>> inserted;
  std::vector<std::pair<KeyState*, std::string>> deleted;

  // Best effort, last change first; the first failure is returned.
  Status Undo() {
    Status first;
    for (auto it = inserted.rbegin(); it != inserted.rend(); ++it) {
      Status status = it->first->file->Delete(it->second);
      if (first.ok()) first = status;
    }
    for (auto it = deleted.rbegin(); it != deleted.rend(); ++it) {
      Status status = it->first->file->Insert(it->second);
      if (first.ok()) first = status;
    }
    return first;
  }
};

// The entries the record buffer makes in every key for `record_no`.
std::vector<std::string> NewEntries(const DatFileInstance& file,
                                    uint32_t record_no) {
  const DriverState& s = file.driver_state();
  std::vector<std::string> entries(s.keys.size());
  for (size_t k = 0; k < s.keys.size(); ++k) {
    entries[k] = EntryFor(file, s.keys[k], record_no);
  }
  return entries;
}

// Step 3 for the keys whose entry changes (`changed` empty: all of them).
Status CheckDuplicates(DatFileInstance& file,
                       const std::vector<std::string>& entries,
                       const std::vector<bool>& changed, uint32_t self) {
  DriverState& s = file.driver_state();
  for (size_t k = 0; k < s.keys.size(); ++k) {
    KeyState& key = s.keys[k];
    if (!key.maintained || !key.file) continue;
    if (!changed.empty() && !changed[k]) continue;
    bool duplicate = false;
    ZUNA_RETURN_IF_ERROR(IsDuplicate(key, entries[k], self, &duplicate));
    if (duplicate) {
      return Status::Error(Err::kDuplicateKey, key.decl.label);
    }
  }
  return Status::OK();
}

// After a successful write: the written record is current, the keys
// remember its entries.
void BecomeCurrent(DatFileInstance& file, uint32_t record_no,
                   const SlotPrefix& prefix,
                   std::vector<std::string> entries) {
  DriverState& s = file.driver_state();
  s.current = record_no;
  s.current_prefix = prefix;
  s.current_unkeyed = false;
  s.entries_pending = 0;
  for (size_t k = 0; k < s.keys.size(); ++k) {
    s.keys[k].current_entry = std::move(entries[k]);
  }
  if (!s.memo_not_read) s.memo_as_read.assign(file.memo().begin(), file.memo().end());
}

// WATCH on a shared FILE: the slot as it is now (`now`, as stored) must
// equal the image read.
Status CheckWatch(DatFileInstance& file, const std::vector<char>& now) {
  DriverState& s = file.driver_state();
  if (!s.shared || s.watched == 0 || s.watched != s.current) return Status::OK();
  if (now != s.watch_image) {
    return Status::Error(Err::kRecordChanged, s.data_path);
  }
  return Status::OK();
}

Status Finish(DatFileInstance& file) {
  return file.driver_state().write_through ? SyncAll(file) : Status::OK();
}

}  // namespace

std::string EntryFor(const DatFileInstance& file, const KeyState& key,
                     uint32_t record_no) {
  return EntryForImage(key, record_no, file.record());
}

std::string EntryForImage(const KeyState& key, uint32_t record_no,
                          std::span<const char> record) {
  if (key.decl.optional && key.encoder.IsBlank(record)) return {};
  return key.encoder.MakeEntry(record_no, record);
}

Status IsDuplicate(KeyState& key, const std::string& entry, uint32_t self,
                   bool* duplicate) {
  *duplicate = false;
  if (entry.empty() || key.decl.duplicates || !key.file) return Status::OK();
  // Record number 0 with an exact value match finds the value's first entry.
  std::string probe = entry;
  EncodeFixed32(probe.data(), 0);
  KeyPosition position;
  ZUNA_RETURN_IF_ERROR(key.file->Search(probe, /*exact_value=*/true, &position));
  if (position.state != SearchState::kFound) return Status::OK();
  if (position.record_no() != self) {
    *duplicate = true;
    return Status::OK();
  }
  // The record's own entry; a key that somehow holds the value twice
  // still counts the second one.
  bool found = false;
  ZUNA_RETURN_IF_ERROR(key.file->Next(&position, &found));
  *duplicate = found && position.entry.compare(4, std::string::npos, entry,
                                               4, std::string::npos) == 0;
  return Status::OK();
}

Status AddRecord(DatFileInstance& file, bool maintain_keys) {
  DriverState& s = file.driver_state();
  if (s.read_only) return ReadOnly(file);
  // APPEND under STREAM works from the header in memory -- alone on the
  // file.  On a shared one another station may append meanwhile, so every
  // APPEND reads and writes the header under byte 0.
  const bool defer_header = !maintain_keys && !s.shared;
  if (!defer_header || s.write_through) {
    ZUNA_RETURN_IF_ERROR(RefreshHeader(file, RefreshMode::kLock));
  }
  std::vector<std::string> entries = NewEntries(file, 0);
  if (maintain_keys) ZUNA_RETURN_IF_ERROR(CheckDuplicates(file, entries, {}, 0));
  ZUNA_RETURN_IF_ERROR(ReleaseHeld(file));

  AddPlan plan;
  ZUNA_RETURN_IF_ERROR(s.data->PlanAdd(&plan));
  MemoWriteResult memo;
  if (s.memo) ZUNA_RETURN_IF_ERROR(s.memo->Write(file.memo(), 0, {}, &memo));
  Status status = s.data->CommitAdd(plan, memo.link, file.record());
  if (!status.ok()) {
    if (s.memo) (void)s.memo->Release(memo.link);  // else lost space only
    return status;
  }

  entries = NewEntries(file, plan.record_no);
  KeyChanges changes;
  std::vector<size_t> deferred;  // keys whose entry goes in later
  for (size_t k = 0; k < s.keys.size() && status.ok() && maintain_keys; ++k) {
    KeyState& key = s.keys[k];
    if (!key.maintained || !key.file || entries[k].empty()) continue;
    if (DefersEntries(file, key)) {
      deferred.push_back(k);
      continue;
    }
    status = key.file->Insert(entries[k]);
    if (status.ok()) changes.inserted.emplace_back(&key, entries[k]);
  }
  if (status.ok()) status = WriteHeaderStamped(file, defer_header);
  if (!status.ok()) {
    // Take the record back: the keys first, then the slot and the counts.
    Status undo = changes.Undo();
    if (undo.ok()) undo = s.data->UndoAdd(plan);
    if (undo.ok() && s.memo) undo = s.memo->Release(memo.link);
    if (!undo.ok()) return Fail(file, status);
    s.current = 0;
    return status;
  }

  for (const size_t k : deferred) DeferEntry(file, k, entries[k]);
  if (!maintain_keys) {
    // APPEND left the keys alone: to them the record does not exist, so a
    // PUT that follows inserts rather than deletes an entry never made.
    for (size_t k = 0; k < s.keys.size(); ++k) {
      if (s.keys[k].maintained) entries[k].clear();
    }
  }
  s.memo_not_read = false;
  BecomeCurrent(file, plan.record_no, {dat::kStatusNew, memo.link},
                std::move(entries));
  s.current_unkeyed = !maintain_keys;
  if (s.watch_pending) {
    s.watch_pending = false;
    s.watched = plan.record_no;
    SlotPrefix prefix;
    s.watch_image.assign(file.record().size(), '\0');
    ZUNA_RETURN_IF_ERROR(s.data->ReadSlot(plan.record_no, &prefix, s.watch_image));
  }
  return Finish(file);
}

Status PutRecord(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  uint32_t record_no = 0;
  SlotPrefix prefix;
  // The slot as it stands, to put back should a later step fail.
  std::vector<char> old_image;
  ZUNA_RETURN_IF_ERROR(StartCurrentRecordWrite(file, &record_no, &prefix, &old_image));
  const bool undelete = prefix.deleted();
  if (undelete && !s.switches.ignore_status) {
    return Status::Error(Err::kRecordNotAvailable, "record deleted");
  }
  if (prefix.held() && s.held != record_no && !s.switches.ignore_status) {
    return Status::Error(Err::kAccessDenied, "record held");
  }
  ZUNA_RETURN_IF_ERROR(CheckWatch(file, old_image));

  std::vector<std::string> entries = NewEntries(file, record_no);
  std::vector<bool> changed(s.keys.size(), false);
  bool any_key_changed = false;
  for (size_t k = 0; k < s.keys.size(); ++k) {
    // An undeleted record is in no key, whatever its old value was.
    changed[k] = s.keys[k].maintained &&
                 (undelete || entries[k] != s.keys[k].current_entry);
    any_key_changed = any_key_changed || changed[k];
  }
  ZUNA_RETURN_IF_ERROR(CheckDuplicates(file, entries, changed, record_no));
  // Our own hold goes now; the prefix read above still shows it.
  if (s.held == record_no) prefix.status &= static_cast<uint8_t>(~dat::kStatusHeld);
  ZUNA_RETURN_IF_ERROR(ReleaseHeld(file));

  if (undelete) {
    // From here the slot is live again but has no key entries: any failure
    // leaves memory and disk out of step.
    Status status = s.data->Undelete(record_no);
    if (!status.ok()) return status;
    status = s.data->ReadPrefix(record_no, &prefix);
    if (!status.ok()) return Fail(file, status);
  }
  MemoWriteResult memo{prefix.link, 0};
  const bool write_memo = s.memo && !s.memo_not_read;
  if (write_memo) {
    // After a NOMEMO read the buffer is not this record's memo: leave the
    // memo file alone.
    Status status = s.memo->Write(file.memo(), prefix.link, s.memo_as_read, &memo);
    if (!status.ok()) return undelete ? Fail(file, status) : status;
  }
  SlotPrefix written{static_cast<uint8_t>((prefix.status & ~(dat::kStatusHeld |
                                                             dat::kStatusDeleted)) |
                                          dat::kStatusRevised),
                     memo.link};
  Status status = s.data->WriteRecord(record_no, written, file.record());
  // The transaction log refused the write: the slot was never touched, and
  // without a memo written first there is nothing to take back.
  if (status.code() == Err::kUnableToLog && !undelete && !write_memo) return status;
  KeyChanges changes;
  for (size_t k = 0; k < s.keys.size() && status.ok(); ++k) {
    KeyState& key = s.keys[k];
    if (!changed[k] || !key.file) continue;
    if (!undelete && !key.current_entry.empty()) {
      status = key.file->Delete(key.current_entry);
      if (!status.ok()) break;
      changes.deleted.emplace_back(&key, key.current_entry);
    }
    if (!entries[k].empty()) {
      status = key.file->Insert(entries[k]);
      if (!status.ok()) break;
      changes.inserted.emplace_back(&key, entries[k]);
    }
  }
  if (status.ok() &&
      (undelete || any_key_changed || s.switches.maintain_header_time)) {
    status = WriteHeaderStamped(file, false);
  }
  if (!status.ok()) {
    if (undelete) return Fail(file, status);
    // Take the change back: keys, the memo text as read, then the slot.
    Status undo = changes.Undo();
    SlotPrefix restored = prefix;
    if (undo.ok() && write_memo) {
      // Writes nothing when the text did not change.
      MemoWriteResult again;
      undo = s.memo->Write(s.memo_as_read, memo.link, file.memo(), &again);
      restored.link = again.link;
      if (undo.ok() && again.leftover != 0) (void)s.memo->Release(again.leftover);
    }
    if (undo.ok()) undo = s.data->WriteSlot(record_no, restored, old_image);
    if (!undo.ok()) return Fail(file, status);
    s.current_prefix = restored;
    return status;
  }
  // Blocks the new text no longer needs go back once the slot names the
  // new chain; failing here only loses space.
  if (s.memo && memo.leftover != 0) ZUNA_RETURN_IF_ERROR(s.memo->Release(memo.leftover));
  BecomeCurrent(file, record_no, written, std::move(entries));
  return Finish(file);
}

Status PutRecordAt(DatFileInstance& file, uint32_t record_no, uint32_t length) {
  DriverState& s = file.driver_state();
  const std::vector<char> record(file.record().begin(), file.record().end());
  const std::vector<char> memo(file.memo().begin(), file.memo().end());
  const uint32_t previous = s.current;
  Status status = LoadRecord(file, record_no);
  if (!status.ok()) {
    // The previous current record stays current; the caller's buffers are
    // kept, so a failed PUTfileptr never loses the record being written.
    if (previous != 0) (void)LoadRecord(file, previous);
    std::copy(record.begin(), record.end(), file.record().begin());
    std::copy(memo.begin(), memo.end(), file.memo().begin());
    return status;
  }
  const size_t keep = (length == 0 || length > record.size()) ? record.size() : length;
  std::copy_n(record.begin(), keep, file.record().begin());
  std::copy(memo.begin(), memo.end(), file.memo().begin());
  return PutRecord(file);
}

Status DeleteRecord(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  uint32_t record_no = 0;
  SlotPrefix prefix;
  std::vector<char> raw;
  ZUNA_RETURN_IF_ERROR(StartCurrentRecordWrite(file, &record_no, &prefix, &raw));
  // Already deleted (reachable with IGNORESTATUS): refused, so the slot
  // never enters the free chain twice.
  if (prefix.deleted()) {
    return Status::Error(Err::kRecordNotAvailable, "record deleted");
  }
  if (prefix.held() && s.held != record_no && !s.switches.ignore_status) {
    return Status::Error(Err::kAccessDenied, "record held");
  }
  // A watched record changed by another station since it was read is not
  // the record the caller means to delete (its slot may even hold another
  // record by now).
  ZUNA_RETURN_IF_ERROR(CheckWatch(file, raw));
  ZUNA_RETURN_IF_ERROR(ReleaseHeld(file));

  DeleteDone done;
  ZUNA_RETURN_IF_ERROR(s.data->DeleteRecord(record_no, &done));
  KeyChanges changes;
  Status status;
  for (KeyState& key : s.keys) {
    if (!key.maintained || !key.file || key.current_entry.empty()) continue;
    status = key.file->Delete(key.current_entry);
    if (!status.ok()) break;
    changes.deleted.emplace_back(&key, key.current_entry);
  }
  if (status.ok()) status = WriteHeaderStamped(file, false);
  if (!status.ok()) {
    Status undo = changes.Undo();
    if (undo.ok()) undo = s.data->UndoDelete(done);
    return undo.ok() ? status : Fail(file, status);
  }
  s.current = 0;
  s.current_prefix = {};
  ForgetCurrentEntries(s);
  // The memo goes last: released before the slot was deleted, a failure
  // would have left a live record naming free blocks.
  if (s.memo && done.old_prefix.link != 0) {
    ZUNA_RETURN_IF_ERROR(s.memo->Release(done.old_prefix.link));
  }
  return Finish(file);
}

}  // namespace zuna::datfile::driver
