// The store verbs run in-process, and SQLite's own copy, for the benchmarks
// of store_tools_bench.cc and scale_bench.cc.
#ifndef PGA_BENCH_STORE_VERBS_H_
#define PGA_BENCH_STORE_VERBS_H_

#include <string>

#include "tools/store_tools.h"

namespace pga {

// Copies the database `from` over `to` with SQLite's online backup, then
// runs `check` on the copy: what sqlite3's .backup and .restore do. Throws
// std::runtime_error when it fails.
void RawCopy(const char* from, const char* to, const char* check);

// Runs one store verb on the store of the current directory; what it prints
// goes nowhere. Returns its exit status.
int RunVerb(StoreVerb::Kind mode, const std::string& path);

}  // namespace pga

#endif  // PGA_BENCH_STORE_VERBS_H_
