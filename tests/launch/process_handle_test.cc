#include "launch/process_handle.h"

#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "launch/child_process.h"
#include "support/fake_report.h"

namespace qs {
namespace {

// A handle stays with the process it opened: once that process is gone, it neither reports it
// alive nor signals anything, whatever now holds the id.
TEST(ProcessHandle, StaysWithTheProcessItOpened) {
  const auto pid = spawn_child({"/bin/sleep", {"30"}, "/", {}});
  ASSERT_TRUE(pid);
  auto handle = ProcessHandle::open(static_cast<pid_t>(*pid));
  ASSERT_TRUE(handle && *handle);
  EXPECT_EQ((*handle)->exists(), true);
  test::kill_process(static_cast<pid_t>(*pid));
  ::waitpid(static_cast<pid_t>(*pid), nullptr, 0);
  EXPECT_EQ((*handle)->exists(), false);
  EXPECT_EQ((*handle)->send(SIGTERM), std::unexpected(SystemError::from_errno(ESRCH)));
  const auto reopened = ProcessHandle::open(static_cast<pid_t>(*pid));
  ASSERT_TRUE(reopened);
  EXPECT_FALSE(*reopened);
}

}  // namespace
}  // namespace qs
