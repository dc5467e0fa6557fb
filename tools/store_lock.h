// StoreLock: sole hold of a store, taken only when no component (and no
// other program) has it open, and kept until destroyed.
//
// A component keeps its connection open for its whole life in write-ahead
// mode, and such a connection holds SQLite's shared lock on group.db from
// its first read until it closes. The lock is taken by a connection in
// exclusive locking mode that gives up at once when busy: it must take
// SQLite's exclusive lock on the file to leave write-ahead mode and again to
// begin an exclusive transaction, and in exclusive locking mode it keeps that
// lock until it closes. Any other open connection in write-ahead mode makes
// it fail. (In the default journal mode an idle connection holds no lock at
// all and cannot be seen that way; the component uses that mode only when
// it could not switch to write-ahead.) A component also claims its store
// for its whole life (SqliteStoreClaim), whatever its journal; the lock
// claims it too, so that a component started meanwhile waits for it.
#ifndef PGA_TOOLS_STORE_LOCK_H_
#define PGA_TOOLS_STORE_LOCK_H_

#include <string>

#include "store/sqlite_store_claim.h"
#include "tools/sqlite_connection.h"
#include "tools/store_paths.h"

namespace pga {

class StoreLock {
 public:
  StoreLock() = default;
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

  // Opens the store read-write (never creating it) and takes the lock.
  // Committed changes in a log left by a crash are folded into group.db
  // first, and the stale log files are removed. Fails with a one-line
  // reason, which says so when another connection has the store open.
  bool Acquire(const StorePaths& paths, std::string& error);

  // The locked connection, in the default journal mode, for the writes.
  SqliteConnection& connection() { return connection_; }

 private:
  // Declared first, so that it is given up after the connection closed.
  SqliteStoreClaim claim_;
  SqliteConnection connection_;
};

}  // namespace pga

#endif  // PGA_TOOLS_STORE_LOCK_H_
