#include "runtime/values/binding_table.h"

#include <utility>

#include "runtime/values/locale.h"

namespace zuna::values {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  // The locale comparison pads with blanks; names never hold blanks, but a
  // length check keeps "ab" from matching "ab " bound by a careless caller.
  return a.size() == b.size() && CompareStringsNoCase(a, b) == 0;
}

}  // namespace

std::string_view CutBoundName(std::string_view name) {
  return name.substr(0, kMaxBoundNameLength);
}

BindingTable::BindingTable() { scopes_.emplace_back(); }

void BindingTable::Add(Binding binding) {
  std::vector<Binding>& entries = scopes_.back().entries;
  for (Binding& entry : entries) {
    if (SameName(entry.name, binding.name)) {
      entry = std::move(binding);
      return;
    }
  }
  entries.push_back(std::move(binding));
}

void BindingTable::Bind(std::string_view name, const VariableRef& variable) {
  Binding binding;
  binding.name = std::string(CutBoundName(name));
  binding.variable = variable;
  Add(std::move(binding));
}

void BindingTable::Bind(std::string_view name, BoundProcedure procedure) {
  Binding binding;
  binding.name = std::string(CutBoundName(name));
  binding.is_procedure = true;
  binding.procedure =
      std::make_shared<const BoundProcedure>(std::move(procedure));
  Add(std::move(binding));
}

void BindingTable::Unbind(std::string_view name) {
  name = CutBoundName(name);
  std::vector<Binding>& entries = scopes_.back().entries;
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (SameName(it->name, name)) {
      entries.erase(it);
      return;
    }
  }
}

void BindingTable::Push(bool see_outer) {
  Scope scope;
  scope.see_outer = see_outer;
  scopes_.push_back(std::move(scope));
}

bool BindingTable::Pop() {
  if (scopes_.size() <= 1) return false;
  scopes_.pop_back();
  return true;
}

const Binding* BindingTable::Find(std::string_view name) const {
  name = CutBoundName(name);
  for (auto scope = scopes_.rbegin(); scope != scopes_.rend(); ++scope) {
    for (const Binding& entry : scope->entries) {
      if (SameName(entry.name, name)) return &entry;
    }
    if (!scope->see_outer) break;
  }
  return nullptr;
}

}  // namespace zuna::values
