// StoredTree: what "group.db" holds, read through SQLite itself, and the
// changes that the store's writes make to it. Tests compare the two to check
// that the store kept what it acknowledged.
#ifndef PGA_DOUBLES_STORED_TREE_H_
#define PGA_DOUBLES_STORED_TREE_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "doubles/recording_repository.h"

namespace pga {

// One row of "logical_table", as stored.
struct StoredTreeRow {
  std::string parent;
  std::string name;
  std::string type;
  int64_t order = 0;
  int64_t created = 0;
  bool operator==(const StoredTreeRow& other) const;
};

struct StoredTree {
  // False when the file holds no "logical_table" (never made, or dropped).
  bool has_table = false;
  std::map<std::string, StoredTreeRow> rows;

  bool operator==(const StoredTree& other) const {
    return has_table == other.has_table && rows == other.rows;
  }
  bool operator!=(const StoredTree& other) const { return !(*this == other); }

  // Reads "group.db" in the current directory through the SQLite VFS named
  // `vfs` (null: the default), read-write so that a journal left behind is
  // applied as any reader would. With `integrity` set, also runs PRAGMA
  // integrity_check and puts its answer there ("ok" when whole). Nullopt,
  // with the reason in `error`, when the file cannot be read.
  static std::optional<StoredTree> Read(const char* vfs, std::string* integrity,
                                        std::string& error);

  // What the table holds after `write` ran on it and the store kept it:
  // INSERT OR REPLACE for a save, order and parent of existing rows for an
  // update, a deleted row for a remove, no table after a clear. Writes to
  // tables other than key 0 change nothing.
  void Apply(const StoreWrite& write);

  // The tables this one may become when the store's transactions `units`
  // run on it: a unit the store acknowledged keeps the writes it
  // acknowledged; one it refused keeps nothing, or, as a change it could
  // not confirm, every write it acknowledged or all of its writes. Past a
  // handful of refused units only the first 27 outcomes are kept.
  std::vector<StoredTree> Outcomes(const std::vector<StoreUnit>& units) const;

  // The rows that differ from `other`, at most `limit` of them, for reports.
  std::string Difference(const StoredTree& other, int limit = 3) const;
};

}  // namespace pga

#endif  // PGA_DOUBLES_STORED_TREE_H_
