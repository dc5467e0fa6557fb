// A statement of the PostgreSQL store, prepared once per connection and run
// again and again.
#ifndef PGA_STORE_POSTGRES_STATEMENT_H_
#define PGA_STORE_POSTGRES_STATEMENT_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "store/postgres_session.h"

struct pg_conn;
struct pg_result;

namespace pga {

// A statement that failed, with the server's message on one line and, when
// the server answered, its SQLSTATE code.
class PostgresError : public std::runtime_error {
 public:
  explicit PostgresError(const std::string& message, std::string sqlstate = "")
      : std::runtime_error(message), sqlstate_(std::move(sqlstate)) {}

  const std::string& sqlstate() const { return sqlstate_; }

 private:
  std::string sqlstate_;
};

// The rows of a statement that ran. Values are read as texts, as the
// server sends them; NULL reads as the empty text or 0.
class PostgresRows {
 public:
  explicit PostgresRows(pg_result* result);
  PostgresRows(PostgresRows&& other) noexcept;
  PostgresRows(const PostgresRows&) = delete;
  PostgresRows& operator=(const PostgresRows&) = delete;
  ~PostgresRows();

  int size() const;
  std::string Text(int row, int column) const;
  // The same text without a copy: valid while these rows live.
  std::string_view TextView(int row, int column) const;
  int64_t Int(int row, int column) const;

 private:
  pg_result* result_;
};

// One SQL text with `$1`... parameters, run through libpq on the session's
// connection. The server prepares it at its first run on each connection,
// so that a later run is one round trip. Poco's connector runs statements
// too, but a Poco statement cannot run again once a run failed, and
// dropping one whose second run failed frees its result twice; libpq's
// prepared statements have neither fault. Does not own the session, which
// must outlive it. Not thread-safe.
class PostgresStatement {
 public:
  PostgresStatement(PostgresSession& session, std::string sql);
  PostgresStatement(const PostgresStatement&) = delete;
  PostgresStatement& operator=(const PostgresStatement&) = delete;

  // Runs the statement with `parameters` (texts, each up to its first NUL
  // byte) and answers its rows. Throws PostgresError when the connection is
  // down or the statement fails.
  PostgresRows Run(const std::vector<std::string>& parameters = {});
  // Runs the statement as Run() does, but hands each row to `row` as it
  // arrives (in a PostgresRows of its own, with the row at index 0), so
  // that the whole result never lies in memory at once. Throws
  // PostgresError as Run() does, also after some rows were handed over;
  // the connection is ready for the next statement either way.
  void RunEachRow(const std::vector<std::string>& parameters,
                  const std::function<void(const PostgresRows&)>& row);

 private:
  // Sends the statement with `parameters` on the session's connection (see
  // Ready()), and answers the connection.
  pg_conn* Send(const std::vector<std::string>& parameters);
  // The session's connection, up and with the statement prepared on it.
  pg_conn* Ready(const std::vector<std::string>& parameters);

  PostgresSession& session_;
  const std::string sql_;
  // The name it is prepared under, unique in the process.
  const std::string name_;
  // The session's connection it was prepared on; 0 for none yet.
  std::uint64_t prepared_on_ = 0;
};

// `texts` as one parameter of type text[]: the text of a PostgreSQL array,
// each element quoted with its quotes and backslashes escaped, and cut at a
// NUL byte as any text parameter is.
std::string TextArray(const std::vector<std::string>& texts);

}  // namespace pga

#endif  // PGA_STORE_POSTGRES_STATEMENT_H_
