#pragma once

#include <sys/types.h>

#include <cstdint>
#include <expected>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/output_stream.h"
#include "cli/launcher_error.h"
#include "config/base_dirs.h"
#include "config/env_snapshot.h"
#include "launch/launch_directory.h"
#include "launch/system_paths.h"
#include "support/temp_dir.h"

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
};

// Waits up to `seconds` for `path` to appear; false when it did not.
bool wait_for_file(const std::string& path, double seconds = 10);

// The report at `path`, once the fake program has written it (the test fails when it has not
// within 10 s).
FakeReport read_report(const std::string& path);

// Waits up to 5 s until process `pid` runs `file` with `program`: posix_spawn returns a moment
// before the new command line is in place.
bool wait_for_cmdline(std::uint32_t pid, const std::string& program, const std::string& file);

// For launches in the test's own process: the fake program as dir/soffice, dir/soffice.bin and
// dir/python3, an empty process table dir/proc (no LibreOffice of the machine changes the
// answers), dir/config/config.toml enabling Writer, and the bridge script dir/uno_bridge.py.
class InProcessLaunch : public testing::Test {
 protected:
  InProcessLaunch();
  std::expected<void, LauncherError> launch(OutputStream& out) const;
  // Nothing was ever started by this process.
  static bool nothing_started();

  TempDir dir;
  const SystemPaths paths{dir / "soffice", dir / "python3", dir / "proc"};
  const BaseDirs dirs{dir / "config", dir / "state", dir / "run"};
  const std::string record = launch_record_path(*dirs.runtime_dir);
  const EnvSnapshot env{{"HOME", dir.path()}, {"QS_FAKE_LIFETIME", "30"}};
};

// An entry of the fake process table `proc_root`, owned by the test's user: `comm` (a line feed
// is added) and `cmdline` (its arguments each ended by a NUL byte).
void add_fake_process(const std::string& proc_root, std::uint32_t pid, std::string_view comm,
                      std::string_view cmdline);

// The fake bridge dir/python3 running dir/uno_bridge.py, its command line in place, and recorded
// at `record` beside LibreOffice `soffice_pid`. Without a SIGTERM it ends after `lifetime`
// seconds with status 4, so that a stop that did not signal fails by assertion, not by timeout.
pid_t spawn_recorded_bridge(const TempDir& dir, const std::string& record,
                            std::uint32_t soffice_pid, int lifetime);

// Whether the record at `record` names LibreOffice and the bridge, both still running; kills
// whichever it names.
bool end_recorded_children(const std::string& record);

// Whether a fake program's wait status says SIGTERM ended it: by the default action before its
// handler was in place, or through the handler (status 0); never its lifetime (status 4).
bool ended_by_sigterm(int status);

// Sends SIGKILL to a process if it is still there (and reaps it when it is our child).
// A zombie still shows its comm in /proc, so a zombie soffice.bin would block launches.
void kill_process(pid_t pid);

// The process is gone (or a zombie): signal 0 fails, or its state is Z.
bool process_gone(pid_t pid);

// The fields of /proc/PID/stat after the name (the state first); empty when there is none.
std::string stat_after_name(const std::string& pid);

}  // namespace qs::test
