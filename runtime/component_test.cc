#include "runtime/component.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "runtime/allocator_test_fixture.h"

namespace {

// A component whose argument-less Start can be told to fail, with access to
// its parts.
class TestComponent : public Component {
 public:
  TestComponent() : Component(25067000, "GroupApplication") {}
  using Component::AddPart;
  void FailStartWith(int kind) { start_failure_ = kind; }
  void Start() override {
    if (start_failure_ == 1) throw Exception(5, "GroupApplication", "Start", "no store");
    if (start_failure_ == 2) throw std::runtime_error("disk full");
    if (start_failure_ == 3) throw 3;
    Component::Start();
  }
  void SetState(int code) override {
    if (refuse_states_) throw std::runtime_error("state refused");
    Component::SetState(code);
  }
  void RefuseStates(bool value) { refuse_states_ = value; }

 private:
  int start_failure_ = 0;
  bool refuse_states_ = false;
};

// A part that records the sequence parents it is given, or throws.
class RecordingPart : public ComponentPart {
 public:
  RecordingPart(std::vector<int>* order, int id, bool fail)
      : ComponentPart(1, "Part"), order_(order), id_(id), fail_(fail) {}
  void SetSequenceParent(Event* event) override {
    if (fail_) throw Exception(1, "Part", "SetSequenceParent", "part broke");
    order_->push_back(id_);
    ComponentPart::SetSequenceParent(event);
  }

 private:
  std::vector<int>* order_;
  int id_;
  bool fail_;
};

class ComponentTest : public AllocatorTest {
 protected:
  // Dispatches an event of `type` and returns what was printed.
  std::string Process(TestComponent& component, int type, long long arguments = 0,
                      unsigned reply_flag = 0) {
    Event event(UId(), UId(), static_cast<std::uint32_t>(type), arguments);
    event.SetReplyFlag(reply_flag);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(component.ProcessAEvent(&event)) << type;
    return testing::internal::GetCapturedStdout();
  }

  // The Exception that dispatching `type` throws.
  Exception Rejection(TestComponent& component, int type) {
    Event event(UId(), UId(), static_cast<std::uint32_t>(type), 0);
    testing::internal::CaptureStdout();
    try {
      component.ProcessAEvent(&event);
    } catch (const Exception& e) {
      testing::internal::GetCapturedStdout();
      return e;
    }
    testing::internal::GetCapturedStdout();
    ADD_FAILURE() << type << " was accepted";
    return Exception();
  }
};

TEST_F(ComponentTest, ConstructionTakesItsUIdAndTablesFromTheAllocator) {
  {
    TestComponent component;
    EXPECT_EQ(component.GetState(), kStateConstructed);
    const UId uid = component.GetUId();
    EXPECT_EQ(uid.component_id, static_cast<unsigned long long>(component.GetInstanceTag()));
    EXPECT_EQ(uid.event_queue_ptr, 0u);
    EXPECT_STREQ(uid.GetName(), "GroupApplication");
    ASSERT_NE(component.GetReceivers(), nullptr);
    EXPECT_STREQ(component.GetReceivers()->GetName(), "ReceiversMap");
    EXPECT_STREQ(component.GetTargets()->GetName(), "TargetMap");
    EXPECT_EQ(allocator_.Tags(),
              (std::vector<std::string>{"GroupApplication", "ReceiversMap", "TargetMap"}));
    EXPECT_EQ(component.GetInstanceIndex(), 0);
    EXPECT_EQ(component.GetInstanceDescription().index, -1);
  }
  allocator_.FailWith(CountingAllocator::Failure::kReturnNull);
  TestComponent bare;
  EXPECT_EQ(bare.GetReceivers(), nullptr);
  EXPECT_EQ(bare.GetTargets(), nullptr);
  EXPECT_EQ(bare.GetUId().component_id, ~0ULL);
}

TEST_F(ComponentTest, UnsupportedTypesThrow2004005WithTheRegisteredNameIfAny) {
  TestComponent component;
  Exception unknown = Rejection(component, 2006100);
  EXPECT_EQ(unknown.GetType(), 2004005);
  EXPECT_STREQ(unknown.GetMessage(), "eEventNotSupported:ExceptionID->2004005 EventID->2006100");
  EXPECT_STREQ(unknown.GetObjectText().c_str(), "GroupApplication");

  RegisterEventTypeName(2006015, "EEventType::eFirstName");
  RegisterEventTypeName(2006015, "EEventType::eSecondName");
  EXPECT_STREQ(Rejection(component, 2006015).GetMessage(),
               "eEventNotSupported:ExceptionID->2004005 EventID->2006015"
               "(EEventType::eSecondName)");
  EXPECT_EQ(GetEventTypeName(eStart), "EEventType::eStart");
  EXPECT_EQ(GetEventTypeName(eRun), "");

  ComponentInterface::ManifestInstanceDescription description;
  description.instanceName = "Groups#1";
  component.SetInstanceDescription(description);
  Event event(UId(), UId(), 25067008, 0);
  testing::internal::CaptureStdout();
  EXPECT_THROW(component.ProcessAEvent(&event), Exception);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed.rfind("\033[1;31m Exception ID(2004005) occured at\nComponent Groups#1's "
                          "bool __cdecl Component::ProcessAEvent(class Event *)\n, because of "
                          "## eEventNotSupported:ExceptionID->2004005 EventID->25067008 ##\n"
                          "caught by bool __cdecl Component::ProcessAEvent(class Event *):",
                          0),
            0u)
      << printed;
}

