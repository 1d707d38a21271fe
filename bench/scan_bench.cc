// The /proc scan of the launch, in process, on the machine's real process table; the two port
// checks that follow it; and the lock and the record's room that a launch takes around them.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <benchmark/benchmark.h>

#include "launch/launch_directory.h"
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

// In a runtime directory on /dev/shm, a tmpfs like the usual one, or in $QS_BENCH_RUNTIME (a
// FUSE mount, where the record's room is a named temporary file). The room goes when dropped.
static void BM_lock_and_record_room(benchmark::State& state) {
  const char* given = getenv("QS_BENCH_RUNTIME");
  std::string runtime = given != nullptr ? given : "/dev/shm/qs-bench-XXXXXX";
  if (given == nullptr && mkdtemp(runtime.data()) == nullptr) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  const std::string launch = runtime + "/launch";
  mkdir(launch.c_str(), 0700);
  for (auto _ : state) {
    auto directory = qs::LaunchDirectory::lock(runtime);
    if (!directory) {
      state.SkipWithError("the launch directory cannot be locked");
      break;
    }
    auto room = directory->make_record_room("/home/user/bridges/uno_bridge.py");
    benchmark::DoNotOptimize(room);
  }
  rmdir(launch.c_str());
  if (given == nullptr) rmdir(runtime.c_str());
}
BENCHMARK(BM_lock_and_record_room)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

BENCHMARK_MAIN();
