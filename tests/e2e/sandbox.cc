#include "e2e/sandbox.h"

#include <dirent.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include <gtest/gtest.h>

#include "support/fake_report.h"

namespace qs::test {
namespace {

// Runs in the child just before the launcher is executed.
void enter_namespace(const std::string& layer) {
  if (::unshare(CLONE_NEWNS) != 0 ||
      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    ::_exit(125);
  }
  // Only /usr/bin is covered, and with a read-only overlay whose lower layers are the fakes and
  // the real /usr/bin: everything else there (the shell, the real tools) stays in place.
  const std::string options = "lowerdir=" + layer + ":/usr/bin";
  if (::mount("qs-fakes", "/usr/bin", "overlay", MS_RDONLY, options.c_str()) != 0) ::_exit(125);
}

std::vector<pid_t> children_of(pid_t parent) {
  std::vector<pid_t> children;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return children;
  while (dirent* entry = ::readdir(proc)) {
    const std::string pid = entry->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    int ppid = 0;  // the field after the state
    if (std::sscanf(test::stat_after_name(pid).c_str(), "%*c %d", &ppid) == 1 && ppid == parent) {
      children.push_back(std::stoi(pid));
    }
  }
  ::closedir(proc);
  return children;
}

}  // namespace

std::string Sandbox::unavailable_reason() {
  if (::geteuid() != 0) return "a private mount namespace with an overlay needs root";
  const pid_t pid = ::fork();
  if (pid == 0) {
    const bool ok = ::unshare(CLONE_NEWNS) == 0 &&
                    ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "unshare(CLONE_NEWNS) is refused here";
  return "";
}

Sandbox::Sandbox() {
  // The children of a launch outlive the launcher; as their subreaper the test reaps them, so
  // that no zombie soffice.bin is left to make the next launch refuse.
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  for (const char* made : {"home", "config", "config/quantelspire-mcp", "run", "layer"})
    make_dir(dir_ / made);
  make_dir(dir_ / "bridges", 0755);
  for (const char* fake : {"soffice", "soffice.bin", "python3"}) {
    EXPECT_EQ(::symlink(QS_FAKE_PROGRAM, (dir_ / "layer/" + fake).c_str()), 0);
  }
  bridge_file_ = add_bridge_file("uno_bridge.py");
}

Sandbox::~Sandbox() {
  kill_our_processes();
}

std::string Sandbox::add_bridge_file(const std::string& name) {
  const std::string path = dir_ / "bridges/" + name;
  write_file(path, "# a bridge\n", 0644);
  return path;
}

void Sandbox::write_config(const std::string& toml) {
  write_file(config_dir() + "/config.toml", toml, 0600);
}

std::string Sandbox::write_record(const std::string& record) {
  remove_tree(runtime_dir());
  const std::string launch = make_launch_dir(runtime_dir());
  write_file(launch + "/libreoffice.pids", record);
  return launch;
}

void Sandbox::hide_python() {
  const std::string fake = dir_ / "layer/python3";
  ::unlink(fake.c_str());
  // An overlay whiteout: the name is missing in the merged directory.
  ASSERT_EQ(::mknod(fake.c_str(), S_IFCHR | 0600, ::makedev(0, 0)), 0);
}

std::vector<std::string> Sandbox::environment() const {
  return {"HOME=" + home(),
          "PATH=/usr/bin:/bin",
          "LANG=C.UTF-8",
          "DISPLAY=:99",
          "PYTHONPATH=/opt/elsewhere",
          "QS_FAKE_LIFETIME=60",
          "QUANTELSPIRE_CONFIG_DIR=" + dir_ / "config",
          "QUANTELSPIRE_RUNTIME_DIR=" + dir_ / "run"};
}

RunResult Sandbox::run(std::vector<std::string> args, StdoutKind stdout_kind, int stdout_fd) {
  const std::string layer = dir_ / "layer";
  RunResult result = run_binary({.args = std::move(args),
                                 .env = environment(),
                                 .stdout_kind = stdout_kind,
                                 .stdout_fd = stdout_fd,
                                 .in_child = [layer] { enter_namespace(layer); }});
  EXPECT_NE(result.status, 125) << "the mount namespace could not be set up";
  return result;
}

RunResult Sandbox::run_under(std::vector<std::string> wrapper, const std::string& launcher,
                             std::vector<std::string> args) {
  const std::string program = wrapper.front();
  std::vector<std::string> all(wrapper.begin() + 1, wrapper.end());
  all.push_back(launcher);
  all.insert(all.end(), args.begin(), args.end());
  const std::string layer = dir_ / "layer";
  return run_binary({.args = std::move(all),
                     .env = environment(),
                     .in_child = [layer] { enter_namespace(layer); }},
                    program);
}

// As their subreaper the test has adopted every process a launch started once the launcher
// exited: kill and reap its children until none is left.
void Sandbox::kill_our_processes() {
  for (int round = 0; round < 500; ++round) {
    const pid_t reaped = ::waitpid(-1, nullptr, WNOHANG);
    if (reaped < 0 && errno == ECHILD) return;
    if (reaped > 0) continue;
    for (pid_t child : children_of(::getpid()))
      ::kill(child, SIGKILL);
    ::usleep(10000);
  }
  ADD_FAILURE() << "processes of the test are still running";
}

void Sandbox::end_launches() {
  kill_our_processes();
  for (const char* file : {"/soffice.report", "/bridge.report", "/bridge.term"})
    ::unlink((home() + file).c_str());
}

}  // namespace qs::test
