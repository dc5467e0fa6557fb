// GroupHostApp: the reference host. It loads the plug-in, drives one
// component through a script of commands (or runs the demo), writes the
// protocol lines, and checks at the end that every block the runtime
// allocated was given back. The store verbs (tree, check, backup, ...) it
// hands to StoreTools, which needs no plug-in.
#ifndef PGA_HOST_GROUP_HOST_APP_H_
#define PGA_HOST_GROUP_HOST_APP_H_

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "doubles/counting_allocator.h"
#include "host/component_session.h"
#include "host/host_options.h"
#include "host/plugin_library.h"
#include "host/protocol_channel.h"
#include "host/reply_writer.h"

namespace pga {

class GroupHostApp {
 public:
  // Exit statuses of Run().
  static constexpr int kSuccess = 0;
  static constexpr int kLeaked = 1;     // blocks left, or freed twice
  static constexpr int kCannotRun = 2;  // bad options, no plug-in, no component
  // The store verbs exit with StoreTools' statuses.

  // `demo_script` is the script that `demo` runs.
  GroupHostApp(HostOptions options, std::string demo_script);
  GroupHostApp(const GroupHostApp&) = delete;
  GroupHostApp& operator=(const GroupHostApp&) = delete;
  ~GroupHostApp();

  // Does what the options ask and returns the exit status. Call once.
  int Run();

 private:
  // Takes standard output, resolves the directories, loads the plug-in.
  bool Prepare(std::string& error);
  // Makes `dir` the data directory: creates it when missing, makes it the
  // current directory and derives the file prefixes from it.
  bool EnterDataDirectory(const std::string& dir, std::string& error);
  // Runs the script read from `input` in one component session.
  bool RunScript(std::FILE* input, std::string& error);
  // Runs one parsed command and writes its notifications and reply.
  void RunCommand(ComponentSession& session, ScriptCommand command);
  // Runs the demo script in a fresh data directory, then prints the tree.
  bool RunDemo(std::string& error);
  // Prints the stored tree as an outline: read from group.db, or on a shared
  // store from a component session of its own (whose cache is the store's
  // tree once started).
  bool PrintTree(std::string& error);
  bool OpenSession(ComponentSession& session, std::string& error);
  // Writes the notifications that arrived so far; safe to call from a
  // second thread (see RunScript).
  void WriteNotifications(ComponentSession& session);
  // Reports blocks still live and bad frees; the status to exit with.
  int CheckLeaks() const;

  HostOptions options_;
  std::string demo_script_;
  // Declared first so that it outlives the plug-in, which keeps a pointer
  // to it until it is unloaded.
  CountingAllocator allocator_;
  PluginLibrary plugin_;
  ProtocolChannel channel_;
  ReplyWriter writer_;
  SessionSettings settings_;
  // The data directory made for the demo; removed by the destructor.
  std::string demo_dir_;
  // Keeps whole lines of the protocol in order when notifications are
  // written from a second thread.
  std::mutex output_;
};

}  // namespace pga

#endif  // PGA_HOST_GROUP_HOST_APP_H_
