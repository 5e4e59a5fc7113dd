#include "runtime/values/expr_parser.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/values/builtins.h"
#include "runtime/values/conversion.h"
#include "runtime/values/error_state.h"
#include "runtime/values/expr_eval.h"
#include "runtime/values/runtime_messages.h"

namespace zuna::values {
namespace {

// A token after name lookup.
struct Item {
  Token token;
  const Binding* binding = nullptr;       // a bound variable or procedure
  const BuiltinInfo* function = nullptr;  // a built-in
  bool unbound = false;                   // a name nothing answers to

  bool IsOperator(Op op) const {
    return token.type == TokenType::kOperator && token.op == op;
  }
  bool IsConstant() const {
    return token.type == TokenType::kLong || token.type == TokenType::kReal ||
           token.type == TokenType::kString ||
           token.type == TokenType::kPicture;
  }
};

bool IsOrOp(Op op) { return op == Op::kOr || op == Op::kXor; }
bool IsAndOp(Op op) { return op == Op::kAnd; }
bool IsConcatOp(Op op) { return op == Op::kConcat; }
bool IsSumOp(Op op) { return op == Op::kAdd || op == Op::kSubtract; }
bool IsProductOp(Op op) {
  return op == Op::kMultiply || op == Op::kDivide || op == Op::kRemainder;
}
bool IsPowerOp(Op op) { return op == Op::kPower; }

// Every form of the constant's value, computed once here so that no
// evaluation has to convert it.
[[gnu::noinline]] std::unique_ptr<ConstantNode> MakeConstant(
    const Token& token) {
  switch (token.type) {
    case TokenType::kLong: {
      auto node = std::make_unique<ConstantNode>(ExprType::kLong);
      node->long_value = token.long_value;
      node->real_value = token.long_value;
      node->text = LongToString(token.long_value);
      node->truth = token.long_value != 0;
      return node;
    }
    case TokenType::kReal: {
      auto node = std::make_unique<ConstantNode>(ExprType::kReal);
      node->real_value = token.real_value;
      node->long_value = RealToLong(token.real_value);
      node->text = RealToString(token.real_value);
      node->truth = token.real_value != 0.0;
      return node;
    }
    default: {
      auto node = std::make_unique<ConstantNode>(ExprType::kString);
      node->text = token.type == TokenType::kString ? token.value
                                                    : std::string(token.text);
      node->real_value = StringToReal(node->text);
      node->long_value = RealToLong(node->real_value);
      node->truth = HasNonBlank(node->text);
      return node;
    }
  }
}

// Recursive descent, one function per precedence level.  Every level of
// nesting puts one frame of each level function on the stack, so those
// frames are kept small: the helpers marked noinline hold the bulky locals
// (tokens, strings, argument lists) in frames of their own that are gone
// before the descent goes deeper.
class Parser {
 public:
  Parser(std::string_view text, const BindingTable& bindings)
      : lexer_(text), bindings_(bindings), text_size_(text.size()) {}

  NodePtr Parse() {
    Advance();
    depth_ = 1;
    NodePtr root = ParseExpressionLevel();
    if (!root) return nullptr;
    if (current_.token.type != TokenType::kEnd) return Fail();
    return root;
  }

 private:
  using LevelParser = NodePtr (Parser::*)();

  Item Resolve(Token token) const {
    Item item;
    if (token.type == TokenType::kName) {
      if (const Op op = KeywordOperator(token.text); op != Op::kNone) {
        token.type = TokenType::kOperator;
        token.op = op;
      } else if (const Binding* binding = bindings_.Find(token.text)) {
        item.binding = binding;
      } else if (const BuiltinInfo* function = FindBuiltin(token.text)) {
        item.function = function;
      } else {
        item.unbound = true;
      }
    }
    item.token = std::move(token);
    return item;
  }

  [[gnu::noinline]] void Advance() {
    if (peeked_) {
      current_ = std::move(*peeked_);
      peeked_.reset();
    } else {
      current_ = Resolve(lexer_.Next());
    }
  }

  [[gnu::noinline]] const Item& Peek() {
    if (!peeked_) peeked_ = Resolve(lexer_.Next());
    return *peeked_;
  }

  // Stops the parse at the current token.  An unbound name reports 1011
  // with the name; anything else 1010, with the token's offset unless it is
  // the end of the text.
  NodePtr Fail() { return FailAt(current_); }

