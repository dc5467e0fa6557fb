// HostOptions: what the command line of group_host asks for.
#ifndef PGA_HOST_HOST_OPTIONS_H_
#define PGA_HOST_HOST_OPTIONS_H_

#include <string>
#include <vector>

namespace pga {

struct HostOptions {
  // What the host does.
  enum class Mode {
    kScript,  // run a script of commands
    kDemo,    // run the demo script in a fresh data directory, then print the tree
    kHelp,    // print the usage text
    // The store verbs: they work on group.db through SQLite itself, without
    // the plug-in.
    kTree,     // print the stored tree
    kCheck,    // check the store's file and tree
    kBackup,   // copy the store to `path`
    kRestore,  // replace the store with the copy at `path`
    kExport,   // write the stored tree as a JSON document to `path`
    kImport,   // replace the stored tree with the document at `path`
  };

  Mode mode = Mode::kScript;
  // The plug-in library; empty means the one beside the host executable.
  std::string plugin;
  // Where "group.db" and the own attribute file live; empty means the
  // current directory (for the demo: a fresh temporary directory).
  std::string data_dir;
  // Where the default attribute files and the protocol command file live;
  // empty means the data directory.
  std::string config_dir;
  // The component's instance index.
  int instance = 0;
  // A PostgreSQL connection string or URI; when given, the plug-in keeps
  // its tree in that database (through PGA_STORE) instead of "group.db".
  std::string store;
  // The script file; "-" (the default) is standard input.
  std::string script = "-";
  // The file a store verb reads or writes; "-" is standard input or output.
  std::string path = "-";
  bool json = false;    // check: one JSON document instead of lines
  bool strict = false;  // check: warnings make the store unsound too
  bool force = false;   // backup: replace an existing file
};

// True for the modes that work on the store without the plug-in.
bool IsStoreVerb(HostOptions::Mode mode);

// Reads `args` (the arguments after the program name) into `options`.
// Returns false with a one-line reason in `error` for an unknown option, a
// missing or malformed value, a stray argument, or a flag the verb does not
// take.
bool ParseHostOptions(const std::vector<std::string>& args, HostOptions& options,
                      std::string& error);

// The usage text, several lines, ending in a newline.
std::string HostUsage();

}  // namespace pga

#endif  // PGA_HOST_HOST_OPTIONS_H_
