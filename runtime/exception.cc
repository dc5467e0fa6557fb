#include "runtime/exception.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "runtime/json.h"
#include "runtime/object_json.h"

namespace pga {

using Platform_Std_Refine::String;

long long CurrentSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

Exception::Exception() : Exception(-1, String(), String(), String()) {}

Exception::Exception(int type_code, String object, String function, String text)
    : BaseObject(kTypeCode, "Platform Exception"),
      type(type_code),
      object_str(std::move(object)),
      function_str(std::move(function)),
      message(std::move(text)),
      severity(0),
      time_value(CurrentSeconds()) {}

Exception::Exception(const Exception& other) = default;

Exception& Exception::operator=(const Exception& other) = default;

Exception::~Exception() = default;

BlobValue& Exception::Serialize(BlobValue& out) const {
  rapidjson::Document doc;
  doc.SetObject();
  auto& a = doc.GetAllocator();
  pga_json::SetMember(doc, "BaseObject", object_json::NameObject(name, a), a);
  pga_json::SetMember(doc, "type", rapidjson::Value(type), a);
  pga_json::SetMember(doc, "object_str", rapidjson::Value(object_str.str(), a), a);
  pga_json::SetMember(doc, "function_str", rapidjson::Value(function_str.str(), a), a);
  pga_json::SetMember(doc, "message", rapidjson::Value(message.str(), a), a);
  pga_json::SetMember(doc, "severity", rapidjson::Value(severity), a);
  pga_json::SetMember(doc, "time_value", rapidjson::Value(static_cast<std::int64_t>(time_value)),
                      a);
  object_json::WriteCell(doc, name, out);
  return out;
}

void Exception::Deserialize(const BlobValue& in) {
  rapidjson::Document doc;
  object_json::ParseDerivedCell(in, doc, *this);
  std::string text;
  object_json::ReadWorkingText(doc, "object_str", text, object_str);
  object_json::ReadWorkingText(doc, "function_str", text, function_str);
  object_json::ReadWorkingText(doc, "message", text, message);
  const rapidjson::Value* value = pga_json::FindMember(doc, "type");
  if (value != nullptr && value->IsInt()) type = value->GetInt();
  value = pga_json::FindMember(doc, "severity");
  severity = (value != nullptr && value->IsInt()) ? static_cast<unsigned int>(value->GetInt()) : 0;
  value = pga_json::FindMember(doc, "time_value");
  if (value != nullptr && value->IsInt64()) time_value = value->GetInt64();
  object_json::ReadName(doc, *this);
}

void Exception::Print() const {
  std::printf("Execption(%d) @ %s::%s => %s\n", type, object_str.c_str(), function_str.c_str(),
              message.c_str());
}

}  // namespace pga
