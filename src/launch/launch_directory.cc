#include "launch/launch_directory.h"

#include "base/path.h"
#include "files/private_dir.h"

namespace qs {

std::string launch_record_path(std::string_view runtime_dir) {
  return join_path(join_path(runtime_dir, kLaunchDirectoryName), "libreoffice.pids");
}

[[nodiscard]] std::expected<LaunchDirectory, LauncherError> LaunchDirectory::lock(
    std::string_view runtime_dir) {
  auto lock =
      DirectoryLock::acquire(join_path(runtime_dir, kLaunchDirectoryName), kLaunchLockPatience);
  if (!lock) return fail(LauncherError::File{std::move(lock.error())});
  std::string record_path = launch_record_path(runtime_dir);
  if (!*lock) return fail(LauncherError::Busy{std::move(record_path)});
  LaunchDirectory directory(std::move(**lock), std::move(record_path));
  PendingFile::remove_leftover(directory.lock_.fd(), directory.record_path_);
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
  return read_launch_record(record_path_, lock_.fd());
}

[[nodiscard]] std::expected<PendingFile, LauncherError> LaunchDirectory::make_record_room(
    std::string_view bridge_file) const {
  auto room = PendingFile::create(lock_.fd(), record_path_, largest_launch_record(bridge_file));
  if (!room) return fail(LauncherError::File{std::move(room.error())});
  return std::move(*room);
}

[[nodiscard]] std::expected<void, LauncherError> LaunchDirectory::remove_record() const {
  if (auto removed = remove_file_if_present(record_path_, lock_.fd()); !removed) {
    return fail(LauncherError::File{std::move(removed.error())});
  }
  return {};
}

}  // namespace qs
