#include "records/layout_model.h"

#include <algorithm>
#include <utility>

#include "records/json_text.h"
#include "records/member_readers.h"
#include "records/member_writers.h"

namespace pga {

void LayoutModel::ToJson(rapidjson::Value& value, Allocator& allocator) const {
  pga_records::SetIfPresent(value, "layoutId", layoutId, allocator);
  pga_records::SetIfPresent(value, "layoutName", layoutName, allocator);
  pga_records::AppendTextsIfPresent(value, "channelIds", channelIds, allocator);
  pga_records::AppendTextsIfPresent(value, "webpageIds", webpageIds, allocator);
  if (properties) {
    rapidjson::Document doc;
    rapidjson::Value copy;  // null unless the text parses
    if (pga_records::ParseKeptText(doc, *properties)) copy.CopyFrom(doc, allocator);
    pga_json::AddMember(value, "properties", std::move(copy), allocator);
  }
  if (items) {
    pga_json::AddMember(value, "items", pga_records::CopyKeptArray(*items, allocator), allocator);
  }
}

void LayoutModel::FromJson(const rapidjson::Value& value) {
  pga_records::ReadOptionalText(value, "layoutId", layoutId);
  pga_records::ReadOptionalText(value, "layoutName", layoutName);
  pga_records::ReadTextSet(value, "channelIds", channelIds);
  pga_records::ReadTextSet(value, "webpageIds", webpageIds);
  std::string text;
  const rapidjson::Value* member = pga_json::FindMember(value, "properties");
  if (member != nullptr && pga_records::KeepAsText(*member, text)) properties = text;
  member = pga_json::FindMember(value, "items");
  if (member != nullptr && pga_records::KeepAsText(*member, text)) {
    // Items are kept without escapes: every backslash goes, even where that
    // leaves text that no longer parses.
    text.erase(std::remove(text.begin(), text.end(), '\\'), text.end());
    items = std::move(text);
  }
}

}  // namespace pga
