#include "host/progress_meter.h"

#include <unistd.h>

#include <utility>

namespace {

constexpr std::chrono::milliseconds kQuiet(1000);
constexpr std::chrono::milliseconds kInterval(200);

}  // namespace

ProgressMeter::ProgressMeter(std::string label, std::string unit)
    : ProgressMeter(std::move(label), std::move(unit), stderr, isatty(STDERR_FILENO) == 1, kQuiet) {
}

ProgressMeter::ProgressMeter(std::string label, std::string unit, std::FILE* out, bool enabled,
                             std::chrono::milliseconds delay)
    : label_(std::move(label)),
      unit_(std::move(unit)),
      out_(out),
      enabled_(enabled),
      delay_(delay) {}

ProgressMeter::~ProgressMeter() {
  if (shown_) std::fputc('\n', out_);
}

void ProgressMeter::Update(std::size_t done) {
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (now - start_ < delay_ || (shown_ && now - shown_at_ < kInterval)) return;
  const std::size_t percent = total_ > 0 ? done * 100 / total_ : 0;
  std::fprintf(out_, "\r%s: %zu%% (%zu of %zu %s)", label_.c_str(), percent, done, total_,
               unit_.c_str());
  std::fflush(out_);
  shown_ = true;
  shown_at_ = now;
}
