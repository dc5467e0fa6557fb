// StoreTools: the store verbs (group_host's tree, check, backup, restore,
// export and import). They work without the plug-in
// on group.db through SQLite itself: read-only where they only read (tree,
// check, backup, export, and restore's source), and only while no component
// holds the store where they write (restore, import). check, export and
// import work the same on a shared PostgreSQL store (--store or PGA_STORE);
// backup and restore of that store are PostgreSQL's own tools. None of them
// creates a directory or a store.
//
// Exit statuses: 0 done (check: sound), 1 problems found (check) or input
// refused for its problems (restore, import), 2 cannot work (bad input,
// missing store, a component holds the store, a file that cannot be
// written); a failure prints one line on the error stream and changes
// nothing.
#ifndef PGA_TOOLS_STORE_TOOLS_H_
#define PGA_TOOLS_STORE_TOOLS_H_

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/store_access.h"
#include "tools/store_paths.h"

namespace pga {

// What a store verb is asked to do.
struct StoreVerb {
  enum class Kind { kTree, kCheck, kBackup, kRestore, kExport, kImport };

  Kind kind = Kind::kCheck;
  // Where group.db is; empty means the current directory.
  std::string data_dir;
  // A PostgreSQL connection string or URI; empty means PGA_STORE, and
  // group.db when that is not set either.
  std::string store;
  // The file the verb reads or writes; "-" is standard input or output.
  std::string path = "-";
  bool json = false;     // check: one JSON document instead of lines
  bool strict = false;   // check: warnings make the store unsound too
  bool force = false;    // backup, export: replace an existing regular file
  bool salvage = false;  // backup: the rows a damaged store still gives
};

class StoreTools {
 public:
  static constexpr int kSuccess = 0;
  static constexpr int kProblems = 1;
  static constexpr int kCannot = 2;

  // Results go to `out`, error lines to `err`; neither is owned.
  StoreTools(StoreVerb verb, std::FILE* out, std::FILE* err);

  // Runs the verb of the options and returns the exit status.
  int Run();

  // The stored tree of `data_dir` as TreePrinter's outline.
  static bool TreeLines(const std::string& data_dir, std::vector<std::string>& lines,
                        std::string& error);

 private:
  int Tree();
  int Check();
  int Backup();
  int Restore();
  int Export();
  int Import();
  // backup --salvage: the rows that can still be read into a new store.
  int Salvage(const StorePaths& paths);
  // The PostgreSQL store named by --store or PGA_STORE, or empty.
  std::string SharedStore() const;
  // The store the verb works on: the shared one, or group.db of the data
  // directory (whose paths_ it fills in).
  bool OpenAccess(std::unique_ptr<StoreAccess>& store, std::string& error);
  // backup and restore of a shared store: PostgreSQL's tools do that.
  int RefuseShared() const;
  // Fails check: with --json, the document of the failure first.
  int FailCheck(const std::string& store, const std::string& error) const;
  // Writes "group_host: <message>" to the error stream; returns kCannot.
  int Fail(const std::string& message) const;
  void Print(const std::string& line) const;
  // Prints the problems of a refused input and one line naming it.
  int Refuse(const std::vector<std::string>& problems, const std::string& what) const;

  StoreVerb options_;
  StorePaths paths_;  // of group.db, when the verb works on it
  std::FILE* out_;
  std::FILE* err_;
};

}  // namespace pga

#endif  // PGA_TOOLS_STORE_TOOLS_H_
