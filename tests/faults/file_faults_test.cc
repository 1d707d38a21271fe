// Interrupted, short and refused system calls, a file that grows while it is read, paths
// swapped for symbolic links between two steps, signals and full file systems during a launch.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/refusals.h"

#include <cstring>
#include <thread>
#include <utility>

#include "base/output_stream.h"
#include "faults/interpose.h"
#include "files/guarded_file.h"
#include "files/private_dir.h"
#include "launch/launch_record.h"
#include "launch/port_check.h"
#include "launch/proc_file.h"
#include "launch/process_scan.h"
#include "launch/run_launch.h"
#include "launch/run_stop.h"
#include "support/as_user.h"
#include "support/fake_report.h"
#include "support/loopback.h"
#include "support/string_output_stream.h"
#include "support/temp_dir.h"

namespace qs {
namespace {

using test::TempDir;
using test::faults::Armed;
using test::faults::Faults;

// As a security module confining a process answers even its owner for the command line.
std::function<int(const std::string&, int)> confined(int code) {
  return [code](const std::string& path, int) { return path.ends_with("/cmdline") ? code : 0; };
}

// As FUSE answers an unnamed file: refused with `code`.
std::function<int(const std::string&, int)> no_unnamed_files(int code) {
  return
      [code](const std::string&, int flags) { return (flags & O_TMPFILE) == O_TMPFILE ? code : 0; };
}

std::string port_answer(std::uint16_t port) {
  const auto taken = loopback_port_taken(port);
  return taken ? (*taken ? "taken" : "free") : describe(taken.error());
}

std::string pattern(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    text[i] = static_cast<char>('a' + i % 23);
  return text;
}

TEST(SystemCallFaults, InterruptedAndShortCallsLoseNothing) {
  TempDir dir;
  const std::string contents = pattern(200000);
  struct Case {
    const char* what;
    Faults faults;
    bool refused = false;  // a write that accepts nothing is a failure, never an endless loop
  };
  const std::vector<Case> cases = {
      {"every other call interrupted",
       {.interrupt_every_other_read = true, .interrupt_every_other_write = true}},
      {"short writes", {.max_write = 7}},
      {"short and interrupted", {.interrupt_every_other_write = true, .max_write = 1000}},
      {"writes that accept nothing", {.writes_accept_nothing = true}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir / "file";
    if (c.refused) {
      Armed armed(c.faults);
      const auto written = test::write_private_at(path, contents);
      ASSERT_FALSE(written);
      EXPECT_EQ(message_of(written.error()),
                "cannot write " + path + ": failed to write whole buffer");
      FdOutputStream out(STDOUT_FILENO);
      EXPECT_EQ(out.write("x"), std::unexpected(SystemError::short_write()));
      continue;
    }
    {
      Armed armed(c.faults);
      ASSERT_TRUE(test::write_private_at(path, contents));
    }
    EXPECT_EQ(test::read_file(path), contents);
    Armed armed(c.faults);
    const auto read = read_private_file(path, 1048576, ::geteuid());
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, contents);
    EXPECT_TRUE(read_bounded_file("/proc/self/status").has_value());
  }
}

TEST(SystemCallFaults, RealSignalsInterruptWritesToAPipe) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  struct sigaction on_alarm {};
  on_alarm.sa_handler = [](int) {};  // no SA_RESTART: blocked writes fail with EINTR
  struct sigaction old {};
  ::sigaction(SIGALRM, &on_alarm, &old);
  const std::string contents = pattern(8 << 20);
  std::string received;
  std::thread reader([&] {
    char buffer[4096];
    ssize_t n;
    while ((n = syscall(SYS_read, fds[0], buffer, sizeof buffer)) > 0 ||
           (n < 0 && errno == EINTR)) {
      if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
    }
  });
  const itimerval every_100us{{0, 100}, {0, 100}};
  ::setitimer(ITIMER_REAL, &every_100us, nullptr);
  const auto written = write_all(fds[1], contents);
  const itimerval off{};
  ::setitimer(ITIMER_REAL, &off, nullptr);
  ::close(fds[1]);
  reader.join();
  ::close(fds[0]);
  ::sigaction(SIGALRM, &old, nullptr);
  EXPECT_TRUE(written.has_value());
  EXPECT_EQ(received.size(), contents.size());
  EXPECT_TRUE(received == contents);
}

TEST(SystemCallFaults, AFileThatGrowsPastTheLimitWhileReadIsRefused) {
  TempDir dir;
  const std::string path = dir / "libreoffice.pids";
  test::write_file(path, std::string(4000, 'x'));
  bool grown = false;
  Armed armed({.before_read = [&] {
    if (grown) return;
    grown = true;
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    (void)syscall(SYS_write, fd, std::string(1000, 'y').data(), 1000);
    ::close(fd);
  }});
  const auto read = read_private_file(path, 4096, ::geteuid());
  ASSERT_FALSE(read.has_value());
  EXPECT_EQ(message_of(read.error()), test::too_large(path, 4096));
}

TEST(SwappedPaths, ADirectoryReplacedByALinkAfterItsCreationIsRefused) {
  TempDir dir;
  test::make_dir(dir / "elsewhere");
  const std::string target = dir / "run/quantelspire-mcp";
  Armed armed({.after_mkdir = [&](const std::string& made) {
    if (made != target) return;
    ::rmdir(made.c_str());
    EXPECT_EQ(::symlink((dir / "elsewhere").c_str(), made.c_str()), 0);
  }});
  const auto ensured = ensure_private_dir(target, ::geteuid());
  ASSERT_FALSE(ensured);
  EXPECT_EQ(message_of(ensured.error()), test::refused<FileSafetyError::NotPlainDirectory>(target));
}

TEST(SwappedPaths, ALinkPlantedAfterTheOldRecordWentIsNotWrittenThrough) {
  TempDir dir;
  const std::string path = dir / "libreoffice.pids";
  const std::string victim = dir / "victim";
  test::write_file(path, "soffice 1\n");
  test::write_file(victim, "keep", 0644);
  Armed armed({.after_unlink = [&](const std::string& removed) {
    if (removed == "libreoffice.pids") {
      EXPECT_EQ(::symlink(victim.c_str(), path.c_str()), 0);
    }
  }});
  const auto written = test::write_private_at(path, "soffice 2\n");
  ASSERT_FALSE(written);
  EXPECT_EQ(message_of(written.error()), test::refused<FileSafetyError::AlreadyExists>(path));
  EXPECT_EQ(test::read_file(victim), "keep");
  EXPECT_EQ(test::mode_of(victim), 0644u);
}

// A process table that cannot be read for a failure of ours must not read as one without
// LibreOffice (the launch would attach to it) or without the bridge (the stop would forget it);
// a port that cannot be checked must not read as free.
TEST(ProcessTableFaults, AFailureOfOursIsNoAnswer) {
  TempDir proc;
  test::add_fake_process(proc.path(), 120, "soffice.bin",
                         std::string("/usr/bin/python3\0/b.py\0", 23));
  test::make_dir(proc / "121");  // another user's, where root can make it so
  if (test::running_as_root()) {
    ASSERT_EQ(::chown((proc / "121").c_str(), test::kOtherUid, 0), 0);
  }
  const auto scan = [&] {
    const auto found = find_soffice_processes(proc.path(), ::geteuid());
    return found ? std::to_string(found->size()) + " found" : message_of(found.error());
  };
  const auto check = [&](std::uint32_t pid) {
    const auto runs = runs_bridge_file(proc.path(), pid, "/usr/bin/python3", "/b.py");
    return runs ? (*runs ? "runs" : "absent") : message_of(runs.error());
  };
  struct Case {
    const char* what;
    Faults faults;
    std::string scan, check;
    std::string port = "free";
    std::uint32_t pid = 120;  // whose command line is checked
  };
  const auto cannot = [](int code) {
    return message_of(LauncherError{LauncherError::ListProcesses{SystemError::from_errno(code)}});
  };
  const auto cannot_look = [](int code) {
    return message_of(
        LauncherError{LauncherError::ProcessCheckFailed{120, SystemError::from_errno(code)}});
  };
  std::vector<Case> cases = {
      {"no fault", {}, "1 found", "runs"},
      {"a read error", {.read_error = EIO}, cannot(EIO), cannot(EIO)},
      {"no memory", {.read_error = ENOMEM}, cannot(ENOMEM), cannot(ENOMEM)},
      {"a listing that fails midway", {.readdir_error = EIO}, cannot(EIO), "runs"},
      {"no descriptor for a socket", Faults{.socket_error = EMFILE}, "1 found", "runs",
       "Too many open files (os error 24)"},
      {"a confined process", {.openat_error = confined(EACCES)}, "1 found", cannot_look(EACCES)},
      {"another confined one", {.openat_error = confined(EPERM)}, "1 found", cannot_look(EPERM)},
  };
  if (test::running_as_root()) {
    cases.push_back(
        {"another user's", {.openat_error = confined(EACCES)}, "1 found", "absent", "free", 121});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Armed armed(c.faults);
    EXPECT_EQ(scan(), c.scan);
    EXPECT_EQ(check(c.pid), c.check);
    EXPECT_EQ(port_answer(0), c.port);  // port 0: the kernel picks a free one
  }
}

// A launch in this process, with fake children and a process table without LibreOffice.
using test::InProcessLaunch;

// The record's room is taken before anything starts; should naming the record still fail, both
// children keep running, nothing claims a launch, and the message names both. Where unnamed
// files or links to them are refused, a temporary name stands in; what a killed launcher left
// under it is removed first, never read. The children get the launcher's signal mask (SIGUSR2
// blocked here), or the empty one where it could not be read.
TEST_F(InProcessLaunch, ARecordThatCannotBeWrittenStartsNothingOrNamesWhatRuns) {
  enum class Outcome { NothingStarted, Unrecorded, Recorded };
  // Until its exec has left the memory it shares with the launcher, a child's command line
  // reads as the launcher's, which names the bridge file too: the first reads of a child's show
  // one like the launcher's, as every read of the launcher's own does. The record must wait for
  // the child's own.
  const std::string shared = dir / "shared-cmdline";
  test::write_file(shared, std::string("quantelspire-launch\0libreoffice\0--bridge-file\0", 46) +
                               dir / "uno_bridge.py" + std::string(1, '\0'));
  int shared_reads = 0;
  bool own_read = false;
  const auto still_shared = [&](const std::string& path) -> std::string {
    if (path == "/proc/self/cmdline") return shared;
    if (!path.ends_with("/cmdline")) return "";
    if (shared_reads++ < 3) return shared;
    own_read = true;
    return "";
  };
  const auto recorded_after_its_own = [&] { EXPECT_TRUE(own_read) << "recorded too early"; };
  struct Case {
    const char* what;
    Faults faults;
    Outcome outcome;
    std::string blocked = "12 ";
    std::string earlier = "";  // the record of an earlier launch, where there is one
  };
  const std::vector<Case> cases = {
      {"no byte can be written", {.writes_accept_nothing = true}, Outcome::NothingStarted},
      {"the file cannot be named", {.linkat_error = ENOSPC}, Outcome::Unrecorded},
      {"FUSE", {.openat_error = no_unnamed_files(EOPNOTSUPP)}, Outcome::Recorded},
      // The earlier record goes before the temporary takes its name, which it never replaces.
      {"FUSE, over an earlier record",
       {.openat_error = no_unnamed_files(EOPNOTSUPP)},
       Outcome::Recorded,
       "12 ",
       "soffice 1\n"},
      {"EISDIR", {.openat_error = no_unnamed_files(EISDIR)}, Outcome::Recorded},
      {"EINVAL", {.openat_error = no_unnamed_files(EINVAL)}, Outcome::Recorded},
      {"ENOSYS", {.openat_error = no_unnamed_files(ENOSYS)}, Outcome::Recorded},
      {"no links at all", {.linkat_error = EPERM}, Outcome::Recorded},
      // Naming the temporary takes no room: a file system full since then still names it.
      {"FUSE, and no inode left for a link",
       {.linkat_error = ENOSPC, .openat_error = no_unnamed_files(EOPNOTSUPP)},
       Outcome::Recorded},
      {"FUSE without a rename that keeps a name",
       {.rename_noreplace_error = EINVAL, .openat_error = no_unnamed_files(EOPNOTSUPP)},
       Outcome::Recorded},
      {"an unreadable mask", {.sigprocmask_error = EINVAL}, Outcome::Recorded, ""},
      // The wait for the bridge's command line gives up in a second, and the launch goes on.
      {"a command line never in place", {.openat_error = confined(ENOENT)}, Outcome::Recorded},
      {"a bridge still in the launcher's memory",
       {.openat_path = still_shared, .before_linkat = recorded_after_its_own},
       Outcome::Recorded},
  };
  test::make_launch_dir(dir / "run");
  sigset_t usr2;
  sigemptyset(&usr2);
  sigaddset(&usr2, SIGUSR2);
  ::pthread_sigmask(SIG_BLOCK, &usr2, nullptr);
  // Whatever the umask, the record is 0600 (0477 would make it 0200, unreadable to every later
  // launch and stop of an ordinary user).
  const mode_t old_umask = ::umask(0477);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string left = PendingFile::temporary_path(record);
    test::write_file(left, "soffice 1\nbridge 2 /left/by/a/killed/launcher.py\n");
    if (!c.earlier.empty()) test::write_file(record, c.earlier);
    test::StringOutputStream out;
    const auto launched = [&] {
      Armed armed(c.faults);
      return launch(out);
    }();
    EXPECT_EQ(launched.has_value(), c.outcome == Outcome::Recorded);
    EXPECT_EQ(out.text().empty(), c.outcome != Outcome::Recorded);
    EXPECT_EQ(test::exists(record), c.outcome == Outcome::Recorded);
    EXPECT_FALSE(test::exists(left));
    if (c.outcome == Outcome::NothingStarted) {
      EXPECT_EQ(message_of(launched.error()),
                "cannot write " + record + ": failed to write whole buffer");
      EXPECT_TRUE(nothing_started());
      continue;
    }
    const auto soffice = test::read_report(dir / "soffice.report");
    const auto bridge = test::read_report(dir / "bridge.report");
    const auto soffice_pid = static_cast<std::uint32_t>(soffice.pid);
    const auto bridge_pid = static_cast<std::uint32_t>(bridge.pid);
    if (c.outcome == Outcome::Unrecorded) {
      const auto lost = FileSafetyError::cannot(FileOperation::Write, record, ENOSPC);
      EXPECT_EQ(
          message_of(launched.error()),
          message_of(LauncherError{LauncherError::LeftUnrecorded{lost, soffice_pid, bridge_pid}}));
    } else {
      EXPECT_EQ(
          test::read_file(record),
          format_launch_record({soffice_pid, RecordedBridge{bridge_pid, dir / "uno_bridge.py"}}));
      EXPECT_EQ(test::mode_of(record), 0600u);
    }
    EXPECT_EQ(soffice.blocked, c.blocked);
    EXPECT_EQ(bridge.blocked, c.blocked);
    for (pid_t pid : {soffice.pid, bridge.pid}) {
      EXPECT_FALSE(test::process_gone(pid));
      test::kill_process(pid);
    }
    for (const char* file : {"soffice.report", "bridge.report", "run/launch/libreoffice.pids"})
      ::unlink((dir / file).c_str());
  }
  ::umask(old_umask);
  ::pthread_sigmask(SIG_UNBLOCK, &usr2, nullptr);
}

