// The site-scale benchmarks of `scripts/bench --scale`.
#ifndef PGA_BENCH_SCALE_BENCH_H_
#define PGA_BENCH_SCALE_BENCH_H_

namespace pga {

// Registers the benchmarks on a store of 1,001,000 items (building it takes
// a while, and it needs about a gigabyte of memory): group_bench does so
// only when PGA_BENCH_SCALE is set.
void RegisterScaleBenchmarks();

}  // namespace pga

#endif  // PGA_BENCH_SCALE_BENCH_H_
