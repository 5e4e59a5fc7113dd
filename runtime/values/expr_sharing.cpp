#include "runtime/values/expr_sharing.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zuna::values {
namespace {

bool IsPureBuiltin(const CallNode& call) {
  if (call.omits_mandatory) return false;
  switch (call.info.function) {
    case Builtin::kRandom:
    case Builtin::kClock:
    case Builtin::kGetini:
    case Builtin::kMemory:
    case Builtin::kPath:
    case Builtin::kLongpath:
    case Builtin::kShortpath:
      return false;
    default:
      return true;
  }
}

// Calls `slot` with every child slot of `node` in order, present or empty
// (an omitted argument, a missing substring end), and `list` with the length
// of each list of children just before its slots.
template <typename Slot, typename List>
void ForEachChildSlot(Node& node, Slot&& slot, List&& list) {
  const auto each = [&](std::vector<NodePtr>& nodes) {
    list(nodes.size());
    for (NodePtr& child : nodes) slot(child);
  };
  switch (node.kind) {
    case NodeKind::kConstant:
    case NodeKind::kSql:
      return;
    case NodeKind::kVariable: {
      auto& variable = static_cast<VariableNode&>(node);
      each(variable.subscripts);
      slot(variable.substring_from);
      slot(variable.substring_to);
      return;
    }
    case NodeKind::kNegate:
    case NodeKind::kNot:
      slot(static_cast<UnaryNode&>(node).operand);
      return;
    case NodeKind::kCall:
      each(static_cast<CallNode&>(node).arguments);
      return;
    case NodeKind::kProcedureCall:
      each(static_cast<ProcedureCallNode&>(node).arguments);
      return;
    default:
      each(static_cast<ChainNode&>(node).operands);
      return;
  }
}

// Calls `visit` with every child of `node` that is present, in order.
template <typename Visit>
void ForEachChild(Node& node, Visit&& visit) {
  ForEachChildSlot(
      node,
      [&](NodePtr& child) {
        if (child) visit(*child);
      },
      [](size_t) {});
}

// The nodes of the tree, children before their parent.  Iterative: the tree
// may be as deep as the parser allows, and this runs on the caller's stack.
std::vector<Node*> PostOrder(Node& root) {
  std::vector<Node*> order;
  std::vector<std::pair<Node*, bool>> stack{{&root, false}};
  while (!stack.empty()) {
    auto [node, children_done] = stack.back();
    stack.pop_back();
    if (children_done) {
      order.push_back(node);
      continue;
    }
    stack.push_back({node, true});
    std::vector<Node*> children;
    ForEachChild(*node, [&](Node& child) { children.push_back(&child); });
    // Reversed, so that the first child is finished first.
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      stack.push_back({*it, false});
    }
  }
  return order;
}

