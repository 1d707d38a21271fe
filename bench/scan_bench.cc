// The /proc scan of the launch, in process, on the machine's real process table; and the two
// port checks that follow it.
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "launch/port_check.h"
#include "launch/process_scan.h"

static void BM_find_soffice_processes(benchmark::State& state) {
  const uid_t user = geteuid();
  for (auto _ : state) {
    auto found = qs::find_soffice_processes("/proc", user);
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK(BM_find_soffice_processes)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

static void BM_two_port_checks(benchmark::State& state) {
  for (auto _ : state) {
    auto uno = qs::loopback_port_taken(2002);
    auto bridge = qs::loopback_port_taken(9304);
    benchmark::DoNotOptimize(uno);
    benchmark::DoNotOptimize(bridge);
  }
}
BENCHMARK(BM_two_port_checks)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

BENCHMARK_MAIN();
