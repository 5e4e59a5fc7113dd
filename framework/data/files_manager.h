// FilesManager: the files registry of one thread.  It maps each FILE to its
// file manager and its relation manager, and keeps, per procedure, a note
// of the files the procedure used, so that a calling procedure finds its
// record buffer and position as it left them when a procedure it called
// closes the file.
//
// Usage notes (the file manager tells the registry, file_usage_registry.h):
//   NoteOpen    the calling procedure opened the file again: its note's
//               NestedOpen rises;
//   NoteUsage   the first use by a procedure adds its note; a use by a
//               procedure called from one that already used the file saves
//               the file's state for the caller (SaveFile, held in Hold)
//               when the use type is below 3 (Return);
//   NoteClose   the procedure's close: a nested open is counted down, else
//               a held state is restored (RestoreFile, the record buffer
//               too when UStat is below 3) and the note goes.
// The procedure is the calling thread's current procedure name as the
// file manager's error manager knows it (ErrorClass::GetProcedureName).
//
// Misuse is an internal assertion: "Mapping for file already exists for
// the FM" / "... for the RM" when a second manager registers for a file.
//
// Threads: one FilesManager per thread, made by ThreadFilesManager on the
// thread's first call and installed as the thread's files registry;
// destroyed when the thread ends.  Nothing in it is shared.
#ifndef ZUNA_FRAMEWORK_DATA_FILES_MANAGER_H_
#define ZUNA_FRAMEWORK_DATA_FILES_MANAGER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "framework/data/file_usage_registry.h"
#include "runtime/datfile/file_instance.h"

namespace zuna::framework {

class FileManager;
class RelationManager;

// A FILE's identity within the process (a THREAD file's instances each
// have their own).
using FileId = intptr_t;

struct FileMappingRow {
  FileId Id = 0;
  FileManager* FM = nullptr;
};

struct RelationMappingRow {
  FileId Id = 0;
  RelationManager* RM = nullptr;
};

struct UsageNoteRow {
  FileManager* FM = nullptr;
  std::string Proc;       // the procedure that used the file
  uint8_t UStat = 0;      // the highest use type noted
  int32_t Hold = 0;       // the saved file state, 0 when none
  int32_t ScopeLevel = 0;
  int32_t NestedOpen = 0;  // further opens by the same procedure
};

class FilesManager final : public FileUsageRegistry {
 public:
  FilesManager();
  ~FilesManager() override;
  FilesManager(const FilesManager&) = delete;
  FilesManager& operator=(const FilesManager&) = delete;

  void AddFileMapping(FileManager& manager) override;
  void AddFileMapping(RelationManager& manager);
  void RemoveFileMapping(FileManager& manager) override;
  void RemoveFileMapping(FileId id);
  void RemoveRelationFileMapping(RelationManager& manager);
  void RemoveRelationFileMapping(FileId id);
  // nullptr when the file has no manager on this thread.
  FileManager* GetFileMapping(FileId id) const;
  RelationManager* GetRelationFileMapping(FileId id) const;
  static FileId GetFileID(const datfile::DatFileInstance& file);

  void NoteOpen(FileManager& manager) override;
  void NoteClose(FileManager& manager) override;
  void NoteUsage(FileManager& manager, uint8_t use_type) override;
  // 1 when the calling procedure has a note for the file.
  uint8_t FindRecord(FileManager& manager);

  // The queues, ordered by Id (the notes in the order they were made).
  const std::vector<FileMappingRow>& FileMapping() const { return files_; }
  const std::vector<RelationMappingRow>& RelationMapping() const {
    return relations_;
  }
  const std::vector<UsageNoteRow>& StatusQ() const { return notes_; }

 private:
  // The calling procedure's note for `manager`; nullptr when none.
  UsageNoteRow* FindNote(FileManager& manager, const std::string& proc);
  static std::string ProcedureOf(FileManager& manager);

  std::vector<FileMappingRow> files_;
  std::vector<RelationMappingRow> relations_;
  std::vector<UsageNoteRow> notes_;
  FileUsageRegistry* replaced_ = nullptr;  // the registry installed before
  friend FilesManager& ThreadFilesManager();
};

// The calling thread's FilesManager, made (and installed as the thread's
// files registry) on first call.
FilesManager& ThreadFilesManager();

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_DATA_FILES_MANAGER_H_
