#include "launch/launch_record.h"

#include <unistd.h>

#include "base/path.h"
#include "base/utf8.h"
#include "launch/process_id.h"

namespace qs {
namespace {

// The two line forms begin with these words, the space after them included.
constexpr std::string_view kSofficeLine = "soffice ";
constexpr std::string_view kBridgeLine = "bridge ";

// Applies one line to `record`; false when the line has neither form.
bool apply_line(std::string_view line, LaunchRecord& record) {
  if (line.starts_with(kSofficeLine)) {
    const auto pid = parse_process_id(line.substr(kSofficeLine.size()));
    if (!pid) return false;
    record.soffice_pid = pid;
    return true;
  }
  if (line.starts_with(kBridgeLine)) {
    const std::string_view rest = line.substr(kBridgeLine.size());
    const std::size_t space = rest.find(' ');
    if (space == std::string_view::npos) return false;
    const auto pid = parse_process_id(rest.substr(0, space));
    const std::string_view path = rest.substr(space + 1);
    if (!pid || !path.starts_with('/')) return false;
    record.bridge = RecordedBridge{*pid, std::string(path)};
    return true;
  }
  return false;
}

}  // namespace

std::optional<LaunchRecord> parse_launch_record(std::string_view text) {
  if (!is_valid_utf8(text)) return std::nullopt;
  LaunchRecord record;
  while (!text.empty()) {
    const std::size_t feed = text.find('\n');
    std::string_view line = text.substr(0, feed);
    if (feed != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
    if (!apply_line(line, record)) return std::nullopt;
    text = feed == std::string_view::npos ? std::string_view() : text.substr(feed + 1);
  }
  return record;
}

[[nodiscard]] std::expected<std::optional<LaunchRecord>, LauncherError> read_launch_record(
    const DirectoryRef& dir, std::string_view name) {
  auto text = read_private_file_at(dir, name, kLaunchRecordLimit, ::geteuid());
  if (!text) {
    if (text.error().is<FileSafetyError::NotFound>()) return std::nullopt;
    return fail(LauncherError::File{std::move(text.error())});
  }
  auto record = parse_launch_record(*text);
  if (!record) return fail(LauncherError::BadRecord{join_path(dir.path, name)});
  return record;
}

std::string format_launch_record(const LaunchRecord& record) {
  std::string text;
  if (record.soffice_pid) {
    text.append(kSofficeLine).append(std::to_string(*record.soffice_pid)).append("\n");
  }
  if (record.bridge) {
    text.append(kBridgeLine).append(std::to_string(record.bridge->bridge_pid)).append(" ");
    text.append(lossy_utf8(record.bridge->bridge_file)).append("\n");
  }
  return text;
}

[[nodiscard]] std::expected<void, FileSafetyError> write_launch_record(PendingFile room,
                                                                       const LaunchRecord& record) {
  return write_private_file(std::move(room), format_launch_record(record));
}

std::string largest_launch_record(std::string_view bridge_file) {
  constexpr std::uint32_t widest = 4294967295;
  return format_launch_record({widest, RecordedBridge{widest, std::string(bridge_file)}});
}

}  // namespace qs
