// FileManager: saved buffers and file states, the field list, keys and
// their order texts, and the runtime's clear of the record.
#include <algorithm>
#include <cfloat>
#include <cstring>
#include <limits>
#include <string>

#include "framework/data/assertion.h"
#include "framework/data/file_manager.h"
#include "runtime/datfile/declaration.h"
#include "runtime/values/code_page.h"
#include "runtime/values/error_state.h"
#include "runtime/values/locale.h"

namespace zuna::framework {
namespace {

using datfile::FieldDecl;
using datfile::FieldType;
using values::VarType;

// The runtime keeps no null values: the null-flag image of a saved buffer
// is empty, stored only so the ids of one saved buffer keep their layout.
const std::string kNoNullFlags;

values::VariableRef FieldRef(const FieldDecl& field, std::span<char> buffer) {
  values::VariableRef ref;
  // DECIMAL has no value type: it is seen as its raw bytes.
  ref.type = datfile::FieldValueType(field.type).value_or(VarType::kString);
  ref.size = datfile::ElementLength(field);
  if (static_cast<size_t>(field.offset) + field.size <= buffer.size()) {
    ref.address = buffer.data() + field.offset;
  }
  for (uint16_t dimension : field.dimensions) {
    if (ref.dimension_count == values::kMaxDimensions) break;
    ref.dimensions[ref.dimension_count++] = dimension;
  }
  return ref;
}

// The weight a key of the file gives character `ch`: an OEM file's keys
// weigh its 866 form; -1 for a character an OEM file cannot hold.
int KeyWeight(char ch, bool oem, const values::LocaleTables& tables) {
  if (!oem) return tables.collation[static_cast<uint8_t>(ch)];
  const char stored = values::Cp1251ToCp866(ch);
  if (values::Cp866ToCp1251(stored) != ch) return -1;
  return tables.oem_collation[static_cast<uint8_t>(stored)];
}

// The character of lowest (`highest` false) or highest weight in the file's
// keys; for a case-insensitive key only characters that upper-casing keeps.
char ExtremeCharacter(bool highest, bool nocase, bool oem) {
  const values::LocaleTables& tables = values::Locale();
  int best = -1;
  int best_weight = 0;
  for (int c = 0; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    if (nocase && values::ToUpper(ch, tables) != ch) continue;
    const int weight = KeyWeight(ch, oem, tables);
    if (weight < 0) continue;
    if (best < 0 || (highest ? weight > best_weight : weight < best_weight)) {
      best = c;
      best_weight = weight;
    }
  }
  return static_cast<char>(best < 0 ? 0 : best);
}

// Sets `ref` to the lowest or highest value its type holds in the order of
// a key of the file (`oem`: the file keeps its text in 866).
void SetExtreme(const values::VariableRef& ref, bool highest, bool nocase,
                bool oem) {
  if (ref.address == nullptr) return;
  switch (ref.type) {
    case VarType::kByte:
    case VarType::kShort:
    case VarType::kUShort:
    case VarType::kLong:
    case VarType::kULong:
      // WriteReal saturates to the type's own range.
      values::WriteReal(ref, highest ? 1e300 : -1e300);
      return;
    case VarType::kSReal:
      values::WriteReal(ref, highest ? FLT_MAX : -FLT_MAX);
      return;
    case VarType::kReal:
      values::WriteReal(ref, highest ? DBL_MAX : -DBL_MAX);
      return;
    case VarType::kString:
      std::memset(ref.address, ExtremeCharacter(highest, nocase, oem), ref.size);
      return;
    default:
      if (ref.size == 0) return;
      values::WriteString(ref, highest ? std::string(ref.size, ExtremeCharacter(
                                                                   true, nocase, oem))
                                       : std::string());
      return;
  }
}

// Blank text, zero numbers: the runtime's clear of one field.
void ClearField(const FieldDecl& field, char* data) {
  const char fill =
      (field.type == FieldType::kString) ? ' ' : '\0';
  std::memset(data, fill, field.size);
}

}  // namespace

// --- Fields and the record ------------------------------------------------

void FileManager::BuildFields() {
  Fields->clear();
  for (const FieldDecl& field : File->declaration().fields) {
    Fields->push_back({field.label, FieldRef(field, Buffer)});
  }
}

void FileManager::ClearRecord() {
  if (File == nullptr) return;
  const datfile::FileDecl& decl = File->declaration();
  for (const FieldDecl& field : decl.fields) {
    // A GROUP is cleared through its member fields.
    if (field.type == FieldType::kGroup) continue;
    if (static_cast<size_t>(field.offset) + field.size > Buffer.size()) continue;
    ClearField(field, Buffer.data() + field.offset);
  }
  if (decl.memo) {
    std::span<char> memo = File->memo();
    std::fill(memo.begin(), memo.end(), decl.memo->binary ? '\0' : ' ');
  }
}

// --- Saved buffers --------------------------------------------------------

int32_t FileManager::SaveBuffer() {
  if (!RequireInit()) return 0;
  const int32_t id = Buffers->empty() ? 1 : Buffers->back().Id + 1;
  Buffers->push_back({id, std::string(Buffer.data(), Buffer.size())});
  int32_t next = id + 1;
  if (File->declaration().memo) {
    std::span<const char> memo = File->memo();
    Buffers->push_back({next++, std::string(memo.data(), memo.size())});
  }
  Buffers->push_back({next, kNoNullFlags});
  return id;
}

void FileManager::RestoreFrom(FileManager& source, int32_t& id,
                              uint8_t release, bool copy) {
  if (!RequireInit() || !source.Buffers) {
    AssertionFailed("Restore handle is invalid");
    return;
  }
  std::vector<BufferRow>& rows = *source.Buffers;
  const auto row_of = [&](int32_t wanted) {
    return std::find_if(rows.begin(), rows.end(),
                        [&](const BufferRow& row) { return row.Id == wanted; });
  };
  const auto record = row_of(id);
  if (record == rows.end()) {
    AssertionFailed("Restore handle is invalid");
    return;
  }
  const bool has_memo = File->declaration().memo.has_value();
  const int32_t memo_id = id + 1;
  const int32_t nulls_id = id + (has_memo ? 2 : 1);
  if (has_memo && row_of(memo_id) == rows.end()) {
    AssertionFailed(
        "Restore handle is invalid (memo does not appear to have been "
        "stored)");
    return;
  }
  if (row_of(nulls_id) == rows.end()) {
    AssertionFailed(
        "Restore handle is invalid (nullity information not appear to have "
        "been stored)");
    return;
  }
  if (copy) {
    std::memcpy(Buffer.data(), record->Image.data(),
                std::min(Buffer.size(), record->Image.size()));
  }
  if (copy && has_memo) {
    const std::string& image = row_of(memo_id)->Image;
    std::span<char> memo = File->memo();
    std::memcpy(memo.data(), image.data(), std::min(memo.size(), image.size()));
  }
  if (release) {
    const int32_t first = id;
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [&](const BufferRow& row) {
                                return row.Id >= first && row.Id <= nulls_id;
                              }),
               rows.end());
    id = 0;
  }
}

