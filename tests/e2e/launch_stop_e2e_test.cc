// The launch and the stop of the built binary, with fake LibreOffice and python3 standing at
// their fixed paths inside a private mount namespace.
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <latch>
#include <sstream>
#include <thread>

#include "base/dir_stream.h"
#include "base/utf8.h"
#include "e2e/sandbox.h"
#include "launch/child_process.h"
#include "support/as_user.h"
#include "support/loopback.h"
#include "support/temp_dir.h"

namespace qs::test {
namespace {

// What the launcher prints for an error of this kind.
template <typename Kind>
std::string printed(Kind kind) {
  return "quantelspire-launch: " + message_of(LauncherError{std::move(kind)}) + "\n";
}
std::uint32_t pid_of(const FakeReport& child) {
  return static_cast<std::uint32_t>(child.pid);
}

class LaunchStop : public testing::Test {
 protected:
  void SetUp() override {
    if (const std::string reason = Sandbox::unavailable_reason(); !reason.empty()) {
      GTEST_SKIP() << reason;
    }
    box.emplace();
  }

  std::string report_of(pid_t soffice, pid_t bridge) const {
    return "LibreOffice started (process " + std::to_string(soffice) +
           "), listening for UNO on 127.0.0.1:2002\n"
           "bridge started (process " +
           std::to_string(bridge) +
           "), listening on 127.0.0.1:9304\n"
           "a script runs on the current document of its target's family, or with doc set to "
           "None when none is open\n"
           "stop the bridge with 'quantelspire-launch libreoffice --stop'; LibreOffice is yours "
           "to close\n";
  }

