#include "host/group_host_app.h"

#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "group/group_event_type.h"
#include "host/script_reader.h"
#include "records/i_group_application.h"
#include "runtime/event.h"
#include "store/open_group_store.h"
#include "tools/store_tools.h"
#include "tools/tree_printer.h"

namespace pga {

namespace fs = std::filesystem;

namespace {

// A directory as a file-name prefix: absolute, with exactly one "/" at the
// end, so that the component's class name can follow it directly.
std::string DirectoryPrefix(const fs::path& dir) {
  std::string text = fs::absolute(dir).lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  if (text != "/") text += '/';
  return text;
}

// Whether the plug-in will keep its tree in a store that other hosts share.
bool SharedStore() {
  const char* store = std::getenv(kStoreVariable);
  return store != nullptr && *store != '\0';
}

// Calls `write` from a thread of its own whenever notifications have
// arrived at `session`'s listener, until destroyed: notifications that the
// plug-in sends on its own arrive while this host waits for its next
// command.
class NotificationPump {
 public:
  NotificationPump(ComponentSession& session, std::function<void()> write)
      : thread_([this, &session, write = std::move(write)] {
          while (!stop_) {
            if (session.WaitForNotifications(std::chrono::milliseconds(20))) write();
          }
        }) {}
  NotificationPump(const NotificationPump&) = delete;
  NotificationPump& operator=(const NotificationPump&) = delete;
  ~NotificationPump() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

bool MakeTempDirectory(std::string& path, std::string& error) {
  std::error_code code;
  std::string pattern = (fs::temp_directory_path(code) / "group_host_demo_XXXXXX").string();
  if (code || mkdtemp(pattern.data()) == nullptr) {
    error = "cannot make a temporary data directory";
    return false;
  }
  path = pattern;
  return true;
}

}  // namespace

GroupHostApp::GroupHostApp(HostOptions options, std::string demo_script)
    : options_(std::move(options)),
      demo_script_(std::move(demo_script)),
      writer_([this](std::string_view part, bool last) { channel_.WritePart(part, last); }) {
  allocator_.RecordTags(false);
}

GroupHostApp::~GroupHostApp() {
  if (!demo_dir_.empty()) {
    std::error_code ignored;
    fs::current_path(fs::path(demo_dir_).parent_path(), ignored);
    fs::remove_all(demo_dir_, ignored);
  }
  InstallAllocator(nullptr);
}

int GroupHostApp::Run() {
  if (options_.mode == HostOptions::Mode::kHelp) {
    std::fputs(HostUsage().c_str(), stdout);
    return kSuccess;
  }
  if (!options_.store.empty()) setenv(kStoreVariable, options_.store.c_str(), 1);
  // The store verbs need neither the plug-in nor its allocator.
  if (IsStoreVerb(options_.mode)) {
    return StoreTools(ToStoreVerb(options_), stdout, stderr).Run();
  }
  // Everything the host's own runtime allocates (events, payloads) comes
  // from the same allocator as the plug-in's objects.
  InstallAllocator(&allocator_);
  std::string error;
  bool ran = Prepare(error);
  if (ran) {
    switch (options_.mode) {
      case HostOptions::Mode::kScript: {
        const bool from_stdin = options_.script == "-";
        std::FILE* input = from_stdin ? stdin : std::fopen(options_.script.c_str(), "rb");
        if (input == nullptr) {
          error = "cannot open the script " + options_.script;
          ran = false;
          break;
        }
        ran = EnterDataDirectory(options_.data_dir, error) && RunScript(input, error);
        if (!from_stdin) std::fclose(input);
        break;
      }
      case HostOptions::Mode::kDemo:
        ran = RunDemo(error);
        break;
      default:
        break;
    }
  }
  if (!ran) std::fprintf(stderr, "group_host: %s\n", error.c_str());
  const int leaks = CheckLeaks();
  return ran ? leaks : kCannotRun;
}

bool GroupHostApp::Prepare(std::string& error) {
  if (!channel_.Open(error)) return false;
  const std::string plugin = options_.plugin.empty() ? DefaultPluginPath() : options_.plugin;
  // A path without a slash would make dlopen search the library path.
  const std::string path = fs::absolute(plugin).string();
  if (!plugin_.Open(path, error)) {
    error = "cannot load the plug-in: " + error;
    return false;
  }
  return true;
}

bool GroupHostApp::EnterDataDirectory(const std::string& dir, std::string& error) {
  std::error_code code;
  const fs::path data = dir.empty() ? fs::current_path(code) : fs::path(dir);
  // The configuration directory is taken relative to where the host was
  // started, before the data directory becomes the current one.
  settings_.default_prefix =
      DirectoryPrefix(options_.config_dir.empty() ? data : fs::path(options_.config_dir));
  settings_.own_prefix = DirectoryPrefix(data);
  settings_.instance = options_.instance;
  fs::create_directories(data, code);
  fs::current_path(data, code);
  if (code) {
    error = "cannot use the data directory " + data.string() + ": " + code.message();
    return false;
  }
  return true;
}

bool GroupHostApp::OpenSession(ComponentSession& session, std::string& error) {
  if (session.Open(allocator_, error)) return true;
  error = "no component: " + error;
  return false;
}

void GroupHostApp::WriteNotifications(ComponentSession& session) {
  std::lock_guard<std::mutex> lock(output_);
  for (const std::unique_ptr<Event>& event : session.TakeNotifications()) {
    writer_.WriteNotification(*event);
  }
}

bool GroupHostApp::RunScript(std::FILE* input, std::string& error) {
  ComponentSession session(plugin_, settings_);
  if (!OpenSession(session, error)) return false;
  WriteNotifications(session);
  // Between commands the plug-in sends the other hosts' changes on a shared
  // store, and channel reports that waited for the store once it takes them.
  auto pump = std::make_unique<NotificationPump>(session, [&] { WriteNotifications(session); });
  ScriptReader reader(input);
  std::string line;
  while (reader.Next(line)) {
    std::lock_guard<std::mutex> lock(output_);
    if (reader.too_long()) {
      writer_.WriteLineError(
          reader.line_number(),
          "line longer than " + std::to_string(ScriptReader::kMaxLineBytes) + " bytes");
      continue;
    }
    ParsedLine parsed = ParseScriptCommand(line);
    if (parsed.kind == ParsedLine::Kind::kError) {
      writer_.WriteLineError(reader.line_number(), parsed.error);
    } else if (parsed.kind == ParsedLine::Kind::kCommand) {
      RunCommand(session, std::move(parsed.command));
    }
  }
  pump.reset();
  session.Close();
  WriteNotifications(session);
  if (std::ferror(input)) {
    error = "reading the script failed";
    return false;
  }
  return true;
}

void GroupHostApp::RunCommand(ComponentSession& session, ScriptCommand command) {
  const std::string request = command.request;
  const std::uint32_t event_type = command.event_type;
  const DeliveryOutcome outcome = session.Deliver(std::move(command));
  // Called with output_ held: the notifications and the reply go out
  // together.
  for (const std::unique_ptr<Event>& event : session.TakeNotifications()) {
    writer_.WriteNotification(*event);
  }
  writer_.WriteReply(request, event_type, outcome);
}

bool GroupHostApp::RunDemo(std::string& error) {
  std::string dir = options_.data_dir;
  if (dir.empty()) {
    if (!MakeTempDirectory(demo_dir_, error)) return false;
    dir = demo_dir_;
  }
  std::FILE* input = std::fopen(demo_script_.c_str(), "rb");
  if (input == nullptr) {
    error = "cannot open the demo script " + demo_script_;
    return false;
  }
  const bool ran = EnterDataDirectory(dir, error) && RunScript(input, error);
  std::fclose(input);
  // The tree is read from the store once the component has ended: what it
  // prints is what the store kept.
  return ran && PrintTree(error);
}

bool GroupHostApp::PrintTree(std::string& error) {
  std::vector<std::string> lines;
  if (!SharedStore()) {
    if (!StoreTools::TreeLines("", lines, error)) return false;
  } else {
    ComponentSession session(plugin_, settings_);
    if (!OpenSession(session, error)) return false;
    ScriptCommand list;
    list.event_type = eGetLogicalList;
    const DeliveryOutcome outcome = session.Deliver(std::move(list));
    const auto* logical = outcome.event == nullptr
                              ? nullptr
                              : dynamic_cast<const IGroupApplication::LogicalList*>(
                                    outcome.event->GetObjectArgument());
    if (logical == nullptr || logical->items == nullptr) {
      error = "the component answered the logical-list request without a list";
      return false;
    }
    lines = TreePrinter(*logical->items).Lines();
  }
  for (const std::string& line : lines) writer_.WriteText(line);
  return true;
}

int GroupHostApp::CheckLeaks() const {
  int status = kSuccess;
  const std::size_t live = allocator_.LiveBlocks();
  if (live > 0) {
    std::fprintf(stderr, "group_host: %zu blocks (%zu bytes) still allocated at exit:\n", live,
                 allocator_.LiveBytes());
    for (const auto& [tag, count] : allocator_.LiveBlocksByTag()) {
      std::fprintf(stderr, "  %s: %zu\n", tag.c_str(), count);
    }
    status = kLeaked;
  }
  if (allocator_.BadFrees() > 0) {
    std::fprintf(stderr, "group_host: %zu frees of blocks that were not allocated\n",
                 allocator_.BadFrees());
    status = kLeaked;
  }
  return status;
}

}  // namespace pga