void FileManager::RestoreBuffer(int32_t& id, uint8_t release) {
  RestoreFrom(*this, id, release);
}

void FileManager::ReleaseBuffer(int32_t& id) {
  RestoreFrom(*this, id, 1, /*copy=*/false);
}

void FileManager::RestoreBuffer(int32_t& id, FileManager& other,
                                uint8_t release) {
  RestoreFrom(other, id, release);
}

uint8_t FileManager::EqualBuffer(int32_t id) {
  if (!RequireInit()) return 0;
  const auto row_of = [&](int32_t wanted) -> const BufferRow* {
    for (const BufferRow& row : *Buffers) {
      if (row.Id == wanted) return &row;
    }
    return nullptr;
  };
  const BufferRow* record = row_of(id);
  if (record == nullptr ||
      record->Image != std::string_view(Buffer.data(), Buffer.size())) {
    return 0;
  }
  if (File->declaration().memo) {
    const BufferRow* memo = row_of(id + 1);
    std::span<const char> now = File->memo();
    if (memo == nullptr ||
        memo->Image != std::string_view(now.data(), now.size())) {
      return 0;
    }
  }
  return 1;
}

// --- Saved file states ----------------------------------------------------

int32_t FileManager::SaveFile() {
  if (!RequireInit()) return 0;
  SavedFileRow row;
  row.Id = Saved->empty() ? 1 : Saved->back().Id + 1;
  row.BufferId = SaveBuffer();
  row.Key = current_key_;
  row.Used = Used;
  row.AtEOF = AtEOF;
  if (Used) {
    row.Position = row.Key >= 0
                       ? datfile::POSITION(*File, datfile::Key{row.Key})
                       : datfile::POSITION(*File);
  }
  Saved->push_back(std::move(row));
  return Saved->back().Id;
}

