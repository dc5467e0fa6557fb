// Waiting for a PostgreSQL server's answer, with a bound that holds on any
// connection: over TCP, keep-alives notice a server that went silent, but a
// Unix socket has none, and a stopped server would hold a statement for
// good.
#ifndef PGA_STORE_POSTGRES_ANSWER_H_
#define PGA_STORE_POSTGRES_ANSWER_H_

#include <chrono>
#include <string>

struct pg_conn;
struct pg_result;

namespace pga {

// `message` on one line: each run of line ends, tabs and blanks becomes one
// blank, and none is left at the end, so that a failure is written as one
// line whatever the server said.
std::string OneLine(std::string message);

// How long a statement waits without hearing from the server. A silent
// server's connection is then given up, and BEGIN is sent again on a new
// one, whose connect waits at most 10 s (connect_timeout): 20 s keeps the
// two within the 30 s that a request may wait for a server. No statement
// of the store is silent that long on a working server: lock waits end
// after 10 s (lock_timeout) and reads stream their rows.
inline constexpr std::chrono::milliseconds kServerSilence{20000};

// The next result of what was sent on `connection`, as PQgetResult() gives
// it (null after the last), waiting at most `silence` at a time without
// hearing from the server. A server that stays silent longer has the
// connection shut: libpq takes it as lost from then on, as does the store,
// which connects again. The answer is then null, with `error` set to say
// so; `error` is left alone otherwise.
pg_result* NextResult(pg_conn* connection, std::chrono::milliseconds silence, std::string& error);

// Sends `sql` (statements without parameters) and waits for its answer as
// NextResult() does. True when every statement succeeded; otherwise the
// first failure's message, on one line, is in `error`. Rows are dropped.
bool ExecSilenceBounded(pg_conn* connection, const char* sql, std::chrono::milliseconds silence,
                        std::string& error);

// Waits for every result of what was sent; true when none failed, else the
// first failure's message is in `error`. Used after PQsend...() calls.
bool AwaitSuccess(pg_conn* connection, std::chrono::milliseconds silence, std::string& error);

}  // namespace pga

#endif  // PGA_STORE_POSTGRES_ANSWER_H_
