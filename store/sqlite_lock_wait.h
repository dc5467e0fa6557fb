// SqliteLockWait: how long the store waits for a lock that another
// connection or process holds on its database file.
#ifndef PGA_STORE_SQLITE_LOCK_WAIT_H_
#define PGA_STORE_SQLITE_LOCK_WAIT_H_

#include <chrono>

struct sqlite3;

namespace pga {

// Replaces the busy handler of one SQLite connection. A statement outside a
// transaction waits up to `limit` for each lock it meets; a transaction
// waits up to `limit` in all, counted from its first wait, for every lock
// its statements meet, and its commit up to `limit` more. After that the
// statement fails with SQLITE_BUSY ("database is locked"), which the store
// answers as any failure. So a store operation (one statement, or a batch
// of any size) waits at most twice `limit` for others, however long they
// keep their locks, instead of the connection's whole timeout for every
// statement.
//
// Not thread-safe: used from the connection's one thread.
class SqliteLockWait {
 public:
  // Two seconds: far longer than another writer's commit holds a lock, and
  // short enough that a host thread delivering a request is given back soon
  // when a lock is kept for good (a tool left open on the file).
  static constexpr std::chrono::milliseconds kDefaultLimit{2000};

  // Installs the handler on `db`, which must stay open while this lives.
  SqliteLockWait(sqlite3* db, std::chrono::milliseconds limit);
  SqliteLockWait(const SqliteLockWait&) = delete;
  SqliteLockWait& operator=(const SqliteLockWait&) = delete;
  // Removes the handler.
  ~SqliteLockWait();

  // Tells that a transaction has just begun: its waits share one deadline.
  void TransactionBegun() { transaction_waiting_ = false; }

  // Runs `body` with no wait at all: a lock held by another fails its
  // statements at once.
  template <typename Body>
  void WithoutWaiting(Body&& body) {
    const bool before = no_wait_;
    no_wait_ = true;
    try {
      body();
    } catch (...) {
      no_wait_ = before;
      throw;
    }
    no_wait_ = before;
  }

 private:
  using Clock = std::chrono::steady_clock;

  static int OnBusy(void* self, int count);

  sqlite3* db_;
  const std::chrono::milliseconds limit_;
  bool no_wait_ = false;
  // Set once the current transaction has its deadline.
  bool transaction_waiting_ = false;
  Clock::time_point deadline_;
};

}  // namespace pga

#endif  // PGA_STORE_SQLITE_LOCK_WAIT_H_
