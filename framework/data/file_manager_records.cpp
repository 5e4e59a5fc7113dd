// FileManager: reading, inserting, changing and deleting records, priming
// new ones and numbering auto-numbered keys.
#include <algorithm>
#include <cstring>
#include <string>

#include "framework/data/assertion.h"
#include "framework/data/file_manager.h"
#include "runtime/datfile/status.h"
#include "runtime/values/error_state.h"
#include "runtime/values/locale.h"

namespace zuna::framework {
namespace {

using datfile::Err::kDuplicateKey;
using datfile::Err::kRecordChanged;
using datfile::Err::kRecordHeld;
using datfile::Err::kRecordNotAvailable;

// Whether two values of one key component fall in the same place of the
// key: text through the locale (case-folded for a NOCASE key), numbers by
// value.
bool SameKeyValue(const values::VariableRef& a, const values::VariableRef& b,
                  bool nocase) {
  if (values::IsNumeric(a.type)) {
    return values::ReadReal(a) == values::ReadReal(b);
  }
  const std::string left = values::ReadString(a);
  const std::string right = values::ReadString(b);
  return nocase ? values::CompareStringsNoCase(left, right) == 0
                : values::CompareStrings(left, right) == 0;
}

}  // namespace

// --- Reading --------------------------------------------------------------

uint8_t FileManager::Fetch(datfile::Key key) {
  const uint8_t level = TryFetch(key);
  if (level != Level::Benign && !Buffer.empty() && File != nullptr) {
    ClearRecord();
  }
  return level;
}

uint8_t FileManager::TryFetch(datfile::Key key) {
  if (UseFile(UseType::Use) != Level::Benign) return Level::Fatal;
  if (!RequireInit()) return Level::Fatal;
  SetKey(key);
  const int32_t error = datfile::GET(*File, key);
  return error == 0 ? Level::Benign : Level::Notify;
}

uint8_t FileManager::Next() { return NextServer(1, 0); }
uint8_t FileManager::Previous() { return NextServer(1, 1); }
uint8_t FileManager::TryNext() { return NextServer(0, 0); }
uint8_t FileManager::TryPrevious() { return NextServer(0, 1); }

uint8_t FileManager::NextServer(uint8_t handle_errors, uint8_t backwards) {
  if (UseFile(UseType::Use) != Level::Benign) return Level::Fatal;
  if (!RequireInit()) return Level::Fatal;
  for (;;) {
    AtEOF = 0;
    if (UseMRP && driver_mrp_size_ == 0) driver_mrp_size_ = MRPSize;
    const int32_t error =
        backwards ? datfile::PREVIOUS(*File) : datfile::NEXT(*File);
    if (error == 0) return Level::Benign;
    if (error == kRecordNotAvailable) {
      AtEOF = 1;
      return Level::Notify;
    }
    if (error == kRecordHeld) {
      if (SkipHeldRecords) {
        // A failed read leaves the sequence before the held record: step
        // over it without reading it, and read on from there.
        datfile::SKIP(*File, backwards ? -1 : 1);
        continue;
      }
      SetError(Msg::RecordHeldElsewhere);
      return handle_errors ? Throw() : Level::Notify;
    }
    SetError(Msg::RecordAccessFailed);
    return handle_errors ? Throw() : Level::Fatal;
  }
}

std::string FileManager::Position() {
  if (UseFile(UseType::Use) != Level::Benign) return {};
  if (!RequireInit()) return {};
  std::string position;
  const KeyRow* primary = (PrimaryKey > 0 && PrimaryKey <= Keys->size())
                              ? &(*Keys)[PrimaryKey - 1]
                              : nullptr;
  position = primary ? datfile::POSITION(*File, primary->Key)
                     : datfile::POSITION(*File);
  if (position.size() > kPositionLimit) position.resize(kPositionLimit);
  return position;
}

uint8_t FileManager::TryReget(std::string_view position) {
  if (UseFile(UseType::Use) != Level::Benign) return Level::Fatal;
  if (!RequireInit()) return Level::Fatal;
  const KeyRow* primary = (PrimaryKey > 0 && PrimaryKey <= Keys->size())
                              ? &(*Keys)[PrimaryKey - 1]
                              : nullptr;
  const int32_t error = primary ? datfile::REGET(*File, primary->Key, position)
                                 : datfile::REGET(*File, position);
  return error == 0 ? Level::Benign : Level::Notify;
}

// --- Validation -----------------------------------------------------------

uint8_t FileManager::ValidateField(int32_t id) {
  return ValidateFieldServer(id, 1);
}

uint8_t FileManager::TryValidateField(int32_t id) {
  return ValidateFieldServer(id, 0);
}

uint8_t FileManager::ValidateFieldServer(int32_t id, uint8_t handle_errors) {
  if (AliasedFile == nullptr) return Level::Benign;
  // The aliased file's checks read its own buffer: lend it this record.
  int32_t saved = AliasedFile->SaveBuffer();
  const size_t n = std::min(Buffer.size(), AliasedFile->Buffer.size());
  std::memcpy(AliasedFile->Buffer.data(), Buffer.data(), n);
  const uint8_t level = AliasedFile->ValidateFieldServer(id, handle_errors);
  AliasedFile->RestoreBuffer(saved, 1);
  return level;
}

uint8_t FileManager::ValidateFields(int32_t low, int32_t high,
                                    int32_t* failed) {
  for (int32_t id = low; id <= high; ++id) {
    const uint8_t level = ValidateField(id);
    if (level != Level::Benign) {
      if (failed != nullptr) *failed = id;
      return level;
    }
  }
  return Level::Benign;
}

uint8_t FileManager::ValidateRecord(int32_t* failed) {
  if (AliasedFile != nullptr) {
    int32_t saved = AliasedFile->SaveBuffer();
    const size_t n = std::min(Buffer.size(), AliasedFile->Buffer.size());
    std::memcpy(AliasedFile->Buffer.data(), Buffer.data(), n);
    const uint8_t level = AliasedFile->ValidateRecord(failed);
    AliasedFile->RestoreBuffer(saved, 1);
    return level;
  }
  const int32_t count =
      File ? static_cast<int32_t>(File->declaration().fields.size()) : 0;
  return ValidateFields(1, count, failed);
}

// --- Writing --------------------------------------------------------------

uint8_t FileManager::Insert() { return InsertServer(1); }
uint8_t FileManager::TryInsert() { return InsertServer(0); }
uint8_t FileManager::Update() { return UpdateServer(1); }
uint8_t FileManager::TryUpdate() { return UpdateServer(0); }

std::optional<std::string> FileManager::DuplicatedKey() {
  for (const KeyRow& row : *Keys) {
    if (row.Dups) continue;
    bool duplicated = false;
    duplicated = datfile::DUPLICATE(*File, row.Key);
    if (!duplicated) {
      // The runtime's check leaves the current record out (it answers for
      // a change of that record), yet the record just read may be the very
      // one the new record collides with: look the key value up.
      int32_t saved = SaveBuffer();
      duplicated = datfile::GET(*File, row.Key) == 0;
      RestoreBuffer(saved, 1);
    }
    if (duplicated) return KeyName(row);
  }
  return std::nullopt;
}

uint8_t FileManager::InsertServer(uint8_t handle_errors) {
  if (UseFile(UseType::Use) != Level::Benign) return Level::Fatal;
  if (!RequireInit()) return Level::Fatal;
  if (ValidateRecord() != Level::Benign) return Level::Notify;
  driver_mrp_size_ = 0;
  int32_t error = 0;
  if (HasAutoInc) {
    if (AutoIncDone) {
      error = datfile::PUT(*File);
    } else {
      const uint8_t level = handle_errors ? PrimeAutoInc() : TryPrimeAutoInc();
      if (level != Level::Benign) return Level::Notify;
    }
  } else {
    error = datfile::ADD(*File);
  }
  if (error == 0) {
    AutoIncDone = 0;
    return Level::Benign;
  }
  if (error == kDuplicateKey) {
    // The add's runtime error, captured before the duplicate checks post
    // their own, and posted again for the message to show.
    SetError(Msg::DuplicateKey);
    const std::string file_error_code = values::FILEERRORCODE();
    const std::string file_error = values::FILEERROR();
    const std::optional<std::string> key = DuplicatedKey();
    values::PostFileError(error, file_error_code, file_error);
    // With no key found the message still says what happened, with an
    // empty key name, rather than failing without a word.
    const std::string description = key.value_or(std::string());
    Errors->SetKey(description);
    if (!handle_errors) {
      // Kept for a later Throw(): %Message names the key there too.
      Errors->SetMessageText(description);
      return Level::Notify;
    }
    ThrowMessage(Msg::DuplicateKey, description);
    return Level::Notify;
  }
  SetError(Msg::InsertFailed);
  return handle_errors ? Throw() : Level::Notify;
}

uint8_t FileManager::UpdateServer(uint8_t handle_errors) {
  if (UseFile(UseType::Use) != Level::Benign) return Level::Fatal;
  if (!RequireInit()) return Level::Fatal;
  if (ValidateRecord() != Level::Benign) return Level::User;
  const std::string position = Position();
  const int32_t error = datfile::PUT(*File);
  if (error == 0) return Level::Benign;
  if (error == kRecordChanged) {
    SetError(Msg::RecordChangedElsewhere);
    if (handle_errors) Throw();
    // Watch again and show the other station's version: the next change
    // of it succeeds unless it changes once more.
    datfile::WATCH(*File);
    TryReget(position);
    return Level::Notify;
  }
  SetError(Msg::UpdateFailed);
  return handle_errors ? Throw() : Level::Notify;
}

uint8_t FileManager::DeleteRecord(uint8_t query) {
  if (query && Throw(Msg::ConfirmDelete) != Level::Benign) {
    return Level::Cancel;
  }
  if (UseFile(UseType::Use) != Level::Benign) return Level::Fatal;
  if (!RequireInit()) return Level::Fatal;
  const int32_t error = datfile::DELETE(*File);
  if (error != 0) {
    SetError(Msg::DeleteFailed);
    return Level::Notify;
  }
  return Level::Benign;
}

// --- New records and auto numbering ---------------------------------------

uint8_t FileManager::PrimeRecord(uint8_t suppress_clear) {
  if (AliasedFile != nullptr) {
    // The aliased manager primes (and numbers) on its own buffer; this
    // record and the auto-numbering state are copied back.
    int32_t saved = AliasedFile->SaveBuffer();
    const size_t n = std::min(Buffer.size(), AliasedFile->Buffer.size());
    std::memcpy(AliasedFile->Buffer.data(), Buffer.data(), n);
    const uint8_t level = AliasedFile->PrimeRecord(suppress_clear);
    std::memcpy(Buffer.data(), AliasedFile->Buffer.data(), n);
    AutoIncDone = AliasedFile->AutoIncDone;
    AliasedFile->RestoreBuffer(saved, 1);
    return level;
  }
  if (UseFile(UseType::Use) != Level::Benign) return Level::Fatal;
  if (!RequireInit()) return Level::Fatal;
  if (!suppress_clear) ClearRecord();
  PrimeFields();
  if (HasAutoInc) {
    AutoIncDone = 0;
    return PrimeAutoInc();
  }
  return Level::Benign;
}

uint8_t FileManager::PrimeAutoInc() { return PrimeAutoIncServer(1); }
uint8_t FileManager::TryPrimeAutoInc() { return PrimeAutoIncServer(0); }

uint8_t FileManager::NumberAutoIncKeys(uint8_t handle_errors) {
  for (KeyRow& row : *Keys) {
    if (!row.AutoInc || row.Fields.empty()) continue;
    Errors->SetKey(KeyName(row));
    int32_t saved = SaveBuffer();
    BufferRow* image = nullptr;
    for (BufferRow& buffer : *Buffers) {
      if (buffer.Id == saved) image = &buffer;
    }
    datfile::NOMEMO(*File);
    const uint8_t components = static_cast<uint8_t>(row.Fields.size());
    const KeyFieldRow& last = row.Fields.back();
    // The end of the records with the buffer's leading values: the last
    // component at the value that comes last in the key's order, then one
    // step back (forward for a descending component, whose highest number
    // comes first).
    ClearKey(row.Key, components, components, last.Ascend ? 1 : 0);
    int32_t error = datfile::SET(*File, row.Key, row.Key);
    if (error == 0) {
      error = last.Ascend ? datfile::PREVIOUS(*File) : datfile::NEXT(*File);
    }
    double next_value = 1;
    if (error == 0) {
      bool same_group = image != nullptr;
      for (size_t i = 0; same_group && i + 1 < row.Fields.size(); ++i) {
        values::VariableRef before = row.Fields[i].Field;
        before.address = image->Image.data() +
                         (static_cast<char*>(row.Fields[i].Field.address) -
                          Buffer.data());
        same_group = SameKeyValue(row.Fields[i].Field, before, row.NoCase);
      }
      if (same_group) next_value = values::ReadReal(last.Field) + 1;
    } else if (error != kRecordNotAvailable) {
      SetError(Msg::RecordAccessFailed);
      RestoreBuffer(saved, 1);
      return handle_errors ? Throw() : Level::Notify;
    }
    RestoreBuffer(saved, 1);
    values::WriteReal(last.Field, next_value);
  }
  return Level::Benign;
}

uint8_t FileManager::PrimeAutoIncServer(uint8_t handle_errors) {
  if (UseFile(UseType::Use) != Level::Benign) return Level::Fatal;
  if (!RequireInit()) return Level::Fatal;
  if (!HasAutoInc || AutoIncDone) return Level::Benign;
  driver_mrp_size_ = 0;
  for (;;) {
    int32_t error = 0;
    for (int attempt = 0; attempt < kAutoIncAttempts; ++attempt) {
      const uint8_t level = NumberAutoIncKeys(handle_errors);
      if (level != Level::Benign) return level;
      // Added at once, so no other station can take the same number.
      error = datfile::ADD(*File);
      if (error == 0) {
        AutoIncDone = 1;
        return Level::Benign;
      }
    }
    SetError(Msg::AutoNumberRetry);
    if (error == kDuplicateKey) {
      Errors->SetKey(DuplicatedKey().value_or(std::string()));
    }
    if (!handle_errors || Throw() != Level::Benign) return Level::Notify;
  }
}

uint8_t FileManager::CancelAutoInc(RelatedDeleteInterface* relation) {
  if (!HasAutoInc || !AutoIncDone) return Level::Benign;
  const uint8_t level =
      relation != nullptr ? relation->Delete(0) : DeleteRecord(0);
  if (level == Level::Benign) AutoIncDone = 0;
  return level;
}

}  // namespace zuna::framework
