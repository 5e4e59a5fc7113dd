// The local calendar date and clock as the runtime sees them: TODAY(),
// CLOCK() and the current year that widens two-digit years.
//
// The source is injectable.  By default it is the system clock (localtime_r,
// clock_gettime); ZUNA_TODAY=YYYYMMDD in the environment fixes the calendar
// date for the whole process (the time of day still runs), and tests or
// tools install their own Clock with SetClock().  The current year is read
// once from the installed clock and cached until SetClock() is called again.
//
// Thread-safety: every function may be called from any thread.  SetClock()
// is meant for start-up and tests; the clock object must outlive its use.
#ifndef ZUNA_RUNTIME_VALUES_CLOCK_H_
#define ZUNA_RUNTIME_VALUES_CLOCK_H_

#include <cstdint>
#include <optional>
#include <string_view>

namespace zuna::values {

struct LocalDateTime {
  int year = 0;
  int month = 0;  // 1-12
  int day = 0;    // 1-31
  int32_t centiseconds = 0;  // since midnight, 0 .. 8639999
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalDateTime Now() const = 0;
};

// The system's local time, with the date replaced by ZUNA_TODAY when that
// variable holds a valid YYYYMMDD (read once, at first use).
const Clock& SystemClock();

// A clock that always answers the same moment.
class FixedClock final : public Clock {
 public:
  explicit FixedClock(LocalDateTime now) : now_(now) {}
  LocalDateTime Now() const override { return now_; }

 private:
  LocalDateTime now_;
};

// The system clock with its calendar date replaced: what a --today option
// fixes (TODAY() and the year two-digit years widen against), while the
// time of day keeps running.
class FixedDateClock final : public Clock {
 public:
  explicit FixedDateClock(LocalDateTime date) : date_(date) {}
  LocalDateTime Now() const override;

 private:
  LocalDateTime date_;
};

// Installs `clock` for the whole process (nullptr: back to SystemClock()) and
// forgets the cached current year.  REQUIRES: `clock` outlives its use.
void SetClock(const Clock* clock);

// Parses "YYYYMMDD" into a valid calendar date (1801-9999); nullopt otherwise.
std::optional<LocalDateTime> ParseYyyymmdd(std::string_view text);

// Today's date serial (date_serial.h) from the installed clock.
int32_t TODAY();

// The time serial of the installed clock: hundredths since midnight plus one.
int32_t CLOCK();

// The current year, read once from the installed clock and cached.
int CurrentYear();

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_CLOCK_H_
