// The runtime's own event types and the module-wide table of their display
// names.
#ifndef PGA_RUNTIME_EVENT_TYPE_H_
#define PGA_RUNTIME_EVENT_TYPE_H_

#include <string>

namespace pga {

// Event types that every component handles by default (Component's
// ProcessAEvent); the codes from 2006009 to 2006029 not listed have no
// default handling.
enum EEventType : int {
  eAssociateAReceiver = 2006001,
  eAssociateATarget = 2006002,
  eInitialize = 2006003,
  eFinalize = 2006004,
  eStart = 2006005,
  eStop = 2006006,
  eRun = 2006007,  // handled, but no name is registered for it
  ePause = 2006008,
  eMonitorManagerRegister = 2006020,
  eDeAssociateAReceiver = 2006026,
  eDeAssociateATarget = 2006027,
  eDeAssociateAll = 2006028,
  eRemoteAssociateCompleted = 2006029,
};

// Stores `name` (null counts as empty) under the decimal text of `code`,
// replacing an earlier name, for every component of the module. Thread-safe:
// the table has a mutex of its own.
void RegisterEventTypeName(int code, const char* name);

// The name registered for `code`, or an empty string. Thread-safe.
std::string GetEventTypeName(int code);

}  // namespace pga

#endif  // PGA_RUNTIME_EVENT_TYPE_H_
