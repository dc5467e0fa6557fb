#include "host/store_paths.h"

#include <system_error>

namespace pga {

namespace fs = std::filesystem;

bool StorePaths::Find(const std::string& data_dir, StorePaths& paths, std::string& error) {
  std::error_code code;
  paths.dir = data_dir.empty() ? fs::current_path(code) : fs::path(data_dir);
  if (!fs::is_directory(paths.dir, code)) {
    error = "no data directory " + paths.dir.string();
    return false;
  }
  paths.db = paths.dir / "group.db";
  paths.wal = paths.dir / "group.db-wal";
  paths.shm = paths.dir / "group.db-shm";
  paths.journal = paths.dir / "group.db-journal";
  if (!fs::is_regular_file(paths.db, code)) {
    error = "no store: " + paths.db.string() + " does not exist";
    return false;
  }
  return true;
}

bool StorePaths::IsStoreFile(const fs::path& path) const {
  std::error_code code;
  const fs::path wanted = fs::weakly_canonical(path, code);
  for (const fs::path* file : {&db, &wal, &shm, &journal}) {
    if (fs::weakly_canonical(*file, code) == wanted) return true;
    if (fs::exists(path, code) && fs::equivalent(path, *file, code)) return true;
  }
  return false;
}

}  // namespace pga
