// Container: the common base of the collection classes and of the runtime's
// string class. It adds nothing to BaseObject; its JSON form is the name.
#ifndef PGA_RUNTIME_CONTAINER_H_
#define PGA_RUNTIME_CONTAINER_H_

#include "runtime/base_object.h"

namespace pga {

class Container : public BaseObject {
 public:
  Container(unsigned long long type_code, const char* object_name)
      : BaseObject(type_code, object_name) {}
  Container(const Container& other) = default;
  Container& operator=(const Container& other) = default;
  ~Container() override = default;
};

}  // namespace pga

#endif  // PGA_RUNTIME_CONTAINER_H_