// Gives every subtree a number such that two subtrees have the same number
// exactly when they have the same structure (hash-consing); impure subtrees
// get numbers of their own.
class Sharer {
 public:
  size_t Run(const std::vector<Node*>& post_order) {
    for (Node* node : post_order) visited_[node] = Visit(*node);
    // Largest subtrees first: once a subtree is shared only one of its
    // occurrences is evaluated, so what lies inside the others no longer
    // repeats (format(...) inside two copies of a shared sum is computed
    // once anyway, and a slot of its own would only add copying).
    std::vector<size_t> order;
    for (size_t g = 0; g < groups_.size(); ++g) {
      if (groups_[g].size() >= 2) order.push_back(g);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return sizes_[a] > sizes_[b]; });
    size_t slots = 0;
    for (size_t g : order) {
      std::vector<Node*> live;
      for (Node* node : groups_[g]) {
        if (!dead_.contains(node)) live.push_back(node);
      }
      if (live.size() < 2) continue;
      for (Node* node : live) node->cache_slot = static_cast<int32_t>(slots);
      ++slots;
      for (size_t i = 1; i < live.size(); ++i) MarkInsideDead(*live[i]);
    }
    return slots;
  }

 private:
  struct Visited {
    int32_t id;
    size_t size;  // nodes in the subtree
  };

  static void Put(std::string& key, int64_t value) {
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    key.append(bytes, sizeof bytes);
  }

  Visited Unique(size_t size) { return {next_unique_--, size}; }

  // `cacheable`: the node may get a cache slot (operators and calls;
  // constants and variables cost nothing to evaluate again).
  Visited Intern(std::string key, Node* cacheable, size_t size) {
    const auto [it, inserted] =
        ids_.emplace(std::move(key), static_cast<int32_t>(groups_.size()));
    if (inserted) {
      groups_.emplace_back();
      sizes_.push_back(size);
    }
    if (cacheable != nullptr) {
      groups_[static_cast<size_t>(it->second)].push_back(cacheable);
    }
    return {it->second, size};
  }

  // The node's number, from its own content and its children's numbers
  // (already known: nodes come in post-order).
  Visited Visit(Node& node) {
    std::string key;
    key += static_cast<char>(node.kind);
    key += static_cast<char>(node.type);
    size_t size = 1;
    AppendParts(node, key, size);
    switch (node.kind) {
      case NodeKind::kConstant:
        key += static_cast<const ConstantNode&>(node).text;
        return Intern(std::move(key), nullptr, size);
      case NodeKind::kSql:
        key += static_cast<const SqlNode&>(node).raw;
        return Intern(std::move(key), nullptr, size);
      case NodeKind::kVariable: {
        const VariableRef& ref =
            static_cast<const VariableNode&>(node).variable;
        Put(key,
            static_cast<int64_t>(reinterpret_cast<uintptr_t>(ref.address)));
        Put(key, static_cast<int64_t>(ref.type));
        Put(key, ref.size);
        Put(key, ref.dimension_count);
        for (uint32_t dimension : ref.dimensions) Put(key, dimension);
        return Intern(std::move(key), nullptr, size);
      }
      case NodeKind::kCall: {
        const auto& call = static_cast<const CallNode&>(node);
        Put(key, static_cast<int64_t>(call.info.function));
        if (!IsPureBuiltin(call)) return Unique(size);
        return Intern(std::move(key), &node, size);
      }
      case NodeKind::kProcedureCall:
        return Unique(size);
      case NodeKind::kNegate:
      case NodeKind::kNot:
        return Intern(std::move(key), &node, size);
      default:
        for (Op op : static_cast<const ChainNode&>(node).ops) {
          key += static_cast<char>(op);
        }
        return Intern(std::move(key), &node, size);
    }
  }

  // Appends the numbers of the node's parts to `key`, in a form that keeps
  // absent parts (an empty argument, a missing substring end) apart.
  void AppendParts(Node& node, std::string& key, size_t& size) {
    const auto part = [&](NodePtr& child) {
      if (!child) {
        Put(key, INT64_MIN);
        return;
      }
      const Visited& visited = visited_.at(child.get());
      Put(key, visited.id);
      size += visited.size;
    };
    ForEachChildSlot(node, part, [&](size_t count) {
      Put(key, static_cast<int64_t>(count));
    });
  }

  // Marks every node strictly inside `node` as never evaluated.  A node
  // already dead had its whole subtree marked with it.
  void MarkInsideDead(Node& node) {
    std::vector<Node*> stack{&node};
    while (!stack.empty()) {
      Node* parent = stack.back();
      stack.pop_back();
      ForEachChild(*parent, [&](Node& child) {
        if (dead_.insert(&child).second) stack.push_back(&child);
      });
    }
  }

  std::unordered_map<const Node*, Visited> visited_;
  std::map<std::string, int32_t> ids_;
  std::vector<std::vector<Node*>> groups_;
  std::vector<size_t> sizes_;  // nodes in one subtree of each group
  std::set<const Node*> dead_;
  int32_t next_unique_ = -1;
};

}  // namespace

size_t ShareRepeatedSubtrees(Node& root) {
  const std::vector<Node*> post_order = PostOrder(root);
  for (const Node* node : post_order) {
    if (node->kind == NodeKind::kProcedureCall) return 0;
  }
  return Sharer().Run(post_order);
}

}  // namespace zuna::values
