// The primary FILE's fields as a view's expressions see them, and the token
// helpers the order parser and the early-end analysis share.
#include <algorithm>
#include <optional>

#include "runtime/datfile/view_internal.h"
#include "runtime/values/locale.h"

namespace zuna::datfile::view_internal {

RecordFields BindableFields(const FileDecl& decl, std::span<char> record) {
  RecordFields out;
  for (size_t f = 0; f < decl.fields.size(); ++f) {
    const FieldDecl& field = decl.fields[f];
    const std::optional<values::VariableRef> ref = FieldVariable(field, record);
    if (!ref || field.label.empty()) continue;
    out.fields.push_back({field.label, field.external_name, *ref});
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
