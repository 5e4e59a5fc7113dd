// Whether a key reads the records in a view's order, and how a place in the
// order becomes a key value in the record buffer.
//
// A key orders by its encoded value, then by record number (key_encoding.h).
// A view orders by its items' values as the expression language compares
// them, ties by record number.  The two agree when each key component is
// the field of its item and, for text, when the key weighs characters as
// the language weighs the item's text.  That second condition depends on the
// locale tables, the key's NOCASE and the file's OEM flag, so it is not
// assumed but probed: both orders are built over single characters and
// compared.  Field text is fixed-length and UPPER/LOWER keep the length, so
// two values are compared character by character in both orders, and
// agreeing on every pair of characters means agreeing on every pair of
// values.
#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <numeric>
#include <vector>

#include "runtime/datfile/key_encoding.h"
#include "runtime/datfile/view_internal.h"
#include "runtime/values/code_page.h"
#include "runtime/values/locale.h"
#include "runtime/values/variable.h"

namespace zuna::datfile::view_internal {
namespace {

// The characters a record read from the file can hold in a text field: all
// of them, or for an OEM file those that survive the trip to 866 and back
// (the others never come back from the file).
std::vector<int> TextDomain(const FileDecl& decl) {
  std::vector<int> domain;
  for (int c = 0; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    if (!decl.oem || values::Cp866ToCp1251(values::Cp1251ToCp866(ch)) == ch) {
      domain.push_back(c);
    }
  }
  return domain;
}

size_t ComponentOffset(const FileDecl& decl, const KeyDecl& key,
                       size_t component) {
  size_t offset = 0;
  for (size_t j = 0; j < component; ++j) {
    offset += ElementLength(decl.fields[key.components[j].field]);
  }
  return offset;
}

// The byte the key stores for a text component made of character c only,
// for every c (a probe through the key's own encoder).
bool KeyWeights(const FileDecl& decl, const KeyDecl& key, size_t component,
                std::array<uint8_t, 256>* weights) {
  KeyEncoder encoder;
  if (!KeyEncoder::Create(decl, key, values::Locale(), &encoder).ok())
    return false;
  const FieldDecl& field = decl.fields[key.components[component].field];
  const size_t at = ComponentOffset(decl, key, component);
  std::vector<char> probe(decl.record_length, '\0');
  std::vector<char> value(encoder.key_length(), '\0');
  for (int c = 0; c < 256; ++c) {
    std::fill_n(probe.begin() + field.offset, ElementLength(field),
                static_cast<char>(c));
    encoder.EncodeValue(probe, value);
    (*weights)[c] = static_cast<uint8_t>(value[at]);
  }
  return true;
}

values::VariableRef FieldRef(const FieldDecl& field, std::span<char> record) {
  values::VariableRef ref;
  ref.address = record.data() + field.offset;
  ref.size = ElementLength(field);
  // Numbers as themselves, anything else as its text.
  ref.type = IsNumericField(field.type) ? *FieldValueType(field.type)
                                        : values::VarType::kString;
  return ref;
}

// Whether `item` over a text field weighs characters as component
// `component` of the key does.
bool TextOrdersAgree(const FileDecl& decl, const KeyDecl& key, size_t component,
                     const OrderItem& item, std::span<char> record) {
  if (!values::Locale().digraphs.empty())
    return false;  // not one character at a time
  std::array<uint8_t, 256> weights{};
  if (!KeyWeights(decl, key, component, &weights)) return false;
  const FieldDecl& field = decl.fields[key.components[component].field];
  const std::vector<int> domain = TextDomain(decl);
  // The item's text for a field made of each character.
  const std::vector<char> saved(record.begin(), record.end());
  std::array<std::string, 256> texts;
  for (int c : domain) {
    std::fill_n(record.begin() + field.offset, ElementLength(field),
                static_cast<char>(c));
    texts[c] = item.expression->EvaluateString();
  }
  std::copy(saved.begin(), saved.end(), record.begin());

  std::vector<int> by_key = domain;
  std::stable_sort(by_key.begin(), by_key.end(),
                   [&](int a, int b) { return weights[a] < weights[b]; });
  for (size_t i = 1; i < by_key.size(); ++i) {
    const int a = by_key[i - 1];
    const int b = by_key[i];
    const int key_order = weights[a] < weights[b] ? -1 : 0;
    const int c = values::CompareStrings(texts[a], texts[b]);
    const int item_order = c < 0 ? -1 : c > 0 ? 1 : 0;
    if (key_order != item_order) return false;
  }
  return true;
}

}  // namespace

bool KeyServesOrder(const FileDecl& decl, int key_index,
                    std::span<const OrderItem> items, std::span<char> record) {
  if (key_index < 0 || static_cast<size_t>(key_index) >= decl.keys.size())
    return false;
  const KeyDecl& key = decl.keys[key_index];
  // An INDEX is not kept up to date by writes: it may be stale.
  if (key.index || items.empty() || key.components.size() != items.size())
    return false;
  for (size_t i = 0; i < items.size(); ++i) {
    const OrderItem& item = items[i];
    if (item.descending != items[0].descending) return false;
    const int field_index = key.components[i].field;
    if (item.form == ItemForm::kExpression || item.field != field_index)
      return false;
    const FieldDecl& field = decl.fields[field_index];
    if (!field.dimensions.empty()) return false;
    if (IsIntegerField(field.type)) continue;
    // REAL keys store -0 apart from +0, which compare equal: not the same
    // order.  CSTRING and PSTRING keys stop at the end of the text, which
    // the language pads with blanks: not the same order either.
    if (field.type != FieldType::kString || item.kind != ValueKind::kString)
      return false;
    if (!TextOrdersAgree(decl, key, i, item, record)) return false;
  }
  return true;
}

void StoreFieldValue(const FieldDecl& field, const OrderValue& value,
                     std::span<char> record) {
  const values::VariableRef ref = FieldRef(field, record);
  switch (value.kind) {
    case ValueKind::kLong:
      values::WriteLong(ref, value.long_value);
      break;
    case ValueKind::kReal:
      values::WriteReal(ref, value.real_value);
      break;
    case ValueKind::kString:
      values::WriteString(ref, value.text);
      break;
  }
}

void StoreFieldLimit(const FileDecl& decl, int key_index, int field_index,
                     bool highest, std::span<char> record) {
  const FieldDecl& field = decl.fields[field_index];
  const values::VariableRef ref = FieldRef(field, record);
  switch (field.type) {
    case FieldType::kByte:
      values::WriteLong(ref, highest ? 255 : 0);
      return;
    case FieldType::kShort:
      values::WriteLong(ref, highest ? 32767 : -32768);
      return;
    case FieldType::kUShort:
      values::WriteLong(ref, highest ? 65535 : 0);
      return;
    case FieldType::kLong:
      values::WriteLong(ref, highest ? std::numeric_limits<int32_t>::max()
                                     : std::numeric_limits<int32_t>::min());
      return;
    case FieldType::kULong:
      values::WriteReal(ref, highest ? 4294967295.0 : 0.0);
      return;
    default:
      break;
  }
  const KeyDecl& key = decl.keys[key_index];
  size_t component = 0;
  while (component < key.components.size() &&
         key.components[component].field != field_index) {
    ++component;
  }
  std::array<uint8_t, 256> weights{};
  if (component == key.components.size() ||
      !KeyWeights(decl, key, component, &weights)) {
    return;
  }
  const std::vector<int> domain = TextDomain(decl);
  int best = domain.front();  // the domain always holds the blank
  for (int c : domain) {
    if (highest ? weights[c] > weights[best] : weights[c] < weights[best])
      best = c;
  }
  std::fill_n(record.begin() + field.offset, ElementLength(field),
              static_cast<char>(best));
}

}  // namespace zuna::datfile::view_internal