// Where unnamed files are refused, a LibreOffice that does not start takes the temporary with it
// and leaves the earlier record as it was.
TEST_F(InProcessLaunch, AFailedStartWithoutUnnamedFilesKeepsTheEarlierRecord) {
  test::make_launch_dir(dir / "run");
  test::write_file(record, "soffice 1\n");
  SystemPaths missing = paths;
  missing.soffice_program = dir / "missing";
  test::StringOutputStream out;
  const auto launched = [&] {
    Armed armed({.openat_error = no_unnamed_files(EOPNOTSUPP)});
    return run_launch(missing, dirs, dir / "uno_bridge.py", env, out);
  }();
  ASSERT_FALSE(launched);
  EXPECT_EQ(message_of(launched.error()), message_of(LauncherError{LauncherError::StartFailed{
                                              dir / "missing", SystemError::from_errno(ENOENT)}}));
  EXPECT_EQ(test::read_file(record), "soffice 1\n");
  EXPECT_FALSE(test::exists(PendingFile::temporary_path(record)));
}

// A user's Ctrl-C between the starts and the record: the launch ends by it, after the record.
TEST_F(InProcessLaunch, ATerminationSignalWaitsForTheRecord) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    SCOPED_TRACE(signal);
    const pid_t child = ::fork();
    if (child == 0) {
      const rlimit no_core{0, 0};  // SIGQUIT's own action would dump one
      ::setrlimit(RLIMIT_CORE, &no_core);
      Armed armed({.before_linkat = [signal] { ::raise(signal); }});
      test::StringOutputStream out;
      ::_exit(launch(out) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_TRUE(test::end_recorded_children(record));
    ::unlink(record.c_str());
  }
}

