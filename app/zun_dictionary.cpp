#include "app/zun_dictionary.h"

#include <algorithm>
#include <utility>

namespace zuna::app {
namespace {

datfile::FieldDecl Field(std::string label, datfile::FieldType type,
                         uint16_t offset, uint16_t size) {
  datfile::FieldDecl field;
  field.label = std::move(label);
  field.type = type;
  field.offset = offset;
  field.size = size;
  return field;
}

// DUP NOCASE OPT over one field: both keys of ZUN are of this kind.
datfile::KeyDecl DupNoCaseOptKey(std::string label, uint16_t field) {
  datfile::KeyDecl key;
  key.label = std::move(label);
  key.components.push_back({field});
  key.duplicates = true;
  key.nocase = true;
  key.optional = true;
  return key;
}

datfile::FileDecl BuildDeclaration() {
  datfile::FileDecl file;
  file.label = "ZUN";
  file.record_length = sizeof(ZUN_Record);
  file.fields = {
      Field("ZUN:FIO", datfile::FieldType::kString, offsetof(ZUN_Record, FIO),
            kZunFioSize),
      Field("ZUN:DATA", datfile::FieldType::kLong, offsetof(ZUN_Record, DATA), 4),
      Field("ZUN:DATA1", datfile::FieldType::kLong, offsetof(ZUN_Record, DATA1),
            4)};
  file.keys = {DupNoCaseOptKey("ZUN:zun_key", 1),
               DupNoCaseOptKey("ZUN:key2", 0)};
  file.create = true;
  file.reclaim = true;
  file.oem = true;
  file.thread = true;
  return file;
}

}  // namespace

const datfile::FileDecl& ZunDeclaration() {
  static const datfile::FileDecl declaration = BuildDeclaration();
  return declaration;
}

ZUN_Record MakeZunRecord(std::string_view fio, int32_t data, int32_t data1) {
  ZUN_Record record;
  std::memset(record.FIO, ' ', sizeof record.FIO);
  std::memcpy(record.FIO, fio.data(), std::min(fio.size(), sizeof record.FIO));
  record.DATA = data;
  record.DATA1 = data1;
  return record;
}

std::string_view ZunName(const ZUN_Record& record) {
  std::string_view name(record.FIO, sizeof record.FIO);
  // A name is short and padded with blanks: eight of them at a time first
  // (every list and export line trims one).
  constexpr std::string_view kEightBlanks = "        ";
  while (name.ends_with(kEightBlanks)) name.remove_suffix(kEightBlanks.size());
  while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) {
    name.remove_suffix(1);
  }
  return name;
}

}  // namespace zuna::app
