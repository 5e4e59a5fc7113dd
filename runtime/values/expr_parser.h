// The parser of the filter expression language: text to expression tree.
//
// Grammar, lowest precedence first; every binary level is left-associative
// and loops while its operator follows:
//   expression  and-term {(OR | XOR) and-term}
//   and-term    not-term {AND not-term}
//   not-term    {NOT | ~} comparison        (an odd count negates once)
//   comparison  concat {relop concat}       relop from one or two tokens:
//               = <> < > <= >= and =< => ~= ~< ~>
//   concat      sum {& sum}
//   sum         product {(+ | -) product}
//   product     power {(* | / | %) power}
//   power       unary {^ unary}             2^3^2 is 64
//   unary       {+ | -} primary             -2^2 is 4
//   primary     ( expression ) | constant | variable [subscripts]
//               | function ( [arguments] ) | SQL(raw text)
// Subscripts after a variable: [i, j] or (i, j) selects an array element
// (missing trailing subscripts count as 1); then [a:b] or (a:b) takes a
// substring; a single [i] on a variable that is not an array, or after its
// array subscripts, is the character i.  Arguments may be left empty
// ("SUB(s,,2)"); their count is checked against the function's limits.
//
// Errors: parsing stops at the first error and yields no tree (the partial
// tree is freed).  Posted to the calling thread's error state: 1011 with the
// name for a name that is neither a keyword, bound nor built-in; otherwise
// 1010 with "at pos N", N the zero-based offset of the token where parsing
// stopped, or 1010 alone when it stopped at the end of the text.  Nesting of
// parentheses, calls and subscripts beyond kMaxExpressionDepth is an error
// at the token that opens the level too many.
//
// Recursion: one parser frame set per nesting level; runs of operators,
// NOTs and signs are loops.  Not thread-safe; reads `bindings` only while
// parsing.
#ifndef ZUNA_RUNTIME_VALUES_EXPR_PARSER_H_
#define ZUNA_RUNTIME_VALUES_EXPR_PARSER_H_

#include <memory>
#include <string_view>

#include "runtime/values/binding_table.h"
#include "runtime/values/expr_node.h"

namespace zuna::values {

// The tree of `text`, or nullptr after posting the error.
NodePtr ParseExpression(std::string_view text, const BindingTable& bindings);

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_EXPR_PARSER_H_
