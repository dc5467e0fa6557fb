// The exact text every record writes, from the cases in
// testdata/written_forms.txt (its head describes the format).
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

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
#include "runtime/form_case_test_util.h"

namespace pga {

namespace {

using pga_records_test::ParseOrFail;

// Runs the steps of `form` on one fresh Record.
template <typename Record>
void RunCase(const FormCase& form) {
  Record record;
  std::string into = "{}";
  for (const FormStep& step : form.steps) {
    if (step.word == "read") {
      record.FromJson(ParseOrFail(step.text));
    } else if (step.word == "into") {
      into = step.text;
    } else {
      rapidjson::Document doc = ParseOrFail(into);
      record.ToJson(doc, doc.GetAllocator());
      EXPECT_EQ(pga_json::ToCompact(doc), step.text) << "written_forms.txt:" << step.line;
    }
  }
}

TEST(WrittenFormsTest, EveryRecordWritesTheExpectedText) {
  const std::map<std::string, std::function<void(const FormCase&)>> runs = {
      {"CapabilityModel", RunCase<CapabilityModel>},
      {"EventCapability", RunCase<EventCapability>},
      {"ObjectCapability", RunCase<ObjectCapability>},
      {"ChannelModel", RunCase<ChannelModel>},
      {"DeviceModel", RunCase<DeviceModel>},
      {"SystemModel", RunCase<SystemModel>},
      {"TimezoneModel", RunCase<TimezoneModel>},
      {"ServerModel", RunCase<ServerModel>},
      {"UserModel", RunCase<UserModel>},
      {"LayoutModel", RunCase<LayoutModel>},
      {"EventRuleModel", RunCase<EventRuleModel>},
      {"WebsocketEventModel", RunCase<WebsocketEventModel>},
      {"GroupModel", RunCase<GroupModel>},
      {"GroupOrderModel", RunCase<GroupOrderModel>},
  };
  for (const FormCase& form : ReadFormCases(PGA_RECORDS_TESTDATA "/written_forms.txt")) {
    const auto run = runs.find(form.type);
    ASSERT_NE(run, runs.end()) << form.type;
    run->second(form);
  }
}

}  // namespace

}  // namespace pga
