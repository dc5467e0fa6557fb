// StoreTools: the store verbs of group_host. They work on group.db through
// SQLite itself, without the plug-in: read-only where they only read (tree,
// check, backup, export, and restore's source), and only while no component
// holds the store where they write (restore, import). None of them creates
// a directory or a store.
//
// Exit statuses: 0 done (check: sound), 1 problems found (check) or input
// refused for its problems (restore, import), 2 cannot work (bad input,
// missing store, a component holds the store, a file that cannot be
// written); a failure prints one line on the error stream and changes
// nothing.
#ifndef PGA_HOST_STORE_TOOLS_H_
#define PGA_HOST_STORE_TOOLS_H_

#include <cstdio>
#include <string>
#include <vector>

#include "host/host_options.h"

namespace pga {

class StoreTools {
 public:
  static constexpr int kSuccess = 0;
  static constexpr int kProblems = 1;
  static constexpr int kCannot = 2;

  // Results go to `out`, error lines to `err`; neither is owned.
  StoreTools(HostOptions options, std::FILE* out, std::FILE* err);

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
  // Writes "group_host: <message>" to the error stream; returns kCannot.
  int Fail(const std::string& message) const;
  void Print(const std::string& line) const;
  // Prints the problems of a refused input and one line naming it.
  int Refuse(const std::vector<std::string>& problems, const std::string& what) const;

  HostOptions options_;
  std::FILE* out_;
  std::FILE* err_;
};

}  // namespace pga

#endif  // PGA_HOST_STORE_TOOLS_H_
