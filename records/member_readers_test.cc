#include "records/member_readers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "records/record_test_util.h"

namespace pga {

namespace pga_records {
namespace {

// "<reported> <value>" after `read` read `key` from `doc` into a target
// that held `start`.
template <typename T>
std::string Outcome(bool (*read)(const rapidjson::Value&, const char*, T&), T start,
                    const rapidjson::Value& doc, const char* key) {
  T value = start;
  const bool reported = read(doc, key, value);
  std::ostringstream out;
  out << (reported ? "true " : "false ") << +value;
  return out.str();
}

// The cases of testdata/member_readers.txt (its head describes them).
TEST(MemberReadersTest, NumbersAndBooleansTakeNativeValuesAndHexTextButNothingElse) {
  using namespace std::placeholders;
  using Reader = std::function<std::string(const rapidjson::Value&, const char*)>;
  const std::map<std::string, Reader> readers = {
      {"ReadInt", std::bind(Outcome<int32_t>, ReadInt, 7, _1, _2)},
      {"ReadInt64", std::bind(Outcome<int64_t>, ReadInt64, 7, _1, _2)},
      {"ReadFloat", std::bind(Outcome<float>, ReadFloat, 7.0f, _1, _2)},
      {"ReadBool", std::bind(Outcome<bool>, ReadBool, true, _1, _2)},
  };
  std::ifstream in(PGA_RECORDS_TESTDATA "/member_readers.txt");
  rapidjson::Document doc;
  int cases = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string reader, key, outcome;
    words >> reader >> key;
    std::getline(words >> std::ws, outcome);
    if (reader == "document") {
      doc = pga_records_test::ParseOrFail(line.substr(reader.size() + 1));
      continue;
    }
    ASSERT_EQ(readers.count(reader), 1u) << line;
    EXPECT_EQ(readers.at(reader)(doc, key.c_str()), outcome) << line;
    ++cases;
  }
  EXPECT_GT(cases, 0);
}

TEST(MemberReadersTest, StringsKeepNulBytes) {
  const rapidjson::Document doc = pga_records_test::ParseOrFail(R"({"s":"a\u0000b","one":1})");
  std::string s = "kept";
  EXPECT_FALSE(ReadString(doc, "one", s));
  EXPECT_FALSE(ReadString(doc, "missing", s));
  EXPECT_EQ(s, "kept");
  EXPECT_TRUE(ReadString(doc, "s", s));
  EXPECT_EQ(s, std::string("a\0b", 3));
}

}  // namespace
}  // namespace pga_records

}  // namespace pga
