// PostgresStoreAccess: StoreAccess on the PostgreSQL store that several
// servers share, through libpq. Reads run in one read-only transaction of
// repeatable-read isolation (one committed state); a replacement holds the
// table alone for its transaction and tells the servers that follow the
// store to read the whole tree again.
#ifndef PGA_TOOLS_POSTGRES_STORE_ACCESS_H_
#define PGA_TOOLS_POSTGRES_STORE_ACCESS_H_

#include <string>
#include <vector>

#include "tools/store_access.h"

struct pg_conn;

namespace pga {

class PostgresStoreAccess : public StoreAccess {
 public:
  PostgresStoreAccess() = default;
  PostgresStoreAccess(const PostgresStoreAccess&) = delete;
  PostgresStoreAccess& operator=(const PostgresStoreAccess&) = delete;
  ~PostgresStoreAccess() override;

  // Connects to `conninfo` (a libpq connection string or URI). Fails with
  // libpq's reason, which never holds a password.
  bool Connect(const std::string& conninfo, std::string& error);

  std::string name() const override { return name_; }
  bool CheckStorage(std::vector<Finding>& findings, std::string& error) override;
  bool Read(std::vector<StoreRow>& rows, std::string& error,
            const Progress& progress = {}) override;
  bool Replace(const std::vector<StoreRow>& rows, std::string& error,
               const Progress& progress = {}) override;
  // The content of a shared store is no file's: copies are private.
  mode_t file_mode() const override { return 0600; }

 private:
  // Runs `sql` (no parameters); false with the server's message.
  bool Exec(const std::string& sql, std::string& error);
  // Whether the current schema has logical_table; false with a reason when
  // not, or when that cannot be asked.
  bool HasTable(std::string& error);

  pg_conn* connection_ = nullptr;
  std::string name_;
  bool bytes_ = false;  // the database keeps texts as bytes (SQL_ASCII)
};

}  // namespace pga

#endif  // PGA_TOOLS_POSTGRES_STORE_ACCESS_H_
