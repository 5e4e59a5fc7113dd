// The early end of a view's scan.
//
// The filter's text is outlined down to its comparisons with the language's
// own precedence (OR and XOR loosest, then AND, then NOT, then comparison;
// a comparison whose single operand is wholly in parentheses is looked into).
// Those keywords cannot occur at the outer level of an operand, so cutting
// the text at them outside brackets splits it exactly as the parser does.
// Anything the outline does not understand stays an unknown: it can only
// cost an early end, never cause a wrong one.
//
// An atom is a comparison "item relop value" (either way round, one relop,
// no chain) where:
//   - item is the first order item, token for token: only the first item's
//     values are monotonic along the whole scan;
//   - value names no field of the FILE and calls no function whose result
//     can change between records: TODAY and AGE (midnight), DEFORMAT (a
//     two-digit year widens against the current year), CLOCK, RANDOM,
//     GETINI, MEMORY, PATH, LONGPATH, SHORTPATH, SQL, nor anything that is
//     not a built-in (a bound procedure or an array read through
//     parentheses);
//   - the comparison is made as the item's order compares: both sides
//     integers, or both text.  REAL comparisons have a tolerance that is not
//     an order.
// A filter that calls a bound procedure anywhere gets no early end at all:
// the procedure could change the program variables a value reads.
//
// On a record the filter refused, each atom is judged from where the item's
// value stands against v, the scan meeting the item's values in order
// (ascending here; descending is the mirror): item < v is false for ever
// once item >= v, item <= v and item = v once item > v; item > v and
// item <> v are true for ever once item > v, item >= v once item >= v;
// otherwise the atom is unknown.  The filter is then judged three-valued (a
// NOT swaps false and true for ever, AND is false when any part is, OR when
// all are, XOR only when both sides are known); when it is false for ever,
// no later record can pass and the scan ends.
#include <memory>

#include "runtime/datfile/view_internal.h"
#include "runtime/values/builtins.h"

namespace zuna::datfile::view_internal {

struct EarlyEnd::Atom {
  values::Op op = values::Op::kEqual;  // with the item on the left
  ValueKind kind = ValueKind::kLong;
  std::unique_ptr<values::Expression> bound;
};

struct EarlyEnd::Node {
  enum class Kind : uint8_t { kAtom, kUnknown, kNot, kAnd, kOrChain };
  Kind kind = Kind::kUnknown;
  size_t atom = 0;
  std::vector<size_t> children;
  std::vector<values::Op> ops;  // kOrChain: ops[i] joins children[i + 1]
};

namespace {

using values::Op;
using values::TokenType;

bool IsKeyword(const ItemToken& token, Op op) {
  return token.type == TokenType::kName &&
         values::KeywordOperator(token.text) == op;
}

bool IsOperator(const ItemToken& token, Op op) {
  return token.type == TokenType::kOperator && token.op == op;
}

bool Opens(const ItemToken& token) {
  return token.type == TokenType::kLeftParen ||
         token.type == TokenType::kLeftBracket;
}
bool Closes(const ItemToken& token) {
  return token.type == TokenType::kRightParen ||
         token.type == TokenType::kRightBracket;
}

bool ChangesBetweenRecords(const values::BuiltinInfo& builtin) {
  switch (builtin.function) {
    case values::Builtin::kToday:
    case values::Builtin::kAge:
    case values::Builtin::kDeformat:
    case values::Builtin::kClock:
    case values::Builtin::kRandom:
    case values::Builtin::kGetini:
    case values::Builtin::kMemory:
    case values::Builtin::kPath:
    case values::Builtin::kLongpath:
    case values::Builtin::kShortpath:
    case values::Builtin::kSql:
      return true;
    default:
      return false;
  }
}

// a relop b == b mirrored a.
Op Mirrored(Op op) {
  switch (op) {
    case Op::kLess:
      return Op::kGreater;
    case Op::kGreater:
      return Op::kLess;
    case Op::kLessEqual:
      return Op::kGreaterEqual;
    case Op::kGreaterEqual:
      return Op::kLessEqual;
    default:
      return op;  // = and <>
  }
}

}  // namespace

class EarlyEnd::Builder {
 public:
  Builder(std::string_view text, const OrderItem& first,
          const RecordFields& fields, EarlyEnd* out)
      : text_(text), first_(first), fields_(fields), out_(out) {}

