// The library's two exported entry points, for hosts that load it with
// dlopen and look them up with dlsym.
#ifndef PGA_PLUGIN_GROUP_PLUGIN_H_
#define PGA_PLUGIN_GROUP_PLUGIN_H_

#include "runtime/component.h"
#include "runtime/object_allocator.h"

// Every name of the library and its runtime lives in namespace pga, so that
// a host's own Event or Exception cannot clash with ours. Everything in the
// library is hidden except these two: a host compiled
// separately has its own copy of the runtime and record classes; objects
// cross the dlopen boundary through their vtables, while type checks and
// exceptions match by type name.
#define PGA_ENTRY_POINT __attribute__((visibility("default")))

extern "C" {

// Hands `allocator` (not owned; it must outlive every object of the
// library) to the runtime for all objects and events, and creates the group
// component in storage from it (tag "GroupApplication"). Returns null when no
// storage is obtained. The caller releases the component with
// destroy_component.
//
// No exception leaves: one raised while the component is built (most often
// the store "group.db" that cannot be opened, after the connector's login
// timeout) is caught, printed as "create_component: <message>" on standard
// output, and answered with null, every block given back. A C++ exception
// that crossed this dlsym entry point would reach a host that may be built
// with another compiler or runtime, or in C, and could end its process.
PGA_ENTRY_POINT pga::Component* create_component(pga::ObjectAllocator* allocator);

// Destroys a component made by create_component and returns its storage to
// the allocator. Null does nothing; no exception leaves.
PGA_ENTRY_POINT void destroy_component(pga::Component* component);

}  // extern "C"

namespace pga {

// Types of the entry points, for dlsym.
using CreateComponentFunction = Component* (*)(ObjectAllocator*);
using DestroyComponentFunction = void (*)(Component*);

}  // namespace pga

#endif  // PGA_PLUGIN_GROUP_PLUGIN_H_
