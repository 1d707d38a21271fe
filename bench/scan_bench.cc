// The /proc scan of the launch, in process, on the machine's real process table; the two port
// checks that follow it; and the lock and the record's room that a launch takes around them.
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include <benchmark/benchmark.h>

#include "files/directory_lock.h"
#include "files/guarded_file.h"
#include "launch/launch_record.h"
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

// On /dev/shm, a tmpfs like the runtime directory; the unnamed file goes when it is dropped.
static void BM_lock_and_record_room(benchmark::State& state) {
  char dir[] = "/dev/shm/qs-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  const std::string record = std::string(dir) + "/libreoffice.pids";
  const std::string largest = qs::largest_launch_record("/home/user/bridges/uno_bridge.py");
  for (auto _ : state) {
    auto lock = qs::DirectoryLock::acquire(dir, std::chrono::milliseconds(0));
    auto room = qs::UnnamedFile::create(lock && *lock ? (*lock)->fd() : -1, record, largest);
    benchmark::DoNotOptimize(room);
  }
  rmdir(dir);
}
BENCHMARK(BM_lock_and_record_room)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

BENCHMARK_MAIN();
