// Commands that look at a data file without changing it: info and check.
//
// `info [--owner TEXT] FILE` prints one JSON object (UTF-8, two-space
// indent) describing the file as it is on disk.  Its keys are stable:
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

#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "runtime/datfile/checker.h"
#include "runtime/datfile/file_names.h"
#include "runtime/datfile/os_file.h"
#include "runtime/values/code_page.h"
#include "runtime/values/runtime_messages.h"
#include "tools/zunatool/check_recovery.h"
#include "tools/zunatool/command.h"
#include "tools/zunatool/file_errors.h"

namespace zuna::tool {
namespace {

using datfile::CheckFault;
using datfile::DataFileInfo;

constexpr std::string_view kInfoSynopsis = "info [--owner TEXT] FILE";
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

// A JSON string of program (1251) text.
std::string Quote(std::string_view cp1251) {
  const std::string utf8 = values::Cp1251ToUtf8(cp1251);
  std::string out = "\"";
  for (char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", u);
      out += buffer;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Raw(const char* bytes, size_t size) {
  std::string text(bytes, size);
  while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

// Writes "key": value pairs separated by commas, with indentation.
class JsonObject {
 public:
  JsonObject(std::ostream& out, int indent) : out_(out), indent_(indent) {
    out_ << "{";
  }
  void Field(std::string_view key, const std::string& json_value) {
    out_ << (first_ ? "\n" : ",\n") << std::string(indent_ + 2, ' ') << '"'
         << key << "\": " << json_value;
    first_ = false;
  }
  void Number(std::string_view key, uint64_t value) {
    Field(key, std::to_string(value));
  }
  void Bool(std::string_view key, bool value) {
    Field(key, value ? "true" : "false");
  }
  void Close() { out_ << "\n" << std::string(indent_, ' ') << "}"; }
  int indent() const { return indent_ + 2; }

 private:
  std::ostream& out_;
  int indent_;
  bool first_ = true;
};

std::string HeaderJson(const datfile::DatHeader& h, int indent) {
  std::ostringstream out;
  JsonObject o(out, indent);
  o.Number("signature", h.signature);
  o.Number("attributes", h.attributes);
  o.Number("key_count", h.key_count);
  o.Number("record_slots", h.record_slots);
  o.Number("deleted_count", h.deleted_count);
  o.Number("field_count", h.field_count);
  o.Number("picture_count", h.picture_count);
  o.Number("array_count", h.array_count);
  o.Number("slot_length", h.slot_length);
  o.Number("data_offset", h.data_offset);
  o.Number("logical_eof", h.logical_eof);
  o.Number("logical_bof", h.logical_bof);
  o.Number("first_free", h.first_free);
  o.Field("record_name", Quote(Raw(h.record_name.data(), h.record_name.size())));
  o.Field("memo_name", Quote(Raw(h.memo_name.data(), h.memo_name.size())));
  o.Field("file_prefix", Quote(Raw(h.file_prefix.data(), h.file_prefix.size())));
  o.Field("record_prefix",
          Quote(Raw(h.record_prefix.data(), h.record_prefix.size())));
  o.Number("memo_size", h.memo_size);
  o.Number("memo_width", h.memo_width);
  o.Number("reserved", h.reserved);
  o.Number("change_time", h.change_time);
  o.Number("change_date", h.change_date);
  o.Number("header_check", h.header_check);
  o.Close();
  return out.str();
}

std::string FieldsJson(const DataFileInfo& info, int indent) {
  std::string out = "[";
  for (size_t i = 0; i < info.fields.size(); ++i) {
    const datfile::FieldInfo& f = info.fields[i];
    std::ostringstream item;
    JsonObject o(item, indent + 2);
    o.Number("number", i + 1);
    o.Field("name", Quote(f.name));
    o.Number("type", f.type_code);
    o.Number("offset", f.offset);
    o.Number("length", f.element_length);
    o.Number("digits", f.digits);
    o.Number("places", f.places);
    o.Number("array", f.array_number);
    o.Number("picture", f.picture_number);
    o.Close();
    out += (i == 0 ? "\n" : ",\n") + std::string(indent + 2, ' ') + item.str();
  }
  return out + (info.fields.empty() ? "]" : "\n" + std::string(indent, ' ') + "]");
}

std::string KeyHeaderJson(const datfile::KeyHeader& h, int indent) {
  std::ostringstream out;
  JsonObject o(out, indent);
  o.Number("root", h.root);
  o.Number("entry_count", h.entry_count);
  o.Number("node_count", h.node_count);
  o.Number("last_leaf", h.last_leaf);
  o.Number("last_record", h.last_record);
  o.Number("first_record", h.first_record);
  o.Number("free_node", h.free_node);
  o.Number("key_type", h.key_type);
  o.Number("entries_per_node", h.entries_per_node);
  o.Number("component_count", h.component_count);
  o.Number("entry_length", h.entry_length);
  o.Number("height", h.height);
  o.Close();
  return out.str();
}

std::string KeyFileJson(const datfile::KeyFileInfo& file, int indent) {
  std::ostringstream out;
  JsonObject o(out, indent);
  const size_t slash = file.path.find_last_of('/');
  o.Field("name", Quote(slash == std::string::npos ? file.path
                                                   : file.path.substr(slash + 1)));
  o.Bool("present", file.present);
  o.Number("size", file.file_size);
  if (file.header_read) o.Field("header", KeyHeaderJson(file.header, o.indent()));
  o.Close();
  return out.str();
}

std::string ComponentsJson(const datfile::KeyInfo& key) {
  std::string out = "[";
  for (size_t i = 0; i < key.components.size(); ++i) {
    const datfile::KeyComponentInfo& c = key.components[i];
    out += (i == 0 ? "" : ", ") + std::string("{\"type\": ") +
           std::to_string(c.type_code) + ", \"field\": " +
           std::to_string(c.field_number) + ", \"offset\": " +
           std::to_string(c.offset) + ", \"length\": " +
           std::to_string(c.length) + "}";
  }
  return out + "]";
}

std::string KeysJson(const DataFileInfo& info, int indent) {
  std::string out = "[";
  for (size_t i = 0; i < info.keys.size(); ++i) {
    const datfile::KeyInfo& k = info.keys[i];
    std::ostringstream item;
    JsonObject o(item, indent + 2);
    o.Number("number", i + 1);
    o.Field("name", Quote(k.name));
    o.Number("type", k.key_type);
    o.Number("length", k.key_length);
    o.Bool("duplicates", (k.key_type & datfile::kKeyTypeDuplicates) != 0);
    o.Bool("nocase", (k.key_type & datfile::kKeyTypeNoCase) != 0);
    o.Bool("optional", (k.key_type & datfile::kKeyTypeNotOptional) == 0);
    o.Bool("index", k.is_index());
    o.Field("components", ComponentsJson(k));
    if (i < info.key_files.size()) {
      o.Field("file", KeyFileJson(info.key_files[i], o.indent()));
    }
    o.Close();
    out += (i == 0 ? "\n" : ",\n") + std::string(indent + 2, ' ') + item.str();
  }
  return out + (info.keys.empty() ? "]" : "\n" + std::string(indent, ' ') + "]");
}

std::string PicturesJson(const DataFileInfo& info) {
  std::string out = "[";
  for (size_t i = 0; i < info.pictures.size(); ++i) {
    out += (i == 0 ? "" : ", ") + Quote(info.pictures[i]);
  }
  return out + "]";
}

std::string ArraysJson(const DataFileInfo& info) {
  std::string out = "[";
  for (size_t i = 0; i < info.arrays.size(); ++i) {
    const datfile::ArrayInfo& a = info.arrays[i];
    out += (i == 0 ? "" : ", ") + std::string("{\"own\": ") +
           std::to_string(a.own_dimensions) + ", \"total\": " +
           std::to_string(a.total_dimensions) + ", \"size\": " +
           std::to_string(a.total_size) + ", \"dimensions\": [";
    for (size_t d = 0; d < a.dimensions.size(); ++d) {
      out += (d == 0 ? "" : ", ") + std::string("{\"bound\": ") +
             std::to_string(a.dimensions[d].first) + ", \"stride\": " +
             std::to_string(a.dimensions[d].second) + "}";
    }
    out += "]}";
  }
  return out + "]";
}

std::string FaultsJson(const std::vector<CheckFault>& faults) {
  std::string out = "[";
  for (size_t i = 0; i < faults.size(); ++i) {
    out += (i == 0 ? "" : ", ") + Quote(datfile::FormatFault(faults[i]));
  }
  return out + "]";
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
  std::ostringstream out;
  JsonObject o(out, 0);
  const size_t slash = path.find_last_of('/');
  o.Field("file", Quote(slash == std::string::npos ? path : path.substr(slash + 1)));
  o.Number("size", info.file_size);
  o.Bool("owner_scrambled", info.owner_scrambled);
  o.Field("header", HeaderJson(info.header, o.indent()));
  o.Field("fields", FieldsJson(info, o.indent()));
  o.Field("keys", KeysJson(info, o.indent()));
  o.Field("pictures", PicturesJson(info));
  o.Field("arrays", ArraysJson(info));
  o.Field("faults", FaultsJson(faults));
  o.Close();
  std::cout << out.str() << '\n';
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
