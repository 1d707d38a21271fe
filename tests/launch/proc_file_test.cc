#include "launch/proc_file.h"

#include <gtest/gtest.h>

#include "launch/child_process.h"
#include "support/fake_report.h"
#include "support/temp_dir.h"

namespace qs {
namespace {

// The bridge is a process that runs the bridge file with the interpreter, the last two
// arguments; naming the file (an editor, tail -f) is not running it.
TEST(RunsBridgeFile, ComparesTheInterpreterAndTheFileLast) {
  using namespace std::string_literals;
  test::TempDir proc;
  const auto entry = [&](std::uint32_t pid, std::string_view cmdline) {
    test::add_fake_process(proc.path(), pid, "python3", cmdline);
  };
  entry(4250, "/usr/bin/python3\0/x/uno_bridge.py\0"s);
  entry(4251, "");
  entry(4252, "/usr/bin/python3\0/x/uno_bridge.py"s);
  entry(4253, "/usr/bin/python3\0/x/\xff\xfe.py\0"s);
  entry(4254, "/usr/bin/python3\0/x/a.py\r\0"s);
  entry(4255, "tail\0-f\0/x/uno_bridge.py\0"s);
  entry(4256, "/bin/sh\0/usr/bin/python3\0/x/uno_bridge.py\0"s);
  entry(4257, "/usr/bin/python3\0/x/uno_bridge.py\0--other\0"s);
  entry(4258, "/x/uno_bridge.py\0"s);
  entry(4259, "/usr/local/bin/python3\0/x/uno_bridge.py\0"s);
  struct Case {
    std::uint32_t pid;
    std::string text;
    bool expected;
  };
  const std::vector<Case> cases = {
      {4250, "/x/uno_bridge.py", true},
      {4250, "/x/uno_bridge.pyc", false},
      {4250, "/x", false},
      {4250, "/usr/bin/python3", false},
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
      {4255, "/x/uno_bridge.py", false},  // tail -f of the bridge file
      {4256, "/x/uno_bridge.py", true},   // through the interpreter's #! line
      {4257, "/x/uno_bridge.py", false},
      {4258, "/x/uno_bridge.py", false},
      {4259, "/x/uno_bridge.py", false},  // another interpreter
  };
  for (const Case& c : cases) {
    EXPECT_EQ(runs_bridge_file(proc.path(), c.pid, "/usr/bin/python3", c.text), c.expected)
        << c.pid << " " << c.text;
  }
}

TEST(RunsBridgeFile, RecognisesARealChild) {
  test::TempDir dir;
  const std::string python = dir / "python3";
  ASSERT_EQ(::symlink(QS_FAKE_PROGRAM, python.c_str()), 0);
  const auto pid = spawn_child({python, {"/srv/a b/uno_bridge.py"}, "/", {{"HOME", dir.path()}}});
  ASSERT_TRUE(pid);
  // The kernel lets posix_spawn return before the new command line is in place; the report
  // is written after it is.
  ASSERT_TRUE(test::wait_for_file(dir / "bridge.report"));
  EXPECT_EQ(runs_bridge_file("/proc", *pid, python, "/srv/a b/uno_bridge.py"), true);
  EXPECT_EQ(runs_bridge_file("/proc", *pid, python, "/srv/a b"), false);
  test::kill_process(static_cast<pid_t>(*pid));
  EXPECT_EQ(runs_bridge_file("/proc", *pid, python, "/srv/a b/uno_bridge.py"), false);
}

}  // namespace
}  // namespace qs
