// Reads by record number and by key, REGET, HOLD/RELEASE on this station,
// positions, pointers, RECORDS and DUPLICATE.
#include <algorithm>
#include <string>
#include <vector>

#include "runtime/datfile/coding.h"
#include "runtime/datfile/dat_format.h"
#include "runtime/datfile/driver_internal.h"

namespace zuna::datfile::driver {
namespace {

Status NotFound(const std::string& what) {
  return Status::Error(Err::kRecordNotFound, what);
}

// The memo of the slot just read, into the memo buffer (unless NOMEMO).
Status ReadMemo(DatFileInstance& file, const SlotPrefix& prefix) {
  DriverState& s = file.driver_state();
  const bool skip = s.no_memo_next_read;
  s.no_memo_next_read = false;
  if (!s.memo) return Status::OK();
  if (skip) {
    s.memo_not_read = true;
    return Status::OK();
  }
  if (prefix.deleted()) {
    // A deleted slot's link names the free chain, not a memo; its memo was
    // given back when it was deleted.
    std::fill(file.memo().begin(), file.memo().end(),
              file.declaration().memo->binary ? '\0' : ' ');
  } else {
    ZUNA_RETURN_IF_ERROR(s.memo->Read(prefix.link, file.memo()));
  }
  s.memo_not_read = false;
  s.memo_as_read.assign(file.memo().begin(), file.memo().end());
  return Status::OK();
}

// Each key's entry for the record just read (`image`, program form).  A
// live record's wait until asked for (MakeCurrentEntries); a deleted one
// (read with IGNORESTATUS) is in no key, its values count as blank.
void RebuildEntries(DatFileInstance& file, uint32_t record_no, bool deleted,
                    std::span<const char> image) {
  DriverState& s = file.driver_state();
  if (!deleted) {
    s.entries_image.assign(image.begin(), image.end());
    s.entries_pending = s.keys.size();
    return;
  }
  s.entries_pending = 0;
  for (KeyState& key : s.keys) {
    key.current_entry =
        key.decl.optional ? std::string() : key.encoder.MakeBlankEntry(record_no);
  }
}

}  // namespace

std::string EncodeFilePosition(uint32_t record_no) {
  std::string position(4, '\0');
  EncodeFixed32(position.data(), record_no);
  return position;
}

bool DecodeFilePosition(std::string_view position, uint32_t* record_no) {
  if (position.size() != 4) return false;
  *record_no = DecodeFixed32(position.data());
  return true;
}

Status LoadRecord(DatFileInstance& file, uint32_t record_no) {
  DriverState& s = file.driver_state();
  ZUNA_RETURN_IF_ERROR(ReleaseHeld(file));
  const bool hold = s.hold_next_read;
  s.hold_next_read = false;
  Status refreshed = RefreshHeader(file, RefreshMode::kLock);
  // A hold-read that meets another station's LOCK cannot hold.
  if (hold && refreshed.code() == Err::kFileLocked) {
    return Status::Error(Err::kRecordHeld, refreshed.detail());
  }
  ZUNA_RETURN_IF_ERROR(refreshed);
  const DatHeader& header = s.data->header();
  const bool ignore_status = s.switches.ignore_status;
  if (header.LiveRecords() == 0 && !(ignore_status && header.record_slots > 0)) {
    return NotFound("no records");
  }
  if (record_no < 1 || record_no > header.record_slots) {
    return NotFound("record " + std::to_string(record_no));
  }
  // The slot as stored: a WATCH keeps exactly these bytes.  The buffer
  // stays with the FILE from read to read.
  std::vector<char>& raw = s.slot_image;
  raw.resize(file.record().size());
  SlotPrefix prefix;
  ZUNA_RETURN_IF_ERROR(WaitForHeldSlot(file, record_no, hold, &prefix, raw));
  if (prefix.deleted() && !ignore_status) {
    return NotFound("record " + std::to_string(record_no) + " deleted");
  }
  ZUNA_RETURN_IF_ERROR(ReadMemo(file, prefix));
  if (hold) {
    if (!s.read_only) {
      prefix.status |= dat::kStatusHeld;
      ZUNA_RETURN_IF_ERROR(s.data->WriteStatus(record_no, prefix.status));
      s.held = record_no;
    }
  }
  if (s.watch_pending) {
    s.watch_pending = false;
    s.watched = record_no;
    s.watch_image = raw;
  } else {
    // A watch covers the record read right after WATCH until the next
    // read: a record read again without one is taken as it is now.
    s.watched = 0;
  }
  s.data->DecodeImage(raw);
  std::copy(raw.begin(), raw.end(), file.record().begin());
  s.current = record_no;
  s.current_prefix = prefix;
  s.current_unkeyed = false;
  RebuildEntries(file, record_no, prefix.deleted(), raw);
  return Status::OK();
}

void MakeCurrentEntries(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  // Keys added since the read (a dynamic index) had no entry made by it.
  const size_t pending = std::min(s.entries_pending, s.keys.size());
  s.entries_pending = 0;
  for (size_t k = 0; k < pending; ++k) {
    s.keys[k].current_entry = EntryForImage(s.keys[k], s.current, s.entries_image);
  }
}

void ForgetCurrentEntries(DriverState& s) {
  s.entries_pending = 0;
  for (KeyState& key : s.keys) key.current_entry.clear();
}

Status GetByKey(DatFileInstance& file, int index) {
  KeyState* key = nullptr;
  ZUNA_RETURN_IF_ERROR(OpenKey(file, index, &key));
  ZUNA_RETURN_IF_ERROR(RefreshHeader(file, RefreshMode::kLock));
  if (key->decl.optional && key->encoder.IsBlank(file.record())) {
    return NotFound(key->decl.label + ": blank value");
  }
  // Record number 0 and an exact value match: the value's first entry,
  // which is its lowest record number.
  const std::string probe = key->encoder.MakeEntry(0, file.record());
  KeyPosition position;
  ZUNA_RETURN_IF_ERROR(key->file->Search(probe, /*exact_value=*/true, &position));
  if (position.state != SearchState::kFound) {
    return NotFound(key->decl.label + ": no such value");
  }
  return LoadRecord(file, position.record_no());
}

Status GetByOrdinal(DatFileInstance& file, int index, uint32_t ordinal) {
  KeyState* key = nullptr;
  ZUNA_RETURN_IF_ERROR(OpenKey(file, index, &key));
  ZUNA_RETURN_IF_ERROR(RefreshHeader(file, RefreshMode::kLock));
  KeyPosition position;
  bool found = false;
  if (ordinal >= 1) ZUNA_RETURN_IF_ERROR(key->file->EntryAt(ordinal, &position, &found));
  if (!found) return NotFound(key->decl.label + ": ordinal " + std::to_string(ordinal));
  return LoadRecord(file, position.record_no());
}

Status RegetFile(DatFileInstance& file, std::string_view position,
                 uint32_t record_no) {
  if (!position.empty() && !DecodeFilePosition(position, &record_no)) {
    return NotFound("malformed file position");
  }
  return LoadRecord(file, record_no);
}

Status RegetKey(DatFileInstance& file, int index, std::string_view position) {
  KeyState* key = nullptr;
  ZUNA_RETURN_IF_ERROR(OpenKey(file, index, &key));
  if (position.size() != key->encoder.entry_length()) {
    return NotFound(key->decl.label + ": malformed key position");
  }
  return LoadRecord(file, DecodeFixed32(position.data()));
}

Status ReleaseHeld(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  if (s.held == 0) return Status::OK();
  const uint32_t record_no = s.held;
  s.held = 0;
  // The status byte is read and written back whole: no other station may
  // change the slot in between.
  ZUNA_RETURN_IF_ERROR(TakeHeaderByte(file));
  SlotPrefix prefix;
  ZUNA_RETURN_IF_ERROR(s.data->ReadPrefix(record_no, &prefix));
  if (!prefix.held()) return Status::OK();
  const uint8_t status = prefix.status & ~dat::kStatusHeld;
  ZUNA_RETURN_IF_ERROR(s.data->WriteStatus(record_no, status));
  if (s.current == record_no) s.current_prefix.status = status;
  return Status::OK();
}

void PositionFile(const DatFileInstance& file, std::string* position) {
  const uint32_t current = file.driver_state().current;
  *position = current == 0 ? std::string() : EncodeFilePosition(current);
}

Status PositionKey(DatFileInstance& file, int index, std::string* position) {
  KeyState* key = nullptr;
  ZUNA_RETURN_IF_ERROR(OpenKey(file, index, &key));
  MakeCurrentEntries(file);
  *position = file.driver_state().current == 0 ? std::string() : key->current_entry;
  return Status::OK();
}

Status PointerKey(DatFileInstance& file, int index, uint32_t* ordinal) {
  KeyState* key = nullptr;
  ZUNA_RETURN_IF_ERROR(OpenKey(file, index, &key));
  MakeCurrentEntries(file);
  *ordinal = 0;
  if (file.driver_state().current == 0 || key->current_entry.empty()) {
    return Status::OK();
  }
  ZUNA_RETURN_IF_ERROR(RefreshHeader(file, RefreshMode::kLock));
  return key->file->OrdinalOf(key->current_entry, ordinal);
}

Status Records(DatFileInstance& file, uint32_t* records) {
  ZUNA_RETURN_IF_ERROR(RefreshHeader(file, RefreshMode::kLock));
  *records = file.driver_state().data->Records();
  return Status::OK();
}

Status RecordsKey(DatFileInstance& file, int index, uint32_t* records) {
  KeyState* key = nullptr;
  ZUNA_RETURN_IF_ERROR(OpenKey(file, index, &key));
  if (file.driver_state().shared) ZUNA_RETURN_IF_ERROR(key->file->Refresh());
  *records = key->file->entry_count();
  return Status::OK();
}

Status Duplicate(DatFileInstance& file, int index, uint32_t* answer) {
  DriverState& s = file.driver_state();
  *answer = 0;
  ZUNA_RETURN_IF_ERROR(RefreshHeader(file, RefreshMode::kLock));
  for (size_t k = 0; k < s.keys.size(); ++k) {
    if (index >= 0 && static_cast<size_t>(index) != k) continue;
    KeyState* key = nullptr;
    if (index >= 0) {
      ZUNA_RETURN_IF_ERROR(OpenKey(file, index, &key));
    } else if (s.keys[k].maintained && s.keys[k].file) {
      key = &s.keys[k];
    } else {
      continue;
    }
    bool duplicate = false;
    ZUNA_RETURN_IF_ERROR(IsDuplicate(*key, EntryFor(file, *key, s.current),
                                     s.current, &duplicate));
    if (duplicate) {
      *answer = 1;
      return Status::OK();
    }
  }
  if (index >= 0 && static_cast<size_t>(index) >= s.keys.size()) {
    KeyState* key = nullptr;
    return OpenKey(file, index, &key);  // 47: no such key
  }
  return Status::OK();
}

}  // namespace zuna::datfile::driver
