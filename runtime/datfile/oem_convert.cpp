#include "runtime/datfile/oem_convert.h"

#include <algorithm>

#include "runtime/values/code_page.h"

namespace zuna::datfile {
namespace {

using Span = OemTextMap::Span;

bool IsText(FieldType type) {
  return type == FieldType::kString || type == FieldType::kCString ||
         type == FieldType::kPString;
}

uint32_t ElementCount(const FieldDecl& field) {
  uint32_t count = 1;
  for (uint16_t d : field.dimensions) count *= d == 0 ? 1 : d;
  return count;
}

// The field's own text spans, at its first occurrence.
std::vector<Span> OwnSpans(const FieldDecl& field) {
  if (field.type != FieldType::kPString) return {{field.offset, field.size}};
  std::vector<Span> spans;
  const uint32_t element = ElementLength(field);
  if (element < 2) return spans;
  for (uint32_t i = 0; i < ElementCount(field); ++i) {
    spans.push_back({field.offset + i * element + 1, element - 1});
  }
  return spans;
}

// Repeats `spans` over every element of the enclosing dimensioned GROUPs of
// field `index`.  Leaves `spans` as they are when the GROUP chain does not
// go strictly backwards through GROUP fields.
void RepeatOverGroups(const FileDecl& file, size_t index, std::vector<Span>* spans) {
  std::vector<size_t> groups;
  size_t current = index;
  for (int g = file.fields[index].group; g >= 0; g = file.fields[g].group) {
    const auto group = static_cast<size_t>(g);
    if (group >= current || file.fields[group].type != FieldType::kGroup) return;
    groups.push_back(group);
    current = group;
  }
  for (size_t group : groups) {
    const FieldDecl& g = file.fields[group];
    const uint32_t count = ElementCount(g);
    const uint32_t element = g.size / count;
    std::vector<Span> repeated;
    for (uint32_t k = 0; k < count; ++k) {
      for (const Span& s : *spans) repeated.push_back({s.offset + k * element, s.length});
    }
    *spans = std::move(repeated);
  }
}

std::vector<Span> SortedDisjoint(std::vector<Span> spans) {
  std::sort(spans.begin(), spans.end(),
            [](const Span& a, const Span& b) { return a.offset < b.offset; });
  std::vector<Span> merged;
  for (const Span& s : spans) {
    if (s.length == 0) continue;
    if (!merged.empty() && s.offset <= merged.back().offset + merged.back().length) {
      const uint32_t end = std::max(merged.back().offset + merged.back().length,
                                    s.offset + s.length);
      merged.back().length = end - merged.back().offset;
    } else {
      merged.push_back(s);
    }
  }
  return merged;
}

}  // namespace

OemTextMap::OemTextMap(const FileDecl& file) {
  std::vector<Span> all;
  for (size_t i = 0; i < file.fields.size(); ++i) {
    const FieldDecl& field = file.fields[i];
    if (!IsText(field.type)) continue;
    std::vector<Span> spans = OwnSpans(field);
    RepeatOverGroups(file, i, &spans);
    for (Span s : spans) {
      if (s.offset >= file.record_length) continue;
      s.length = std::min<uint32_t>(s.length, file.record_length - s.offset);
      all.push_back(s);
    }
  }
  spans_ = SortedDisjoint(std::move(all));
}

void OemTextMap::ToProgram(std::span<char> record) const {
  for (const Span& s : spans_) {
    if (s.offset >= record.size()) break;
    const size_t length = std::min<size_t>(s.length, record.size() - s.offset);
    values::Cp866ToCp1251InPlace(record.data() + s.offset, length);
  }
}

void OemTextMap::ToOem(std::span<char> record) const {
  for (const Span& s : spans_) {
    if (s.offset >= record.size()) break;
    const size_t length = std::min<size_t>(s.length, record.size() - s.offset);
    values::Cp1251ToCp866InPlace(record.data() + s.offset, length);
  }
}

}  // namespace zuna::datfile
