#include "store/postgres_change_log.h"

#include <Poco/Data/Statement.h>
#include <Poco/Tuple.h>

#include <algorithm>
#include <cstdio>

using Poco::Data::Keywords::into;
using Poco::Data::Keywords::use;

namespace {

// Rows read at most per query; a longer tail is read in several.
constexpr std::size_t kPage = 1000;

// One lock for every writer of the log, held until its commit: numbers are
// handed out in commit order. (Parents are locked under the key 25067.)
constexpr char kLockLog[] = "SELECT 1 FROM pg_advisory_xact_lock(25068, 0)";

// The change's notices in their order, one row each; the answer is the
// first and last number given, and the last is announced at commit.
constexpr char kAppend[] =
    "WITH added AS (INSERT INTO logical_change_log (kind, record)"
    " SELECT kind, record FROM unnest($1::text[], $2::text[])"
    " WITH ORDINALITY AS notice(kind, record, place) ORDER BY place RETURNING seq)"
    " SELECT min(seq), max(seq),"
    " length(pg_notify('logical_table_changes', max(seq)::text)::text) FROM added";

// The log's end: the last number committed, or trimmed if all are.
constexpr char kEnd[] =
    "SELECT GREATEST(COALESCE((SELECT MAX(seq) FROM logical_change_log), 0),"
    " COALESCE((SELECT MAX(upto) FROM logical_change_trim), 0))";

// A page of the log after $1, led by a row numbered 0 that carries the
// largest number trimmed in its second column.
constexpr char kRead[] =
    "SELECT seq, xact, kind, record FROM ("
    "SELECT 0::bigint AS seq, upto AS xact, ''::text AS kind, ''::text AS record"
    " FROM logical_change_trim UNION ALL"
    " (SELECT seq, xact, kind, record FROM logical_change_log WHERE seq > $1"
    " ORDER BY seq LIMIT 1000)) AS tail ORDER BY seq";

constexpr char kCreate[] =
    "CREATE TABLE IF NOT EXISTS logical_change_log (seq BIGSERIAL PRIMARY KEY,"
    " xact BIGINT NOT NULL DEFAULT txid_current(),"
    " logged_at TIMESTAMPTZ NOT NULL DEFAULT now(), kind TEXT NOT NULL, record TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS logical_change_log_logged_at ON logical_change_log (logged_at);"
    "CREATE TABLE IF NOT EXISTS logical_change_trim (upto BIGINT NOT NULL);"
    "INSERT INTO logical_change_trim SELECT 0"
    " WHERE NOT EXISTS (SELECT 1 FROM logical_change_trim)";

using LogRow = Poco::Tuple<int64_t, int64_t, std::string, std::string>;

// The `field` of each notice as the text of a PostgreSQL array of texts,
// each element quoted with its quotes and backslashes escaped.
std::string ArrayOf(const std::vector<LoggedNotice>& notices, std::string LoggedNotice::*field) {
  std::string literal = "{";
  for (const LoggedNotice& notice : notices) {
    if (literal.size() > 1) literal += ',';
    literal += '"';
    for (char c : notice.*field) {
      if (c == '\0') break;
      if (c == '"' || c == '\\') literal += '\\';
      literal += c;
    }
    literal += '"';
  }
  return literal + "}";
}

void PrintFailure(const char* operation, const Poco::Exception& error) {
  std::printf("%s %s\n", operation, OneLine(error.displayText()).c_str());
}

}  // namespace

struct PostgresChangeLog::Bound {
  std::string kinds;
  std::string records;
  int64_t first = 0;
  int64_t last = 0;
  int32_t notified = 0;
  int32_t locked = 0;
  int64_t end = 0;
  int64_t after = 0;
  std::vector<LogRow> rows;
};

PostgresChangeLog::PostgresChangeLog(std::shared_ptr<PostgresSession> session,
                                     std::shared_ptr<PostgresGroupTable> table,
                                     std::chrono::seconds retention)
    : session_(std::move(session)),
      table_(std::move(table)),
      retention_(retention),
      bound_(std::make_unique<Bound>()),
      lock_(*session_, kLockLog,
            [this](Poco::Data::Statement& s) { s.addExtract(into(bound_->locked)); }),
      append_(*session_, kAppend,
              [this](Poco::Data::Statement& s) {
                s.addBind(use(bound_->kinds));
                s.addBind(use(bound_->records));
                s.addExtract(into(bound_->first));
                s.addExtract(into(bound_->last));
                s.addExtract(into(bound_->notified));
              }),
      end_(*session_, kEnd, [this](Poco::Data::Statement& s) { s.addExtract(into(bound_->end)); }),
      read_(*session_, kRead, [this](Poco::Data::Statement& s) {
        s.addBind(use(bound_->after));
        s.addExtract(into(bound_->rows));
      }) {}

