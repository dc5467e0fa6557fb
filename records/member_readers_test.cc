#include "records/member_readers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "records/record_test_util.h"

namespace pga_records {
namespace {

using pga_records_test::ParseOrFail;

TEST(MemberReadersTest, NativeValuesAreStoredAndReportedTrue) {
  const auto doc =
      ParseOrFail(R"({"i":-2147483648,"j":2147483647,"l":-9223372036854775808,"f":90.0,)"
                  R"("g":-1.5e38,"b":false,"s":"a\u0000b","dup":1,"dup":2})");
  int32_t i = 7;
  EXPECT_TRUE(ReadInt(doc, "i", i));
  EXPECT_EQ(i, std::numeric_limits<int32_t>::min());
  EXPECT_TRUE(ReadInt(doc, "j", i));
  EXPECT_EQ(i, std::numeric_limits<int32_t>::max());
  EXPECT_TRUE(ReadInt(doc, "dup", i));
  EXPECT_EQ(i, 1) << "the first member of a name wins";
  int64_t l = 7;
  EXPECT_TRUE(ReadInt64(doc, "l", l));
  EXPECT_EQ(l, std::numeric_limits<int64_t>::min());
  EXPECT_TRUE(ReadInt64(doc, "j", l));
  EXPECT_EQ(l, 2147483647);
  float f = 7;
  EXPECT_TRUE(ReadFloat(doc, "f", f));
  EXPECT_EQ(f, 90.0f);
  EXPECT_TRUE(ReadFloat(doc, "g", f));
  EXPECT_EQ(f, -1.5e38f);
  bool b = true;
  EXPECT_TRUE(ReadBool(doc, "b", b));
  EXPECT_FALSE(b);
  std::string s;
  EXPECT_TRUE(ReadString(doc, "s", s));
  EXPECT_EQ(s, std::string("a\0b", 3));
}

TEST(MemberReadersTest, OtherKindsAndMissingMembersLeaveTheTarget) {
  const auto doc = ParseOrFail(
      R"({"big":2147483648,"huge":9223372036854775808,"int":90,"real":1.0,)"
      R"("far":1e39,"one":1,"text":"12","upper":"0X1F","null":null,"arr":[1],"obj":{}})");
  int32_t i = 7;
  for (const char* key : {"big", "real", "text", "upper", "null", "arr", "obj", "missing"}) {
    EXPECT_FALSE(ReadInt(doc, key, i)) << key;
  }
  EXPECT_EQ(i, 7);
  int64_t l = 7;
  for (const char* key : {"huge", "real", "text", "upper", "missing"}) {
    EXPECT_FALSE(ReadInt64(doc, key, l)) << key;
  }
  EXPECT_EQ(l, 7);
  float f = 7;
  for (const char* key : {"int", "far", "one", "text", "missing"}) {
    EXPECT_FALSE(ReadFloat(doc, key, f)) << key;
  }
  EXPECT_EQ(f, 7.0f);
  bool b = true;
  for (const char* key : {"one", "text", "null", "obj", "missing"}) {
    EXPECT_FALSE(ReadBool(doc, key, b)) << key;
  }
  EXPECT_TRUE(b);
  std::string s = "kept";
  EXPECT_FALSE(ReadString(doc, "one", s));
  EXPECT_FALSE(ReadString(doc, "missing", s));
  EXPECT_EQ(s, "kept");

  // Not an object at all.
  const auto array = ParseOrFail(R"([{"one":1}])");
  EXPECT_FALSE(ReadInt(array, "one", i));
  EXPECT_FALSE(ReadString(array, "one", s));
  EXPECT_EQ(i, 7);
}

TEST(MemberReadersTest, HexTextIsStoredButReportedFalse) {
  const auto doc =
      ParseOrFail(R"({"h1f":"0x1F","bare":"0x","g":"0xG","zero":"0x0","mixed":"0xzAbC",)"
                  R"("wide":"0x100000000","ones":"0xFFFFFFFF","ones64":"0xFFFFFFFFFFFFFFFF",)"
                  R"("nul":"0x1\u00001"})");
  int32_t i = 7;
  EXPECT_FALSE(ReadInt(doc, "h1f", i));
  EXPECT_EQ(i, 31);
  EXPECT_FALSE(ReadInt(doc, "bare", i));
  EXPECT_EQ(i, 0);
  EXPECT_FALSE(ReadInt(doc, "mixed", i));
  EXPECT_EQ(i, 0xABC) << "z counts 0";
  EXPECT_FALSE(ReadInt(doc, "ones", i));
  EXPECT_EQ(i, -1);
  EXPECT_FALSE(ReadInt(doc, "wide", i));
  EXPECT_EQ(i, 0) << "32-bit arithmetic wraps";
  EXPECT_FALSE(ReadInt(doc, "nul", i));
  EXPECT_EQ(i, 0x101) << "a NUL character counts 0";

  int64_t l = 7;
  EXPECT_FALSE(ReadInt64(doc, "wide", l));
  EXPECT_EQ(l, 4294967296);
  EXPECT_FALSE(ReadInt64(doc, "ones64", l));
  EXPECT_EQ(l, -1);

  float f = 7;
  EXPECT_FALSE(ReadFloat(doc, "h1f", f));
  EXPECT_EQ(f, 31.0f);

  bool b = true;
  EXPECT_FALSE(ReadBool(doc, "zero", b));
  EXPECT_FALSE(b);
  b = true;
  EXPECT_FALSE(ReadBool(doc, "g", b));
  EXPECT_FALSE(b);
  EXPECT_FALSE(ReadBool(doc, "h1f", b));
  EXPECT_TRUE(b);
  b = false;
  EXPECT_FALSE(ReadBool(doc, "wide", b));
  EXPECT_FALSE(b) << "0x100000000 is zero in 32 bits";
}

}  // namespace
}  // namespace pga_records
