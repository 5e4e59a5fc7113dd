#include "framework/data/file_callbacks.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/values/error_state.h"

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

}  // namespace

void RegisterFileCallback(datfile::DatFileInstance& file,
                          FileCallbackInterface* callback) {
  Registry* registry = ThisThreadRegistry();
  if (callback == nullptr || registry == nullptr) return;
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

int32_t CallFileFunction(datfile::DatFileInstance& file, uint16_t code,
                         const std::function<int32_t()>& statement) {
  for (FileCallbackInterface* callback : CallbacksOf(file)) {
    if (StillRegistered(file, callback)) callback->FunctionCalled(code);
  }
  const int32_t error = statement();
  const std::vector<FileCallbackInterface*> after = CallbacksOf(file);
  if (after.empty()) return error;
  // A callback may run statements of its own; the caller must still see
  // this operation's outcome.
  const std::string file_error_code = values::FILEERRORCODE();
  const std::string file_error = values::FILEERROR();
  for (FileCallbackInterface* callback : after) {
    if (StillRegistered(file, callback)) callback->FunctionDone(code, error);
  }
  if (error == 0) {
    values::ClearError();
  } else {
    values::PostFileError(error, file_error_code, file_error);
  }
  return error;
}

}  // namespace zuna::framework