// A runtime file system without room for the record refuses before anything starts.
TEST_F(InProcessLaunch, AFullRuntimeFileSystemStartsNothing) {
  if (!test::running_as_root()) GTEST_SKIP() << "mounting a small tmpfs needs root";
  const std::string run = *dirs.runtime_dir;
  struct Case {
    const char* options;
    std::size_t filler;  // bytes written to fill it
    const char* operation;
  };
  for (const Case& c : {Case{"size=4k,mode=0700", 4096, "write"},
                        Case{"nr_inodes=2,mode=0700", 0, "open"}}) {  // its root and launch/
    SCOPED_TRACE(c.options);
    test::make_dir(run);
    ASSERT_EQ(::mount("qs-full", run.c_str(), "tmpfs", 0, c.options), 0) << std::strerror(errno);
    test::make_dir(run + "/launch");
    if (c.filler > 0) test::write_file(run + "/filler", std::string(c.filler, 'x'));
    test::StringOutputStream out;
    const auto launched = launch(out);
    ASSERT_FALSE(launched);
    EXPECT_EQ(message_of(launched.error()), std::string("cannot ") + c.operation + " " + record +
                                                ": No space left on device (os error 28)");
    EXPECT_TRUE(nothing_started());
    EXPECT_FALSE(test::exists(record));
    ::umount2(run.c_str(), MNT_DETACH);
    ::rmdir(run.c_str());
  }
}

