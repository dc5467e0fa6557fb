#include "runtime/base_object.h"

#include <cstdint>

#include "runtime/json.h"
#include "runtime/object_json.h"

namespace pga {

namespace {

// The block most recently handed out by a class's operator new on this
// thread and not yet taken by an object.
struct PendingAllocation {
  const void* block = nullptr;
  std::size_t size = 0;
};

thread_local PendingAllocation pending_allocation;

}  // namespace

ObjectAllocator* BaseObject::allocator = nullptr;

BaseObject::BaseObject() : BaseObject(kTypeCode, "BaseObject") {}

BaseObject::BaseObject(const char* name) : BaseObject(kTypeCode, name) {}

BaseObject::BaseObject(unsigned long long type_code, const char* name)
    : RootObject(type_code, name) {
  allocSize = ClaimAllocation(this);
}

BaseObject::BaseObject(const BaseObject& other) : RootObject(other) {
  // A heap copy keeps the size of its source; the record is still used up
  // so that no later object inside the block picks it up.
  ClaimAllocation(this);
}

BaseObject::~BaseObject() = default;

BaseObject* BaseObject::Clone() const { return nullptr; }

BlobValue& BaseObject::Serialize(BlobValue& out) const {
  rapidjson::Document doc;
  doc.SetObject();
  pga_json::SetMember(doc, "name", rapidjson::Value(name, doc.GetAllocator()), doc.GetAllocator());
  object_json::WriteCell(doc, name, out);
  return out;
}

void BaseObject::Deserialize(const BlobValue& in) {
  rapidjson::Document doc;
  object_json::ParseCell(in, doc);
  object_json::ReadName(doc, *this);
}

void* BaseObject::operator new(std::size_t size, const char* tag) noexcept {
  if (allocator == nullptr) return nullptr;
  void* block = nullptr;
  try {
    block = allocator->MallocSafe(size, tag);
  } catch (...) {
    // The new-expression must not throw here: a failed allocation, however
    // it fails, yields null and the caller's null check handles it.
    return nullptr;
  }
  if (block != nullptr) NoteAllocation(block, size);
  return block;
}

void BaseObject::operator delete(void* block) noexcept {
  if (block != nullptr && allocator != nullptr) allocator->Free(block);
}

void BaseObject::operator delete(void* block, const char* /*tag*/) noexcept {
  ForgetAllocation(block);
  operator delete(block);
}

void BaseObject::ReleaseText(BlobValue& cell) {
  if (cell.kind != kBlobJson) return;
  if (cell.value != nullptr && allocator != nullptr) allocator->Free(cell.value);
  cell.value = nullptr;
  cell.size = 0;
}

void BaseObject::NoteAllocation(void* block, std::size_t size) noexcept {
  pending_allocation.block = block;
  pending_allocation.size = size;
}

void BaseObject::ForgetAllocation(void* block) noexcept {
  if (pending_allocation.block == block) pending_allocation = PendingAllocation();
}

unsigned long long BaseObject::ClaimAllocation(const void* self) noexcept {
  const auto begin = reinterpret_cast<std::uintptr_t>(pending_allocation.block);
  const auto at = reinterpret_cast<std::uintptr_t>(self);
  if (pending_allocation.block == nullptr || at < begin || at >= begin + pending_allocation.size) {
    return 0;
  }
  const std::size_t size = pending_allocation.size;
  pending_allocation = PendingAllocation();
  return size;
}

}  // namespace pga
