// StoreCheck: whether a database is a sound group store: SQLite's
// integrity_check first, then the tree's rules over its rows.
#ifndef PGA_HOST_STORE_CHECK_H_
#define PGA_HOST_STORE_CHECK_H_

#include <cstddef>
#include <string>
#include <vector>

#include "host/sqlite_connection.h"
#include "host/store_row.h"
#include "host/tree_checker.h"

namespace pga {

class StoreCheck {
 public:
  // Checks the database open on `connection`. Fails with a one-line reason
  // when it cannot be read as a group store at all (not a database, no
  // table logical_table); damage that integrity_check reports, rows that
  // cannot be read and broken tree rules are findings instead.
  bool Run(SqliteConnection& connection, std::string& error);
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

 private:
  std::size_t items_ = 0;
  std::vector<Finding> findings_;
  std::size_t problems_ = 0;
};

}  // namespace pga

#endif  // PGA_HOST_STORE_CHECK_H_
