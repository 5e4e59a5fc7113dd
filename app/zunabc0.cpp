#include "app/zunabc0.h"

#include "app/globals.h"
#include "app/zun_dictionary.h"
#include "framework/data/files_manager.h"
#include "runtime/datfile/statements.h"

namespace zuna::app {
namespace {

// The thread's ZUN; the thread's end closes it after its managers are gone
// (they are made later and destroyed first).
struct ThreadZun {
  datfile::DatFileInstance file{ZunDeclaration()};
  ~ThreadZun() {
    if (file.is_open()) datfile::CLOSE(file);
  }
};

}  // namespace

thread_local std::unique_ptr<Hide_Access_ZUN> Hide_Access_ZUN_Ref;
thread_local std::unique_ptr<Hide_Relate_ZUN> Hide_Relate_ZUN_Ref;
thread_local framework::FileManager* Access_ZUN = nullptr;
thread_local framework::RelationManager* Relate_ZUN = nullptr;

datfile::DatFileInstance& ZUN() {
  thread_local ThreadZun zun;
  return zun.file;
}

// --- Hide_Access_ZUN -------------------------------------------------------

void Hide_Access_ZUN::Init() {
  Initialized = 0;
  Buffer = ZUN().record();
  FileNameValue = "zun";
  SetErrors(GlobalErrors);
  File = &ZUN();
  FileManager::Init();
  Access_ZUN = this;
}

void Hide_Access_ZUN::Kill() {
  FileManager::Kill();
  Access_ZUN = nullptr;
}

uint8_t Hide_Access_ZUN::UseFile(uint8_t use_type) {
  if (use_type != framework::UseType::Initialize) {
    UseFile(framework::UseType::Initialize);
  } else if (!Initialized) {
    InUseFile = 1;
    Init(ZUN(), GlobalErrors);
    Create = 1;
    LockRecover = 10;
    AddKey(datfile::Key{kZunKeyIndex}, "ZUN:zun_key", 0);
    AddKey(datfile::Key{kKey2Index}, "ZUN:key2", 0);
  }
  return FileManager::UseFile(use_type);
}

// --- Hide_Relate_ZUN -------------------------------------------------------

void Hide_Relate_ZUN::Init() {
  Hide_Access_ZUN_Ref->Init();
  RelationManager::Init(*Access_ZUN, 1);
}

void Hide_Relate_ZUN::Kill() {
  if (Hide_Access_ZUN_Ref) Hide_Access_ZUN_Ref->Kill();
  RelationManager::Kill();
  Relate_ZUN = nullptr;
  Hide_Access_ZUN_Ref.reset();
}

// --- The module's procedures -----------------------------------------------

namespace ZUNABC0 {

void DctInit() {
  // The thread's files registry must exist before the file manager's light
  // Init registers with it.
  framework::ThreadFilesManager();
  Hide_Access_ZUN_Ref = std::make_unique<Hide_Access_ZUN>();
  Hide_Relate_ZUN_Ref = std::make_unique<Hide_Relate_ZUN>();
  Relate_ZUN = Hide_Relate_ZUN_Ref.get();
}

void FilesInit() { Hide_Relate_ZUN_Ref->Init(); }

void DctKill() {
  if (!Hide_Relate_ZUN_Ref) return;
  Hide_Relate_ZUN_Ref->Kill();
  Hide_Relate_ZUN_Ref.reset();
}

}  // namespace ZUNABC0
}  // namespace zuna::app
