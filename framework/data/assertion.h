// The framework's internal assertions: a programming error inside the
// framework (a manager used before Init, a missing mapping, a failed queue
// operation) is reported in a message box titled "Assertion Failed" that
// names the failed check, the source module and the line, and then the
// program goes on.  These are not user messages and are not in the error
// manager's message table.  Use this, not assert(), everywhere in the
// framework.
//
// The report is shown through the installed FrameworkHost.  A report raised
// while the calling thread holds a framework lock must not block other
// threads behind a modal box: code that takes such a lock keeps a
// DeferredAssertions object alive across it (declared before the lock, so
// it outlives it), and reports raised meanwhile on that thread wait until
// the last such object of the thread is gone.
//
// Threads: any thread.  Deferral is per thread.
#ifndef ZUNA_FRAMEWORK_DATA_ASSERTION_H_
#define ZUNA_FRAMEWORK_DATA_ASSERTION_H_

#include <cstdint>
#include <source_location>
#include <string>
#include <string_view>

namespace zuna::framework {

inline constexpr std::string_view kAssertionCaption = "Assertion Failed";

// The text of the report: the check, then the module (the source file's name
// without its directory) and the line, e.g.
//   "Identifier not found.\n\nModule: error_manager.cpp\nLine: 120".
std::string AssertionText(std::string_view check,
                          const std::source_location& where);

// Reports the failed `check` (Windows-1251 text) and returns.
void AssertionFailed(
    std::string_view check,
    const std::source_location& where = std::source_location::current());

// Reports `check` when `condition` is false; returns `condition`.
inline bool Assert(
    bool condition, std::string_view check,
    const std::source_location& where = std::source_location::current()) {
  if (!condition) AssertionFailed(check, where);
  return condition;
}

// While an object of this class lives on a thread, that thread's reports
// are queued; when the last one goes, they are shown in the order raised.
class DeferredAssertions final {
 public:
  DeferredAssertions();
  ~DeferredAssertions();
  DeferredAssertions(const DeferredAssertions&) = delete;
  DeferredAssertions& operator=(const DeferredAssertions&) = delete;
};

// The number of reports made in this process so far (shown or still
// queued); for tests and diagnostics.
uint64_t AssertionCount();

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_DATA_ASSERTION_H_
