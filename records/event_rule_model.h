// An event rule: what triggers it and what it does, kept as compact JSON text.
#ifndef PGA_RECORDS_EVENT_RULE_MODEL_H_
#define PGA_RECORDS_EVENT_RULE_MODEL_H_

#include <optional>
#include <string>

#include "records/base_model.h"

namespace pga {

// Every field is optional; a fresh record has all of them absent.
class EventRuleModel : public BaseModel {
 public:
  // Writes nothing without a ruleId; sets "ruleId", then stops without a
  // ruleName; otherwise sets "ruleName", "enabled" (when present) and appends
  // "triggers" and "actions" (when present): the elements of the array the
  // text holds, or an empty array when it does not parse (the empty text
  // included), holds no array or is nested deeper than
  // pga_records::kMaxKeptDepth.
  void ToJson(rapidjson::Value& value, Allocator& allocator) const override;

  // Reads "ruleId", "ruleName" (strings), "enabled" (only true or false),
  // "triggers" and "actions" (arrays: a non-empty one kept as compact text,
  // an empty one as the empty text). Members of the wrong kind, and arrays
  // nested deeper than pga_records::kMaxKeptDepth, are skipped.
  void FromJson(const rapidjson::Value& value) override;

  std::optional<std::string> ruleId;
  std::optional<std::string> ruleName;
  std::optional<bool> enabled;
  std::optional<std::string> triggers;
  std::optional<std::string> actions;
};

}  // namespace pga

#endif  // PGA_RECORDS_EVENT_RULE_MODEL_H_
