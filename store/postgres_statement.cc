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
  const char* sqlstate = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  std::string code = sqlstate != nullptr ? sqlstate : "";
  PQclear(result);
  throw PostgresError(text, std::move(code));
}

}  // namespace

PostgresRows::PostgresRows(pg_result* result) : result_(result) {}

PostgresRows::PostgresRows(PostgresRows&& other) noexcept
    : result_(std::exchange(other.result_, nullptr)) {}

PostgresRows::~PostgresRows() { PQclear(result_); }

int PostgresRows::size() const { return PQntuples(result_); }

std::string PostgresRows::Text(int row, int column) const {
  return std::string(TextView(row, column));
}

std::string_view PostgresRows::TextView(int row, int column) const {
  return std::string_view(PQgetvalue(result_, row, column),
                          static_cast<std::size_t>(PQgetlength(result_, row, column)));
}

int64_t PostgresRows::Int(int row, int column) const {
  return std::strtoll(PQgetvalue(result_, row, column), nullptr, 10);
}

PostgresStatement::PostgresStatement(PostgresSession& session, std::string sql)
    : session_(session), sql_(std::move(sql)), name_(NextName()) {}

PGconn* PostgresStatement::Ready(const std::vector<std::string>& parameters) {
  // Outside a transaction a lost connection is made again here, first.
  if (!session_.Connected()) {
    throw PostgresError("no connection to the server: " +
                        OneLine(PQerrorMessage(session_.connection())));
  }
  PGconn* connection = session_.connection();
  if (prepared_on_ != session_.generation()) {
    if (PQsendPrepare(connection, name_.c_str(), sql_.c_str(), static_cast<int>(parameters.size()),
                      nullptr) == 0) {
      throw PostgresError(OneLine(PQerrorMessage(connection)));
    }
    std::string error;
    if (!AwaitSuccess(connection, session_.silence(), error)) throw PostgresError(error);
    prepared_on_ = session_.generation();
  }
  return connection;
}

PGconn* PostgresStatement::Send(const std::vector<std::string>& parameters) {
  PGconn* connection = Ready(parameters);
  std::vector<const char*> values;
  values.reserve(parameters.size());
  for (const std::string& parameter : parameters) values.push_back(parameter.c_str());
  if (PQsendQueryPrepared(connection, name_.c_str(), static_cast<int>(values.size()), values.data(),
                          nullptr, nullptr, 0) == 0) {
    throw PostgresError(OneLine(PQerrorMessage(connection)));
  }
  return connection;
}

PostgresRows PostgresStatement::Run(const std::vector<std::string>& parameters) {
  PGconn* connection = Send(parameters);
  // One statement, one result: the rest (there is none) is drained.
  std::string silent;
  PGresult* result = NextResult(connection, session_.silence(), silent);
  if (result == nullptr) throw PostgresError(silent.empty() ? "no answer" : silent);
  std::string rest;
  while (PGresult* more = NextResult(connection, session_.silence(), rest)) PQclear(more);
  try {
    Check(connection, result);
  } catch (const PostgresError& error) {
    session_.NoteFailure(error.sqlstate());
    throw;
  }
  return PostgresRows(result);
}

void PostgresStatement::RunEachRow(const std::vector<std::string>& parameters,
                                   const std::function<void(const PostgresRows&)>& row) {
  PGconn* connection = Send(parameters);
  // One result per row instead of one for them all: libpq keeps a row only
  // until it is handed over.
  PQsetSingleRowMode(connection);
  // Every result is taken, also after a failure or an exception of `row`,
  // so that the connection is free for the next statement.
  std::string failure;
  bool handing_over = true;
  const auto next = [&] { return NextResult(connection, session_.silence(), failure); };
  try {
    while (PGresult* result = next()) {
      const ExecStatusType status = PQresultStatus(result);
      if (status == PGRES_SINGLE_TUPLE && handing_over) {
        const PostgresRows one(result);
        row(one);
        continue;
      }
      if (status != PGRES_SINGLE_TUPLE && status != PGRES_TUPLES_OK && failure.empty()) {
        const char* message = PQresultErrorMessage(result);
        failure = OneLine(*message != '\0' ? message : PQerrorMessage(connection));
        handing_over = false;
      }
      PQclear(result);
    }
  } catch (...) {
    std::string ignored;
    while (PGresult* result = NextResult(connection, session_.silence(), ignored)) PQclear(result);
    throw;
  }
  if (!failure.empty()) throw PostgresError(failure);
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
