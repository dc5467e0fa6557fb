// DeliveryOutcome: what happened when the host delivered one event to the
// component.
#ifndef PGA_HOST_DELIVERY_OUTCOME_H_
#define PGA_HOST_DELIVERY_OUTCOME_H_

#include <memory>
#include <optional>
#include <string>

#include "runtime/event.h"

namespace pga {

struct DeliveryOutcome {
  // Why ProcessAEvent did not return: the runtime's Exception (its type and
  // message), or any other exception (type -1 and its text).
  struct Failure {
    int type = -1;
    std::string message;
  };

  // The event after processing, holding the answer; null when no event
  // could be made (then `failure` says so).
  std::unique_ptr<Event> event;
  // What ProcessAEvent answered; false when it threw.
  bool handled = false;
  std::optional<Failure> failure;
};

}  // namespace pga

#endif  // PGA_HOST_DELIVERY_OUTCOME_H_
