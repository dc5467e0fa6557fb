#include "host/store_check.h"

#include <utility>

#include "host/store_table.h"
#include "host/tree_document.h"

namespace pga {

namespace {

// integrity_check lines shown at most; a badly damaged file gives many.
constexpr std::size_t kIntegrityLines = 10;

Finding IntegrityFinding(std::string message) {
  Finding finding;
  finding.kind = "integrity";
  finding.message = std::move(message);
  return finding;
}

}  // namespace

bool StoreCheck::Run(SqliteConnection& connection, std::string& error) {
  StoreTable table(connection);
  if (!table.Verify(error)) return false;
  findings_.clear();
  std::vector<std::string> damage;
  if (!connection.IntegrityCheck(damage, error)) {
    // A writer that would not let go is a reason to give up; damage so bad
    // that integrity_check stops is one more finding.
    if (connection.WasBusy()) return false;
    damage.insert(damage.begin(), error);
  }
  for (std::size_t i = 0; i < damage.size() && i < kIntegrityLines; ++i) {
    findings_.push_back(IntegrityFinding(damage[i]));
  }
  if (damage.size() > kIntegrityLines) {
    findings_.push_back(IntegrityFinding(std::to_string(damage.size() - kIntegrityLines) +
                                         " more lines from integrity_check"));
  }
  std::vector<StoreRow> rows;
  std::string unreadable;
  if (!table.Read(rows, unreadable)) {
    // The rows read before the failure are not the tree: checking them
    // would report parents as missing that are only unreadable.
    findings_.push_back(IntegrityFinding(unreadable));
    rows.clear();
  }
  std::vector<Finding> tree = CheckTree(rows);
  findings_.insert(findings_.end(), std::make_move_iterator(tree.begin()),
                   std::make_move_iterator(tree.end()));
  items_ = rows.size();
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
