// Commands over the register file ZUN: create, add, list, upcoming, import,
// export, build, pack.  Each opens the file through the driver's statements under
// the dictionary's declaration of ZUN, so the file they leave is exactly the
// one the program reads (OEM text, both keys maintained).
//
//   create FILE                      CREATE; an existing file is refused
//   add FILE NAME DD/MM/YYYY         one person
//   list FILE [--by date|name] [--filter EXPR]
//                                    "NAME|DATE" per person, through a view
//                                    in the key's order
//   upcoming FILE                    the upcoming-birthdays list, then
//                                    "Всего: N"
//   import FILE CSV                  "name;dd/mm/yyyy" lines, all checked
//                                    before the first is added; all or
//                                    nothing, even when killed
//   export FILE                      "name;dd/mm/yyyy" per record, file order
//   build FILE                       rebuilds both keys
//   pack FILE                        drops deleted records, rebuilds keys
//
// FILE is the data file's name as the driver takes it ("ZUN" or "ZUN.DAT").
// Names and dates are checked here, before the driver sees them: a name is
// 1 to 30 characters, each with a form in 1251 (the program's text) and in
// 866 (ZUN stores its text as OEM); a date is a real calendar date from
// 1801 to 9999.  A refused argument prints "zunatool: ..." to stderr, a
// driver error "zunatool: FILE: ..." (file_errors.h); either way the exit
// code is 1.
//
// Sharing.  The register is shared as the program shares it: add and
// import open it read/write denying nobody (SHARE, 42h), list, upcoming and
// export read-only denying nobody (40h), so each works while Zuna or another
// zunatool has the file open.  Every operation waits out another station's
// transaction (up to --wait, then 56); an import's own transaction makes
// the others wait for it.  build and pack need the file alone
// (whole_file_work.h).

#include <algorithm>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/upcoming_filter.h"
#include "app/zun_dictionary.h"
#include "runtime/datfile/driver.h"
#include "runtime/datfile/file_instance.h"
#include "runtime/datfile/os_file.h"
#include "runtime/datfile/statements.h"
#include "runtime/datfile/view.h"
#include "runtime/values/clock.h"
#include "runtime/values/code_page.h"
#include "runtime/values/date_serial.h"
#include "runtime/values/error_state.h"
#include "runtime/values/evaluator.h"
#include "runtime/values/format.h"
#include "runtime/values/picture.h"
#include "runtime/values/variable.h"
#include "tools/zunatool/command.h"
#include "tools/zunatool/file_errors.h"
#include "tools/zunatool/whole_file_work.h"

namespace zuna::tool {
namespace {

using app::ZUN_Record;
using datfile::DatFileInstance;

constexpr std::string_view kCreateSynopsis = "create FILE";
constexpr std::string_view kAddSynopsis = "add FILE NAME DD/MM/YYYY";
constexpr std::string_view kListSynopsis =
    "list FILE [--by date|name] [--filter EXPR]";
constexpr std::string_view kUpcomingSynopsis = "upcoming FILE";

// The orders of the two keys, as views take them.
constexpr std::string_view kByDateOrder = "ZUN:DATA";
constexpr std::string_view kByNameOrder = "UPPER(ZUN:FIO)";
constexpr std::string_view kImportSynopsis = "import FILE CSV";
constexpr std::string_view kExportSynopsis = "export FILE";
constexpr std::string_view kBuildSynopsis = "build FILE";
constexpr std::string_view kPackSynopsis = "pack FILE";

// Statements return the error number and post it; the post is what
// ReportFileError prints.
constexpr int32_t kNoError = 0;
constexpr int32_t kEndOfSequence = 33;

// Readers ask for nothing more than reading, so they work on a register
// they may only read (a backup, a read-only share) too; a dead
// transaction is still undone, through a description of the recovery's own.
constexpr uint32_t kReadShared = datfile::kAccessReadOnly | datfile::kShareDenyNone;
constexpr uint32_t kWriteShared = datfile::kShareDefaultMode;  // 42h

int Refuse(const std::string& message) {
  std::cerr << "zunatool: " << message << '\n';
  return 1;
}

std::unique_ptr<DatFileInstance> NewZun(const std::string& name) {
  auto file = std::make_unique<DatFileInstance>(app::ZunDeclaration());
  file->set_name(name);
  return file;
}

// The number of '?' in `text`: conversions put one where a character has no
// form, so more of them after a conversion than before means a loss.
size_t CountNoForm(std::string_view text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), values::kNoFormChar));
}

