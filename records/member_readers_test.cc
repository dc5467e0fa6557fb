#include "records/member_readers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>

#include "records/record_test_util.h"

namespace pga_records {
namespace {

const rapidjson::Document& Doc() {
  static const rapidjson::Document doc = pga_records_test::ParseOrFail(
      R"({"i":-2147483648,"j":2147483647,"l":-9223372036854775808,"f":90.0,"g":-1.5e38,)"
      R"("b":false,"s":"a\u0000b","dup":1,"dup":2,"big":2147483648,)"
      R"("huge":9223372036854775808,"int":90,"real":1.0,"far":1e39,"one":1,"text":"12",)"
      R"("upper":"0X1F","null":null,"arr":[1],"obj":{},"h1f":"0x1F","bare":"0x","hexg":"0xG",)"
      R"("zero":"0x0","mixed":"0xzAbC","wide":"0x100000000","ones":"0xFFFFFFFF",)"
      R"("ones64":"0xFFFFFFFFFFFFFFFF","nul":"0x1\u00001"})");
  return doc;
}

// "<reported> <value>" after reading `key` into a target that held `start`.
template <typename T>
std::string Outcome(bool (*read)(const rapidjson::Value&, const char*, T&), const char* key,
                    T start) {
  T value = start;
  const bool reported = read(Doc(), key, value);
  std::ostringstream out;
  out << (reported ? "true " : "false ") << +value;
  return out.str();
}

struct Row {
  const char* key;
  const char* outcome;
};

// Native values are stored and reported true; other kinds and missing
// members leave the target; hexadecimal text ("0x..." only) is stored but
// reported false, with non-digits counting 0 and the reader's own width.
TEST(MemberReadersTest, IntegersTakeNativeValuesAndHexTextButNothingElse) {
  const Row ints[] = {{"i", "true -2147483648"}, {"j", "true 2147483647"}, {"dup", "true 1"},
                      {"big", "false 7"},        {"real", "false 7"},      {"text", "false 7"},
                      {"upper", "false 7"},      {"null", "false 7"},      {"arr", "false 7"},
                      {"obj", "false 7"},        {"missing", "false 7"},   {"h1f", "false 31"},
                      {"bare", "false 0"},       {"mixed", "false 2748"},  {"ones", "false -1"},
                      {"wide", "false 0"},       {"nul", "false 257"}};
  for (const Row& row : ints) EXPECT_EQ(Outcome(ReadInt, row.key, 7), row.outcome) << row.key;
  const Row longs[] = {{"l", "true -9223372036854775808"},
                       {"j", "true 2147483647"},
                       {"huge", "false 7"},
                       {"real", "false 7"},
                       {"text", "false 7"},
                       {"wide", "false 4294967296"},
                       {"ones64", "false -1"}};
  for (const Row& row : longs) {
    EXPECT_EQ(Outcome<int64_t>(ReadInt64, row.key, 7), row.outcome) << row.key;
  }
}

TEST(MemberReadersTest, FloatsAndBooleansTakeNativeValuesAndHexText) {
  const Row floats[] = {{"f", "true 90"},    {"g", "true -1.5e+38"}, {"int", "false 7"},
                        {"far", "false 7"},  {"one", "false 7"},     {"text", "false 7"},
                        {"h1f", "false 31"}, {"missing", "false 7"}};
  for (const Row& row : floats) {
    EXPECT_EQ(Outcome<float>(ReadFloat, row.key, 7), row.outcome) << row.key;
  }
  // 0x100000000 is zero in 32 bits.
  const Row bools[] = {{"b", "true 0"},     {"one", "false 1"}, {"text", "false 1"},
                       {"null", "false 1"}, {"obj", "false 1"}, {"zero", "false 0"},
                       {"hexg", "false 0"}, {"h1f", "false 1"}, {"wide", "false 0"}};
  for (const Row& row : bools) EXPECT_EQ(Outcome(ReadBool, row.key, true), row.outcome) << row.key;
}

TEST(MemberReadersTest, StringsKeepNulBytes) {
  std::string s = "kept";
  EXPECT_FALSE(ReadString(Doc(), "one", s));
  EXPECT_FALSE(ReadString(Doc(), "missing", s));
  EXPECT_EQ(s, "kept");
  EXPECT_TRUE(ReadString(Doc(), "s", s));
  EXPECT_EQ(s, std::string("a\0b", 3));
}

}  // namespace
}  // namespace pga_records
