#include "tools/zunatool/export_people.h"

#include <ctime>
#include <iostream>
#include <vector>

#include "tools/zunatool/calendar_export.h"
#include "tools/zunatool/csv_people.h"
#include "tools/zunatool/register_file.h"
#include "tools/zunatool/vcard_people.h"

namespace zuna::tool {
namespace {

// Every record of the open `file` into *people, a page per hold as
// ReadPage takes them.  Returns the error that ended the reading (33 at
// the end).
int32_t ReadAllPeople(datfile::DatFileInstance& file, std::vector<Person>* people) {
  const auto collect = [people](const app::ZUN_Record& record) {
    people->push_back({std::string(app::ZunName(record)), record.DATA});
    return std::string();
  };
  std::string no_text;
  size_t count = 0;
  int32_t error = kNoError;
  while (error == kNoError) {
    error = ReadPage(file, [&file] { return datfile::NEXT(file); }, collect, &no_text, &count);
  }
  return error;
}

}  // namespace

std::optional<ExportFormat> ExportFormatNamed(std::string_view name) {
  if (name == "csv") return ExportFormat::kCsv;
  if (name == "vcard") return ExportFormat::kVcard;
  if (name == "ics") return ExportFormat::kIcs;
  return std::nullopt;
}

int ExportPeople(const std::string& file_name, ExportFormat format) {
  auto file = NewZun(file_name);
  if (datfile::OPEN(*file, kReadShared) != kNoError) return ReportFor(*file);
  int32_t error = datfile::SET(*file);
  if (error != kNoError) return CloseAndReport(*file, error);
  const auto next = [&file] { return datfile::NEXT(*file); };
  size_t count = 0;
  std::vector<Person> people;
  switch (format) {
    case ExportFormat::kCsv:
      error = PrintPages(*file, next, AppendCsvLine, &count, kRecordsPerFilePage);
      break;
    case ExportFormat::kVcard:
      error = PrintPages(*file, next, VcardEntry, &count, kRecordsPerFilePage);
      break;
    case ExportFormat::kIcs:
      error = ReadAllPeople(*file, &people);
      break;
  }
  const int result = CloseAndReport(*file, error == kEndOfSequence ? kNoError : error);
  if (result == 0 && format == ExportFormat::kIcs) {
    std::cout << BirthdayCalendar(people, std::time(nullptr));
  }
  return result;
}

}  // namespace zuna::tool
