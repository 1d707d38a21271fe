// Times two command sequences, A and B, alternately (A B A B ...) and prints their medians, the
// ratio A/B and A's peak resident memory. Each sequence is one or more commands run one after
// the other; a sample is the wall time of the whole sequence. Everything the commands leave
// running is killed and reaped between samples, untimed (the runner is their subreaper).
// Commands given with --a-before or --b-before run before each sample of their side, untimed:
// they prepare what the timed commands act on (a launch for a stop to stop).
//
//   alternate SAMPLES [--a-before "cmd"] --a "cmd args" [--a ...] [--b-before "cmd"] --b ...
//
// Arguments are split on spaces: paths must not contain any.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Command = std::vector<std::string>;

Command split(const char* text) {
  Command words;
  std::istringstream in(text);
  std::string word;
  while (in >> word)
    words.push_back(word);
  return words;
}

double now_us() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

// Runs one command to its end; returns its peak resident set in KiB.
long run(const Command& command) {
  std::vector<char*> argv;
  for (const auto& w : command)
    argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 1);
    dup2(null, 2);
    execve(argv[0], argv.data(), environ);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
    std::fprintf(stderr, "cannot run %s\n", argv[0]);
    std::exit(1);
  }
  return usage.ru_maxrss;
}

// Kills the runner's children that are still running (adopted ones included).
void kill_children() {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return;
  while (const dirent* entry = readdir(proc)) {
    const int pid = std::atoi(entry->d_name);
    if (pid <= 0) continue;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    FILE* file = std::fopen(path, "r");
    if (file == nullptr) continue;
    char buffer[512] = {};
    const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    const char* paren = std::strrchr(buffer, ')');
    int ppid = 0;
    if (n > 0 && paren != nullptr && std::sscanf(paren + 1, " %*c %d", &ppid) == 1 &&
        ppid == getpid()) {
      kill(pid, SIGKILL);
    }
  }
  closedir(proc);
}

// Whatever the commands left behind (children adopted by us): wait for it, kill it if needed.
void clean_up() {
  for (int tick = 0;; ++tick) {
    const pid_t pid = waitpid(-1, nullptr, WNOHANG);
    if (pid > 0) continue;
    if (pid < 0) return;  // no children left
    if (tick == 20) kill_children();
    usleep(1000);
  }
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: alternate SAMPLES --a CMD [--a CMD] --b CMD [--b CMD]\n");
    return 2;
  }
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  const int samples = std::atoi(argv[1]);
  std::vector<Command> a, b, before_a, before_b;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    auto& list = option == "--a"          ? a
                 : option == "--a-before" ? before_a
                 : option == "--b-before" ? before_b
                                          : b;
    list.push_back(split(argv[i + 1]));
  }
  std::vector<double> times_a, times_b;
  long peak_a = 0;
  for (int i = 0; i < samples + 2; ++i) {  // the first pair warms caches and is not counted
    for (int side = 0; side < 2; ++side) {
      const auto& sequence = side == 0 ? a : b;
      for (const auto& command : side == 0 ? before_a : before_b)
        run(command);
      const double start = now_us();
      long peak = 0;
      for (const auto& command : sequence)
        peak = std::max(peak, run(command));
      const double elapsed = now_us() - start;
      clean_up();
      if (i < 2) continue;
      (side == 0 ? times_a : times_b).push_back(elapsed);
      if (side == 0) peak_a = std::max(peak_a, peak);
    }
  }
  const double ma = median(times_a), mb = median(times_b);
  std::printf("%.1f %.1f %.3f %ld\n", ma, mb, ma / mb, peak_a);
  return 0;
}
