// The register's CSV: one person per line, "name;dd/mm/yyyy" in UTF-8.
// The name is what precedes the last ';', so a ';' inside a name survives
// export and import; a person without a date has an empty date field.
#ifndef ZUNA_TOOLS_ZUNATOOL_CSV_PEOPLE_H_
#define ZUNA_TOOLS_ZUNATOOL_CSV_PEOPLE_H_

#include <optional>
#include <string>
#include <vector>

#include "app/zun_dictionary.h"
#include "tools/zunatool/person_text.h"

namespace zuna::tool {

// Reads and checks every line of the CSV file at `path` before anything is
// added, so a bad line leaves the register as it was: on failure the
// reason, naming the file and the line, and *people is incomplete.  A
// UTF-8 byte-order mark, CR line ends and blank lines are accepted.
std::optional<std::string> ReadCsv(const std::string& path,
                                   std::vector<Person>* people);

// The CSV line of a record, newline included (UTF-8), appended to *out.
void AppendCsvLine(const app::ZUN_Record& record, std::string* out);

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_CSV_PEOPLE_H_
