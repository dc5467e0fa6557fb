// Stopwatch: times the measured part of each benchmark iteration, in wall
// time (which counts disk syncs and is what the benchmark reports) and in
// CPU time of the calling thread (which other work on the machine does not
// inflate, reported as the counter "cpu_ms").
#ifndef PGA_BENCH_STOPWATCH_H_
#define PGA_BENCH_STOPWATCH_H_

#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>

namespace pga {

class Stopwatch {
 public:
  explicit Stopwatch(benchmark::State& state) : state_(state) {}
  Stopwatch(const Stopwatch&) = delete;
  Stopwatch& operator=(const Stopwatch&) = delete;
  // Reports the CPU time per iteration.
  ~Stopwatch() {
    state_.counters["cpu_ms"] =
        benchmark::Counter(cpu_seconds_ * 1e3, benchmark::Counter::kAvgIterations);
  }

  void Start() {
    cpu_start_ = ThreadCpuSeconds();
    wall_start_ = std::chrono::steady_clock::now();
  }
  // Ends the measured part of this iteration.
  void Stop() {
    const auto wall = std::chrono::steady_clock::now() - wall_start_;
    cpu_seconds_ += ThreadCpuSeconds() - cpu_start_;
    state_.SetIterationTime(std::chrono::duration<double>(wall).count());
  }

 private:
  static double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
  }

  benchmark::State& state_;
  std::chrono::steady_clock::time_point wall_start_;
  double cpu_start_ = 0;
  double cpu_seconds_ = 0;
};

}  // namespace pga

#endif  // PGA_BENCH_STOPWATCH_H_
