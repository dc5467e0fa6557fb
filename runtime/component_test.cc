#include "runtime/component.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>

#include "runtime/allocator_test_fixture.h"

namespace pga {

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

 private:
  int start_failure_ = 0;
};

// A part that appends its letter to `order` when given a sequence parent,
// or throws when its letter is '!'.
class RecordingPart : public ComponentPart {
 public:
  RecordingPart(std::string* order, char letter)
      : ComponentPart(1, "Part"), order_(order), letter_(letter) {}
  void SetSequenceParent(Event* event) override {
    if (letter_ == '!') throw Exception(1, "Part", "SetSequenceParent", "part broke");
    *order_ += letter_;
    ComponentPart::SetSequenceParent(event);
  }

 private:
  std::string* order_;
  char letter_;
};

class ComponentTest : public AllocatorTest {
 protected:
  // Dispatches an event of `type`, which must be handled; returns the state
  // after it.
  int StateAfter(int type, long long arguments = 0, unsigned reply_flag = 0) {
    Event event(UId(), UId(), static_cast<std::uint32_t>(type), arguments);
    event.SetReplyFlag(reply_flag);
    Printed([&] { EXPECT_TRUE(component_->ProcessAEvent(&event)) << type; });
    return component_->GetState();
  }

  // The message of the Exception 2004005 that dispatching `event` throws;
  // what was printed is kept in printed_.
  std::string Rejection(Event* event) {
    std::string message = "accepted";
    testing::internal::CaptureStdout();
    try {
      message = component_->ProcessAEvent(event) ? "answered true" : "answered false";
    } catch (const Exception& e) {
      EXPECT_EQ(e.GetType(), 2004005);
      EXPECT_STREQ(e.GetObjectText().c_str(), "GroupApplication");
      message = e.GetMessage();
    }
    printed_ = testing::internal::GetCapturedStdout();
    return message;
  }

  // Built once the fixture's allocator is installed, gone before its check.
  void SetUp() override {
    AllocatorTest::SetUp();
    component_.emplace();
  }
  void TearDown() override {
    component_.reset();
    AllocatorTest::TearDown();
  }

  std::optional<TestComponent> component_;
  std::string printed_;
};

TEST_F(ComponentTest, UnsupportedTypesAndNoEventThrow2004005WithTheRegisteredNameIfAny) {
  // No event is never answered with false.
  EXPECT_EQ(Rejection(nullptr), "eEventNotSupported:ExceptionID->2004005 no event");
  RegisterEventTypeName(2006015, "EEventType::eFirstName");
  RegisterEventTypeName(2006015, "EEventType::eSecondName");
  Event named(UId(), UId(), 2006015, 0);
  EXPECT_EQ(Rejection(&named),
            "eEventNotSupported:ExceptionID->2004005 EventID->2006015(EEventType::eSecondName)");

  ComponentInterface::ManifestInstanceDescription description;
  description.instanceName = "Groups#1";
  component_->SetInstanceDescription(description);
  Event unknown(UId(), UId(), 25067008, 0);
  Rejection(&unknown);
  EXPECT_EQ(printed_.rfind("\033[1;31m Exception ID(2004005) occured at\nComponent Groups#1's "
                           "bool __cdecl Component::ProcessAEvent(class Event *)\n, because of "
                           "## eEventNotSupported:ExceptionID->2004005 EventID->25067008 ##\n"
                           "caught by bool __cdecl Component::ProcessAEvent(class Event *):",
                           0),
            0u)
      << printed_;
}

TEST_F(ComponentTest, LifecycleAndMonitorEventsSetStateAndFlags) {
  EXPECT_EQ(StateAfter(eRun), kStateRunning);          // handled although no name is registered
  EXPECT_EQ(StateAfter(eStart, 0, 1), kStateRunning);  // replies change nothing...
  EXPECT_EQ(StateAfter(eStop, 0, 1), kStateRunning);
  EXPECT_EQ(StateAfter(ePause, 0, 1), kStatePaused);  // ...but pause and run act on them
  EXPECT_EQ(StateAfter(eRun, 0, 1), kStateRunning);
  EXPECT_EQ(StateAfter(eInitialize), kStateInitialized);
  EXPECT_EQ(StateAfter(eStart), kStateStarted);
  EXPECT_EQ(StateAfter(eStop), kStateStopped);
  EXPECT_EQ(StateAfter(eFinalize), kStateFinalized);
  EXPECT_EQ(StateAfter(eDeAssociateAll), kStateFinalized);
  EXPECT_EQ(StateAfter(eRemoteAssociateCompleted, 0, 1), kStateFinalized);

  // Monitor registration sets flags by its argument: only the low 32 bits
  // count; values other than 0-3 change nothing.
  const std::tuple<long long, bool, bool> steps[] = {{1, true, false}, {2, true, true},
                                                     {7, true, true},  {0, false, false},
                                                     {3, true, true},  {1LL << 32, false, false}};
  for (const auto& [argument, first, second] : steps) {
    StateAfter(eMonitorManagerRegister, argument);
    EXPECT_EQ(component_->GetFirstMonitorFlag(), first) << argument;
    EXPECT_EQ(component_->GetSecondMonitorFlag(), second) << argument;
  }
}

TEST_F(ComponentTest, AFailingStartIsPrintedAndSwallowedWithTheStateUnchanged) {
  component_->SetState(kStateInitialized);
  UId source(1, 0);
  source.SetName("Host");
  Event event(source, component_->GetUId(), eStart, 0);
  const char* endings[] = {" no store\n", " disk full\n", "\n"};
  for (int kind = 1; kind <= 3; ++kind) {
    component_->FailStartWith(kind);
    std::string printed = Printed([&] { EXPECT_TRUE(component_->ProcessAEvent(&event)); });
    // The source line differs by build; compare the rest.
    const auto colon = printed.find("):") + 2;
    printed.erase(colon, printed.find(',') - colon);
    EXPECT_EQ(printed, std::string("void __cdecl Component::Start(class Event *):, Exception "
                                   "occured!!\nevent : Host -> GroupApplication") +
                           endings[kind - 1]);
    EXPECT_EQ(component_->GetState(), kStateInitialized);
  }
}

TEST_F(ComponentTest, SequenceParentsReachThePartsInKeyOrderUnlessOneThrows) {
  std::string order;
  RecordingPart late(&order, 'b'), early(&order, 'a'), broken(&order, '!');
  component_->AddPart(20, &late);
  component_->AddPart(-5, &early);
  Event parent;
  component_->SetSequenceParent(&parent);
  EXPECT_EQ(order, "ab");
  EXPECT_EQ(component_->GetSequenceParent(), &parent);

  component_->AddPart(0, &broken);
  EXPECT_NE(
      Printed([&] { component_->SetSequenceParent(nullptr); }).find("event :  ->  part broke\n"),
      std::string::npos);
  EXPECT_EQ(order, "aba");
  EXPECT_EQ(late.GetSequenceParent(), &parent);         // skipped after the failure
  EXPECT_EQ(component_->GetSequenceParent(), &parent);  // not recorded either
}

}  // namespace

}  // namespace pga
