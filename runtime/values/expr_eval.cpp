#include "runtime/values/expr_eval.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "runtime/values/builtins.h"
#include "runtime/values/conversion.h"
#include "runtime/values/expr_node.h"
#include "runtime/values/locale.h"

namespace zuna::values {
namespace {

bool IsIntegral(ExprType type) {
  return type == ExprType::kBool || type == ExprType::kLong;
}

// Binary exponent for the tolerance rule: ilogb, with 0 counting as 1.0 and
// an infinity as larger than any finite exponent (ilogb's INT_MAX would
// overflow when 50 is added).
int ToleranceExponent(double x) {
  if (x == 0.0) return 0;
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  if (biased == 0x7FF) return 1 << 20;    // infinity (NaN never gets here)
  if (biased == 0) return std::ilogb(x);  // subnormal
  return biased - 1023;  // what ilogb gives, without the library call
}

int Sign(int64_t difference) { return (difference > 0) - (difference < 0); }

bool OrderRelation(int order, Op op) {
  switch (op) {
    case Op::kEqual:
      return order == 0;
    case Op::kNotEqual:
      return order != 0;
    case Op::kLess:
      return order < 0;
    case Op::kGreater:
      return order > 0;
    case Op::kLessEqual:
      return order <= 0;
    case Op::kGreaterEqual:
      return order >= 0;
    default:
      return false;
  }
}

// The element a subscripted variable names; `scratch` holds it.  Plain
// variables come back as they were bound, without a copy.
const VariableRef& SubscriptedRef(const VariableNode& node,
                                  VariableRef& scratch) {
  if (node.subscripts.empty()) return node.variable;
  int32_t subscripts[kMaxDimensions];
  const size_t count = std::min(node.subscripts.size(), kMaxDimensions);
  for (size_t i = 0; i < count; ++i) {
    subscripts[i] = EvalLong(*node.subscripts[i]);
  }
  scratch = node.variable.Element(subscripts, count);
  return scratch;
}

// The text of a plain or subscripted variable, appended to `out`.
void AppendVariable(const VariableNode& node, std::string& out) {
  if (node.plain()) {
    AppendString(node.variable, out);
    return;
  }
  VariableRef scratch;
  const VariableRef& ref = SubscriptedRef(node, scratch);
  if (!node.substring_from) {
    AppendString(ref, out);
    return;
  }
  const int64_t from = EvalLong(*node.substring_from);
  const int64_t to = node.substring_to ? EvalLong(*node.substring_to) : from;
  const size_t start = out.size();
  AppendString(ref, out);
  const int64_t length = static_cast<int64_t>(out.size() - start);
  // Clamp [from, to] to the characters that exist; an empty or reversed
  // range gives "".
  const int64_t first = std::max<int64_t>(from, 1);
  const int64_t last = std::min<int64_t>(to, length);
  if (first > last) {
    out.resize(start);
    return;
  }
  out.erase(start + static_cast<size_t>(last), std::string::npos);
  out.erase(start, static_cast<size_t>(first - 1));
}

double VariableReal(const VariableNode& node) {
  if (node.plain()) return ReadReal(node.variable);
  if (node.substring_from) return StringToReal(EvalString(node));
  VariableRef scratch;
  return ReadReal(SubscriptedRef(node, scratch));
}

int32_t VariableLong(const VariableNode& node) {
  if (node.plain()) return ReadLong(node.variable);
  if (node.substring_from) return RealToLong(StringToReal(EvalString(node)));
  VariableRef scratch;
  return ReadLong(SubscriptedRef(node, scratch));
}

double EvalArithmetic(const ChainNode& node) {
  double result = EvalReal(*node.operands[0]);
  for (size_t i = 1; i < node.operands.size(); ++i) {
    const double operand = EvalReal(*node.operands[i]);
    switch (node.ops[i - 1]) {
      case Op::kAdd:
        result += operand;
        break;
      case Op::kSubtract:
        result -= operand;
        break;
      case Op::kMultiply:
        result *= operand;
        break;
      case Op::kDivide:
        result = operand == 0.0 ? 0.0 : result / operand;
        break;
      case Op::kRemainder:
        result = operand == 0.0 ? 0.0 : std::fmod(result, operand);
        break;
      case Op::kPower:
        result =
            (result == 0.0 && operand < 0.0) ? 0.0 : std::pow(result, operand);
        break;
      default:
        break;
    }
    result = NanToZero(result);
  }
  return result;
}

bool CompareNodes(const Node& a, const Node& b, Op op) {
  if (IsIntegral(a.type) && IsIntegral(b.type)) {
    const int64_t left = EvalLong(a);
    const int64_t right = EvalLong(b);
    return OrderRelation(Sign(left - right), op);
  }
  if (a.type == ExprType::kString && b.type == ExprType::kString) {
    const std::string left = EvalString(a);
    const std::string right = EvalString(b);
    return OrderRelation(CompareStrings(left, right), op);
  }
  const double left = EvalReal(a);
  return RealRelation(left, EvalReal(b), op);
}

// A later link of a chain: the boolean so far against the next operand.
bool CompareTruthWith(bool truth, const Node& b, Op op) {
  if (IsIntegral(b.type)) {
    return OrderRelation(Sign(int64_t{truth} - EvalLong(b)), op);
  }
  return RealRelation(truth ? 1.0 : 0.0, EvalReal(b), op);
}

bool EvalCompareChain(const ChainNode& node) {
  bool truth = CompareNodes(*node.operands[0], *node.operands[1], node.ops[0]);
  for (size_t i = 2; i < node.operands.size(); ++i) {
    truth = CompareTruthWith(truth, *node.operands[i], node.ops[i - 1]);
  }
  return truth;
}

// AND, OR and XOR evaluate every operand: no short cut, so a bound procedure
// in an operand runs whatever the others give.
bool EvalLogicChain(const ChainNode& node) {
  bool truth = EvalBool(*node.operands[0]);
  for (size_t i = 1; i < node.operands.size(); ++i) {
    const bool operand = EvalBool(*node.operands[i]);
    switch (node.ops[i - 1]) {
      case Op::kAnd:
        truth = truth && operand;
        break;
      case Op::kOr:
        truth = truth || operand;
        break;
      case Op::kXor:
        truth = truth != operand;
        break;
      default:
        break;
    }
  }
  return truth;
}

std::string CallProcedure(const ProcedureCallNode& node) {
  std::vector<std::string> arguments;
  arguments.reserve(node.arguments.size());
  for (const NodePtr& argument : node.arguments) {
    arguments.push_back(argument ? EvalString(*argument) : std::string());
  }
  return (*node.procedure)(arguments);
}

}  // namespace

int32_t Value::AsLong() const {
  switch (type) {
    case ExprType::kBool:
    case ExprType::kLong:
      return long_value;
    case ExprType::kReal:
      return RealToLong(real_value);
    default:
      return RealToLong(StringToReal(text));
  }
}

double Value::AsReal() const {
  switch (type) {
    case ExprType::kBool:
    case ExprType::kLong:
      return long_value;
    case ExprType::kReal:
      return real_value;
    default:
      return StringToReal(text);
  }
}

void Value::AppendTo(std::string& out) const {
  switch (type) {
    case ExprType::kBool:
    case ExprType::kLong:
      AppendLong(long_value, out);
      return;
    case ExprType::kReal:
      AppendReal(real_value, out);
      return;
    default:
      out += text;
      return;
  }
}

bool RealsEqual(double a, double b) {
  if (a == b) return true;
  if (std::isnan(a) || std::isnan(b)) return false;
  if (std::isinf(a) || std::isinf(b)) return false;
  const int difference = ToleranceExponent(b - a) + 50;
  return !(difference >= ToleranceExponent(a) &&
           difference >= ToleranceExponent(b));
}

bool RealRelation(double a, double b, Op op) {
  const bool equal = RealsEqual(a, b);
  switch (op) {
    case Op::kEqual:
      return equal;
    case Op::kNotEqual:
      return !equal;
    case Op::kLess:
      return !equal && a < b;
    case Op::kGreater:
      return !equal && a > b;
    case Op::kLessEqual:
      return equal || a < b;
    case Op::kGreaterEqual:
      return equal || a > b;
    default:
      return false;
  }
}

bool HasNonBlank(std::string_view text) {
  return text.find_first_not_of(' ') != std::string_view::npos;
}

namespace {

thread_local EvalCache* current_cache = nullptr;

int32_t LongOf(const Node& node) {
  switch (node.kind) {
    case NodeKind::kConstant:
      return static_cast<const ConstantNode&>(node).long_value;
    case NodeKind::kVariable:
      return VariableLong(static_cast<const VariableNode&>(node));
    case NodeKind::kNot:
    case NodeKind::kOrChain:
    case NodeKind::kAndChain:
    case NodeKind::kCompareChain:
      return EvalBool(node) ? 1 : 0;
    case NodeKind::kCall:
      return CallBuiltin(static_cast<const CallNode&>(node)).AsLong();
    case NodeKind::kNegate:
    case NodeKind::kSumChain:
    case NodeKind::kProductChain:
    case NodeKind::kPowerChain:
      return RealToLong(EvalReal(node));
    default:
      return RealToLong(StringToReal(EvalString(node)));
  }
}

double RealOf(const Node& node) {
  switch (node.kind) {
    case NodeKind::kConstant:
      return static_cast<const ConstantNode&>(node).real_value;
    case NodeKind::kVariable:
      return VariableReal(static_cast<const VariableNode&>(node));
    case NodeKind::kNegate:
      return -EvalReal(*static_cast<const UnaryNode&>(node).operand);
    case NodeKind::kNot:
    case NodeKind::kOrChain:
    case NodeKind::kAndChain:
    case NodeKind::kCompareChain:
      return EvalBool(node) ? 1.0 : 0.0;
    case NodeKind::kSumChain:
    case NodeKind::kProductChain:
    case NodeKind::kPowerChain:
      return EvalArithmetic(static_cast<const ChainNode&>(node));
    case NodeKind::kCall:
      return CallBuiltin(static_cast<const CallNode&>(node)).AsReal();
    default:
      return StringToReal(EvalString(node));
  }
}

bool TruthOf(const Node& node) {
  switch (node.kind) {
    case NodeKind::kConstant:
      return static_cast<const ConstantNode&>(node).truth;
    case NodeKind::kNot:
      return !EvalBool(*static_cast<const UnaryNode&>(node).operand);
    case NodeKind::kOrChain:
    case NodeKind::kAndChain:
      return EvalLogicChain(static_cast<const ChainNode&>(node));
    case NodeKind::kCompareChain:
      return EvalCompareChain(static_cast<const ChainNode&>(node));
    default:
      break;
  }
  // Everything else is judged by its static type.
  switch (node.type) {
    case ExprType::kBool:
    case ExprType::kLong:
      return EvalLong(node) != 0;
    case ExprType::kReal:
      return EvalReal(node) != 0.0;
    default:
      return HasNonBlank(EvalString(node));
  }
}

void AppendTextOf(const Node& node, std::string& out) {
  switch (node.kind) {
    case NodeKind::kConstant:
      out += static_cast<const ConstantNode&>(node).text;
      return;
    case NodeKind::kVariable:
      AppendVariable(static_cast<const VariableNode&>(node), out);
      return;
    case NodeKind::kConcatChain:
      for (const NodePtr& operand :
           static_cast<const ChainNode&>(node).operands) {
        AppendString(*operand, out);
      }
      return;
    case NodeKind::kCall:
      CallBuiltin(static_cast<const CallNode&>(node)).AppendTo(out);
      return;
    case NodeKind::kProcedureCall:
      out += CallProcedure(static_cast<const ProcedureCallNode&>(node));
      return;
    case NodeKind::kSql:
      return;
    case NodeKind::kNot:
    case NodeKind::kOrChain:
    case NodeKind::kAndChain:
    case NodeKind::kCompareChain:
      out += EvalBool(node) ? '1' : '0';
      return;
    default:
      AppendReal(EvalReal(node), out);
      return;
  }
}

// The value of a node in its own type, computed afresh.  Calls keep the
// dynamic type the built-in gave (DEFORMAT's LONG serial).
Value ValueOf(const Node& node) {
  if (node.kind == NodeKind::kCall) {
    return CallBuiltin(static_cast<const CallNode&>(node));
  }
  switch (node.type) {
    case ExprType::kBool:
      return Value::Long(TruthOf(node) ? 1 : 0);
    case ExprType::kLong:
      return Value::Long(LongOf(node));
    case ExprType::kReal:
      return Value::Real(RealOf(node));
    default: {
      std::string text;
      AppendTextOf(node, text);
      return Value::String(std::move(text));
    }
  }
}

// The cached value of a shared node, computed on first use in the present
// evaluation; nullptr when no cache is in force.
const Value* Cached(const Node& node) {
  EvalCache* cache = current_cache;
  if (cache == nullptr) return nullptr;
  const size_t slot = static_cast<size_t>(node.cache_slot);
  if (slot >= cache->entries.size()) return nullptr;
  if (cache->entries[slot].generation != cache->generation) {
    // Computing may evaluate other shared nodes but never resizes entries.
    Value value = ValueOf(node);
    EvalCache::Entry& entry = cache->entries[slot];
    entry.value = std::move(value);
    entry.generation = cache->generation;
  }
  return &cache->entries[slot].value;
}

bool TruthOfValue(const Node& node, const Value& value) {
  switch (node.type) {
    case ExprType::kBool:
    case ExprType::kLong:
      return value.AsLong() != 0;
    case ExprType::kReal:
      return value.AsReal() != 0.0;
    default:
      if (value.type == ExprType::kString) return HasNonBlank(value.text);
      std::string text;
      value.AppendTo(text);
      return HasNonBlank(text);
  }
}

}  // namespace

EvalCacheScope::EvalCacheScope(EvalCache* cache) : previous_(current_cache) {
  current_cache = cache;
  if (cache != nullptr) ++cache->generation;
}

EvalCacheScope::~EvalCacheScope() { current_cache = previous_; }

int32_t EvalLong(const Node& node) {
  if (node.cache_slot >= 0) {
    if (const Value* value = Cached(node)) return value->AsLong();
  }
  return LongOf(node);
}

double EvalReal(const Node& node) {
  if (node.cache_slot >= 0) {
    if (const Value* value = Cached(node)) return value->AsReal();
  }
  return RealOf(node);
}

bool EvalBool(const Node& node) {
  if (node.cache_slot >= 0) {
    if (const Value* value = Cached(node)) return TruthOfValue(node, *value);
  }
  return TruthOf(node);
}

void AppendString(const Node& node, std::string& out) {
  if (node.cache_slot >= 0) {
    if (const Value* value = Cached(node)) {
      value->AppendTo(out);
      return;
    }
  }
  AppendTextOf(node, out);
}

std::string EvalString(const Node& node) {
  // A built-in's own text is moved out rather than copied.
  if (node.kind == NodeKind::kCall && node.cache_slot < 0) {
    Value value = CallBuiltin(static_cast<const CallNode&>(node));
    if (value.type == ExprType::kString) return std::move(value.text);
    std::string out;
    value.AppendTo(out);
    return out;
  }
  std::string out;
  AppendString(node, out);
  return out;
}

}  // namespace zuna::values
