#include "tools/zunatool/wait_for_others.h"

#include <thread>
#include <utility>

#include "tools/zunatool/command.h"
#include "tools/zunatool/file_errors.h"

namespace zuna::tool {
namespace {

// Other programs hold a register for one operation (milliseconds) or a
// transaction (seconds); a tenth of a second keeps the wait short without
// busying the file.
constexpr std::chrono::milliseconds kPause{100};

}  // namespace

WaitForOthers::WaitForOthers(std::string label, std::string reason)
    : label_(std::move(label)),
      reason_(std::move(reason)),
      give_up_(std::chrono::steady_clock::now() + WaitLimit()) {}

bool WaitForOthers::Again() {
  if (!said_) {
    said_ = true;
    NoteOnStderr(label_, reason_ + " (не дольше " +
                             std::to_string(WaitLimit().count()) + " с)");
  }
  if (std::chrono::steady_clock::now() >= give_up_) return false;
  std::this_thread::sleep_for(kPause);
  return true;
}

}  // namespace zuna::tool
