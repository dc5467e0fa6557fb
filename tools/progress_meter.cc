#include "tools/progress_meter.h"

#include <unistd.h>

#include <utility>

namespace pga {

namespace {

constexpr std::chrono::milliseconds kQuiet(1000);
constexpr std::chrono::milliseconds kInterval(200);

}  // namespace

ProgressMeter::ProgressMeter(std::string label, std::string unit)
    : ProgressMeter(std::move(label), std::move(unit),
                    isatty(STDERR_FILENO) == 1 ? stderr : nullptr, kQuiet) {}

ProgressMeter::ProgressMeter(std::string label, std::string unit, std::FILE* stream,
                             std::chrono::milliseconds quiet)
    : label_(std::move(label)), unit_(std::move(unit)), stream_(stream), quiet_(quiet) {}

ProgressMeter::~ProgressMeter() {
  if (shown_) std::fputc('\n', stream_);
}

bool ProgressMeter::Due(Clock::time_point now) const {
  return stream_ != nullptr && now - start_ >= quiet_ && (!shown_ || now - shown_at_ >= kInterval);
}

void ProgressMeter::Show(const std::string& text, Clock::time_point now) {
  // Back to the line's start, and whatever a longer line before left is
  // erased.
  std::fprintf(stream_, "\r%s\033[K", text.c_str());
  std::fflush(stream_);
  shown_ = true;
  shown_at_ = now;
}

void ProgressMeter::Update(std::size_t done) {
  const Clock::time_point now = Clock::now();
  if (!Due(now)) return;
  if (total_ == 0) {
    Show(label_ + ": " + std::to_string(done) + " " + unit_, now);
    return;
  }
  Show(label_ + ": " + std::to_string(done * 100 / total_) + "% (" + std::to_string(done) +
           " of " + std::to_string(total_) + " " + unit_ + ")",
       now);
}

void ProgressMeter::Tick(const char* what) {
  const Clock::time_point now = Clock::now();
  if (!Due(now)) return;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - start_).count();
  Show(label_ + ": " + what + " (" + std::to_string(seconds) + " s)", now);
}

}  // namespace pga
