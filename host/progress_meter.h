// ProgressMeter: "export: 41% (41000 of 100000 items)" on standard error,
// rewritten in place, for operations long enough for an operator to wonder.
// It stays silent when standard error is not a terminal (scripts and logs
// get no carriage returns) and during the first second (quick operations
// print nothing).
#ifndef PGA_HOST_PROGRESS_METER_H_
#define PGA_HOST_PROGRESS_METER_H_

#include <chrono>
#include <cstddef>
#include <string>

namespace pga {

class ProgressMeter {
 public:
  // `label` starts the line, `unit` names what is counted ("items",
  // "pages").
  ProgressMeter(std::string label, std::string unit);
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;
  // Ends the line if anything was shown.
  ~ProgressMeter();

  void SetTotal(std::size_t total) { total_ = total; }
  // Shows `done` of the total, at most a few times a second.
  void Update(std::size_t done);

 private:
  using Clock = std::chrono::steady_clock;

  std::string label_;
  std::string unit_;
  bool enabled_;  // standard error is a terminal
  std::size_t total_ = 0;
  Clock::time_point start_ = Clock::now();
  Clock::time_point shown_at_;
  bool shown_ = false;
};

}  // namespace pga

#endif  // PGA_HOST_PROGRESS_METER_H_
