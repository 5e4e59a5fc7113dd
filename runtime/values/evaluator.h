// The filter expression evaluator: text expressions over bound program
// variables, compiled once into a tree and evaluated as boolean, LONG, REAL or
// STRING.  Views filter records with it; EVALUATE exposes it directly.
//
// Threads: every thread has its own evaluator and binding table, created on
// first use (thread_local); nothing here is shared between threads.  A
// compiled Expression belongs to the evaluator of the thread that compiled
// it: evaluating it on another thread, or after that thread's evaluator was
// killed and created again, posts 1014 and yields 0 / "".  The variables it
// names must stay alive while it may be evaluated (it reads them through
// their addresses, so rebinding a name does not affect a compiled tree).
// Errors go to the calling thread's runtime error state (error_state.h):
// 1010-1015.  Success leaves the error state as it was.
//
// Binding scopes: PUSHBIND opens a scope, POPBIND closes the newest, BIND
// adds to the newest.  A scope opened with PUSHBIND(true) still sees the
// names of the scopes below it; PUSHBIND(false) hides them until it is
// popped.  Names are case-insensitive (locale case and collation tables) and
// cut to 99 characters.  A name is looked up in this order: the keyword
// operators AND, OR, XOR, NOT (reserved: binding them has no effect on
// parsing); the bound names, newest scope first; the built-in functions
// (builtins.h), which a binding of the same name therefore hides.
//
// Limits: parentheses, calls and subscripts nest at most kMaxExpressionDepth
// deep (deeper text is refused with 1010 rather than exhausting the stack:
// the deepest expression accepted compiles and evaluates within 512 KiB of
// stack in an optimised build); runs of binary operators, NOTs and signs of
// any length are parsed and evaluated in loops.
//
// Speed: a compiled Expression evaluates without parsing and allocates only
// the temporary strings of '&', FORMAT, SUB and friends; a pure subtree that
// occurs more than once (format(zun:data,@d12) in the birthday filter) is
// computed once per evaluation (expr_sharing.h).
#ifndef ZUNA_RUNTIME_VALUES_EVALUATOR_H_
#define ZUNA_RUNTIME_VALUES_EVALUATOR_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "runtime/values/binding_table.h"
#include "runtime/values/variable.h"

namespace zuna::values {

enum class ExprType : uint8_t { kBool = 0, kLong = 1, kReal = 2, kString = 4 };

// Deepest nesting of parentheses, function calls and subscripts a parse
// accepts; deeper input is refused with 1010 rather than exhausting the stack.
inline constexpr int kMaxExpressionDepth = 256;

// Each posts 1013 (and does nothing) when the thread's evaluator was killed.
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

// Binds every named field of a record under its label (and external name);
// fields with an empty name are skipped.
void BindFields(std::span<const NamedField> fields);

class Node;        // expr_node.h
struct EvalCache;  // expr_eval.h

// A compiled expression.  Owns its tree; refers to bound variables by
// address, so they must outlive it.
class Expression {
 public:
  ~Expression();
  Expression(const Expression&) = delete;
  Expression& operator=(const Expression&) = delete;

  // Parses `text` against the calling thread's bindings.  On failure returns
  // nullptr and posts 1010 (with " at pos N", N the zero-based offset of the
  // token where parsing stopped, unless it stopped at the end of the text),
  // 1011 followed by the name for an unbound name, or 1013.
  static std::unique_ptr<Expression> Compile(std::string_view text);

  ExprType type() const;

  // Evaluation never re-parses and allocates only the temporary strings of
  // '&', FORMAT, SUB and friends.  A call with an omitted mandatory argument
  // posts 1015 and yields 0 for that call.  On 1013/1014 (see above) the
  // result is false / 0 / "".
  bool EvaluateBool() const;
  int32_t EvaluateLong() const;
  double EvaluateReal() const;
  std::string EvaluateString() const;

 private:
  Expression(std::unique_ptr<Node> root, size_t cache_slots, uint64_t context);
  bool InContext() const;

  std::unique_ptr<Node> root_;
  // Values of the subtrees the expression repeats, kept for one evaluation
  // at a time; evaluating changes it, hence one thread per Expression.
  std::unique_ptr<EvalCache> cache_;
  uint64_t context_;  // the evaluator generation that compiled the tree
};

// Parses and evaluates `text`; the result as text ("1"/"0" for a boolean),
// or "" with 1010/1011/1013 when it does not parse.
std::string EVALUATE(std::string_view text);

// Drops the calling thread's evaluator and bindings (thread exit).  After
// this, every entry point on the thread posts 1013 until EvaluatorThreadInit,
// which creates a fresh evaluator (no bindings).  EvaluatorThreadInit on a
// thread whose evaluator exists does nothing.
void EvaluatorThreadKill();
void EvaluatorThreadInit();

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_EVALUATOR_H_
