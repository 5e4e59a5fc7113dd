#include "framework/data/error_status.h"

#include <atomic>
#include <unordered_map>

namespace zuna::framework {
namespace {

uint64_t NextSerial() {
  static std::atomic<uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

// Each thread's groups, one per ErrorStatusClass it has used; freed when the
// thread ends.
std::unordered_map<uint64_t, ErrorStatusGroup>& ThisThreadGroups() {
  thread_local std::unordered_map<uint64_t, ErrorStatusGroup> groups;
  return groups;
}

}  // namespace

std::string StatusText(std::string_view text) {
  return std::string(text.substr(0, kStatusTextLimit));
}

ErrorStatusClass::ErrorStatusClass() : serial_(NextSerial()) {}

ErrorStatusGroup& ErrorStatusClass::ThisThread() {
  return ThisThreadGroups()[serial_];
}

void ErrorStatusClass::ReleaseThisThread() { ThisThreadGroups().erase(serial_); }

}  // namespace zuna::framework
