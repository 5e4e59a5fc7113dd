// Commands over the register file ZUN: create, add, list, upcoming, import,
// export, build, pack.  Each opens the file through the driver's statements under
// the dictionary's declaration of ZUN, so the file they leave is exactly the
// one the program reads (OEM text, both keys maintained).
//
//   create FILE                      CREATE; an existing file is refused
//   add FILE NAME DD/MM/YYYY         one person
//   list FILE [--by date|name] [--filter EXPR] [--json]
//                                    "NAME|DATE" per person, through a view
//                                    in the key's order; --json: one array
//                                    (people_json.h)
//   upcoming FILE [--days N] [--json]
//                                    the people whose birthday is 0 to N
//                                    days away (default 7: the program's
//                                    list), then "Всего: N"; --json: one
//                                    array (people_json.h)
//   import FILE CONTACTS             vCard (2.1, 3.0, 4.0) or CSV
//                                    "name;dd/mm/yyyy" lines, all checked
//                                    before the first is added; all or
//                                    nothing, even when killed
//                                    (import_contacts.h)
//   export FILE [--format csv|vcard|ics]
//                                    every record in file order: CSV (the
//                                    default), vCard 4.0 or an iCalendar
//                                    of birthdays (export_people.h)
//   build FILE                       rebuilds both keys
//   pack FILE                        drops deleted records, rebuilds keys
//
// FILE is the data file's name as the driver takes it ("ZUN" or "ZUN.DAT").
// Names and dates are checked before the driver sees them (person_text.h).
// A refused argument prints "zunatool: ..." to stderr, a driver error
// "zunatool: FILE: ..." (file_errors.h); either way the exit code is 1.
// How the register is shared and read: register_file.h.  build and pack
// need the file alone (whole_file_work.h).

#include <optional>
#include <string>
#include <vector>

#include "app/zun_dictionary.h"
#include "runtime/datfile/os_file.h"
#include "runtime/values/clock.h"
#include "runtime/values/code_page.h"
#include "runtime/values/error_state.h"
#include "tools/zunatool/command.h"
#include "tools/zunatool/export_people.h"
#include "tools/zunatool/file_errors.h"
#include "tools/zunatool/import_contacts.h"
#include "tools/zunatool/people_json.h"
#include "tools/zunatool/person_text.h"
#include "tools/zunatool/register_file.h"
#include "tools/zunatool/upcoming_people.h"
#include "tools/zunatool/whole_file_work.h"

namespace zuna::tool {
namespace {

using app::ZUN_Record;
using datfile::DatFileInstance;

constexpr std::string_view kCreateSynopsis = "create FILE";
constexpr std::string_view kAddSynopsis = "add FILE NAME DD/MM/YYYY";
constexpr std::string_view kListSynopsis =
    "list FILE [--by date|name] [--filter EXPR] [--json]";
constexpr std::string_view kUpcomingSynopsis = "upcoming FILE [--days N] [--json]";
constexpr std::string_view kImportSynopsis = "import FILE CONTACTS.vcf|PEOPLE.csv";
constexpr std::string_view kExportSynopsis = "export FILE [--format csv|vcard|ics]";
constexpr std::string_view kBuildSynopsis = "build FILE";
constexpr std::string_view kPackSynopsis = "pack FILE";

// The orders of the two keys, as views take them.
constexpr std::string_view kByDateOrder = "ZUN:DATA";
constexpr std::string_view kByNameOrder = "UPPER(ZUN:FIO)";

// "NAME|DATE" and a newline: the line list and upcoming print per person.
// The date is digits and '/', the same in 1251 and UTF-8: only the name is
// converted, and the rest fits in the room the conversion leaves.
std::string ListLine(const ZUN_Record& record) {
  std::string line = values::Cp1251ToUtf8(app::ZunName(record));
  line += '|';
  line += ListDate(record.DATA);
  line += '\n';
  return line;
}

int RunCreate(Arguments arguments) {
  if (arguments.size() != 1) return ReportUsage(kCreateSynopsis);
  auto file = NewZun(arguments[0]);
  if (datfile::CREATE(*file) == kNoError) return 0;
  if (values::ERRORCODE() == datfile::Err::kAccessDenied &&
      datfile::PosixFileSystem().Exists(FileLabel(arguments[0]))) {
    // Creation is exclusive: 5 for a name already taken, which says
    // nothing about permissions.
    return RefuseFile(FileLabel(arguments[0]),
                      "реестр уже есть, create не заменяет его: 5 " +
                          values::Cp1251ToUtf8(values::ERROR()) + " (" +
                          values::FILEERROR() + ")");
  }
  return ReportFor(*file);
}

int RunAdd(Arguments arguments) {
  if (arguments.size() != 3) return ReportUsage(kAddSynopsis);
  std::string fio;
  if (auto why = CheckName(arguments[1], &fio)) return Refuse(*why);
  int32_t serial = 0;
  if (auto why = CheckDate(arguments[2], &serial)) return Refuse(*why);
  auto file = NewZun(arguments[0]);
  if (datfile::SHARE(*file, kWriteShared) != kNoError) return ReportFor(*file);
  app::WriteZunRecord(app::MakeZunRecord(fio, serial), file->record());
  return CloseAndReport(*file, datfile::ADD(*file));
}

// list reads through a view ordered as the chosen key orders: every person
// is listed, including one the OPT key leaves out (no date, or a blank
// name), who then comes first.  A filter that does not compile is refused
// rather than ignored.
int RunList(Arguments arguments) {
  std::string name;
  std::string_view order = kByDateOrder;
  std::optional<std::string> filter;  // 1251
  bool json = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "--by" && i + 1 < arguments.size()) {
      const std::string& by = arguments[++i];
      if (by == "date") {
        order = kByDateOrder;
      } else if (by == "name") {
        order = kByNameOrder;
      } else {
        return ReportUsage(kListSynopsis);
      }
    } else if (a == "--filter" && i + 1 < arguments.size()) {
      filter = values::Utf8ToCp1251(arguments[++i]);
    } else if (a == "--json") {
      json = true;
    } else if (!a.starts_with("--") && name.empty()) {
      name = a;
    } else {
      return ReportUsage(kListSynopsis);
    }
  }
  if (name.empty()) return ReportUsage(kListSynopsis);

