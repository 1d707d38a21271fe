// The stop against a fake process table: ids that the signal call would read as process groups,
// and what a killed launcher left.
#include "launch/run_stop.h"

#include <gtest/gtest.h>

#include "files/guarded_file.h"
#include "launch/launch_directory.h"
#include "support/string_output_stream.h"
#include "support/temp_dir.h"

namespace qs {
namespace {

// Without a launch directory no launch is recorded, and the stop makes none.
TEST(RunStop, CreatesNothing) {
  test::TempDir dir;
  const BaseDirs dirs{dir / "config", dir / "state", dir / "run/quantelspire-mcp"};
  test::StringOutputStream out;
  ASSERT_TRUE(run_stop({.proc_root = dir / "proc"}, dirs, out));
  EXPECT_EQ(out.text(), "nothing to stop: no launch is recorded\n");
  EXPECT_FALSE(test::exists(dir / "run"));
}

TEST(RunStop, NeverSignalsAnIdBelowOne) {
  using namespace std::string_literals;
  test::TempDir dir;
  const SystemPaths paths{.proc_root = dir / "proc"};
  const BaseDirs dirs{dir / "config", dir / "state", dir / "run"};
  const std::string record_path = launch_record_path(*dirs.runtime_dir);
  for (const char* made : {"proc", "proc/0", "proc/2147483648", "run", "run/launch"})
    test::make_dir(dir / made);
  test::write_file(dir / "proc/0/cmdline", "/usr/bin/python3\0/b.py\0"s);
  test::write_file(dir / "proc/2147483648/cmdline", "/usr/bin/python3\0/b.py\0"s);
  struct Case {
    std::string record;
    std::string out;  // empty: BadRecord, record kept
  };
  const std::vector<Case> cases = {
      {"bridge 0 /b.py\n", ""},
      {"bridge 2147483648 /b.py\n", ""},
      {"bridge 0 /other.py\n",
       "the bridge (process 0) is no longer running: nothing was signalled\nLibreOffice was left "
       "running: close it yourself when you are done\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    test::write_file(record_path, c.record);
    // Left by a launcher killed while it wrote a record: removed, never read.
    const std::string left = PendingFile::temporary_path(record_path);
    test::write_file(left, "bridge 2147483648 /b.py\n");
    test::StringOutputStream out;
    const auto stopped = run_stop(paths, dirs, out);
    EXPECT_EQ(out.text(), c.out);
    EXPECT_FALSE(test::exists(left));
    if (c.out.empty()) {
      ASSERT_FALSE(stopped);
      EXPECT_EQ(message_of(stopped.error()),
                message_of(LauncherError{LauncherError::BadRecord{record_path}}));
      EXPECT_EQ(test::read_file(record_path), c.record);
    } else {
      EXPECT_TRUE(stopped);
      EXPECT_FALSE(test::exists(record_path));
    }
  }
}

}  // namespace
}  // namespace qs