// Checks a name given in UTF-8; on success `*fio` is its 1251 form without
// trailing blanks.  Otherwise the reason, for the user.
std::optional<std::string> CheckName(std::string_view utf8, std::string* fio) {
  std::string text = values::Utf8ToCp1251(utf8);
  const size_t question_marks = CountNoForm(utf8);
  if (CountNoForm(text) != question_marks) {
    return "в имени «" + std::string(utf8) +
           "» есть знак, который реестр не может хранить (его нет в кодовой "
           "странице 1251, или текст не в UTF-8)";
  }
  if (CountNoForm(values::Utf8ToCp866(utf8)) != question_marks) {
    return "в имени «" + std::string(utf8) +
           "» есть знак, который реестр не может хранить (его нет в кодовой "
           "странице 866, в которой ZUN хранит текст)";
  }
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      return "в имени «" + std::string(utf8) + "» есть управляющий символ";
    }
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (text.empty()) return std::string("имя не задано");
  if (text.size() > app::kZunFioSize) {
    return "имя «" + std::string(utf8) + "» длиннее " +
           std::to_string(app::kZunFioSize) + " знаков";
  }
  *fio = std::move(text);
  return std::nullopt;
}

// Reads 1-2 digits, '/', 1-2 digits, '/', 4 digits: a real calendar date
// from 1801 to 9999.  DEFORMAT with @D6 would roll 31/02 over into March, so
// the fields are checked against the calendar here instead.
std::optional<std::string> CheckDate(std::string_view text, int32_t* serial) {
  const std::string bad = "дата «" + std::string(text) + "»";
  int fields[3] = {0, 0, 0};
  const size_t min_digits[3] = {1, 1, 4};
  const size_t max_digits[3] = {2, 2, 4};
  size_t pos = 0;
  for (int f = 0; f < 3; ++f) {
    size_t digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' &&
           digits < max_digits[f]) {
      fields[f] = fields[f] * 10 + (text[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits < min_digits[f]) return bad + " не в виде ДД/ММ/ГГГГ";
    if (f < 2) {
      if (pos == text.size() || text[pos] != '/') return bad + " не в виде ДД/ММ/ГГГГ";
      ++pos;
    }
  }
  if (pos != text.size()) return bad + " не в виде ДД/ММ/ГГГГ";
  const int32_t result = values::SerialFromCivil(fields[2], fields[1], fields[0]);
  if (result <= 0) return bad + " не существует в календаре (годы 1801-9999)";
  *serial = result;
  return std::nullopt;
}

// Picture texts: the contract's @D6 for list (leading blank dropped; empty
// for a person without a date), the zero-filled @D06 for CSV, which is
// always dd/mm/yyyy.
std::string ListDate(int32_t serial) {
  static const values::Picture picture = values::CompilePicture("@D6");
  if (!values::IsValidDateSerial(serial)) return std::string();
  std::string text = values::FormatDate(serial, picture);
  const size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

// A record without a valid date (the program can leave DATA 0) exports an
// empty date field, and import takes an empty field back as no date.
std::string CsvDate(int32_t serial) {
  static const values::Picture picture = values::CompilePicture("@D06");
  if (!values::IsValidDateSerial(serial)) return std::string();
  return values::FormatDate(serial, picture);
}

// Readers take the register a page at a time: one hold of it (a
// datfile::OperationGroup: one header refresh, and on the shared register
// one hold of its lock byte) serves a page of records, where one per
// record would cost several system calls each.  Other stations wait for a
// page meanwhile, so pages stay short, and a page's lines are written only
// once the hold has ended: a slow reader of our output (a pager, a pipe)
// never keeps other stations waiting.  (A view whose filter passes few of
// the records it examines lets other stations in every few hundred of
// them, page or no page: datfile::YieldGroup.)
constexpr int kRecordsPerPage = 512;

// Reads up to a page of records with `next` (NEXT, or a view's Next) under
// one hold of `file`, appending `line(record)` and a newline to *text for
// each; *count counts them.  Returns the error that ended the page early,
// kNoError when the page is full.
template <typename Next, typename Line>
int32_t ReadPage(DatFileInstance& file, Next next, Line line,
                 std::string* text, size_t* count) {
  datfile::OperationGroup page(file);
  for (int i = 0; i < kRecordsPerPage; ++i) {
    const int32_t error = next();
    if (error != kNoError) return error;
    *text += values::Cp1251ToUtf8(line(app::ReadZunRecord(file.record())));
    *text += '\n';
    ++*count;
  }
  return kNoError;
}

// Pages of ReadPage until an error (33 at the end), each written to stdout
// after its hold.  Returns that error.
template <typename Next, typename Line>
int32_t PrintPages(DatFileInstance& file, Next next, Line line, size_t* count) {
  std::string text;
  int32_t error = kNoError;
  while (error == kNoError) {
    text.clear();
    error = ReadPage(file, next, line, &text, count);
    std::cout << text;
  }
  return error;
}

// Runs CLOSE and keeps the first error: the statement that failed first is
// the one to report.
int CloseAndReport(DatFileInstance& file, int32_t error) {
  const std::string label = FileLabel(file.name());
  if (error != kNoError) {
    const int result = ReportFileError(label);
    (void)datfile::CLOSE(file);
    return result;
  }
  if (datfile::CLOSE(file) != kNoError) return ReportFileError(label);
  return 0;
}

int ReportFor(const DatFileInstance& file) {
  return ReportFileError(FileLabel(file.name()));
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

// Prints the records `view` passes, "NAME|DATE" each, in its order; with
// `total`, then "Всего: N".  The view's FILE is opened shared, read-only,
// and closed again.
int PrintView(DatFileInstance& file, datfile::View& view, bool total) {
  if (datfile::OPEN(file, kReadShared) != kNoError) return ReportFor(file);
  int32_t error = view.Open();
  if (error == kNoError) error = view.Set();
  size_t count = 0;
  if (error == kNoError) {
    error = PrintPages(
        file, [&view] { return view.Next(); },
        [](const ZUN_Record& record) {
          return std::string(app::ZunName(record)) + "|" + ListDate(record.DATA);
        },
        &count);
  }
  if (error != kEndOfSequence) {
    const int result = ReportFor(file);
    (void)view.Close();
    (void)datfile::CLOSE(file);
    return result;
  }
  if (view.Close() != kNoError) {
    const int result = ReportFor(file);
    (void)datfile::CLOSE(file);
    return result;
  }
  if (total) std::cout << "Всего: " << count << '\n';
  return CloseAndReport(file, kNoError);
}

// list reads through a view ordered as the chosen key orders: every person
// is listed, including one the OPT key leaves out (no date, or a blank
// name), who then comes first.  A filter that does not compile is refused
// rather than ignored.
int RunList(Arguments arguments) {
  std::string name;
  std::string_view order = kByDateOrder;
  std::optional<std::string> filter;  // 1251
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
  return PrintView(*file, view, false);
}

// The register's upcoming-birthdays list (app/upcoming_filter.h): its filter
// text over its date variables, refreshed from TODAY() (--today or
// ZUNA_TODAY fix it), in ZUN:zun_key order.
int RunUpcoming(Arguments arguments) {
  if (arguments.size() != 1) return ReportUsage(kUpcomingSynopsis);
  app::UpcomingDates dates;
  app::RefreshUpcomingDates(values::TODAY(), &dates);
  values::PUSHBIND(true);
  app::BindUpcomingDates(dates);
  int result = 0;
  {
    auto file = NewZun(arguments[0]);
    datfile::View view(*file);
    if (view.SetOrder(app::kUpcomingOrder) != kNoError ||
        view.SetFilter(app::kUpcomingFilter) != kNoError) {
      result = ReportRuntimeError();
    } else {
      result = PrintView(*file, view, true);
    }
  }
  values::POPBIND();
  return result;
}

int RunExport(Arguments arguments) {
  if (arguments.size() != 1) return ReportUsage(kExportSynopsis);
  auto file = NewZun(arguments[0]);
  if (datfile::OPEN(*file, kReadShared) != kNoError) return ReportFor(*file);
  int32_t error = datfile::SET(*file);
  size_t count = 0;
  if (error == kNoError) {
    error = PrintPages(
        *file, [&file] { return datfile::NEXT(*file); },
        [](const ZUN_Record& record) {
          return std::string(app::ZunName(record)) + ";" + CsvDate(record.DATA);
        },
        &count);
  }
  return CloseAndReport(*file, error == kEndOfSequence ? kNoError : error);
}

struct Person {
  std::string fio;  // 1251
  int32_t date = 0;
};

// Reads and checks every line of the CSV before anything is added, so a bad
// line leaves the register as it was.  The name is what precedes the last
// ';', so a ';' inside a name survives export and import.
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
    const std::string where = path + ", строка " + std::to_string(number) + ": ";
    const size_t semicolon = line.rfind(';');
    if (semicolon == std::string::npos) {
      return where + "ожидается имя;ДД/ММ/ГГГГ, а написано «" + line + "»";
    }
    Person person;
    if (auto why = CheckName(std::string_view(line).substr(0, semicolon),
                             &person.fio)) {
      return where + *why;
    }
    const std::string_view date = std::string_view(line).substr(semicolon + 1);
    if (!date.empty()) {
      if (auto why = CheckDate(date, &person.date)) return where + *why;
    }
    people->push_back(std::move(person));
  }
  return std::nullopt;
}

// The adds run under STREAM and are flushed once at the end, all inside one
// transaction: an import that fails (a full disk, another station's
// transaction outlasting --wait) is rolled back, and one killed half way
// is undone by the next open, so the register holds all of the file or
// none of it.  While it runs, other stations wait for it; a second import
// waits like any of them.
int RunImport(Arguments arguments) {
  if (arguments.size() != 2) return ReportUsage(kImportSynopsis);
  std::vector<Person> people;
  if (auto why = ReadCsv(arguments[1], &people)) return Refuse(*why);
  auto file = NewZun(arguments[0]);
  const std::string label = FileLabel(arguments[0]);
  if (datfile::SHARE(*file, kWriteShared) != kNoError) return ReportFileError(label);
  int32_t error = datfile::LOGOUT(*file);
  if (error == kNoError) error = datfile::STREAM(*file);
  for (size_t i = 0; i < people.size() && error == kNoError; ++i) {
    app::WriteZunRecord(app::MakeZunRecord(people[i].fio, people[i].date),
                        file->record());
    error = datfile::ADD(*file);
  }
  if (error == kNoError) error = datfile::FLUSH(*file);
  if (error == kNoError) error = datfile::COMMIT(*file);
  if (error != kNoError) {
    const int result = ReportFileError(label);
    if (datfile::ROLLBACK(*file) == kNoError) {
      RefuseFile(label, "импорт отменён, в реестре ничего не изменилось");
    } else {
      ReportFileError(label);
    }
    (void)datfile::CLOSE(*file);
    return result;
  }
  return CloseAndReport(*file, kNoError);
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
