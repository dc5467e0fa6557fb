#include "records/event_rule_model.h"

#include <utility>

#include "records/json_text.h"
#include "records/member_readers.h"
#include "records/member_writers.h"

namespace pga {

namespace {

void AppendKeptArray(rapidjson::Value& value, const char* key,
                     const std::optional<std::string>& text, BaseModel::Allocator& allocator) {
  if (!text) return;
  pga_json::AddMember(value, key, pga_records::CopyKeptArray(*text, allocator), allocator);
}

// An array member kept as text: "" for an empty array.
void ReadKeptArray(const rapidjson::Value& value, const char* key,
                   std::optional<std::string>& field) {
  const rapidjson::Value* member = pga_json::FindMember(value, key);
  if (member == nullptr || !member->IsArray()) return;
  if (member->Empty()) {
    field = std::string();
    return;
  }
  std::string text;
  if (pga_records::KeepAsText(*member, text)) field = std::move(text);
}

}  // namespace

void EventRuleModel::ToJson(rapidjson::Value& value, Allocator& allocator) const {
  if (!ruleId) return;
  pga_records::Set(value, "ruleId", *ruleId, allocator);
  if (!ruleName) return;
  pga_records::Set(value, "ruleName", *ruleName, allocator);
  pga_records::SetIfPresent(value, "enabled", enabled, allocator);
  AppendKeptArray(value, "triggers", triggers, allocator);
  AppendKeptArray(value, "actions", actions, allocator);
}

void EventRuleModel::FromJson(const rapidjson::Value& value) {
  pga_records::ReadOptionalText(value, "ruleId", ruleId);
  pga_records::ReadOptionalText(value, "ruleName", ruleName);
  pga_records::ReadStrictBool(value, "enabled", enabled);
  ReadKeptArray(value, "triggers", triggers);
  ReadKeptArray(value, "actions", actions);
}

}  // namespace pga
