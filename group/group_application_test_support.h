// Test support: one GroupApplication in a fresh data directory, driven as a
// host drives it, with a recording "DeviceListener" and a counting allocator
// that must end with no live block.
#ifndef PGA_GROUP_GROUP_APPLICATION_TEST_SUPPORT_H_
#define PGA_GROUP_GROUP_APPLICATION_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "doubles/component_driver.h"
#include "doubles/counting_allocator.h"
#include "doubles/recording_event_queue.h"
#include "group/group_application.h"
#include "group/group_request_param.h"
#include "records/i_device_dispatcher.h"
#include "records/i_device_listener.h"
#include "store/temp_store_dir.h"

namespace pga {

class GroupApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallAllocator(&allocator_);
    dir_ = std::make_unique<TempStoreDir>();
    Open();
  }

  void TearDown() override {
    Close();
    dir_.reset();
    EXPECT_EQ(allocator_.LiveBlocks(), 0u) << "storage leaked";
    EXPECT_EQ(allocator_.BadFrees(), 0u);
    InstallAllocator(nullptr);
  }

  // Creates, allocates, associates and starts a component on the current
  // directory's store, or on the service `make_service` makes.
  void Open(const GroupApplication::ServiceFactory& make_service = nullptr) {
    app_ = make_service ? new ("GroupApplication") GroupApplication(make_service)
                        : new ("GroupApplication") GroupApplication();
    ASSERT_NE(app_, nullptr);
    driver_ = std::make_unique<ComponentDriver>(*app_);
    driver_->Allocate();
    ASSERT_TRUE(driver_->AssociateReceiver("DeviceListener", listener_, 77));
    driver_->Begin();
  }

  // Stops, finalizes and destroys the component; drops its notifications.
  void Close() {
    if (app_ == nullptr) return;
    driver_->End();
    driver_.reset();
    delete app_;
    app_ = nullptr;
    listener_.TakeEvents();
  }

  // Delivers a request of `type` whose request record holds `payload`.
  std::unique_ptr<Event> Request(std::uint32_t type, GroupRequestParam::Payload payload,
                                 std::uint32_t table_key = 0) {
    auto* request = new ("GroupRequestParam") GroupRequestParam();
    request->payload = std::move(payload);
    request->tableKey = table_key;
    return Deliver(type, request);
  }

  // Delivers an event of `type` carrying `payload` (may be null).
  std::unique_ptr<Event> Deliver(std::uint32_t type, BaseObject* payload) {
    std::unique_ptr<Event> event = driver_->MakeEvent(type, 0, payload);
    EXPECT_TRUE(driver_->Deliver(*event));
    return event;
  }

  static std::shared_ptr<GroupModel> Group(const std::string& id, std::optional<std::string> name,
                                           std::optional<std::string> parent = std::nullopt) {
    auto group = std::make_shared<GroupModel>();
    group->groupId = id;
    group->groupName = std::move(name);
    group->parentId = std::move(parent);
    return group;
  }

  std::unique_ptr<Event> CreateGroup(const std::string& id, std::optional<std::string> name,
                                     std::optional<std::string> parent = std::nullopt) {
    return Request(eCreateLogicalGroup, Group(id, std::move(name), std::move(parent)));
  }

  // The request record the event carries, or null (a failure of the test)
  // when the component answered with a result record instead.
  static GroupRequestParam* Answer(Event& event) {
    auto* request = dynamic_cast<GroupRequestParam*>(event.GetObjectArgument());
    if (request == nullptr) ADD_FAILURE() << "answered " << Failure(event);
    return request;
  }

  // Whether the request was answered as done.
  static bool Succeeded(Event& event) {
    const GroupRequestParam* request = Answer(event);
    return request != nullptr && request->succeeded;
  }

  // "code message" of the result record the event carries, or "none".
  static std::string Failure(Event& event) {
    auto* result = dynamic_cast<IDeviceDispatcher::ResultParam*>(event.GetObjectArgument());
    if (result == nullptr) return "none";
    EXPECT_EQ(event.GetBlob().GetSize(), result->GetSize());
    return std::to_string(result->code) + " " + result->message;
  }

  // The text of every notification received since the last call, in order,
  // with the time stamps masked as T.
  std::vector<std::string> Notifications() {
    std::vector<std::string> texts;
    for (const std::unique_ptr<Event>& event : listener_.TakeEvents()) {
      EXPECT_EQ(event->GetEventType(), IDeviceListener::kNotificationEventType);
      auto* param = dynamic_cast<IDeviceListener::EventParam*>(event->GetObjectArgument());
      EXPECT_NE(param, nullptr);
      if (param == nullptr) continue;
      static const std::regex time("\"(eventTimeMsec|createdTime)\":[0-9]+");
      texts.push_back(std::regex_replace(param->ToJsonText(), time, "\"$1\":T"));
    }
    return texts;
  }

  // uuid|parent|name|type|order of every stored row, by uuid.
  static std::vector<std::string> StoredRows() {
    std::vector<std::string> rows;
    for (const auto& row : TempStoreDir::Query(
             "SELECT uuid, parent_uuid, name, type, order_ FROM logical_table ORDER BY uuid")) {
      std::string line;
      for (const std::string& column : row) line += (line.empty() ? "" : "|") + column;
      rows.push_back(line);
    }
    return rows;
  }

  CountingAllocator allocator_;
  RecordingEventQueue listener_;
  std::unique_ptr<TempStoreDir> dir_;
  GroupApplication* app_ = nullptr;
  std::unique_ptr<ComponentDriver> driver_;
};

}  // namespace pga

#endif  // PGA_GROUP_GROUP_APPLICATION_TEST_SUPPORT_H_
