// One stored row as a reader of the whole store hands it over.
#ifndef PGA_STORE_STORED_ROW_H_
#define PGA_STORE_STORED_ROW_H_

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