// Each answer of pidfd_open; a bridge that ends after its command line was checked is not
// signalled, since the descriptor is asked again first; a live bridge whose command line is
// refused is not forgotten; a launch directory replaced meanwhile keeps its new record; a lock
// another launch holds for a second is waited for. Whatever the way, the signal reaches the
// bridge alone, never another process of its group.
TEST_F(InProcessLaunch, TheStopTellsEachAnswerAboutTheBridge) {
  const std::string launch_dir = dir / "run/launch";
  test::make_launch_dir(dir / "run");
  pid_t bridge = 0;
  // The bridge ends (reaped: not killed again) just before the signal `at` reaches it.
  const auto end_bridge_at = [&](int at) {
    return [&, at](int signal) {
      if (signal == at) test::kill_process(std::exchange(bridge, 0));
    };
  };
  const auto replace_directory = [&](const std::string& name) {
    if (!name.ends_with("libreoffice.pids")) return;  // by name, or (wrongly) by path
    ::rename(launch_dir.c_str(), (launch_dir + ".old").c_str());
    ::mkdir(launch_dir.c_str(), 0700);
    test::write_file(record, "soffice 2\n");  // a launch's, in the new directory
  };
  int held = -1;  // the lock of another launch, let go once the stop has paused a second for it
  double paused = 0;
  const auto let_go_after_a_second = [&](const timespec& pause) {
    paused += static_cast<double>(pause.tv_sec) + static_cast<double>(pause.tv_nsec) / 1e9;
    if (paused >= 1 && held >= 0) ::close(std::exchange(held, -1));
  };
  struct Case {
    const char* what;
    Faults faults;
    std::string outcome;  // "stopped", "gone", "failed", or "unremoved" (signalled, record kept)
    int error = EMFILE;   // why it failed
  };
  const std::vector<Case> cases = {
      {"ESRCH", {.pidfd_open_error = ESRCH}, "gone"},
      {"a thread's id", {.pidfd_open_error = ENOENT}, "gone"},
      {"a thread's id before Linux 6.9", {.pidfd_open_error = EINVAL}, "gone"},
      {"no process descriptors", {.pidfd_open_error = ENOSYS}, "stopped"},
      {"a sandbox", {.pidfd_open_error = EPERM}, "stopped"},
      {"another sandbox", {.pidfd_open_error = EACCES}, "stopped"},
      {"no signals through descriptors", {.pidfd_send_signal_error = ENOSYS}, "stopped"},
      {"no descriptor left", {.pidfd_open_error = EMFILE}, "failed"},
      {"ended after its check", {.before_pidfd_signal = end_bridge_at(0)}, "gone"},
      {"ended at the signal", {.before_pidfd_signal = end_bridge_at(SIGTERM)}, "gone"},
      // What a killed launch left there cannot go either: no reason to stop the stop, whose
      // failure names the record.
      {"a read-only runtime directory", {.unlink_error = EROFS}, "unremoved", EROFS},
      {"confined", {.openat_error = confined(EACCES)}, "failed", EACCES},
      {"confined otherwise", {.openat_error = confined(EPERM)}, "failed", EPERM},
      {"its directory replaced", {.before_unlink = replace_directory}, "stopped"},
      {"the lock held a second", {.before_nanosleep = let_go_after_a_second}, "stopped"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bridge = test::spawn_recorded_bridge(dir, record, 1, 5);
    const auto spawned = std::optional<std::uint32_t>(static_cast<std::uint32_t>(bridge));
    const pid_t sibling = ::fork();
    if (sibling == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives a test that stopped midway
      ::pause();
      ::_exit(0);
    }
    ASSERT_EQ(::setpgid(sibling, bridge), 0);
    if (c.faults.before_nanosleep) {
      paused = 0;
      held = ::open(launch_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      ASSERT_EQ(::flock(held, LOCK_EX), 0);
    }
    test::write_file(PendingFile::temporary_path(record), "left by a killed launch");
    test::StringOutputStream out;
    const std::string pid = std::to_string(*spawned);
    const auto stopped = [&] {
      Armed armed(c.faults);
      return run_stop({.python_program = dir / "python3", .proc_root = "/proc"}, dirs, out);
    }();
    const bool signalled = c.outcome == "stopped" || c.outcome == "unremoved";
    EXPECT_EQ(test::ok_or_message(stopped),
              c.outcome == "unremoved" ? test::cannot(FileOperation::Remove, record, c.error)
              : c.outcome == "failed"  ? message_of(LauncherError{LauncherError::ProcessCheckFailed{
                                            *spawned, SystemError::from_errno(c.error)}})
                                       : "ok");
    // A stop that could not look at the bridge says nothing before its failure.
    const std::string first = signalled ? "bridge stopped (process " + pid + ")\n"
                              : c.outcome == "gone"
                                  ? "the bridge (process " + pid + ") is no longer running"
                                  : "";
    EXPECT_TRUE(first.empty() ? out.text().empty() : out.text().starts_with(first)) << out.text();
    if (signalled) {
      int status = 0;
      ASSERT_EQ(::waitpid(std::exchange(bridge, 0), &status, 0), *spawned);
      EXPECT_TRUE(test::ended_by_sigterm(status)) << "not ended by the SIGTERM";
    }
    const bool replaced = test::exists(launch_dir + ".old");
    EXPECT_EQ(test::exists(record), !stopped || replaced);
    if (replaced) {
      EXPECT_EQ(test::read_file(record), "soffice 2\n");
    }
    EXPECT_FALSE(test::process_gone(sibling));
    if (held >= 0) ::close(std::exchange(held, -1));
    test::kill_process(sibling);
    test::kill_process(bridge);
    ::unlink(record.c_str());
    ::unlink(PendingFile::temporary_path(record).c_str());
    test::remove_tree(launch_dir + ".old");
  }
}

// Only what keeps LibreOffice from listening on 127.0.0.1 makes a port taken.
TEST(PortCheck, OnlyWhatKeepsLibreOfficeFromListeningCounts) {
  const auto listener = test::listen_on;  // with SO_REUSEADDR, as the bridge listens
  const auto check = port_answer;
  const auto [elsewhere, port] = listener("127.0.0.2", 0);
  EXPECT_EQ(check(port), "free");
  ::close(elsewhere);
  const auto [everywhere, unused] = listener("0.0.0.0", port);
  EXPECT_EQ(check(port), "taken");
  ::close(everywhere);
  // A connection this side closed first waits in TIME_WAIT: LibreOffice could still listen.
  const auto [server, same] = listener("127.0.0.1", port);
  const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{.sin_family = AF_INET, .sin_port = htons(port)};
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ::close(::accept(server, nullptr, nullptr));
  ::close(client);
  ::close(server);
  EXPECT_EQ(check(port), "free");
  Armed armed({.bind_error = EACCES});
  EXPECT_EQ(check(port), "Permission denied (os error 13)");
}

}  // namespace
}  // namespace qs