  [[gnu::noinline]] NodePtr FailAt(const Item& at) {
    if (at.unbound) {
      PostError(ErrorCode::kNotBound, CutBoundName(at.token.text));
    } else if (at.token.type == TokenType::kEnd) {
      PostError(ErrorCode::kInvalidExpression);
    } else {
      PostError(ErrorCode::kInvalidExpression,
                "at pos " + std::to_string(at.token.pos));
    }
    return nullptr;
  }

  // One more level of nesting opened by the current token.
  bool Enter() {
    if (depth_ >= kMaxExpressionDepth) return false;
    ++depth_;
    return true;
  }
  void Leave() { --depth_; }

  bool AtOperator(bool (*is_op)(Op)) const {
    return current_.token.type == TokenType::kOperator &&
           is_op(current_.token.op);
  }

  // `next` {op `next`}.  A run of operators becomes one ChainNode, built in
  // place: this frame is on the stack once per precedence level for every
  // level of nesting, so it holds no more than the chain's pointer.
  NodePtr ParseBinaryLevel(NodeKind kind, ExprType type, LevelParser next,
                           bool (*is_op)(Op)) {
    NodePtr first = (this->*next)();
    if (!first || !AtOperator(is_op)) return first;
    auto chain = std::make_unique<ChainNode>(kind, type);
    chain->operands.push_back(std::move(first));
    do {
      chain->ops.push_back(current_.token.op);
      Advance();
      NodePtr operand = (this->*next)();
      if (!operand) return nullptr;
      chain->operands.push_back(std::move(operand));
    } while (AtOperator(is_op));
    return chain;
  }

  // Level 1.  What may follow an expression is ')', ']', ',', ':' or the
  // end; any other operator here is an error.
  NodePtr ParseExpressionLevel() {
    NodePtr node = ParseBinaryLevel(NodeKind::kOrChain, ExprType::kBool,
                                    &Parser::ParseAndLevel, IsOrOp);
    if (!node) return nullptr;
    if (current_.token.type == TokenType::kOperator &&
        current_.token.op != Op::kComma && current_.token.op != Op::kColon) {
      return Fail();
    }
    return node;
  }

  NodePtr ParseAndLevel() {
    return ParseBinaryLevel(NodeKind::kAndChain, ExprType::kBool,
                            &Parser::ParseNotLevel, IsAndOp);
  }

  NodePtr ParseNotLevel() {
    bool negate = false;
    while (current_.IsOperator(Op::kNot)) {
      negate = !negate;
      Advance();
    }
    NodePtr node = ParseComparisonLevel();
    if (!node || !negate) return node;
    return std::make_unique<UnaryNode>(NodeKind::kNot, ExprType::kBool,
                                       std::move(node));
  }

  // The relational operator starting at the current token, consuming its
  // one or two tokens; kNone (nothing consumed) when there is none.
  [[gnu::noinline]] Op TakeRelationalOperator() {
    if (current_.token.type != TokenType::kOperator) return Op::kNone;
    const Op first = current_.token.op;
    if (first != Op::kLess && first != Op::kGreater && first != Op::kEqual &&
        first != Op::kNot) {
      return Op::kNone;
    }
    const Item& next = Peek();
    const Op second =
        next.token.type == TokenType::kOperator ? next.token.op : Op::kNone;
    Op relation = Op::kNone;
    bool two_tokens = true;
    switch (first) {
      case Op::kLess:
        relation = second == Op::kGreater ? Op::kNotEqual
                   : second == Op::kEqual ? Op::kLessEqual
                                          : Op::kLess;
        two_tokens = relation != Op::kLess;
        break;
      case Op::kGreater:
        relation = second == Op::kEqual ? Op::kGreaterEqual : Op::kGreater;
        two_tokens = relation != Op::kGreater;
        break;
      case Op::kEqual:
        relation = second == Op::kLess      ? Op::kLessEqual
                   : second == Op::kGreater ? Op::kGreaterEqual
                                            : Op::kEqual;
        two_tokens = relation != Op::kEqual;
        break;
      default:  // '~' is relational only as ~=, ~< or ~>
        relation = second == Op::kEqual     ? Op::kNotEqual
                   : second == Op::kLess    ? Op::kGreaterEqual
                   : second == Op::kGreater ? Op::kLessEqual
                                            : Op::kNone;
        if (relation == Op::kNone) return Op::kNone;
        break;
    }
    Advance();
    if (two_tokens) Advance();
    return relation;
  }