  std::optional<Sandbox> box;
};

// A launch and its stop, for each bridge path and runtime file system the record must serve: the
// report, the record, the children's start, a second launch refused, and the stop ending the
// bridge alone. Paths the record cannot hold byte for byte (not UTF-8, ending in a carriage
// return, the longest the reader takes) must still be recognised by the next launch and the
// stop. On FUSE (bindfs), which has no unnamed files, the record goes in place from a temporary
// name; on any file system, what a killed launcher left under that name is removed, never read.
// An earlier record whose bridge id another program has taken since, or one that only names the
// bridge file (tail -f, as an editor of it would), blocks nothing (nor is that program signalled
// by a stop: launch_refusals_test).
TEST_F(LaunchStop, LaunchRecordsBothChildrenAndStopEndsOnlyTheBridge) {
  box->enable_writer();
  struct Case {
    std::string path;      // the bridge file
    std::string recorded;  // as the record holds it
    bool fuse = false;
    std::vector<std::string> reused = {};  // the program under the earlier record's bridge id
  };
  const std::string longest = long_bridge_file(box->path("long"), 4096 - 38, 'a');
  const std::vector<Case> cases = {
      {box->bridge_file(), box->bridge_file()},
      {box->add_bridge_file("uno_bridge\xff.py"), box->path("bridges/uno_bridge\xEF\xBF\xBD.py")},
      {box->add_bridge_file("uno_bridge.py\r"), box->path("bridges/uno_bridge.py\r")},
      // Its room is that of the bytes written, three for each of these: more than the slack of
      // the ids that the room counts at their widest.
      {box->add_bridge_file(std::string(40, '\xff')),
       box->path("bridges/" + lossy_utf8(std::string(40, '\xff')))},
      {longest, longest},
      {box->bridge_file(), box->bridge_file(), true},
      {longest, longest, true},  // the named temporary holds the longest record too
      {box->bridge_file(), box->bridge_file(), false, {"/bin/sleep", "30"}},
      {box->bridge_file(), box->bridge_file(), false, {"/usr/bin/tail", "-f", box->bridge_file()}},
  };
  const bool fuse =
      ::access("/dev/fuse", R_OK | W_OK) == 0 && ::access("/usr/bin/bindfs", X_OK) == 0;
  // Started as make_soffice_spec and make_bridge_spec make them, from the binary's own
  // environment and at the fixed paths (child_process_test pins those and how spawn_child starts
  // a child).
  EnvSnapshot env;
  for (const std::string& entry : box->environment())
    env.emplace_back(entry.substr(0, entry.find('=')), entry.substr(entry.find('=') + 1));
  const auto started_as = [](const FakeReport& child, const ChildSpec& spec) {
    std::vector<std::string> argv{spec.program}, envp;
    argv.insert(argv.end(), spec.arguments.begin(), spec.arguments.end());
    for (const auto& [name, value] : spec.environment)
      envp.push_back(name + "=" + value);
    std::ranges::sort(envp);
    return child.argv == argv && child.env == envp;
  };
  struct Unmounted {  // also when an assertion ends the test early
    std::string at;
    ~Unmounted() { ::umount2(at.c_str(), MNT_DETACH); }
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.path) + (c.fuse ? " on FUSE" : "") +
                 (c.reused.empty() ? "" : " after " + c.reused.front()));
    if (c.fuse && !fuse) continue;
    std::optional<Unmounted> backing, bound;
    if (c.fuse) {
      // As many inodes as the runtime directory, launch/ and one file need, with the root: the
      // temporary takes the last, so naming it must take none.
      remove_tree(box->runtime_dir());  // bindfs mounts on an empty directory only
      if (!exists(box->path("run-backing"))) make_dir(box->path("run-backing"));
      ASSERT_EQ(::mount("qs-backing", box->path("run-backing").c_str(), "tmpfs", 0,
                        "nr_inodes=4,mode=0700"),
                0);
      backing.emplace(box->path("run-backing"));
      ASSERT_EQ(
          run_binary({.args = {box->path("run-backing"), box->path("run")}}, "/usr/bin/bindfs")
              .status,
          0);
      bound.emplace(box->path("run"));
      struct statfs mounted {};
      ASSERT_EQ(::statfs(box->path("run").c_str(), &mounted), 0);
      ASSERT_EQ(mounted.f_type, 0x65735546) << "not a FUSE file system";
    }
    const std::string left = box->record_path() + ".new";
    make_launch_dir(box->runtime_dir());
    write_file(left, "soffice 1\nbridge 1 " + c.path + "\n");
    pid_t reused = 0;
    if (!c.reused.empty()) {
      const auto other =
          spawn_child({c.reused.front(), {c.reused.begin() + 1, c.reused.end()}, "/", {}});
      ASSERT_TRUE(other);
      reused = static_cast<pid_t>(*other);
      write_file(box->record_path(),
                 "soffice 1\nbridge " + std::to_string(reused) + " " + c.path + "\n");
    }
    const RunResult launched = box->run({"libreoffice", "--bridge-file", c.path});
    ASSERT_EQ(launched.status, 0) << launched.err;
    EXPECT_EQ(launched.err, "");
    const FakeReport soffice = box->soffice_report();
    const FakeReport bridge = box->bridge_report();
    const std::string soffice_pid = std::to_string(soffice.pid);
    const std::string bridge_pid = std::to_string(bridge.pid);
    EXPECT_EQ(launched.out, report_of(soffice.pid, bridge.pid));
    EXPECT_EQ(read_file(box->record_path()),
              "soffice " + soffice_pid + "\nbridge " + bridge_pid + " " + c.recorded + "\n");
    EXPECT_FALSE(exists(left));
    EXPECT_EQ(mode_of(box->record_path()), 0600u);
    EXPECT_EQ(mode_of(box->runtime_dir()), 0700u);
    EXPECT_EQ(mode_of(box->runtime_dir() + "/launch"), 0700u);
    const BridgeSettings settings{c.path, box->config_dir() + "/token", 2002, 9304};
    EXPECT_TRUE(started_as(soffice, make_soffice_spec("/usr/bin/soffice", 2002, env)));
    EXPECT_TRUE(started_as(bridge, make_bridge_spec("/usr/bin/python3", settings, env)));

