// ComponentSession: one life of the plug-in's component, from
// create_component to destroy_component, driven in the order the component
// relies on.
#ifndef PGA_HOST_COMPONENT_SESSION_H_
#define PGA_HOST_COMPONENT_SESSION_H_

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "doubles/component_driver.h"
#include "doubles/recording_event_queue.h"
#include "host/delivery_outcome.h"
#include "host/plugin_library.h"
#include "host/script_command.h"
#include "runtime/component.h"
#include "runtime/object_allocator.h"

namespace pga {

// Where the component finds its files; see ComponentSession::Open.
struct SessionSettings {
  // The instance description's first text: names the component in messages.
  std::string instance_name = "GroupApplication";
  // Its third text: prefix of the default attribute files and of the
  // protocol command file.
  std::string default_prefix;
  // Its fourth text: prefix of the component's own attribute file.
  std::string own_prefix;
  // Its index: the component's instanceIndex.
  int instance = 0;
};

class ComponentSession {
 public:
  // Uses the entry points of `plugin` (not owned; it must stay loaded until
  // this session is destroyed).
  ComponentSession(const PluginLibrary& plugin, SessionSettings settings);
  ComponentSession(const ComponentSession&) = delete;
  ComponentSession& operator=(const ComponentSession&) = delete;
  // Closes the session if it is still open.
  ~ComponentSession();

  // Calls create_component(&allocator), SetState(2004002),
  // SetInstanceDescription, PrepareAttributes(), associates the receiver
  // "DeviceListener" (this session's listening queue) by an association
  // event, and sends initialize, start and run. `allocator` must be the one
  // installed in the host's runtime and outlive the session. Opens "group.db"
  // in the current directory. Returns false with a reason in `error` when no
  // component is made or a step throws; the component is then destroyed.
  bool Open(ObjectAllocator& allocator, std::string& error);

  // Makes the event of `command` (taking its payload) and delivers it.
  // Never throws: an exception of ProcessAEvent is caught into the outcome.
  DeliveryOutcome Deliver(ScriptCommand command);

  // The notifications that reached "DeviceListener" since the last call, in
  // the order they were sent; the caller owns them.
  std::vector<std::unique_ptr<Event>> TakeNotifications() { return listener_.TakeEvents(); }
  // Waits up to `timeout` for a notification; true when one is there.
  bool WaitForNotifications(std::chrono::milliseconds timeout) const {
    return listener_.WaitForEvents(timeout);
  }

  // Sends stop and finalize, lets the listener depart (ComponentDriver::End)
  // and calls destroy_component. Safe to call more than once. Notifications
  // still queued stay until taken or until the session is destroyed.
  void Close();

 private:
  const PluginLibrary& plugin_;
  SessionSettings settings_;
  // The host's "DeviceListener": it keeps the notifications it receives.
  RecordingEventQueue listener_;
  // Made by create_component; released with destroy_component in Close().
  Component* component_ = nullptr;
  std::unique_ptr<ComponentDriver> driver_;
};

}  // namespace pga

#endif  // PGA_HOST_COMPONENT_SESSION_H_
