// Sequential access: SET stores where a sequence starts; the first NEXT or
// PREVIOUS after it positions there and reads, later ones step.
//
// The sequence is a cursor (file_instance.h, SequenceState).  Before its
// first step it is one of the SET kinds; afterwards it is kStepping at the
// record (file order) or entry (key order) last reached.  A step that finds
// nothing leaves the cursor where it was and notes which end it ran off
// (off_end = +1 past the end, -1 before the start): from there, a step in
// the same direction finds nothing again (33), a step back starts over from
// that end.  EOF and BOF ask the same question a step would, without moving.
//
// File order runs between logical BOF and logical EOF, skipping deleted
// slots; with IGNORESTATUS it runs over every slot, 1 to record slots.
#include <algorithm>
#include <cstdint>
#include <string>

#include "runtime/datfile/coding.h"
#include "runtime/datfile/driver_internal.h"

namespace zuna::datfile::driver {
namespace {

Status PastTheEnd() {
  return Status::Error(Err::kRecordNotAvailable, "no more records");
}

struct FileRange {
  uint32_t low = 0;
  uint32_t high = 0;  // 0: no record to visit
};

FileRange Bounds(const DriverState& s) {
  const DatHeader& header = s.data->header();
  if (s.switches.ignore_status) {
    return {header.record_slots == 0 ? 0u : 1u, header.record_slots};
  }
  return {header.logical_bof, header.logical_eof};
}

// The first record from `from` on, in `direction`, that a step may land on.
Status FindInFile(DatFileInstance& file, int64_t from, int direction,
                  uint32_t* found) {
  DriverState& s = file.driver_state();
  *found = 0;
  const FileRange range = Bounds(s);
  if (range.high == 0 || range.low == 0) return Status::OK();
  for (int64_t r = from; r >= range.low && r <= range.high; r += direction) {
    const uint32_t record_no = static_cast<uint32_t>(r);
    if (s.switches.ignore_status) {
      *found = record_no;
      return Status::OK();
    }
    SlotPrefix prefix;
    ZUNA_RETURN_IF_ERROR(s.data->ReadPrefix(record_no, &prefix));
    if (!prefix.deleted()) {
      *found = record_no;
      return Status::OK();
    }
  }
  return Status::OK();
}

// The record the next step in `direction` lands on; 0 when none.
Status NextInFile(DatFileInstance& file, int direction, uint32_t* found) {
  const DriverState& s = file.driver_state();
  const SequenceState& seq = s.sequence;
  const FileRange range = Bounds(s);
  const int64_t from_end = direction > 0 ? range.low : range.high;
  int64_t start = 0;
  switch (seq.kind) {
    case SequenceKind::kFileStart:
      start = from_end;
      break;
    case SequenceKind::kFileFrom:
      if (seq.record_no > range.high) {
        start = range.high;
      } else if (seq.record_no < range.low) {
        start = direction > 0 ? range.low : range.high;
      } else {
        start = seq.record_no;
      }
      break;
    default:  // kStepping
      if (seq.off_end == direction) {
        *found = 0;
        return Status::OK();
      }
      start = seq.off_end == -direction ? from_end
                                        : int64_t{seq.record_no} + direction;
      break;
  }
  return FindInFile(file, start, direction, found);
}

Status EndOfKey(KeyFile& key_file, int direction, KeyPosition* position,
                bool* found) {
  ZUNA_RETURN_IF_ERROR(direction > 0 ? key_file.First(position)
                                     : key_file.Last(position));
  *found = position->state != SearchState::kPastEnd;
  return Status::OK();
}

// The entry the next step in `direction` lands on.
Status NextInKey(DatFileInstance& file, KeyState& key, int direction,
                 KeyPosition* position, bool* found) {
  const SequenceState& seq = file.driver_state().sequence;
  KeyFile& key_file = *key.file;
  *found = false;
  switch (seq.kind) {
    case SequenceKind::kKeyStart:
      return EndOfKey(key_file, direction, position, found);
    case SequenceKind::kKeyFrom: {
      // Without a record number the start takes in every entry of the value:
      // forwards from its first (record 0), backwards from its last.
      std::string probe = seq.entry;
      if (!seq.entry_has_record) {
        EncodeFixed32(probe.data(), direction > 0 ? 0u : UINT32_MAX);
      }
      ZUNA_RETURN_IF_ERROR(key_file.Search(probe, false, position));
      if (direction > 0 || position->state == SearchState::kFound) {
        *found = position->state != SearchState::kPastEnd;
        return Status::OK();
      }
      return key_file.Previous(position, found);
    }
    case SequenceKind::kKeyOrdinal:
      if (seq.ordinal >= 1) {
        ZUNA_RETURN_IF_ERROR(key_file.EntryAt(seq.ordinal, position, found));
      }
      if (!*found && direction < 0 && seq.ordinal >= 1) {
        return EndOfKey(key_file, direction, position, found);
      }
      return Status::OK();
    default:  // kStepping
      if (seq.off_end == direction) return Status::OK();
      if (seq.off_end == -direction) {
        return EndOfKey(key_file, direction, position, found);
      }
      *position = seq.position;
      return direction > 0 ? key_file.Next(position, found)
                           : key_file.Previous(position, found);
  }
}

// Where the next step lands: *record_no (0 when nothing) and, in key order,
// *position.
Status Peek(DatFileInstance& file, int direction, uint32_t* record_no,
            KeyPosition* position) {
  DriverState& s = file.driver_state();
  *record_no = 0;
  ZUNA_RETURN_IF_ERROR(RefreshHeader(file, RefreshMode::kLock));
  if (s.sequence.key < 0) return NextInFile(file, direction, record_no);
  KeyState* key = nullptr;
  ZUNA_RETURN_IF_ERROR(OpenKey(file, s.sequence.key, &key));
  bool found = false;
  ZUNA_RETURN_IF_ERROR(NextInKey(file, *key, direction, position, &found));
  if (found) *record_no = position->record_no();
  return Status::OK();
}

void MoveTo(SequenceState& seq, uint32_t record_no, const KeyPosition& position) {
  seq.kind = SequenceKind::kStepping;
  seq.off_end = 0;
  seq.record_no = record_no;
  seq.position = position;
}

void RunOff(SequenceState& seq, int direction) {
  seq.kind = SequenceKind::kStepping;
  seq.off_end = direction;
}

}  // namespace

Status SetFile(DatFileInstance& file, SequenceKind kind, uint32_t record_no) {
  SequenceState& seq = file.driver_state().sequence;
  seq = SequenceState{};
  seq.kind = kind;
  seq.record_no = record_no;
  return Status::OK();
}

Status SetFileByKey(DatFileInstance& file, int index) {
  KeyState* key = nullptr;
  ZUNA_RETURN_IF_ERROR(OpenKey(file, index, &key));
  ZUNA_RETURN_IF_ERROR(RefreshHeader(file, RefreshMode::kLock));
  KeyPosition position;
  ZUNA_RETURN_IF_ERROR(
      key->file->Search(key->encoder.MakeEntry(0, file.record()), false, &position));
  SequenceState& seq = file.driver_state().sequence;
  seq = SequenceState{};
  if (position.state == SearchState::kPastEnd) {
    // Nothing at or above the value: NEXT finds nothing, PREVIOUS the last.
    seq.record_no = 0;
    RunOff(seq, +1);
    return Status::OK();
  }
  seq.kind = SequenceKind::kFileFrom;
  seq.record_no = position.record_no();
  return Status::OK();
}

Status SetKey(DatFileInstance& file, int index, SequenceKind kind,
              std::string entry, bool has_record, uint32_t ordinal) {
  KeyState* key = nullptr;
  ZUNA_RETURN_IF_ERROR(OpenKey(file, index, &key));
  if (kind == SequenceKind::kKeyFrom && entry.size() != key->encoder.entry_length()) {
    return Status::Error(Err::kRecordNotFound, key->decl.label + ": malformed key position");
  }
  SequenceState& seq = file.driver_state().sequence;
  seq = SequenceState{};
  seq.kind = kind;
  seq.key = index;
  seq.entry = std::move(entry);
  seq.entry_has_record = has_record;
  seq.ordinal = ordinal;
  return Status::OK();
}

Status SetKeyFromBuffer(DatFileInstance& file, int index, bool with_record,
                        uint32_t record_no) {
  KeyState* key = nullptr;
  ZUNA_RETURN_IF_ERROR(OpenKey(file, index, &key));
  const uint32_t start = with_record ? std::max<uint32_t>(record_no, 1) : 0;
  return SetKey(file, index, SequenceKind::kKeyFrom,
                key->encoder.MakeEntry(start, file.record()), with_record, 0);
}

Status Step(DatFileInstance& file, int direction) {
  SequenceState& seq = file.driver_state().sequence;
  if (seq.kind == SequenceKind::kNone) {
    return Status::Error(Err::kRecordNotAvailable, "no sequence (SET first)");
  }
  uint32_t record_no = 0;
  KeyPosition position;
  ZUNA_RETURN_IF_ERROR(Peek(file, direction, &record_no, &position));
  if (record_no == 0) {
    RunOff(seq, direction);
    return PastTheEnd();
  }
  ZUNA_RETURN_IF_ERROR(LoadRecord(file, record_no));
  MoveTo(seq, record_no, position);
  return Status::OK();
}

Status Skip(DatFileInstance& file, int32_t count) {
  SequenceState& seq = file.driver_state().sequence;
  if (seq.kind == SequenceKind::kNone) {
    return Status::Error(Err::kRecordNotAvailable, "no sequence (SET first)");
  }
  const int direction = count < 0 ? -1 : +1;
  for (int64_t i = 0; i < (count < 0 ? -int64_t{count} : int64_t{count}); ++i) {
    uint32_t record_no = 0;
    KeyPosition position;
    ZUNA_RETURN_IF_ERROR(Peek(file, direction, &record_no, &position));
    if (record_no == 0) {
      RunOff(seq, direction);
      return PastTheEnd();
    }
    MoveTo(seq, record_no, position);
  }
  return Status::OK();
}

Status AtEnd(DatFileInstance& file, int direction, uint32_t* answer) {
  *answer = 1;
  if (file.driver_state().sequence.kind == SequenceKind::kNone) return Status::OK();
  uint32_t record_no = 0;
  KeyPosition position;
  ZUNA_RETURN_IF_ERROR(Peek(file, direction, &record_no, &position));
  *answer = record_no == 0 ? 1 : 0;
  return Status::OK();
}

}  // namespace zuna::datfile::driver
