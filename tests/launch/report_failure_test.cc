// A report that cannot be written, at each of its lines: the launch and the stop end with
// ReportFailed, and the record and the children stay as the steps before left them.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <gtest/gtest.h>

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
    EXPECT_TRUE(test::end_recorded_children(record));
  }
}

// A slow reader of the report holds up no other launch or stop: the lock is gone by then.
TEST_F(ReportFailure, NotHeldUpByTheLock) {
  class LockProbe final : public OutputStream {
   public:
    explicit LockProbe(std::string dir) : dir_(std::move(dir)) {}
    std::expected<void, SystemError> write(std::string_view) override {
      const int fd = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      free = free && fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
      ::close(fd);
      return {};
    }
    bool free = true;

   private:
    std::string dir_;
  } probe(dir / "run/launch");
  ASSERT_TRUE(launch(probe));
  EXPECT_TRUE(probe.free) << "the report was written under the lock";
  EXPECT_TRUE(test::end_recorded_children(record));
}

TEST_F(ReportFailure, AtEachLineOfTheStop) {
  test::make_launch_dir(dir / "run");
  for (int good = 0; good < 2; ++good) {
    SCOPED_TRACE(good);
    const pid_t bridge = test::spawn_recorded_bridge(dir, record, 7, 20);
    const std::string entry = dir / "proc/" + std::to_string(bridge);
    ASSERT_EQ(::symlink(("/proc/" + std::to_string(bridge)).c_str(), entry.c_str()), 0);
    test::StringOutputStream out(good);
    const auto stopped = run_stop(paths, dirs, out);
    ASSERT_FALSE(stopped.has_value());
    EXPECT_EQ(message_of(stopped.error()), broken_pipe);
    // The first line comes before the removal, the second after it.
    EXPECT_EQ(test::exists(record), good == 0);
    int status = 0;
    ASSERT_EQ(::waitpid(bridge, &status, 0), bridge);
    EXPECT_TRUE(test::ended_by_sigterm(status)) << "not ended by the SIGTERM";
  }
}

}  // namespace
}  // namespace qs