  bool Build() {
    if (!Tokenize(text_, &tokens_) || tokens_.empty() || CallsProcedure())
      return false;
    out_->nodes_.emplace_back();  // the root, filled below
    const size_t root = ParseOr(0, tokens_.size());
    out_->nodes_[0] = std::move(out_->nodes_[root]);
    return !out_->atoms_.empty();
  }

 private:
  size_t NewNode(Node node) {
    out_->nodes_.push_back(std::move(node));
    return out_->nodes_.size() - 1;
  }
  size_t Unknown() { return NewNode(Node{}); }

  bool FollowedByParen(size_t i) const {
    return i + 1 < tokens_.size() &&
           tokens_[i + 1].type == TokenType::kLeftParen;
  }

  // A name with '(' after it that is neither a keyword nor a built-in.
  bool CallsProcedure() const {
    for (size_t i = 0; i < tokens_.size(); ++i) {
      const ItemToken& t = tokens_[i];
      if (t.type != TokenType::kName || !FollowedByParen(i)) continue;
      if (values::KeywordOperator(t.text) != Op::kNone) continue;
      if (values::FindBuiltin(t.text) == nullptr) return true;
    }
    return false;
  }

  // Cuts [b, e) at the keyword `op` outside brackets; the cut points.
  std::vector<size_t> CutAt(size_t b, size_t e,
                            bool (*is_cut)(const ItemToken&)) const {
    std::vector<size_t> cuts;
    int depth = 0;
    for (size_t i = b; i < e; ++i) {
      if (Opens(tokens_[i])) {
        ++depth;
      } else if (Closes(tokens_[i])) {
        --depth;
      } else if (depth == 0 && is_cut(tokens_[i])) {
        cuts.push_back(i);
      }
    }
    return cuts;
  }

  size_t ParseOr(size_t b, size_t e) {
    const std::vector<size_t> cuts = CutAt(b, e, [](const ItemToken& t) {
      return IsKeyword(t, Op::kOr) || IsKeyword(t, Op::kXor);
    });
    if (cuts.empty()) return ParseAnd(b, e);
    Node node;
    node.kind = Node::Kind::kOrChain;
    size_t from = b;
    for (size_t cut : cuts) {
      node.children.push_back(ParseAnd(from, cut));
      node.ops.push_back(values::KeywordOperator(tokens_[cut].text));
      from = cut + 1;
    }
    node.children.push_back(ParseAnd(from, e));
    return NewNode(std::move(node));
  }

  size_t ParseAnd(size_t b, size_t e) {
    const std::vector<size_t> cuts =
        CutAt(b, e, [](const ItemToken& t) { return IsKeyword(t, Op::kAnd); });
    if (cuts.empty()) return ParseNot(b, e);
    Node node;
    node.kind = Node::Kind::kAnd;
    size_t from = b;
    for (size_t cut : cuts) {
      node.children.push_back(ParseNot(from, cut));
      from = cut + 1;
    }
    node.children.push_back(ParseNot(from, e));
    return NewNode(std::move(node));
  }

  size_t ParseNot(size_t b, size_t e) {
    size_t nots = 0;
    while (b < e && (IsKeyword(tokens_[b], Op::kNot) ||
                     IsOperator(tokens_[b], Op::kNot))) {
      ++nots;
      ++b;
    }
    const size_t inner = ParseComparison(b, e);
    if (nots % 2 == 0) return inner;
    Node node;
    node.kind = Node::Kind::kNot;
    node.children.push_back(inner);
    return NewNode(std::move(node));
  }

  // The relational operator that starts at token i (one or two tokens), and
  // its length; 0 when none does.
  size_t RelopAt(size_t i, size_t e, Op* op) const {
    const ItemToken& t = tokens_[i];
    if (t.type != TokenType::kOperator) return 0;
    const Op next = i + 1 < e && tokens_[i + 1].type == TokenType::kOperator
                        ? tokens_[i + 1].op
                        : Op::kNone;
    auto pair = [&](Op second, Op result) {
      if (next != second) return false;
      *op = result;
      return true;
    };
    switch (t.op) {
      case Op::kLess:
        if (pair(Op::kGreater, Op::kNotEqual) ||
            pair(Op::kEqual, Op::kLessEqual))
          return 2;
        *op = Op::kLess;
        return 1;
      case Op::kGreater:
        if (pair(Op::kEqual, Op::kGreaterEqual)) return 2;
        *op = Op::kGreater;
        return 1;
      case Op::kEqual:
        if (pair(Op::kLess, Op::kLessEqual) ||
            pair(Op::kGreater, Op::kGreaterEqual))
          return 2;
        *op = Op::kEqual;
        return 1;
      case Op::kNot:
        if (pair(Op::kEqual, Op::kNotEqual) ||
            pair(Op::kLess, Op::kGreaterEqual) ||
            pair(Op::kGreater, Op::kLessEqual)) {
          return 2;
        }
        *op = Op::kNone;  // a lone '~' here is no relop the outline knows
        return 1;
      default:
        return 0;
    }
  }

