#include "app/upcoming_filter.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "runtime/values/evaluator.h"
#include "runtime/values/format.h"
#include "runtime/values/picture.h"
#include "runtime/values/variable.h"

namespace zuna::app {
namespace {

// Characters [from, from + 4) of `text` as a number, as @n_4 reads them.
int16_t Number(const std::string& text, size_t from) {
  int value = 0;
  if (text.size() >= from + 4) {
    std::from_chars(text.data() + from, text.data() + from + 4, value);
  }
  return static_cast<int16_t>(value);
}

// `text` cut or blank-padded into a STRING(n).
template <size_t n>
void Store(std::string_view text, char (&field)[n]) {
  std::fill(std::begin(field), std::end(field), ' ');
  std::copy_n(text.begin(), std::min(text.size(), n), field);
}

}  // namespace

void RefreshUpcomingDates(int32_t today, UpcomingDates* dates) {
  static const values::Picture d12 = values::CompilePicture("@d12");
  static const values::Picture d6 = values::CompilePicture("@d6");
  static const values::Picture n_4 = values::CompilePicture("@n_4");
  const std::string yyyymmdd = values::FormatDate(today, d12);
  dates->m = Number(yyyymmdd, 0);
  dates->d = Number(yyyymmdd, 4);
  Store(std::string_view(yyyymmdd).substr(0,
                                          std::min<size_t>(4, yyyymmdd.size())),
        dates->ms);
  Store(yyyymmdd.size() >= 8 ? std::string_view(yyyymmdd).substr(4, 4) : "",
        dates->ds);
  Store(values::FormatDate(today, d6), dates->dd);
  if (dates->d >= kYearEndMmdd) {
    dates->m = static_cast<int16_t>(dates->m + 1);
    Store(values::FormatNumber(dates->m, n_4), dates->ms);
  }
}

void BindUpcomingDates(UpcomingDates& dates) {
  values::BIND("ms", values::RefString(dates.ms, sizeof dates.ms));
  values::BIND("d", values::RefShort(dates.d));
  values::BIND("dd", values::RefString(dates.dd, sizeof dates.dd));
  values::BIND("m", values::RefShort(dates.m));
  values::BIND("ds", values::RefString(dates.ds, sizeof dates.ds));
}

}  // namespace zuna::app
