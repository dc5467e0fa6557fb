// AttributeItem: one named setting of a component, bound to the member
// variable that holds its value. The component enters its items into its
// attribute map; reading an attribute file fills their variables and traits.
#ifndef PGA_RUNTIME_ATTRIBUTE_ITEM_H_
#define PGA_RUNTIME_ATTRIBUTE_ITEM_H_

#include <any>

#include "runtime/map.h"
#include "runtime/platform_string.h"

namespace pga {

struct AttributeItem {
  // Number of elements; 1 for a single value.
  int count = 0;
  // Letter of the value's type ('i', 's', 'v', ...); 'x' when unset.
  char typeCode = 'x';
  // Element type of a list ('s' for the list type 'v'); 'x' when unset.
  char subTypeCode = 'x';
  // Typed pointer to the component member that holds the value; empty when
  // unbound. The component owns the member.
  std::any variable;
  // Named extra properties of the attribute.
  Map<Platform_Std_Refine::String, std::any> traits;
};

}  // namespace pga

#endif  // PGA_RUNTIME_ATTRIBUTE_ITEM_H_