  size_t ParseComparison(size_t b, size_t e) {
    if (b >= e) return Unknown();
    struct Relop {
      size_t at;
      size_t length;
      Op op;
    };
    std::vector<Relop> relops;
    int depth = 0;
    for (size_t i = b; i < e; ++i) {
      if (Opens(tokens_[i])) {
        ++depth;
      } else if (Closes(tokens_[i])) {
        --depth;
      } else if (depth == 0) {
        Op op = Op::kNone;
        if (const size_t length = RelopAt(i, e, &op)) {
          if (op == Op::kNone) return Unknown();
          relops.push_back({i, length, op});
          i += length - 1;
        }
      }
    }
    if (relops.empty()) {
      if (tokens_[b].type == TokenType::kLeftParen &&
          MatchingClose(b) == e - 1) {
        return ParseOr(b + 1, e - 1);
      }
      return Unknown();
    }
    if (relops.size() != 1) return Unknown();  // a chain compares a boolean
    const Relop& r = relops[0];
    const size_t rb = r.at + r.length;
    if (IsFirstItem(b, r.at) && IsIndependent(rb, e))
      return AtomNode(r.op, rb, e);
    if (IsFirstItem(rb, e) && IsIndependent(b, r.at)) {
      return AtomNode(Mirrored(r.op), b, r.at);
    }
    return Unknown();
  }

  size_t MatchingClose(size_t open) const {
    int depth = 0;
    for (size_t i = open; i < tokens_.size(); ++i) {
      if (Opens(tokens_[i])) ++depth;
      if (Closes(tokens_[i]) && --depth == 0) return i;
    }
    return tokens_.size();
  }

  bool IsFirstItem(size_t b, size_t e) const {
    return e - b == first_.tokens.size() &&
           std::equal(tokens_.begin() + static_cast<std::ptrdiff_t>(b),
                      tokens_.begin() + static_cast<std::ptrdiff_t>(e),
                      first_.tokens.begin());
  }

  bool IsIndependent(size_t b, size_t e) const {
    if (b >= e) return false;
    for (size_t i = b; i < e; ++i) {
      const ItemToken& t = tokens_[i];
      if (t.type != TokenType::kName) continue;
      if (values::KeywordOperator(t.text) != Op::kNone) continue;
      for (const std::string& field : fields_.upper_names) {
        if (field == t.text) return false;
      }
      if (FollowedByParen(i)) {
        const values::BuiltinInfo* builtin = values::FindBuiltin(t.text);
        if (builtin == nullptr || ChangesBetweenRecords(*builtin)) return false;
      }
    }
    return true;
  }

  size_t AtomNode(Op op, size_t b, size_t e) {
    Atom atom;
    atom.op = op;
    atom.bound = CompileOverRecord(
        fields_,
        text_.substr(tokens_[b].pos, tokens_[e - 1].end - tokens_[b].pos));
    if (!atom.bound) return Unknown();
    // The comparison's own kind, from both sides' static types, must be the
    // kind the order compares the item by.
    auto integral = [](values::ExprType t) {
      return t == values::ExprType::kBool || t == values::ExprType::kLong;
    };
    const values::ExprType item_type = first_.expression->type();
    const values::ExprType bound_type = atom.bound->type();
    if (integral(item_type) && integral(bound_type)) {
      atom.kind = ValueKind::kLong;
    } else if (item_type == values::ExprType::kString &&
               bound_type == values::ExprType::kString) {
      atom.kind = ValueKind::kString;
    } else {
      return Unknown();
    }
    if (atom.kind != first_.kind) return Unknown();
    out_->atoms_.push_back(std::move(atom));
    Node node;
    node.kind = Node::Kind::kAtom;
    node.atom = out_->atoms_.size() - 1;
    return NewNode(std::move(node));
  }