TEST_F(ComponentTest, LifecycleEventsMoveTheStateAndHonourTheReplyFlag) {
  TestComponent component;
  Process(component, eRun);  // handled although no name is registered
  EXPECT_EQ(component.GetState(), kStateRunning);
  Process(component, eStart, 0, 1);
  Process(component, eStop, 0, 1);
  EXPECT_EQ(component.GetState(), kStateRunning);  // replies change nothing
  Process(component, ePause, 0, 1);
  EXPECT_EQ(component.GetState(), kStatePaused);  // pause acts on replies too
  Process(component, eRun, 0, 1);
  EXPECT_EQ(component.GetState(), kStateRunning);

  const int sequence[] = {eInitialize, eStart, eStop, eFinalize};
  const int states[] = {kStateInitialized, kStateStarted, kStateStopped, kStateFinalized};
  for (int i = 0; i < 4; ++i) {
    Process(component, sequence[i]);
    EXPECT_EQ(component.GetState(), states[i]);
  }
  Process(component, eDeAssociateAll);
  Process(component, eRemoteAssociateCompleted, 0, 1);
  EXPECT_EQ(component.GetState(), kStateFinalized);
}

TEST_F(ComponentTest, MonitorRegistrationSetsFlagsByItsArgument) {
  TestComponent component;
  Process(component, eMonitorManagerRegister, 1);
  Process(component, eMonitorManagerRegister, 2);
  EXPECT_TRUE(component.GetFirstMonitorFlag());
  EXPECT_TRUE(component.GetSecondMonitorFlag());
  Process(component, eMonitorManagerRegister, 7);
  EXPECT_TRUE(component.GetFirstMonitorFlag());
  Process(component, eMonitorManagerRegister, 0);
  EXPECT_FALSE(component.GetFirstMonitorFlag());
  EXPECT_FALSE(component.GetSecondMonitorFlag());
  Process(component, eMonitorManagerRegister, 3);
  EXPECT_TRUE(component.GetFirstMonitorFlag() && component.GetSecondMonitorFlag());
  // Only the low 32 bits of the argument count.
  Process(component, eMonitorManagerRegister, 1LL << 32);
  EXPECT_FALSE(component.GetFirstMonitorFlag());
}

TEST_F(ComponentTest, AFailingStartIsPrintedAndSwallowedWithTheStateUnchanged) {
  TestComponent component;
  component.SetState(kStateInitialized);
  UId source(1, 0);
  source.SetName("Host");
  Event event(source, component.GetUId(), eStart, 0);
  const char* expected[] = {
      "void __cdecl Component::Start(class Event *):%d, Exception occured!!\n"
      "event : Host -> GroupApplication no store\n",
      "void __cdecl Component::Start(class Event *):%d, Exception occured!!\n"
      "event : Host -> GroupApplication disk full\n",
      "void __cdecl Component::Start(class Event *):%d, Exception occured!!\n"
      "event : Host -> GroupApplication\n"};
  for (int kind = 1; kind <= 3; ++kind) {
    component.FailStartWith(kind);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(component.ProcessAEvent(&event));
    std::string printed = testing::internal::GetCapturedStdout();
    // The source line differs by build; compare the rest.
    const auto colon = printed.find("):") + 2;
    printed.erase(colon, printed.find(',') - colon);
    std::string wanted = expected[kind - 1];
    wanted.erase(wanted.find("%d"), 2);
    EXPECT_EQ(printed, wanted);
    EXPECT_EQ(component.GetState(), kStateInitialized);
  }

  component.RefuseStates(true);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(component.Initialize(&event));
  EXPECT_FALSE(component.Finalize());
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("bool __cdecl Component::Initialize(void):"), std::string::npos);
  EXPECT_NE(printed.find(", Exception occured!! : state refused\n"), std::string::npos);
  EXPECT_EQ(component.GetState(), kStateInitialized);
}

TEST_F(ComponentTest, SequenceParentsReachThePartsInKeyOrderUnlessOneThrows) {
  TestComponent component;
  std::vector<int> order;
  RecordingPart late(&order, 2, false);
  RecordingPart early(&order, 1, false);
  component.AddPart(20, &late);
  component.AddPart(-5, &early);
  Event parent;
  component.SetSequenceParent(&parent);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  EXPECT_EQ(early.GetSequenceParent(), &parent);
  EXPECT_EQ(component.GetSequenceParent(), &parent);

  RecordingPart broken(&order, 0, true);
  component.AddPart(0, &broken);
  testing::internal::CaptureStdout();
  component.SetSequenceParent(nullptr);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("event :  ->  part broke\n"),
            std::string::npos);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 1}));
  EXPECT_EQ(late.GetSequenceParent(), &parent);       // skipped after the failure
  EXPECT_EQ(component.GetSequenceParent(), &parent);  // not recorded either
}

TEST_F(ComponentTest, InstanceDescriptionsAreCopiedOrMovedWithTheirIndex) {
  TestComponent component;
  ComponentInterface::ManifestInstanceDescription description;
  description.instanceName = "Groups";
  description.attributeFilePrefix = "/etc/pga/";
  description.firstList.push_back("x");
  description.index = 7;
  component.SetInstanceDescription(description);
  EXPECT_EQ(component.GetInstanceIndex(), 7);
  EXPECT_EQ(component.GetInstanceDescription().attributeFilePrefix.str(), "/etc/pga/");
  description.index = -1;
  component.SetInstanceDescription(std::move(description));
  EXPECT_EQ(component.GetInstanceIndex(), -1);
  EXPECT_EQ(component.GetInstanceDescription().firstList.size(), 1u);

  testing::internal::CaptureStdout();
  component.RegisterProtocolCommands();
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed.rfind("=> void __cdecl Component::RegisterProtocolCommands(void)@", 0), 0u);
  EXPECT_NE(printed.find("\n<= void __cdecl Component::RegisterProtocolCommands(void)@"),
            std::string::npos);
}

}  // namespace
