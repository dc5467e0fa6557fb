#include "store/item_handoff.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

namespace pga {
namespace {

// What a taken row held, copied: the row's views die with the call.
struct Taken {
  std::string id;
  bool has_parent;
  std::string parent, name, type;
  int32_t order;
  uint64_t created;
  bool operator==(const Taken& other) const {
    return id == other.id && has_parent == other.has_parent && parent == other.parent &&
           name == other.name && type == other.type && order == other.order &&
           created == other.created;
  }
};

Taken Copy(const StoredRow& row) {
  return {std::string(row.itemId), row.parentId.has_value(), std::string(row.parentId.value_or("")),
          std::string(row.name),   std::string(row.type),    row.order,
          row.createdTime};
}

StoredRow RowOf(const Taken& taken) {
  StoredRow row;
  row.itemId = taken.id;
  if (taken.has_parent) row.parentId = taken.parent;
  row.name = taken.name;
  row.type = taken.type;
  row.order = taken.order;
  row.createdTime = taken.created;
  return row;
}

// Rows of every shape: without a parent, with an empty one, with empty
// and with long texts (a few of them fill a batch by its bytes alone).
std::vector<Taken> Rows(int count) {
  std::vector<Taken> rows;
  for (int i = 0; i < count; ++i) {
    const std::string n = std::to_string(i);
    std::string name = i % 1000 == 7 ? std::string(300000, 'a' + i % 26) : "name " + n;
    rows.push_back({"id-" + n, i % 3 != 0, i % 3 == 2 ? "parent-" + n : "", std::move(name),
                    i % 2 ? "Group" : "", i - 5, uint64_t{1} << (i % 64)});
  }
  return rows;
}

TEST(ItemHandoffTest, HandsEveryRowOverOnceInTheOrderGiven) {
  // Less than a batch, one exactly, and several with batches cut by bytes.
  for (int count : {0, 1, 4096, 3 * 4096 + 17}) {
    const std::vector<Taken> given = Rows(count);
    std::vector<Taken> taken;
    ItemHandoff handoff([&taken](const StoredRow& row) { taken.push_back(Copy(row)); });
    for (const Taken& row : given) handoff.Give(RowOf(row));
    handoff.Finish();
    EXPECT_TRUE(taken == given) << count << " rows given, " << taken.size() << " taken";
  }
}

TEST(ItemHandoffTest, WhatTakingInThrowsReachesTheReaderAndStopsTheHandoff) {
  const std::vector<Taken> given = Rows(10 * 4096);
  std::size_t taken = 0;
  ItemHandoff handoff([&taken](const StoredRow&) {
    if (taken == 5000) throw std::bad_alloc();
    ++taken;
  });
  bool thrown = false;
  try {
    for (const Taken& row : given) handoff.Give(RowOf(row));
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
  const std::vector<Taken> given = Rows(6 * 4096);
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
