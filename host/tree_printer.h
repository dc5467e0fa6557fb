// TreePrinter: the camera tree as an indented outline, one line per item.
//
// Every line reads "<indent><marker> <name> (<id>) order <order>", where the
// marker is "+" for a group and "-" for any other item, and the indent is
// two spaces per level. Top-level items (no parent, or the empty parent)
// come first; a group's line comes before its children's, and siblings
// follow each other by order (then by id). Items whose parent names no item
// follow under the line "orphans (parent not in the tree):", each with its
// own subtree and ", parent <id>" after its order. Items that only loop back
// on themselves (a parent chain that never reaches the top) follow under
// "cycles (parent chain loops):", walked from their smallest id. Every item
// is printed exactly once, so no input makes the printer loop; the walk uses
// no recursion, and levels deeper than kMaxIndentLevels keep that indent and
// start with "(depth N) ".
#ifndef PGA_HOST_TREE_PRINTER_H_
#define PGA_HOST_TREE_PRINTER_H_

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "records/group_model.h"

namespace pga {

class TreePrinter {
 public:
  static constexpr std::size_t kMaxIndentLevels = 32;

  // Takes a copy of `items` (null entries are left out).
  explicit TreePrinter(const GroupOrderModelList& items);

  // The outline's lines; "(empty tree)" alone when there are no items.
  std::vector<std::string> Lines() const;

 private:
  // Item indices sorted as siblings are printed.
  std::vector<std::size_t> Sorted(std::vector<std::size_t> indices) const;
  // Appends the lines of `root` and everything below it that was not
  // printed yet, marking what it prints in `printed`.
  void Walk(std::size_t root, bool note_parent, std::vector<bool>& printed,
            std::vector<std::string>& lines) const;
  std::string Line(std::size_t index, std::size_t depth, bool note_parent) const;

  std::vector<GroupOrderModel> items_;
  // Indices of items_ by the parent text of each item.
  std::multimap<std::string, std::size_t> children_;
};

}  // namespace pga

#endif  // PGA_HOST_TREE_PRINTER_H_
