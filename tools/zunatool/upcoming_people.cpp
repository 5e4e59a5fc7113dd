#include "tools/zunatool/upcoming_people.h"

#include "app/upcoming_filter.h"
#include "app/zun_dictionary.h"
#include "tools/zunatool/command.h"
#include "tools/zunatool/register_file.h"

namespace zuna::tool {

int ReadUpcomingPeople(const std::string& file_name, int32_t today, int days,
                       std::vector<UpcomingPerson>* people) {
  auto file = NewZun(file_name);
  datfile::View view(*file);
  // The view gives the program's order; the selection is made here, so it
  // needs no filter text and no bound variables.
  if (view.SetOrder(app::kUpcomingOrder) != kNoError) return ReportRuntimeError();
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

}  // namespace zuna::tool