void FileManager::RestoreFile(int32_t& id, uint8_t restore_buffer) {
  RestoreFile(id, *this, restore_buffer);
}

void FileManager::RestoreFile(int32_t& id, FileManager& other,
                              uint8_t restore_buffer) {
  if (!RequireInit() || !other.Saved) {
    AssertionFailed("Restore handle is invalid");
    return;
  }
  std::vector<SavedFileRow>& rows = *other.Saved;
  const auto found =
      std::find_if(rows.begin(), rows.end(),
                   [&](const SavedFileRow& row) { return row.Id == id; });
  if (found == rows.end()) {
    AssertionFailed("Restore handle is invalid");
    return;
  }
  SavedFileRow row = *found;
  rows.erase(found);
  InRestore = 1;
  if (!row.Used && Used) {
    // Closed when saved: closed again.  The callback sets the counts.
    datfile::CLOSE(*File);
  } else if (row.Used && Used && !row.Position.empty()) {
    // The record current then becomes current again, and the sequence
    // goes on after it; the caller's buffer survives the re-read.
    int32_t callers = SaveBuffer();
    const datfile::Key key{row.Key};
    int32_t error = row.Key >= 0 ? datfile::RESET(*File, key, row.Position)
                                 : datfile::RESET(*File, row.Position);
    if (error == 0) datfile::NEXT(*File);
    RestoreBuffer(callers, 1);
  }
  current_key_ = row.Key;
  AtEOF = row.AtEOF;
  if (restore_buffer) {
    RestoreFrom(other, row.BufferId, 1);
  } else if (other.Buffers) {
    // Released without restoring.
    const int32_t first = row.BufferId;
    std::vector<BufferRow>& buffers = *other.Buffers;
    const int32_t last = first + (File->declaration().memo ? 2 : 1);
    buffers.erase(std::remove_if(buffers.begin(), buffers.end(),
                                 [&](const BufferRow& buffer) {
                                   return buffer.Id >= first &&
                                          buffer.Id <= last;
                                 }),
                  buffers.end());
  }
  InRestore = 0;
  id = 0;
}

// --- Keys -----------------------------------------------------------------

std::string FileManager::KeyName(const KeyRow& row) const {
  if (!row.Description.empty()) return row.Description;
  const auto& keys = File->declaration().keys;
  return (row.Key.index >= 0 && static_cast<size_t>(row.Key.index) < keys.size())
             ? keys[row.Key.index].label
             : std::string();
}

KeyRow* FileManager::FindKey(datfile::Key key) {
  if (Keys) {
    for (KeyRow& row : *Keys) {
      if (row.Key.index == key.index) return &row;
    }
  }
  AssertionFailed("Key not added to FileManager");
  return nullptr;
}

