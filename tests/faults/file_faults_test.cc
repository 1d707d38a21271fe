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

#include "faults/interpose.h"
#include "files/guarded_file.h"
#include "files/output_stream.h"
#include "files/private_dir.h"
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

}  // namespace
}  // namespace qs
