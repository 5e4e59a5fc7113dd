// A filter judged on key entries (view_internal.h, KeyFilter).
//
// A key stores its integer components so that the bytes give the value back
// exactly (big-endian, the sign bit of SHORT and LONG flipped): such a
// component can be written back into the record buffer from the entry
// alone.  Text components are upper-cased and weighed on their way into the
// key and cannot; a filter naming one is judged on the record as before.
#include <memory>

#include "runtime/datfile/view_internal.h"
#include "runtime/values/builtins.h"

namespace zuna::datfile::view_internal {
namespace {

using values::TokenType;

bool FollowedByParen(const std::vector<ItemToken>& tokens, size_t i) {
  return i + 1 < tokens.size() && tokens[i + 1].type == TokenType::kLeftParen;
}

// Functions whose value depends on something other than their arguments
// and the program's variables.  TODAY, AGE and DEFORMAT change only at
// midnight: a judgement is kept for one day at most.
enum class Volatility : uint8_t { kNone, kDaily, kAlways };

Volatility VolatilityOf(const values::BuiltinInfo& builtin) {
  switch (builtin.function) {
    case values::Builtin::kToday:
    case values::Builtin::kAge:
    case values::Builtin::kDeformat:
      return Volatility::kDaily;
    case values::Builtin::kClock:
    case values::Builtin::kRandom:
    case values::Builtin::kGetini:
    case values::Builtin::kMemory:
    case values::Builtin::kPath:
    case values::Builtin::kLongpath:
    case values::Builtin::kShortpath:
    case values::Builtin::kSql:
      return Volatility::kAlways;
    default:
      return Volatility::kNone;
  }
}

}  // namespace

struct KeyFilter::Part {
  uint16_t value_offset = 0;   // in the key value (after the record number)
  uint16_t record_offset = 0;  // in the record buffer
  uint16_t length = 0;         // 1, 2 or 4
  bool flip_sign = false;      // SHORT, LONG
};

KeyFilter::KeyFilter() = default;
KeyFilter::~KeyFilter() = default;

std::unique_ptr<KeyFilter> KeyFilter::Analyse(std::string_view filter_text,
                                              const FileDecl& decl,
                                              int key_index) {
  std::vector<ItemToken> tokens;
  if (!Tokenize(filter_text, &tokens) || tokens.empty()) return nullptr;
  const KeyDecl& key = decl.keys[static_cast<size_t>(key_index)];
  auto filter = std::unique_ptr<KeyFilter>(new KeyFilter());
  // Which key component each field is, if any; the parts to decode.
  std::vector<int> component_of(decl.fields.size(), -1);
  uint16_t value_offset = 0;
  for (size_t c = 0; c < key.components.size(); ++c) {
    const FieldDecl& field = decl.fields[key.components[c].field];
    const uint16_t length = ElementLength(field);
    if (IsIntegerField(field.type) && field.dimensions.empty()) {
      component_of[key.components[c].field] = static_cast<int>(c);
      Part part;
      part.value_offset = value_offset;
      part.record_offset = field.offset;
      part.length = length;
      part.flip_sign = field.type == FieldType::kShort || field.type == FieldType::kLong;
      filter->parts_.push_back(part);
    }
    value_offset = static_cast<uint16_t>(value_offset + length);
  }
  bool reads_a_component = false;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const ItemToken& t = tokens[i];
    if (t.type != TokenType::kName) continue;
    if (values::KeywordOperator(t.text) != values::Op::kNone) continue;
    bool is_field = false;
    for (size_t f = 0; f < decl.fields.size(); ++f) {
      const FieldDecl& field = decl.fields[f];
      if (field.label.empty()) continue;
      if (t.text != UpperName(field.label) &&
          (field.external_name.empty() || t.text != UpperName(field.external_name))) {
        continue;
      }
      // A field the key does not hold, or holds in a form that does not
      // give the value back: the record itself must be read.
      if (component_of[f] < 0) return nullptr;
      is_field = true;
      reads_a_component = true;
    }
    if (is_field || !FollowedByParen(tokens, i)) continue;
    const values::BuiltinInfo* builtin = values::FindBuiltin(t.text);
    // A bound procedure (or an array read through parentheses) could read
    // anything, the record buffer included.
    if (builtin == nullptr) return nullptr;
    switch (VolatilityOf(*builtin)) {
      case Volatility::kNone:
        break;
      case Volatility::kDaily:
        filter->daily_ = true;
        break;
      case Volatility::kAlways:
        filter->reusable_ = false;
        break;
    }
  }
  if (!reads_a_component) return nullptr;
  return filter;
}

void KeyFilter::Decode(std::string_view entry, std::span<char> record) const {
  constexpr size_t kRecordNumber = 4;
  for (const Part& part : parts_) {
    const size_t at = kRecordNumber + part.value_offset;
    if (at + part.length > entry.size() ||
        part.record_offset + part.length > record.size()) {
      continue;
    }
    // Big-endian in the key, little-endian in the record.
    for (uint16_t b = 0; b < part.length; ++b) {
      char byte = entry[at + b];
      if (b == 0 && part.flip_sign) byte = static_cast<char>(byte ^ 0x80);
      record[part.record_offset + part.length - 1 - b] = byte;
    }
  }
}

}  // namespace zuna::datfile::view_internal