  NodePtr ParseComparisonLevel() {
    NodePtr first = ParseConcatLevel();
    if (!first) return nullptr;
    Op op = TakeRelationalOperator();
    if (op == Op::kNone) return first;
    auto chain =
        std::make_unique<ChainNode>(NodeKind::kCompareChain, ExprType::kBool);
    chain->operands.push_back(std::move(first));
    do {
      chain->ops.push_back(op);
      NodePtr operand = ParseConcatLevel();
      if (!operand) return nullptr;
      chain->operands.push_back(std::move(operand));
      op = TakeRelationalOperator();
    } while (op != Op::kNone);
    return chain;
  }

  NodePtr ParseConcatLevel() {
    return ParseBinaryLevel(NodeKind::kConcatChain, ExprType::kString,
                            &Parser::ParseSumLevel, IsConcatOp);
  }
  NodePtr ParseSumLevel() {
    return ParseBinaryLevel(NodeKind::kSumChain, ExprType::kReal,
                            &Parser::ParseProductLevel, IsSumOp);
  }
  NodePtr ParseProductLevel() {
    return ParseBinaryLevel(NodeKind::kProductChain, ExprType::kReal,
                            &Parser::ParsePowerLevel, IsProductOp);
  }
  NodePtr ParsePowerLevel() {
    return ParseBinaryLevel(NodeKind::kPowerChain, ExprType::kReal,
                            &Parser::ParseUnaryLevel, IsPowerOp);
  }

  NodePtr ParseUnaryLevel() {
    bool negate = false;
    while (current_.IsOperator(Op::kAdd) ||
           current_.IsOperator(Op::kSubtract)) {
      if (current_.token.op == Op::kSubtract) negate = !negate;
      Advance();
    }
    if (current_.token.type == TokenType::kOperator) return Fail();
    NodePtr node = ParsePrimary();
    if (!node || !negate) return node;
    return std::make_unique<UnaryNode>(NodeKind::kNegate, ExprType::kReal,
                                       std::move(node));
  }

  NodePtr ParsePrimary() {
    if (current_.IsConstant()) {
      NodePtr node = MakeConstant(current_.token);
      Advance();
      // Two constants in a row: stop at the second.
      if (current_.IsConstant()) return Fail();
      return node;
    }
    if (current_.token.type == TokenType::kLeftParen) {
      if (!Enter()) return Fail();
      Advance();
      NodePtr node = ParseExpressionLevel();
      Leave();
      if (!node) return nullptr;
      if (current_.token.type != TokenType::kRightParen) return Fail();
      Advance();
      return node;
    }
    if (current_.binding != nullptr) {
      return current_.binding->is_procedure ? ParseProcedureCall()
                                            : ParseVariable();
    }
    if (current_.function != nullptr) {
      return current_.function->function == Builtin::kSql ? ParseSql()
                                                          : ParseCall();
    }
    return Fail();
  }

  // After a name: '(' arguments ')'.  Empty arguments are nullptr.
  [[gnu::noinline]] bool ParseArguments(size_t max_count,
                                        std::vector<NodePtr>& arguments) {
    if (current_.token.type != TokenType::kLeftParen) {
      Fail();
      return false;
    }
    if (!Enter()) {
      Fail();
      return false;
    }
    Advance();
    if (current_.token.type == TokenType::kRightParen) {
      Leave();
      return true;  // "()": no arguments; the caller steps over the ')'
    }
    while (true) {
      // One argument more than the function takes: stop where it begins.
      if (arguments.size() >= max_count) {
        Fail();
        return false;
      }
      if (current_.IsOperator(Op::kComma) ||
          current_.token.type == TokenType::kRightParen) {
        arguments.push_back(nullptr);
      } else {
        NodePtr argument = ParseExpressionLevel();
        if (!argument) return false;
        arguments.push_back(std::move(argument));
      }
      if (current_.token.type == TokenType::kRightParen) break;
      if (!current_.IsOperator(Op::kComma)) {
        Fail();
        return false;
      }
      Advance();
    }
    Leave();
    return true;
  }

