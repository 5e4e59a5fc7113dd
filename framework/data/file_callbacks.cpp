#include "framework/data/file_callbacks.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/datfile/statements.h"

namespace zuna::framework {
namespace {

using Registry =
    std::unordered_map<const datfile::DatFileInstance*,
                       std::vector<FileCallbackInterface*>>;

// Set when the thread's registry has been destroyed at thread exit.  A
// plain bool needs no destructor, so it stays readable while the thread's
// other objects (a per-thread dictionary and its managers, destroyed after
// the registry when they were made before it) unregister themselves.
thread_local bool registry_gone = false;

struct RegistryHolder {
  Registry registry;
  ~RegistryHolder() { registry_gone = true; }
};

// The calling thread's registry; nullptr once it is gone.
Registry* ThisThreadRegistry() {
  if (registry_gone) return nullptr;
  thread_local RegistryHolder holder;
  return &holder.registry;
}

// A copy of the callbacks for `file`: a callback may unregister itself (or
// another) while it is being told.
std::vector<FileCallbackInterface*> CallbacksOf(
    const datfile::DatFileInstance& file) {
  const Registry* registry = ThisThreadRegistry();
  if (registry == nullptr) return {};
  const auto found = registry->find(&file);
  if (found == registry->end()) return {};
  return found->second;
}

bool StillRegistered(const datfile::DatFileInstance& file,
                     FileCallbackInterface* callback) {
  const Registry* registry = ThisThreadRegistry();
  if (registry == nullptr) return false;
  const auto found = registry->find(&file);
  return found != registry->end() &&
         std::find(found->second.begin(), found->second.end(), callback) !=
             found->second.end();
}

// Hears every statement of the process and tells the callbacks the
// statement's thread registered for its FILE.
class CallbackObserver final : public datfile::StatementObserver {
 public:
  void Before(datfile::DatFileInstance& file, datfile::Op op) override {
    const uint16_t code = FileFunctionCode(op);
    for (FileCallbackInterface* callback : CallbacksOf(file)) {
      if (StillRegistered(file, callback)) callback->FunctionCalled(code);
    }
  }
  void After(datfile::DatFileInstance& file, datfile::Op op,
             int32_t error) override {
    const uint16_t code = FileFunctionCode(op);
    for (FileCallbackInterface* callback : CallbacksOf(file)) {
      if (StillRegistered(file, callback)) callback->FunctionDone(code, error);
    }
  }
};

// Installed once and never destroyed: statements of threads still running
// at exit may reach it.
void InstallObserverOnce() {
  static const bool installed = [] {
    datfile::SetStatementObserver(new CallbackObserver);
    return true;
  }();
  (void)installed;
}

}  // namespace

void RegisterFileCallback(datfile::DatFileInstance& file,
                          FileCallbackInterface* callback) {
  Registry* registry = ThisThreadRegistry();
  if (callback == nullptr || registry == nullptr) return;
  InstallObserverOnce();
  std::vector<FileCallbackInterface*>& list = (*registry)[&file];
  if (std::find(list.begin(), list.end(), callback) == list.end()) {
    list.push_back(callback);
  }
}

void UnregisterFileCallback(datfile::DatFileInstance& file,
                            FileCallbackInterface* callback) {
  Registry* registry = ThisThreadRegistry();
  if (registry == nullptr) return;
  const auto found = registry->find(&file);
  if (found == registry->end()) return;
  std::vector<FileCallbackInterface*>& list = found->second;
  list.erase(std::remove(list.begin(), list.end(), callback), list.end());
  if (list.empty()) registry->erase(found);
}

bool IsFileCallbackRegistered(datfile::DatFileInstance& file,
                              FileCallbackInterface* callback) {
  return StillRegistered(file, callback);
}

uint16_t FileFunctionCode(datfile::Op op) {
  using datfile::Op;
  switch (op) {
    case Op::Open: case Op::Share: return FileFunction::kOpen;
    case Op::Create: return FileFunction::kCreate;
    case Op::Close: return FileFunction::kClose;
    case Op::Destroy: return FileFunction::kDestroy;
    case Op::Add: return FileFunction::kAdd;
    case Op::AddFileLen: return FileFunction::kAddLen;
    case Op::Append: return FileFunction::kAppend;
    case Op::AppendLen: return FileFunction::kAppendLen;
    case Op::Put: return FileFunction::kPut;
    case Op::PutFilePtr: return FileFunction::kPutPtr;
    case Op::PutFilePtrLen: return FileFunction::kPutPtrLen;
    case Op::Delete: return FileFunction::kDelete;
    case Op::GetFileKey: case Op::GetKeyPtr: return FileFunction::kGetKey;
    case Op::GetFilePtr: case Op::RegetFile: case Op::RegetKey:
      return FileFunction::kReget;
    case Op::SetFile: case Op::SetFilePtr: case Op::ResetFile:
    case Op::SetFileKey: case Op::SetKey: case Op::SetKeyKey:
    case Op::SetKeyKeyPtr: case Op::SetKeyPtr: case Op::ResetKey:
    case Op::Skip:
      return FileFunction::kSet;
    case Op::Next: return FileFunction::kNext;
    case Op::Previous: return FileFunction::kPrevious;
    case Op::PositionFile: case Op::PositionKey: return FileFunction::kPosition;
    case Op::Duplicate: case Op::DuplicateKey: return FileFunction::kDuplicate;
    case Op::Watch: return FileFunction::kWatch;
    case Op::NoMemo: return FileFunction::kNoMemo;
    case Op::BuildFile: case Op::BuildKey: case Op::BuildDyn:
    case Op::BuildDynFilter:
      return FileFunction::kBuild;
    case Op::Send: return FileFunction::kSend;
    default: return FileFunction::kOther;
  }
}

}  // namespace zuna::framework
