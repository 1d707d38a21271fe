#include "support/fake_report.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include <gtest/gtest.h>

#include "launch/child_process.h"
#include "launch/proc_file.h"
#include "launch/run_launch.h"

namespace qs::test {

bool wait_for_file(const std::string& path, double seconds) {
  return eventually([&] { return exists(path); }, seconds);
}

bool wait_for_cmdline(std::uint32_t pid, const std::string& program, const std::string& file) {
  return eventually([&] { return runs_bridge_file("/proc", pid, program, file) == true; }, 5);
}

FakeReport read_report(const std::string& path) {
  FakeReport report;
  EXPECT_TRUE(wait_for_file(path)) << "no report at " << path;
  std::istringstream lines(read_file(path));
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t tab = line.find('\t');
    const std::string key = line.substr(0, tab);
    const std::string value = tab == std::string::npos ? "" : line.substr(tab + 1);
    if (key == "argv") report.argv.push_back(value);
    if (key == "env") report.env.push_back(value);
    if (key == "cwd") report.cwd = value;
    if (key == "pid") report.pid = std::stoi(value);
    if (key == "pgid") report.pgid = std::stoi(value);
    if (key == "sid") report.sid = std::stoi(value);
    if (key == "sigpipe") report.sigpipe = value;
    if (key == "blocked") report.blocked = value;
    if (key == "fd") {
      const std::size_t tab2 = value.find('\t');
      report.fds[std::stoi(value.substr(0, tab2))] = value.substr(tab2 + 1);
    }
  }
  return report;
}

void add_fake_process(const std::string& proc_root, std::uint32_t pid, std::string_view comm,
                      std::string_view cmdline) {
  const std::string entry = proc_root + "/" + std::to_string(pid);
  make_dir(entry, 0755);
  write_file(entry + "/comm", std::string(comm) + "\n", 0644);
  write_file(entry + "/cmdline", cmdline, 0644);
}

pid_t spawn_recorded_bridge(const TempDir& dir, const std::string& record,
                            std::uint32_t soffice_pid, int lifetime) {
  const auto bridge = spawn_child({dir / "python3",
                                   {dir / "uno_bridge.py"},
                                   "/",
                                   {{"QS_FAKE_LIFETIME", std::to_string(lifetime)}}});
  if (!bridge) setup_failed("start the fake bridge");
  if (!wait_for_cmdline(*bridge, dir / "python3", dir / "uno_bridge.py")) {
    setup_failed("wait for the fake bridge's command line");
  }
  if (!write_record_at(record, {soffice_pid, RecordedBridge{*bridge, dir / "uno_bridge.py"}})) {
    setup_failed("record the fake bridge");
  }
  return static_cast<pid_t>(*bridge);
}

bool end_recorded_children(const std::string& record) {
  const auto read = read_record(record);
  if (!read || !*read || !(*read)->soffice_pid || !(*read)->bridge) return false;
  bool running = true;
  for (const std::uint32_t pid : {*(*read)->soffice_pid, (*read)->bridge->bridge_pid}) {
    running = !process_gone(static_cast<pid_t>(pid)) && running;
    kill_process(static_cast<pid_t>(pid));
  }
  return running;
}

bool ended_by_sigterm(int status) {
  return (WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) ||
         (WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

bool process_gone(pid_t pid) {
  // Never 0 or below: kill() would address a whole process group, the test's own among them.
  if (pid <= 0 || ::kill(pid, 0) != 0) return true;
  return stat_after_name(std::to_string(pid)).starts_with('Z');
}

std::string stat_after_name(const std::string& pid) {
  // After the last parenthesis, since the name may hold spaces and parentheses.
  const std::string stat = read_file("/proc/" + pid + "/stat");
  const std::size_t paren = stat.rfind(") ");
  return paren == std::string::npos ? std::string() : stat.substr(paren + 2);
}

void kill_process(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGKILL);
  // Reaps it when it is our child (or was adopted by us as a subreaper); ECHILD otherwise.
  while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

InProcessLaunch::InProcessLaunch() {
  for (const char* name : {"soffice", "soffice.bin", "python3"}) {
    if (::symlink(QS_FAKE_PROGRAM, (dir / name).c_str()) != 0) setup_failed(name);
  }
  make_dir(dir / "proc");
  make_dir(dir / "config");
  write_file(dir / "config/config.toml", "[apps.libreoffice-writer]\nenabled = true\n");
  write_file(dir / "uno_bridge.py", "", 0644);
}

std::expected<void, LauncherError> InProcessLaunch::launch(OutputStream& out) const {
  return run_launch(paths, dirs, dir / "uno_bridge.py", env, out);
}

bool InProcessLaunch::nothing_started() {
  return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

}  // namespace qs::test
