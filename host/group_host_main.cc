// group_host: the reference host of the group plug-in.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "host/group_host_app.h"
#include "host/host_options.h"
#include "host/plugin_library.h"

namespace pga {

namespace {

// The demo script: beside the executable, where a build puts a copy of it,
// or where the installed layout puts it relative to the executable
// (PGA_DEMO_FROM_BINDIR). The binary names no path of the tree it was built
// in.
std::string DemoScriptPath() {
  const std::filesystem::path dir = ExecutableDirectory();
  std::error_code error;
  const std::filesystem::path beside = dir / "demo.jsonl";
  if (std::filesystem::exists(beside, error)) return beside.string();
  return (dir / PGA_DEMO_FROM_BINDIR / "demo.jsonl").lexically_normal().string();
}

}  // namespace

}  // namespace pga

using namespace pga;

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
