#include "runtime/root_object.h"

#include <cstdlib>
#include <cstring>

namespace pga {

RootObject::RootObject(unsigned long long type_code, const char* text)
    : instanceTag(std::rand()), typeCode(type_code), name{}, allocSize(0) {
  SetName(text);
}

RootObject::RootObject(const RootObject& other)
    : instanceTag(std::rand()), typeCode(other.typeCode), name{}, allocSize(other.allocSize) {
  std::memcpy(name, other.name, sizeof(name));
}

RootObject& RootObject::operator=(const RootObject& other) {
  typeCode = other.typeCode;
  if (this != &other) std::memcpy(name, other.name, sizeof(name));
  return *this;
}

RootObject::~RootObject() = default;

bool RootObject::Initialize() { return true; }

bool RootObject::Finalize() { return true; }

void RootObject::SetName(const char* text) {
  std::memset(name, 0, sizeof(name));
  if (text == nullptr) return;
  std::strncpy(name, text, kMaxNameLength);
}

}  // namespace pga
