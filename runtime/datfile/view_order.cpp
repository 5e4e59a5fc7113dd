// Order items: parsing an order text, the value an item orders by, how two
// values compare, and the position strings built from them.
#include <bit>
#include <cmath>
#include <cstring>

#include "runtime/datfile/coding.h"
#include "runtime/datfile/view_internal.h"
#include "runtime/values/error_state.h"
#include "runtime/values/locale.h"

namespace zuna::datfile::view_internal {
namespace {

using values::TokenType;

// "Invalid expression for EVALUATE", for an item the evaluator would not
// reach (an empty one).
constexpr int32_t kInvalidExpression = 1010;

ValueKind KindOfField(FieldType type) {
  switch (type) {
    case FieldType::kULong:
    case FieldType::kSReal:
    case FieldType::kReal:
      return ValueKind::kReal;
    case FieldType::kByte:
    case FieldType::kShort:
    case FieldType::kUShort:
    case FieldType::kLong:
      return ValueKind::kLong;
    default:
      return ValueKind::kString;
  }
}

ValueKind KindOfExpression(values::ExprType type) {
  switch (type) {
    case values::ExprType::kBool:
    case values::ExprType::kLong:
      return ValueKind::kLong;
    case values::ExprType::kReal:
      return ValueKind::kReal;
    case values::ExprType::kString:
      return ValueKind::kString;
  }
  return ValueKind::kString;
}

// The scalar field named by `upper_name`, or -1 (arrays are not orderable
// as a whole).
int FieldNamed(const FileDecl& decl, const RecordFields& fields,
               const std::string& upper_name) {
  for (size_t i = 0; i < fields.fields.size(); ++i) {
    const FieldDecl& field = decl.fields[fields.field_index[i]];
    if (!field.dimensions.empty()) continue;
    if (UpperName(field.label) == upper_name ||
        (!field.external_name.empty() &&
         UpperName(field.external_name) == upper_name)) {
      return fields.field_index[i];
    }
  }
  return -1;
}

bool IsOperator(const ItemToken& token, values::Op op) {
  return token.type == TokenType::kOperator && token.op == op;
}

// Recognises the field forms: "name", "UPPER ( name )", "LOWER ( name )".
void Classify(const FileDecl& decl, const RecordFields& fields,
              OrderItem* item) {
  const std::vector<ItemToken>& t = item->tokens;
  if (t.size() == 1 && t[0].type == TokenType::kName) {
    item->field = FieldNamed(decl, fields, t[0].text);
    if (item->field >= 0) item->form = ItemForm::kField;
    return;
  }
  if (t.size() == 4 && t[0].type == TokenType::kName &&
      t[1].type == TokenType::kLeftParen && t[2].type == TokenType::kName &&
      t[3].type == TokenType::kRightParen &&
      (t[0].text == "UPPER" || t[0].text == "LOWER")) {
    item->field = FieldNamed(decl, fields, t[2].text);
    if (item->field >= 0) {
      item->form =
          t[0].text == "UPPER" ? ItemForm::kUpperField : ItemForm::kLowerField;
    }
  }
}

double ComparableReal(double v) { return std::isnan(v) ? 0.0 : v; }

}  // namespace

int CompareValues(const OrderValue& a, const OrderValue& b) {
  switch (a.kind) {
    case ValueKind::kLong:
      return a.long_value < b.long_value   ? -1
             : a.long_value > b.long_value ? 1
                                           : 0;
    case ValueKind::kReal: {
      const double x = ComparableReal(a.real_value);
      const double y = ComparableReal(b.real_value);
      return x < y ? -1 : x > y ? 1 : 0;
    }
    case ValueKind::kString: {
      const int c = values::CompareStrings(a.text, b.text);
      return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
  }
  return 0;
}

OrderValue OrderItem::Evaluate() const {
  const values::Expression& e = value ? *value : *expression;
  OrderValue out;
  out.kind = kind;
  switch (kind) {
    case ValueKind::kLong:
      out.long_value = e.EvaluateLong();
      break;
    case ValueKind::kReal:
      out.real_value = e.EvaluateReal();
      break;
    case ValueKind::kString:
      out.text = e.EvaluateString();
      break;
  }
  return out;
}

std::vector<OrderItem> ParseOrder(std::string_view text, const FileDecl& decl,
                                  const RecordFields& fields, int32_t* error) {
  *error = 0;
  std::vector<OrderItem> items;
  std::vector<ItemToken> tokens;
  const bool lexed = Tokenize(text, &tokens);
  if (lexed && tokens.empty()) return items;  // no order: record-number order

  size_t at = 0;
  for (;;) {
    // One item: the tokens up to a comma outside brackets.
    const size_t begin = at;
    int depth = 0;
    bool broken = false;
    while (at < tokens.size()) {
      const ItemToken& token = tokens[at];
      if (token.type == TokenType::kError) broken = true;
      if (token.type == TokenType::kLeftParen ||
          token.type == TokenType::kLeftBracket) {
        ++depth;
      } else if (token.type == TokenType::kRightParen ||
                 token.type == TokenType::kRightBracket) {
        depth = depth > 0 ? depth - 1 : 0;
      } else if (depth == 0 && IsOperator(token, values::Op::kComma)) {
        break;
      }
      ++at;
    }
    OrderItem item;
    size_t first = begin;
    if (first < at && (IsOperator(tokens[first], values::Op::kSubtract) ||
                       IsOperator(tokens[first], values::Op::kAdd))) {
      item.descending = tokens[first].op == values::Op::kSubtract;
      ++first;
    }
    // The item's own text; past a token the lexer refused, the rest of the
    // order, so the evaluator reports the fault as it would in a filter.
    const size_t from = first < tokens.size() ? tokens[first].pos
                        : at > 0              ? tokens[at - 1].end
                                              : text.size();
    const size_t to = broken       ? text.size()
                      : first < at ? tokens[at - 1].end
                                   : from;
    item.text = std::string(text.substr(from, to - from));
    item.tokens.assign(tokens.begin() + static_cast<std::ptrdiff_t>(first),
                       tokens.begin() + static_cast<std::ptrdiff_t>(at));
    // An empty item, or one the lexer stopped in, is compiled all the same
    // so that the evaluator says why it does not parse.
    item.expression = CompileOverRecord(fields, item.text);
    if (item.expression && (first == at || broken)) {
      item.expression.reset();
      values::PostError(kInvalidExpression);
    }
    if (!item.expression) {
      *error = values::ERRORCODE();
      return items;
    }
    Classify(decl, fields, &item);
    item.kind = KindOfExpression(item.expression->type());
    if (item.field >= 0 && IsNumericField(decl.fields[item.field].type)) {
      item.kind = KindOfField(decl.fields[item.field].type);
      if (item.form != ItemForm::kField) {
        item.value = CompileOverRecord(fields, decl.fields[item.field].label);
        if (!item.value) {
          *error = values::ERRORCODE();
          return items;
        }
      }
    }
    items.push_back(std::move(item));
    if (at == tokens.size()) return items;
    ++at;  // the comma
  }
}

std::string EncodePlace(const Place& place) {
  std::string out(1, 'V');
  char buffer[8];
  EncodeFixed32(buffer, place.record_no);
  out.append(buffer, 4);
  out.push_back(static_cast<char>(place.values.size()));
  for (const OrderValue& value : place.values) {
    out.push_back(static_cast<char>(value.kind));
    switch (value.kind) {
      case ValueKind::kLong:
        EncodeFixed32(buffer, static_cast<uint32_t>(value.long_value));
        out.append(buffer, 4);
        break;
      case ValueKind::kReal: {
        const uint64_t bits = std::bit_cast<uint64_t>(value.real_value);
        EncodeFixed32(buffer, static_cast<uint32_t>(bits));
        EncodeFixed32(buffer + 4, static_cast<uint32_t>(bits >> 32));
        out.append(buffer, 8);
        break;
      }
      case ValueKind::kString:
        EncodeFixed32(buffer, static_cast<uint32_t>(value.text.size()));
        out.append(buffer, 4);
        out += value.text;
        break;
    }
  }
  return out;
}

bool DecodePlace(std::string_view position, Place* place) {
  if (position.size() < 6 || position[0] != 'V') return false;
  Place out;
  out.record_no = DecodeFixed32(position.data() + 1);
  const size_t count = static_cast<uint8_t>(position[5]);
  size_t at = 6;
  for (size_t i = 0; i < count; ++i) {
    if (at >= position.size()) return false;
    OrderValue value;
    const uint8_t kind = static_cast<uint8_t>(position[at++]);
    switch (kind) {
      case static_cast<uint8_t>(ValueKind::kLong):
        if (position.size() - at < 4) return false;
        value.kind = ValueKind::kLong;
        value.long_value =
            static_cast<int32_t>(DecodeFixed32(position.data() + at));
        at += 4;
        break;
      case static_cast<uint8_t>(ValueKind::kReal): {
        if (position.size() - at < 8) return false;
        value.kind = ValueKind::kReal;
        const uint64_t bits = DecodeFixed32(position.data() + at) |
                              uint64_t{DecodeFixed32(position.data() + at + 4)}
                                  << 32;
        value.real_value = std::bit_cast<double>(bits);
        at += 8;
        break;
      }
      case static_cast<uint8_t>(ValueKind::kString): {
        if (position.size() - at < 4) return false;
        const uint32_t length = DecodeFixed32(position.data() + at);
        at += 4;
        if (position.size() - at < length) return false;
        value.kind = ValueKind::kString;
        value.text = std::string(position.substr(at, length));
        at += length;
        break;
      }
      default:
        return false;
    }
    out.values.push_back(std::move(value));
  }
  if (at != position.size()) return false;
  *place = std::move(out);
  return true;
}

}  // namespace zuna::datfile::view_internal
