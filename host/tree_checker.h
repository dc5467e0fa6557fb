// CheckTree: the rules a stored camera tree must keep, applied to rows
// (read from a store, or from an export before it is imported).
//
// Problems, which the component cannot show or handle correctly: an item
// whose parent is not in the tree (it and everything below it are
// invisible), a parent chain that loops (self-parents included), a type
// other than "Group" or "Channel", a channel (or any non-group) with
// children, an empty or repeated id, a group name outside 1 to 32
// characters, and a value of the wrong kind (an order that is not a 32-bit
// integer, a text column holding a number or bytes, and so on).
// Warnings, which requests can legitimately produce: siblings that share an
// order, and a channel ordered before a group under the same parent.
#ifndef PGA_HOST_TREE_CHECKER_H_
#define PGA_HOST_TREE_CHECKER_H_

#include <cstddef>
#include <string>
#include <vector>

#include "host/store_row.h"

namespace pga {

// One thing the checker found.
struct Finding {
  enum class Severity { kProblem, kWarning };

  Severity severity = Severity::kProblem;
  std::string kind;               // short name: "orphan", "cycle", ...
  std::vector<StoreValue> items;  // the ids concerned, as stored
  std::string message;            // one line naming the ids, without line end
  std::size_t hides = 0;          // items no client shows because of this

  // "problem orphan: <message>; hides N items" (the hides part when N > 0).
  std::string Line() const;
};

// Checks `rows` (in the order given, which fixes the order of the
// findings): problems first, then warnings. Linear in the number of rows
// apart from sorting; no recursion, so a tree of any depth is fine.
std::vector<Finding> CheckTree(const std::vector<StoreRow>& rows);

// The number of problems among `findings`.
std::size_t CountProblems(const std::vector<Finding>& findings);

}  // namespace pga

#endif  // PGA_HOST_TREE_CHECKER_H_
