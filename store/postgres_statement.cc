#include "store/postgres_statement.h"

#include <libpq-fe.h>

#include <atomic>
#include <cstdlib>
#include <utility>

namespace pga {

namespace {

std::string NextName() {
  static std::atomic<unsigned> serial{0};
  return "pga_" + std::to_string(++serial);
}

// Throws the server's message unless `result` is a success, freeing it
// then; a success stays the caller's.
void Check(PGconn* connection, PGresult* result) {
  const ExecStatusType status = PQresultStatus(result);
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return;
  const char* message = result != nullptr ? PQresultErrorMessage(result) : "";
  std::string text = OneLine(*message != '\0' ? message : PQerrorMessage(connection));
  PQclear(result);
  throw PostgresError(text);
}

}  // namespace

PostgresRows::PostgresRows(pg_result* result) : result_(result) {}

PostgresRows::PostgresRows(PostgresRows&& other) noexcept
    : result_(std::exchange(other.result_, nullptr)) {}

PostgresRows::~PostgresRows() { PQclear(result_); }

int PostgresRows::size() const { return PQntuples(result_); }

std::string PostgresRows::Text(int row, int column) const {
  return std::string(PQgetvalue(result_, row, column), PQgetlength(result_, row, column));
}

int64_t PostgresRows::Int(int row, int column) const {
  return std::strtoll(PQgetvalue(result_, row, column), nullptr, 10);
}

PostgresStatement::PostgresStatement(PostgresSession& session, std::string sql)
    : session_(session), sql_(std::move(sql)), name_(NextName()) {}

PostgresRows PostgresStatement::Run(const std::vector<std::string>& parameters) {
  // Outside a transaction a lost connection is made again here, first.
  if (!session_.Connected()) {
    throw PostgresError("no connection to the server: " + OneLine(PQerrorMessage(session_.connection())));
  }
  PGconn* connection = session_.connection();
  if (prepared_on_ != session_.generation()) {
    PGresult* prepared = PQprepare(connection, name_.c_str(), sql_.c_str(),
                                   static_cast<int>(parameters.size()), nullptr);
    Check(connection, prepared);
    PQclear(prepared);
    prepared_on_ = session_.generation();
  }
  std::vector<const char*> values;
  values.reserve(parameters.size());
  for (const std::string& parameter : parameters) values.push_back(parameter.c_str());
  PGresult* result = PQexecPrepared(connection, name_.c_str(), static_cast<int>(values.size()),
                                    values.data(), nullptr, nullptr, 0);
  Check(connection, result);
  return PostgresRows(result);
}

std::string TextArray(const std::vector<std::string>& texts) {
  std::string literal = "{";
  for (const std::string& text : texts) {
    if (literal.size() > 1) literal += ',';
    literal += '"';
    for (char c : text) {
      if (c == '\0') break;
      if (c == '"' || c == '\\') literal += '\\';
      literal += c;
    }
    literal += '"';
  }
  return literal + "}";
}

}  // namespace pga
