#include "tools/zunatool/upcoming_people.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "app/upcoming_filter.h"
#include "app/zun_dictionary.h"
#include "runtime/values/date_serial.h"
#include "tools/zunatool/command.h"
#include "tools/zunatool/register_file.h"

namespace zuna::tool {
namespace {

// The birth date's month and day as four digits, as a filter reads it.
constexpr std::string_view kBirthMmdd = "sub(format(zun:data,@d12),5,4)";

std::string Mmdd(int32_t serial) {
  char text[5];
  std::snprintf(text, sizeof text, "%02d%02d", static_cast<int>(values::MONTH(serial)),
                static_cast<int>(values::DAY(serial)));
  return text;
}

// A filter that passes everyone whose birthday may be 0 to `days` days
// after `today`, and few others: the birth month and day within the
// window's, across the year's end when the window crosses it, and every
// 29 February (whose birthday in a common year is 1 March).  It reads only
// the birth date, which the key holds, so the view judges it on the key's
// entries and reads only the records it passes; UpcomingBirthday then
// decides.  Empty (no filter) when the window is a whole year.
std::string CandidateFilter(int32_t today, int days) {
  if (days >= 365) return std::string();
  const std::string from = Mmdd(today);
  const std::string to = Mmdd(today + days);
  const std::string mmdd(kBirthMmdd);
  const std::string window = from <= to
      ? "(" + mmdd + " >= '" + from + "' and " + mmdd + " <= '" + to + "')"
      : "(" + mmdd + " >= '" + from + "' or " + mmdd + " <= '" + to + "')";
  return window + " or " + mmdd + " = '0229'";
}

}  // namespace

int ReadUpcomingPeople(const std::string& file_name, int32_t today, int days,
                       std::vector<UpcomingPerson>* people) {
  auto file = NewZun(file_name);
  datfile::View view(*file);
  // The view gives the program's order and the candidates; the selection
  // is made here, so it needs no bound variables.
  if (view.SetOrder(app::kUpcomingOrder) != kNoError) return ReportRuntimeError();
  const std::string filter = CandidateFilter(today, days);
  if (!filter.empty() && view.SetFilter(filter) != kNoError) return ReportRuntimeError();
  size_t count = 0;
  // The pages' text stays empty: the people are kept, and the caller
  // writes them once the file is closed.
  return PrintView(*file, view,
                   [&](const app::ZUN_Record& record) {
                     if (auto next = UpcomingBirthday(today, record.DATA, days)) {
                       people->push_back(
                           {std::string(app::ZunName(record)), record.DATA, *next});
                     }
                     return std::string();
                   },
                   &count);
}

std::optional<UpcomingArguments> ReadUpcomingArguments(Arguments arguments, bool json_allowed,
                                                       std::string_view synopsis) {
  UpcomingArguments read;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "--days" && i + 1 < arguments.size()) {
      const std::optional<int> days = ParseUpcomingDays(arguments[++i]);
      if (!days) {
        Refuse(UpcomingDaysRefusal(arguments[i]));
        return std::nullopt;
      }
      read.days = *days;
    } else if (a == "--json" && json_allowed) {
      read.json = true;
    } else if (!a.starts_with("--") && !read.file) {
      read.file = a;
    } else {
      ReportUsage(synopsis);
      return std::nullopt;
    }
  }
  return read;
}

}  // namespace zuna::tool
