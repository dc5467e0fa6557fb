// JSON values that records keep as compact text ("properties", "items",
// "triggers", "actions") and write back later. rapidjson writes and copies
// values recursively, so a kept value is bounded in depth both when it is
// stored and when its text is parsed again for writing.
#ifndef PGA_RECORDS_JSON_TEXT_H_
#define PGA_RECORDS_JSON_TEXT_H_

#include <cstddef>
#include <string>

#include "runtime/json.h"

namespace pga {

namespace pga_records {

// Deepest value a record keeps as text. It stays below pga_json::kMaxDepth by
// the levels that enclose a kept value when its record is written inside a
// notification (event text, message, list, record, member), so the whole
// notification can still be written.
constexpr std::size_t kMaxKeptDepth = pga_json::kMaxDepth - 8;

// Writes `value` as compact JSON text into `text`. Returns false, leaving
// `text` unchanged, when `value` is nested deeper than kMaxKeptDepth or cannot
// be written (NaN or infinity).
bool KeepAsText(const rapidjson::Value& value, std::string& text);

// Parses kept `text` into `doc`. Returns false when it is not JSON or is
// nested deeper than kMaxKeptDepth.
bool ParseKeptText(rapidjson::Document& doc, const std::string& text);

// A new array holding deep copies (in `allocator`) of the elements of the
// array that `text` holds; an empty array when `text` does not parse or does
// not hold an array.
rapidjson::Value CopyKeptArray(const std::string& text,
                               rapidjson::Document::AllocatorType& allocator);

}  // namespace pga_records

}  // namespace pga

#endif  // PGA_RECORDS_JSON_TEXT_H_