  auto file = NewZun(name);
  datfile::View view(*file);
  // The view's set-up errors are about the order or the filter text, not
  // the file: "CODE TEXT" as eval prints them.
  if (view.SetOrder(order) != kNoError) return ReportRuntimeError();
  if (filter && view.SetFilter(*filter) != kNoError) return ReportRuntimeError();
  size_t count = 0;
  if (!json) return PrintView(*file, view, ListLine, &count);
  // The array is written whole once the file is closed: a failure half
  // way leaves no half array on stdout for a script to take.
  nlohmann::ordered_json people = nlohmann::ordered_json::array();
  const int result = PrintView(*file, view,
                               [&people](const ZUN_Record& record) {
                                 people.push_back(PersonJson(app::ZunName(record), record.DATA));
                                 return std::string();
                               },
                               &count);
  if (result == 0) std::cout << JsonText(people);
  return result;
}

// The people whose birthday is 0 to N days after TODAY() (--today or
// ZUNA_TODAY fix it), in the program list's order; for N = 7 exactly the
// program's list (upcoming_days.h).
int RunUpcoming(Arguments arguments) {
  const std::optional<UpcomingArguments> read =
      ReadUpcomingArguments(arguments, /*json_allowed=*/true, kUpcomingSynopsis);
  if (!read) return 1;
  if (!read->file) return ReportUsage(kUpcomingSynopsis);

  std::vector<UpcomingPerson> people;
  if (const int result = ReadUpcomingPeople(*read->file, values::TODAY(), read->days, &people)) {
    return result;
  }
  if (read->json) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const UpcomingPerson& person : people) array.push_back(UpcomingJson(person));
    std::cout << JsonText(array);
    return 0;
  }
  std::string text;
  for (const UpcomingPerson& person : people) {
    text += values::Cp1251ToUtf8(person.fio + "|" + ListDate(person.born)) + "\n";
  }
  std::cout << text << "Всего: " << people.size() << '\n';
  return 0;
}

int RunExport(Arguments arguments) {
  std::string name;
  ExportFormat format = ExportFormat::kCsv;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "--format" && i + 1 < arguments.size()) {
      const auto named = ExportFormatNamed(arguments[++i]);
      if (!named) return ReportUsage(kExportSynopsis);
      format = *named;
    } else if (!a.starts_with("--") && name.empty()) {
      name = a;
    } else {
      return ReportUsage(kExportSynopsis);
    }
  }
  if (name.empty()) return ReportUsage(kExportSynopsis);
  return ExportPeople(name, format);
}

int RunImport(Arguments arguments) {
  if (arguments.size() != 2) return ReportUsage(kImportSynopsis);
  return ImportContacts(arguments[0], arguments[1]);
}

// BUILD and PACK open the data file themselves when the FILE is closed, and
// open no key file: so they also repair a file whose key files are missing
// or damaged, which OPEN would refuse with 46.
int32_t BuildClosed(DatFileInstance& file) { return datfile::BUILD(file); }
int32_t PackClosed(DatFileInstance& file) { return datfile::PACK(file); }

int RunBuild(Arguments arguments) {
  if (arguments.size() != 1) return ReportUsage(kBuildSynopsis);
  return RunAlone(arguments[0], "перестройки ключей", BuildClosed);
}

int RunPack(Arguments arguments) {
  if (arguments.size() != 1) return ReportUsage(kPackSynopsis);
  return RunAlone(arguments[0], "сжатия файла", PackClosed);
}

}  // namespace

std::vector<Command> RegisterCommands() {
  return {
      {"create", kCreateSynopsis, RunCreate},
      {"add", kAddSynopsis, RunAdd},
      {"list", kListSynopsis, RunList},
      {"upcoming", kUpcomingSynopsis, RunUpcoming},
      {"import", kImportSynopsis, RunImport},
      {"export", kExportSynopsis, RunExport},
      {"build", kBuildSynopsis, RunBuild},
      {"pack", kPackSynopsis, RunPack},
  };
}

}  // namespace zuna::tool
