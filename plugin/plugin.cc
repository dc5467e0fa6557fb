#include <cstdio>
#include <exception>

#include "group/group_application.h"
#include "plugin/group_plugin.h"
#include "runtime/event.h"
#include "runtime/exception.h"

pga::Component* create_component(pga::ObjectAllocator* allocator) {
  pga::InstallAllocator(allocator);
  try {
    return new ("GroupApplication") pga::GroupApplication();
  } catch (const pga::Exception& e) {
    std::printf("create_component: %s\n", e.GetMessage());
  } catch (const std::exception& e) {
    // The store could not be opened; the host gets no component.
    std::printf("create_component: %s\n", e.what());
  } catch (...) {
    std::printf("create_component: unknown failure\n");
  }
  return nullptr;
}

void destroy_component(pga::Component* component) {
  if (component == nullptr) return;
  try {
    delete component;
  } catch (...) {
    // Destructors do not throw; nothing may cross back into the host.
  }
}
