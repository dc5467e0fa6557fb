#include "records/i_device_listener.h"

#include <chrono>

#include "runtime/json.h"

namespace pga {

namespace {

rapidjson::Value TextArray(const std::set<std::string>& texts,
                           rapidjson::Document::AllocatorType& allocator) {
  rapidjson::Value array(rapidjson::kArrayType);
  for (const std::string& text : texts) {
    array.PushBack(
        rapidjson::Value(text.data(), static_cast<rapidjson::SizeType>(text.size()), allocator),
        allocator);
  }
  return array;
}

}  // namespace

std::int64_t NowMilliseconds() {
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  using std::chrono::system_clock;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

IDeviceListener::EventParam::EventParam()
    : BaseObject(BaseObject::kTypeCode, "EventParam"), eventTimeMsec(NowMilliseconds()) {}

IDeviceListener::EventParam::~EventParam() = default;

std::string IDeviceListener::EventParam::ToJsonText() const {
  rapidjson::Document doc;
  doc.SetObject();
  auto& allocator = doc.GetAllocator();
  if (assignedUsers) {
    pga_json::AddMember(doc, "assignedUsers", TextArray(*assignedUsers, allocator), allocator);
  }
  if (assignedRoles) {
    pga_json::AddMember(doc, "assignedRoles", TextArray(*assignedRoles, allocator), allocator);
  }
  pga_json::AddMember(
      doc, "eventType",
      rapidjson::Value(eventType.data(), static_cast<rapidjson::SizeType>(eventType.size()),
                       allocator),
      allocator);
  pga_json::AddMember(doc, "eventTimeMsec", rapidjson::Value(eventTimeMsec), allocator);
  rapidjson::Value content(rapidjson::kObjectType);
  if (message) message->ToJson(content, allocator);
  pga_json::AddMember(doc, "message", std::move(content), allocator);
  return pga_json::ToCompact(doc);
}

void IDeviceListener::EventParam::Prepare() {}

bool IDeviceListener::EventParam::IsPending() const { return false; }

}  // namespace pga