    const RunResult again = box->run({"libreoffice", "--bridge-file", c.path});
    EXPECT_EQ(again.status, 2);
    EXPECT_EQ(again.err, printed(LauncherError::BridgeStillRunning{pid_of(bridge)}));

    const RunResult stopped = box->stop();
    EXPECT_EQ(stopped.status, 0) << stopped.err;
    EXPECT_EQ(stopped.out, "bridge stopped (process " + bridge_pid + ")\nLibreOffice (process " +
                               soffice_pid +
                               ") was left running: close it yourself when you are done\n");
    EXPECT_FALSE(exists(box->record_path()));
    EXPECT_TRUE(wait_for_file(box->home() + "/bridge.term")) << "the bridge got no SIGTERM";
    EXPECT_FALSE(exists(box->home() + "/soffice.term"));
    EXPECT_FALSE(process_gone(soffice.pid));
    // LibreOffice still runs (a new launch refusing to attach to it: launch_refusals_test).
    EXPECT_EQ(box->stop().out, "nothing to stop: no launch is recorded\n");
    EXPECT_TRUE(reused == 0 || !process_gone(reused));
    box->end_launches();
  }
  if (!fuse) GTEST_SKIP() << "the row on FUSE needs /dev/fuse and /usr/bin/bindfs";
}

TEST_F(LaunchStop, AMissingInterpreterLeavesLibreOfficeRunningAndRecorded) {
  box->enable_writer();
  box->hide_python();
  const RunResult launched = box->launch();
  const FakeReport soffice = box->soffice_report();
  EXPECT_EQ(launched.status, 1);
  EXPECT_EQ(launched.out, "");
  EXPECT_EQ(launched.err,
            printed(LauncherError::LeftRunning{
                pid_of(soffice), {"/usr/bin/python3", SystemError::from_errno(ENOENT)}}));
  EXPECT_EQ(read_file(box->record_path()), "soffice " + std::to_string(soffice.pid) + "\n");
  EXPECT_FALSE(process_gone(soffice.pid));

  const RunResult stopped = box->stop();
  EXPECT_EQ(stopped.out, "no bridge is recorded: nothing was signalled\nLibreOffice (process " +
                             std::to_string(soffice.pid) +
                             ") was left running: close it yourself when you are done\n");
  EXPECT_FALSE(exists(box->record_path()));
}

// What the binary prints for each output it cannot write to, and that the stop's first line
// comes before the record goes (the record and the children at each line: report_failure_test).
TEST_F(LaunchStop, AReportThatCannotBeWrittenKeepsChildrenAndRecord) {
  box->enable_writer();
  const auto failed = [](int code) {
    return printed(LauncherError::ReportFailed{SystemError::from_errno(code)});
  };
  for (const auto& [kind, code] : {std::pair{StdoutKind::DevFull, ENOSPC},
                                   {StdoutKind::BrokenPipe, EPIPE},
                                   {StdoutKind::Closed, EBADF}}) {
    SCOPED_TRACE(code);
    const RunResult launched = box->launch(kind);
    EXPECT_EQ(launched.status, 1);
    EXPECT_EQ(launched.err, failed(code));
    const std::string bridge = std::to_string(box->bridge_report().pid);
    EXPECT_NE(read_file(box->record_path()).find("bridge " + bridge), std::string::npos);
    const RunResult stopped = box->stop(kind);
    EXPECT_EQ(stopped.status, 1);
    EXPECT_EQ(stopped.err, failed(code));  // for Closed, not written into what took its number
    EXPECT_TRUE(exists(box->record_path()));
    ASSERT_EQ(box->stop().status, 0);
    box->end_launches();
  }
  EXPECT_EQ(box->run({"libreoffice", "--stop"}, StdoutKind::DevFull).err, failed(ENOSPC));
}

