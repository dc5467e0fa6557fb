#include "host/tree_document.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

namespace pga {

namespace {

using namespace std::string_literals;

TEST(TreeDocumentTest, EveryStoredValueSurvivesTheRoundTrip) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<StoreRow> rows = {
      {StoreValue::Text("\xff\x00z"s), StoreValue::Null(), StoreValue::Text("caf\xC3\xA9\0"s),
       StoreValue::Blob("\x01\x02"s), StoreValue::Integer(INT64_MIN), StoreValue::Integer(-1)},
      {StoreValue::Text("r"), StoreValue::Text(""), StoreValue::Null(), StoreValue::Text("Channel"),
       StoreValue::Real(0.1), StoreValue::Real(-inf)},
      {StoreValue::Text("s"), StoreValue::Text("r"), StoreValue::Text("\"q\"\n"),
       StoreValue::Text("Group"), StoreValue::Integer(3), StoreValue::Integer(INT64_MIN)},
  };
  const std::string text = WriteTreeDocument(rows);
  for (const char* expected :
       {R"({"formatVersion":1,"items":[)"
        "\n"
        R"({"itemId":{"hex":"ff007a"},"parentId":null,)",
        R"("name":"café\u0000","type":{"blob":"0102"},"order":-9223372036854775808,)",
        R"("createdTime":18446744073709551615},)"
        "\n",
        R"("order":{"real":"0.10000000000000001"},"createdTime":{"real":"-inf"}},)",
        R"("name":"\"q\"\n",)",
        R"("createdTime":9223372036854775808})"
        "\n]}\n"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  }
  std::vector<StoreRow> read;
  std::string error;
  ASSERT_TRUE(ReadTreeDocument(text, read, error)) << error;
  EXPECT_TRUE(read == rows);
  EXPECT_EQ(WriteTreeDocument(read), text);

  EXPECT_EQ(WriteTreeDocument({}), "{\"formatVersion\":1,\"items\":[]}\n");
  ASSERT_TRUE(ReadTreeDocument(WriteTreeDocument({}), read, error)) << error;
  EXPECT_TRUE(read.empty());
}

TEST(TreeDocumentTest, RefusesWhatIsNotAnExportOfThisVersion) {
  std::ifstream cases(PGA_HOST_TESTDATA "/bad_exports.txt");
  ASSERT_TRUE(cases.is_open());
  int count = 0;
  for (std::string line; std::getline(cases, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    std::vector<StoreRow> rows;
    std::string error;
    EXPECT_FALSE(ReadTreeDocument(line.substr(tab + 1), rows, error)) << line;
    EXPECT_NE(error.find(line.substr(0, tab)), std::string::npos) << error;
    ++count;
  }
  EXPECT_GT(count, 20);
}

}  // namespace

}  // namespace pga
