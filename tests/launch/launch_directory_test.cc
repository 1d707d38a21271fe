// The locked launch directory is the one way to the record: a directory put at its path while
// a launch or a stop holds it is never the one read, written or cleared.
#include "launch/launch_directory.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace qs {
namespace {

TEST(LaunchDirectory, ReachesTheRecordOnlyThroughTheDirectoryItLocked) {
  test::TempDir dir;
  const std::string run = dir / "run";
  auto locked = LaunchDirectory::prepare_and_lock(run, ::geteuid());
  ASSERT_TRUE(locked);
  test::write_file(locked->record_path(), "soffice 1\n");
  ASSERT_EQ(::rename((run + "/launch").c_str(), (run + "/launch.old").c_str()), 0);
  test::make_dir(run + "/launch");
  test::write_file(locked->record_path(), "soffice 2\n");

  const auto read = locked->read_record();
  ASSERT_TRUE(read && *read);
  EXPECT_EQ((*read)->soffice_pid, 1u);
  auto room = locked->make_record_room("soffice 3\n");
  ASSERT_TRUE(room);
  ASSERT_TRUE(write_launch_record(std::move(*room), {3, std::nullopt}));
  EXPECT_EQ(test::read_file(run + "/launch.old/libreoffice.pids"), "soffice 3\n");
  ASSERT_TRUE(locked->remove_record());
  EXPECT_FALSE(test::exists(run + "/launch.old/libreoffice.pids"));
  EXPECT_EQ(test::read_file(locked->record_path()), "soffice 2\n");
}

}  // namespace
}  // namespace qs
