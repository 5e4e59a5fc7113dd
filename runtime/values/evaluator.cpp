#include "runtime/values/evaluator.h"

#include <atomic>
#include <optional>
#include <utility>

#include "runtime/values/error_state.h"
#include "runtime/values/expr_eval.h"
#include "runtime/values/expr_node.h"
#include "runtime/values/expr_parser.h"
#include "runtime/values/expr_sharing.h"
#include "runtime/values/runtime_messages.h"

namespace zuna::values {
namespace {

// Every evaluator ever created gets its own number, so a tree compiled under
// one can tell that it is being evaluated under another.
std::atomic<uint64_t> next_context{1};

struct ThreadEvaluator {
  uint64_t context = 0;
  std::optional<BindingTable> bindings;  // empty after EvaluatorThreadKill
  bool killed = false;
};

ThreadEvaluator& ThisThread() {
  thread_local ThreadEvaluator evaluator;
  if (evaluator.context == 0 && !evaluator.killed) {
    // First use on this thread.
    evaluator.context = next_context.fetch_add(1, std::memory_order_relaxed);
    evaluator.bindings.emplace();
  }
  return evaluator;
}

// The thread's binding table, or nullptr after posting 1013.
BindingTable* LiveBindings() {
  ThreadEvaluator& evaluator = ThisThread();
  if (evaluator.killed || !evaluator.bindings) {
    PostError(ErrorCode::kNoEvaluator);
    return nullptr;
  }
  return &*evaluator.bindings;
}

}  // namespace

void BIND(std::string_view name, const VariableRef& variable) {
  if (BindingTable* bindings = LiveBindings()) bindings->Bind(name, variable);
}

void BIND(std::string_view name, BoundProcedure procedure) {
  if (BindingTable* bindings = LiveBindings()) {
    bindings->Bind(name, std::move(procedure));
  }
}

void UNBIND(std::string_view name) {
  if (BindingTable* bindings = LiveBindings()) bindings->Unbind(name);
}

void PUSHBIND(bool see_outer) {
  if (BindingTable* bindings = LiveBindings()) bindings->Push(see_outer);
}

void POPBIND() {
  if (BindingTable* bindings = LiveBindings()) {
    if (!bindings->Pop()) PostError(ErrorCode::kMismatchedPushPop);
  }
}

void BindFields(std::span<const NamedField> fields) {
  BindingTable* bindings = LiveBindings();
  if (bindings == nullptr) return;
  for (const NamedField& field : fields) {
    if (field.name.empty()) continue;
    bindings->Bind(field.name, field.variable);
    if (!field.external_name.empty()) {
      bindings->Bind(field.external_name, field.variable);
    }
  }
}

Expression::Expression(std::unique_ptr<Node> root, size_t cache_slots,
                       uint64_t context)
    : root_(std::move(root)),
      cache_(std::make_unique<EvalCache>()),
      context_(context) {
  cache_->entries.resize(cache_slots);
}

Expression::~Expression() = default;

std::unique_ptr<Expression> Expression::Compile(std::string_view text) {
  BindingTable* bindings = LiveBindings();
  if (bindings == nullptr) return nullptr;
  NodePtr root = ParseExpression(text, *bindings);
  if (!root) return nullptr;
  const size_t cache_slots = ShareRepeatedSubtrees(*root);
  return std::unique_ptr<Expression>(
      new Expression(std::move(root), cache_slots, ThisThread().context));
}

ExprType Expression::type() const { return root_->type; }

bool Expression::InContext() const {
  const ThreadEvaluator& evaluator = ThisThread();
  if (evaluator.killed) {
    PostError(ErrorCode::kNoEvaluator);
    return false;
  }
  if (evaluator.context != context_) {
    PostError(ErrorCode::kUnknownContext);
    return false;
  }
  return true;
}

bool Expression::EvaluateBool() const {
  if (!InContext()) return false;
  const EvalCacheScope scope(cache_.get());
  return EvalBool(*root_);
}

int32_t Expression::EvaluateLong() const {
  if (!InContext()) return 0;
  const EvalCacheScope scope(cache_.get());
  return EvalLong(*root_);
}

double Expression::EvaluateReal() const {
  if (!InContext()) return 0.0;
  const EvalCacheScope scope(cache_.get());
  return EvalReal(*root_);
}

std::string Expression::EvaluateString() const {
  if (!InContext()) return std::string();
  const EvalCacheScope scope(cache_.get());
  return EvalString(*root_);
}

std::string EVALUATE(std::string_view text) {
  const std::unique_ptr<Expression> expression = Expression::Compile(text);
  return expression ? expression->EvaluateString() : std::string();
}

void EvaluatorThreadKill() {
  ThreadEvaluator& evaluator = ThisThread();
  evaluator.bindings.reset();
  evaluator.killed = true;
}

void EvaluatorThreadInit() {
  ThreadEvaluator& evaluator = ThisThread();
  if (!evaluator.killed) return;
  evaluator.killed = false;
  evaluator.context = next_context.fetch_add(1, std::memory_order_relaxed);
  evaluator.bindings.emplace();
}

}  // namespace zuna::values
