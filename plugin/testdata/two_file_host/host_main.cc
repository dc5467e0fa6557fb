// A host with names of its own beside the SDK's: a global Event right after
// the plug-in's header, and (in host_error.cc) an inline Exception. It loads
// the plug-in, creates and destroys the component, and checks that its own
// error and the SDK's exception each keep their texts.
// Usage: host_main PLUGIN; exits 0 when everything held.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "plugin/group_plugin.h"
#include "runtime/exception.h"

struct Event {
  int code;
};

std::string HostErrorText();

namespace {

class HeapAllocator : public pga::ObjectAllocator {
 public:
  void* MallocSafe(std::size_t size, const char* /*tag*/) override {
    void* block = std::malloc(size);
    if (block != nullptr) ++live;
    return block;
  }
  void Free(void* block) override {
    if (block != nullptr) --live;
    std::free(block);
  }
  void ReportFailure(const char* text) override { std::fprintf(stderr, "failed: %s\n", text); }
  long live = 0;
};

bool Check(bool held, const char* what) {
  std::printf("%s: %s\n", what, held ? "ok" : "FAILED");
  return held;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: host_main PLUGIN\n");
    return 2;
  }
  HeapAllocator allocator;
  pga::InstallAllocator(&allocator);
  const Event own_event{7};
  bool held = Check(own_event.code == 7, "the host's own Event");
  held &= Check(HostErrorText() == "the host's own error (20)", "the host's own Exception");
  try {
    throw pga::Exception(5, "Host", "main", "the SDK's exception");
  } catch (const pga::Exception& e) {
    held &= Check(std::strcmp(e.GetMessage(), "the SDK's exception") == 0 && e.GetType() == 5,
                  "the SDK's Exception");
  }
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  auto create = reinterpret_cast<pga::CreateComponentFunction>(
      library != nullptr ? dlsym(library, "create_component") : nullptr);
  auto destroy = reinterpret_cast<pga::DestroyComponentFunction>(
      library != nullptr ? dlsym(library, "destroy_component") : nullptr);
  pga::Component* component = create != nullptr ? create(&allocator) : nullptr;
  held &= Check(component != nullptr && destroy != nullptr, "the component from the plug-in");
  if (destroy != nullptr) destroy(component);
  held &= Check(allocator.live == 0, "every block given back");
  if (library != nullptr) dlclose(library);
  return held ? 0 : 1;
}
