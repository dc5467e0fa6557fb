// BaseObject: every object that the runtime passes between components. It
// serialises itself to JSON text and back, and is allocated through the
// host's allocator with its name as tag.
#ifndef PGA_RUNTIME_BASE_OBJECT_H_
#define PGA_RUNTIME_BASE_OBJECT_H_

#include <cstddef>

#include "runtime/blob_value.h"
#include "runtime/object_allocator.h"
#include "runtime/root_object.h"

namespace pga {

class BaseObject : public RootObject {
 public:
  static constexpr unsigned long long kTypeCode = 1002000;

  // The host's allocator for every runtime object and serialised text; null
  // until the host hands one over (create_component). Not owned.
  static ObjectAllocator* allocator;

  // Type 1002000, name "BaseObject".
  BaseObject();
  // Type 1002000.
  explicit BaseObject(const char* name);
  BaseObject(unsigned long long type_code, const char* name);
  // Keeps the other object's storage size (see RootObject).
  BaseObject(const BaseObject& other);
  BaseObject& operator=(const BaseObject& other) = default;

  ~BaseObject() override;

  // Virtual slot 4: a new heap copy of the object, or null. Null here.
  virtual BaseObject* Clone() const;
  // Virtual slot 5: writes the object as compact JSON text into `out`
  // (kind kBlobJson) in storage from the allocator under the object's name.
  // The caller owns the text and releases it with ReleaseText. When the
  // allocator gives nothing, prints a failure line and leaves `out` null
  // with size 0. Returns `out`.
  virtual BlobValue& Serialize(BlobValue& out) const;
  // Virtual slot 6: reads the object's fields from the JSON text in `in`.
  // Text that is not JSON, not an object, or a cell of another kind reads
  // like an empty object: the name becomes empty.
  virtual void Deserialize(const BlobValue& in);

  // Storage for one object of the class that is being created, from the
  // allocator under `tag`. Returns null when there is no allocator, when it
  // gives nothing or when it throws; the new-expression then constructs
  // nothing and yields null, so callers check for null. The constructor of
  // the object created in the block records `size` as its storage size.
  static void* operator new(std::size_t size, const char* tag) noexcept;
  // Returns the storage to the allocator (after the destructor ran).
  static void operator delete(void* block) noexcept;
  // Called by the new-expression when the constructor throws.
  static void operator delete(void* block, const char* tag) noexcept;

  // Releases serialised text held by `cell` (kind kBlobJson) through the
  // allocator and empties the cell. Other kinds are left alone.
  static void ReleaseText(BlobValue& cell);

 protected:
  // Records that `block` of `size` bytes is being handed to a new object, so
  // that the first BaseObject constructed inside it takes `size` as its
  // storage size. Used by operator new and by classes that allocate their
  // storage in another way (events). Thread-local.
  static void NoteAllocation(void* block, std::size_t size) noexcept;
  // Forgets a recorded allocation that no object took (constructor failed).
  static void ForgetAllocation(void* block) noexcept;

 private:
  // The recorded allocation size when `self` lies inside the recorded block
  // (the record is then used up), else 0: a member or a local object never
  // looks at memory outside itself.
  static unsigned long long ClaimAllocation(const void* self) noexcept;
};

}  // namespace pga

#endif  // PGA_RUNTIME_BASE_OBJECT_H_
