#include "runtime/datfile/record_filter.h"

#include <algorithm>
#include <optional>

#include "runtime/values/error_state.h"

namespace zuna::datfile {

RecordFilter::RecordFilter(size_t record_length) : image_(record_length, '\0') {}

RecordFilter::~RecordFilter() = default;

Status RecordFilter::Create(const FileDecl& decl, std::string_view text,
                            std::unique_ptr<RecordFilter>* out) {
  std::unique_ptr<RecordFilter> filter(new RecordFilter(decl.record_length));
  std::vector<values::NamedField> fields;
  for (const FieldDecl& field : decl.fields) {
    if (auto ref = FieldVariable(field, std::span<char>(filter->image_))) {
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
