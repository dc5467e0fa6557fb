#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/allocator_test_fixture.h"
#include "runtime/component.h"
#include "runtime/param_associate_a_receiver.h"
#include "runtime/param_associate_a_target.h"

namespace {

using Platform_Std_Refine::String;
using Receiver = ComponentInterface::ParamAssociateAReceiver;
using Target = ComponentInterface::ParamAssociateATarget;

class Node : public Component {
 public:
  explicit Node(const char* name) : Component(1000, name) {}
};

class AssociationTest : public AllocatorTest {
 protected:
  // An event of `type` whose payload is `record`'s JSON text (with a
  // byte-order mark in front when `marked`), owned by the event.
  static Event* JsonEvent(int type, const BaseObject& record, bool marked = false) {
    BlobValue cell;
    record.Serialize(cell);
    std::string text(static_cast<const char*>(cell.value), cell.size);
    BaseObject::ReleaseText(cell);
    if (marked) text = "\xEF\xBB\xBF" + text;
    auto* storage = static_cast<char*>(BaseObject::allocator->MallocSafe(text.size() + 1, "Json"));
    std::memcpy(storage, text.c_str(), text.size() + 1);
    Event* event = Event::Create(UId(), UId(), static_cast<std::uint32_t>(type), 0);
    event->MutableBlob().SetJson(storage);
    event->MutableBlob().SetSize(text.size());
    return event;
  }

  // Dispatches `event` (and deletes it); returns the Exception it threw, or
  // one of type 0 when it was accepted. Output is swallowed.
  static int Dispatch(Component& component, Event* event) {
    int thrown = 0;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    try {
      component.ProcessAEvent(event);
    } catch (const Exception& e) {
      thrown = e.GetType() == 0 ? 1 : e.GetType();
    }
    testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    delete event;
    return thrown;
  }

  static Target TargetRecord(const char* group, std::vector<UId> uids) {
    Target record;
    record.group_name = group;
    for (const UId& uid : uids) record.target_components_uid_vector.push_back(uid);
    return record;
  }

