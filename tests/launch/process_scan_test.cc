#include "launch/process_scan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/join.h"
#include "launch/child_process.h"
#include "support/as_user.h"
#include "support/fake_report.h"
#include "support/temp_dir.h"

namespace qs {
namespace {

std::string scan(const std::string& root) {
  const auto found = find_soffice_processes(root, ::geteuid());
  if (!found) return message_of(found.error());
  return join(
      *found, [](std::uint32_t pid) { return std::to_string(pid); }, ",");
}

TEST(FindSofficeProcesses, ReadsAFakeProcessTable) {
  test::TempDir proc;
  const auto entry = [&](const std::string& name, const std::string& comm) {
    test::make_dir(proc / name, 0555);
    ::chmod((proc / name).c_str(), 0755);
    test::write_file(proc / name + "/comm", comm, 0444);
  };
  entry("3000", "soffice.bin\n");
  entry("120", "soffice.bin");
  entry("+12", " \tsoffice.bin \r\n");
  entry("4294967295", "soffice.bin\f");
  entry("4294967296", "soffice.bin\n");  // beyond 32 bits: no process entry
  entry("abc", "soffice.bin\n");
  entry("7", "soffice\n");
  entry("8", "soffice.bin2\n");
  entry("9", "Soffice.bin\n");
  entry("10", "soffice.bin\v");  // a vertical tab is no white space
  test::make_dir(proc / "11");   // comm vanished
  test::make_dir(proc / "13");
  test::write_file(proc / "real-comm", "soffice.bin\n");
  ASSERT_EQ(::symlink((proc / "real-comm").c_str(), (proc / "13/comm").c_str()), 0);
  test::write_file(proc / "16", "soffice.bin\n");  // an entry that is no directory
  test::make_dir(proc / "15");                     // comm too long
  test::write_file(proc / "15/comm", "soffice.bin" + std::string(70000, ' '));
  EXPECT_EQ(scan(proc.path()), "12,120,3000,4294967295");
}

TEST(FindSofficeProcesses, CountsOnlyTheCurrentUsersProcesses) {
  if (!test::running_as_root()) GTEST_SKIP() << "needs root to give entries to another user";
  test::TempDir proc;
  ::chmod(proc.path().c_str(), 0755);
  for (const char* name : {"100", "200"}) {
    test::make_dir(proc / name, 0755);
    test::write_file(proc / name + "/comm", "soffice.bin\n", 0644);
  }
  ASSERT_EQ(::chown((proc / "200").c_str(), test::kNobody, test::kNobody), 0);
  EXPECT_EQ(scan(proc.path()), "100");
  EXPECT_EQ(test::as_user(test::kNobody, [&] { return scan(proc.path()); }), "200");
}

TEST(FindSofficeProcesses, AMissingProcessTableCannotBeListed) {
  for (auto [root, code] : {std::pair{"/nonexistent-proc", ENOENT}, {"/dev/null", ENOTDIR}}) {
    EXPECT_EQ(
        scan(root),
        message_of(LauncherError{LauncherError::ListProcesses{SystemError::from_errno(code)}}));
  }
}

TEST(FindSofficeProcesses, FindsARealProcessNamedSofficeBin) {
  test::TempDir dir;
  const std::string named = dir / "soffice.bin";
  ASSERT_EQ(::symlink(QS_FAKE_PROGRAM, named.c_str()), 0);
  const auto pid =
      spawn_child({named, {}, "/", {{"HOME", dir.path()}, {"QS_FAKE_LIFETIME", "30"}}});
  ASSERT_TRUE(pid.has_value());
  // The kernel lets posix_spawn return a moment before the new name is in place.
  const bool seen = test::eventually([&] {
    const auto found = find_soffice_processes("/proc", ::geteuid());
    return found && std::find(found->begin(), found->end(), *pid) != found->end();
  });
  test::kill_process(static_cast<pid_t>(*pid));
  EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace qs
