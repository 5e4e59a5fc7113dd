#include "framework/data/file_usage_registry.h"

namespace zuna::framework {
namespace {

FileUsageRegistry*& ThisThreadRegistry() {
  thread_local FileUsageRegistry* registry = nullptr;
  return registry;
}

}  // namespace

FileUsageRegistry* ThreadFileUsageRegistry() { return ThisThreadRegistry(); }

FileUsageRegistry* SetThreadFileUsageRegistry(FileUsageRegistry* registry) {
  FileUsageRegistry* previous = ThisThreadRegistry();
  ThisThreadRegistry() = registry;
  return previous;
}

}  // namespace zuna::framework
