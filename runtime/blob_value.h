// The payload cell that Serialize fills, Deserialize reads and a Blob
// carries: either a pointer to an object or a pointer to JSON text.
#ifndef PGA_RUNTIME_BLOB_VALUE_H_
#define PGA_RUNTIME_BLOB_VALUE_H_

#include <cstdint>

namespace pga {

// Kinds of the pointer held by a BlobValue. Any other kind means "no payload".
constexpr std::uint8_t kBlobObject = 0;  // value points to a BaseObject
constexpr std::uint8_t kBlobJson = 1;    // value points to zero-terminated JSON
constexpr std::uint8_t kBlobEmpty = 2;   // no payload

struct BlobValue {
  // The payload pointer; what it points to depends on `kind`.
  void* value = nullptr;
  // kBlobObject, kBlobJson, or anything else for no payload.
  std::uint8_t kind = kBlobEmpty;
  // JSON text: its length without the terminating zero. Object: that
  // object's storage size (its allocSize).
  unsigned long long size = 0;
};

}  // namespace pga

#endif  // PGA_RUNTIME_BLOB_VALUE_H_
