// One connection to a PostgreSQL database, shared by the table, the change
// log and the repository of one store, and made again after it is lost.
#ifndef PGA_STORE_POSTGRES_SESSION_H_
#define PGA_STORE_POSTGRES_SESSION_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "store/backoff.h"

// Only the PostgreSQL store's sources see Poco Data and libpq.
namespace Poco::Data {
class Session;
}  // namespace Poco::Data
struct pg_conn;

namespace pga {

// A Poco Data session on Poco's PostgreSQL connector, with what the
// connector lacks done through libpq on the same connection: statements
// (see PostgresStatement), transactions whose state is read from the server
// (the connector's own flag stays set after a failed COMMIT and refuses
// every later BEGIN), and connecting again in place (the connector cannot
// reconnect a session, and never frees a connection that broke). Registers
// the connector while it lives (Poco counts registrations). Not thread-safe:
// used from one thread at a time.
class PostgresSession {
 public:
  // Connects to `conninfo`, a libpq connection string ("host=... dbname=...")
  // or URI ("postgresql://..."), waiting at most `timeout_seconds`. Throws
  // Poco::Data::ConnectionFailedException when the text is not a connection
  // string, has a value with a blank (which Poco's connector cannot pass),
  // or the database cannot be reached; the last also writes the line
  // "PostgresSession::Connect cannot connect: <libpq's reason>".
  PostgresSession(const std::string& conninfo, std::size_t timeout_seconds);
  PostgresSession(const PostgresSession&) = delete;
  PostgresSession& operator=(const PostgresSession&) = delete;
  ~PostgresSession();

  // `conninfo` in the key=value form that both Poco's connector and libpq
  // take.
  const std::string& conninfo() const { return conninfo_; }
  Poco::Data::Session& session() { return *session_; }
  // libpq's connection under the session.
  pg_conn* connection() const { return connection_; }

  // Counts the connections made; statements prepared on an earlier one are
  // gone from the server.
  std::uint64_t generation() const { return generation_; }

  // True when the connection is up, after noticing a server that closed it
  // meanwhile. When it is down and no transaction is open, connects again,
  // at most once per backoff delay (50 ms after the first failure, doubling
  // up to 1 s); a transaction is never carried over to a new connection.
  bool Connected();

  // Begins a transaction. False with the reason in `error` when the
  // connection is down or BEGIN fails.
  bool Begin(std::string& error);
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

 private:
  // Silences the server's notices and sets the time limits, on each new
  // connection.
  void Configure();

  std::string conninfo_;
  std::unique_ptr<Poco::Data::Session> session_;
  pg_conn* connection_ = nullptr;
  std::uint64_t generation_ = 1;
  bool in_transaction_ = false;
  Backoff backoff_;
};

// `message` on one line: each run of line ends, tabs and blanks becomes one
// blank, and none is left at the end, so that a failure is written as one
// line whatever the server said.
std::string OneLine(std::string message);

}  // namespace pga

#endif  // PGA_STORE_POSTGRES_SESSION_H_
