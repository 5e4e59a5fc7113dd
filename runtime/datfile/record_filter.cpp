#include "runtime/datfile/record_filter.h"

#include <algorithm>
#include <optional>

#include "runtime/values/error_state.h"

namespace zuna::datfile {
namespace {

std::optional<values::VarType> VarTypeOf(FieldType type) {
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

// The field as a variable inside `image`; nullopt for a type the language
// lacks or a field that does not fit the image.
std::optional<values::VariableRef> FieldVariable(const FieldDecl& field,
                                                 std::vector<char>& image) {
  const std::optional<values::VarType> type = VarTypeOf(field.type);
  if (!type || field.offset + size_t{field.size} > image.size()) {
    return std::nullopt;
  }
  values::VariableRef ref;
  ref.type = *type;
  ref.address = image.data() + field.offset;
  ref.size = ElementLength(field);
  const size_t dims = std::min(field.dimensions.size(), values::kMaxDimensions);
  ref.dimension_count = static_cast<uint8_t>(dims);
  for (size_t d = 0; d < dims; ++d) ref.dimensions[d] = field.dimensions[d];
  return ref;
}

}  // namespace

RecordFilter::RecordFilter(size_t record_length) : image_(record_length, '\0') {}

RecordFilter::~RecordFilter() = default;

Status RecordFilter::Create(const FileDecl& decl, std::string_view text,
                            std::unique_ptr<RecordFilter>* out) {
  std::unique_ptr<RecordFilter> filter(new RecordFilter(decl.record_length));
  std::vector<values::NamedField> fields;
  for (const FieldDecl& field : decl.fields) {
    if (auto ref = FieldVariable(field, filter->image_)) {
      fields.push_back({field.label, field.external_name, *ref});
    }
  }
  // A compiled tree holds the variables' addresses, not their names: the
  // scope can go as soon as the text is compiled.
  values::PUSHBIND(true);
  values::BindFields(fields);
  filter->expression_ = values::Expression::Compile(text);
  values::POPBIND();
  if (!filter->expression_) {
    return Status::Error(values::ERRORCODE(), "filter: " + values::ERROR());
  }
  *out = std::move(filter);
  return Status::OK();
}

bool RecordFilter::Accepts(std::span<const char> record) {
  std::copy_n(record.begin(), std::min(record.size(), image_.size()),
              image_.begin());
  return expression_->EvaluateBool();
}

}  // namespace zuna::datfile
