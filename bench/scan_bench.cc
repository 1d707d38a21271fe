// The /proc scan of the launch, in process, on the machine's real process table.
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "launch/process_scan.h"

static void BM_find_soffice_processes(benchmark::State& state) {
  const uid_t user = geteuid();
  for (auto _ : state) {
    auto found = qs::find_soffice_processes("/proc", user);
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK(BM_find_soffice_processes)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

BENCHMARK_MAIN();
