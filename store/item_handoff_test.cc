#include "store/item_handoff.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

namespace pga {
namespace {

// A row's fields as one text, copied: the row's views die with the call.
std::string Describe(const StoredRow& row) {
  std::string text = std::string(row.itemId) + "|" +
                     (row.parentId ? "parent " + std::string(*row.parentId) : "none") + "|" +
                     std::string(row.name) + "|" + std::string(row.type) + "|";
  return text + std::to_string(row.order) + "|" + std::to_string(row.createdTime);
}

// Rows of every shape: without a parent, with an empty one, with empty
// and with long texts (a few of them fill a batch by its bytes alone).
std::vector<GroupOrderModel> Rows(int count) {
  std::vector<GroupOrderModel> rows;
  for (int i = 0; i < count; ++i) {
    const std::string n = std::to_string(i);
    std::string name = i % 1000 == 7 ? std::string(300000, 'a' + i % 26) : "name " + n;
    rows.emplace_back("id-" + n, i % 3 == 2 ? "parent-" + n : "", std::move(name),
                      i % 2 ? "Group" : "", i - 5, uint64_t{1} << (i % 64));
    if (i % 3 == 0) rows.back().parentId.reset();
  }
  return rows;
}

TEST(ItemHandoffTest, HandsEveryRowOverOnceInTheOrderGiven) {
  // Less than a batch, one exactly, and several with batches cut by bytes.
  for (int count : {0, 1, 4096, 3 * 4096 + 17}) {
    std::vector<std::string> given, taken;
    ItemHandoff handoff([&taken](const StoredRow& row) { taken.push_back(Describe(row)); });
    for (const GroupOrderModel& item : Rows(count)) {
      given.push_back(Describe(RowOf(item)));
      handoff.Give(RowOf(item));
    }
    handoff.Finish();
    EXPECT_TRUE(taken == given) << count << " rows given, " << taken.size() << " taken";
  }
}

TEST(ItemHandoffTest, WhatTakingInThrowsReachesTheReaderAndStopsTheHandoff) {
  const std::vector<GroupOrderModel> given = Rows(10 * 4096);
  std::size_t taken = 0;
  ItemHandoff handoff([&taken](const StoredRow&) {
    if (taken == 5000) throw std::bad_alloc();
    ++taken;
  });
  bool thrown = false;
  try {
    for (const GroupOrderModel& item : given) handoff.Give(RowOf(item));
    handoff.Finish();
  } catch (const std::bad_alloc&) {
    thrown = true;
  }
  EXPECT_TRUE(thrown);
  EXPECT_EQ(taken, 5000u);
}

TEST(ItemHandoffTest, AReaderThatGivesUpLeavesNoThreadBehind) {
  // A read that fails half-way never calls Finish(): the destructor stops
  // the taker, whether it is waiting for a batch or busy with one.
  const std::vector<GroupOrderModel> given = Rows(6 * 4096);
  for (std::size_t stop_after : {4096u * 2, 4096u * 6 - 1}) {
    std::size_t taken = 0;
    {
      ItemHandoff handoff([&taken](const StoredRow&) { ++taken; });
      for (std::size_t i = 0; i < stop_after; ++i) handoff.Give(RowOf(given[i]));
    }
    EXPECT_LE(taken, stop_after);
  }
}

}  // namespace
}  // namespace pga
