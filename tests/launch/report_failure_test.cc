// A report that cannot be written, at each of its lines: the launch and the stop end with
// ReportFailed, and the record and the children stay as the steps before left them.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "launch/child_process.h"
#include "launch/launch_directory.h"
#include "launch/run_launch.h"
#include "launch/run_stop.h"
#include "support/fake_report.h"
#include "support/string_output_stream.h"
#include "support/temp_dir.h"

namespace qs {
namespace {

class ReportFailure : public test::InProcessLaunch {
 protected:
  const std::string broken_pipe =
      message_of(LauncherError{LauncherError::ReportFailed{SystemError::from_errno(EPIPE)}});
};

TEST_F(ReportFailure, AtEachLineOfTheLaunch) {
  for (int good = 0; good < 4; ++good) {
    SCOPED_TRACE(good);
    test::StringOutputStream out(good);
    const auto launched = launch(out);
    ASSERT_FALSE(launched.has_value());
    EXPECT_EQ(message_of(launched.error()), broken_pipe);
    EXPECT_EQ(std::ranges::count(out.text(), '\n'), good);
    const auto read = test::read_record(record);
    ASSERT_TRUE(read && *read && (*read)->soffice_pid && (*read)->bridge);
    const auto soffice = static_cast<pid_t>(*(*read)->soffice_pid);
    const auto bridge = static_cast<pid_t>((*read)->bridge->bridge_pid);
    EXPECT_FALSE(test::process_gone(soffice));
    EXPECT_FALSE(test::process_gone(bridge));
    test::kill_process(soffice);
    test::kill_process(bridge);
  }
}

TEST_F(ReportFailure, AtEachLineOfTheStop) {
  test::make_dir(dir / "run");
  test::make_dir(dir / "run/launch");
  for (int good = 0; good < 2; ++good) {
    SCOPED_TRACE(good);
    const auto bridge = spawn_child({dir / "python3", {dir / "uno_bridge.py"}, "/", {}});
    ASSERT_TRUE(bridge);
    ASSERT_TRUE(test::wait_for_cmdline(*bridge, dir / "python3", dir / "uno_bridge.py"));
    const std::string entry = dir / "proc/" + std::to_string(*bridge);
    ASSERT_EQ(::symlink(("/proc/" + std::to_string(*bridge)).c_str(), entry.c_str()), 0);
    ASSERT_TRUE(test::write_record_at(record, {7, RecordedBridge{*bridge, dir / "uno_bridge.py"}}));
    test::StringOutputStream out(good);
    const auto stopped = run_stop(paths, dirs, out);
    ASSERT_FALSE(stopped.has_value());
    EXPECT_EQ(message_of(stopped.error()), broken_pipe);
    // The first line comes before the removal, the second after it.
    EXPECT_EQ(test::exists(record), good == 0);
    int status = 0;
    ASSERT_EQ(::waitpid(static_cast<pid_t>(*bridge), &status, 0), static_cast<pid_t>(*bridge));
    // SIGTERM, either by its default action or through the fake's handler (exit status 0).
    EXPECT_TRUE((WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) ||
                (WIFEXITED(status) && WEXITSTATUS(status) == 0))
        << "the bridge was not ended by SIGTERM";
  }
}

}  // namespace
}  // namespace qs
