// SqliteStoreClaim: at most one component serves a SQLite store.
//
// A component keeps the tree in memory and writes rows from what it holds,
// so two components on one group.db would each overwrite what the other
// acknowledged (a move undone, a deleted group back) and never hear of the
// other's changes. A component therefore claims its store for its whole
// life, and the store verbs that replace the tree claim it while they work.
//
// The claim is an exclusive flock(2) on the directory that holds the
// database file: the kernel drops it when the process ends, however it
// ends, so nothing stale is ever left behind. The directory is locked, not
// the file, because closing any descriptor of group.db in this process
// would drop the POSIX locks that SQLite's own connections hold on it.
#ifndef PGA_STORE_SQLITE_STORE_CLAIM_H_
#define PGA_STORE_SQLITE_STORE_CLAIM_H_

#include <string>

namespace pga {

class SqliteStoreClaim {
 public:
  enum class Result {
    kTaken,       // this object holds the claim now (or held it already)
    kHeld,        // someone else holds it
    kImpossible,  // the file system takes no such lock; see reason()
  };

  SqliteStoreClaim() = default;
  SqliteStoreClaim(const SqliteStoreClaim&) = delete;
  SqliteStoreClaim& operator=(const SqliteStoreClaim&) = delete;
  // Gives the claim up.
  ~SqliteStoreClaim();

  // Claims the store whose database file is `database_file` without
  // waiting. The file need not exist yet; symbolic links are followed, so
  // every name of one store gives one claim.
  Result TryTake(const std::string& database_file);

  // The directory claimed (or tried), for messages.
  const std::string& directory() const { return directory_; }
  // Why the claim was impossible.
  const std::string& reason() const { return reason_; }

 private:
  // Opens the directory once; false with reason_ set when it cannot.
  bool OpenDirectory(const std::string& database_file);

  int directory_fd_ = -1;
  bool held_ = false;
  std::string directory_;
  std::string reason_;
};

}  // namespace pga

#endif  // PGA_STORE_SQLITE_STORE_CLAIM_H_
