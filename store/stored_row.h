// One stored row as a reader of the whole store hands it over.
#ifndef PGA_STORE_STORED_ROW_H_
#define PGA_STORE_STORED_ROW_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "records/group_model.h"

namespace pga {

// The fields of one row, its texts views of the reader's own buffers: no
// text is copied until the one who takes the row keeps it. Valid only for
// the call that hands the row over. A row read from a store always has a
// parent, empty when the item has none, as the store keeps it.
struct StoredRow {
  std::string_view itemId;
  std::optional<std::string_view> parentId;
  std::string_view name;
  std::string_view type;
  int32_t order = -1;
  uint64_t createdTime = 0;
};

// Takes the rows of a store one at a time.
using StoredRowSink = std::function<void(const StoredRow&)>;

// A row kept as plain bytes, for those who keep rows a while: its numbers
// and the sizes of its texts here, the texts themselves one after the
// other elsewhere (see Texts()).
struct RowShape {
  uint64_t createdTime;
  uint32_t sizes[4];
  int32_t order;
  bool hasParent;

  static RowShape Of(const StoredRow& row) {
    const auto texts = Texts(row);
    return {row.createdTime,
            {static_cast<uint32_t>(texts[0].size()), static_cast<uint32_t>(texts[1].size()),
             static_cast<uint32_t>(texts[2].size()), static_cast<uint32_t>(texts[3].size())},
            row.order,
            row.parentId.has_value()};
  }
  // The texts of `row` in the order they are kept: id, parent (empty when
  // it has none), name, type.
  static std::array<std::string_view, 4> Texts(const StoredRow& row) {
    return {row.itemId, row.parentId.value_or(std::string_view()), row.name, row.type};
  }
  std::size_t TextBytes() const { return std::size_t{sizes[0]} + sizes[1] + sizes[2] + sizes[3]; }
  // The row whose texts lie one after the other from `text`.
  StoredRow Row(const char* text) const {
    std::string_view texts[4];
    for (int i = 0; i < 4; ++i) {
      texts[i] = std::string_view(text, sizes[i]);
      text += sizes[i];
    }
    StoredRow row;
    row.itemId = texts[0];
    if (hasParent) row.parentId = texts[1];
    row.name = texts[2];
    row.type = texts[3];
    row.order = order;
    row.createdTime = createdTime;
    return row;
  }
};

// The row of `item`, its texts views of the item's: valid while it lives
// unchanged.
inline StoredRow RowOf(const GroupOrderModel& item) {
  StoredRow row;
  row.itemId = item.itemId;
  if (item.parentId) row.parentId = *item.parentId;
  row.name = item.name;
  row.type = item.type;
  row.order = item.order;
  row.createdTime = item.createdTime;
  return row;
}

}  // namespace pga

#endif  // PGA_STORE_STORED_ROW_H_
