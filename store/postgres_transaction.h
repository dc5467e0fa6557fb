// One transaction on the PostgreSQL session of the group store.
#ifndef PGA_STORE_POSTGRES_TRANSACTION_H_
#define PGA_STORE_POSTGRES_TRANSACTION_H_

#include <functional>

namespace pga {

class PostgresSession;

// Begins a transaction on `session` when constructed and keeps its changes
// only when Commit() succeeds: destroyed without a successful Commit()
// (after a failure, or while an exception passes), it rolls back whatever
// the server still holds open. Failures are written to standard output as
// "<operation> <text>", `operation` being the name given to the constructor
// and the text the server's message or the session's reason.
//
// The server fails a whole transaction at its first failed statement, and
// so does this class: it fails when it cannot begin, when a write fails or
// the connection goes; the writes after that are not run, and the
// transaction is rolled back instead of committed.
//
// Not thread-safe: the session is used from one thread at a time.
class PostgresTransaction {
 public:
  // `session` must outlive the transaction; `operation` is a literal.
  PostgresTransaction(PostgresSession& session, const char* operation);
  PostgresTransaction(const PostgresTransaction&) = delete;
  PostgresTransaction& operator=(const PostgresTransaction&) = delete;
  ~PostgresTransaction();

  // Runs `write`, a statement that answers whether it succeeded, inside the
  // transaction, and gives its answer; false without running it once the
  // transaction has failed.
  bool Write(const std::function<bool()>& write);

  bool failed() const;

  // Ends the transaction: commits it unless it failed, which is written as
  // a line. True when the changes are kept. Call once, after the last write.
  bool Commit();

 private:
  PostgresSession& session_;
  const char* operation_;
  bool begun_ = false;
  bool committed_ = false;
};

}  // namespace pga

#endif  // PGA_STORE_POSTGRES_TRANSACTION_H_
