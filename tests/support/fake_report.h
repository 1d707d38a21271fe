#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qs::test {

// What the fake program wrote about how it was started.
struct FakeReport {
  std::vector<std::string> argv;
  std::vector<std::string> env;  // "NAME=value", sorted
  std::string cwd;
  pid_t pid = 0, pgid = 0, sid = 0;
  std::string sigpipe;
  std::string blocked;             // the blocked signals' numbers, each followed by a space
  std::map<int, std::string> fds;  // descriptor -> what it points to
  bool has_env(const std::string& entry) const;
  bool has_env_name(const std::string& name) const;
};

// Waits up to `seconds` for `path` to appear; false when it did not.
bool wait_for_file(const std::string& path, double seconds = 10);

FakeReport read_report(const std::string& path);

// Waits up to 5 s until process `pid` has `argument` on its command line: posix_spawn returns a
// moment before the new command line is in place.
bool wait_for_cmdline(std::uint32_t pid, const std::string& argument);

// For launches in the test's own process: the fake program as dir/soffice, dir/soffice.bin and
// dir/python3, an empty process table dir/proc (no LibreOffice of the machine changes the
// answers), dir/config/config.toml enabling Writer, and the bridge script dir/uno_bridge.py.
void prepare_in_process_launch(const std::string& dir);

// Sends SIGKILL to a process if it is still there (and reaps it when it is our child).
// A zombie still shows its comm in /proc, so a zombie soffice.bin would block launches.
void kill_process(pid_t pid);

// The process is gone (or a zombie): signal 0 fails, or its state is Z.
bool process_gone(pid_t pid);

}  // namespace qs::test
