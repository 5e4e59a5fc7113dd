#include "runtime/datfile/descriptors.h"

#include <algorithm>
#include <utility>

#include "runtime/datfile/coding.h"
#include "runtime/datfile/dat_format.h"

namespace zuna::datfile {
namespace {

struct Dimension {
  uint16_t bound = 0;
  uint16_t stride = 0;
};

std::string PadTo(std::string_view text, size_t size) {
  std::string out(text.substr(0, size));
  out.resize(size, ' ');
  return out;
}

// The enclosing GROUPs of field `index`, outermost first.  False when the
// chain does not go strictly backwards through GROUP fields (a declaration
// fault that would otherwise loop or index out of range).
bool EnclosingGroups(const FileDecl& file, size_t index,
                     std::vector<size_t>* groups) {
  groups->clear();
  size_t current = index;
  int group = file.fields[index].group;
  while (group >= 0) {
    const auto g = static_cast<size_t>(group);
    if (g >= current || file.fields[g].type != FieldType::kGroup) return false;
    groups->insert(groups->begin(), g);
    current = g;
    group = file.fields[g].group;
  }
  return true;
}

// Bound/stride pairs of a field's own dimensions, outermost first.
void AppendOwnDimensions(const FieldDecl& field, std::vector<Dimension>* out) {
  const uint32_t element = ElementLength(field);
  std::vector<Dimension> own(field.dimensions.size());
  uint32_t stride = element;
  for (size_t i = field.dimensions.size(); i-- > 0;) {
    own[i] = {field.dimensions[i], static_cast<uint16_t>(stride)};
    stride *= field.dimensions[i];
  }
  out->insert(out->end(), own.begin(), own.end());
}

// All dimensions of field `index`: enclosing GROUPs' first, then its own.
std::vector<Dimension> AllDimensions(const FileDecl& file, size_t index,
                                     const std::vector<size_t>& groups) {
  std::vector<Dimension> dims;
  for (size_t g : groups) AppendOwnDimensions(file.fields[g], &dims);
  AppendOwnDimensions(file.fields[index], &dims);
  return dims;
}

bool NeedsArrayDescriptor(const FileDecl& file, size_t index,
                          const std::vector<size_t>& groups) {
  if (!file.fields[index].dimensions.empty()) return true;
  return std::any_of(groups.begin(), groups.end(), [&](size_t g) {
    return !file.fields[g].dimensions.empty();
  });
}

Status InvalidField(const FieldDecl& field, const std::string& why) {
  return Status::Error(Err::kInvalidFieldTypeDescriptor,
                       field.label + ": " + why);
}

Status CheckField(const FileDecl& file, size_t index,
                  const std::vector<size_t>& groups) {
  const FieldDecl& field = file.fields[index];
  for (uint16_t d : field.dimensions) {
    if (d == 0) return InvalidField(field, "dimension of 0");
  }
  size_t total = field.dimensions.size();
  for (size_t g : groups) total += file.fields[g].dimensions.size();
  if (total > dat::kMaxDimensions) {
    return InvalidField(field, std::to_string(total) + " dimensions");
  }
  if (static_cast<uint32_t>(field.offset) + field.size > file.record_length) {
    return InvalidField(field, "lies outside the record");
  }
  return Status::OK();
}

std::string EncodeFieldDescriptor(const FieldDecl& field, uint16_t array_no,
                                  uint16_t picture_no) {
  std::string d(dat::kFieldDescriptorSize, '\0');
  d[dat::kFieldTypeOffset] = static_cast<char>(FieldTypeCode(field));
  d.replace(dat::kFieldNameOffset, dat::kNameSize, StoredFieldName(field.label));
  EncodeFixed16(&d[dat::kFieldOffsetOffset], field.offset);
  const uint16_t element = ElementLength(field);
  EncodeFixed16(&d[dat::kFieldLengthOffset], element);
  if (field.type == FieldType::kDecimal) {
    const int digits = 2 * element - 1 - field.decimal_places;
    d[dat::kFieldDigitsOffset] = static_cast<char>(digits < 0 ? 0 : digits);
    d[dat::kFieldPlacesOffset] = static_cast<char>(field.decimal_places);
  }
  EncodeFixed16(&d[dat::kFieldArrayOffset], array_no);
  EncodeFixed16(&d[dat::kFieldPictureOffset], picture_no);
  return d;
}

std::string EncodeArrayDescriptor(const FieldDecl& field,
                                  const std::vector<Dimension>& dims) {
  std::string d(dat::kArrayDescriptorFixedSize +
                    dat::kArrayDimensionSize * dims.size(),
                '\0');
  EncodeFixed16(&d[dat::kArrayOwnCountOffset],
                static_cast<uint16_t>(field.dimensions.size()));
  EncodeFixed16(&d[dat::kArrayTotalCountOffset],
                static_cast<uint16_t>(dims.size()));
  EncodeFixed16(&d[dat::kArrayTotalSizeOffset], field.stored ? field.size : 0);
  for (size_t i = 0; i < dims.size(); ++i) {
    char* pair = &d[dat::kArrayDescriptorFixedSize + dat::kArrayDimensionSize * i];
    EncodeFixed16(pair, dims[i].bound);
    EncodeFixed16(pair + 2, dims[i].stride);
  }
  return d;
}

std::string EncodePictureEntry(const std::string& picture) {
  std::string entry(dat::kPictureLengthSize, '\0');
  EncodeFixed16(entry.data(), static_cast<uint16_t>(picture.size() + 1));
  entry += picture;
  entry += '\0';
  return entry;
}

Status CheckKey(const FileDecl& file, const KeyDecl& key) {
  for (const KeyComponent& c : key.components) {
    if (c.field >= file.fields.size()) {
      return Status::Error(Err::kInvalidFieldTypeDescriptor,
                           key.label + ": component names no field");
    }
  }
  if (key.components.size() > 0xFF) {
    return Status::Error(Err::kInvalidFieldTypeDescriptor,
                         key.label + ": too many components");
  }
  if (KeyLength(file, key) > dat::kMaxKeyLength) {
    return Status::Error(Err::kInvalidKeyLength, key.label);
  }
  return Status::OK();
}

}  // namespace

std::string StoredFieldName(std::string_view label) {
  const size_t colon = label.find(':');
  if (colon == std::string_view::npos) return PadTo(label.substr(0, 12), 16);
  const std::string_view prefix = label.substr(0, colon);
  const std::string_view name = label.substr(colon + 1);
  std::string stored;
  if (prefix.size() >= 4) {
    stored = std::string(prefix.substr(0, 3)) + ":" + std::string(name.substr(0, 12));
  } else {
    stored = std::string(label.substr(0, 16));
    if (prefix.size() < 3 && name.size() > 12) stored.resize(prefix.size() + 13);
  }
  return PadTo(stored, dat::kNameSize);
}

std::string StoredKeyName(std::string_view label) {
  return PadTo(label, dat::kNameSize);
}

std::string_view LabelPrefix(std::string_view label) {
  const size_t colon = label.find(':');
  if (colon == std::string_view::npos || colon >= 4) return {};
  return label.substr(0, colon);
}

std::string_view LabelName(std::string_view label) {
  const size_t colon = label.find(':');
  return colon == std::string_view::npos ? label : label.substr(colon + 1);
}

uint8_t FieldTypeCode(const FieldDecl& field) {
  switch (field.type) {
    case FieldType::kLong:
      return dat::kTypeLong;
    case FieldType::kReal:
      return dat::kTypeReal;
    case FieldType::kString:
      return field.picture.empty() ? dat::kTypeString : dat::kTypePictureString;
    case FieldType::kByte:
      return dat::kTypeByte;
    case FieldType::kShort:
      return dat::kTypeShort;
    case FieldType::kGroup:
      return dat::kTypeGroup;
    case FieldType::kDecimal:
      return dat::kTypeDecimal;
    default:
      return dat::kTypeOther;
  }
}

FieldType FieldTypeOfCode(uint8_t code) {
  switch (code) {
    case dat::kTypeLong: return FieldType::kLong;
    case dat::kTypeReal: return FieldType::kReal;
    case dat::kTypeByte: return FieldType::kByte;
    case dat::kTypeShort: return FieldType::kShort;
    case dat::kTypeGroup: return FieldType::kGroup;
    case dat::kTypeDecimal: return FieldType::kDecimal;
    default: return FieldType::kString;  // STRING, picture STRING, unknown
  }
}

uint8_t KeyTypeBits(const KeyDecl& key) {
  uint8_t bits = 0;
  if (key.duplicates || key.index) bits |= dat::kKeyDuplicates;
  if (key.nocase) bits |= dat::kKeyNoCase;
  if (!key.optional) bits |= dat::kKeyNotOptional;
  if (key.index) bits |= dat::kKeyIndex;
  return bits;
}

uint16_t StoredFieldCount(const FileDecl& file) {
  return static_cast<uint16_t>(std::count_if(
      file.fields.begin(), file.fields.end(),
      [](const FieldDecl& f) { return f.stored; }));
}

uint16_t ArrayDescriptorCount(const FileDecl& file) {
  uint16_t count = 0;
  std::vector<size_t> groups;
  for (size_t i = 0; i < file.fields.size(); ++i) {
    if (EnclosingGroups(file, i, &groups) && NeedsArrayDescriptor(file, i, groups)) {
      ++count;
    }
  }
  return count;
}

std::string EncodeKeyDescriptor(const FileDecl& file, size_t key_index) {
  const KeyDecl& key = file.keys[key_index];
  std::string d(dat::kKeyDescriptorFixedSize +
                    dat::kKeyComponentSize * key.components.size(),
                '\0');
  d[dat::kKeyComponentCountOffset] = static_cast<char>(key.components.size());
  d.replace(dat::kKeyNameOffset, dat::kNameSize, StoredKeyName(key.label));
  d[dat::kKeyTypeOffset] = static_cast<char>(KeyTypeBits(key));
  d[dat::kKeyLengthOffset] = static_cast<char>(KeyLength(file, key));
  for (size_t i = 0; i < key.components.size(); ++i) {
    const uint16_t field_index = key.components[i].field;
    const FieldDecl& field = file.fields[field_index];
    char* c = &d[dat::kKeyDescriptorFixedSize + dat::kKeyComponentSize * i];
    c[dat::kComponentTypeOffset] = static_cast<char>(FieldTypeCode(field));
    EncodeFixed16(c + dat::kComponentFieldOffset,
                  static_cast<uint16_t>(field_index + 1));
    EncodeFixed16(c + dat::kComponentOffsetOffset, field.offset);
    c[dat::kComponentLengthOffset] = static_cast<char>(ElementLength(field));
  }
  return d;
}

Status BuildDescriptorLayout(const FileDecl& file, DescriptorLayout* layout) {
  *layout = DescriptorLayout();
  if (file.record_length > dat::kMaxRecordLength) {
    return Status::Error(Err::kInvalidFieldTypeDescriptor,
                         file.label + ": record too long");
  }
  if (file.fields.size() > 0xFFFF || file.keys.size() > 0xFF) {
    return Status::Error(Err::kInvalidFieldTypeDescriptor,
                         file.label + ": too many fields or keys");
  }
  uint32_t offset = dat::kHeaderSize;
  std::vector<std::string> pictures;  // distinct texts, first occurrence order
  std::vector<size_t> groups;
  for (size_t i = 0; i < file.fields.size(); ++i) {
    const FieldDecl& field = file.fields[i];
    if (!EnclosingGroups(file, i, &groups)) {
      return InvalidField(field, "enclosing GROUP is not an earlier GROUP");
    }
    ZUNA_RETURN_IF_ERROR(CheckField(file, i, groups));
    uint16_t array_no = 0;
    if (NeedsArrayDescriptor(file, i, groups)) {
      layout->array_descriptors.push_back(
          EncodeArrayDescriptor(field, AllDimensions(file, i, groups)));
      array_no = static_cast<uint16_t>(layout->array_descriptors.size());
    }
    if (!field.stored) continue;
    if (layout->record_prefix.empty()) {
      layout->record_prefix = std::string(LabelPrefix(field.label));
    }
    uint16_t picture_no = 0;
    if (FieldTypeCode(field) == dat::kTypePictureString) {
      auto found = std::find(pictures.begin(), pictures.end(), field.picture);
      if (found == pictures.end()) {
        pictures.push_back(field.picture);
        found = pictures.end() - 1;
      }
      picture_no = static_cast<uint16_t>(found - pictures.begin() + 1);
    }
    layout->field_descriptors.push_back(
        EncodeFieldDescriptor(field, array_no, picture_no));
    offset += dat::kFieldDescriptorSize;
  }
  for (size_t k = 0; k < file.keys.size(); ++k) {
    ZUNA_RETURN_IF_ERROR(CheckKey(file, file.keys[k]));
    if (layout->file_prefix.empty()) {
      layout->file_prefix = std::string(LabelPrefix(file.keys[k].label));
    }
    layout->key_descriptor_offsets.push_back(offset);
    layout->key_descriptors.push_back(EncodeKeyDescriptor(file, k));
    offset += static_cast<uint32_t>(layout->key_descriptors.back().size());
  }
  for (const std::string& picture : pictures) {
    layout->picture_entries.push_back(EncodePictureEntry(picture));
    offset += static_cast<uint32_t>(layout->picture_entries.back().size());
  }
  for (const std::string& array : layout->array_descriptors) {
    offset += static_cast<uint32_t>(array.size());
  }
  if (layout->file_prefix.empty() && !layout->record_prefix.empty()) {
    layout->file_prefix = std::move(layout->record_prefix);
    layout->record_prefix.clear();
  }
  layout->data_offset = offset;
  return Status::OK();
}

}  // namespace zuna::datfile
