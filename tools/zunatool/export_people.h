// export FILE [--format csv|vcard|ics]: every person of the register on
// stdout, in file order, as the register's CSV (csv_people.h, the
// default), vCard 4.0 (vcard_people.h) or an iCalendar of birthdays
// (calendar_export.h).  CSV and vCard are written a page at a time as they
// are read; the calendar once the whole register is read, since its UIDs
// depend on who else has the same name and date.
#ifndef ZUNA_TOOLS_ZUNATOOL_EXPORT_PEOPLE_H_
#define ZUNA_TOOLS_ZUNATOOL_EXPORT_PEOPLE_H_

#include <optional>
#include <string>
#include <string_view>

namespace zuna::tool {

enum class ExportFormat { kCsv, kVcard, kIcs };

// "csv", "vcard" or "ics"; nullopt for anything else.
std::optional<ExportFormat> ExportFormatNamed(std::string_view name);

// Writes the register `file_name` to stdout in `format`.  Returns the exit
// code, having reported any failure.
int ExportPeople(const std::string& file_name, ExportFormat format);

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_EXPORT_PEOPLE_H_