// With one free descriptor beside the lock's, every read of a process file fails (EMFILE):
// neither the stop nor the launch may take that for "no such process".
TEST_F(LaunchStop, AProcessTableItCannotReadIsNoAnswer) {
#ifdef QS_SANITIZED
  GTEST_SKIP() << "the sanitizers' runtime needs descriptors of its own to check the launcher";
#endif
  box->enable_writer();
  const std::vector<std::string> one_descriptor = {"/usr/bin/prlimit", "--nofile=5"};
  const std::string cannot = printed(LauncherError::ListProcesses{SystemError::from_errno(EMFILE)});
  ASSERT_EQ(box->launch().status, 0);
  box->bridge_report();
  const std::string record = read_file(box->record_path());

  const RunResult stopped =
      box->run_under(one_descriptor, QS_LAUNCHER_BINARY, {"libreoffice", "--stop"});
  EXPECT_EQ(stopped.status, 1);
  EXPECT_EQ(stopped.out, "");
  EXPECT_EQ(stopped.err, cannot);
  EXPECT_EQ(read_file(box->record_path()), record);
  ASSERT_EQ(box->stop().status, 0);
  EXPECT_TRUE(wait_for_file(box->home() + "/bridge.term"));
  ::unlink((box->home() + "/soffice.report").c_str());

  // LibreOffice still runs: a second one would hand its arguments to it.
  const RunResult launched = box->run_under(one_descriptor, QS_LAUNCHER_BINARY,
                                            {"libreoffice", "--bridge-file", box->bridge_file()});
  EXPECT_EQ(launched.status, 1);
  EXPECT_EQ(launched.err, cannot);
  EXPECT_FALSE(exists(box->record_path()));
  EXPECT_FALSE(exists(box->home() + "/soffice.report")) << "a second LibreOffice was started";
}

TEST_F(LaunchStop, RefusesInTheirOrderBeforeStartingAnything) {
  // The whole table runs in-process (launch_refusals_test); here what only the binary shows: the
  // printed line and the exit status of each class, and a limit the binary runs under.
  using E = LauncherError;
  struct Case {
    std::string config;  // empty: no configuration file
    std::string record;  // empty: no launch directory
    std::string bridge_file;
    LauncherError error;
    std::vector<std::string> wrapper = {};  // a program the launcher runs under
  };
  const std::string bridge = box->bridge_file();
  const std::vector<Case> cases = {
      // Nothing is enabled: said before the bridge file is looked at.
      {"", "", "relative.py", E{E::NoTargetEnabled{}}},
      {"[apps.libreoffice-writer]\nenabled = true\n", "soffice twelve\n", bridge,
       E{E::BadRecord{box->record_path()}}},
      // Not the end by SIGXFSZ without a word: the write's own error, before anything starts.
      {"[apps.libreoffice-writer]\nenabled = true\n",
       "",
       bridge,
       E{E::File{FileSafetyError::cannot(FileOperation::Write, box->record_path(), EFBIG)}},
       {"/usr/bin/prlimit", "--fsize=0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(message_of(c.error));
    remove_tree(box->runtime_dir());
    ::unlink((box->config_dir() + "/config.toml").c_str());
    if (!c.config.empty()) box->write_config(c.config);
    if (!c.record.empty()) box->write_record(c.record);
    const std::vector<std::string> args = {"libreoffice", "--bridge-file", c.bridge_file};
    const RunResult r =
        c.wrapper.empty() ? box->run(args) : box->run_under(c.wrapper, QS_LAUNCHER_BINARY, args);
    EXPECT_EQ(r.status, exit_status_of(c.error));
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, printed(c.error));
    EXPECT_FALSE(exists(box->home() + "/soffice.report")) << "something was started";
    EXPECT_EQ(exists(box->record_path()), !c.record.empty());
  }
  EXPECT_EQ(mode_of(box->runtime_dir()), 0700u);

  // The user's own LibreOffice listening on the UNO port is named as such, not as another program.
  const auto [uno_socket, uno_port] = listen_on("127.0.0.1", 0);
  ASSERT_EQ(::symlink(QS_FAKE_PROGRAM, box->path("soffice.bin").c_str()), 0);
  const auto own = spawn_child({box->path("soffice.bin"), {}, "/", {{"HOME", box->home()}}});
  ASSERT_TRUE(own);
  ASSERT_TRUE(eventually(
      [&] { return read_file("/proc/" + std::to_string(*own) + "/comm") == "soffice.bin\n"; }));
  box->write_config(
      "[apps.libreoffice-writer]\nenabled = true\nuno_port = " + std::to_string(uno_port) + "\n");
  const RunResult r = box->launch();
  ::close(uno_socket);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, printed(LauncherError::AlreadyRunning{uno_port, {*own}}));
}

