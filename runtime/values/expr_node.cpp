#include "runtime/values/expr_node.h"

namespace zuna::values {

ExprType VariableType(VarType type) {
  switch (type) {
    case VarType::kByte:
    case VarType::kShort:
    case VarType::kUShort:
    case VarType::kLong:
      return ExprType::kLong;
    case VarType::kULong:
    case VarType::kSReal:
    case VarType::kReal:
      return ExprType::kReal;
    default:
      return ExprType::kString;
  }
}

}  // namespace zuna::values
