#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/allocator_test_fixture.h"
#include "runtime/component.h"
#include "runtime/param_associate_a_receiver.h"
#include "runtime/param_associate_a_target.h"

namespace pga {

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
    const std::string text = (marked ? "\xEF\xBB\xBF" : "") + Text(record.Serialize(cell));
    BaseObject::ReleaseText(cell);
    auto* storage = static_cast<char*>(BaseObject::allocator->MallocSafe(text.size() + 1, "Json"));
    std::memcpy(storage, text.c_str(), text.size() + 1);
    Event* event = Event::Create(UId(), UId(), static_cast<std::uint32_t>(type), 0);
    event->MutableBlob().SetJson(storage);
    event->MutableBlob().SetSize(text.size());
    return event;
  }

  // Dispatches `event` (and deletes it); returns the type of the Exception
  // it threw, or 0 when it was accepted. Keeps what was printed.
  int Dispatch(Component& component, Event* event) {
    int thrown = 0;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    try {
      component.ProcessAEvent(event);
    } catch (const Exception& e) {
      thrown = e.GetType() == 0 ? 1 : e.GetType();
    }
    errors_ = testing::internal::GetCapturedStderr();
    printed_ = testing::internal::GetCapturedStdout();
    delete event;
    return thrown;
  }

  static Vector<UId> Uids(const std::vector<UId>& uids) {
    Vector<UId> vector;
    for (const UId& uid : uids) vector.push_back(uid);
    return vector;
  }

  static Target TargetRecord(const char* group, const std::vector<UId>& uids) {
    Target record;
    record.group_name = group;
    record.target_components_uid_vector = Uids(uids);
    return record;
  }

  static std::vector<UId> Group(Component& component, const char* group) {
    auto found = component.GetTargets()->find(group);
    if (found == component.GetTargets()->end()) return {};
    return found->second->elements();
  }

  std::string printed_;
  std::string errors_;
};

TEST_F(AssociationTest, AssociationsNeedTheAllocatedStateAndOnlyRaiseIt) {
  Node node("Groups");
  EXPECT_EQ(Dispatch(node, JsonEvent(eAssociateAReceiver, Receiver("DeviceListener", UId(7, 8)))),
            kErrorNotAllocated);
  EXPECT_EQ(errors_, "Component (Groups) is not allocated.\n");
  EXPECT_EQ(printed_.rfind("Component (Groups) is not allocated\n", 0), 0u);
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
  node.AssociateAReceiver("DeviceListener", UId(1, 1));
  node.AssociateAReceiver("DeviceListener", UId(2, 2));
  EXPECT_EQ(node.LookupReceiver("DeviceListener"), UId(1, 1));
  node.DeAssociateAReceiver("DeviceListener", UId(9, 9));  // the UId is not compared
  node.AssociateAReceiver("DeviceListener", UId(2, 2));
  EXPECT_EQ(node.LookupReceiver("DeviceListener"), UId(2, 2));

  // The record may also travel as an object; another object is refused.
  EXPECT_EQ(
      Dispatch(node, Event::Create(UId(), UId(), eAssociateAReceiver, 0,
                                   new ("ParamAssociateAReceiver") Receiver("Other", UId(4, 4)))),
      0);
  EXPECT_EQ(node.LookupReceiver("Other"), UId(4, 4));
  EXPECT_EQ(Dispatch(node, Event::Create(UId(), UId(), eAssociateAReceiver, 0,
                                         new ("String") String("x"))),
            -1);
  // An empty payload is refused too, without the target form's line.
  EXPECT_EQ(Dispatch(node, Event::Create(UId(), UId(), eAssociateAReceiver, 0)), -1);
  EXPECT_EQ(printed_.find("Base object in blob is empty"), std::string::npos) << printed_;
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
  EXPECT_EQ(Dispatch(node, Event::Create(UId(), UId(), eAssociateATarget, 0)), -1);
  EXPECT_EQ(printed_.rfind("Base object in blob is empty\n", 0), 0u) << printed_;

  Vector<UId> leaving = Uids({UId(2, 2), UId(8, 8)});
  node.DeAssociateATarget("g", leaving);
  node.DeAssociateATarget("missing", leaving);
  EXPECT_EQ(Group(node, "g"), (std::vector<UId>{UId(1, 1), UId(3, 3)}));
  Vector<UId> rest = Uids({UId(1, 1), UId(3, 3)});
  node.DeAssociateATarget("g", rest);
  EXPECT_EQ(node.GetTargets()->count("g"), 1u);  // the argument form keeps the empty group

  // The group's own vector as the list of leavers empties the group.
  Dispatch(node, JsonEvent(eAssociateATarget,
                           TargetRecord("h", {UId(1, 1), UId(2, 2), UId(3, 3), UId(4, 4),
                                              UId(5, 5), UId(6, 6)})));
  node.DeAssociateATarget("h", *node.GetTargets()->find("h")->second);
  EXPECT_EQ(Group(node, "h"), std::vector<UId>{});
}

TEST_F(AssociationTest, DeAssociationEventsRemoveTheDepartingComponent) {
  Node node("Groups");
  Node departing("Camera");
  Node staying("Storage");
  node.SetState(kStateAllocated);
  node.AssociateAReceiver("first", departing.GetUId());
  node.AssociateAReceiver("second", staying.GetUId());
  node.AssociateAReceiver("third", departing.GetUId());
  Vector<UId> alone = Uids({departing.GetUId()});
  Vector<UId> shared = Uids({departing.GetUId(), staying.GetUId()});
  node.AssociateATarget("alone", alone);
  node.AssociateATarget("shared", shared);

  const auto address = static_cast<long long>(
      reinterpret_cast<std::uintptr_t>(static_cast<ComponentPart*>(&departing)));
  // No event (refused), no departing component, or a reply: nothing goes.
  EXPECT_EQ(Dispatch(node, nullptr), kErrorEventNotSupported);
  EXPECT_EQ(Dispatch(node, Event::Create(UId(), UId(), eDeAssociateAReceiver, 0)), 0);
  Event* replied = Event::Create(UId(), UId(), eDeAssociateAReceiver, address);
  replied->SetReplyFlag(1);
  EXPECT_EQ(Dispatch(node, replied), 0);
  EXPECT_EQ(node.GetReceivers()->size(), 3u);

  Dispatch(node, Event::Create(UId(), UId(), eDeAssociateAReceiver, address));
  EXPECT_EQ(node.GetReceivers()->size(), 1u);
  EXPECT_EQ(node.LookupReceiver("second"), staying.GetUId());

  Event* target_event = Event::Create(UId(), UId(), eDeAssociateATarget, address);
  target_event->SetReplyFlag(1);  // no reply test for targets
  Dispatch(node, target_event);
  EXPECT_EQ(node.GetTargets()->count("alone"), 0u);
  EXPECT_EQ(Group(node, "shared"), (std::vector<UId>{staying.GetUId()}));
}

}  // namespace

}  // namespace pga
