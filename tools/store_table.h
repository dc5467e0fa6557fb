// StoreTable: the rows of "logical_table" read and written through a
// SqliteConnection, every column with its storage class intact.
#ifndef PGA_TOOLS_STORE_TABLE_H_
#define PGA_TOOLS_STORE_TABLE_H_

#include <functional>
#include <string>
#include <vector>

#include "tools/sqlite_connection.h"
#include "tools/store_row.h"

struct sqlite3_stmt;

namespace pga {

class StoreTable {
 public:
  // Called now and then while rows go by, with the number done so far.
  using Progress = std::function<void(std::size_t done)>;

  // Does not own `connection`, which must outlive the table.
  explicit StoreTable(SqliteConnection& connection) : connection_(connection) {}

  // True when the database holds "logical_table" with its six columns. A
  // file that is not a database, or a database without the table, gives
  // false and a one-line reason.
  bool Verify(std::string& error);

  // Every row, in id order (byte-wise for texts), in one read transaction.
  bool Read(std::vector<StoreRow>& rows, std::string& error, const Progress& progress = {});
  // The same rows left in the order read, with `order` listing them in id
  // order: for a reader that goes through them once and need not move them.
  bool Read(std::vector<StoreRow>& rows, std::vector<std::size_t>* order, std::string& error,
            const Progress& progress = {});

  // The same rows as Read, each handed to `each` as the current row of a
  // statement whose columns are uuid, parent_uuid, name, type, order_ and
  // created_time (valid during the call only), without keeping them; with
  // `in_id_order` false in the order the table keeps them, which reads a
  // large table several times faster than through the index of its ids.
  using Row = std::function<void(sqlite3_stmt* row)>;
  bool Scan(const Row& each, std::string& error, const Progress& progress = {},
            bool in_id_order = true);

  // Whether the database keeps its texts in UTF-8 (the bytes read are the
  // bytes stored).
  bool Utf8();

  // The number of rows now (0 when it cannot be read): a hint for room and
  // for progress, which a writer may change the next moment.
  std::size_t Count();

  // Replaces every row with `rows` in one transaction: all of them or, on
  // failure, none (the old rows stay). The caller holds the store's lock.
  bool Replace(const std::vector<StoreRow>& rows, std::string& error,
               const Progress& progress = {});

 private:
  SqliteConnection& connection_;
};

// The rows' positions in id order, byte-wise, when every id is a text and
// no two are the same; false otherwise.
bool OrderByUniqueTextId(const std::vector<StoreRow>& rows, std::vector<std::size_t>& order);

// Sorts `rows` by id, byte-wise, when every id is a text and no two are
// the same (the order SQLite gives such rows by id); false otherwise, with
// `rows` unchanged.
bool SortByUniqueTextId(std::vector<StoreRow>& rows);

}  // namespace pga

#endif  // PGA_TOOLS_STORE_TABLE_H_
