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
#include <set>
#include <thread>
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

// `message` without what a malformed connection string may have shown of
// a password: libpq quotes the fragment it stumbled on, which is masked
// when it comes from the text after the word "password".
std::string WithoutPassword(const std::string& conninfo, const std::string& message) {
  const std::size_t password = conninfo.find("password");
  if (password == std::string::npos) return message;
  const std::string after = conninfo.substr(password + 8);
  std::string shown;
  std::size_t from = 0;
  for (std::size_t open; (open = message.find('"', from)) != std::string::npos;) {
    const std::size_t close = message.find('"', open + 1);
    if (close == std::string::npos) break;
    const std::string quoted = message.substr(open + 1, close - open - 1);
    const bool secret = quoted != "=" && after.find(quoted) != std::string::npos;
    shown += message.substr(from, open - from) + '"' + (secret ? "..." : quoted) + '"';
    from = close + 1;
  }
  return shown + message.substr(from);
}

// Throws ConnectionFailedException with `reason`, written first as the line
// "PostgresSession::Connect <reason>": the exception's what() is only its
// class name, which is all that a catcher printing what() shows.
[[noreturn]] void FailConnect(const std::string& reason) {
  std::printf("PostgresSession::Connect %s\n", reason.c_str());
  throw Poco::Data::ConnectionFailedException(reason);
}

// A value as libpq reads it in a key=value string: backslashes and quotes
// escaped, so that a password with a backslash or a leading quote arrives
// as given.
std::string Escaped(const char* value) {
  std::string escaped;
  for (const char* c = value; *c != '\0'; ++c) {
    if (*c == '\\' || *c == '\'') escaped += '\\';
    escaped += *c;
  }
  return escaped;
}

// `conninfo` (a key=value string or a URI) in the key=value form, every
// value given; the connector splits its input at blanks and cannot take
// quoted values. A connect_timeout of `timeout_seconds` is added unless one
// is given, so that no connection of the store waits longer for a server,
// and TCP keep-alives that notice a silent server within 30 s.
std::string KeyValueForm(const std::string& conninfo, std::size_t timeout_seconds) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  if (options == nullptr) {
    const std::string reason = error != nullptr ? OneLine(error) : "out of memory";
    PQfreemem(error);
    FailConnect("invalid connection string: " + WithoutPassword(conninfo, reason));
  }
  std::string form;
  std::string blank_in;
  std::set<std::string> given;
  for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
    if (option->val == nullptr || *option->val == '\0') continue;
    given.insert(option->keyword);
    if (std::strpbrk(option->val, " \t\n") != nullptr) blank_in = option->keyword;
    if (!form.empty()) form += ' ';
    form += std::string(option->keyword) + "=" + Escaped(option->val);
  }
  PQconninfoFree(options);
  if (!blank_in.empty()) {
    FailConnect("the value of " + blank_in +
                " holds a blank, which the connector cannot pass (a password belongs in "
                "PGPASSFILE)");
  }
  if (form.empty()) FailConnect("empty connection string");
  const std::pair<const char*, std::string> defaults[] = {
      {"connect_timeout", std::to_string(timeout_seconds)},
      {"keepalives_idle", "10"},
      {"keepalives_interval", "5"},
      {"keepalives_count", "3"},
      {"tcp_user_timeout", "30000"}};
  for (const auto& [keyword, value] : defaults) {
    if (!given.count(keyword)) form += std::string(" ") + keyword + "=" + value;
  }
  return form;
}

// Returns once the database of `conninfo` takes a connection, trying once a
// second for up to `wait`, with a line for each failed attempt; then throws
// ConnectionFailedException. The connector never frees a connection that
// it could not make, so it is asked only once libpq has made one of its own.
void Probe(const std::string& conninfo, std::chrono::seconds wait) {
  const auto until = std::chrono::steady_clock::now() + wait;
  for (int attempt = 1;; ++attempt) {
    PGconn* probe = PQconnectdb(conninfo.c_str());
    const bool reached = PQstatus(probe) == CONNECTION_OK;
    const std::string reason = reached ? "" : OneLine(PQerrorMessage(probe));
    PQfinish(probe);
    if (reached) return;
    if (std::chrono::steady_clock::now() + std::chrono::seconds(1) > until) {
      FailConnect("cannot connect: " + reason);
    }
    std::printf("PostgresSession::Connect cannot connect (attempt %d): %s; trying again\n",
                attempt, reason.c_str());
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
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

PostgresSession::PostgresSession(const std::string& conninfo, std::size_t timeout_seconds,
                                 std::chrono::seconds wait)
    : conninfo_(KeyValueForm(conninfo, timeout_seconds)),
      backoff_(milliseconds(50), milliseconds(1000)) {
  Probe(conninfo_, wait);
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

bool PostgresSession::Begin(std::string& error, const char* first) {
  if (!Connected()) {
    error = "not connected: " + OneLine(PQerrorMessage(connection_));
    return false;
  }
  const std::string begin =
      first == nullptr ? std::string("BEGIN") : std::string("BEGIN; ") + first;
  // A server that went away without a goodbye is noticed by BEGIN, which is
  // safe to send again on a new connection.
  if (!Exec(begin, error) &&
      !(PQstatus(connection_) != CONNECTION_OK && Connected() && Exec(begin, error))) {
    // BEGIN may have opened the transaction that `first` then failed in.
    Rollback();
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
