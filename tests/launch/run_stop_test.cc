// The stop against a fake process table: the records it cannot act on, and what a killed
// launcher left.
#include "launch/run_stop.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "files/guarded_file.h"
#include "launch/launch_directory.h"
#include "support/fake_report.h"
#include "support/refusals.h"
#include "support/string_output_stream.h"
#include "support/temp_dir.h"

namespace qs {
namespace {

// Each record the stop cannot act on, and none at all: no signal can be sent (the process table
// names no process that could take one), and a record is removed only when it was understood.
TEST(RunStop, AnswersEveryRecordItCannotActOn) {
  using namespace std::string_literals;
  using E = LauncherError;
  test::TempDir dir;
  const SystemPaths paths{.proc_root = dir / "proc"};
  const BaseDirs dirs{dir / "config", dir / "state", dir / "run"};
  const std::string launch = dir / "run/launch";
  const std::string record = launch_record_path(*dirs.runtime_dir);
  test::make_dir(dir / "proc");
  test::add_fake_process(paths.proc_root, 0, "python3", "/usr/bin/python3\0/b.py\0"s);
  test::add_fake_process(paths.proc_root, 2147483648, "python3", "/usr/bin/python3\0/b.py\0"s);
  const std::string no_bridge =
      "LibreOffice was left running: close it yourself when you are done\n";
  struct Case {
    std::string record;  // "-": no launch directory; "file", "link": one in its place
    std::string out;     // empty: `error`, and the record kept
    LauncherError error = {};
    unsigned mode = 0600;
  };
  const std::vector<Case> cases = {
      {"-", "nothing to stop: no launch is recorded\n"},
      // kill() reads ids below 1 as process groups.
      {"bridge 0 /b.py\n", "", E{E::BadRecord{record}}},
      {"bridge 2147483648 /b.py\n", "", E{E::BadRecord{record}}},
      {"bridge 0 /other.py\n",
       "the bridge (process 0) is no longer running: nothing was signalled\n" + no_bridge},
      {"bridge 1 uno_bridge.py\n", "", E{E::BadRecord{record}}},
      {"soffice 1\n", "",
       E{E::File{FileSafetyError{record, FileSafetyError::WrongMode{0644, 0600}}}}, 0644},
      {"", "no bridge is recorded: nothing was signalled\n" + no_bridge},
      // A launch directory the stop cannot go through is no answer, never "nothing to stop".
      {"file", "", E{E::File{FileSafetyError{launch, FileSafetyError::NotPlainDirectory{}}}}},
      {"link", "", E{E::File{FileSafetyError{launch, FileSafetyError::NotPlainDirectory{}}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    test::remove_tree(dir / "run");
    if (c.record != "-") test::make_dir(dir / "run");
    if (c.record == "file") test::write_file(launch, "");
    if (c.record == "link") {
      ASSERT_EQ(::symlink((dir / "run").c_str(), launch.c_str()), 0);
    }
    const bool in_directory = c.record != "-" && c.record != "file" && c.record != "link";
    if (in_directory) {
      test::make_dir(launch);
      test::write_file(record, c.record, c.mode);
      // Left by a launcher killed while it wrote a record: removed, never read.
      test::write_file(PendingFile::temporary_path(record), "bridge 2147483648 /b.py\n");
    }
    test::StringOutputStream out;
    const auto stopped = run_stop(paths, dirs, out);
    EXPECT_EQ(out.text(), c.out);
    EXPECT_EQ(test::ok_or_message(stopped), c.out.empty() ? message_of(c.error) : "ok");
    EXPECT_FALSE(test::exists(PendingFile::temporary_path(record)));
    EXPECT_EQ(test::exists(record), in_directory && c.out.empty());
    if (in_directory && c.out.empty()) {
      EXPECT_EQ(test::read_file(record), c.record);
    }
    EXPECT_EQ(test::exists(dir / "run"), c.record != "-");
  }
}

}  // namespace
}  // namespace qs
