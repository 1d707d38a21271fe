#pragma once

#include <fcntl.h>

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "cli/launcher_error.h"

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

// What the reader takes; no launch writes more (a bridge path that would need more is refused).
inline constexpr std::uint64_t kLaunchRecordLimit = 4096;

// The folder of runtime_dir that holds the record.
inline constexpr std::string_view kLaunchDirectoryName = "launch";

// runtime_dir/launch/libreoffice.pids
std::string launch_record_path(std::string_view runtime_dir);

// No record when the file does not exist. `dir_fd`, where given, is the open directory of
// `path` through which the file is read.
[[nodiscard]] std::expected<std::optional<LaunchRecord>, LauncherError> read_launch_record(
    std::string_view path, int dir_fd = AT_FDCWD);

// The record's text to a LaunchRecord; nothing when it is malformed.
std::optional<LaunchRecord> parse_launch_record(std::string_view text);

// "soffice {pid}\n" then "bridge {pid} {path}\n"; a path that is not UTF-8 is written lossily.
std::string format_launch_record(const LaunchRecord& record);

[[nodiscard]] std::expected<void, LauncherError> write_launch_record(std::string_view path,
                                                                     const LaunchRecord& record);

// The text of the largest record a launch of `bridge_file` can write: the room it takes before
// anything starts.
std::string largest_launch_record(std::string_view bridge_file);

// Whether process `pid` runs with `text` as one of its arguments, each argument taken as the
// record gives a path back (invalid UTF-8 as U+FFFD, a final carriage return dropped). A process
// that has ended or is another user's is a no; a failure of the launcher's own to read it is
// ListProcesses, and a process of the user's whose command line is refused (a security module
// confining it) is ProcessCheckFailed: neither is a no, which would forget a running bridge.
[[nodiscard]] std::expected<bool, LauncherError> cmdline_contains(std::string_view proc_root,
                                                                  std::uint32_t pid,
                                                                  std::string_view text);

}  // namespace qs
