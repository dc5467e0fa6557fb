// Serializable: objects that keep themselves in step with a file. This
// header holds the file reading that every Serializable shares.
#ifndef PGA_RUNTIME_SERIALIZABLE_H_
#define PGA_RUNTIME_SERIALIZABLE_H_

#include <string>

#include "runtime/export.h"

class PGA_API Serializable {
 public:
  Serializable() = default;
  Serializable(const Serializable&) = default;
  Serializable& operator=(const Serializable&) = default;
  virtual ~Serializable() = default;

  // Reads the whole file at `path` (binary) into `out` and returns true. When
  // the file cannot be opened or read, prints the file-open error line and
  // returns false; `out` is then unchanged.
  static bool ReadFile(const std::string& path, std::string& out);
};

#endif  // PGA_RUNTIME_SERIALIZABLE_H_
