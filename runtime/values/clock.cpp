#include "runtime/values/clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "runtime/values/date_serial.h"

namespace zuna::values {
namespace {

class SystemLocalClock final : public Clock {
 public:
  SystemLocalClock() {
    if (const char* fixed = std::getenv("ZUNA_TODAY")) {
      fixed_date_ = ParseYyyymmdd(fixed);
    }
  }

  LocalDateTime Now() const override {
    using std::chrono::system_clock;
    const system_clock::time_point now = system_clock::now();
    const std::time_t whole = system_clock::to_time_t(now);
    const auto fraction = now - system_clock::from_time_t(whole);
    // Every stamped header write asks for the time; localtime_r cost more
    // than the rest of such a write.  The same second breaks down the same
    // way, so each thread keeps the last one it broke down.
    thread_local std::time_t kept_whole = -1;
    thread_local tm kept_local{};
    if (whole != kept_whole) {
      if (localtime_r(&whole, &kept_local) == nullptr) kept_local = tm{};
      kept_whole = whole;
    }
    const tm& local = kept_local;
    LocalDateTime result;
    result.year = local.tm_year + 1900;
    result.month = local.tm_mon + 1;
    result.day = local.tm_mday;
    // A leap second (tm_sec 60) is folded into the last valid hundredth.
    const int32_t seconds = local.tm_hour * 3600 + local.tm_min * 60 +
                            (local.tm_sec > 59 ? 59 : local.tm_sec);
    result.centiseconds = seconds * 100 +
                          static_cast<int32_t>(std::max<int64_t>(
                              0, std::chrono::duration_cast<std::chrono::milliseconds>(
                                     fraction).count() / 10));
    if (fixed_date_) {
      result.year = fixed_date_->year;
      result.month = fixed_date_->month;
      result.day = fixed_date_->day;
    }
    return result;
  }

 private:
  std::optional<LocalDateTime> fixed_date_;
};

std::atomic<const Clock*> installed_clock{nullptr};
// The cached current year; 0 means "not read yet".
std::atomic<int> cached_year{0};

const Clock& InstalledClock() {
  const Clock* clock = installed_clock.load(std::memory_order_acquire);
  return clock != nullptr ? *clock : SystemClock();
}

}  // namespace

const Clock& SystemClock() {
  static const SystemLocalClock clock;
  return clock;
}

void SetClock(const Clock* clock) {
  installed_clock.store(clock, std::memory_order_release);
  cached_year.store(0, std::memory_order_release);
}

std::optional<LocalDateTime> ParseYyyymmdd(std::string_view text) {
  if (text.size() != 8) return std::nullopt;
  int digits[8];
  for (size_t i = 0; i < 8; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    digits[i] = text[i] - '0';
  }
  LocalDateTime result;
  result.year = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
  result.month = digits[4] * 10 + digits[5];
  result.day = digits[6] * 10 + digits[7];
  if (SerialFromCivil(result.year, result.month, result.day) < 0) {
    return std::nullopt;
  }
  return result;
}

int32_t TODAY() {
  const LocalDateTime now = InstalledClock().Now();
  const int32_t serial = SerialFromCivil(now.year, now.month, now.day);
  return serial < 0 ? 0 : serial;
}

int32_t CLOCK() {
  const LocalDateTime now = InstalledClock().Now();
  if (now.centiseconds < 0 || now.centiseconds >= kLastTimeSerial) return 0;
  return now.centiseconds + 1;
}

int CurrentYear() {
  int year = cached_year.load(std::memory_order_acquire);
  if (year == 0) {
    year = InstalledClock().Now().year;
    cached_year.store(year, std::memory_order_release);
  }
  return year;
}

LocalDateTime FixedDateClock::Now() const {
  LocalDateTime now = SystemClock().Now();
  now.year = date_.year;
  now.month = date_.month;
  now.day = date_.day;
  return now;
}

}  // namespace zuna::values
