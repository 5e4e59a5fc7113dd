// Evaluation of compiled expression trees (expr_node.h): each node asked for
// a LONG, a REAL, a STRING or a truth value.
//
// Conversions (conversion.h): REAL -> LONG truncates and saturates; STRING
// -> REAL reads the number the text begins with; REAL -> STRING has up to 15
// significant digits; a boolean is 1 or 0 ("1" / "0").
//
// Rules:
//   - Arithmetic (+ - * / % ^ and unary -) works in REAL.  Division and
//     remainder by zero give 0.  0 raised to a negative power gives 0.  A
//     result that is not a number (inf - inf, (-8)^0.5) gives 0; overflow
//     gives an infinity, which saturates when read as a LONG.
//   - '&' joins texts.
//   - Comparisons: LONG when both operands are boolean or LONG, STRING
//     (locale collation, trailing blanks insignificant) when both are STRING,
//     otherwise REAL with the tolerance of RealsEqual.  In a chain a < b < c
//     the boolean result of a < b is compared with c.
//   - AND, OR, XOR evaluate every operand (no short cut).
//   - Truth: boolean and LONG nodes when non-zero, REAL when not 0.0, STRING
//     when the text holds a character other than a blank.
//
// All functions are pure apart from bound procedures and error posting
// (1015) by built-ins; they read variables at the time of the call.  The
// recursion depth is bounded by the tree's depth (expr_node.h).
#ifndef ZUNA_RUNTIME_VALUES_EXPR_EVAL_H_
#define ZUNA_RUNTIME_VALUES_EXPR_EVAL_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/values/evaluator.h"
#include "runtime/values/expr_lexer.h"

namespace zuna::values {

class Node;

// A value computed by a built-in, in its own dynamic type (which may differ
// from the call's static type as long as every conversion agrees: DEFORMAT
// with a date picture yields the serial as a LONG, whose text is exactly the
// digits DEFORMAT returns).
struct Value {
  ExprType type = ExprType::kLong;
  int32_t long_value = 0;
  double real_value = 0.0;
  std::string text;

  static Value Long(int32_t v) { return {ExprType::kLong, v, 0.0, {}}; }
  static Value Real(double v) { return {ExprType::kReal, 0, v, {}}; }
  static Value String(std::string v) {
    return {ExprType::kString, 0, 0.0, std::move(v)};
  }

  int32_t AsLong() const;
  double AsReal() const;
  void AppendTo(std::string& out) const;
};

// The values of shared subtrees (expr_sharing.h) for one expression: an
// entry per cache slot, valid while its generation equals the cache's.
// Owned by the Expression; used by one thread at a time.
struct EvalCache {
  struct Entry {
    uint64_t generation = 0;
    Value value;
  };
  uint64_t generation = 0;
  std::vector<Entry> entries;
};

// While alive, shared subtrees evaluated on this thread use `cache`, and
// the values cached by earlier evaluations are stale.  Scopes nest (a bound
// procedure may evaluate another expression); the previous cache is back in
// force when the scope ends.  Without a scope every node is evaluated each
// time it is met.
class EvalCacheScope {
 public:
  explicit EvalCacheScope(EvalCache* cache);
  ~EvalCacheScope();
  EvalCacheScope(const EvalCacheScope&) = delete;
  EvalCacheScope& operator=(const EvalCacheScope&) = delete;

 private:
  EvalCache* previous_;
};

int32_t EvalLong(const Node& node);
double EvalReal(const Node& node);
bool EvalBool(const Node& node);
std::string EvalString(const Node& node);
void AppendString(const Node& node, std::string& out);

// The REAL equality of comparisons: a and b are unequal when
// ilogb(b - a) + 50 >= ilogb(a) and ilogb(b - a) + 50 >= ilogb(b), a 0
// counting as exponent 0 (as 1.0 does); that is, equal when their difference
// is about 2^-50 of the larger or less.  Equal values (infinities included)
// are equal; a NaN is equal to nothing.
bool RealsEqual(double a, double b);

// The relation `op` (kEqual .. kGreaterEqual) between two REALs under
// RealsEqual.
bool RealRelation(double a, double b, Op op);

// True when the text holds a character other than a blank.
bool HasNonBlank(std::string_view text);

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_EXPR_EVAL_H_
