// Helpers shared by the record tests: read a record from JSON text and write
// it back as compact text.
#ifndef PGA_RECORDS_RECORD_TEST_UTIL_H_
#define PGA_RECORDS_RECORD_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <string>

#include "runtime/json.h"

namespace pga {

namespace pga_records_test {

// Parses `text`, failing the test when it is not JSON.
inline rapidjson::Document ParseOrFail(const std::string& text) {
  rapidjson::Document doc;
  EXPECT_TRUE(pga_json::Parse(doc, text)) << text;
  return doc;
}

// The record's ToJson output, written into a new empty object.
template <typename Record>
std::string Write(const Record& record) {
  rapidjson::Document doc(rapidjson::kObjectType);
  record.ToJson(doc, doc.GetAllocator());
  std::string out;
  EXPECT_TRUE(pga_json::WriteCompact(doc, out));
  return out;
}

// A record of type Record read from `text` with FromJson.
template <typename Record>
Record Read(const std::string& text) {
  Record record;
  record.FromJson(ParseOrFail(text));
  return record;
}

// `text` read into a fresh record and written back.
template <typename Record>
std::string RoundTrip(const std::string& text) {
  Record record;
  record.FromJson(ParseOrFail(text));
  return Write(record);
}

}  // namespace pga_records_test

}  // namespace pga

#endif  // PGA_RECORDS_RECORD_TEST_UTIL_H_
