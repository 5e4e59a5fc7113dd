// The people `upcoming` and `remind` name: read from the register in the
// program list's order (ZUN:DATA, the full birth date; equal dates in the
// order the key keeps them), keeping those whose birthday is upcoming
// within N days (upcoming_days.h).
#ifndef ZUNA_TOOLS_ZUNATOOL_UPCOMING_PEOPLE_H_
#define ZUNA_TOOLS_ZUNATOOL_UPCOMING_PEOPLE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/zunatool/command.h"
#include "tools/zunatool/upcoming_days.h"

namespace zuna::tool {

struct UpcomingPerson {
  std::string fio;    // 1251, without trailing blanks
  int32_t born = 0;   // the birth date serial (ZUN.DATA)
  NextBirthday next;  // the birthday within the N days
};

// Reads the register `file_name` ("ZUN" or "ZUN.DAT") shared read-only, as
// every reader does (register_file.h), and appends to *people everyone
// whose birthday is 0 to `days` days after date serial `today`.  Returns
// the exit code: 0, or 1 after reporting the failure on stderr.
// REQUIRES: 0 <= days <= kMaxUpcomingDays.
int ReadUpcomingPeople(const std::string& file_name, int32_t today, int days,
                       std::vector<UpcomingPerson>* people);

// The arguments upcoming and remind take: FILE, --days N, and for upcoming
// --json.
struct UpcomingArguments {
  std::optional<std::string> file;
  int days = kDefaultUpcomingDays;
  bool json = false;
};

// Reads `arguments` (--json only when `json_allowed`).  nullopt after
// reporting what was wrong: a --days value refused, anything else by the
// command's `synopsis`; the command then exits 1.
std::optional<UpcomingArguments> ReadUpcomingArguments(Arguments arguments, bool json_allowed,
                                                       std::string_view synopsis);

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_UPCOMING_PEOPLE_H_
