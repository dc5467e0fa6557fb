// StorePaths: where a data directory keeps its store, "group.db", and the
// files SQLite keeps beside it while the store is open or after a crash.
#ifndef PGA_HOST_STORE_PATHS_H_
#define PGA_HOST_STORE_PATHS_H_

#include <filesystem>
#include <string>

namespace pga {

struct StorePaths {
  // The paths of the store in `data_dir` (the current directory when
  // empty). Fails with a one-line reason when the directory or the store
  // file does not exist; creates nothing.
  static bool Find(const std::string& data_dir, StorePaths& paths, std::string& error);

  // True when `path` names the store or one of its side files, by another
  // spelling or by another link included.
  bool IsStoreFile(const std::filesystem::path& path) const;

  std::filesystem::path dir;
  std::filesystem::path db;       // group.db
  std::filesystem::path wal;      // group.db-wal, the write-ahead log
  std::filesystem::path shm;      // group.db-shm, the log's index
  std::filesystem::path journal;  // group.db-journal, the rollback journal
};

}  // namespace pga

#endif  // PGA_HOST_STORE_PATHS_H_
