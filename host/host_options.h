// HostOptions: what the command line of group_host asks for.
#ifndef PGA_HOST_HOST_OPTIONS_H_
#define PGA_HOST_HOST_OPTIONS_H_

#include <string>
#include <vector>

struct HostOptions {
  // What the host does once the plug-in is loaded.
  enum class Mode {
    kScript,  // run a script of commands
    kTree,    // print the stored tree
    kDemo,    // run the demo script in a fresh data directory, then print the tree
    kHelp,    // print the usage text
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
  // The script file; "-" (the default) is standard input.
  std::string script = "-";
};

// Reads `args` (the arguments after the program name) into `options`.
// Returns false with a one-line reason in `error` for an unknown option, a
// missing or malformed value, or a stray argument.
bool ParseHostOptions(const std::vector<std::string>& args, HostOptions& options,
                      std::string& error);

// The usage text, several lines, ending in a newline.
std::string HostUsage();

#endif  // PGA_HOST_HOST_OPTIONS_H_
