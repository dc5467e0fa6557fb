#include "tools/tree_printer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace pga {

namespace {

std::shared_ptr<GroupOrderModel> Item(const std::string& id, const std::string& parent,
                                      const std::string& name, const char* type, int order) {
  return std::make_shared<GroupOrderModel>(id, parent, name, type, order, 0);
}

using Lines = std::vector<std::string>;

// Nesting, orphans and loops are printed in the end-to-end expected trees;
// these are the cases a script does not make. An item with the empty id
// (only a store damaged by hand has one) is not the parent of the top level.
TEST(TreePrinterTest, TiesNamelessItemsSelfLoopsEmptyIdsNullEntriesAndDeepChains) {
  const GroupOrderModelList items = {
      Item("c2", "g2", "Door", kChannelType, 1),   Item("g2", "", "Lobby", kGroupType, 2),
      Item("c1", "g2", "", kChannelType, 1),  // same order as c2: by id
      Item("self", "self", "Self", kGroupType, 1), Item("", "g2", "Blank", kChannelType, 3),
      Item("z", "", "Zed", kChannelType, 5),       nullptr};
  EXPECT_EQ(TreePrinter(items).Lines(),
            (Lines{"+ Lobby (g2) order 2", "  - (no name) (c1) order 1", "  - Door (c2) order 1",
                   "  - Blank () order 3", "- Zed (z) order 5",
                   "cycles (parent chain loops):", "+ Self (self) order 1, parent self"}));
  EXPECT_EQ(TreePrinter({}).Lines(), (Lines{"(empty tree)"}));

  // A deep chain needs no recursion and keeps its indent bounded.
  GroupOrderModelList chain;
  for (int i = 0; i < 100000; ++i) {
    chain.push_back(Item("n" + std::to_string(i), i == 0 ? "" : "n" + std::to_string(i - 1), "N",
                         kGroupType, 0));
  }
  const Lines lines = TreePrinter(chain).Lines();
  ASSERT_EQ(lines.size(), chain.size());
  EXPECT_EQ(lines[1], "  + N (n1) order 0");
  EXPECT_EQ(lines.back(), std::string(2 * TreePrinter::kMaxIndentLevels, ' ') +
                              "(depth 99999) + N (n99999) order 0");
}

// Ids are told apart by their first eight bytes first: ids that share them
// must still find their own parents, and a parent they only resemble is
// missing. Of two items with one id, each is printed, and their children
// once, under the first printed.
TEST(TreePrinterTest, IdsThatShareTheirFirstBytesOrRepeatFindTheirParents) {
  const GroupOrderModelList items = {Item("camera-0001", "", "A", kGroupType, 1),
                                     Item("camera-00010", "camera-0001", "B", kGroupType, 1),
                                     Item("camera-000100", "camera-00010", "C", kChannelType, 1),
                                     Item("camera-0", "camera-00011", "D", kChannelType, 1),
                                     Item("twin", "", "E", kGroupType, 2),
                                     Item("twin", "camera-0001", "F", kGroupType, 0),
                                     Item("under-twin", "twin", "G", kChannelType, 0)};
  EXPECT_EQ(
      TreePrinter(items).Lines(),
      (Lines{"+ A (camera-0001) order 1", "  + F (twin) order 0", "    - G (under-twin) order 0",
             "  + B (camera-00010) order 1", "    - C (camera-000100) order 1",
             "+ E (twin) order 2",
             "orphans (parent not in the tree):", "- D (camera-0) order 1, parent camera-00011"}));
}

}  // namespace

}  // namespace pga
