// PostgresStoreAccess: StoreAccess on the PostgreSQL store that several
// servers share, through libpq. Reads run in one read-only transaction of
// repeatable-read isolation (one committed state); a replacement holds the
// table alone for its transaction and tells the servers that follow the
// store to read the whole tree again.
#ifndef PGA_TOOLS_POSTGRES_STORE_ACCESS_H_
#define PGA_TOOLS_POSTGRES_STORE_ACCESS_H_

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/postgres_answer.h"
#include "tools/store_access.h"

struct pg_conn;
struct pg_result;

namespace pga {

class PostgresStoreAccess : public StoreAccess {
 public:
  // A server silent for `silence` (no answer, or taking no more of what is
  // sent) is given up: a stopped server would hold the verb for good.
  explicit PostgresStoreAccess(std::chrono::milliseconds silence = kServerSilence)
      : silence_(silence) {}
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
  // One row at a time: libpq keeps one row, not the whole table.
  bool Scan(const std::function<void(const StoreRow&)>& each, bool by_id, std::string& error,
            const Progress& progress = {}) override;
  bool Replace(const std::vector<StoreRow>& rows, std::string& error,
               const Progress& progress = {}) override;
  // The content of a shared store is no file's: copies are private.
  mode_t file_mode() const override { return 0600; }

 private:
  using Result = std::unique_ptr<pg_result, void (*)(pg_result*)>;

  // Runs `sql` (no parameters) and waits for its answer within the bound:
  // the last result, as PQexec() gives it, or the one that starts a COPY;
  // null when none came.
  Result Query(const std::string& sql);
  // Why the last statement failed, on one line.
  std::string Message() const;
  // The same as Query, false with the reason.
  bool Exec(const std::string& sql, std::string& error);
  // Waits, within the bound, until the connection can take more bytes.
  bool AwaitRoom();
  // Queues `size` bytes of COPY data and sends them, within the bound.
  bool SendCopy(const char* data, std::size_t size);
  // Sends what is queued, within the bound.
  bool Flush();
  // Whether the current schema has logical_table; false with a reason when
  // not, or when that cannot be asked.
  bool HasTable(std::string& error);

  std::chrono::milliseconds silence_;
  std::string silent_;  // why the last statement met a silent server, or empty
  pg_conn* connection_ = nullptr;
  std::string name_;
  bool bytes_ = false;  // the database keeps texts as bytes (SQL_ASCII)
};

}  // namespace pga

#endif  // PGA_TOOLS_POSTGRES_STORE_ACCESS_H_
