#include "runtime/blob.h"

namespace pga {

Blob::Blob() : BaseObject(kTypeCode, "Blob") {
  cell_.value = nullptr;
  cell_.kind = kBlobObject;
  cell_.size = 0;
}

Blob::Blob(const Blob& other) = default;

Blob& Blob::operator=(const Blob& other) = default;

Blob::~Blob() = default;

void* Blob::GetValue() const { return HasValue() ? cell_.value : nullptr; }

BaseObject* Blob::GetObject() const {
  return cell_.kind == kBlobObject ? static_cast<BaseObject*>(cell_.value) : nullptr;
}

char* Blob::GetJson() const {
  return cell_.kind == kBlobJson ? static_cast<char*>(cell_.value) : nullptr;
}

void Blob::SetValue(void* value, std::uint8_t kind) {
  if (kind != kBlobObject && kind != kBlobJson) return;
  cell_.value = value;
  cell_.kind = kind;
}

void Blob::SetObject(BaseObject* object) {
  cell_.value = object;
  cell_.kind = kBlobObject;
}

void Blob::SetJson(char* text) {
  cell_.value = text;
  cell_.kind = kBlobJson;
}

unsigned long long Blob::GetSize() const { return cell_.size; }

void Blob::SetSize(unsigned long long size) { cell_.size = size; }

bool Blob::HasValue() const { return cell_.kind == kBlobObject || cell_.kind == kBlobJson; }

}  // namespace pga
