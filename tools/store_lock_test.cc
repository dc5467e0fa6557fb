#include "tools/store_lock.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "store/temp_store_dir.h"

namespace pga {

namespace {

// SQLite's result for a read of "group.db" on a connection of its own that
// does not wait for locks.
int Read(sqlite3* db) {
  sqlite3_busy_timeout(db, 0);
  return sqlite3_exec(db, "SELECT count(*) FROM t", nullptr, nullptr, nullptr);
}

// The refusal with a component running, against a real one, is in the
// end-to-end tests; this is the lock's hold afterwards, which they cannot
// time.
TEST(StoreLockTest, RefusesWhileAnotherConnectionIsOpenAndKeepsOthersOutOnceTaken) {
  TempStoreDir dir;
  sqlite3* component = TempStoreDir::Open();
  ASSERT_EQ(sqlite3_exec(component,
                         "PRAGMA journal_mode=wal; CREATE TABLE t(x); INSERT INTO t "
                         "VALUES(1)",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  StorePaths paths;
  std::string error;
  ASSERT_TRUE(StorePaths::Find("", paths, error)) << error;
  {
    StoreLock lock;
    EXPECT_FALSE(lock.Acquire(paths, error));
    EXPECT_NE(error.find("open; stop it first"), std::string::npos) << error;
  }
  // A component that ended without its clean close: the log stays.
  sqlite3_close(component);
  sqlite3* other = TempStoreDir::Open();
  {
    StoreLock lock;
    ASSERT_TRUE(lock.Acquire(paths, error)) << error;
    EXPECT_EQ(Read(other), SQLITE_BUSY);
  }
  EXPECT_EQ(Read(other), SQLITE_OK);
  sqlite3_close(other);
}

// A component whose connection stayed in SQLite's default journal holds no
// lock while idle; its claim on the store still keeps the tree's
// replacement out.
TEST(StoreLockTest, RefusesWhileAComponentClaimsTheStoreWhateverItsJournal) {
  TempStoreDir dir;
  ASSERT_EQ(TempStoreDir::Query("CREATE TABLE t(x)"), TempStoreDir::Rows{});
  StorePaths paths;
  std::string error;
  ASSERT_TRUE(StorePaths::Find("", paths, error)) << error;
  {
    SqliteStoreClaim component;
    ASSERT_EQ(component.TryTake("group.db"), SqliteStoreClaim::Result::kTaken);
    StoreLock lock;
    EXPECT_FALSE(lock.Acquire(paths, error));
    EXPECT_NE(error.find("open; stop it first"), std::string::npos) << error;
  }
  StoreLock lock;
  ASSERT_TRUE(lock.Acquire(paths, error)) << error;
  // ... and, taken, it keeps a component out until it is given up.
  SqliteStoreClaim component;
  EXPECT_EQ(component.TryTake("group.db"), SqliteStoreClaim::Result::kHeld);
}

}  // namespace

}  // namespace pga
