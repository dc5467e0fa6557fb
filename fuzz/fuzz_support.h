// Shared by the fuzz targets: the host's allocator for the runtime objects,
// and the checks that a run returned every block and that writing what was
// read settles after one round.
#ifndef PGA_FUZZ_FUZZ_SUPPORT_H_
#define PGA_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "doubles/counting_allocator.h"
#include "runtime/event.h"

namespace pga {

namespace fuzz {

// One allocator for the whole run, installed on first use.
inline CountingAllocator& Allocator() {
  static CountingAllocator* allocator = [] {
    auto* made = new CountingAllocator();
    made->RecordTags(false);
    InstallAllocator(made);
    return made;
  }();
  return *allocator;
}

// Aborts (a finding) when `condition` is false.
inline void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
  }
}

// Reads `text` with `read_write` (text in, text out) three times over its
// own output: the second and third outputs must be equal.
template <typename ReadWrite>
void CheckSettles(const std::string& text, ReadWrite read_write) {
  const std::string first = read_write(text);
  const std::string second = read_write(first);
  const std::string third = read_write(second);
  if (second != third) {
    std::fprintf(stderr, "first:  %s\nsecond: %s\nthird:  %s\n", first.c_str(), second.c_str(),
                 third.c_str());
  }
  Check(second == third, "writing what was read does not settle");
}

}  // namespace fuzz

}  // namespace pga

#endif  // PGA_FUZZ_FUZZ_SUPPORT_H_
