// Loads the built plug-in with dlopen, as a host compiled separately does,
// and checks that the two entry points are there undecorated and that
// objects, type checks and exceptions work across the boundary.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "doubles/component_driver.h"
#include "doubles/counting_allocator.h"
#include "doubles/recording_event_queue.h"
#include "group/group_application.h"
#include "group/group_request_param.h"
#include "plugin/group_plugin.h"
#include "records/i_device_listener.h"
#include "runtime/exception.h"
#include "store/temp_store_dir.h"

namespace pga {

namespace {

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallAllocator(&allocator_);
    library_ = dlopen(PGA_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
    create_ = reinterpret_cast<CreateComponentFunction>(dlsym(library_, "create_component"));
    destroy_ = reinterpret_cast<DestroyComponentFunction>(dlsym(library_, "destroy_component"));
    ASSERT_NE(create_, nullptr);
    ASSERT_NE(destroy_, nullptr);
  }

  void TearDown() override {
    listener_.TakeEvents();
    EXPECT_EQ(allocator_.LiveBlocks(), 0u);
    EXPECT_EQ(allocator_.BadFrees(), 0u);
#ifndef PGA_SANITIZED
    // Sanitizers lose the frames of leaks in an unloaded library.
    if (library_ != nullptr) dlclose(library_);
#endif
    InstallAllocator(nullptr);
  }

  CountingAllocator allocator_;
  RecordingEventQueue listener_;
  void* library_ = nullptr;
  CreateComponentFunction create_ = nullptr;
  DestroyComponentFunction destroy_ = nullptr;
};

TEST_F(PluginTest, HostDrivesTheLoadedComponentAcrossTheBoundary) {
  TempStoreDir dir;
  Component* component = create_(&allocator_);
  ASSERT_NE(component, nullptr);
  EXPECT_STREQ(component->GetName(), "GroupApplication");
  EXPECT_EQ(allocator_.Tags().front(), "GroupApplication");

  ComponentDriver driver(*component);
  driver.Allocate();
  ASSERT_TRUE(driver.AssociateReceiver("DeviceListener", listener_, 9));
  driver.Send(eInitialize);
  driver.Send(eStart);

  // A request record made by the host is recognised by the plug-in.
  auto* request = new ("GroupRequestParam") GroupRequestParam();
  auto group = std::make_shared<GroupModel>();
  group->groupId = "g1";
  request->payload = group;
  std::unique_ptr<Event> create = driver.MakeEvent(eCreateLogicalGroup, 0, request);
  EXPECT_TRUE(driver.Deliver(*create));
  auto* answer = dynamic_cast<GroupRequestParam*>(create->GetObjectArgument());
  ASSERT_NE(answer, nullptr);
  EXPECT_TRUE(answer->succeeded);
  EXPECT_EQ(*answer->Group()->groupName, "New Group");

  // Records made by the plug-in are recognised by the host.
  auto events = listener_.TakeEvents();
  ASSERT_EQ(events.size(), 2u);
  auto* note = dynamic_cast<IDeviceListener::EventParam*>(events[0]->GetObjectArgument());
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(note->eventType, "LogicalGroupCreated");

  // The library's Exception is caught by the host's own type.
  std::unique_ptr<Event> unsupported = driver.MakeEvent(25067008);
  testing::internal::CaptureStdout();
  try {
    component->ProcessAEvent(unsupported.get());
    ADD_FAILURE() << "an unsupported event was accepted";
  } catch (const Exception& e) {
    EXPECT_EQ(e.GetType(), 2004005);
  }
  testing::internal::GetCapturedStdout();

  // Ending the session makes the host's listener depart: the component
  // drops it before it is destroyed.
  EXPECT_EQ(component->GetReceivers()->count("DeviceListener"), 1u);
  testing::internal::CaptureStdout();
  driver.End();
  EXPECT_NE(testing::internal::GetCapturedStdout().find(
                "Found Source to this component which is to be killed!"),
            std::string::npos);
  EXPECT_TRUE(component->GetReceivers()->empty());
  create.reset();
  unsupported.reset();
  events.clear();
  destroy_(nullptr);
  destroy_(component);
}

TEST_F(PluginTest, CreateGivesNullWithoutStorage) {
  TempStoreDir dir;
  allocator_.FailWith(CountingAllocator::Failure::kReturnNull, "GroupApplication");
  EXPECT_EQ(create_(&allocator_), nullptr);
  allocator_.FailWith(CountingAllocator::Failure::kNone);
  EXPECT_FALSE(std::filesystem::exists("group.db"));
}

}  // namespace

}  // namespace pga
