#include "framework/data/field_pairs.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "framework/data/assertion.h"
#include "framework/data/framework_host.h"
#include "runtime/values/locale.h"

namespace zuna::framework {
namespace {

using values::VariableRef;

// Element `index` of `ref` as a scalar reference.  Elements are laid out
// one after another, `size` bytes each (variable.h, Element).
VariableRef ElementAt(const VariableRef& ref, uint32_t index) {
  VariableRef element = ref;
  element.dimension_count = 0;
  element.dimensions = {};
  if (ref.address != nullptr) {
    element.address = static_cast<char*>(ref.address) +
                      static_cast<size_t>(index) * ref.size;
  }
  return element;
}

// The elements both sides have; a scalar counts as one.
uint32_t CommonCount(const VariableRef& a, const VariableRef& b) {
  return std::min(a.element_count(), b.element_count());
}

void AssignScalar(const VariableRef& to, const VariableRef& from) {
  if (values::IsStringType(to.type)) {
    values::WriteString(to, values::ReadString(from));
  } else {
    // Through a double: exact for every integer type, and WriteReal
    // truncates and saturates to the target's range.
    values::WriteReal(to, values::ReadReal(from));
  }
}

bool EqualScalar(const VariableRef& a, const VariableRef& b) {
  if (values::IsNumeric(a.type) || values::IsNumeric(b.type)) {
    return values::ReadReal(a) == values::ReadReal(b);
  }
  return values::CompareStrings(values::ReadString(a), values::ReadString(b)) ==
         0;
}

bool EqualScalarNoCase(const VariableRef& a, const VariableRef& b) {
  return values::CompareStringsNoCase(values::ReadString(a),
                                      values::ReadString(b)) == 0;
}

template <typename Compare>
bool EveryElement(const VariableRef& a, const VariableRef& b,
                  Compare compare) {
  const uint32_t count = CommonCount(a, b);
  for (uint32_t i = 0; i < count; ++i) {
    if (!compare(ElementAt(a, i), ElementAt(b, i))) return false;
  }
  return true;
}

}  // namespace

void AssignValue(const VariableRef& to, const VariableRef& from) {
  const uint32_t count = CommonCount(to, from);
  for (uint32_t i = 0; i < count; ++i) {
    AssignScalar(ElementAt(to, i), ElementAt(from, i));
  }
}

void ClearValue(const VariableRef& ref) {
  const uint32_t count = ref.element_count();
  for (uint32_t i = 0; i < count; ++i) {
    const VariableRef element = ElementAt(ref, i);
    if (values::IsStringType(element.type)) {
      values::WriteString(element, {});
    } else {
      values::WriteReal(element, 0.0);
    }
  }
}

bool ValuesEqual(const VariableRef& a, const VariableRef& b) {
  return EveryElement(a, b, EqualScalar);
}

bool ValuesEqualNoCase(const VariableRef& a, const VariableRef& b) {
  return EveryElement(a, b, EqualScalarNoCase);
}

// --- FieldPairsClass ----------------------------------------------------

FieldPairsClass::~FieldPairsClass() { FieldPairsClass::Kill(); }

void FieldPairsClass::Init() {
  Kill();
  List = std::make_unique<FieldPairQueue>();
}

void FieldPairsClass::Kill() { List.reset(); }

bool FieldPairsClass::RequireList() {
  if (List) return true;
  AssertionFailed("FieldPairs queue not initialized");
  FatalStop("FieldPairs queue not initialized");
  return false;
}

void FieldPairsClass::AddPair(const VariableRef& left,
                              const VariableRef& right) {
  if (!RequireList()) return;
  FieldPairRow row;
  row.Left = left;
  row.Right = right;
  List->push_back(std::move(row));
}

void FieldPairsClass::AssignLeftToRight() {
  if (!List) return;
  for (FieldPairRow& row : *List) AssignValue(row.Right, row.Left);
}

void FieldPairsClass::AssignRightToLeft() {
  if (!List) return;
  for (FieldPairRow& row : *List) AssignValue(row.Left, row.Right);
}

void FieldPairsClass::ClearLeft() {
  if (!List) return;
  for (FieldPairRow& row : *List) ClearValue(row.Left);
}

void FieldPairsClass::ClearRight() {
  if (!List) return;
  for (FieldPairRow& row : *List) ClearValue(row.Right);
}

uint8_t FieldPairsClass::EqualLeftRight() {
  if (!List) return 1;
  for (const FieldPairRow& row : *List) {
    if (!ValuesEqual(row.Left, row.Right)) return 0;
  }
  return 1;
}

// --- BufferedPairsClass -------------------------------------------------

void BufferedPairsClass::AddPair(const VariableRef& left,
                                 const VariableRef& right) {
  if (!RequireList()) return;
  FieldPairRow row;
  row.Left = left;
  row.Right = right;
  // The buffer has Left's type, element size and dimensions, so it holds
  // exactly what Left holds.
  const size_t bytes = static_cast<size_t>(left.size) * left.element_count();
  row.buffer_storage = std::make_unique<char[]>(std::max<size_t>(bytes, 1));
  std::memset(row.buffer_storage.get(), 0, std::max<size_t>(bytes, 1));
  row.Buffer = left;
  row.Buffer.address = row.buffer_storage.get();
  ClearValue(row.Buffer);
  List->push_back(std::move(row));
}

void BufferedPairsClass::AssignLeftToBuffer() {
  if (!List) return;
  for (FieldPairRow& row : *List) AssignValue(row.Buffer, row.Left);
}

void BufferedPairsClass::AssignRightToBuffer() {
  if (!List) return;
  for (FieldPairRow& row : *List) AssignValue(row.Buffer, row.Right);
}

void BufferedPairsClass::AssignBufferToLeft() {
  if (!List) return;
  for (FieldPairRow& row : *List) AssignValue(row.Left, row.Buffer);
}

void BufferedPairsClass::AssignBufferToRight() {
  if (!List) return;
  for (FieldPairRow& row : *List) AssignValue(row.Right, row.Buffer);
}

uint8_t BufferedPairsClass::EqualLeftBuffer(uint8_t case_sensitive) {
  if (!List) return 1;
  for (const FieldPairRow& row : *List) {
    const bool equal = case_sensitive ? ValuesEqual(row.Left, row.Buffer)
                                      : ValuesEqualNoCase(row.Left, row.Buffer);
    if (!equal) return 0;
  }
  return 1;
}

uint8_t BufferedPairsClass::EqualRightBuffer(uint8_t case_sensitive) {
  if (!List) return 1;
  for (const FieldPairRow& row : *List) {
    const bool equal = case_sensitive
                           ? ValuesEqual(row.Right, row.Buffer)
                           : ValuesEqualNoCase(row.Right, row.Buffer);
    if (!equal) return 0;
  }
  return 1;
}

}  // namespace zuna::framework