// valgrind 3.19 does not know pidfd_open: it warns on its own lines ("--pid-- ...") and answers
// ENOSYS, so memcheck also runs the stop's fallback to a signal by id. Its errors stay.
std::string without_valgrind_notes(const std::string& err) {
  std::istringstream lines(err);
  std::string kept;
  for (std::string line; std::getline(lines, line);)
    if (!line.starts_with("--")) kept += line + "\n";
  return kept;
}

TEST_F(LaunchStop, LaunchAndStopUnderMemcheckHaveNoErrorAndNoLeak) {
#ifdef QS_SANITIZED
  GTEST_SKIP() << "memcheck cannot run a program built with AddressSanitizer";
#endif
  if (::access("/usr/bin/valgrind", X_OK) != 0) GTEST_SKIP() << "valgrind is not installed";
  box->enable_writer();
  const std::vector<std::string> memcheck = {"/usr/bin/valgrind",
                                             "--quiet",
                                             "--error-exitcode=99",
                                             "--leak-check=full",
                                             "--errors-for-leak-kinds=definite,indirect,possible",
                                             "--track-fds=no"};
  const RunResult launched = box->run_under(memcheck, QS_MEMCHECK_LAUNCHER,
                                            {"libreoffice", "--bridge-file", box->bridge_file()});
  EXPECT_EQ(launched.status, 0) << launched.err;
  EXPECT_EQ(without_valgrind_notes(launched.err), "");
  const RunResult stopped =
      box->run_under(memcheck, QS_MEMCHECK_LAUNCHER, {"libreoffice", "--stop"});
  EXPECT_EQ(stopped.status, 0) << stopped.err;
  EXPECT_TRUE(stopped.out.starts_with("bridge stopped (process ")) << stopped.out;
  EXPECT_EQ(without_valgrind_notes(stopped.err), "");
}

// Under the recorded id, another user's process, which only root can make (the other records it
// cannot act on: run_stop_test): one that runs the bridge file refuses the signal, and the record
// stays for another try; one that only names it (tail -f) is no bridge, and the record goes.
TEST_F(LaunchStop, StopRefusesARecordItCannotTrust) {
  const std::string file = box->bridge_file();
  std::string home = "HOME=" + box->home();
  for (const bool runs : {true, false}) {
    const char* python[] = {"/usr/bin/python3", file.c_str(), nullptr};
    const char* tail[] = {"/usr/bin/tail", "-f", file.c_str(), nullptr};
    char* const* argv = const_cast<char* const*>(runs ? python : tail);
    char* envp[] = {home.data(), nullptr};
    pid_t other = 0;
    ASSERT_EQ(::posix_spawn(&other, runs ? QS_FAKE_PROGRAM : tail[0], nullptr, nullptr, argv, envp),
              0);
    ASSERT_TRUE(wait_for_cmdline(static_cast<std::uint32_t>(other), argv[runs ? 0 : 1], file));
    const std::string record = "bridge " + std::to_string(other) + " " + file + "\n";
    box->write_record(record);
    for (const std::string& path :
         {box->path("run"), box->runtime_dir(), box->runtime_dir() + "/launch", box->record_path()})
      ::chown(path.c_str(), kNobody, kNobody);
    ::chmod(box->path("").c_str(), 0755);
    const RunResult r =
        run_binary({.args = {"libreoffice", "--stop"}, .env = box->environment(), .in_child = [] {
                      become(kNobody) || (::_exit(126), false);
                    }});
    EXPECT_EQ(r.status, runs ? 1 : 0);
    EXPECT_EQ(r.err, runs ? printed(LauncherError::SignalFailed{static_cast<std::uint32_t>(other),
                                                                SystemError::from_errno(EPERM)})
                          : "");
    EXPECT_EQ(exists(box->record_path()) ? read_file(box->record_path()) : "gone",
              runs ? record : "gone");
    EXPECT_EQ(r.out.empty(), runs);
    EXPECT_EQ(r.out.starts_with("the bridge (process " + std::to_string(other) + ") is no longer"),
              !runs);
    EXPECT_FALSE(process_gone(other));
    kill_process(other);
    remove_tree(box->runtime_dir());
  }
}

