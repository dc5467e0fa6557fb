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
//
// A store of a million items is printed as it is walked: the printer keeps
// the items' texts packed in large blocks and finds children by sorting
// once, so that it needs little more memory than the texts themselves.
#ifndef PGA_TOOLS_TREE_PRINTER_H_
#define PGA_TOOLS_TREE_PRINTER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "records/group_model.h"

namespace pga {

class TreePrinter {
 public:
  static constexpr std::size_t kMaxIndentLevels = 32;

  // Takes a copy of `items` (null entries are left out); more can be added.
  explicit TreePrinter(const GroupOrderModelList& items);

  // Adds one item (its texts are copied): `parent` is the empty text for
  // the top level, `group` whether its type is "Group".
  void Add(std::string_view id, std::string_view parent, std::string_view name, bool group,
           int32_t order);
  std::size_t size() const { return items_.size(); }
  // Whether no two items have the same id. Then the order in which they
  // were added makes no difference to the outline.
  bool UniqueIds() const;

  // Calls `line` with each line of the outline in turn; the line is valid
  // for the call only. `progress` (when set) is called now and then with
  // the number of items printed so far.
  void Print(const std::function<void(const std::string&)>& line,
             const std::function<void(std::size_t)>& progress = {}) const;

  // The outline's lines; "(empty tree)" alone when there are no items.
  std::vector<std::string> Lines() const;

 private:
  struct Item {
    std::string_view id;
    std::string_view parent;
    std::string_view name;
    int32_t order;
    bool group;
  };
  class Walker;

  // A copy of `text` that lives as long as the printer.
  std::string_view Keep(std::string_view text);
  // The items by id, then as added; sorted when first asked for.
  const std::vector<uint32_t>& ById() const;
  // An id's first eight bytes as a number that orders as they do (the
  // bytes that are not there as 0).
  static uint64_t IdPrefix(std::string_view id);
  // The place in ById() of the first item whose id is `id`, or kNowhere.
  static constexpr std::size_t kNowhere = static_cast<std::size_t>(-1);
  std::size_t Find(std::string_view id) const;

  std::vector<Item> items_;
  std::vector<std::unique_ptr<char[]>> blocks_;  // the texts of items_
  char* free_ = nullptr;                         // where the next text goes in the last block
  std::size_t block_left_ = 0;
  mutable std::vector<uint32_t> by_id_;     // ById(), once sorted
  mutable std::vector<uint64_t> prefixes_;  // IdPrefix of each id in by_id_
  mutable bool sorted_ = false;
};

}  // namespace pga

#endif  // PGA_TOOLS_TREE_PRINTER_H_
