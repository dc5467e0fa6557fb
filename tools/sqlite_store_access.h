// SqliteStoreAccess: StoreAccess on group.db (or on a copy of it), through
// SQLite itself. Reads run on a read-only connection, opened at the first
// read, so they are safe while a component runs; a replacement takes the
// store alone (StoreLock), which fails while a component has it open.
#ifndef PGA_TOOLS_SQLITE_STORE_ACCESS_H_
#define PGA_TOOLS_SQLITE_STORE_ACCESS_H_

#include <string>
#include <vector>

#include "tools/sqlite_connection.h"
#include "tools/store_access.h"
#include "tools/store_paths.h"

namespace pga {

class SqliteStoreAccess : public StoreAccess {
 public:
  // The store of a data directory.
  explicit SqliteStoreAccess(StorePaths paths);
  // The database open on `connection` (restore's copy of its source),
  // which must outlive this object; it can be read and checked only.
  SqliteStoreAccess(SqliteConnection& connection, std::string name);

  std::string name() const override { return name_; }
  bool CheckStorage(std::vector<Finding>& findings, std::string& error) override;
  // integrity_check on this connection while a second one reads the rows.
  bool CheckAndRead(std::vector<Finding>& findings, const RowsRead& rows_read,
                    std::string& error) override;
  bool Read(std::vector<StoreRow>& rows, std::string& error,
            const Progress& progress = {}) override;
  bool ReadInOrder(std::vector<StoreRow>& rows, std::vector<std::size_t>& order,
                   std::string& error, const Progress& progress = {}) override;
  std::size_t Count() override;
  bool Replace(const std::vector<StoreRow>& rows, std::string& error,
               const Progress& progress = {}) override;
  mode_t file_mode() const override;

 private:
  // The read-only connection, opened when first needed.
  bool Connect(std::string& error);

  StorePaths paths_;
  std::string name_;
  SqliteConnection own_;
  SqliteConnection* connection_ = nullptr;
};

}  // namespace pga

#endif  // PGA_TOOLS_SQLITE_STORE_ACCESS_H_
