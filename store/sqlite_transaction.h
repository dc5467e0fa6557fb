// One transaction on the SQLite session of the group store.
#ifndef PGA_STORE_SQLITE_TRANSACTION_H_
#define PGA_STORE_SQLITE_TRANSACTION_H_

#include <functional>

namespace Poco::Data {
class Session;
}  // namespace Poco::Data

namespace pga {

// Begins a transaction on `session` when constructed and keeps its changes
// only when Commit() succeeds: destroyed without a successful Commit()
// (after a failure, or while an exception passes), it rolls back whatever
// SQLite still holds open. Failures are written to standard output as
// "<operation> <text>", `operation` being the name given to the constructor
// and the text the SQLite connector's message or the reason below.
//
// A transaction fails when it cannot begin, and when a write fails in one of
// two ways after which committing would acknowledge writes that were never
// made: SQLite ended the transaction itself (a full disk, an I/O error), so
// that the writes before were undone and the later ones would each be kept
// on their own ("transaction ended by a failed write"); or the write met a
// lock that another connection kept past the lock wait ("a write could not
// take the write lock"). A failed transaction runs no more writes and is
// rolled back instead of committed. Any other failed write (a statement
// that does not prepare, a read-only file, a constraint) fails alone: it
// has printed its line and changed nothing, and the transaction goes on.
//
// Not thread-safe: the session is used from one thread at a time.
class SqliteTransaction {
 public:
  // `session` must outlive the transaction; `operation` is a literal.
  SqliteTransaction(Poco::Data::Session& session, const char* operation);
  SqliteTransaction(const SqliteTransaction&) = delete;
  SqliteTransaction& operator=(const SqliteTransaction&) = delete;
  ~SqliteTransaction();

  // Runs `write`, a statement that answers whether it succeeded, inside the
  // transaction, and gives its answer; false without running it once the
  // transaction has failed. After a failed write, `write_met_lock` tells whether
  // it failed on a lock of another connection.
  bool Write(const std::function<bool()>& write, const std::function<bool()>& write_met_lock);

  bool failed() const { return failed_; }
  // Whether the transaction failed on a lock of another connection: a
  // write, the begin or the commit met SQLITE_BUSY or SQLITE_LOCKED.
  bool met_lock() const { return met_lock_; }

  // Ends the transaction: writes the line of a write that failed it, then
  // commits unless it failed. True when the changes are kept; a commit that
  // fails is rolled back. Call once, after the last write.
  bool Commit();

 private:
  // True while SQLite holds a transaction open on the session.
  bool Open() const;
  // Ends what is still open without keeping it. A failed COMMIT leaves the
  // transaction open, and the next begin would fail because of it.
  void RollBack();

  Poco::Data::Session& session_;
  const char* operation_;
  bool failed_ = false;
  // Why a write failed the transaction, or null.
  const char* write_failure_ = nullptr;
  bool committed_ = false;
  bool met_lock_ = false;
};

}  // namespace pga

#endif  // PGA_STORE_SQLITE_TRANSACTION_H_
