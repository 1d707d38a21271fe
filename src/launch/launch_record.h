#pragma once

#include <chrono>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "cli/launcher_error.h"
#include "files/directory_lock.h"

namespace qs {

struct RecordedBridge {
  std::uint32_t bridge_pid = 0;
  std::string bridge_file;  // absolute
  friend bool operator==(const RecordedBridge&, const RecordedBridge&) = default;
};

// What the last launch started.
struct LaunchRecord {
  std::optional<std::uint32_t> soffice_pid;
  std::optional<RecordedBridge> bridge;
  friend bool operator==(const LaunchRecord&, const LaunchRecord&) = default;
};

inline constexpr std::uint64_t kLaunchRecordLimit = 4096;

// runtime_dir/launch/libreoffice.pids
std::string launch_record_path(std::string_view runtime_dir);

// No record when the file does not exist.
[[nodiscard]] std::expected<std::optional<LaunchRecord>, LauncherError> read_launch_record(
    std::string_view path);

// The record's text to a LaunchRecord; nothing when it is malformed.
std::optional<LaunchRecord> parse_launch_record(std::string_view text);

// "soffice {pid}\n" then "bridge {pid} {path}\n"; a path that is not UTF-8 is written lossily.
std::string format_launch_record(const LaunchRecord& record);

[[nodiscard]] std::expected<void, LauncherError> write_launch_record(std::string_view path,
                                                                     const LaunchRecord& record);

// The text of the largest record a launch of `bridge_file` can write: the room it takes before
// anything starts.
std::string largest_launch_record(std::string_view bridge_file);

// How long a launch or a stop waits for another one of the same user; the holder normally
// needs milliseconds.
inline constexpr std::chrono::milliseconds kLaunchLockPatience{5000};

// runtime_dir/launch, locked: the launches and stops of one user read and change the record one
// at a time. Busy when another one keeps it past the patience above.
[[nodiscard]] std::expected<DirectoryLock, LauncherError> lock_launch_directory(
    std::string_view runtime_dir);

// Whether process `pid` runs with `text` as one of its arguments, each argument taken as the
// record gives a path back (invalid UTF-8 as U+FFFD, a final carriage return dropped). A process
// that has ended or is not ours to read is a no; a failure of the launcher's own to read it is
// ListProcesses, never a no.
[[nodiscard]] std::expected<bool, LauncherError> cmdline_contains(std::string_view proc_root,
                                                                  std::uint32_t pid,
                                                                  std::string_view text);

}  // namespace qs
