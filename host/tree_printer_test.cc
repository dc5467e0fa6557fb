#include "host/tree_printer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::shared_ptr<GroupOrderModel> Item(const std::string& id, const char* parent,
                                      const std::string& name, const char* type, int order) {
  auto item = std::make_shared<GroupOrderModel>();
  item->itemId = id;
  if (parent != nullptr) item->parentId = parent;
  item->name = name;
  item->type = type;
  item->order = order;
  return item;
}

using Lines = std::vector<std::string>;

TEST(TreePrinterTest, GroupsComeBeforeTheirChildrenAndSiblingsFollowTheirOrder) {
  const GroupOrderModelList items = {
      Item("c9", nullptr, "Parking", kChannelType, 3), Item("c2", "g2", "Door", kChannelType, 1),
      Item("g2", "", "Lobby", kGroupType, 2),          Item("g1", nullptr, "North", kGroupType, 1),
      Item("c1", "g1", "", kChannelType, 2),           Item("g3", "g1", "Stairs", kGroupType, 1),
      Item("c3", "g2", "Desk", kChannelType, 1),  // same order as c2: by id
  };
  EXPECT_EQ(TreePrinter(items).Lines(), (Lines{
                                            "+ North (g1) order 1",
                                            "  + Stairs (g3) order 1",
                                            "  - (no name) (c1) order 2",
                                            "+ Lobby (g2) order 2",
                                            "  - Door (c2) order 1",
                                            "  - Desk (c3) order 1",
                                            "- Parking (c9) order 3",
                                        }));
  EXPECT_EQ(TreePrinter({}).Lines(), (Lines{"(empty tree)"}));
}

TEST(TreePrinterTest, OrphansAndLoopsArePrintedOnceAndEnd) {
  const GroupOrderModelList items = {
      Item("top", nullptr, "Top", kGroupType, 1),
      Item("lost", "gone", "Lost", kGroupType, 4),
      Item("under-lost", "lost", "Cam", kChannelType, 1),
      Item("a", "b", "A", kGroupType, 1),
      Item("b", "a", "B", kGroupType, 1),
      Item("self", "self", "Self", kGroupType, 1),
      nullptr,
  };
  EXPECT_EQ(TreePrinter(items).Lines(), (Lines{
                                            "+ Top (top) order 1",
                                            "orphans (parent not in the tree):",
                                            "+ Lost (lost) order 4, parent gone",
                                            "  - Cam (under-lost) order 1",
                                            "cycles (parent chain loops):",
                                            "+ A (a) order 1, parent b",
                                            "  + B (b) order 1",
                                            "+ Self (self) order 1, parent self",
                                        }));
}

TEST(TreePrinterTest, DeepChainNeedsNoRecursionAndKeepsItsIndentBounded) {
  GroupOrderModelList items;
  const int depth = 100000;
  for (int i = 0; i < depth; ++i) {
    const std::string parent = i == 0 ? "" : "n" + std::to_string(i - 1);
    items.push_back(Item("n" + std::to_string(i), parent.c_str(), "N", kGroupType, 0));
  }
  const Lines lines = TreePrinter(items).Lines();
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(depth));
  EXPECT_EQ(lines[1], "  + N (n1) order 0");
  const std::string indent(2 * TreePrinter::kMaxIndentLevels, ' ');
  EXPECT_EQ(lines.back(), indent + "(depth 99999) + N (n99999) order 0");
}

}  // namespace
