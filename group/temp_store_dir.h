// Test support: a fresh working directory for one store test, and a look at
// "group.db" through SQLite itself rather than through the code under test.
#ifndef PGA_GROUP_TEMP_STORE_DIR_H_
#define PGA_GROUP_TEMP_STORE_DIR_H_

#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

// Makes a new temporary directory and changes into it, since the store opens
// "group.db" relative to the current directory; goes back to the previous
// directory and deletes the new one when destroyed.
class TempStoreDir {
 public:
  TempStoreDir() : previous_(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "group_store_XXXXXX").string();
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

  // Rows of `sql` run on "group.db" with a connection of its own; NULL reads
  // as "<null>". Throws with SQLite's message when the statement fails.
  static std::vector<std::vector<std::string>> Query(const std::string& sql) {
    sqlite3* db = Open();
    sqlite3_stmt* statement = nullptr;
    std::vector<std::vector<std::string>> rows;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) Fail(db);
    while (sqlite3_step(statement) == SQLITE_ROW) {
      std::vector<std::string>& row = rows.emplace_back();
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        const unsigned char* text = sqlite3_column_text(statement, i);
        row.push_back(text ? reinterpret_cast<const char*>(text) : "<null>");
      }
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
  }

  // Runs `sql` (one or more statements) on "group.db".
  static void Exec(const std::string& sql) {
    sqlite3* db = Open();
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail(db);
    sqlite3_close(db);
  }

  // A connection of the test's own; the caller closes it.
  static sqlite3* Open() {
    sqlite3* db = nullptr;
    if (sqlite3_open("group.db", &db) != SQLITE_OK) Fail(db);
    return db;
  }

 private:
  [[noreturn]] static void Fail(sqlite3* db) {
    std::string message = sqlite3_errmsg(db);
    sqlite3_close(db);
    throw std::runtime_error(message);
  }

  std::filesystem::path previous_;
  std::filesystem::path path_;
};

#endif  // PGA_GROUP_TEMP_STORE_DIR_H_
