#include "runtime/json.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace pga {

namespace {

TEST(JsonTest, ParseRefusesDeepNestingAndBadTextWithAnEmptyObject) {
  rapidjson::Document doc;
  EXPECT_FALSE(pga_json::Parse(doc, std::string(100000, '[') + std::string(100000, ']')));
  EXPECT_TRUE(doc.IsObject() && doc.MemberCount() == 0);
  ASSERT_TRUE(pga_json::Parse(
      doc, std::string(pga_json::kMaxDepth, '[') + std::string(pga_json::kMaxDepth, ']')));
  EXPECT_EQ(pga_json::Depth(doc), pga_json::kMaxDepth);

  pga_json::ParseFailure failure;
  EXPECT_FALSE(pga_json::Parse(doc, "{\"a\":[1,}", &failure));
  EXPECT_TRUE(doc.IsObject());
  EXPECT_EQ(failure.message, "Invalid value.");
  EXPECT_EQ(failure.offset, 8u);
  // Too deep and broken further on: the broken text is what is reported.
  EXPECT_FALSE(
      pga_json::Parse(doc, std::string(600, '[') + "1,]" + std::string(599, ']'), &failure));
  EXPECT_EQ(failure.message, "Invalid value.");
  EXPECT_EQ(failure.offset, 602u);
  // A caller's own bound.
  EXPECT_FALSE(pga_json::Parse(doc, "[{\"a\":[]}]", &failure, 2));
  EXPECT_EQ(failure.message, "Nesting deeper than 2 levels.");
  EXPECT_TRUE(pga_json::Parse(doc, "[{\"a\":[]},[]]", nullptr, 3));
  // A NUL byte inside the given length is read as text, not as its end.
  const char inner_nul[] = "{\"a\"\0:1}";
  EXPECT_FALSE(pga_json::Parse(doc, inner_nul, sizeof(inner_nul) - 1));
  ASSERT_TRUE(pga_json::Parse(doc, std::string("{\"a\":\"x\\u0000y\"}")));
  EXPECT_EQ(pga_json::GetString(doc["a"]), std::string("x\0y", 3));
  ASSERT_TRUE(pga_json::Parse(doc, std::string("{\"k\":2,\"k\":3}")));
  EXPECT_EQ(pga_json::FindMember(doc, "k")->GetInt(), 2);  // the first of a name wins

  // Misuse throws instead of aborting.
  doc.SetArray();
  EXPECT_THROW(doc.GetObject(), pga_json::JsonAssertion);
  EXPECT_EQ(pga_json::FindMember(doc, "x"), nullptr);
}

TEST(JsonTest, AssertionsInRapidjsonsNoexceptOperationsThrowInsteadOfEndingTheProcess) {
  // Each of these asserts inside an operation that rapidjson declares
  // noexcept, where a throw would end the process.
  rapidjson::Value value(1);
  rapidjson::Value& same = value;
  EXPECT_THROW(value = same, pga_json::JsonAssertion);
  EXPECT_THROW(rapidjson::Value(static_cast<const char*>(nullptr), 0u), pga_json::JsonAssertion);
  EXPECT_THROW(rapidjson::Value(static_cast<rapidjson::Type>(99)), pga_json::JsonAssertion);
  EXPECT_EQ(value.GetInt(), 1);
}

TEST(JsonTest, NumbersKeepTheirKindAndValue) {
  rapidjson::Document doc;
  const std::string text =
      "[0e39,2147483648,-2147483648,-2147483649,9223372036854775808,-9223372036854775809,"
      "18446744073709551616,7.777777777777774e149,0.1,-0.0]";
  ASSERT_TRUE(pga_json::Parse(doc, text));
  // Found by fuzzing: a zero with an exponent took rapidjson's precise
  // conversion into undefined behaviour.
  EXPECT_TRUE(doc[0].IsDouble());
  EXPECT_EQ(doc[0].GetDouble(), 0.0);
  EXPECT_TRUE(doc[1].IsUint() && !doc[1].IsInt());
  EXPECT_TRUE(doc[2].IsInt());
  EXPECT_TRUE(doc[3].IsInt64() && !doc[3].IsInt());
  EXPECT_TRUE(doc[4].IsUint64() && !doc[4].IsInt64());
  EXPECT_TRUE(doc[5].IsDouble());
  EXPECT_TRUE(doc[6].IsDouble());
  EXPECT_EQ(pga_json::ToCompact(doc),
            "[0.0,2147483648,-2147483648,-2147483649,9223372036854775808,-9223372036854776000.0,"
            "18446744073709553000.0,7.777777777777774e149,0.1,-0.0]");

  pga_json::ParseFailure failure;
  EXPECT_FALSE(pga_json::Parse(doc, "{\"a\":1e400}", &failure));
  EXPECT_EQ(failure.message, "Number too big to be stored in double.");
  std::string out;
  EXPECT_FALSE(
      pga_json::WriteCompact(rapidjson::Value(std::numeric_limits<double>::quiet_NaN()), out));
}

}  // namespace

}  // namespace pga
