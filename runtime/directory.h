// Directory: a runtime map from text to text.
#ifndef PGA_RUNTIME_DIRECTORY_H_
#define PGA_RUNTIME_DIRECTORY_H_

#include <string>

#include "runtime/map.h"

namespace pga {

class Directory : public Map<std::string, std::string> {
 public:
  static constexpr unsigned long long kTypeCode = 1013000;

  // Type 1013000, name "Directory".
  Directory() : Map(kTypeCode, "Directory") {}
  Directory(const Directory& other) = default;
  Directory& operator=(const Directory& other) = default;
  ~Directory() override = default;
};

}  // namespace pga

#endif  // PGA_RUNTIME_DIRECTORY_H_
