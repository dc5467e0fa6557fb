#include "store/sqlite_lock_wait.h"

#include <sqlite3.h>

#include <algorithm>

namespace pga {

namespace {

// How long one wait sleeps before the lock is tried again.
constexpr std::chrono::milliseconds kStep{5};

}  // namespace

SqliteLockWait::SqliteLockWait(sqlite3* db, std::chrono::milliseconds limit)
    : db_(db), limit_(limit) {
  sqlite3_busy_handler(db_, &SqliteLockWait::OnBusy, this);
}

SqliteLockWait::~SqliteLockWait() { sqlite3_busy_handler(db_, nullptr, nullptr); }

int SqliteLockWait::OnBusy(void* self, int count) {
  auto& wait = *static_cast<SqliteLockWait*>(self);
  if (wait.no_wait_) return 0;
  const Clock::time_point now = Clock::now();
  // SQLite counts the calls for one lock from 0. Inside a transaction the
  // deadline of its first wait stands until the next transaction begins.
  const bool in_transaction = sqlite3_get_autocommit(wait.db_) == 0;
  if (count == 0 && !(in_transaction && wait.transaction_waiting_)) {
    wait.deadline_ = now + wait.limit_;
    wait.transaction_waiting_ = in_transaction;
  }
  if (now >= wait.deadline_) return 0;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(wait.deadline_ - now);
  sqlite3_sleep(static_cast<int>(std::max<std::chrono::milliseconds::rep>(
      1, std::min(left, std::chrono::milliseconds(kStep)).count())));
  return 1;
}

}  // namespace pga
