// The filter expression evaluator: text expressions over bound program
// variables, compiled once into a tree and evaluated as boolean, LONG, REAL or
// STRING.  Views filter records with it; EVALUATE exposes it directly.
//
// Threads: every thread has its own evaluator and binding table, created on
// first use (thread_local); nothing here is shared between threads, so a
// compiled Expression must be evaluated on the thread that compiled it while
// the variables it names stay bound and alive.  Errors go to the calling
// thread's runtime error state (error_state.h): 1010-1015.
//
// Binding scopes: PUSHBIND opens a scope, POPBIND closes the newest, BIND
// adds to the newest.  A scope opened with PUSHBIND(true) still sees the
// names of the scopes below it; PUSHBIND(false) hides them until it is
// popped.  Names are case-insensitive (locale case and collation tables) and
// cut to 99 characters.
#ifndef ZUNA_RUNTIME_VALUES_EVALUATOR_H_
#define ZUNA_RUNTIME_VALUES_EVALUATOR_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "runtime/values/variable.h"

namespace zuna::values {

enum class ExprType : uint8_t { kBool = 0, kLong = 1, kReal = 2, kString = 4 };

// A procedure callable from expressions: receives its evaluated arguments as
// text and returns text.
using BoundProcedure =
    std::function<std::string(std::span<const std::string> arguments)>;

// Deepest nesting of parentheses, calls and operators a parse accepts; deeper
// input is refused with 1010 rather than exhausting the stack.
inline constexpr int kMaxExpressionDepth = 256;
inline constexpr size_t kMaxBoundNameLength = 99;

void BIND(std::string_view name, const VariableRef& variable);
void BIND(std::string_view name, BoundProcedure procedure);
void UNBIND(std::string_view name);  // removes it from the newest scope
void PUSHBIND(bool see_outer = true);
void POPBIND();  // 1012 without a matching PUSHBIND

// A field of a record for BindFields: the label as the program writes it
// (prefix, colon, name: "ZUN:DATA") and optionally a second, external name.
struct NamedField {
  std::string_view name;
  std::string_view external_name;  // empty when none
  VariableRef variable;
};

// Binds every named field of a record under its label (and external name).
void BindFields(std::span<const NamedField> fields);

class Node;  // internal

// A compiled expression.  Owns its tree; refers to bound variables by
// address, so they must outlive it.
class Expression {
 public:
  ~Expression();
  Expression(const Expression&) = delete;
  Expression& operator=(const Expression&) = delete;

  // Parses `text` against the calling thread's bindings.  On failure returns
  // nullptr and posts 1010 (with " at pos N" unless the failure is at the
  // end of the text) or 1011 for an unbound name.
  static std::unique_ptr<Expression> Compile(std::string_view text);

  ExprType type() const;

  // Evaluation never re-parses and allocates only the temporary strings of
  // '&', FORMAT, SUB and friends.  A call with an omitted mandatory argument
  // posts 1015 and yields 0 for that call.
  bool EvaluateBool() const;
  int32_t EvaluateLong() const;
  double EvaluateReal() const;
  std::string EvaluateString() const;

 private:
  explicit Expression(std::unique_ptr<Node> root);
  std::unique_ptr<Node> root_;
};

// Parses and evaluates `text`; the result as text, or "" with 1010/1011 when
// it does not parse.
std::string EVALUATE(std::string_view text);

// Drops the calling thread's evaluator and bindings (thread exit).  After
// this, every entry point on the thread posts 1013 until EvaluatorThreadInit.
void EvaluatorThreadKill();
void EvaluatorThreadInit();

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_EVALUATOR_H_
