// group_host: the reference host of the group plug-in.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "host/group_host_app.h"
#include "host/host_options.h"
#include "host/plugin_library.h"

namespace {

// The installed demo script, found relative to the executable as the
// installed layout puts it (PGA_DEMO_FROM_BINDIR); in a build tree, the one
// in the source tree.
std::string DemoScriptPath() {
  const std::filesystem::path installed =
      std::filesystem::path(ExecutableDirectory()) / PGA_DEMO_FROM_BINDIR / "demo.jsonl";
  std::error_code error;
  if (std::filesystem::exists(installed, error)) return installed.lexically_normal().string();
  return PGA_DEMO_SCRIPT;
}

}  // namespace

int main(int argc, char** argv) {
  HostOptions options;
  std::string error;
  if (!ParseHostOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "group_host: %s\n%s", error.c_str(), HostUsage().c_str());
    return GroupHostApp::kCannotRun;
  }
  GroupHostApp app(options, DemoScriptPath());
  return app.Run();
}
