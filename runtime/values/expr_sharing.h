// Sharing of repeated subtrees within one evaluation.
//
// Filters repeat themselves: the upcoming-birthdays filter computes
// format(zun:data,@d12) three times and the whole
// (deformat(ms & sub(...),@d12)-today()) twice for every record.  After
// parsing, ShareRepeatedSubtrees finds operator and call nodes that occur
// more than once with the same structure and gives each group one slot of an
// evaluation cache (expr_eval.h); within one evaluation the first occurrence
// computes the value and the others reuse it.
//
// Only pure subtrees are shared: no bound procedure anywhere in the
// expression (a procedure could change a variable between two occurrences),
// no call with an omitted mandatory argument (each posts 1015), and none of
// RANDOM, CLOCK, GETINI, MEMORY, PATH, LONGPATH, SHORTPATH.  TODAY is shared:
// within one evaluation every occurrence sees the same day, even across
// midnight.  Variables are identified by address, type and size, so two
// names bound to the same variable share too.
//
// Runs once per compile, in time about linear in the tree's size; it walks
// the tree with explicit stacks, not recursion.
#ifndef ZUNA_RUNTIME_VALUES_EXPR_SHARING_H_
#define ZUNA_RUNTIME_VALUES_EXPR_SHARING_H_

#include <cstddef>

#include "runtime/values/expr_node.h"

namespace zuna::values {

// Sets cache_slot on the repeated pure subtrees of `root`; returns the
// number of slots used (0 when nothing repeats or sharing is not safe).
size_t ShareRepeatedSubtrees(Node& root);

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_EXPR_SHARING_H_
