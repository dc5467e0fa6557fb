// One connection to a PostgreSQL database, shared by the table, the change
// log and the repository of one store, and made again after it is lost.
#ifndef PGA_STORE_POSTGRES_SESSION_H_
#define PGA_STORE_POSTGRES_SESSION_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "store/backoff.h"
#include "store/postgres_answer.h"

// Only the PostgreSQL store's sources see libpq.
struct pg_conn;

namespace pga {

// A libpq connection with what the store needs of it: statements (see
// PostgresStatement) that never wait longer than `silence` without hearing
// from the server, transactions whose state is read from the server, and
// connecting again in place after the connection is lost. (Poco's
// PostgreSQL connector is not used: it splits its connection string at
// blanks, cannot reconnect a session, and never frees a connection that
// broke.) Not thread-safe: used from one thread at a time.
class PostgresSession {
 public:
  // Connects to `conninfo`, a libpq connection string ("host=... dbname=...")
  // or URI ("postgresql://..."), each attempt waiting at most
  // `timeout_seconds`, and tries again once a second for up to `wait` while
  // the database cannot be reached, writing the line "PostgresSession::Connect
  // cannot connect (attempt N): <libpq's reason>; trying again" each time.
  // Throws Poco::Data::ConnectionFailedException, after the line
  // "PostgresSession::Connect <reason>", when the text is not a connection
  // string (libpq's reason, without what it quoted of a password) or the
  // database could not be reached.
  PostgresSession(const std::string& conninfo, std::size_t timeout_seconds,
                  std::chrono::seconds wait = std::chrono::seconds(0),
                  std::chrono::milliseconds silence = kServerSilence);
  PostgresSession(const PostgresSession&) = delete;
  PostgresSession& operator=(const PostgresSession&) = delete;
  ~PostgresSession();

  // `conninfo` in libpq's key=value form, every value quoted.
  const std::string& conninfo() const { return conninfo_; }
  // How long a statement waits without hearing from the server.
  std::chrono::milliseconds silence() const { return silence_; }
  pg_conn* connection() const { return connection_; }

  // Counts the connections made; statements prepared on an earlier one are
  // gone from the server.
  std::uint64_t generation() const { return generation_; }

  // True when the connection is up, after noticing a server that closed it
  // meanwhile. When it is down and no transaction is open, connects again,
  // at most once per backoff delay (50 ms after the first failure, doubling
  // up to 1 s); a transaction is never carried over to a new connection.
  bool Connected();

  // Begins a transaction and, when `first` is given, runs that statement
  // (without parameters) in the same round trip as BEGIN. False with the
  // reason in `error` when the connection is down, BEGIN fails or `first`
  // fails; no transaction is open then.
  bool Begin(std::string& error, const char* first = nullptr);
  // Commits the open transaction. False with the reason in `error` when a
  // statement in it failed or the connection went (it is then rolled back as
  // far as the server still holds it), or when COMMIT failed.
  bool Commit(std::string& error);
  // Ends the open transaction without keeping it, if there is one.
  void Rollback();
  bool InTransaction() const { return in_transaction_; }
  // True inside a transaction that can no longer commit: one of its
  // statements failed, or the connection went.
  bool TransactionFailed() const;

  // Runs `sql` (statements without parameters; rows are dropped) through
  // libpq. False with the server's message in `error` on failure.
  bool Exec(const std::string& sql, std::string& error);

  // Notes the SQLSTATE of a statement that failed in the open transaction.
  void NoteFailure(const std::string& sqlstate);
  // Whether a statement of the last transaction failed on what it carried
  // (a data exception, a broken constraint or a limit of the server:
  // SQLSTATE classes 22, 23 and 54), which the same statement would meet
  // again whenever it is tried; reset by the call and by Begin().
  bool TakeDataRefused() { return std::exchange(data_refused_, false); }

  // Why the database cannot take `text` as a text value, or null when it
  // can. It holds no NUL byte: a parameter ends there, and the row would
  // keep less than the caches of the servers. It takes only well-formed
  // UTF-8 while the connection's client encoding is UTF8, as it is by
  // default on a UTF8 database, and refuses anything else with an error
  // that fails the statement, and with it the transaction it is in.
  const char* Refusal(const std::string& text) const;

 private:
  // Silences the server's notices and sets the time limits, on each new
  // connection.
  void Configure();

  std::string conninfo_;
  std::chrono::milliseconds silence_;
  pg_conn* connection_ = nullptr;
  std::uint64_t generation_ = 1;
  bool in_transaction_ = false;
  bool data_refused_ = false;
  Backoff backoff_;
};

}  // namespace pga

#endif  // PGA_STORE_POSTGRES_SESSION_H_
