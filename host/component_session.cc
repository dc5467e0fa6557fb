#include "host/component_session.h"

#include <exception>
#include <stdexcept>
#include <utility>

#include "runtime/event_type.h"
#include "runtime/exception.h"
#include "runtime/manifest_instance_description.h"

namespace pga {

namespace {

constexpr char kListenerName[] = "DeviceListener";
// The address the listening queue is associated under; any id that is not
// the host's own (ComponentDriver::HostUId) serves.
constexpr unsigned long long kListenerComponentId = 2;

DeliveryOutcome::Failure FailureOf(std::exception_ptr caught) {
  try {
    std::rethrow_exception(caught);
  } catch (const Exception& e) {
    return {e.GetType(), e.GetMessage()};
  } catch (const std::exception& e) {
    return {-1, e.what()};
  } catch (...) {
    return {-1, "unknown exception"};
  }
}

}  // namespace

ComponentSession::ComponentSession(const PluginLibrary& plugin, SessionSettings settings)
    : plugin_(plugin), settings_(std::move(settings)) {}

ComponentSession::~ComponentSession() { Close(); }

bool ComponentSession::Open(ObjectAllocator& allocator, std::string& error) {
  if (plugin_.create() == nullptr) {
    error = "the plug-in is not loaded";
    return false;
  }
  component_ = plugin_.create()(&allocator);
  if (component_ == nullptr) {
    error = "create_component made no component";
    return false;
  }
  driver_ = std::make_unique<ComponentDriver>(*component_);
  const char* step = "SetState";
  try {
    driver_->Allocate();
    step = "SetInstanceDescription";
    ComponentInterface::ManifestInstanceDescription description;
    description.instanceName = settings_.instance_name;
    description.defaultFilePrefix = settings_.default_prefix;
    description.attributeFilePrefix = settings_.own_prefix;
    description.index = settings_.instance;
    component_->SetInstanceDescription(description);
    step = "PrepareAttributes";
    component_->PrepareAttributes();
    step = "the association of DeviceListener";
    if (!driver_->AssociateReceiver(kListenerName, listener_, kListenerComponentId)) {
      throw std::runtime_error("the association event was not handled");
    }
    step = "initialize, start and run";
    driver_->Begin();
  } catch (...) {
    error = std::string(step) + " failed: " + FailureOf(std::current_exception()).message;
    Close();
    return false;
  }
  return true;
}

DeliveryOutcome ComponentSession::Deliver(ScriptCommand command) {
  DeliveryOutcome outcome;
  if (driver_ == nullptr) {
    outcome.failure = DeliveryOutcome::Failure{-1, "no component"};
    return outcome;
  }
  outcome.event =
      driver_->MakeEvent(command.event_type, command.arguments, command.payload.release());
  if (outcome.event == nullptr) {
    outcome.failure = DeliveryOutcome::Failure{-1, "no storage for the event"};
    return outcome;
  }
  try {
    outcome.handled = driver_->Deliver(*outcome.event);
  } catch (...) {
    outcome.failure = FailureOf(std::current_exception());
    outcome.event->SetReplyFlag(1);
  }
  return outcome;
}

void ComponentSession::Close() {
  if (component_ == nullptr) return;
  try {
    driver_->End();
  } catch (...) {
    // The lifecycle handlers report their own failures; the component is
    // destroyed whatever happened.
  }
  driver_.reset();
  plugin_.destroy()(component_);
  component_ = nullptr;
}

}  // namespace pga
