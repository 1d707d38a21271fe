#pragma once

#include <sys/types.h>

#include <chrono>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "base/path.h"
#include "cli/launcher_error.h"
#include "files/directory_lock.h"
#include "files/guarded_file.h"
#include "launch/launch_record.h"

namespace qs {

// The folder of runtime_dir that holds the record, and the record's name there.
inline constexpr std::string_view kLaunchDirectoryName = "launch";
inline constexpr std::string_view kLaunchRecordName = "libreoffice.pids";

// runtime_dir/launch/libreoffice.pids
std::string launch_record_path(std::string_view runtime_dir);

// How long a launch or a stop waits for another one of the same user; the holder normally
// needs milliseconds.
inline constexpr std::chrono::milliseconds kLaunchLockPatience{5000};

// runtime_dir/launch, locked: the one way to the record. The launches and stops of one user
// hold it one at a time and reach the record only through the directory they locked, so a
// directory replaced at that path meanwhile never makes them trust, replace or remove the
// record of another.
class LaunchDirectory {
 public:
  // Busy when another launch or stop keeps it past the patience above. What a launcher killed
  // while it wrote a record left behind under a temporary name is removed, never read. The stop
  // comes in this way, which creates nothing: no launch directory is a File error of NotFound.
  [[nodiscard]] static std::expected<LaunchDirectory, LauncherError> lock(
      std::string_view runtime_dir);

  // The launch's way in: runtime_dir and the launch directory are made private first, and
  // created where missing.
  [[nodiscard]] static std::expected<LaunchDirectory, LauncherError> prepare_and_lock(
      std::string_view runtime_dir, uid_t user);

  std::string record_path() const { return join_path(path_, kLaunchRecordName); }

  [[nodiscard]] std::expected<std::optional<LaunchRecord>, LauncherError> read_record() const;

  // The room of `largest_record` (AdmittedBridgeFile's), taken now; the record goes in place
  // through it. It must not outlive the directory.
  [[nodiscard]] std::expected<PendingFile, LauncherError> make_record_room(
      std::string_view largest_record) const;

  [[nodiscard]] std::expected<void, LauncherError> remove_record() const;

 private:
  LaunchDirectory(DirectoryLock lock, std::string path)
      : lock_(std::move(lock)), path_(std::move(path)) {}
  DirectoryRef locked() const { return {lock_.fd(), path_}; }

  DirectoryLock lock_;
  std::string path_;
};

}  // namespace qs
