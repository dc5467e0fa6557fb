#include "store/postgres_session.h"

#include <Poco/Data/DataException.h>
#include <Poco/Data/PostgreSQL/Connector.h>
#include <Poco/Data/PostgreSQL/SessionHandle.h>
#include <Poco/Data/Session.h>
#include <libpq-fe.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>

namespace pga {

namespace {

using std::chrono::milliseconds;

// Limits that keep one stuck server from stalling every other: a statement
// that waits for a lock gives up after 10 s, any statement after 30 s, and a
// server that leaves its transaction idle (a hung process) loses it after
// 60 s, with the locks it held.
constexpr char kLimits[] =
    "SET lock_timeout = '10s'; SET statement_timeout = '30s'; "
    "SET idle_in_transaction_session_timeout = '60s'";

// The server's notices ("relation already exists, skipping") are not
// failures and must not reach the host's output.
void IgnoreNotice(void*, const char*) {}

// `conninfo` (a key=value string or a URI) in the key=value form, every
// value given; the connector splits its input at blanks and cannot take
// quoted values. A connect_timeout of `timeout_seconds` is added unless one
// is given, so that no connection of the store waits longer for a server.
std::string KeyValueForm(const std::string& conninfo, std::size_t timeout_seconds) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  if (options == nullptr) {
    const std::string reason = error != nullptr ? OneLine(error) : "out of memory";
    PQfreemem(error);
    throw Poco::Data::ConnectionFailedException("invalid connection string: " + reason);
  }
  std::string form;
  std::string blank_in;
  bool timed = false;
  for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
    if (option->val == nullptr || *option->val == '\0') continue;
    timed = timed || std::strcmp(option->keyword, "connect_timeout") == 0;
    if (std::strpbrk(option->val, " \t\n") != nullptr) blank_in = option->keyword;
    if (!form.empty()) form += ' ';
    form += std::string(option->keyword) + "=" + option->val;
  }
  PQconninfoFree(options);
  if (!timed && !form.empty()) {
    form += " connect_timeout=" + std::to_string(timeout_seconds);
  }
  if (!blank_in.empty()) {
    throw Poco::Data::ConnectionFailedException("the value of " + blank_in +
                                                " holds a blank, which the connector cannot pass");
  }
  if (form.empty()) throw Poco::Data::ConnectionFailedException("empty connection string");
  return form;
}

// Throws ConnectionFailedException unless the database of `conninfo` takes
// a connection now. The connector never frees a connection that it could
// not make, so it is asked only once libpq has made one of its own.
void Probe(const std::string& conninfo) {
  PGconn* probe = PQconnectdb(conninfo.c_str());
  const bool reached = PQstatus(probe) == CONNECTION_OK;
  const std::string reason = reached ? "" : OneLine(PQerrorMessage(probe));
  PQfinish(probe);
  if (reached) return;
  // The exception's what() is only its class name, which is all that a
  // catcher printing what() shows: the reason goes out here.
  std::printf("PostgresSession::Connect cannot connect: %s\n", reason.c_str());
  throw Poco::Data::ConnectionFailedException("cannot connect: " + reason);
}

// Reads whatever an idle connection has received. The only thing a server
// sends unasked is its goodbye before it closes the connection (a restart, a
// terminated backend); reading up to the close makes libpq mark the
// connection bad, so that it is made again before a statement fails on it.
void ReadGoodbye(PGconn* connection) {
  pollfd socket{PQsocket(connection), POLLIN, 0};
  while (PQstatus(connection) == CONNECTION_OK && poll(&socket, 1, 0) > 0 &&
         PQconsumeInput(connection) != 0) {
  }
}

std::string ResultMessage(PGconn* connection, PGresult* result) {
  const char* message = result != nullptr ? PQresultErrorMessage(result) : "";
  return OneLine(*message != '\0' ? message : PQerrorMessage(connection));
}

}  // namespace

