// group_host: the reference host of the group plug-in.
#include <cstdio>
#include <string>
#include <vector>

#include "host/group_host_app.h"
#include "host/host_options.h"

int main(int argc, char** argv) {
  HostOptions options;
  std::string error;
  if (!ParseHostOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "group_host: %s\n%s", error.c_str(), HostUsage().c_str());
    return GroupHostApp::kCannotRun;
  }
  GroupHostApp app(options, PGA_DEMO_SCRIPT);
  return app.Run();
}
