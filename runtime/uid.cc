#include "runtime/uid.h"

#include "runtime/json.h"
#include "runtime/object_json.h"

namespace pga {

UId::UId() : UId(~0ULL, 0) {}

UId::UId(unsigned long long id, unsigned long long queue)
    : BaseObject(kTypeCode, "UId"), component_id(id), event_queue_ptr(queue) {}

UId::UId(const UId& other) = default;

UId& UId::operator=(const UId& other) {
  BaseObject::operator=(other);
  component_id = other.component_id;
  event_queue_ptr = other.event_queue_ptr;
  return *this;
}

UId::~UId() = default;

BlobValue& UId::Serialize(BlobValue& out) const {
  rapidjson::Document doc;
  const rapidjson::Value object = object_json::UIdObject(*this, doc.GetAllocator());
  object_json::WriteCell(object, name, out);
  return out;
}

void UId::Deserialize(const BlobValue& in) {
  rapidjson::Document doc;
  object_json::ParseCell(in, doc);
  object_json::ReadUIdObject(doc, *this);
}

bool operator==(const UId& a, const UId& b) {
  return a.component_id == b.component_id && a.event_queue_ptr == b.event_queue_ptr;
}

bool operator<(const UId& a, const UId& b) {
  if (a.component_id != b.component_id) return a.component_id < b.component_id;
  return a.event_queue_ptr < b.event_queue_ptr;
}

}  // namespace pga
