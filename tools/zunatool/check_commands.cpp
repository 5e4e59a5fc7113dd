// Commands that look at a data file without changing it: info and check.
//
// `info [--owner TEXT] [--json] FILE` prints one JSON object (UTF-8,
// two-space indent; --json changes nothing) describing the file as it is on disk.  Its keys are stable:
//   file, size, owner_scrambled (true: header and descriptors are scrambled
//     and, without --owner, only signature and attributes are shown)
//   header: signature, attributes, key_count, record_slots, deleted_count,
//     field_count, picture_count, array_count, slot_length, data_offset,
//     logical_eof, logical_bof, first_free, record_name, memo_name,
//     file_prefix, record_prefix, memo_size, memo_width, reserved,
//     change_time, change_date, header_check
//   fields[]: number, name, type, offset, length, digits, places, array,
//     picture
//   keys[]: number, name, type, length, duplicates, nocase, optional, index,
//     components[] (type, field, offset, length), file (name, present, size,
//     header: root, entry_count, node_count, last_leaf, last_record,
//     first_record, free_node, key_type, entries_per_node, component_count,
//     entry_length, height)
//   pictures[] (texts), arrays[]: own, total, size, dimensions[] (bound,
//     stride)
//   faults[]: lines for what could not be decoded (as `check` prints them)
// Names are shown converted from the program's code page (1251) to UTF-8.
//
// `check [--no-recover] [--owner TEXT] [--ansi|--oem] FILE` first undoes a
// transaction that died half way, as the first open of the file would,
// and says so on stdout (check_recovery.h); then it runs the checker
// (checker.h) while no station changes the file: a summary line, the
// notes, then one line per fault; exit 0 when there is no fault, 1
// otherwise.  With --no-recover it only reads, changing no byte: a log
// left by a dead transaction is named, and the faults its half-written
// changes make are reported.  A file that cannot be read is a
// "zunatool: FILE: ..." line on stderr (file_errors.h) and exit 1.

#include <array>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "runtime/datfile/checker.h"
#include "runtime/datfile/file_names.h"
#include "runtime/datfile/os_file.h"
#include "runtime/values/code_page.h"
#include "runtime/values/runtime_messages.h"
#include "tools/zunatool/check_recovery.h"
#include "tools/zunatool/command.h"
#include "tools/zunatool/file_errors.h"
#include "tools/zunatool/people_json.h"

namespace zuna::tool {
namespace {

using datfile::CheckFault;
using datfile::DataFileInfo;

constexpr std::string_view kInfoSynopsis = "info [--owner TEXT] [--json] FILE";
constexpr std::string_view kCheckSynopsis =
    "check [--no-recover] [--owner TEXT] [--ansi|--oem] FILE";

struct CheckArguments {
  std::string file;
  std::optional<std::string> owner;  // 1251
  datfile::TextCodePage text = datfile::TextCodePage::kDetect;
  bool recover = true;
};

// `for_check` allows check's own options.
bool ParseArguments(Arguments arguments, bool for_check,
                    CheckArguments* out) {
  const bool allow_text = for_check;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "--owner" && i + 1 < arguments.size()) {
      out->owner = values::Utf8ToCp1251(arguments[++i]);
    } else if (!for_check && a == "--json") {
      // info prints JSON with or without it; scripts may say so.
    } else if (for_check && a == "--no-recover") {
      out->recover = false;
    } else if (allow_text && a == "--ansi") {
      out->text = datfile::TextCodePage::kAnsi;
    } else if (allow_text && a == "--oem") {
      out->text = datfile::TextCodePage::kOem;
    } else if (!a.starts_with("--") && out->file.empty()) {
      out->file = a;
    } else {
      return false;
    }
  }
  return !out->file.empty();
}

using Json = nlohmann::ordered_json;

// Program (1251) text as a JSON string (UTF-8).
Json Text(std::string_view cp1251) { return values::Cp1251ToUtf8(cp1251); }

