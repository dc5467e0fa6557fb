#include "records/i_device_dispatcher.h"

#include "runtime/json.h"
#include "runtime/object_json.h"

namespace pga {

IDeviceDispatcher::ResultParam::ResultParam()
    : BaseObject(BaseObject::kTypeCode, "ResultParam"), contentType("application/json") {}

IDeviceDispatcher::ResultParam::~ResultParam() = default;

BlobValue IDeviceDispatcher::ResultParam::ToJsonText() const {
  rapidjson::Document doc;
  doc.SetObject();
  auto& allocator = doc.GetAllocator();
  pga_json::AddMember(doc, "code", rapidjson::Value(code), allocator);
  pga_json::AddMember(
      doc, "message",
      rapidjson::Value(message.data(), static_cast<rapidjson::SizeType>(message.size()), allocator),
      allocator);
  BlobValue out;
  object_json::WriteCell(doc, GetName(), out);
  return out;
}

void IDeviceDispatcher::ResultParam::Prepare() {}

bool IDeviceDispatcher::ResultParam::IsPending() const { return false; }

}  // namespace pga
