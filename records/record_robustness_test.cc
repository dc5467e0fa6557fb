// Every record reader fed every JSON kind under every key it knows, values
// that are not objects, and deep nesting: each gives a defined, writable
// result and never throws or crashes.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "records/group_model.h"
#include "records/capability_model.h"
#include "records/channel_model.h"
#include "records/device_model.h"
#include "records/event_rule_model.h"
#include "records/json_text.h"
#include "records/layout_model.h"
#include "records/record_test_util.h"
#include "records/server_model.h"
#include "records/system_model.h"
#include "records/timezone_model.h"
#include "records/user_model.h"
#include "records/websocket_event_model.h"

namespace {

using pga_records_test::ParseOrFail;

// The lists of testdata/robustness_inputs.txt (its head describes the
// format), by name.
const std::vector<std::string>& Inputs(const std::string& name) {
  static const auto lists = [] {
    std::map<std::string, std::vector<std::string>> read;
    std::ifstream in(PGA_RECORDS_TESTDATA "/robustness_inputs.txt");
    EXPECT_TRUE(in.is_open());
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream words(line);
      std::string list;
      words >> list;
      read[list].insert(read[list].end(), std::istream_iterator<std::string>(words), {});
    }
    return read;
  }();
  return lists.at(name);
}
const std::vector<std::string>& Keys() { return Inputs("keys"); }
const std::vector<std::string>& Kinds() { return Inputs("kinds"); }
const std::vector<std::string>& Wrappers() { return Inputs("wrappers"); }

std::string Wrap(std::string wrapper, const std::string& member) {
  if (wrapper == "%") return "{" + member + "}";
  return wrapper.replace(wrapper.find('%'), 1, member);
}

// Reads `text` into a fresh record and writes it back; unless `stable` is
// false, the written form must read back to itself, so a record never writes
// what it cannot read again.
template <typename Record>
std::string ReadWriteStable(const std::string& text, bool stable = true) {
  std::string written;
  EXPECT_NO_THROW({
    written = pga_records_test::RoundTrip<Record>(text);
    if (stable) {
      EXPECT_EQ(pga_records_test::RoundTrip<Record>(written), written) << text;
    }
  }) << text;
  return written;
}

template <typename Record>
class RecordRobustnessTest : public testing::Test {};

using RecordTypes =
    testing::Types<DeviceModel, ChannelModel, CapabilityModel, SystemModel, TimezoneModel,
                   ServerModel, UserModel, LayoutModel, EventRuleModel, GroupModel, GroupOrderModel,
                   WebsocketEventModel>;
TYPED_TEST_SUITE(RecordRobustnessTest, RecordTypes);

TYPED_TEST(RecordRobustnessTest, ValuesThatAreNotObjectsChangeNothing) {
  TypeParam record;
  // Fill the record from every key at once, then offer non-objects.
  // The groups come first: the first member of a name is the one read.
  std::string all =
      R"({"capabilities":{"motion":{}},"fisheye":{},"imageSettings":{},"settings":{},)"
      R"("timeZone":{})";
  for (const auto& key : Keys()) all += ",\"" + key + R"(":"0x1")";
  all += "}";
  record.FromJson(ParseOrFail(all));
  const std::string before = pga_records_test::Write(record);
  for (const auto& kind : Kinds()) {
    if (kind[0] == '{') continue;
    EXPECT_NO_THROW(record.FromJson(ParseOrFail(kind))) << kind;
    EXPECT_EQ(pga_records_test::Write(record), before) << kind;
  }
}

TYPED_TEST(RecordRobustnessTest, EveryKindUnderEveryKeyGivesAStableRecord) {
  for (const auto& wrapper : Wrappers()) {
    for (const auto& key : Keys()) {
      for (const auto& kind : Kinds()) {
        // A group's unsigned createdTime above 2^63-1 is written as a
        // negative number, which a group does not read back.
        const bool stable = !(std::is_same_v<TypeParam, GroupModel> && key == "createdTime" &&
                              kind == "9223372036854775808");
        ReadWriteStable<TypeParam>(Wrap(wrapper, "\"" + key + "\":" + kind), stable);
      }
    }
  }
}

TYPED_TEST(RecordRobustnessTest, DeepNestingIsNeverKeptBeyondTheLimit) {
  // The deepest documents the parser accepts, with the deep value under
  // every key: arrays, and objects whose members repeat the key.
  for (const auto& key : Keys()) {
    const std::size_t depth = pga_json::kMaxDepth - 3;
    std::string arrays = std::string(depth, '[') + std::string(depth, ']');
    std::string objects;
    for (std::size_t i = 0; i < depth; ++i) objects += "{\"" + key + "\":";
    objects += "1" + std::string(depth, '}');
    for (const auto& wrapper : Wrappers()) {
      for (const auto* deep : {&arrays, &objects}) {
        const std::string text = Wrap(wrapper, "\"" + key + "\":" + *deep);
        const std::string written = ReadWriteStable<TypeParam>(text);
        rapidjson::Document doc;
        ASSERT_TRUE(pga_json::Parse(doc, written)) << key;
        EXPECT_LE(pga_json::Depth(doc), pga_records::kMaxKeptDepth + 1) << key;
      }
    }
  }
}

}  // namespace