// The process id a report line gives after `prefix`, or 0.
std::uint32_t pid_after(const std::string& text, const std::string& prefix) {
  const std::size_t at = text.find(prefix);
  return at == std::string::npos ? 0 : std::stoul(text.substr(at + prefix.size()));
}

// Launches and stops of one user released together, round after round, whatever order the lock
// gives them. Two launches: one starts LibreOffice and the bridge, the other sees that bridge.
// Then, its LibreOffice closed, a launch and two stops: a launched bridge stays recorded until a
// stop stops it, and no bridge is stopped twice.
TEST_F(LaunchStop, LaunchesAndStopsReleasedTogetherKeepTheRecordTrue) {
  box->enable_writer();
  const auto together = [&](std::vector<bool> launches) {
    std::vector<RunResult> results(launches.size());
    std::latch released(static_cast<std::ptrdiff_t>(launches.size()));
    std::vector<std::thread> runs;
    for (std::size_t i = 0; i < results.size(); ++i) {
      runs.emplace_back([&, i] {
        released.arrive_and_wait();
        results[i] = launches[i] ? box->launch() : box->stop();
      });
    }
    for (std::thread& run : runs)
      run.join();
    return results;
  };
  const auto recorded_bridge = [&] { return pid_after(read_file(box->record_path()), "bridge "); };
#ifdef QS_SANITIZED
  const int rounds = 100;  // each takes about three times longer under the sanitizers
#else
  const int rounds = 300;
#endif
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE(round);
    const auto first = together({true, true});
    const std::size_t winner = first[0].status == 0 ? 0 : 1;
    ASSERT_EQ(first[winner].status, 0) << first[winner].err;
    const std::uint32_t bridge = pid_after(first[winner].out, "bridge started (process ");
    EXPECT_EQ(first[1 - winner].err, printed(LauncherError::BridgeStillRunning{bridge}));
    EXPECT_EQ(recorded_bridge(), bridge);
    kill_process(box->soffice_report().pid);

    const auto second = together({true, false, false});
    // Before both stops it meets the first round's bridge still running; else it launches.
    EXPECT_TRUE(second[0].status == 0 || second[0].status == 2) << second[0].err;
    const std::uint32_t launched = pid_after(second[0].out, "bridge started (process ");
    std::vector<std::uint32_t> stopped;
    for (const RunResult& stop : {second[1], second[2]}) {
      EXPECT_EQ(stop.status, 0) << stop.err;
      if (const auto pid = pid_after(stop.out, "bridge stopped (process "); pid != 0) {
        EXPECT_EQ(std::ranges::count(stopped, pid), 0) << "a bridge stopped twice";
        stopped.push_back(pid);
      }
    }
    const bool kept = launched != 0 && std::ranges::count(stopped, launched) == 0;
    EXPECT_EQ(exists(box->record_path()), kept);
    if (kept) {
      EXPECT_EQ(recorded_bridge(), launched);
    }
    box->end_launches();
    ::unlink(box->record_path().c_str());
  }
}

