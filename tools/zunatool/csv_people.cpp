#include "tools/zunatool/csv_people.h"

#include <fstream>

#include "runtime/values/code_page.h"

namespace zuna::tool {

std::optional<std::string> ReadCsv(const std::string& path,
                                   std::vector<Person>* people) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "не удаётся прочитать " + path;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (number == 1 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    // Made only for a line that is refused: most lines are not.
    auto where = [&] { return path + ", строка " + std::to_string(number) + ": "; };
    const size_t semicolon = line.rfind(';');
    if (semicolon == std::string::npos) {
      return where() + "ожидается имя;ДД/ММ/ГГГГ, а написано «" + line + "»";
    }
    Person person;
    if (auto why = CheckName(std::string_view(line).substr(0, semicolon),
                             &person.fio)) {
      return where() + *why;
    }
    const std::string_view date = std::string_view(line).substr(semicolon + 1);
    if (!date.empty()) {
      if (auto why = CheckDate(date, &person.date)) return where() + *why;
    }
    people->push_back(std::move(person));
  }
  return std::nullopt;
}

// The date is digits and '/', the same in 1251 and UTF-8: only the name is
// converted, and the rest fits in the room the conversion leaves.
void AppendCsvLine(const app::ZUN_Record& record, std::string* out) {
  values::AppendCp1251AsUtf8(app::ZunName(record), out);
  *out += ';';
  *out += CsvDate(record.DATA);
  *out += '\n';
}

}  // namespace zuna::tool
