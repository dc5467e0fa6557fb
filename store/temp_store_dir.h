// Test support: a fresh working directory for one store test, and a look at
// "group.db" through SQLite itself rather than through the code under test.
#ifndef PGA_STORE_TEMP_STORE_DIR_H_
#define PGA_STORE_TEMP_STORE_DIR_H_

#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace pga {

// Makes a temporary directory and changes into it, since the store opens
// "group.db" relative to the current directory; when destroyed, goes back to
// the previous directory and deletes the temporary one.
class TempStoreDir {
 public:
  using Rows = std::vector<std::vector<std::string>>;

  // The directory is made inside `base`.
  explicit TempStoreDir(const std::filesystem::path& base = std::filesystem::temp_directory_path())
      : previous_(std::filesystem::current_path()) {
    std::string pattern = (base / "group_store_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    std::filesystem::current_path(path_);
  }
  TempStoreDir(const TempStoreDir&) = delete;
  TempStoreDir& operator=(const TempStoreDir&) = delete;
  ~TempStoreDir() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
  }

  // A connection of the caller's own to "group.db"; the caller closes it.
  static sqlite3* Open() {
    sqlite3* db = nullptr;
    sqlite3_open("group.db", &db);
    return db;
  }

  // Runs `sql` on "group.db" and gives its rows as texts ("<null>" for NULL).
  // Throws SQLite's message when `sql` fails.
  static Rows Query(const std::string& sql) {
    Rows rows;
    auto add_row = [](void* out, int columns, char** values, char**) {
      auto& row = static_cast<Rows*>(out)->emplace_back();
      for (int i = 0; i < columns; ++i) row.push_back(values[i] ? values[i] : "<null>");
      return 0;
    };
    sqlite3* db = Open();
    char* error = nullptr;
    sqlite3_exec(db, sql.c_str(), add_row, &rows, &error);
    sqlite3_close(db);
    if (error != nullptr) {
      std::string message = error;
      sqlite3_free(error);
      throw std::runtime_error(message);
    }
    return rows;
  }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

}  // namespace pga

#endif  // PGA_STORE_TEMP_STORE_DIR_H_