  static std::vector<UId> Group(Component& component, const char* group) {
    auto found = component.GetTargets()->find(group);
    if (found == component.GetTargets()->end()) return {};
    return found->second->elements();
  }
};

TEST_F(AssociationTest, RecordsWriteTheirFormsAndReadThemBack) {
  Receiver receiver("DeviceListener", UId(7, 8));
  BlobValue cell;
  receiver.Serialize(cell);
  EXPECT_EQ(std::string(static_cast<const char*>(cell.value), cell.size),
            "{\"BaseObject\":{\"name\":\"ParamAssociateAReceiver\"},\"receiver_name\":"
            "\"DeviceListener\",\"receiver_component_uid\":{\"BaseObject\":{\"name\":\"UId\"},"
            "\"component_id\":7,\"event_queue_ptr\":8}}");
  Receiver receiver_back;
  receiver_back.Deserialize(cell);
  BaseObject::ReleaseText(cell);
  EXPECT_EQ(receiver_back.receiver_name.str(), "DeviceListener");
  EXPECT_EQ(receiver_back.receiver_component_uid, UId(7, 8));

  Target target = TargetRecord("cams", {UId(1, 2), UId(3, 4)});
  target.target_component_name_map[UId(1, 2)] = "first";
  target.Serialize(cell);
  EXPECT_EQ(std::string(static_cast<const char*>(cell.value), cell.size),
            "{\"BaseObject\":{\"name\":\"ParamAssociateATarget\"},\"group_name\":\"cams\","
            "\"target_components_uid_vector\":[{\"BaseObject\":{\"name\":\"UId\"},"
            "\"component_id\":1,\"event_queue_ptr\":2},{\"BaseObject\":{\"name\":\"UId\"},"
            "\"component_id\":3,\"event_queue_ptr\":4}],\"target_component_name_map\":[{"
            "\"TargetUId\":{\"BaseObject\":{\"name\":\"UId\"},\"component_id\":1,"
            "\"event_queue_ptr\":2},\"TargetName\":\"first\"}]}");
  Target target_back;
  target_back.Deserialize(cell);
  BaseObject::ReleaseText(cell);
  EXPECT_EQ(target_back.group_name.str(), "cams");
  EXPECT_EQ(target_back.target_components_uid_vector.elements(),
            target.target_components_uid_vector.elements());
  EXPECT_EQ(target_back.target_component_name_map[UId(1, 2)].str(), "first");

  BaseObject* clone = receiver.Clone();
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(allocator_.Tags().back(), "ParamAssociateAReceiver");
  EXPECT_EQ(static_cast<Receiver*>(clone)->receiver_name.str(), "DeviceListener");
  delete clone;
}

TEST_F(AssociationTest, AssociationsNeedTheAllocatedStateAndOnlyRaiseIt) {
  Node node("Groups");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  Event* early = JsonEvent(eAssociateAReceiver, Receiver("DeviceListener", UId(7, 8)));
  EXPECT_THROW(node.ProcessAEvent(early), Exception);
  delete early;
  const std::string error_text = testing::internal::GetCapturedStderr();
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(error_text, "Component (Groups) is not allocated.\n");
  EXPECT_EQ(printed.rfind("Component (Groups) is not allocated\n", 0), 0u);
  EXPECT_NE(printed.find("Exception ID(2004001) occured at Component Platform Exception @ void "
                         "__cdecl Component::AssociateAReceiver(class Event *)\n, because of "
                         "Component (Groups) is not allocated. caught by"),
            std::string::npos);
  EXPECT_EQ(node.GetState(), kStateConstructed);
  EXPECT_TRUE(node.GetReceivers()->empty());
  EXPECT_EQ(Dispatch(node, JsonEvent(eAssociateATarget, TargetRecord("g", {UId(1, 1)}))),
            kErrorNotAllocated);

  node.SetState(kStateAllocated);
  EXPECT_EQ(Dispatch(node, JsonEvent(eAssociateAReceiver, Receiver("a", UId(1, 1)))), 0);
  EXPECT_EQ(node.GetState(), kStateReceiverAssociated);
  EXPECT_EQ(Dispatch(node, JsonEvent(eAssociateATarget, TargetRecord("g", {UId(1, 1)}))), 0);
  EXPECT_EQ(node.GetState(), kStateTargetAssociated);
  EXPECT_EQ(Dispatch(node, JsonEvent(eAssociateAReceiver, Receiver("b", UId(2, 2)))), 0);
  EXPECT_EQ(node.GetState(), kStateTargetAssociated);
  node.SetState(kStateRunning);
  EXPECT_EQ(Dispatch(node, JsonEvent(eAssociateATarget, TargetRecord("g", {UId(3, 3)}), true)), 0);
  EXPECT_EQ(node.GetState(), kStateRunning);
  EXPECT_EQ(Group(node, "g"), (std::vector<UId>{UId(1, 1), UId(3, 3)}));
}

TEST_F(AssociationTest, ReceiversKeepTheFirstUIdOfANameUntilDeAssociated) {
  Node node("Groups");
  node.SetState(kStateAllocated);
  EXPECT_EQ(Dispatch(node, JsonEvent(eAssociateAReceiver, Receiver("DeviceListener", UId(1, 1)))),
            0);
  EXPECT_EQ(Dispatch(node, JsonEvent(eAssociateAReceiver, Receiver("DeviceListener", UId(2, 2)))),
            0);
  EXPECT_EQ(node.LookupReceiver("DeviceListener"), UId(1, 1));
  node.DeAssociateAReceiver("DeviceListener", UId(9, 9));  // the UId is not compared
  node.AssociateAReceiver("DeviceListener", UId(2, 2));
  EXPECT_EQ(node.LookupReceiver("DeviceListener"), UId(2, 2));

  // The record may also travel as an object.
  Event* with_object = Event::Create(UId(), UId(), eAssociateAReceiver, 0,
                                     new ("ParamAssociateAReceiver") Receiver("Other", UId(4, 4)));
  EXPECT_EQ(Dispatch(node, with_object), 0);
  EXPECT_EQ(node.LookupReceiver("Other"), UId(4, 4));
  Event* wrong_object =
      Event::Create(UId(), UId(), eAssociateAReceiver, 0, new ("String") String("x"));
  EXPECT_EQ(Dispatch(node, wrong_object), -1);
  testing::internal::CaptureStdout();
  Event empty_object(UId(), UId(), eAssociateATarget, 0);
  EXPECT_THROW(node.ProcessAEvent(&empty_object), Exception);
  EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("Base object in blob is empty\n", 0), 0u);
}

