// A screen layout: the channels and web pages it shows and its free-form
// properties and items, kept as compact JSON text.
#ifndef PGA_RECORDS_LAYOUT_MODEL_H_
#define PGA_RECORDS_LAYOUT_MODEL_H_

#include <optional>
#include <set>
#include <string>

#include "records/base_model.h"

namespace pga {

// Every field is optional; a fresh record has all of them absent.
class LayoutModel : public BaseModel {
 public:
  // Sets "layoutId" and "layoutName"; appends "channelIds" and "webpageIds"
  // (ascending arrays); appends "properties" (the parsed text, or null when
  // it does not parse) and "items" (the elements of the parsed array, or an
  // empty array when the text does not parse or holds no array). Each only
  // when present. A kept text nested deeper than pga_records::kMaxKeptDepth
  // counts as not parsing.
  void ToJson(rapidjson::Value& value, Allocator& allocator) const override;

  // Reads the texts, the two sets (arrays; a set then holds exactly the
  // array's texts), "properties" (any value, kept as compact text) and
  // "items" (any value, kept as compact text with every backslash removed).
  // A "properties" or "items" value nested deeper than
  // pga_records::kMaxKeptDepth is treated as absent; other members of the
  // wrong kind are skipped.
  void FromJson(const rapidjson::Value& value) override;

  std::optional<std::string> layoutId;
  std::optional<std::string> layoutName;
  std::optional<std::set<std::string>> channelIds;
  std::optional<std::set<std::string>> webpageIds;
  std::optional<std::string> properties;
  std::optional<std::string> items;
};

}  // namespace pga

#endif  // PGA_RECORDS_LAYOUT_MODEL_H_
