// Interrupted, short and refused system calls, a file that grows while it is read, and paths
// swapped for symbolic links between two steps.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "base/output_stream.h"
#include "faults/interpose.h"
#include "files/guarded_file.h"
#include "files/private_dir.h"
#include "launch/launch_record.h"
#include "launch/port_check.h"
#include "launch/process_scan.h"
#include "launch/run_launch.h"
#include "support/fake_report.h"
#include "support/string_output_stream.h"
#include "support/temp_dir.h"

namespace qs {
namespace {

using test::TempDir;
using test::faults::Armed;
using test::faults::Faults;

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
  };
  const std::vector<Case> cases = {
      {"every other call interrupted",
       {.interrupt_every_other_read = true, .interrupt_every_other_write = true}},
      {"short writes", {.max_write = 7}},
      {"short and interrupted", {.interrupt_every_other_write = true, .max_write = 1000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir / "file";
    {
      Armed armed(c.faults);
      ASSERT_TRUE(write_private_file(path, contents));
    }
    EXPECT_EQ(test::read_file(path), contents);
    Armed armed(c.faults);
    const auto read = read_private_file(path, 1048576, ::geteuid());
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, contents);
    EXPECT_TRUE(read_bounded_file("/proc/self/status").has_value());
  }
}

TEST(SystemCallFaults, AWriteThatAcceptsNothingIsAFailure) {
  TempDir dir;
  const std::string path = dir / "record";
  Armed armed({.writes_accept_nothing = true});
  const auto written = write_private_file(path, "soffice 1\n");
  ASSERT_FALSE(written);
  EXPECT_EQ(message_of(written.error()), "cannot write " + path + ": failed to write whole buffer");
  FdOutputStream out(STDOUT_FILENO);
  EXPECT_EQ(out.write("x"), std::unexpected(SystemError::short_write()));
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
  EXPECT_EQ(message_of(read.error()), path + " is larger than 4096 bytes");
}

TEST(SwappedPaths, ADirectoryReplacedByALinkAfterItsCreationIsRefused) {
  TempDir dir;
  test::make_dir(dir / "elsewhere");
  const std::string target = dir / "run/quantelspire-mcp";
  Armed armed({.after_mkdir = [&](const std::string& made) {
    if (made != target) return;
    ::rmdir(made.c_str());
    ::symlink((dir / "elsewhere").c_str(), made.c_str());
  }});
  const auto ensured = ensure_private_dir(target, ::geteuid());
  ASSERT_FALSE(ensured);
  EXPECT_EQ(message_of(ensured.error()), "not a plain directory: " + target);
}

TEST(SwappedPaths, ALinkPlantedAfterTheOldRecordWentIsNotWrittenThrough) {
  TempDir dir;
  const std::string path = dir / "libreoffice.pids";
  const std::string victim = dir / "victim";
  test::write_file(path, "soffice 1\n");
  test::write_file(victim, "keep", 0644);
  Armed armed({.after_unlink = [&](const std::string& removed) {
    if (removed == path) ::symlink(victim.c_str(), removed.c_str());
  }});
  const auto written = write_private_file(path, "soffice 2\n");
  ASSERT_FALSE(written);
  EXPECT_EQ(message_of(written.error()), path + " already exists");
  EXPECT_EQ(test::read_file(victim), "keep");
  EXPECT_EQ(test::mode_of(victim), 0644u);
}

// A process table that cannot be read for a failure of ours must not read as one without
// LibreOffice (the launch would attach to it) or without the bridge (the stop would forget it);
// a port that cannot be checked must not read as free.
TEST(ProcessTableFaults, AFailureOfOursIsNoAnswer) {
  TempDir proc;
  test::make_dir(proc / "120");
  test::write_file(proc / "120/comm", "soffice.bin\n");
  test::write_file(proc / "120/cmdline", std::string("/usr/bin/python3\0/b.py\0", 23));
  const auto scan = [&] {
    const auto found = find_soffice_processes(proc.path(), ::geteuid());
    return found ? std::to_string(found->size()) + " found" : message_of(found.error());
  };
  const auto check = [&] {
    const auto runs = cmdline_contains(proc.path(), 120, "/b.py");
    return runs ? (*runs ? "runs" : "absent") : message_of(runs.error());
  };
  const auto port = [] {  // port 0: the kernel picks a free one
    const auto taken = loopback_port_taken(0);
    return taken ? (*taken ? "taken" : "free") : describe(taken.error());
  };
  struct Case {
    const char* what;
    Faults faults;
    std::string scan, check;
    std::string port = "free";
  };
  const std::string cannot = "cannot list the processes of the system: ";
  const std::vector<Case> cases = {
      {"no fault", {}, "1 found", "runs"},
      {"a read error",
       {.read_error = EIO},
       cannot + "Input/output error (os error 5)",
       cannot + "Input/output error (os error 5)"},
      {"no memory",
       {.read_error = ENOMEM},
       cannot + "Cannot allocate memory (os error 12)",
       cannot + "Cannot allocate memory (os error 12)"},
      {"a listing that fails midway",
       {.readdir_error = EIO},
       cannot + "Input/output error (os error 5)",
       "runs"},
      {"no descriptor for a socket",
       {.socket_error = EMFILE},
       "1 found",
       "runs",
       "Too many open files (os error 24)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Armed armed(c.faults);
    EXPECT_EQ(scan(), c.scan);
    EXPECT_EQ(check(), c.check);
    EXPECT_EQ(port(), c.port);
  }
}

// The record cannot be written once both children run: they keep running, the failure is the
// file's, and no report claims a launch that the next stop could not find.
TEST(SystemCallFaults, ARecordThatCannotBeWrittenLeavesBothChildrenAndNoReport) {
  TempDir dir;
  for (const char* name : {"soffice", "soffice.bin", "python3"}) {
    ASSERT_EQ(::symlink(QS_FAKE_PROGRAM, (dir / name).c_str()), 0);
  }
  test::make_dir(dir / "proc");  // no LibreOffice runs
  test::make_dir(dir / "config");
  test::write_file(dir / "config/config.toml", "[apps.libreoffice-writer]\nenabled = true\n");
  test::write_file(dir / "uno_bridge.py", "", 0644);
  const SystemPaths paths{dir / "soffice", dir / "python3", dir / "proc"};
  const BaseDirs dirs{dir / "config", dir / "state", dir / "run"};
  const EnvSnapshot env{{"HOME", dir.path()}, {"QS_FAKE_LIFETIME", "30"}};
  test::StringOutputStream out;
  const auto launched = [&] {
    Armed armed({.writes_accept_nothing = true});
    return run_launch(paths, dirs, dir / "uno_bridge.py", env, out);
  }();
  ASSERT_FALSE(launched);
  const std::string record = launch_record_path(*dirs.runtime_dir);
  EXPECT_EQ(message_of(launched.error()),
            "cannot write " + record + ": failed to write whole buffer");
  EXPECT_EQ(out.text(), "");
  ASSERT_TRUE(test::wait_for_file(dir / "soffice.report"));
  ASSERT_TRUE(test::wait_for_file(dir / "bridge.report"));
  for (const char* child : {"soffice.report", "bridge.report"}) {
    const pid_t pid = test::read_report(dir / child).pid;
    EXPECT_FALSE(test::process_gone(pid)) << child;
    test::kill_process(pid);
  }
}

}  // namespace
}  // namespace qs
