#include "tools/postgres_store_access.h"

#include <libpq-fe.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <utility>

#include "store/postgres_answer.h"
#include "store/postgres_change_log.h"
#include "store/text_bytes.h"

namespace pga {

namespace {

constexpr std::size_t kProgressStep = 4096;
// Bytes handed to the server per COPY message.
constexpr std::size_t kCopyChunk = std::size_t{1} << 20;
// The type numbers of PostgreSQL's integers.
constexpr Oid kInt8 = 20;
constexpr Oid kInt4 = 23;

// The component's columns, in the table's order, with their types as
// format_type() names them.
constexpr const char* kColumns[][2] = {{"uuid", "text"},      {"parent_uuid", "text"},
                                       {"name", "text"},      {"type", "text"},
                                       {"order_", "integer"}, {"created_time", "bigint"}};

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

bool Succeeded(const Result& result) {
  const ExecStatusType status = PQresultStatus(result.get());
  return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

// libpq's message on one line.
std::string Message(PGconn* connection) { return OneLine(PQerrorMessage(connection)); }

// Whether a result leaves the connection in a COPY, where asking for the
// next result would give the same one again.
bool Copying(const PGresult* result) {
  const ExecStatusType status = PQresultStatus(result);
  return status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH;
}

std::string Text(const Result& result, int row, int column) {
  return std::string(PQgetvalue(result.get(), row, column),
                     static_cast<std::size_t>(PQgetlength(result.get(), row, column)));
}

// Column `column` of row `row` of `result` into `value`, reusing the room
// its bytes had.
void ReadValue(const PGresult* result, int row, int column, StoreValue& value) {
  value.bytes.clear();
  value.integer = 0;
  if (PQgetisnull(result, row, column)) {
    value.kind = StoreValue::Kind::kNull;
    return;
  }
  const char* text = PQgetvalue(result, row, column);
  const Oid type = PQftype(result, column);
  if (type == kInt4 || type == kInt8) {
    value.kind = StoreValue::Kind::kInteger;
    value.integer = std::strtoll(text, nullptr, 10);
    return;
  }
  value.kind = StoreValue::Kind::kText;
  value.bytes.assign(text, static_cast<std::size_t>(PQgetlength(result, row, column)));
}

void ReadRow(const PGresult* result, int row, StoreRow& into) {
  StoreValue* values[] = {&into.item_id, &into.parent_id, &into.name,
                          &into.type,    &into.order,     &into.created_time};
  for (int column = 0; column < 6; ++column) ReadValue(result, row, column, *values[column]);
}

Finding SchemaFinding(std::string message) {
  Finding finding;
  finding.kind = "schema";
  finding.message = std::move(message);
  return finding;
}

// Appends `value` as a field of COPY's text format.
void AppendCopyField(std::string& line, const StoreValue& value) {
  switch (value.kind) {
    case StoreValue::Kind::kNull:
      line += "\\N";
      return;
    case StoreValue::Kind::kInteger:
      line += std::to_string(value.integer);
      return;
    default:
      break;
  }
  for (char c : value.bytes) {
    switch (c) {
      case '\\':
        line += "\\\\";
        break;
      case '\n':
        line += "\\n";
        break;
      case '\r':
        line += "\\r";
        break;
      case '\t':
        line += "\\t";
        break;
      default:
        line += c;
    }
  }
}

// Why the shared store cannot hold `value` in column `column` (0 to 5), or
// empty. Its columns are typed: texts without NUL bytes (in valid UTF-8
// unless the database keeps `bytes`), 32- and 64-bit integers.
std::string Unstorable(const StoreValue& value, std::size_t column, bool bytes) {
  using Kind = StoreValue::Kind;
  const bool integer_column = column >= 4;
  if (value.kind == Kind::kNull) return column == 0 ? "no id" : "";
  if (integer_column) {
    if (value.kind != Kind::kInteger) return "a value that is not an integer";
    if (column == 4 && (value.integer < INT32_MIN || value.integer > INT32_MAX)) {
      return "an order beyond 32 bits";
    }
    return "";
  }
  if (value.kind != Kind::kText) return "a value that is not text";
  if (value.bytes.find('\0') != std::string::npos) return "a text with a NUL byte";
  if (!bytes && !IsUtf8(value.bytes)) return "a text that is not UTF-8";
  return "";
}

}  // namespace

PostgresStoreAccess::~PostgresStoreAccess() { PQfinish(connection_); }

bool PostgresStoreAccess::Connect(const std::string& conninfo, std::string& error) {
  // A server that does not answer is given up after a while; the
  // operator's own connect_timeout, if any, comes later and wins. The
  // connections show as "group_host" in pg_stat_activity unless the string
  // names an application_name.
  const char* keywords[] = {"connect_timeout", "fallback_application_name", "dbname", nullptr};
  const char* values[] = {"10", "group_host", conninfo.c_str(), nullptr};
  connection_ = PQconnectdbParams(keywords, values, 1);
  if (connection_ == nullptr || PQstatus(connection_) != CONNECTION_OK) {
    error = "cannot connect to the shared store: " +
            (connection_ != nullptr ? Message() : std::string("out of memory"));
    return false;
  }
  PQsetNoticeProcessor(
      connection_, [](void*, const char*) {}, nullptr);
  // A database of SQL_ASCII keeps texts byte for byte, and so do its
  // clients that use the same; any other one holds UTF-8 only.
  const char* encoding = PQparameterStatus(connection_, "server_encoding");
  bytes_ = encoding != nullptr && std::string(encoding) == "SQL_ASCII";
  if (PQsetClientEncoding(connection_, bytes_ ? "SQL_ASCII" : "UTF8") != 0) {
    error = "cannot set the encoding of the shared store's texts: " + Message();
    return false;
  }
  name_ = std::string("the shared store ") + PQdb(connection_) + " on " + PQhost(connection_);
  return true;
}

PostgresStoreAccess::Result PostgresStoreAccess::Query(const std::string& sql) {
  silent_.clear();
  if (PQsendQuery(connection_, sql.c_str()) == 0) return Result(nullptr, &PQclear);
  // The last result, as PQexec() gives it, unless a COPY begins.
  Result last(nullptr, &PQclear);
  while (PGresult* result = NextResult(connection_, silence_, silent_)) {
    last.reset(result);
    if (Copying(result)) break;
  }
  return last;
}

std::string PostgresStoreAccess::Message() const {
  return silent_.empty() ? pga::Message(connection_) : silent_;
}

bool PostgresStoreAccess::AwaitRoom() {
  const int socket = PQsocket(connection_);
  for (;;) {
    pollfd wait{socket, POLLIN | POLLOUT, 0};
    const int ready = poll(&wait, 1, static_cast<int>(silence_.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      // As NextResult() does: libpq finds the connection ended from now on.
      shutdown(socket, SHUT_RDWR);
      silent_ = "the server took nothing for " + std::to_string(silence_.count() / 1000) +
                " s: connection closed";
      return false;
    }
    // What the server says meanwhile (a notice, an early error) is read,
    // or it would stop reading too.
    return ready > 0 && ((wait.revents & POLLIN) == 0 || PQconsumeInput(connection_) != 0);
  }
}

bool PostgresStoreAccess::SendCopy(const char* data, std::size_t size) {
  for (;;) {
    const int queued = PQputCopyData(connection_, data, static_cast<int>(size));
    if (queued == 1) break;
    if (queued < 0 || !AwaitRoom()) return false;
  }
  return Flush();
}

bool PostgresStoreAccess::Flush() {
  for (;;) {
    const int flushed = PQflush(connection_);
    if (flushed == 0) return true;
    if (flushed < 0 || !AwaitRoom()) return false;
  }
}

bool PostgresStoreAccess::Exec(const std::string& sql, std::string& error) {
  const Result result = Query(sql);
  if (Succeeded(result)) return true;
  error = Message();
  return false;
}

bool PostgresStoreAccess::HasTable(std::string& error) {
  const Result result = Query("SELECT to_regclass('logical_table') IS NOT NULL");
  if (!Succeeded(result) || PQntuples(result.get()) != 1) {
    error = name_ + ": cannot read it: " + Message();
    return false;
  }
  if (Text(result, 0, 0) != "t") {
    error = name_ + ": not a group store: it has no table logical_table";
    return false;
  }
  return true;
}

bool PostgresStoreAccess::CheckStorage(std::vector<Finding>& findings, std::string& error) {
  if (!HasTable(error)) return false;
  // Columns, then everything that changes what a write does or what a
  // read sees: other indexes, triggers, rules, row policies, another kind
  // of relation.
  const Result columns = Query(
      "SELECT string_agg(attname || ' ' || format_type(atttypid, "
      "atttypmod), ', ' ORDER BY attnum) FROM pg_attribute WHERE "
      "attrelid = 'logical_table'::regclass AND attnum > 0 AND NOT "
      "attisdropped");
  const Result objects = Query(
      "SELECT 'relation', relkind::text FROM pg_class WHERE oid = 'logical_table'::regclass "
      "AND relkind <> 'r' UNION ALL "
      "SELECT 'primary key', string_agg(a.attname, ', ') FROM pg_index i JOIN pg_attribute a "
      "ON a.attrelid = i.indrelid AND a.attnum = ANY(i.indkey) WHERE i.indrelid = "
      "'logical_table'::regclass AND i.indisprimary HAVING string_agg(a.attname, ', ') IS "
      "DISTINCT FROM 'uuid' UNION ALL "
      "SELECT 'index', c.relname FROM pg_index i JOIN pg_class c ON c.oid = i.indexrelid "
      "WHERE i.indrelid = 'logical_table'::regclass AND c.relname NOT IN "
      "('logical_table_pkey', 'logical_table_parent_order', 'logical_table_group_order') "
      "UNION ALL SELECT 'trigger', tgname::text FROM pg_trigger WHERE tgrelid = "
      "'logical_table'::regclass AND NOT tgisinternal UNION ALL "
      "SELECT 'rule', rulename::text FROM pg_rewrite WHERE ev_class = "
      "'logical_table'::regclass UNION ALL "
      "SELECT 'policy', polname::text FROM pg_policy WHERE polrelid = "
      "'logical_table'::regclass ORDER BY 1, 2");
  if (!Succeeded(columns) || !Succeeded(objects)) {
    error = name_ + ": cannot read its schema: " + Message();
    return false;
  }
  std::string expected;
  for (const auto& column : kColumns) {
    expected += (expected.empty() ? "" : ", ") + std::string(column[0]) + " " + column[1];
  }
  const std::string found = Text(columns, 0, 0);
  if (found != expected) {
    findings.push_back(
        SchemaFinding("logical_table is not the table the component creates: its columns are " +
                      QuoteText(found) + ", not " + QuoteText(expected)));
  }
  for (int row = 0; row < PQntuples(objects.get()); ++row) {
    const std::string kind = Text(objects, row, 0);
    const std::string what = Text(objects, row, 1);
    if (kind == "relation") {
      findings.push_back(SchemaFinding("logical_table is not a plain table (kind " + what + ")"));
    } else if (kind == "primary key") {
      findings.push_back(
          SchemaFinding("logical_table's primary key is " + QuoteText(what) + ", not \"uuid\""));
    } else {
      findings.push_back(SchemaFinding((kind == "index" ? "an " : "a ") + kind +
                                       " the component does not create: " + QuoteText(what) +
                                       " on \"logical_table\""));
    }
  }
  return true;
}

bool PostgresStoreAccess::Read(std::vector<StoreRow>& rows, std::string& error,
                               const Progress& progress) {
  rows.clear();
  if (!HasTable(error)) return false;
  // Byte-wise id order, as SQLite's BINARY gives it: both stores export
  // the same tree as the same bytes.
  if (!Exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", error)) return false;
  const Result result = Query(
      "SELECT uuid, parent_uuid, name, type, order_, created_time FROM "
      "logical_table ORDER BY uuid COLLATE \"C\"");
  std::string ignored;
  Exec("COMMIT", ignored);
  if (!Succeeded(result) || PQnfields(result.get()) != 6) {
    error = "cannot read logical_table: " + Message();
    return false;
  }
  const int count = PQntuples(result.get());
  rows.resize(static_cast<std::size_t>(count));
  for (int row = 0; row < count; ++row) {
    ReadRow(result.get(), row, rows[static_cast<std::size_t>(row)]);
    if (progress && (row + 1) % kProgressStep == 0) progress(static_cast<std::size_t>(row) + 1);
  }
  return true;
}

bool PostgresStoreAccess::Scan(const std::function<void(const StoreRow&)>& each, bool by_id,
                               std::string& error, const Progress& progress) {
  if (!HasTable(error)) return false;
  if (!Exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", error)) return false;
  std::string sql = "SELECT uuid, parent_uuid, name, type, order_, created_time FROM logical_table";
  if (by_id) sql += " ORDER BY uuid COLLATE \"C\"";
  silent_.clear();
  std::string failure;
  if (PQsendQuery(connection_, sql.c_str()) == 0 || PQsetSingleRowMode(connection_) == 0) {
    failure = Message();
  }
  // Every result is taken, also after a failure or an exception of `each`,
  // so that the connection is free for the next statement.
  StoreRow row;
  std::size_t done = 0;
  const auto next = [this] { return Result(NextResult(connection_, silence_, silent_), &PQclear); };
  try {
    for (Result result = next(); failure.empty() && result != nullptr; result = next()) {
      const ExecStatusType status = PQresultStatus(result.get());
      if (status == PGRES_SINGLE_TUPLE && PQnfields(result.get()) == 6) {
        ReadRow(result.get(), 0, row);
        each(row);
        if (progress && ++done % kProgressStep == 0) progress(done);
      } else if (status != PGRES_TUPLES_OK) {
        failure = status == PGRES_SINGLE_TUPLE ? "not the six columns of the store" : Message();
      }
    }
  } catch (...) {
    while (next() != nullptr) {
    }
    throw;
  }
  while (next() != nullptr) {
  }
  if (failure.empty() && !silent_.empty()) failure = silent_;
  std::string ignored;
  Exec("COMMIT", ignored);
  if (failure.empty()) return true;
  error = "cannot read logical_table: " + failure;
  return false;
}

bool PostgresStoreAccess::Replace(const std::vector<StoreRow>& rows, std::string& error,
                                  const Progress& progress) {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const StoreRow& row = rows[i];
    const StoreValue* values[] = {&row.item_id, &row.parent_id, &row.name,
                                  &row.type,    &row.order,     &row.created_time};
    for (std::size_t column = 0; column < 6; ++column) {
      const std::string why = Unstorable(*values[column], column, bytes_);
      if (!why.empty()) {
        error = "the shared store cannot hold item " + std::to_string(i + 1) + ": its " +
                kColumns[column][0] + " is " + why + "; nothing was changed";
        return false;
      }
    }
  }
  if (!HasTable(error)) return false;
  const auto fail = [this, &error](const std::string& reason) {
    error = name_ + ": import failed, the store is unchanged: " + reason;
    std::string ignored;
    Exec("ROLLBACK", ignored);
    return false;
  };
  std::string reason;
  // The store's change lock first, as every server's change takes it before
  // it touches the table, then the table alone: the same order as theirs, so
  // neither waits on the other. A store without a change log has no lock.
  if (!Exec("BEGIN", reason) || !Exec("SET LOCAL lock_timeout = '10s'", reason)) {
    return fail(reason);
  }
  const Result log = Query(
      "SELECT to_regclass('logical_change_log') IS NOT NULL AND "
      "to_regclass('logical_change_trim') IS NOT NULL");
  if (!Succeeded(log)) return fail(Message());
  const bool followed = Text(log, 0, 0) == "t";
  if ((followed && !Exec(PostgresChangeLog::kLockChanges, reason)) ||
      !Exec("LOCK TABLE logical_table IN EXCLUSIVE MODE", reason) ||
      !Exec("DELETE FROM logical_table", reason)) {
    return fail(reason);
  }
  const Result copy = Query(
      "COPY logical_table (uuid, parent_uuid, name, type, order_, "
      "created_time) FROM STDIN");
  if (PQresultStatus(copy.get()) != PGRES_COPY_IN) return fail(Message());
  // The rows go without blocking: a server that stops taking them is given
  // up after the same silence as one that stops answering.
  PQsetnonblocking(connection_, 1);
  std::string chunk;
  bool sent = true;
  for (std::size_t i = 0; sent && i < rows.size(); ++i) {
    const StoreRow& row = rows[i];
    std::size_t column = 0;
    for (const StoreValue* value :
         {&row.item_id, &row.parent_id, &row.name, &row.type, &row.order, &row.created_time}) {
      if (column++ > 0) chunk += '\t';
      AppendCopyField(chunk, *value);
    }
    chunk += '\n';
    if (chunk.size() >= kCopyChunk || i + 1 == rows.size()) {
      sent = SendCopy(chunk.data(), chunk.size());
      chunk.clear();
    }
    if (progress && (i + 1) % kProgressStep == 0) progress(i + 1);
  }
  const std::string why_not_sent = sent ? "" : Message();
  bool ended = sent;
  while (ended) {
    const int queued = PQputCopyEnd(connection_, nullptr);
    if (queued == 1) break;
    ended = queued == 0 && AwaitRoom();
  }
  ended = ended && Flush();
  PQsetnonblocking(connection_, 0);
  if (!sent) return fail(why_not_sent);
  if (!ended) return fail(Message());
  Result copied(nullptr, &PQclear);
  while (PGresult* result = NextResult(connection_, silence_, silent_)) {
    if (copied == nullptr || Succeeded(copied)) {
      copied.reset(result);
    } else {
      PQclear(result);
    }
  }
  if (!silent_.empty() || !Succeeded(copied)) return fail(Message());
  // The servers that follow the store learn that every change up to a new
  // number is gone from the log: they read the whole tree again.
  if (followed &&
      !Exec("WITH replaced AS (SELECT nextval(pg_get_serial_sequence('logical_change_log', "
            "'seq')) AS seq), trimmed AS (UPDATE logical_change_trim SET upto = (SELECT seq "
            "FROM replaced) RETURNING upto) SELECT pg_notify('logical_table_changes', "
            "upto::text) FROM trimmed",
            reason)) {
    return fail(reason);
  }
  if (!Exec("COMMIT", reason)) return fail(reason);
  return true;
}

}  // namespace pga
