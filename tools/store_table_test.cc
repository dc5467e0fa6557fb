#include "tools/store_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pga {

namespace {

std::vector<StoreRow> Rows(const std::vector<StoreValue>& ids) {
  std::vector<StoreRow> rows;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    StoreRow row;
    row.item_id = ids[i];
    row.order = StoreValue::Integer(static_cast<int64_t>(i));
    rows.push_back(row);
  }
  return rows;
}

// Byte-wise as SQLite's BINARY collation: bytes above 0x7F after ASCII, a
// text before its longer continuations even past the first eight bytes;
// the other columns move with their id.
TEST(StoreTableTest, SortsUniqueTextIdsByteWiseAndLeavesOtherIdsAsTheyAre) {
  using V = StoreValue;
  std::vector<StoreRow> rows = Rows({V::Text("\xc3\xa9t\xc3\xa9"), V::Text("abcdefgh-2"),
                                     V::Text("abcdefgh"), V::Text(std::string("a\0b", 3)),
                                     V::Text("abcdefgh-10"), V::Text("")});
  ASSERT_TRUE(SortByUniqueTextId(rows));
  std::vector<std::string> ids;
  std::vector<int64_t> orders;
  for (const StoreRow& row : rows) {
    ids.push_back(row.item_id.bytes);
    orders.push_back(row.order.integer);
  }
  EXPECT_EQ(ids, (std::vector<std::string>{"", std::string("a\0b", 3), "abcdefgh", "abcdefgh-10",
                                           "abcdefgh-2", "\xc3\xa9t\xc3\xa9"}));
  EXPECT_EQ(orders, (std::vector<int64_t>{5, 3, 2, 4, 1, 0}));

  for (const std::vector<StoreValue>& ids_kept :
       {std::vector<V>{V::Text("b"), V::Text("a"), V::Text("b")},
        std::vector<V>{V::Text("b"), V::Integer(1), V::Text("a")}}) {
    std::vector<StoreRow> kept = Rows(ids_kept);
    EXPECT_FALSE(SortByUniqueTextId(kept));
    EXPECT_TRUE(kept == Rows(ids_kept));
  }
}

}  // namespace

}  // namespace pga
