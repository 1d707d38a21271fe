#include "launch/launch_directory.h"

#include "base/path.h"
#include "files/private_dir.h"

namespace qs {

std::string launch_record_path(std::string_view runtime_dir) {
  return join_path(join_path(runtime_dir, kLaunchDirectoryName), kLaunchRecordName);
}

[[nodiscard]] std::expected<LaunchDirectory, LauncherError> LaunchDirectory::lock(
    std::string_view runtime_dir) {
  std::string path = join_path(runtime_dir, kLaunchDirectoryName);
  auto lock = DirectoryLock::acquire(path, kLaunchLockPatience);
  if (!lock) return fail(LauncherError::File{std::move(lock.error())});
  if (!*lock) return fail(LauncherError::Busy{launch_record_path(runtime_dir)});
  LaunchDirectory directory(std::move(**lock), std::move(path));
  PendingFile::remove_leftover(directory.locked(), kLaunchRecordName);
  return directory;
}

[[nodiscard]] std::expected<LaunchDirectory, LauncherError> LaunchDirectory::prepare_and_lock(
    std::string_view runtime_dir, uid_t user) {
  for (const std::string& dir :
       {std::string(runtime_dir), join_path(runtime_dir, kLaunchDirectoryName)}) {
    if (auto ensured = ensure_private_dir(dir, user); !ensured) {
      return fail(LauncherError::File{std::move(ensured.error())});
    }
  }
  return lock(runtime_dir);
}

[[nodiscard]] std::expected<std::optional<LaunchRecord>, LauncherError>
LaunchDirectory::read_record() const {
  return read_launch_record(locked(), kLaunchRecordName);
}

[[nodiscard]] std::expected<PendingFile, LauncherError> LaunchDirectory::make_record_room(
    std::string_view largest_record) const {
  auto room = PendingFile::create(locked(), kLaunchRecordName, largest_record);
  if (!room) return fail(LauncherError::File{std::move(room.error())});
  return std::move(*room);
}

[[nodiscard]] std::expected<void, LauncherError> LaunchDirectory::remove_record() const {
  if (auto removed = remove_file_at(locked(), kLaunchRecordName); !removed) {
    return fail(LauncherError::File{std::move(removed.error())});
  }
  return {};
}

}  // namespace qs
