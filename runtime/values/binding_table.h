// The names a thread has bound for the expression evaluator: a stack of
// scopes, each a list of (name, variable or procedure) entries.
//
// Ownership and threads: one BindingTable per thread, owned by that
// thread's evaluator state (evaluator.cpp); it is never shared, so it has no
// lock.  Entries copy the VariableRef (not the variable) and the procedure
// object.
//
// Invariants:
//   1. There is always at least one scope, the base scope; Pop() never
//      removes it.
//   2. Within one scope a name occurs at most once: binding it again
//      replaces the entry.
//   3. Names are stored cut to kMaxBoundNameLength characters and compared
//      case-insensitively through the locale (CompareStringsNoCase).
#ifndef ZUNA_RUNTIME_VALUES_BINDING_TABLE_H_
#define ZUNA_RUNTIME_VALUES_BINDING_TABLE_H_

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/values/variable.h"

namespace zuna::values {

inline constexpr size_t kMaxBoundNameLength = 99;

// A procedure callable from expressions: receives its evaluated arguments as
// text (an omitted argument is "") and returns text.
using BoundProcedure =
    std::function<std::string(std::span<const std::string> arguments)>;

struct Binding {
  std::string name;  // cut to kMaxBoundNameLength
  bool is_procedure = false;
  VariableRef variable;                             // when !is_procedure
  std::shared_ptr<const BoundProcedure> procedure;  // when is_procedure
};

class BindingTable {
 public:
  BindingTable();

  // Adds to (or replaces in) the newest scope.
  void Bind(std::string_view name, const VariableRef& variable);
  void Bind(std::string_view name, BoundProcedure procedure);
  // Removes `name` from the newest scope; no effect when it is not there.
  void Unbind(std::string_view name);

  // Opens a scope.  With see_outer false, lookups stop at this scope until
  // it is popped.
  void Push(bool see_outer);
  // Closes the newest scope; false (and no change) when only the base scope
  // is left.
  bool Pop();
  size_t depth() const { return scopes_.size(); }

  // The newest visible binding of `name` (cut to kMaxBoundNameLength before
  // comparing), or nullptr.  The pointer is valid until the table changes.
  const Binding* Find(std::string_view name) const;

 private:
  struct Scope {
    bool see_outer = true;
    std::vector<Binding> entries;
  };

  void Add(Binding binding);

  std::vector<Scope> scopes_;
};

// `name` cut to kMaxBoundNameLength characters.
std::string_view CutBoundName(std::string_view name);

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_BINDING_TABLE_H_
