// CriticalProcedure: holds a framework object's critical section for a
// scope.  Critical sections are recursive mutexes: an object's methods call
// each other (and overrides call back into the object) while the section is
// held.  Internal assertions raised on this thread while the section is held
// are shown only once it has been released (assertion.h), so a modal report
// never keeps other threads waiting on the section.
//
//   CriticalProcedure critical(CritSect);
#ifndef ZUNA_FRAMEWORK_DATA_CRITICAL_PROCEDURE_H_
#define ZUNA_FRAMEWORK_DATA_CRITICAL_PROCEDURE_H_

#include <mutex>

#include "framework/data/assertion.h"

namespace zuna::framework {

class CriticalProcedure final {
 public:
  explicit CriticalProcedure(std::recursive_mutex& crit_sect)
      : lock_(crit_sect) {}
  CriticalProcedure(const CriticalProcedure&) = delete;
  CriticalProcedure& operator=(const CriticalProcedure&) = delete;

 private:
  DeferredAssertions deferred_;  // declared first: released after the lock
  std::unique_lock<std::recursive_mutex> lock_;
};

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_DATA_CRITICAL_PROCEDURE_H_
