#include "store/postgres_session.h"

#include <Poco/Data/DataException.h>
#include <libpq-fe.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <thread>
#include <utility>

#include "store/text_bytes.h"

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

// A value as libpq reads it in a key=value string: quoted, with backslashes
// and quotes escaped, so that a password with blanks, a backslash or a
// leading quote arrives as given.
std::string Quoted(const char* value) {
  std::string quoted = "'";
  for (const char* c = value; *c != '\0'; ++c) {
    if (*c == '\\' || *c == '\'') quoted += '\\';
    quoted += *c;
  }
  return quoted + "'";
}

// `conninfo` (a key=value string or a URI) in the key=value form, every
// value given and quoted. A connect_timeout of `timeout_seconds` is added
// unless one is given, so that no connection of the store waits longer for
// a server, and TCP keep-alives that notice a silent server within 30 s.
std::string KeyValueForm(const std::string& conninfo, std::size_t timeout_seconds) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  if (options == nullptr) {
    const std::string reason = error != nullptr ? OneLine(error) : "out of memory";
    PQfreemem(error);
    FailConnect("invalid connection string: " + WithoutPassword(conninfo, reason));
  }
  std::string form;
  std::set<std::string> given;
  for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
    if (option->val == nullptr || *option->val == '\0') continue;
    given.insert(option->keyword);
    if (!form.empty()) form += ' ';
    form += std::string(option->keyword) + "=" + Quoted(option->val);
  }
  PQconninfoFree(options);
  if (form.empty()) FailConnect("empty connection string");
  const std::pair<const char*, std::string> defaults[] = {
      {"connect_timeout", std::to_string(timeout_seconds)},
      {"keepalives_idle", "10"},
      {"keepalives_interval", "5"},
      {"keepalives_count", "3"},
      {"tcp_user_timeout", "30000"},
      // What a database administrator sees in pg_stat_activity when the
      // string names no application_name of its own.
      {"fallback_application_name", "p_group_application"}};
  for (const auto& [keyword, value] : defaults) {
    if (!given.count(keyword)) form += std::string(" ") + keyword + "=" + value;
  }
  return form;
}

// A connection to the database of `conninfo`, trying once a second for up
// to `wait`, with a line for each failed attempt; then throws
// ConnectionFailedException.
PGconn* ConnectWaiting(const std::string& conninfo, std::chrono::seconds wait) {
  const auto until = std::chrono::steady_clock::now() + wait;
  for (int attempt = 1;; ++attempt) {
    PGconn* connection = PQconnectdb(conninfo.c_str());
    if (PQstatus(connection) == CONNECTION_OK) return connection;
    const std::string reason = OneLine(PQerrorMessage(connection));
    PQfinish(connection);
    if (std::chrono::steady_clock::now() + std::chrono::seconds(1) > until) {
      FailConnect("cannot connect: " + reason);
    }
    std::printf("PostgresSession::Connect cannot connect (attempt %d): %s; trying again\n", attempt,
                reason.c_str());
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

}  // namespace

PostgresSession::PostgresSession(const std::string& conninfo, std::size_t timeout_seconds,
                                 std::chrono::seconds wait, std::chrono::milliseconds silence)
    : conninfo_(KeyValueForm(conninfo, timeout_seconds)),
      silence_(silence),
      backoff_(milliseconds(50), milliseconds(1000)) {
  connection_ = ConnectWaiting(conninfo_, wait);
  Configure();
}

PostgresSession::~PostgresSession() {
  Rollback();
  PQfinish(connection_);
}

void PostgresSession::NoteFailure(const std::string& sqlstate) {
  const std::string kind = sqlstate.substr(0, 2);
  if (in_transaction_ && (kind == "22" || kind == "23" || kind == "54")) data_refused_ = true;
}

const char* PostgresSession::Refusal(const std::string& text) const {
  if (text.find('\0') != std::string::npos) return "a NUL byte";
  // The server checks what a client sends in UTF8 unless the database keeps
  // bytes as they come (SQL_ASCII). Before a first connection the
  // strictest rule holds.
  const char* client = PQparameterStatus(connection_, "client_encoding");
  const char* server = PQparameterStatus(connection_, "server_encoding");
  const bool checked = server == nullptr || std::strcmp(server, "SQL_ASCII") != 0;
  const bool utf8 = client == nullptr || std::strcmp(client, "UTF8") == 0;
  if (checked && utf8 && !IsUtf8(text)) return "bytes that are not UTF-8";
  return nullptr;
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
  data_refused_ = false;
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
  // COMMIT of a transaction that the server has aborted answers ROLLBACK.
  bool committed = false;
  if (PQsendQuery(connection_, "COMMIT") == 0) {
    error = OneLine(PQerrorMessage(connection_));
  } else {
    std::string silent;
    while (PGresult* result = NextResult(connection_, silence_, silent)) {
      committed = PQresultStatus(result) == PGRES_COMMAND_OK &&
                  std::strcmp(PQcmdStatus(result), "COMMIT") == 0;
      if (!committed) {
        const char* message = PQresultErrorMessage(result);
        error = OneLine(*message != '\0' ? message : PQerrorMessage(connection_));
      }
      PQclear(result);
    }
    if (!silent.empty()) {
      // Whether the server committed is not known: it is not acknowledged.
      committed = false;
      error = silent;
    }
  }
  if (!committed) Rollback();
  in_transaction_ = false;
  return committed;
}

void PostgresSession::Rollback() {
  if (PQstatus(connection_) == CONNECTION_OK && PQtransactionStatus(connection_) != PQTRANS_IDLE) {
    std::string ignored;
    ExecSilenceBounded(connection_, "ROLLBACK", silence_, ignored);
  }
  in_transaction_ = false;
}

bool PostgresSession::TransactionFailed() const {
  return in_transaction_ && (PQstatus(connection_) != CONNECTION_OK ||
                             PQtransactionStatus(connection_) != PQTRANS_INTRANS);
}

bool PostgresSession::Exec(const std::string& sql, std::string& error) {
  return ExecSilenceBounded(connection_, sql.c_str(), silence_, error);
}

}  // namespace pga
