#include "runtime/datfile/status.h"

namespace zuna::datfile {

std::string Status::ToString() const {
  std::string text = std::to_string(code_);
  if (!detail_.empty()) text += " (" + detail_ + ")";
  return text;
}

}  // namespace zuna::datfile
