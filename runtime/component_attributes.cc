// Component's attribute-file and protocol-file operations.
//
// NOT YET IMPLEMENTED: these bodies are placeholders that throw, so that the
// vtable of Component is complete. The attribute and protocol file reading,
// writing and version handling replace them.
#include <stdexcept>

#include "runtime/component.h"
#include "runtime/serializable.h"

bool Component::ReadVersion(const String& /*path*/, String& /*version*/) {
  throw std::logic_error("Component::ReadVersion is not yet implemented");
}

void Component::PrepareAttributes() {
  throw std::logic_error("Component::PrepareAttributes is not yet implemented");
}

void Component::PrepareAttributes(Serializable* /*target*/, const String& /*context*/) {
  throw std::logic_error("Component::PrepareAttributes(Serializable*) is not yet implemented");
}