  std::string_view text_;
  const OrderItem& first_;
  const RecordFields& fields_;
  EarlyEnd* out_;
  std::vector<ItemToken> tokens_;
};

EarlyEnd::EarlyEnd() = default;
EarlyEnd::~EarlyEnd() = default;

std::unique_ptr<EarlyEnd> EarlyEnd::Analyse(std::string_view filter_text,
                                            const OrderItem& first,
                                            const RecordFields& fields) {
  if (!first.expression) return nullptr;
  std::unique_ptr<EarlyEnd> early(new EarlyEnd());
  Builder builder(filter_text, first, fields, early.get());
  if (!builder.Build()) return nullptr;
  return early;
}

EarlyEnd::Truth EarlyEnd::Judge(size_t index,
                                std::span<const Truth> atoms) const {
  const Node& node = nodes_[index];
  switch (node.kind) {
    case Node::Kind::kAtom:
      return atoms[node.atom];
    case Node::Kind::kUnknown:
      return Truth::kUnknown;
    case Node::Kind::kNot:
      switch (Judge(node.children[0], atoms)) {
        case Truth::kFalseForEver:
          return Truth::kTrueForEver;
        case Truth::kTrueForEver:
          return Truth::kFalseForEver;
        case Truth::kUnknown:
          return Truth::kUnknown;
      }
      return Truth::kUnknown;
    case Node::Kind::kAnd: {
      bool all_true = true;
      for (size_t child : node.children) {
        const Truth t = Judge(child, atoms);
        if (t == Truth::kFalseForEver) return Truth::kFalseForEver;
        all_true = all_true && t == Truth::kTrueForEver;
      }
      return all_true ? Truth::kTrueForEver : Truth::kUnknown;
    }
    case Node::Kind::kOrChain: {
      Truth result = Judge(node.children[0], atoms);
      for (size_t i = 1; i < node.children.size(); ++i) {
        const Truth next = Judge(node.children[i], atoms);
        if (node.ops[i - 1] == Op::kXor) {
          if (result == Truth::kUnknown || next == Truth::kUnknown) {
            result = Truth::kUnknown;
          } else {
            result =
                (result == Truth::kTrueForEver) != (next == Truth::kTrueForEver)
                    ? Truth::kTrueForEver
                    : Truth::kFalseForEver;
          }
        } else if (result == Truth::kTrueForEver ||
                   next == Truth::kTrueForEver) {
          result = Truth::kTrueForEver;
        } else if (result == Truth::kFalseForEver &&
                   next == Truth::kFalseForEver) {
          result = Truth::kFalseForEver;
        } else {
          result = Truth::kUnknown;
        }
      }
      return result;
    }
  }
  return Truth::kUnknown;
}

bool EarlyEnd::Ends(const OrderValue& first_value, bool ascending) const {
  std::vector<Truth> truths(atoms_.size(), Truth::kUnknown);
  for (size_t i = 0; i < atoms_.size(); ++i) {
    const Atom& atom = atoms_[i];
    OrderValue bound;
    bound.kind = atom.kind;
    if (atom.kind == ValueKind::kLong) {
      bound.long_value = atom.bound->EvaluateLong();
    } else {
      bound.text = atom.bound->EvaluateString();
    }
    const int c = CompareValues(first_value, bound);
    // Along the scan the item moves away from values already passed: the
    // comparisons that fail (or hold) once it has passed `bound` stay so.
    const int passed = ascending ? c : -c;  // > 0: the item is beyond bound
    const Op op = ascending ? atom.op : Mirrored(atom.op);
    switch (op) {
      case Op::kLess:
        if (passed >= 0) truths[i] = Truth::kFalseForEver;
        break;
      case Op::kLessEqual:
      case Op::kEqual:
        if (passed > 0) truths[i] = Truth::kFalseForEver;
        break;
      case Op::kGreater:
      case Op::kNotEqual:
        if (passed > 0) truths[i] = Truth::kTrueForEver;
        break;
      case Op::kGreaterEqual:
        if (passed >= 0) truths[i] = Truth::kTrueForEver;
        break;
      default:
        break;
    }
  }
  return Judge(0, truths) == Truth::kFalseForEver;
}

}  // namespace zuna::datfile::view_internal
