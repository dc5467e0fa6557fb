// The exact text every record writes, from the cases in
// testdata/written_forms.txt (its head describes the format).
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "records/capability_model.h"
#include "records/channel_model.h"
#include "records/device_model.h"
#include "records/event_rule_model.h"
#include "records/group_model.h"
#include "records/layout_model.h"
#include "records/record_test_util.h"
#include "records/server_model.h"
#include "records/system_model.h"
#include "records/timezone_model.h"
#include "records/user_model.h"
#include "records/websocket_event_model.h"

namespace {

struct Case {
  std::string record;
  std::vector<std::string> reads;
  std::string into = "{}";
  std::string expected;
  int line = 0;
};

std::vector<Case> ReadCases(const std::string& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in.is_open()) << path;
  std::vector<Case> cases;
  Case next;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    const std::size_t space = line.find(' ');
    const std::string word = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    if (word == "record") {
      next = Case();
      next.record = rest;
    } else if (word == "read") {
      next.reads.push_back(rest);
    } else if (word == "into") {
      next.into = rest;
    } else if (word == "write") {
      next.expected = rest;
      next.line = number;
      cases.push_back(next);
    } else {
      ADD_FAILURE() << path << ":" << number << ": unknown line " << line;
    }
  }
  return cases;
}

// Reads each of `reads` in turn into one fresh Record and writes it into
// `into`.
template <typename Record>
std::string ReadAndWrite(const std::vector<std::string>& reads, const std::string& into) {
  Record record;
  for (const std::string& text : reads) record.FromJson(pga_records_test::ParseOrFail(text));
  rapidjson::Document doc = pga_records_test::ParseOrFail(into);
  record.ToJson(doc, doc.GetAllocator());
  return pga_json::ToCompact(doc);
}

using Writer = std::function<std::string(const std::vector<std::string>&, const std::string&)>;

TEST(WrittenFormsTest, EveryRecordWritesTheExpectedText) {
  const std::map<std::string, Writer> writers = {
      {"CapabilityModel", ReadAndWrite<CapabilityModel>},
      {"EventCapability", ReadAndWrite<EventCapability>},
      {"ObjectCapability", ReadAndWrite<ObjectCapability>},
      {"ChannelModel", ReadAndWrite<ChannelModel>},
      {"DeviceModel", ReadAndWrite<DeviceModel>},
      {"SystemModel", ReadAndWrite<SystemModel>},
      {"TimezoneModel", ReadAndWrite<TimezoneModel>},
      {"ServerModel", ReadAndWrite<ServerModel>},
      {"UserModel", ReadAndWrite<UserModel>},
      {"LayoutModel", ReadAndWrite<LayoutModel>},
      {"EventRuleModel", ReadAndWrite<EventRuleModel>},
      {"WebsocketEventModel", ReadAndWrite<WebsocketEventModel>},
      {"GroupModel", ReadAndWrite<GroupModel>},
      {"GroupOrderModel", ReadAndWrite<GroupOrderModel>},
  };
  const std::vector<Case> cases = ReadCases(PGA_RECORDS_TESTDATA "/written_forms.txt");
  ASSERT_FALSE(cases.empty());
  for (const Case& c : cases) {
    const auto writer = writers.find(c.record);
    ASSERT_NE(writer, writers.end()) << "line " << c.line << ": " << c.record;
    EXPECT_EQ(writer->second(c.reads, c.into), c.expected) << "written_forms.txt:" << c.line;
  }
}

}  // namespace
