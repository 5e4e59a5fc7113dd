#include "tests/support/zun_declaration.h"

#include <utility>
#include <vector>

#include "app/zun_dictionary.h"
#include "runtime/datfile/coding.h"
#include "runtime/values/code_page.h"

namespace zuna::testing {
namespace {

using datfile::FieldDecl;
using datfile::FieldType;
using datfile::FileDecl;
using datfile::KeyDecl;

FieldDecl Field(std::string label, FieldType type, uint16_t offset,
                uint16_t size, std::vector<uint16_t> dimensions = {},
                int group = -1) {
  FieldDecl field;
  field.label = std::move(label);
  field.type = type;
  field.offset = offset;
  field.size = size;
  field.dimensions = std::move(dimensions);
  field.group = group;
  return field;
}

KeyDecl Key(std::string label, std::vector<uint16_t> fields, bool dup,
            bool nocase, bool opt) {
  KeyDecl key;
  key.label = std::move(label);
  for (uint16_t f : fields) key.components.push_back({f});
  key.duplicates = dup;
  key.nocase = nocase;
  key.optional = opt;
  return key;
}

}  // namespace

// The register's own declaration, so every driver test exercises exactly
// the file the program opens.
FileDecl ZunDeclaration() { return app::ZunDeclaration(); }

std::string ZunRecord(std::string_view fio, int32_t data, int32_t data1) {
  std::string record(kZunRecordLength, ' ');
  record.replace(0, fio.size() < 30 ? fio.size() : 30, fio.substr(0, 30));
  datfile::EncodeFixed32(record.data() + 30, static_cast<uint32_t>(data));
  datfile::EncodeFixed32(record.data() + 34, static_cast<uint32_t>(data1));
  return record;
}

FileDecl MemoDeclaration(bool binary) {
  FileDecl file;
  file.label = "MEM";
  file.record_length = kMemoRecordLength;
  file.fields = {Field("MEM:Name", FieldType::kString, 0, 20),
                 Field("MEM:Born", FieldType::kLong, 20, 4)};
  file.keys = {Key("MEM:NameKey", {0}, false, true, false)};
  file.memo = datfile::MemoDecl{"MEM:Notes", kMemoSize, binary};
  file.reclaim = true;
  return file;
}

FileDecl ArrayDeclaration() {
  FileDecl file;
  file.label = "ARR";
  file.record_length = kArrayRecordLength;
  file.fields = {Field("ARR:Codes", FieldType::kString, 0, 12, {3}),
                 Field("ARR:Period", FieldType::kGroup, 12, 24, {2}),
                 Field("ARR:From", FieldType::kLong, 12, 4, {}, 1),
                 Field("ARR:Till", FieldType::kLong, 16, 4, {}, 1),
                 Field("ARR:Tags", FieldType::kString, 20, 4, {2}, 1),
                 Field("ARR:Title", FieldType::kString, 36, 10),
                 Field("ARR:Note", FieldType::kString, 46, 10)};
  file.fields[5].picture = "@s10";
  file.fields[6].picture = "@s10";
  file.oem = true;
  return file;
}

FileDecl NumericDeclaration() {
  FileDecl file;
  file.label = "NUM";
  file.record_length = kNumericRecordLength;
  file.fields = {Field("NUM:Count", FieldType::kByte, 0, 1),
                 Field("NUM:Small", FieldType::kShort, 1, 2),
                 Field("NUM:Amount", FieldType::kDecimal, 3, 4),
                 Field("NUM:Rate", FieldType::kReal, 7, 8),
                 Field("NUM:Flags", FieldType::kUShort, 15, 2),
                 Field("NUM:Scratch", FieldType::kLong, 17, 4),
                 Field("NUM:Stamp", FieldType::kLong, 21, 4),
                 Field("NUM:Label", FieldType::kCString, 25, 7)};
  file.fields[2].decimal_places = 2;
  file.fields[5].stored = false;
  file.keys = {Key("NUM:AmountKey", {2, 1}, false, false, false)};
  return file;
}

FileDecl SecretDeclaration() {
  FileDecl file = ZunDeclaration();
  file.label = "SEC";
  for (FieldDecl& field : file.fields) field.label.replace(0, 3, "SEC");
  for (KeyDecl& key : file.keys) key.label.replace(0, 3, "SEC");
  file.oem = false;
  file.owner = values::W("Секрет");
  file.encrypt = true;
  file.memo = datfile::MemoDecl{"SEC:Notes", kSecretMemoSize, false};
  return file;
}

FileDecl FiveDimensionDeclaration() {
  FileDecl file;
  file.label = "BAD";
  file.record_length = 128;
  file.fields = {Field("BAD:Block", FieldType::kGroup, 0, 128, {2, 2}),
                 Field("BAD:Cube", FieldType::kLong, 0, 32, {2, 2, 2}, 0)};
  return file;
}

}  // namespace zuna::testing