std::string Raw(const char* bytes, size_t size) {
  std::string text(bytes, size);
  while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

template <size_t n>
Json RawText(const std::array<char, n>& bytes) {
  return Text(Raw(bytes.data(), bytes.size()));
}

Json HeaderJson(const datfile::DatHeader& h) {
  return {{"signature", h.signature},
          {"attributes", h.attributes},
          {"key_count", h.key_count},
          {"record_slots", h.record_slots},
          {"deleted_count", h.deleted_count},
          {"field_count", h.field_count},
          {"picture_count", h.picture_count},
          {"array_count", h.array_count},
          {"slot_length", h.slot_length},
          {"data_offset", h.data_offset},
          {"logical_eof", h.logical_eof},
          {"logical_bof", h.logical_bof},
          {"first_free", h.first_free},
          {"record_name", RawText(h.record_name)},
          {"memo_name", RawText(h.memo_name)},
          {"file_prefix", RawText(h.file_prefix)},
          {"record_prefix", RawText(h.record_prefix)},
          {"memo_size", h.memo_size},
          {"memo_width", h.memo_width},
          {"reserved", h.reserved},
          {"change_time", h.change_time},
          {"change_date", h.change_date},
          {"header_check", h.header_check}};
}

Json FieldsJson(const DataFileInfo& info) {
  Json fields = Json::array();
  for (size_t i = 0; i < info.fields.size(); ++i) {
    const datfile::FieldInfo& f = info.fields[i];
    fields.push_back({{"number", i + 1},
                      {"name", Text(f.name)},
                      {"type", f.type_code},
                      {"offset", f.offset},
                      {"length", f.element_length},
                      {"digits", f.digits},
                      {"places", f.places},
                      {"array", f.array_number},
                      {"picture", f.picture_number}});
  }
  return fields;
}

Json KeyHeaderJson(const datfile::KeyHeader& h) {
  return {{"root", h.root},
          {"entry_count", h.entry_count},
          {"node_count", h.node_count},
          {"last_leaf", h.last_leaf},
          {"last_record", h.last_record},
          {"first_record", h.first_record},
          {"free_node", h.free_node},
          {"key_type", h.key_type},
          {"entries_per_node", h.entries_per_node},
          {"component_count", h.component_count},
          {"entry_length", h.entry_length},
          {"height", h.height}};
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

Json KeyFileJson(const datfile::KeyFileInfo& file) {
  Json object = {{"name", Text(BaseName(file.path))},
                 {"present", file.present},
                 {"size", file.file_size}};
  if (file.header_read) object["header"] = KeyHeaderJson(file.header);
  return object;
}

Json ComponentsJson(const datfile::KeyInfo& key) {
  Json components = Json::array();
  for (const datfile::KeyComponentInfo& c : key.components) {
    components.push_back({{"type", c.type_code},
                          {"field", c.field_number},
                          {"offset", c.offset},
                          {"length", c.length}});
  }
  return components;
}

Json KeysJson(const DataFileInfo& info) {
  Json keys = Json::array();
  for (size_t i = 0; i < info.keys.size(); ++i) {
    const datfile::KeyInfo& k = info.keys[i];
    Json key = {{"number", i + 1},
                {"name", Text(k.name)},
                {"type", k.key_type},
                {"length", k.key_length},
                {"duplicates", (k.key_type & datfile::kKeyTypeDuplicates) != 0},
                {"nocase", (k.key_type & datfile::kKeyTypeNoCase) != 0},
                {"optional", (k.key_type & datfile::kKeyTypeNotOptional) == 0},
                {"index", k.is_index()},
                {"components", ComponentsJson(k)}};
    if (i < info.key_files.size()) key["file"] = KeyFileJson(info.key_files[i]);
    keys.push_back(std::move(key));
  }
  return keys;
}

Json PicturesJson(const DataFileInfo& info) {
  Json pictures = Json::array();
  for (const std::string& picture : info.pictures) pictures.push_back(Text(picture));
  return pictures;
}

Json ArraysJson(const DataFileInfo& info) {
  Json arrays = Json::array();
  for (const datfile::ArrayInfo& a : info.arrays) {
    Json dimensions = Json::array();
    for (const auto& [bound, stride] : a.dimensions) {
      dimensions.push_back({{"bound", bound}, {"stride", stride}});
    }
    arrays.push_back({{"own", a.own_dimensions},
                      {"total", a.total_dimensions},
                      {"size", a.total_size},
                      {"dimensions", std::move(dimensions)}});
  }
  return arrays;
}

Json FaultsJson(const std::vector<CheckFault>& faults) {
  Json lines = Json::array();
  for (const CheckFault& fault : faults) lines.push_back(Text(datfile::FormatFault(fault)));
  return lines;
}

int RunInfo(Arguments arguments) {
  CheckArguments args;
  if (!ParseArguments(arguments, false, &args)) return ReportUsage(kInfoSynopsis);
  const std::string label = FileLabel(args.file);
  datfile::FileSystem& fs = datfile::PosixFileSystem();
  std::string path;
  datfile::Status status = datfile::ResolveDataFileName(fs, args.file, &path);
  if (!status.ok()) return ReportFileStatus(label, status);
  DataFileInfo info;
  std::vector<CheckFault> faults;
  status = datfile::DescribeDataFile(fs, path, args.owner, &info, &faults);
  if (!status.ok()) return ReportFileStatus(label, status);
  const Json document = {{"file", Text(BaseName(path))},
                         {"size", info.file_size},
                         {"owner_scrambled", info.owner_scrambled},
                         {"header", HeaderJson(info.header)},
                         {"fields", FieldsJson(info)},
                         {"keys", KeysJson(info)},
                         {"pictures", PicturesJson(info)},
                         {"arrays", ArraysJson(info)},
                         {"faults", FaultsJson(faults)}};
  std::cout << JsonText(document);
  return 0;
}

int RunCheck(Arguments arguments) {
  CheckArguments args;
  if (!ParseArguments(arguments, true, &args)) return ReportUsage(kCheckSynopsis);
  const std::string label = FileLabel(args.file);
  datfile::FileSystem& fs = datfile::PosixFileSystem();
  std::string path;
  datfile::Status status = datfile::ResolveDataFileName(fs, args.file, &path);
  if (!status.ok()) return ReportFileStatus(label, status);
  SettledForCheck settled;  // holds byte 0 until the check is done
  if (args.recover) {
    if (SettleForCheck(fs, path, label, &settled) != 0) return 1;
    if (!settled.note.empty()) std::cout << settled.note << '\n';
  }
  datfile::CheckOptions options;
  options.owner = args.owner;
  options.text = args.text;
  datfile::CheckResult result;
  status = datfile::CheckDataFile(fs, path, options, &result);
  if (!status.ok()) return ReportFileStatus(label, status);
  std::string summary = values::W("Проверка ") + result.data_file + ": " +
                        values::W("записей ") + std::to_string(result.live_records) +
                        values::W(", удалённых ") +
                        std::to_string(result.deleted_records);
  for (const datfile::KeySummary& key : result.keys) {
    summary += ", " + key.file + " " +
               (key.present ? std::to_string(key.entries) : values::W("нет"));
  }
  PrintLine(summary);
  // Without recovery the files are read as they are; an open (or check
  // without --no-recover) undoes a transaction that died half way, and
  // with it the faults it left.  Paths are printed as the system spells
  // them, not converted from program text.
  const std::string log = datfile::CompanionFileName(path, datfile::kLogExtension);
  if (!args.recover && fs.Exists(log)) {
    std::cout << "Примечание: найден журнал незавершённой транзакции " << log
              << "; check без --no-recover или первое открытие файла откатит её "
                 "вместе с ошибками, которые она оставила\n";
  }
  for (const std::string& note : result.notes) {
    PrintLine(values::W("Примечание: ") + note);
  }
  for (const CheckFault& fault : result.faults) PrintLine(datfile::FormatFault(fault));
  if (result.clean()) {
    PrintLine(values::W("Проверка ") + result.data_file + values::W(": ошибок нет"));
    return 0;
  }
  PrintLine(values::W("Проверка ") + result.data_file + values::W(": ошибок ") +
            std::to_string(result.faults.size()));
  return 1;
}

}  // namespace

std::vector<Command> CheckCommands() {
  return {
      {"info", kInfoSynopsis, RunInfo},
      {"check", kCheckSynopsis, RunCheck},
  };
}

}  // namespace zuna::tool
