#include <cstdio>
#include <exception>

#include "group/group_application.h"
#include "plugin/group_plugin.h"
#include "runtime/event.h"
#include "runtime/exception.h"

Component* create_component(ObjectAllocator* allocator) {
  InstallAllocator(allocator);
  try {
    return new ("GroupApplication") GroupApplication();
  } catch (const Exception& e) {
    std::printf("create_component: %s\n", e.GetMessage());
  } catch (const std::exception& e) {
    // The store could not be opened; the host gets no component.
    std::printf("create_component: %s\n", e.what());
  } catch (...) {
    std::printf("create_component: unknown failure\n");
  }
  return nullptr;
}

void destroy_component(Component* component) {
  if (component == nullptr) return;
  try {
    delete component;
  } catch (...) {
    // Destructors do not throw; nothing may cross back into the host.
  }
}
