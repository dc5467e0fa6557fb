// Salvage: what can still be read from a damaged store, into a new one. A
// damaged page makes every full read of the table fail, so a backup and
// an export refuse the store; the rows on the pages around the damage are
// still there, and an operator wants them saved before repairing anything.
#ifndef PGA_TOOLS_STORE_SALVAGE_H_
#define PGA_TOOLS_STORE_SALVAGE_H_

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "tools/sqlite_connection.h"
#include "tools/store_row.h"

namespace pga {

// Reads every row of logical_table that can be read, in row order,
// stepping over the damaged parts of the table; `damaged` counts the parts
// stepped over. Fails with a reason when the table cannot be read at all
// (a damaged schema or table root).
// `progress` (when set) is called now and then with the rows read so far.
bool SalvageRows(SqliteConnection& source, std::vector<StoreRow>& rows, std::size_t& damaged,
                 std::string& error, const std::function<void(std::size_t)>& progress = {});

// Makes a store in the empty file `path` with the component's own table
// and indexes and `rows` in it (the first row of an id that repeats),
// in the default journal mode. Fails with a reason.
// `progress` (when set) is called now and then with the rows written.
bool WriteNewStore(const std::string& path, const std::vector<StoreRow>& rows,
                   std::string& error, const std::function<void(std::size_t)>& progress = {});

}  // namespace pga

#endif  // PGA_TOOLS_STORE_SALVAGE_H_
