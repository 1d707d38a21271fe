#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "cli/launcher_error.h"
#include "files/guarded_file.h"

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

// The record `name` of `dir`; none when the file does not exist.
[[nodiscard]] std::expected<std::optional<LaunchRecord>, LauncherError> read_launch_record(
    const DirectoryRef& dir, std::string_view name);

// The record's text to a LaunchRecord; nothing when it is malformed.
std::optional<LaunchRecord> parse_launch_record(std::string_view text);

// "soffice {pid}\n" then "bridge {pid} {path}\n"; a path that is not UTF-8 is written lossily.
std::string format_launch_record(const LaunchRecord& record);

// Puts the text of format_launch_record in place through `room`, the room of the record that
// LaunchDirectory::make_record_room took before anything started.
[[nodiscard]] std::expected<void, FileSafetyError> write_launch_record(PendingFile room,
                                                                       const LaunchRecord& record);

// The text of the largest record a launch of `bridge_file` can write: the room it takes before
// anything starts.
std::string largest_launch_record(std::string_view bridge_file);

}  // namespace qs
