#include "store/row_sorter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace pga {
namespace {

using Fields = std::tuple<std::string, std::string, std::string, std::string, int32_t, uint64_t>;

Fields FieldsOf(const StoredRow& row) {
  return {std::string(row.itemId),
          row.parentId ? "parent " + std::string(*row.parentId) : "none",
          std::string(row.name),
          std::string(row.type),
          row.order,
          row.createdTime};
}

TEST(RowSorterTest, HandsRowsBackByIdBytesThenOrderThenAsGiven) {
  // Ids that differ only past their first eight bytes, that are shorter
  // than eight or empty, or hold bytes above 0x7f and NULs; repeated ids,
  // some with equal orders; a name longer than a block.
  std::vector<std::string> ids = {
      "",          std::string("a\0", 2), "a",      "ab",   "abcdefgh", "abcdefgh0",
      "abcdefgh1", "abcdefghz",           "\x80zz", "\xff", "Z",        "00000000-1"};
  std::mt19937 random(7);
  std::vector<Fields> given;
  RowSorter sorter;
  for (int i = 0; i < 2000; ++i) {
    const std::string& id = ids[random() % ids.size()];
    const std::string name = i == 500 ? std::string((32 << 20) + 5, 'n') : "n" + std::to_string(i);
    StoredRow row;
    row.itemId = id;
    if (i % 3) row.parentId = i % 3 == 1 ? std::string_view() : std::string_view("p");
    row.name = name;
    row.type = i % 2 ? "Group" : "";
    row.order = static_cast<int32_t>(random() % 4) - 1;
    row.createdTime = uint64_t{1} << (i % 64);
    given.push_back(FieldsOf(row));
    sorter.Add(row);
  }
  sorter.Sort();
  // Taken in two ranges, as two threads of a start take them.
  std::vector<Fields> taken;
  const auto keep = [&taken](const StoredRow& row) { taken.push_back(FieldsOf(row)); };
  sorter.Take(0, 700, keep);
  sorter.Take(700, sorter.size(), keep);
  ASSERT_EQ(taken.size(), sorter.size());
  for (std::size_t i = 0; i < taken.size(); i += 97)
    EXPECT_EQ(sorter.IdAt(i), std::get<0>(taken[i]));

  // std::string compares bytes as unsigned, as the item cache's ids do.
  std::stable_sort(given.begin(), given.end(), [](const Fields& a, const Fields& b) {
    return std::tie(std::get<0>(a), std::get<4>(a)) < std::tie(std::get<0>(b), std::get<4>(b));
  });
  EXPECT_EQ(taken, given);
}

}  // namespace
}  // namespace pga
