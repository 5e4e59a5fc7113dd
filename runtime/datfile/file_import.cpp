#include "runtime/datfile/file_import.h"

#include <utility>
#include <vector>

#include "runtime/datfile/checker.h"
#include "runtime/datfile/dat_format.h"
#include "runtime/datfile/descriptors.h"

namespace zuna::datfile {
namespace {

Status Invalid(const std::string& path, const std::string& why) {
  return Status::Error(Err::kInvalidDataFile, path + ": " + why);
}

// A zero-padded prefix field of the header as text.
std::string PrefixText(const std::array<char, dat::kPrefixSize>& field) {
  std::string text(field.begin(), field.end());
  while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

std::string FileLabel(const DataFileInfo& info) {
  std::string label = PrefixText(info.header.file_prefix);
  if (label.empty()) label = PrefixText(info.header.record_prefix);
  if (!label.empty()) return label;
  std::string base = info.path.substr(info.path.rfind('/') + 1);
  const size_t dot = base.rfind('.');
  return dot == std::string::npos ? base : base.substr(0, dot);
}

// The innermost earlier GROUP whose first element holds `field`, or -1.
int EnclosingGroup(const std::vector<FieldDecl>& fields, const FieldDecl& field) {
  for (size_t j = fields.size(); j-- > 0;) {
    const FieldDecl& g = fields[j];
    if (g.type != FieldType::kGroup) continue;
    if (field.offset >= g.offset &&
        uint32_t{field.offset} + field.size <= uint32_t{g.offset} + ElementLength(g)) {
      return static_cast<int>(j);
    }
  }
  return -1;
}

Status ImportField(const DataFileInfo& info, const FieldInfo& f,
                   std::vector<FieldDecl>* fields) {
  FieldDecl field;
  field.label = f.name;
  field.type = FieldTypeOfCode(f.type_code);
  field.offset = f.offset;
  uint32_t elements = 1;
  if (f.array_number != 0) {
    if (f.array_number > info.arrays.size()) {
      return Invalid(info.path, f.name + ": array descriptor missing");
    }
    const ArrayInfo& array = info.arrays[f.array_number - 1];
    // The field's own dimensions come last, after its GROUPs'.
    for (size_t d = array.dimensions.size() - array.own_dimensions;
         d < array.dimensions.size(); ++d) {
      field.dimensions.push_back(array.dimensions[d].first);
      elements *= array.dimensions[d].first;
    }
  }
  const uint32_t size = elements * f.element_length;
  if (size > 0xFFFF) return Invalid(info.path, f.name + ": too large");
  field.size = static_cast<uint16_t>(size);
  if (f.picture_number != 0) {
    if (f.picture_number > info.pictures.size()) {
      return Invalid(info.path, f.name + ": picture entry missing");
    }
    field.picture = info.pictures[f.picture_number - 1];
  }
  if (field.type == FieldType::kDecimal) field.decimal_places = f.places;
  field.group = EnclosingGroup(*fields, field);
  fields->push_back(std::move(field));
  return Status::OK();
}

// The field a key component names: by its number when that field is where
// the component says, else the field at the component's offset (the numbers
// count fields kept in memory only, which have no descriptor).
Status ComponentField(const DataFileInfo& info, const KeyComponentInfo& c,
                      uint16_t* field) {
  auto matches = [&](size_t i) {
    const FieldInfo& f = info.fields[i];
    return f.offset == c.offset && f.type_code == c.type_code &&
           f.element_length == c.length;
  };
  if (c.field_number >= 1 && c.field_number <= info.fields.size() &&
      matches(c.field_number - 1)) {
    *field = static_cast<uint16_t>(c.field_number - 1);
    return Status::OK();
  }
  for (size_t i = 0; i < info.fields.size(); ++i) {
    if (matches(i)) {
      *field = static_cast<uint16_t>(i);
      return Status::OK();
    }
  }
  return Invalid(info.path, "a key component names no field");
}

Status ImportKey(const DataFileInfo& info, const KeyInfo& k, FileDecl* decl) {
  KeyDecl key;
  key.label = k.name;
  key.index = (k.key_type & kKeyTypeIndex) != 0;
  key.duplicates = (k.key_type & kKeyTypeDuplicates) != 0;
  key.nocase = (k.key_type & kKeyTypeNoCase) != 0;
  key.optional = (k.key_type & kKeyTypeNotOptional) == 0;
  for (const KeyComponentInfo& c : k.components) {
    KeyComponent component;
    ZUNA_RETURN_IF_ERROR(ComponentField(info, c, &component.field));
    key.components.push_back(component);
  }
  decl->keys.push_back(std::move(key));
  return Status::OK();
}

void ImportMemo(const DataFileInfo& info, FileDecl* decl) {
  if ((info.header.attributes & dat::kAttrMemo) == 0) return;
  std::string name(info.header.memo_name.begin(), info.header.memo_name.end());
  while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
  const std::string prefix = PrefixText(info.header.file_prefix);
  MemoDecl memo;
  memo.label = prefix.empty() ? name : prefix + ":" + name;
  memo.size = info.header.memo_size;
  decl->memo = std::move(memo);
}

Status Translate(const DataFileInfo& info, FileDecl* decl) {
  const DatHeader& h = info.header;
  if (h.slot_length < dat::kSlotPrefixSize) return Invalid(info.path, "slot length");
  decl->label = FileLabel(info);
  decl->name = info.path;
  decl->record_length = static_cast<uint16_t>(h.slot_length - dat::kSlotPrefixSize);
  for (const FieldInfo& f : info.fields) {
    ZUNA_RETURN_IF_ERROR(ImportField(info, f, &decl->fields));
  }
  for (const KeyInfo& k : info.keys) ZUNA_RETURN_IF_ERROR(ImportKey(info, k, decl));
  ImportMemo(info, decl);
  decl->reclaim = (h.attributes & dat::kAttrReclaim) != 0;
  decl->encrypt = (h.attributes & dat::kAttrEncrypt) != 0;
  // A declaration the format could not lay down again is no description of
  // this file.
  DescriptorLayout layout;
  Status status = BuildDescriptorLayout(*decl, &layout);
  if (!status.ok()) return Invalid(info.path, status.detail());
  return Status::OK();
}

}  // namespace

Status ImportDeclaration(FileSystem& fs, const std::string& name, FileDecl* decl,
                         const std::optional<std::string>& owner) {
  std::string path;
  ZUNA_RETURN_IF_ERROR(ResolveDataFileName(fs, name, &path));
  DataFileInfo info;
  std::vector<CheckFault> faults;
  ZUNA_RETURN_IF_ERROR(DescribeDataFile(fs, path, owner, &info, &faults));
  for (const CheckFault& fault : faults) {
    // Unknown attribute bits do not stop the descriptors being read.
    if (fault.kind != FaultKind::kAttributes) {
      return Invalid(path, FormatFault(fault));
    }
  }
  if (!info.readable) {
    return Invalid(path, info.owner_scrambled ? "scrambled with an OWNER"
                                              : "header unreadable");
  }
  FileDecl imported;
  ZUNA_RETURN_IF_ERROR(Translate(info, &imported));
  if (info.owner_scrambled) imported.owner = *owner;
  *decl = std::move(imported);
  return Status::OK();
}

}  // namespace zuna::datfile
