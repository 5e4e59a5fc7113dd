#include "runtime/datfile/declaration.h"

#include <algorithm>

namespace zuna::datfile {

uint16_t ElementLength(const FieldDecl& field) {
  uint32_t elements = 1;
  for (uint16_t d : field.dimensions) elements *= d == 0 ? 1 : d;
  return static_cast<uint16_t>(field.size / elements);
}

uint32_t KeyLength(const FileDecl& file, const KeyDecl& key) {
  uint32_t length = 0;
  for (const KeyComponent& c : key.components) {
    if (c.field < file.fields.size()) length += ElementLength(file.fields[c.field]);
  }
  return length;
}

bool IsIntegerField(FieldType type) {
  switch (type) {
    case FieldType::kByte:
    case FieldType::kShort:
    case FieldType::kUShort:
    case FieldType::kLong:
    case FieldType::kULong:
      return true;
    default:
      return false;
  }
}

bool IsNumericField(FieldType type) {
  return IsIntegerField(type) || type == FieldType::kSReal ||
         type == FieldType::kReal;
}

std::optional<values::VarType> FieldValueType(FieldType type) {
  switch (type) {
    case FieldType::kByte: return values::VarType::kByte;
    case FieldType::kShort: return values::VarType::kShort;
    case FieldType::kUShort: return values::VarType::kUShort;
    case FieldType::kLong: return values::VarType::kLong;
    case FieldType::kULong: return values::VarType::kULong;
    case FieldType::kSReal: return values::VarType::kSReal;
    case FieldType::kReal: return values::VarType::kReal;
    case FieldType::kString: return values::VarType::kString;
    case FieldType::kCString: return values::VarType::kCString;
    case FieldType::kPString: return values::VarType::kPString;
    case FieldType::kGroup: return values::VarType::kString;
    case FieldType::kDecimal: return std::nullopt;
  }
  return std::nullopt;
}

std::optional<values::VariableRef> FieldVariable(const FieldDecl& field,
                                                 std::span<char> record) {
  const std::optional<values::VarType> type = FieldValueType(field.type);
  if (!type || field.offset + size_t{field.size} > record.size()) {
    return std::nullopt;
  }
  values::VariableRef ref;
  ref.type = *type;
  ref.address = record.data() + field.offset;
  ref.size = ElementLength(field);
  const size_t dims = std::min(field.dimensions.size(), values::kMaxDimensions);
  ref.dimension_count = static_cast<uint8_t>(dims);
  for (size_t d = 0; d < dims; ++d) ref.dimensions[d] = field.dimensions[d];
  return ref;
}

}  // namespace zuna::datfile
