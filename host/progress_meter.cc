#include "host/progress_meter.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

namespace pga {

namespace {

constexpr std::chrono::milliseconds kQuiet(1000);
constexpr std::chrono::milliseconds kInterval(200);

}  // namespace

ProgressMeter::ProgressMeter(std::string label, std::string unit)
    : label_(std::move(label)), unit_(std::move(unit)), enabled_(isatty(STDERR_FILENO) == 1) {}

ProgressMeter::~ProgressMeter() {
  if (shown_) std::fputc('\n', stderr);
}

void ProgressMeter::Update(std::size_t done) {
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (now - start_ < kQuiet || (shown_ && now - shown_at_ < kInterval)) return;
  const std::size_t percent = total_ > 0 ? done * 100 / total_ : 0;
  std::fprintf(stderr, "\r%s: %zu%% (%zu of %zu %s)", label_.c_str(), percent, done, total_,
               unit_.c_str());
  std::fflush(stderr);
  shown_ = true;
  shown_at_ = now;
}

}  // namespace pga
