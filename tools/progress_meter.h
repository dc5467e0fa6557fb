// ProgressMeter: "export: 41% (41000 of 100000 items)" on standard error,
// rewritten in place, for operations long enough for an operator to wonder.
// It stays silent when standard error is not a terminal (scripts and logs
// get no carriage returns) and during the first second (quick operations
// print nothing). Work whose size is not known shows what is done so far
// ("tree: reading: 41000 items"), work that counts nothing the time it has
// taken ("check: integrity_check (3 s)").
#ifndef PGA_TOOLS_PROGRESS_METER_H_
#define PGA_TOOLS_PROGRESS_METER_H_

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

namespace pga {

class ProgressMeter {
 public:
  // `label` starts the line, `unit` names what is counted ("items",
  // "pages").
  ProgressMeter(std::string label, std::string unit);
  // The same on `stream` whatever it is (nullptr: nowhere), silent for
  // `quiet` only.
  ProgressMeter(std::string label, std::string unit, std::FILE* stream,
                std::chrono::milliseconds quiet);
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;
  // Ends the line if anything was shown.
  ~ProgressMeter();

  // The number of units in all; 0 (the default) when it is not known.
  void SetTotal(std::size_t total) { total_ = total; }
  // Shows `done` of the total, at most a few times a second.
  void Update(std::size_t done);
  // Shows that `what` is under way and for how long the meter has run, at
  // most a few times a second.
  void Tick(const char* what);

 private:
  using Clock = std::chrono::steady_clock;

  // Whether it is time to show a line.
  bool Due(Clock::time_point now) const;
  void Show(const std::string& text, Clock::time_point now);

  std::string label_;
  std::string unit_;
  std::FILE* stream_;  // nullptr when silent
  std::chrono::milliseconds quiet_;
  std::size_t total_ = 0;
  Clock::time_point start_ = Clock::now();
  Clock::time_point shown_at_;
  bool shown_ = false;
};

}  // namespace pga

#endif  // PGA_TOOLS_PROGRESS_METER_H_
