// A statement of the PostgreSQL store, prepared once per connection and run
// again and again.
#ifndef PGA_STORE_POSTGRES_STATEMENT_H_
#define PGA_STORE_POSTGRES_STATEMENT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "store/postgres_session.h"

// One SQL text on a PostgresSession, with the variables it reads its
// parameters from and extracts its rows into, bound once by `bind` (Poco
// binds by reference: the caller sets the variables, then runs). The server
// prepares it at its first run on each connection; each later run is one
// round trip. Poco cannot run a statement again once a run failed, so after
// a failure the next run prepares it afresh. Does not own the session, which
// must outlive it. Not thread-safe.
class PostgresStatement {
 public:
  using Bind = std::function<void(Poco::Data::Statement&)>;

  PostgresStatement(PostgresSession& session, std::string sql, Bind bind);
  PostgresStatement(const PostgresStatement&) = delete;
  PostgresStatement& operator=(const PostgresStatement&) = delete;
  ~PostgresStatement();

  // Runs the statement once; returns the number of rows it extracted or
  // changed. Throws Poco's exception when it fails.
  std::size_t Run();

 private:
  PostgresSession& session_;
  const std::string sql_;
  const Bind bind_;
  std::unique_ptr<Poco::Data::Statement> statement_;
  // The session's connection that statement_ was prepared on.
  std::uint64_t generation_ = 0;
};

#endif  // PGA_STORE_POSTGRES_STATEMENT_H_
