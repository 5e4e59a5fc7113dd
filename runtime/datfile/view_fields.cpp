// The primary FILE's fields as a view's expressions see them, and the token
// helpers the order parser and the early-end analysis share.
#include <algorithm>
#include <optional>

#include "runtime/datfile/view_internal.h"
#include "runtime/values/locale.h"

namespace zuna::datfile::view_internal {
namespace {

std::optional<values::VarType> VarTypeOf(FieldType type) {
  switch (type) {
    case FieldType::kByte:
      return values::VarType::kByte;
    case FieldType::kShort:
      return values::VarType::kShort;
    case FieldType::kUShort:
      return values::VarType::kUShort;
    case FieldType::kLong:
      return values::VarType::kLong;
    case FieldType::kULong:
      return values::VarType::kULong;
    case FieldType::kSReal:
      return values::VarType::kSReal;
    case FieldType::kReal:
      return values::VarType::kReal;
    case FieldType::kString:
      return values::VarType::kString;
    case FieldType::kCString:
      return values::VarType::kCString;
    case FieldType::kPString:
      return values::VarType::kPString;
    case FieldType::kGroup:
      return values::VarType::kString;
    case FieldType::kDecimal:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

RecordFields BindableFields(const FileDecl& decl, std::span<char> record) {
  RecordFields out;
  for (size_t f = 0; f < decl.fields.size(); ++f) {
    const FieldDecl& field = decl.fields[f];
    const std::optional<values::VarType> type = VarTypeOf(field.type);
    if (!type || field.label.empty() ||
        field.offset + size_t{field.size} > record.size()) {
      continue;
    }
    values::VariableRef ref;
    ref.type = *type;
    ref.address = record.data() + field.offset;
    ref.size = ElementLength(field);
    const size_t dims =
        std::min(field.dimensions.size(), values::kMaxDimensions);
    ref.dimension_count = static_cast<uint8_t>(dims);
    for (size_t d = 0; d < dims; ++d) ref.dimensions[d] = field.dimensions[d];
    out.fields.push_back({field.label, field.external_name, ref});
    out.field_index.push_back(static_cast<int>(f));
    out.upper_names.push_back(UpperName(field.label));
    if (!field.external_name.empty()) {
      out.upper_names.push_back(UpperName(field.external_name));
    }
  }
  return out;
}

std::unique_ptr<values::Expression> CompileOverRecord(
    const RecordFields& fields, std::string_view text) {
  values::PUSHBIND(true);
  values::BindFields(fields.fields);
  std::unique_ptr<values::Expression> expression =
      values::Expression::Compile(text);
  values::POPBIND();
  return expression;
}

std::string UpperName(std::string_view name) {
  return values::ToUpper(values::CutBoundName(name));
}

bool Tokenize(std::string_view text, std::vector<ItemToken>* tokens) {
  values::Lexer lexer(text);
  for (;;) {
    values::Token token = lexer.Next();
    if (token.type == values::TokenType::kEnd) return true;
    ItemToken item;
    item.type = token.type;
    item.op = token.op;
    item.pos = token.pos;
    item.end = token.pos + token.text.size();
    switch (token.type) {
      case values::TokenType::kName:
        item.text = UpperName(token.text);
        break;
      case values::TokenType::kString:
        item.text = token.value;
        break;
      default:
        item.text = std::string(token.text);
        break;
    }
    tokens->push_back(std::move(item));
    if (token.type == values::TokenType::kError) return false;
  }
}

}  // namespace zuna::datfile::view_internal
