#include "framework/data/files_manager.h"

#include <algorithm>
#include <string_view>

#include "framework/data/assertion.h"
#include "framework/data/error_manager.h"
#include "framework/data/file_manager.h"
#include "framework/data/relation_manager.h"

namespace zuna::framework {
namespace {

// Both mapping queues are kept ordered by Id.
template <typename Row>
typename std::vector<Row>::iterator LowerBound(std::vector<Row>& rows,
                                              FileId id) {
  return std::lower_bound(
      rows.begin(), rows.end(), id,
      [](const Row& row, FileId wanted) { return row.Id < wanted; });
}

template <typename Row>
const Row* FindMapping(const std::vector<Row>& rows, FileId id) {
  auto at = std::lower_bound(
      rows.begin(), rows.end(), id,
      [](const Row& row, FileId wanted) { return row.Id < wanted; });
  return at != rows.end() && at->Id == id ? &*at : nullptr;
}

// Inserts `row` in Id order.  The same manager registering again keeps its
// row; another manager for a mapped file is the assertion `duplicate`.
template <typename Row, typename Manager>
void AddMapping(std::vector<Row>& rows, const Row& row, Manager* Row::*manager,
                std::string_view duplicate) {
  auto at = LowerBound(rows, row.Id);
  if (at != rows.end() && at->Id == row.Id) {
    if ((*at).*manager != row.*manager) AssertionFailed(duplicate);
    return;
  }
  rows.insert(at, row);
}

template <typename Row>
void RemoveMapping(std::vector<Row>& rows, FileId id) {
  auto at = LowerBound(rows, id);
  if (at != rows.end() && at->Id == id) rows.erase(at);
}

FileId IdOf(const FileManager& manager) {
  return manager.File != nullptr ? FilesManager::GetFileID(*manager.File) : 0;
}

}  // namespace

FilesManager::FilesManager() = default;

FilesManager::~FilesManager() {
  if (ThreadFileUsageRegistry() == this) {
    SetThreadFileUsageRegistry(replaced_);
  }
}

FileId FilesManager::GetFileID(const datfile::DatFileInstance& file) {
  return reinterpret_cast<FileId>(&file);
}

// --- Mappings -------------------------------------------------------------

void FilesManager::AddFileMapping(FileManager& manager) {
  AddMapping(files_, FileMappingRow{IdOf(manager), &manager},
             &FileMappingRow::FM, "Mapping for file already exists for the FM");
}

void FilesManager::AddFileMapping(RelationManager& manager) {
  const FileId id = manager.Me != nullptr ? IdOf(*manager.Me) : 0;
  AddMapping(relations_, RelationMappingRow{id, &manager},
             &RelationMappingRow::RM,
             "Mapping for file already exists for the RM");
}

void FilesManager::RemoveFileMapping(FileManager& manager) {
  // The manager's notes go with it: nobody may restore through it later.
  std::erase_if(notes_, [&](const UsageNoteRow& note) {
    return note.FM == &manager;
  });
  std::erase_if(files_, [&](const FileMappingRow& row) {
    return row.FM == &manager;
  });
}

void FilesManager::RemoveFileMapping(FileId id) { RemoveMapping(files_, id); }

void FilesManager::RemoveRelationFileMapping(RelationManager& manager) {
  std::erase_if(relations_, [&](const RelationMappingRow& row) {
    return row.RM == &manager;
  });
}

void FilesManager::RemoveRelationFileMapping(FileId id) {
  RemoveMapping(relations_, id);
}

FileManager* FilesManager::GetFileMapping(FileId id) const {
  const FileMappingRow* row = FindMapping(files_, id);
  return row != nullptr ? row->FM : nullptr;
}

RelationManager* FilesManager::GetRelationFileMapping(FileId id) const {
  const RelationMappingRow* row = FindMapping(relations_, id);
  return row != nullptr ? row->RM : nullptr;
}

// --- Usage notes ----------------------------------------------------------

std::string FilesManager::ProcedureOf(FileManager& manager) {
  return manager.Errors != nullptr ? manager.Errors->GetProcedureName()
                                   : std::string();
}

UsageNoteRow* FilesManager::FindNote(FileManager& manager,
                                     const std::string& proc) {
  for (UsageNoteRow& note : notes_) {
    if (note.FM == &manager && note.Proc == proc) return &note;
  }
  return nullptr;
}

uint8_t FilesManager::FindRecord(FileManager& manager) {
  return FindNote(manager, ProcedureOf(manager)) != nullptr ? 1 : 0;
}

void FilesManager::NoteOpen(FileManager& manager) {
  if (UsageNoteRow* note = FindNote(manager, ProcedureOf(manager))) {
    ++note->NestedOpen;
  }
}

void FilesManager::NoteUsage(FileManager& manager, uint8_t use_type) {
  const std::string proc = ProcedureOf(manager);
  if (UsageNoteRow* note = FindNote(manager, proc)) {
    note->UStat = std::max(note->UStat, use_type);
    return;
  }
  const bool used_by_caller =
      std::any_of(notes_.begin(), notes_.end(),
                  [&](const UsageNoteRow& row) { return row.FM == &manager; });
  UsageNoteRow note;
  note.FM = &manager;
  note.Proc = proc;
  note.UStat = use_type;
  // A procedure called from one that was using the file: keep the caller's
  // record and position so the close of this one can give them back.
  if (used_by_caller && use_type < UseType::Return) {
    note.Hold = manager.SaveFile();
  }
  notes_.push_back(std::move(note));
}

void FilesManager::NoteClose(FileManager& manager) {
  const std::string proc = ProcedureOf(manager);
  auto it = std::find_if(notes_.begin(), notes_.end(),
                         [&](const UsageNoteRow& note) {
                           return note.FM == &manager && note.Proc == proc;
                         });
  if (it == notes_.end()) return;
  if (it->NestedOpen > 0) {
    --it->NestedOpen;
    return;
  }
  int32_t hold = it->Hold;
  const uint8_t restore_buffer = it->UStat < UseType::Return ? 1 : 0;
  notes_.erase(it);
  // Restored after the note is gone: RestoreFile may open or read the file
  // again, which must not find (and change) the note being closed.
  if (hold != 0) manager.RestoreFile(hold, restore_buffer);
}

// --- The thread's registry ------------------------------------------------

FilesManager& ThreadFilesManager() {
  // Made on the thread's first call and installed as its files registry;
  // the registry it replaces (a test's) comes back when it goes.
  thread_local FilesManager manager;
  thread_local bool installed = false;
  if (!installed) {
    installed = true;
    manager.replaced_ = SetThreadFileUsageRegistry(&manager);
  }
  return manager;
}

}  // namespace zuna::framework
