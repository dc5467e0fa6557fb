// Spacing of attempts to reach something that keeps failing.
#ifndef PGA_STORE_BACKOFF_H_
#define PGA_STORE_BACKOFF_H_

#include <algorithm>
#include <chrono>

namespace pga {

// The delays between attempts: `first` after the first failure, doubling
// with each further one up to `longest`; a success starts over. A store
// that went away is then tried often at first, and a server that stays
// down is not flooded. Not thread-safe.
class Backoff {
 public:
  using Clock = std::chrono::steady_clock;

  Backoff(Clock::duration first, Clock::duration longest) : first_(first), longest_(longest) {}

  // Whether an attempt may be made now.
  bool Ready() const { return Clock::now() >= next_; }
  // How long until an attempt may be made (zero when one may be made now).
  Clock::duration Remaining() const {
    return std::max(Clock::duration::zero(), next_ - Clock::now());
  }
  // Notes a failed attempt: the next waits the current delay, which grows.
  void Failed() {
    next_ = Clock::now() + delay_;
    delay_ = std::min(delay_ * 2, longest_);
  }
  // Notes a success: the next failure waits the first delay again.
  void Succeeded() {
    delay_ = first_;
    next_ = Clock::time_point();
  }

 private:
  const Clock::duration first_;
  const Clock::duration longest_;
  Clock::duration delay_ = first_;
  Clock::time_point next_;
};

}  // namespace pga

#endif  // PGA_STORE_BACKOFF_H_
