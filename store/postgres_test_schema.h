// Test support: a schema of its own on the test PostgreSQL server for one
// test, and a look at its tables through libpq rather than through the code
// under test.
#ifndef PGA_STORE_POSTGRES_TEST_SCHEMA_H_
#define PGA_STORE_POSTGRES_TEST_SCHEMA_H_

#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace pga {

// The test server is the one scripts/with-postgres starts: its connection
// string is in PGA_TEST_POSTGRES. Each PostgresTestSchema makes a new schema
// there and hands out a connection string whose search path is that schema,
// so that tests running at the same time never see each other's tables; the
// schema and everything in it is dropped when the object goes.
class PostgresTestSchema {
 public:
  using Rows = std::vector<std::vector<std::string>>;

  // The test server's connection string, or empty when none was started.
  static std::string Server() {
    const char* server = std::getenv("PGA_TEST_POSTGRES");
    return server == nullptr ? std::string() : std::string(server);
  }

  // Throws std::runtime_error when there is no test server.
  PostgresTestSchema() : server_(Server()) {
    static std::atomic<int> serial{0};
    if (server_.empty()) throw std::runtime_error("no test server: PGA_TEST_POSTGRES is not set");
    name_ = "t" + std::to_string(getpid()) + "_" + std::to_string(serial++);
    Exec("DROP SCHEMA IF EXISTS " + name_ + " CASCADE; CREATE SCHEMA " + name_);
  }
  PostgresTestSchema(const PostgresTestSchema&) = delete;
  PostgresTestSchema& operator=(const PostgresTestSchema&) = delete;
  ~PostgresTestSchema() {
    try {
      if (utf8_) Exec("DROP DATABASE IF EXISTS " + name_ + "_utf8 WITH (FORCE)");
      Exec("DROP SCHEMA IF EXISTS " + name_ + " CASCADE");
    } catch (const std::exception&) {
      // A test that stopped the server leaves the schema to the server's end.
    }
  }

  const std::string& name() const { return name_; }
  // A connection string for the store under test, whose tables land in
  // this schema; its connections carry the schema's name as their
  // application name.
  std::string conninfo() const {
    return server_ + " options=-csearch_path=" + name_ + " application_name=" + name_;
  }

  // A connection string for a database of this test's own in UTF8 (the
  // test server's are SQL_ASCII, which take any bytes), made at the first
  // call and dropped with the schema.
  std::string Utf8Conninfo() {
    if (!utf8_) {
      Exec("CREATE DATABASE " + name_ +
           "_utf8 ENCODING 'UTF8' TEMPLATE template0 LC_COLLATE 'C' LC_CTYPE 'C'");
      utf8_ = true;
    }
    return server_ + " dbname=" + name_ + "_utf8 application_name=" + name_;
  }

  // Ends, on the server's side, every connection made with conninfo() (as a
  // server restart would), and returns once they are gone; answers how many
  // there were.
  int Disconnect() const {
    const Rows killed = Query(
        "SELECT pid, pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = '" +
        name_ + "' AND pid <> pg_backend_pid()");
    std::string pids;
    for (const auto& row : killed) pids += (pids.empty() ? "" : ",") + row[0];
    for (int tries = 0; !pids.empty() && tries < 500; ++tries) {
      if (Query("SELECT 1 FROM pg_stat_activity WHERE pid IN (" + pids + ")").empty()) break;
      usleep(10000);
    }
    return static_cast<int>(killed.size());
  }

  // Runs `sql` in the schema and gives its rows as texts ("<null>" for
  // NULL). Throws the server's message when it fails.
  Rows Query(const std::string& sql) const {
    const std::string own = server_ + " options=-csearch_path=" + name_;
    PGconn* connection = PQconnectdb(own.c_str());
    PQsetNoticeProcessor(
        connection, [](void*, const char*) {}, nullptr);
    PGresult* result = PQexec(connection, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    std::string error = PQstatus(connection) != CONNECTION_OK ? PQerrorMessage(connection)
                                                              : PQresultErrorMessage(result);
    Rows rows;
    if (status == PGRES_TUPLES_OK) {
      for (int row = 0; row < PQntuples(result); ++row) {
        auto& values = rows.emplace_back();
        for (int column = 0; column < PQnfields(result); ++column) {
          values.push_back(PQgetisnull(result, row, column) ? "<null>"
                                                            : PQgetvalue(result, row, column));
        }
      }
    }
    PQclear(result);
    PQfinish(connection);
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) throw std::runtime_error(error);
    return rows;
  }
  void Exec(const std::string& sql) const { Query(sql); }

 private:
  std::string server_;
  std::string name_;
  bool utf8_ = false;
};

}  // namespace pga

#endif  // PGA_STORE_POSTGRES_TEST_SCHEMA_H_
