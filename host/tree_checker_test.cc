#include "host/tree_checker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pga {

namespace {

// The kinds and messages of every rule are in the end-to-end check of
// testdata/damaged_store.sql; these are the counts and shapes a hand-made
// store does not show well.

StoreRow Row(const std::string& id, const std::string& parent, const char* type, int64_t order) {
  return StoreRow{StoreValue::Text(id),   StoreValue::Text(parent),   StoreValue::Text("N"),
                  StoreValue::Text(type), StoreValue::Integer(order), StoreValue::Integer(0)};
}

std::vector<std::string> Kinds(const std::vector<Finding>& findings) {
  std::vector<std::string> kinds;
  for (const Finding& finding : findings) kinds.push_back(finding.kind);
  return kinds;
}

TEST(TreeCheckerTest, HiddenItemsAreCountedOncePerCause) {
  std::vector<StoreRow> rows = {
      // An orphan group with two levels below it: 4 items hidden.
      Row("o", "gone", "Group", 1), Row("o1", "o", "Group", 1), Row("o2", "o1", "Channel", 1),
      Row("o3", "o", "Channel", 2),
      // A loop of three with a subtree of two hanging from it: 5 hidden.
      Row("l1", "l3", "Group", 1), Row("l2", "l1", "Group", 1), Row("l3", "l2", "Group", 1),
      Row("h1", "l2", "Group", 2), Row("h2", "h1", "Channel", 1),
      // A visible channel with a group below it that holds a channel.
      Row("top", "", "Group", 1), Row("c", "top", "Channel", 1), Row("cg", "c", "Group", 1),
      Row("cgc", "cg", "Channel", 1),
      // A repeated id: the first row is the one that parents.
      Row("top", "", "Group", 2)};
  const std::vector<Finding> findings = CheckTree(rows);
  ASSERT_EQ(Kinds(findings),
            (std::vector<std::string>{"duplicate-id", "orphan", "cycle", "channel-with-children"}));
  EXPECT_EQ(findings[0].message, "\"top\" is the id of 2 items");
  EXPECT_EQ(findings[1].hides, 4u);
  EXPECT_EQ(findings[2].hides, 5u);
  EXPECT_EQ(findings[2].message, "parent chain loops: \"l1\" -> \"l3\" -> \"l2\" -> \"l1\"");
  EXPECT_EQ(findings[3].hides, 2u);
  EXPECT_EQ(CountProblems(findings), 4u);
}

TEST(TreeCheckerTest, DeepChainsAndLongLoopsNeedNoRecursion) {
  constexpr int kDepth = 100000;
  std::vector<StoreRow> chain;
  chain.reserve(kDepth);
  for (int i = 0; i < kDepth; ++i) {
    chain.push_back(Row("n" + std::to_string(i), i ? "n" + std::to_string(i - 1) : "", "Group", 1));
  }
  EXPECT_TRUE(CheckTree(chain).empty());

  chain.front().parent_id = chain.back().item_id;  // the whole chain becomes a loop
  const std::vector<Finding> findings = CheckTree(chain);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].hides, std::size_t{kDepth});
  EXPECT_EQ(findings[0].items.size(), std::size_t{kDepth});
  EXPECT_NE(findings[0].message.find("... (100000 items)"), std::string::npos);
}

TEST(TreeCheckerTest, OrderWarningsComeFromSiblingsOnly) {
  std::vector<StoreRow> rows = {
      // NULL and the empty text are both the top level: one order shared.
      Row("a", "", "Channel", 1), Row("b", "", "Group", 1), Row("g", "", "Group", 1),
      // Equal orders under different parents; a channel level with a group
      // is not before it.
      Row("x", "g", "Channel", 1), Row("y", "b", "Channel", 1), Row("z", "b", "Group", 1)};
  rows[1].parent_id = StoreValue::Null();
  const std::vector<Finding> findings = CheckTree(rows);
  ASSERT_EQ(Kinds(findings), (std::vector<std::string>{"equal-orders", "equal-orders"}));
  EXPECT_EQ(findings[0].message, "\"a\", \"b\", \"g\" at the top level share the order 1");
  EXPECT_EQ(findings[1].message, "\"y\", \"z\" under \"b\" share the order 1");
  EXPECT_EQ(CountProblems(findings), 0u);

  rows[0].order = StoreValue::Integer(7);  // between the top-level groups
  rows[2].order = StoreValue::Integer(8);
  const std::vector<Finding> later = CheckTree(rows);
  ASSERT_EQ(Kinds(later), (std::vector<std::string>{"channel-before-group", "equal-orders"}));
  EXPECT_EQ(later[0].message,
            "at the top level, channel \"a\" (order 7) comes before group \"g\" (order 8)");
}

}  // namespace

}  // namespace pga
