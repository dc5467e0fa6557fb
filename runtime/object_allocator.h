// The host's memory service, as the plug-in sees it. A host compiled
// separately implements this interface and hands one instance to
// create_component; every runtime object and every serialised text is then
// allocated and released through it.
#ifndef PGA_RUNTIME_OBJECT_ALLOCATOR_H_
#define PGA_RUNTIME_OBJECT_ALLOCATOR_H_

#include <cstddef>

namespace pga {

// The order of the virtual operations below is the binary interface between
// the host and the plug-in: the plug-in calls MallocSafe, Free and
// ReportFailure through their vtable slots (4, 6 and 7). The reserved slots
// are never called by the runtime; they keep the positions of the host's
// other operations. The destructor is declared last so that it does not
// shift any of the seven slots.
class ObjectAllocator {
 public:
  ObjectAllocator() = default;
  ObjectAllocator(const ObjectAllocator&) = delete;
  ObjectAllocator& operator=(const ObjectAllocator&) = delete;

  virtual void ReservedSlot1() {}
  virtual void ReservedSlot2() {}
  virtual void ReservedSlot3() {}

  // Returns a block of at least `size` bytes, or null. `tag` is zero-
  // terminated text naming what the block is for (an object's name or a
  // class name). May throw the runtime's Exception. Safe to call from any
  // thread.
  virtual void* MallocSafe(std::size_t size, const char* tag) = 0;

  virtual void ReservedSlot5() {}

  // Releases a block that MallocSafe returned. Safe to call from any thread.
  virtual void Free(void* block) = 0;

  // Told after an event allocation failed by an exception; `text` is
  // "EVENTEVENTEVENTEVENT".
  virtual void ReportFailure(const char* text) = 0;

  virtual ~ObjectAllocator() = default;
};

}  // namespace pga

#endif  // PGA_RUNTIME_OBJECT_ALLOCATOR_H_
