#include "records/json_text.h"

#include <utility>

namespace pga {

namespace pga_records {

bool KeepAsText(const rapidjson::Value& value, std::string& text) {
  std::string written;
  if (!pga_json::WriteCompact(value, written, kMaxKeptDepth)) return false;
  text = std::move(written);
  return true;
}

bool ParseKeptText(rapidjson::Document& doc, const std::string& text) {
  return pga_json::Parse(doc, text, nullptr, kMaxKeptDepth);
}

rapidjson::Value CopyKeptArray(const std::string& text,
                               rapidjson::Document::AllocatorType& allocator) {
  rapidjson::Value array(rapidjson::kArrayType);
  rapidjson::Document doc;
  if (!ParseKeptText(doc, text) || !doc.IsArray()) return array;
  for (const auto& element : doc.GetArray()) {
    array.PushBack(rapidjson::Value(element, allocator), allocator);
  }
  return array;
}

}  // namespace pga_records

}  // namespace pga
