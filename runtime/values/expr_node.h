// The nodes of a compiled expression tree (internal to the evaluator).
//
// A tree is built by the parser (expr_parser.h), given its cache slots by
// expr_sharing.h, owned by an Expression (evaluator.h) and read by the
// evaluation functions (expr_eval.h).  Nodes are immutable once compiled:
// evaluating a tree never changes it (per-evaluation values live in the
// Expression's cache).
//
// Shape:
//   - Left-associative runs of one precedence level ("a + b - c", "a AND b
//     AND c", "a < b < c") are one ChainNode holding every operand and the
//     operator between each pair, so a long run neither deepens the tree nor
//     recurses per operator when evaluated or destroyed.
//   - NOT and unary minus appear at most once per nesting level (their
//     counts are reduced to parity while parsing).
//   - The depth of the tree is therefore bounded by a small multiple of the
//     parser's nesting limit (kMaxExpressionDepth).
//
// Every node carries its static result type; comparisons choose LONG,
// STRING or REAL by it, and truth is judged by it.
#ifndef ZUNA_RUNTIME_VALUES_EXPR_NODE_H_
#define ZUNA_RUNTIME_VALUES_EXPR_NODE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/values/binding_table.h"
#include "runtime/values/builtins.h"
#include "runtime/values/evaluator.h"
#include "runtime/values/expr_lexer.h"
#include "runtime/values/picture.h"
#include "runtime/values/variable.h"

namespace zuna::values {

enum class NodeKind : uint8_t {
  kConstant,
  kVariable,
  kNegate,
  kNot,
  kOrChain,        // OR / XOR
  kAndChain,       // AND
  kCompareChain,   // = <> < > <= >=
  kConcatChain,    // &
  kSumChain,       // + -
  kProductChain,   // * / %
  kPowerChain,     // ^
  kCall,           // a built-in function
  kProcedureCall,  // a bound procedure
  kSql,            // SQL(raw text)
};

class Node {
 public:
  Node(NodeKind kind, ExprType type) : kind(kind), type(type) {}
  virtual ~Node() = default;
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  const NodeKind kind;
  const ExprType type;
  // The slot of the per-evaluation cache that holds this node's value when
  // the same pure subtree occurs more than once (expr_sharing.h); -1 when
  // the node is evaluated every time it is met.  Set once, while compiling.
  int32_t cache_slot = -1;
};

using NodePtr = std::unique_ptr<Node>;

// A LONG, REAL or STRING constant with its value precomputed in every form,
// so that asking a constant for any type costs nothing per record.
struct ConstantNode final : Node {
  explicit ConstantNode(ExprType type) : Node(NodeKind::kConstant, type) {}
  int32_t long_value = 0;
  double real_value = 0.0;
  std::string text;
  bool truth = false;
};

struct VariableNode final : Node {
  VariableNode(ExprType type, const VariableRef& variable)
      : Node(NodeKind::kVariable, type), variable(variable) {}
  VariableRef variable;
  std::vector<NodePtr> subscripts;  // array subscripts, 1-based
  // Substring [from:to] (1-based, inclusive); to == nullptr with from set
  // means the single character [from].
  NodePtr substring_from;
  NodePtr substring_to;
  bool plain() const { return subscripts.empty() && !substring_from; }
};

struct UnaryNode final : Node {
  UnaryNode(NodeKind kind, ExprType type, NodePtr operand)
      : Node(kind, type), operand(std::move(operand)) {}
  NodePtr operand;
};

// operands.size() >= 2 and ops.size() == operands.size() - 1; ops[i] joins
// the result so far with operands[i + 1].
struct ChainNode final : Node {
  ChainNode(NodeKind kind, ExprType type) : Node(kind, type) {}
  std::vector<NodePtr> operands;
  std::vector<Op> ops;
};

struct CallNode final : Node {
  explicit CallNode(const BuiltinInfo& info)
      : Node(NodeKind::kCall, info.result), info(info) {}
  const BuiltinInfo& info;
  std::vector<NodePtr> arguments;  // nullptr: left empty
  bool omits_mandatory = false;    // an argument below info.min_args is empty
  // FORMAT/DEFORMAT whose picture argument is a constant: compiled once here.
  std::unique_ptr<Picture> picture;

  const Node* argument(size_t i) const {
    return i < arguments.size() ? arguments[i].get() : nullptr;
  }
};

struct ProcedureCallNode final : Node {
  explicit ProcedureCallNode(std::shared_ptr<const BoundProcedure> procedure)
      : Node(NodeKind::kProcedureCall, ExprType::kString),
        procedure(std::move(procedure)) {}
  std::shared_ptr<const BoundProcedure> procedure;
  std::vector<NodePtr> arguments;  // nullptr: left empty
};

struct SqlNode final : Node {
  explicit SqlNode(std::string raw)
      : Node(NodeKind::kSql, ExprType::kString), raw(std::move(raw)) {}
  std::string raw;
};

// The static result type of a bound variable: integers up to LONG are LONG,
// ULONG (which can exceed a LONG) and the reals are REAL, text is STRING.
ExprType VariableType(VarType type);

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_EXPR_NODE_H_
