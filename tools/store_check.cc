#include "tools/store_check.h"

#include <sqlite3.h>

#include <utility>

#include "tools/sqlite_statement.h"
#include "tools/store_table.h"
#include "store/text_bytes.h"
#include "tools/tree_document.h"

namespace pga {

const char kStoreTableSql[] =
    "CREATE TABLE logical_table (uuid TEXT PRIMARY KEY NOT NULL,parent_uuid TEXT ,name "
    "VARCHAR(32),type TEXT,order_ INTEGER,created_time INTEGER)";
const char kStoreIndexSql[2][160] = {
    "CREATE INDEX logical_table_parent_order ON logical_table (parent_uuid, order_)",
    "CREATE INDEX logical_table_group_order ON logical_table (parent_uuid, order_) WHERE "
    "type='Group' AND parent_uuid IS NOT NULL"};

namespace {

Finding IntegrityFinding(std::string message) {
  Finding finding;
  finding.kind = "integrity";
  finding.message = std::move(message);
  return finding;
}

Finding SchemaFinding(std::string message) {
  Finding finding;
  finding.kind = "schema";
  finding.message = std::move(message);
  return finding;
}

std::string ColumnText(sqlite3_stmt* statement, int index) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
  return text != nullptr ? std::string(text, sqlite3_column_bytes(statement, index)) : "";
}

// Whether the schema row (type, name, sql) is one the component creates.
bool IsOwnObject(const std::string& type, const std::string& name, const std::string& sql,
                 bool sql_null) {
  if (type == "table" && name == "logical_table") return sql == kStoreTableSql;
  if (type == "index" && name == "sqlite_autoindex_logical_table_1") return sql_null;
  if (type == "index" && name == "logical_table_parent_order") return sql == kStoreIndexSql[0];
  if (type == "index" && name == "logical_table_group_order") return sql == kStoreIndexSql[1];
  // The statistics ANALYZE keeps belong to SQLite itself.
  return type == "table" && name.rfind("sqlite_stat", 0) == 0;
}

}  // namespace

bool CheckSchema(SqliteConnection& connection, std::vector<Finding>& findings,
                 std::string& error) {
  SqliteStatement schema(connection,
                         "SELECT type, name, tbl_name, sql FROM sqlite_schema ORDER BY rowid");
  while (schema.Next()) {
    sqlite3_stmt* row = schema.get();
    const std::string type = ColumnText(row, 0);
    const std::string name = ColumnText(row, 1);
    const std::string table = ColumnText(row, 2);
    const std::string sql = ColumnText(row, 3);
    if (IsOwnObject(type, name, sql, sqlite3_column_type(row, 3) == SQLITE_NULL)) continue;
    if (type == "table" && name == "logical_table") {
      findings.push_back(SchemaFinding(
          "logical_table is not the table the component creates (its primary key, columns "
          "or constraints differ): " +
          QuoteText(sql)));
    } else {
      findings.push_back(SchemaFinding(
          (type == "index" ? "an " : "a ") + type + " the component does not create: " + QuoteText(name) +
          (table != name ? " on " + QuoteText(table) : std::string()) +
          (sql.empty() ? std::string() : ": " + QuoteText(sql))));
    }
  }
  if (schema.failed()) {
    error = "cannot read the schema: " + connection.Message();
    return false;
  }
  return true;
}

bool StoreCheck::Run(StoreAccess& store, std::string& error) {
  findings_.clear();
  bool read = true;
  std::string unreadable;
  std::vector<Finding> tree;
  std::size_t items = 0;
  const auto check_rows = [&](bool rows_read, std::vector<StoreRow>& rows, const std::string& why) {
    read = rows_read;
    unreadable = why;
    // The rows read before a failure are not the tree: checking them would
    // report parents as missing that are only unreadable.
    if (!read) rows.clear();
    tree = CheckTree(rows);
    items = rows.size();
    std::vector<StoreRow>().swap(rows);
  };
  if (!store.CheckAndRead(findings_, check_rows, error)) return false;
  if (!read) findings_.push_back(IntegrityFinding(unreadable));
  findings_.insert(findings_.end(), std::make_move_iterator(tree.begin()),
                   std::make_move_iterator(tree.end()));
  items_ = items;
  problems_ = CountProblems(findings_);
  return true;
}

void StoreCheck::RunOnRows(const std::vector<StoreRow>& rows) {
  findings_ = CheckTree(rows);
  items_ = rows.size();
  problems_ = CountProblems(findings_);
}

bool StoreCheck::Sound(bool strict) const {
  return problems_ == 0 && (!strict || findings_.empty());
}

std::vector<std::string> StoreCheck::Lines() const {
  std::vector<std::string> lines;
  for (const Finding& finding : findings_) lines.push_back(finding.Line());
  const std::size_t warnings = findings_.size() - problems_;
  lines.push_back(std::string(problems_ == 0 ? "sound" : "not sound") + ": " +
                  std::to_string(items_) + " items, " + std::to_string(problems_) +
                  (problems_ == 1 ? " problem, " : " problems, ") + std::to_string(warnings) +
                  (warnings == 1 ? " warning" : " warnings"));
  return lines;
}

std::vector<std::string> StoreCheck::ProblemLines() const {
  std::vector<std::string> lines;
  for (const Finding& finding : findings_) {
    if (finding.severity == Finding::Severity::kProblem) lines.push_back(finding.Line());
  }
  return lines;
}

std::string StoreCheck::FailureJson(const std::string& store, const std::string& error) {
  rapidjson::StringBuffer buffer;
  JsonWriter writer(buffer);
  writer.StartObject();
  writer.Key("store");
  WriteStoreValue(writer, StoreValue::Text(store));
  writer.Key("sound");
  writer.Bool(false);
  writer.Key("error");
  WriteStoreValue(writer, StoreValue::Text(error));
  writer.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

std::string StoreCheck::Json(const std::string& store, bool strict) const {
  rapidjson::StringBuffer buffer;
  JsonWriter writer(buffer);
  const auto text = [&writer](const std::string& value) {
    writer.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
  };
  writer.StartObject();
  writer.Key("store");
  WriteStoreValue(writer, StoreValue::Text(store));
  writer.Key("items");
  writer.Uint64(items_);
  writer.Key("sound");
  writer.Bool(Sound(strict));
  writer.Key("problems");
  writer.Uint64(problems_);
  writer.Key("warnings");
  writer.Uint64(findings_.size() - problems_);
  writer.Key("findings");
  writer.StartArray();
  for (const Finding& finding : findings_) {
    writer.StartObject();
    writer.Key("severity");
    writer.String(finding.severity == Finding::Severity::kProblem ? "problem" : "warning");
    writer.Key("kind");
    text(finding.kind);
    writer.Key("items");
    writer.StartArray();
    for (const StoreValue& id : finding.items) WriteStoreValue(writer, id);
    writer.EndArray();
    writer.Key("hides");
    writer.Uint64(finding.hides);
    writer.Key("message");
    text(finding.message);
    writer.EndObject();
  }
  writer.EndArray();
  writer.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace pga