void FileManager::AddKey(datfile::Key key, std::string_view description,
                         uint8_t auto_inc) {
  if (!RequireInit()) return;
  const auto& keys = File->declaration().keys;
  if (key.index < 0 || static_cast<size_t>(key.index) >= keys.size()) {
    AssertionFailed("Key not added to FileManager");
    return;
  }
  const datfile::KeyDecl& decl = keys[key.index];
  KeyRow row;
  row.Key = key;
  row.Description = std::string(description);
  row.AutoInc = auto_inc ? 1 : 0;
  row.Dups = (decl.duplicates || decl.index) ? 1 : 0;
  row.NoCase = decl.nocase ? 1 : 0;
  for (const datfile::KeyComponent& component : decl.components) {
    const FieldDecl& field = File->declaration().fields.at(component.field);
    KeyFieldRow part;
    part.Field = FieldRef(field, Buffer);
    // A case-insensitive key orders text upper-cased: so does its order
    // text.  Numbers have no case.
    const bool text = values::IsStringType(part.Field.type) &&
                      field.type != FieldType::kDecimal &&
                      field.type != FieldType::kGroup;
    part.FieldName = (decl.nocase && text) ? "UPPER(" + field.label + ")"
                                           : field.label;
    part.Ascend = 1;  // the declaration knows ascending components only
    row.Fields.push_back(std::move(part));
  }
  Keys->push_back(std::move(row));
  if (decl.primary) PrimaryKey = static_cast<uint8_t>(Keys->size());
  if (auto_inc) HasAutoInc = 1;
}

void FileManager::SetKey(datfile::Key key) {
  current_key_ = key.index;
  if (const KeyRow* row = FindKey(key); row != nullptr && Errors != nullptr) {
    Errors->SetKey(KeyName(*row));
  }
}

void FileManager::ClearKey(datfile::Key key, uint8_t low, uint8_t high,
                           uint8_t order) {
  const KeyRow* row = FindKey(key);
  if (row == nullptr) return;
  const size_t last = std::min<size_t>(high, row->Fields.size());
  for (size_t i = std::max<size_t>(low, 1); i <= last; ++i) {
    const KeyFieldRow& part = row->Fields[i - 1];
    // Last in the key's order is the highest value of an ascending
    // component and the lowest of a descending one.
    const bool highest = (order != 0) == (part.Ascend != 0);
    SetExtreme(part.Field, highest, row->NoCase != 0,
               File != nullptr && File->declaration().oem);
  }
}

std::string FileManager::KeyToOrder(datfile::Key key, uint8_t start) {
  const KeyRow* row = FindKey(key);
  if (row == nullptr) return {};
  std::string order;
  for (size_t i = std::max<size_t>(start, 1); i <= row->Fields.size(); ++i) {
    const KeyFieldRow& part = row->Fields[i - 1];
    if (!order.empty()) order += ',';
    order += part.Ascend ? '+' : '-';
    order += part.FieldName;
  }
  return order;
}

uint8_t FileManager::GetComponents(datfile::Key key) {
  const KeyRow* row = FindKey(key);
  return row == nullptr ? 0 : static_cast<uint8_t>(row->Fields.size());
}

values::VariableRef FileManager::GetField(datfile::Key key,
                                          uint8_t component) {
  const KeyRow* row = FindKey(key);
  if (row == nullptr || component < 1 || component > row->Fields.size()) {
    return {};
  }
  return row->Fields[component - 1].Field;
}

std::string FileManager::GetFieldName(datfile::Key key, uint8_t component) {
  const KeyRow* row = FindKey(key);
  if (row == nullptr || component < 1 || component > row->Fields.size()) {
    return {};
  }
  return row->Fields[component - 1].FieldName;
}

uint8_t FileManager::GetFieldAscending(datfile::Key key, uint8_t component) {
  const KeyRow* row = FindKey(key);
  if (row == nullptr || component < 1 || component > row->Fields.size()) {
    return 0;
  }
  return row->Fields[component - 1].Ascend;
}

}  // namespace zuna::framework