TEST_F(AssociationTest, TargetGroupsHoldEachUIdOnceInFirstSeenOrder) {
  Node node("Groups");
  node.SetState(kStateAllocated);
  Dispatch(node, JsonEvent(eAssociateATarget, TargetRecord("g", {UId(1, 1), UId(2, 2)})));
  Event* as_object = Event::Create(
      UId(), UId(), eAssociateATarget, 0,
      new ("ParamAssociateATarget") Target(TargetRecord("g", {UId(2, 2), UId(3, 3), UId(1, 1)})));
  EXPECT_EQ(Dispatch(node, as_object), 0);
  EXPECT_EQ(Group(node, "g"), (std::vector<UId>{UId(1, 1), UId(2, 2), UId(3, 3)}));

  Vector<UId> leaving;
  leaving.push_back(UId(2, 2));
  leaving.push_back(UId(8, 8));
  node.DeAssociateATarget("g", leaving);
  node.DeAssociateATarget("missing", leaving);
  EXPECT_EQ(Group(node, "g"), (std::vector<UId>{UId(1, 1), UId(3, 3)}));
  Vector<UId> rest;
  rest.push_back(UId(1, 1));
  rest.push_back(UId(3, 3));
  node.DeAssociateATarget("g", rest);
  EXPECT_EQ(node.GetTargets()->count("g"), 1u);  // the argument form keeps the empty group
}

TEST_F(AssociationTest, DeAssociationEventsRemoveTheDepartingComponent) {
  Node node("Groups");
  Node departing("Camera");
  Node staying("Storage");
  node.SetState(kStateAllocated);
  node.AssociateAReceiver("first", departing.GetUId());
  node.AssociateAReceiver("second", staying.GetUId());
  node.AssociateAReceiver("third", departing.GetUId());
  Vector<UId> members;
  members.push_back(departing.GetUId());
  node.AssociateATarget("alone", members);
  members.push_back(staying.GetUId());
  node.AssociateATarget("shared", members);

  const auto address = static_cast<long long>(
      reinterpret_cast<std::uintptr_t>(static_cast<ComponentPart*>(&departing)));
  Event nobody(UId(), UId(), eDeAssociateAReceiver, 0);
  Event replied(UId(), UId(), eDeAssociateAReceiver, address);
  replied.SetReplyFlag(1);
  EXPECT_EQ(Dispatch(node, nullptr), 0);
  node.ProcessAEvent(&nobody);
  node.ProcessAEvent(&replied);
  EXPECT_EQ(node.GetReceivers()->size(), 3u);

  Event receiver_event(UId(), UId(), eDeAssociateAReceiver, address);
  testing::internal::CaptureStdout();
  node.ProcessAEvent(&receiver_event);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(node.GetReceivers()->size(), 1u);
  EXPECT_EQ(node.LookupReceiver("second"), staying.GetUId());
  EXPECT_NE(printed.find("] \033[4;31m Found Source to this component which is to be killed! @ "),
            std::string::npos);

  Event target_event(UId(), UId(), eDeAssociateATarget, address);
  target_event.SetReplyFlag(1);  // no reply test for targets
  node.ProcessAEvent(&target_event);
  EXPECT_EQ(node.GetTargets()->count("alone"), 0u);
  EXPECT_EQ(Group(node, "shared"), (std::vector<UId>{staying.GetUId()}));
}

TEST_F(AssociationTest, MissingTablesAreReportedAsDefaultExceptions) {
  allocator_.FailWith(CountingAllocator::Failure::kReturnNull, "ReceiversMap");
  Node node("Groups");
  allocator_.FailWith(CountingAllocator::Failure::kNone);
  node.SetState(kStateAllocated);
  EXPECT_EQ(Dispatch(node, JsonEvent(eAssociateAReceiver, Receiver("a", UId(1, 1)))), -1);
  EXPECT_EQ(node.GetState(), kStateAllocated);

  allocator_.FailWith(CountingAllocator::Failure::kReturnNull, "Vector");
  EXPECT_EQ(Dispatch(node, JsonEvent(eAssociateATarget, TargetRecord("g", {UId(1, 1)}))), -1);
  EXPECT_TRUE(node.GetTargets()->empty());
}

}  // namespace
