#include "store/postgres_change_log.h"

#include <algorithm>
#include <cstdio>

namespace pga {

namespace {

// Rows read at most per query; a longer tail is read in several.
constexpr std::size_t kPage = 1000;

// The change's notices in their order, one row each; the answer is the
// first and last number given, and the last is announced at commit.
constexpr char kAppend[] =
    "WITH added AS (INSERT INTO logical_change_log (kind, record)"
    " SELECT kind, record FROM unnest($1::text[], $2::text[])"
    " WITH ORDINALITY AS notice(kind, record, place) ORDER BY place RETURNING seq)"
    " SELECT min(seq), max(seq), pg_notify('logical_table_changes', max(seq)::text) FROM added";

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

void PrintFailure(const char* operation, const PostgresError& error) {
  std::printf("%s %s\n", operation, error.what());
}

}  // namespace

PostgresChangeLog::PostgresChangeLog(std::shared_ptr<PostgresSession> session,
                                     std::shared_ptr<PostgresGroupTable> table,
                                     std::chrono::seconds retention)
    : session_(std::move(session)),
      table_(std::move(table)),
      retention_(retention),
      append_(*session_, kAppend),
      end_(*session_, kEnd),
      read_(*session_, kRead) {}

PostgresChangeLog::~PostgresChangeLog() { StopWatching(); }

bool PostgresChangeLog::CreateTables(std::string& error) {
  return session_->Connected() && session_->Exec(kCreate, error);
}

bool PostgresChangeLog::Append(const std::vector<LoggedNotice>& notices) {
  if (notices.empty()) return true;
  if (!session_->InTransaction() || session_->TransactionFailed()) return false;
  try {
    std::vector<std::string> kinds;
    std::vector<std::string> records;
    for (const LoggedNotice& notice : notices) {
      kinds.push_back(notice.kind);
      records.push_back(notice.record);
    }
    PostgresRows added = append_.Run({TextArray(kinds), TextArray(records)});
    appended_.emplace_back(added.Int(0, 0), added.Int(0, 1));
  } catch (const PostgresError& error) {
    PrintFailure("PostgresChangeLog::Append", error);
    return false;
  }
  return true;
}

void PostgresChangeLog::EndBatch(bool kept) {
  if (kept) own_.insert(own_.end(), appended_.begin(), appended_.end());
  appended_.clear();
}

bool PostgresChangeLog::StartAtEnd() {
  try {
    position_ = end_.Run().Int(0, 0);
  } catch (const PostgresError& error) {
    PrintFailure("PostgresChangeLog::StartAtEnd", error);
    return false;
  }
  ForgetOwnBefore();
  return true;
}

std::optional<LogTail> PostgresChangeLog::ReadNew() {
  std::optional<PostgresRows> read;
  try {
    read.emplace(read_.Run({std::to_string(position_)}));
  } catch (const PostgresError& error) {
    PrintFailure("PostgresChangeLog::ReadNew", error);
    return std::nullopt;
  }
  const PostgresRows& rows = *read;
  LogTail tail;
  int next = 0;
  if (rows.size() > 0 && rows.Int(0, 0) == 0) {
    tail.lost = rows.Int(0, 1) > position_;
    next = 1;
  }
  const bool full = static_cast<std::size_t>(rows.size() - next) == kPage;
  const int first_row = next;
  bool other_met = false;
  while (!tail.lost && next < rows.size()) {
    // One change: the rows of one transaction, which lie side by side.
    const int64_t transaction = rows.Int(next, 1);
    int end = next;
    while (end < rows.size() && rows.Int(end, 1) == transaction) ++end;
    // On a full page the last change may go on in the next one.
    if (full && end == rows.size() && next > first_row) break;
    const int64_t last = rows.Int(end - 1, 0);
    if (!IsOwn(rows.Int(next, 0))) {
      other_met = true;
      LoggedChange& change = tail.changes.emplace_back();
      change.seq = last;
      for (int i = next; i < end; ++i) {
        change.notices.push_back(LoggedNotice{rows.Text(i, 2), rows.Text(i, 3)});
      }
    } else if (!other_met) {
      // Ours, and nothing of another server's before it: read past it.
      position_ = last;
    }
    next = end;
  }
  ForgetOwnBefore();
  return tail;
}

void PostgresChangeLog::MarkApplied(int64_t seq) {
  position_ = std::max(position_, seq);
  ForgetOwnBefore();
}

bool PostgresChangeLog::IsOwn(int64_t seq) const {
  return std::any_of(own_.begin(), own_.end(), [seq](const auto& range) {
    return range.first <= seq && seq <= range.second;
  });
}

void PostgresChangeLog::ForgetOwnBefore() {
  own_.erase(std::remove_if(own_.begin(), own_.end(),
                            [this](const auto& range) { return range.second <= position_; }),
             own_.end());
}

std::optional<GroupOrderItems> PostgresChangeLog::ReadItems(const std::vector<std::string>& ids) {
  return table_->ReadItems(ids);
}

bool PostgresChangeLog::ReadAllItems(const StoredRowSink& take) {
  return table_->ReadAllItems(take);
}

void PostgresChangeLog::Watch(std::function<bool()> wake) {
  if (!listener_)
    listener_ = std::make_unique<PostgresListener>(session_->conninfo(), kChannel, retention_,
                                                   session_->silence());
  listener_->Start(std::move(wake));
}

void PostgresChangeLog::StopWatching() {
  if (listener_) listener_->Stop();
}

void PostgresChangeLog::Nudge() {
  if (listener_) listener_->Nudge();
}

}  // namespace pga
