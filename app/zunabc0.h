// The register's file managers: Hide_Access_ZUN, the file manager of ZUN,
// and Hide_Relate_ZUN, its relation manager (ZUN has no relations, so it
// manages ZUN alone, with every change and delete in a transaction).
// Procedures reach them through the thread's references Access_ZUN and
// Relate_ZUN, null while the thread's dictionary is not initialised.
//
// Life cycle on a thread (ZUNABC0::DctInit, FilesInit, DctKill):
//   DctInit    makes both managers (owned by Hide_Access_ZUN_Ref and
//              Hide_Relate_ZUN_Ref) and sets Relate_ZUN;
//   FilesInit  Hide_Relate_ZUN::Init: the file manager's light Init (which
//              sets Access_ZUN), then the relation manager's, UseLogout 1;
//   first use  Hide_Access_ZUN::UseFile runs the full Init: Create 1,
//              LockRecover 10, the keys "ZUN:zun_key" and "ZUN:key2";
//   DctKill    kills both and disposes them; the references are null again.
// Errors go to GlobalErrors naming the file "zun".
//
// Threads: everything here is the calling thread's own: the FILE instance
// (ZUN is declared THREAD), the managers and the references.
#ifndef ZUNA_APP_ZUNABC0_H_
#define ZUNA_APP_ZUNABC0_H_

#include <cstdint>
#include <memory>

#include "framework/data/file_manager.h"
#include "framework/data/relation_manager.h"
#include "runtime/datfile/file_instance.h"

namespace zuna::app {

// The calling thread's instance of ZUN, made on first use; its record
// buffer is the ZUN_Record of the thread.  Closed (when open) as the
// thread ends.
datfile::DatFileInstance& ZUN();

class Hide_Access_ZUN final : public framework::FileManager {
 public:
  using framework::FileManager::Init;
  // The buffer, the name "zun", GlobalErrors and the thread's ZUN, then
  // the light Init; sets Access_ZUN.
  void Init() override;
  // FileManager::Kill, then clears Access_ZUN.
  void Kill() override;
  // The full Init on the thread's first use of the file (any use type
  // first runs the Initialize one), then FileManager::UseFile.
  uint8_t UseFile(uint8_t use_type = framework::UseType::Use) override;
};

class Hide_Relate_ZUN final : public framework::RelationManager {
 public:
  using framework::RelationManager::Init;
  // Hide_Access_ZUN's Init, then RelationManager::Init(*Access_ZUN, 1).
  void Init();
  // Kills and disposes the file manager, then RelationManager::Kill;
  // clears Relate_ZUN.
  void Kill() override;
};

// The thread's references.
extern thread_local std::unique_ptr<Hide_Access_ZUN> Hide_Access_ZUN_Ref;
extern thread_local std::unique_ptr<Hide_Relate_ZUN> Hide_Relate_ZUN_Ref;
extern thread_local framework::FileManager* Access_ZUN;
extern thread_local framework::RelationManager* Relate_ZUN;

namespace ZUNABC0 {
void DctInit();
void FilesInit();
// Does nothing on a thread whose dictionary is not initialised.
void DctKill();
}  // namespace ZUNABC0

}  // namespace zuna::app

#endif  // ZUNA_APP_ZUNABC0_H_