PostgresChangeLog::~PostgresChangeLog() { StopWatching(); }

bool PostgresChangeLog::CreateTables(std::string& error) {
  return session_->Connected() && session_->Exec(kCreate, error);
}

bool PostgresChangeLog::Append(const std::vector<LoggedNotice>& notices) {
  if (notices.empty()) return true;
  if (!session_->InTransaction() || session_->TransactionFailed()) return false;
  bound_->kinds = ArrayOf(notices, &LoggedNotice::kind);
  bound_->records = ArrayOf(notices, &LoggedNotice::record);
  try {
    lock_.Run();
    append_.Run();
  } catch (const Poco::Exception& error) {
    PrintFailure("PostgresChangeLog::Append", error);
    return false;
  }
  appended_.emplace_back(bound_->first, bound_->last);
  return true;
}

void PostgresChangeLog::EndBatch(bool kept) {
  if (kept) own_.insert(own_.end(), appended_.begin(), appended_.end());
  appended_.clear();
}

bool PostgresChangeLog::StartAtEnd() {
  try {
    end_.Run();
  } catch (const Poco::Exception& error) {
    PrintFailure("PostgresChangeLog::StartAtEnd", error);
    return false;
  }
  position_ = bound_->end;
  ForgetOwnBefore();
  return true;
}

std::optional<LogTail> PostgresChangeLog::ReadNew() {
  std::vector<LogRow>& rows = bound_->rows;
  rows.clear();
  bound_->after = position_;
  try {
    read_.Run();
  } catch (const Poco::Exception& error) {
    rows.clear();
    PrintFailure("PostgresChangeLog::ReadNew", error);
    return std::nullopt;
  }
  LogTail tail;
  std::size_t next = 0;
  if (!rows.empty() && rows.front().get<0>() == 0) {
    tail.lost = rows.front().get<1>() > position_;
    next = 1;
  }
  const bool full = rows.size() - next == kPage;
  const std::size_t first_row = next;
  bool other_met = false;
  while (!tail.lost && next < rows.size()) {
    // One change: the rows of one transaction, which lie side by side.
    std::size_t end = next;
    while (end < rows.size() && rows[end].get<1>() == rows[next].get<1>()) ++end;
    // On a full page the last change may go on in the next one.
    if (full && end == rows.size() && next > first_row) break;
    const int64_t last = rows[end - 1].get<0>();
    if (!IsOwn(rows[next].get<0>())) {
      other_met = true;
      LoggedChange& change = tail.changes.emplace_back();
      change.seq = last;
      for (std::size_t i = next; i < end; ++i) {
        change.notices.push_back(
            LoggedNotice{std::move(rows[i].get<2>()), std::move(rows[i].get<3>())});
      }
    } else if (!other_met) {
      // Ours, and nothing of another server's before it: read past it.
      position_ = last;
    }
    next = end;
  }
  rows.clear();
  ForgetOwnBefore();
  return tail;
}

void PostgresChangeLog::MarkApplied(int64_t seq) {
  position_ = std::max(position_, seq);
  ForgetOwnBefore();
}

bool PostgresChangeLog::IsOwn(int64_t seq) const {
  return std::any_of(own_.begin(), own_.end(),
                     [seq](const auto& range) { return range.first <= seq && seq <= range.second; });
}

void PostgresChangeLog::ForgetOwnBefore() {
  own_.erase(std::remove_if(own_.begin(), own_.end(),
                            [this](const auto& range) { return range.second <= position_; }),
             own_.end());
}

std::optional<GroupOrderItems> PostgresChangeLog::ReadItems(const std::vector<std::string>& ids) {
  return table_->ReadItems(ids);
}

std::optional<GroupOrderItems> PostgresChangeLog::ReadAllItems() { return table_->ReadAll(); }

void PostgresChangeLog::Watch(std::function<bool()> wake) {
  if (!listener_) listener_ = std::make_unique<PostgresListener>(session_->conninfo(), kChannel, retention_);
  listener_->Start(std::move(wake));
}

void PostgresChangeLog::StopWatching() {
  if (listener_) listener_->Stop();
}
