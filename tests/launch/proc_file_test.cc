#include "launch/proc_file.h"

#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "launch/child_process.h"
#include "support/fake_report.h"
#include "support/temp_dir.h"

namespace qs {
namespace {

TEST(CmdlineContains, ComparesWholeArguments) {
  using namespace std::string_literals;
  test::TempDir proc;
  const auto entry = [&](const std::string& pid, const std::string& cmdline) {
    test::make_dir(proc / pid);
    test::write_file(proc / pid + "/cmdline", cmdline);
  };
  entry("4250", "/usr/bin/python3\0/x/uno_bridge.py\0"s);
  entry("4251", "");
  entry("4252", "/usr/bin/python3\0/x/uno_bridge.py"s);
  entry("4253", "/usr/bin/python3\0/x/\xff\xfe.py\0"s);
  entry("4254", "/usr/bin/python3\0/x/a.py\r\0"s);
  struct Case {
    std::uint32_t pid;
    std::string text;
    bool expected;
  };
  const std::vector<Case> cases = {
      {4250, "/x/uno_bridge.py", true},
      {4250, "/x/uno_bridge.pyc", false},
      {4250, "/x", false},
      {4250, "/usr/bin/python3", true},
      {4251, "/x/uno_bridge.py", false},
      {4252, "/x/uno_bridge.py", true},
      {9999, "/x/uno_bridge.py", false},
      // As the record writes a path that is not UTF-8.
      {4253, "/x/\xEF\xBF\xBD\xEF\xBF\xBD.py", true},
      {4253, "/x/\xff\xfe.py", true},
      {4253, "/x/\xEF\xBF\xBD.py", false},
      // A record cannot carry a final carriage return: it reads back as the terminator's.
      {4254, "/x/a.py", true},
      {4254, "/x/a.py\r", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cmdline_contains(proc.path(), c.pid, c.text), c.expected) << c.pid << " " << c.text;
  }
}

TEST(CmdlineContains, RecognisesARealChild) {
  test::TempDir dir;
  const std::string python = dir / "python3";
  ASSERT_EQ(::symlink(QS_FAKE_PROGRAM, python.c_str()), 0);
  const auto pid = spawn_child({python, {"/srv/a b/uno_bridge.py"}, "/", {{"HOME", dir.path()}}});
  ASSERT_TRUE(pid);
  // The kernel lets posix_spawn return before the new command line is in place; the report
  // is written after it is.
  ASSERT_TRUE(test::wait_for_file(dir / "bridge.report"));
  EXPECT_EQ(cmdline_contains("/proc", *pid, "/srv/a b/uno_bridge.py"), true);
  EXPECT_EQ(cmdline_contains("/proc", *pid, "/srv/a b"), false);
  ::kill(static_cast<pid_t>(*pid), SIGKILL);
  ::waitpid(static_cast<pid_t>(*pid), nullptr, 0);
  EXPECT_EQ(cmdline_contains("/proc", *pid, "/srv/a b/uno_bridge.py"), false);
}

}  // namespace
}  // namespace qs
