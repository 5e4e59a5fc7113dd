// Times the upcoming-birthdays filter: compiled once, evaluated over a
// million birth dates, against a hand-written C++ predicate that computes
// the same answer.  Prints evaluations per second, total seconds and the
// ratio evaluator / native.  Not a test: nothing is asserted except that the
// two agree on every date.
//
//   filter_bench [count]     (default 1000000)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "runtime/values/clock.h"
#include "runtime/values/date_serial.h"
#include "runtime/values/error_state.h"
#include "runtime/values/evaluator.h"

namespace {

using zuna::values::Expression;

constexpr char kFilter[] =
    "(((deformat(ms & sub(format(zun:data,@d12),5,4),@d12)-today())>=0 and "
    "(deformat(ms & sub(format(zun:data,@d12),5,4),@d12)-today())<=7) or "
    "(int(sub(format(zun:data,@d12),5,4))>=d and d>=1228))";
static_assert(sizeof kFilter - 1 == 191);

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's
// days_from_civil), independent of the runtime's calendar code.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

struct Civil {
  int64_t y;
  unsigned m, d;
};

Civil CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

bool IsLeap(int64_t y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

// Serial 4 is 1801-01-01.
const int64_t kSerialEpoch = DaysFromCivil(1801, 1, 1) - 4;

// The filter's answer, by hand: this year's birthday (29 February in a
// common year read as 1 March) 0..7 days ahead, or the December rule.
bool NativeFilter(int32_t birth, int64_t year, int64_t today_days, int mmdd) {
  const Civil c = CivilFromDays(birth + kSerialEpoch);
  unsigned m = c.m, d = c.d;
  if (m == 2 && d == 29 && !IsLeap(year)) m = 3, d = 1;
  const int64_t ahead = DaysFromCivil(year, m, d) - today_days;
  const int birth_mmdd = static_cast<int>(c.m * 100 + c.d);
  return (ahead >= 0 && ahead <= 7) || (birth_mmdd >= mmdd && mmdd >= 1228);
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// CPU time of this (single-threaded) process: on a busy machine the wall
// clock also counts the time other processes had the core.
double ThreadCpuSeconds() {
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zuna::values;
  const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;

  // A fixed day keeps runs comparable; 26 December exercises both branches.
  const FixedClock clock({2024, 12, 26, 0});
  SetClock(&clock);

  const int32_t first = SerialFromCivil(1900, 1, 1);
  const int32_t span = SerialFromCivil(2020, 12, 31) - first + 1;
  std::vector<int32_t> births(count);
  uint64_t state = 0x9E3779B97F4A7C15ull;
  for (int32_t& birth : births) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    birth = first + static_cast<int32_t>(state % static_cast<uint64_t>(span));
  }

  char ms[4];
  std::memcpy(ms, "2024", 4);
  int16_t d = 1226;
  int32_t zun_data = 0;
  BIND("ms", RefString(ms, sizeof ms));
  BIND("d", RefShort(d));
  BIND("zun:data", RefLong(zun_data));

  const auto compile_start = std::chrono::steady_clock::now();
  const std::unique_ptr<Expression> filter = Expression::Compile(kFilter);
  const double compile_seconds =
      Seconds(std::chrono::steady_clock::now() - compile_start);
  if (!filter) {
    std::fprintf(stderr, "filter does not compile: %d %s\n", ERRORCODE(),
                 ERROR().c_str());
    return 1;
  }

  size_t listed = 0;
  const double eval_cpu_start = ThreadCpuSeconds();
  const auto eval_start = std::chrono::steady_clock::now();
  for (int32_t birth : births) {
    zun_data = birth;
    listed += filter->EvaluateBool();
  }
  const double eval_seconds =
      Seconds(std::chrono::steady_clock::now() - eval_start);
  const double eval_cpu_seconds = ThreadCpuSeconds() - eval_cpu_start;

  const int64_t today_days = TODAY() + kSerialEpoch;
  size_t native_listed = 0;
  size_t disagreements = 0;
  const double native_cpu_start = ThreadCpuSeconds();
  const auto native_start = std::chrono::steady_clock::now();
  for (int32_t birth : births) {
    native_listed += NativeFilter(birth, 2024, today_days, d);
  }
  const double native_seconds =
      Seconds(std::chrono::steady_clock::now() - native_start);
  const double native_cpu_seconds = ThreadCpuSeconds() - native_cpu_start;
  for (int32_t birth : births) {
    zun_data = birth;
    disagreements +=
        filter->EvaluateBool() != NativeFilter(birth, 2024, today_days, d);
  }

  std::printf("filter: 191 characters, compiled in %.1f us\n",
              compile_seconds * 1e6);
  std::printf(
      "evaluator: %zu evaluations in %.3f s (%.0f per second), "
      "%.3f s of CPU, %zu listed\n",
      count, eval_seconds, count / eval_seconds, eval_cpu_seconds, listed);
  std::printf(
      "native:    %zu evaluations in %.4f s (%.0f per second), %.4f s of "
      "CPU, %zu listed\n",
      count, native_seconds, count / native_seconds, native_cpu_seconds,
      native_listed);
  // CPU times: on a busy machine the wall clock of either loop also counts
  // other processes.
  std::printf("ratio evaluator / native (CPU time): %.1f\n",
              eval_cpu_seconds / native_cpu_seconds);
  std::printf("disagreements: %zu\n", disagreements);

  // The same with the system clock, whose TODAY() reads the local time on
  // every call (twice per evaluation).
  SetClock(nullptr);
  const auto system_start = std::chrono::steady_clock::now();
  size_t system_listed = 0;
  for (int32_t birth : births) {
    zun_data = birth;
    system_listed += filter->EvaluateBool();
  }
  const double system_seconds =
      Seconds(std::chrono::steady_clock::now() - system_start);
  std::printf("evaluator with the system clock: %.3f s (%.0f per second)\n",
              system_seconds, count / system_seconds);
  return disagreements == 0 ? 0 : 1;
}