// A stop blocked on a reader that does not read keeps the lock: a launch meanwhile waits, and
// the record it then writes is not the one the stop removes.
// Closed standard streams are occupied before anything is opened: the launch directory, which a
// stop holds while it writes its first line, never takes the number of the output. The stop is
// looked at while it waits for the lock that the test holds.
TEST_F(LaunchStop, ClosedStandardStreamsAreOccupiedFirst) {
  const std::string launch = make_launch_dir(box->runtime_dir());
  const int held = ::open(launch.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  RunResult stopped;
  std::thread stopper([&] { stopped = box->stop(StdoutKind::Closed); });
  // What descriptors 0 to 7 of the process that holds the launch directory open are, told by
  // the file itself: a path read from /proc depends on the reader's root and mounts.
  struct stat launch_dir {
  }, null{};
  ASSERT_EQ(::stat(launch.c_str(), &launch_dir), 0);
  ASSERT_EQ(::stat("/dev/null", &null), 0);
  const auto what = [&](const std::string& fd) -> std::string {
    struct stat file {};
    if (::stat(fd.c_str(), &file) != 0) return "closed";
    if (file.st_dev == launch_dir.st_dev && file.st_ino == launch_dir.st_ino) return "launch";
    return file.st_dev == null.st_dev && file.st_ino == null.st_ino ? "null" : "other";
  };
  std::vector<std::string> seen;
  const auto holder_seen = [&] {
    const DirStream proc(::opendir("/proc"));
    while (const dirent* entry = proc ? ::readdir(proc.get()) : nullptr) {
      const std::string fds = "/proc/" + std::string(entry->d_name) + "/fd/";
      // The launcher itself, not the test's child before its exec, which shares `held`; read
      // so that a process gone meanwhile is only not the launcher.
      std::string comm;
      std::getline(std::ifstream(fds + "../comm"), comm);
      if (comm != "quantelspire-la") continue;
      std::vector<std::string> kinds;
      for (int fd = 0; fd < 8; ++fd)
        kinds.push_back(what(fds + std::to_string(fd)));
      if (std::ranges::count(kinds, "launch") > 0) {
        seen = kinds;
        return true;
      }
    }
    return false;
  };
  const bool found = eventually(holder_seen);
  ::close(held);
  stopper.join();
  ASSERT_TRUE(found) << "no process held the launch directory";
  EXPECT_EQ(seen[0], "null");
  EXPECT_EQ(seen[1], "null");
  EXPECT_EQ(stopped.err, printed(LauncherError::ReportFailed{SystemError::from_errno(EBADF)}));
}

TEST_F(LaunchStop, ALaunchWaitsForAStopBlockedOnItsOutput) {
  box->enable_writer();
  ASSERT_EQ(box->launch().status, 0);
  box->bridge_report();  // ready: it catches SIGTERM
  kill_process(box->soffice_report().pid);
  int output[2];
  ASSERT_EQ(::pipe2(output, O_CLOEXEC | O_NONBLOCK), 0);
  while (::write(output[1], std::string(4096, 'x').data(), 4096) > 0) {
  }
  ::fcntl(output[0], F_SETFL, 0);
  ::fcntl(output[1], F_SETFL, 0);
  RunResult stopped, launched;
  std::thread stopper([&] {
    stopped = box->run({"libreoffice", "--stop"}, StdoutKind::Given, output[1]);
  });
  // Signalled, now blocked. No assertion ends the test while a thread of its own still runs.
  const bool signalled = wait_for_file(box->home() + "/bridge.term");
  ::close(output[1]);
  std::thread launcher([&] { launched = box->launch(); });
  const std::string drained = read_all(output[0]);
  stopper.join();
  launcher.join();
  ::close(output[0]);
  EXPECT_TRUE(signalled) << "the bridge got no SIGTERM";
  EXPECT_EQ(stopped.status, 0) << stopped.err;
  EXPECT_TRUE(drained.find("bridge stopped (process ") != std::string::npos);
  ASSERT_EQ(launched.status, 0) << launched.err;
  EXPECT_EQ(pid_after(read_file(box->record_path()), "bridge "),
            pid_after(launched.out, "bridge started (process "));
}

}  // namespace
}  // namespace qs::test
