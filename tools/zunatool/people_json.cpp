#include "tools/zunatool/people_json.h"

#include <cstdio>

#include "runtime/values/code_page.h"
#include "runtime/values/date_serial.h"

namespace zuna::tool {

std::string IsoDate(int32_t serial) {
  if (!values::IsValidDateSerial(serial)) return std::string();
  const values::CivilDate date = values::CivilFromSerial(serial);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
  return text;
}

nlohmann::ordered_json PersonJson(std::string_view fio, int32_t born) {
  const std::string date = IsoDate(born);
  return {{"name", values::Cp1251ToUtf8(fio)},
          {"birth_date", date.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(date)}};
}

nlohmann::ordered_json UpcomingJson(const UpcomingPerson& person) {
  nlohmann::ordered_json object = PersonJson(person.fio, person.born);
  object["turns"] = person.next.turns;
  object["days_until"] = person.next.days_until;
  return object;
}

std::string JsonText(const nlohmann::ordered_json& document) {
  return document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace zuna::tool