std::string OneLine(std::string message) {
  std::string line;
  for (char c : message) {
    const bool blank = c == '\n' || c == '\r' || c == '\t' || c == ' ';
    if (!blank) {
      line += c;
    } else if (!line.empty() && line.back() != ' ') {
      line += ' ';
    }
  }
  if (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

PostgresSession::PostgresSession(const std::string& conninfo, std::size_t timeout_seconds)
    : conninfo_(KeyValueForm(conninfo, timeout_seconds)),
      backoff_(milliseconds(50), milliseconds(1000)) {
  Probe(conninfo_);
  Poco::Data::PostgreSQL::Connector::registerConnector();
  try {
    session_ = std::make_unique<Poco::Data::Session>(Poco::Data::PostgreSQL::Connector::KEY,
                                                     conninfo_, timeout_seconds);
    auto* handle = Poco::AnyCast<Poco::Data::PostgreSQL::SessionHandle*>(
        session_->getProperty("handle"));
    connection_ = static_cast<PGconn*>(*handle);
    Configure();
  } catch (...) {
    session_.reset();
    Poco::Data::PostgreSQL::Connector::unregisterConnector();
    throw;
  }
}

PostgresSession::~PostgresSession() {
  Rollback();
  // A connection that broke stays allocated inside the connector, which only
  // frees connections that are up; one attempt to bring it back lets it go
  // (when the server is still away, the connection is not freed).
  if (PQstatus(connection_) != CONNECTION_OK) PQreset(connection_);
  session_.reset();
  try {
    Poco::Data::PostgreSQL::Connector::unregisterConnector();
  } catch (const Poco::Exception&) {
    // Only possible when someone else took our registration back.
  }
}

void PostgresSession::Configure() {
  PQsetNoticeProcessor(connection_, IgnoreNotice, nullptr);
  std::string ignored;
  Exec(kLimits, ignored);
}

bool PostgresSession::Connected() {
  if (!in_transaction_) ReadGoodbye(connection_);
  if (PQstatus(connection_) == CONNECTION_OK) return true;
  if (in_transaction_ || !backoff_.Ready()) return false;
  PQreset(connection_);
  if (PQstatus(connection_) != CONNECTION_OK) {
    backoff_.Failed();
    return false;
  }
  backoff_.Succeeded();
  ++generation_;
  Configure();
  return true;
}

bool PostgresSession::Begin(std::string& error) {
  if (!Connected()) {
    error = "not connected: " + OneLine(PQerrorMessage(connection_));
    return false;
  }
  // A server that went away without a goodbye is noticed by BEGIN, which is
  // safe to send again on a new connection.
  if (!Exec("BEGIN", error) && !(PQstatus(connection_) != CONNECTION_OK && Connected() &&
                                 Exec("BEGIN", error))) {
    return false;
  }
  in_transaction_ = true;
  return true;
}

bool PostgresSession::Commit(std::string& error) {
  if (TransactionFailed()) {
    error = "transaction not committed: a statement in it failed";
    Rollback();
    return false;
  }
  PGresult* result = PQexec(connection_, "COMMIT");
  // COMMIT of a transaction that the server has aborted answers ROLLBACK.
  const bool committed = PQresultStatus(result) == PGRES_COMMAND_OK &&
                         std::strcmp(PQcmdStatus(result), "COMMIT") == 0;
  if (!committed) error = ResultMessage(connection_, result);
  PQclear(result);
  if (!committed) Rollback();
  in_transaction_ = false;
  return committed;
}

void PostgresSession::Rollback() {
  if (PQstatus(connection_) == CONNECTION_OK &&
      PQtransactionStatus(connection_) != PQTRANS_IDLE) {
    PQclear(PQexec(connection_, "ROLLBACK"));
  }
  in_transaction_ = false;
}

bool PostgresSession::TransactionFailed() const {
  return in_transaction_ && (PQstatus(connection_) != CONNECTION_OK ||
                             PQtransactionStatus(connection_) != PQTRANS_INTRANS);
}

bool PostgresSession::Exec(const std::string& sql, std::string& error) {
  PGresult* result = PQexec(connection_, sql.c_str());
  const bool done = PQresultStatus(result) == PGRES_COMMAND_OK ||
                    PQresultStatus(result) == PGRES_TUPLES_OK;
  if (!done) error = ResultMessage(connection_, result);
  PQclear(result);
  return done;
}

}  // namespace pga
