#include "store/postgres_answer.h"

#include <libpq-fe.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace pga {

namespace {

std::string ResultMessage(PGconn* connection, const PGresult* result) {
  const char* message = result != nullptr ? PQresultErrorMessage(result) : "";
  return *message != '\0' ? message : PQerrorMessage(connection);
}

bool Failed(const PGresult* result) {
  switch (PQresultStatus(result)) {
    case PGRES_COMMAND_OK:
    case PGRES_TUPLES_OK:
    case PGRES_SINGLE_TUPLE:
    case PGRES_EMPTY_QUERY:
      return false;
    default:
      return true;
  }
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

PGresult* NextResult(PGconn* connection, std::chrono::milliseconds silence, std::string& error) {
  const int socket = PQsocket(connection);
  while (socket >= 0 && PQisBusy(connection) != 0) {
    pollfd wait{socket, POLLIN, 0};
    const int ready = poll(&wait, 1, static_cast<int>(silence.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      // Shut, not closed: libpq still owns the descriptor, and its next
      // read finds the connection ended.
      shutdown(socket, SHUT_RDWR);
      while (PGresult* rest = PQgetResult(connection)) PQclear(rest);
      error = "no answer from the server for " + std::to_string(silence.count() / 1000) +
              " s: connection closed";
      return nullptr;
    }
    // A failed read leaves the connection bad: PQgetResult() says so.
    if (PQconsumeInput(connection) == 0) break;
  }
  return PQgetResult(connection);
}

bool AwaitSuccess(PGconn* connection, std::chrono::milliseconds silence, std::string& error) {
  bool done = true;
  std::string silent;
  while (PGresult* result = NextResult(connection, silence, silent)) {
    if (done && Failed(result)) {
      error = OneLine(ResultMessage(connection, result));
      done = false;
    }
    PQclear(result);
  }
  if (!silent.empty()) {
    error = silent;
    return false;
  }
  return done;
}

bool ExecSilenceBounded(PGconn* connection, const char* sql, std::chrono::milliseconds silence,
                        std::string& error) {
  if (PQsendQuery(connection, sql) == 0) {
    error = OneLine(PQerrorMessage(connection));
    return false;
  }
  return AwaitSuccess(connection, silence, error);
}

}  // namespace pga