  [[gnu::noinline]] NodePtr ParseCall() {
    const BuiltinInfo& info = *current_.function;
    Advance();
    auto call = std::make_unique<CallNode>(info);
    if (!ParseArguments(info.max_args, call->arguments)) return nullptr;
    if (call->arguments.size() < info.min_args) return Fail();  // at ')'
    Advance();
    for (size_t i = 0; i < info.min_args; ++i) {
      if (!call->arguments[i]) call->omits_mandatory = true;
    }
    const bool takes_picture = info.function == Builtin::kFormat ||
                               info.function == Builtin::kDeformat;
    if (takes_picture && call->arguments.size() > 1 && call->arguments[1] &&
        call->arguments[1]->kind == NodeKind::kConstant &&
        call->arguments[1]->type == ExprType::kString) {
      const auto& picture =
          static_cast<const ConstantNode&>(*call->arguments[1]);
      call->picture = std::make_unique<Picture>(CompilePicture(picture.text));
    }
    return call;
  }

  [[gnu::noinline]] NodePtr ParseProcedureCall() {
    auto call =
        std::make_unique<ProcedureCallNode>(current_.binding->procedure);
    Advance();
    if (!ParseArguments(SIZE_MAX, call->arguments)) return nullptr;
    Advance();
    return call;
  }

  // SQL(raw): the text up to the matching ')' is kept as written.
  [[gnu::noinline]] NodePtr ParseSql() {
    std::string_view raw;
    size_t error_pos = 0;
    if (!lexer_.ReadParenthesisedRaw(raw, error_pos)) {
      Item at;
      at.token.pos = error_pos;
      at.token.type =
          error_pos >= text_size_ ? TokenType::kEnd : TokenType::kError;
      return FailAt(at);
    }
    Advance();
    return std::make_unique<SqlNode>(std::string(raw));
  }

  [[gnu::noinline]] NodePtr ParseVariable() {
    const VariableRef& variable = current_.binding->variable;
    auto node =
        std::make_unique<VariableNode>(VariableType(variable.type), variable);
    Advance();
    const bool is_array = variable.dimension_count > 0;
    while (!node->substring_from &&
           (current_.token.type == TokenType::kLeftBracket ||
            current_.token.type == TokenType::kLeftParen)) {
      if (!ParseSubscriptGroup(*node, is_array)) return nullptr;
    }
    if (node->substring_from) {
      // A substring is text, whatever the variable holds.
      auto text_node =
          std::make_unique<VariableNode>(ExprType::kString, node->variable);
      text_node->subscripts = std::move(node->subscripts);
      text_node->substring_from = std::move(node->substring_from);
      text_node->substring_to = std::move(node->substring_to);
      return text_node;
    }
    return node;
  }

  // One [..] or (..) after a variable: array subscripts, a:b or a single
  // character position.
  [[gnu::noinline]] bool ParseSubscriptGroup(VariableNode& node,
                                             bool is_array) {
    const TokenType close = current_.token.type == TokenType::kLeftBracket
                                ? TokenType::kRightBracket
                                : TokenType::kRightParen;
    if (!Enter()) {
      Fail();
      return false;
    }
    Advance();
    std::vector<NodePtr> list;
    NodePtr to;
    while (true) {
      NodePtr item = ParseExpressionLevel();
      if (!item) return false;
      list.push_back(std::move(item));
      if (list.size() == 1 && current_.IsOperator(Op::kColon)) {
        Advance();
        to = ParseExpressionLevel();
        if (!to) return false;
        break;
      }
      if (!current_.IsOperator(Op::kComma)) break;
      if (list.size() >= kMaxDimensions) {
        Fail();
        return false;
      }
      Advance();
    }
    if (current_.token.type != close) {
      Fail();
      return false;
    }
    const bool takes_array_subscripts =
        is_array && node.subscripts.empty() && !to;
    if (takes_array_subscripts) {
      if (list.size() > node.variable.dimension_count) {
        Fail();  // at the closing bracket
        return false;
      }
      node.subscripts = std::move(list);
    } else if (list.size() == 1) {
      node.substring_from = std::move(list[0]);
      node.substring_to = std::move(to);
    } else {
      Fail();
      return false;
    }
    Leave();
    Advance();
    return true;
  }

  Lexer lexer_;
  const BindingTable& bindings_;
  const size_t text_size_;
  Item current_;
  std::optional<Item> peeked_;
  int depth_ = 0;
};

}  // namespace

NodePtr ParseExpression(std::string_view text, const BindingTable& bindings) {
  Parser parser(text, bindings);
  return parser.Parse();
}

}  // namespace zuna::values
