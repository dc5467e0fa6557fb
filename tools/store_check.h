// StoreCheck: whether a database is a sound group store: SQLite's
// integrity_check first, then its schema (exactly the table and indexes the
// component creates, nothing else: a trigger, a view, another index or a
// table without its primary key changes what every write does), then the
// tree's rules over its rows.
#ifndef PGA_TOOLS_STORE_CHECK_H_
#define PGA_TOOLS_STORE_CHECK_H_

#include <cstddef>
#include <string>
#include <vector>

#include "tools/sqlite_connection.h"
#include "tools/store_access.h"
#include "tools/store_row.h"
#include "tools/tree_checker.h"

namespace pga {

// The statements the component creates its table and indexes with, as
// SQLite keeps them in sqlite_schema. A store of an older build may lack
// the two indexes, which the component adds at its next start.
extern const char kStoreTableSql[];
extern const char kStoreIndexSql[2][160];

// Findings for every object of the database at `connection` that the
// component does not create, and for a table logical_table of another
// form. False with a reason when the schema cannot be read.
bool CheckSchema(SqliteConnection& connection, std::vector<Finding>& findings,
                 std::string& error);

class StoreCheck {
 public:
  // Checks `store`. Fails with a one-line reason when it cannot be read as
  // a group store at all (not a database, no table logical_table); damage
  // the store reports, objects the component does not create, rows that
  // cannot be read and broken tree rules are findings instead.
  bool Run(StoreAccess& store, std::string& error);
  // Checks rows that are not in a store (a document to import).
  void RunOnRows(const std::vector<StoreRow>& rows);

  // Sound: no problems, and with `strict` no warnings either.
  bool Sound(bool strict) const;
  std::size_t problems() const { return problems_; }

  // One line per finding, then a summary line.
  std::vector<std::string> Lines() const;
  // Only the problems' lines.
  std::vector<std::string> ProblemLines() const;
  // One JSON document: {"store", "items", "sound", "problems", "warnings",
  // "findings": [{"severity", "kind", "items", "hides", "message"}]}.
  std::string Json(const std::string& store, bool strict) const;
  // The document of a check that could not run: {"store", "sound": false,
  // "error"}.
  static std::string FailureJson(const std::string& store, const std::string& error);

 private:
  std::size_t items_ = 0;
  std::vector<Finding> findings_;
  std::size_t problems_ = 0;
};

}  // namespace pga

#endif  // PGA_TOOLS_STORE_CHECK_H_
