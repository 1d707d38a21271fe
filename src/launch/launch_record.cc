#include "launch/launch_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "base/path.h"
#include "base/utf8.h"
#include "files/guarded_file.h"
#include "launch/proc_file.h"
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
    record.soffice_pid = *pid;
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

// A command-line argument as the record gives it back once written and read: invalid UTF-8
// replaced, and a final carriage return lost to the CR LF line terminator.
std::string as_read_back(std::string_view argument) {
  std::string text = lossy_utf8(argument);
  if (text.ends_with('\r')) text.pop_back();
  return text;
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

std::string launch_record_path(std::string_view runtime_dir) {
  return join_path(join_path(runtime_dir, kLaunchDirectoryName), "libreoffice.pids");
}

[[nodiscard]] std::expected<std::optional<LaunchRecord>, LauncherError> read_launch_record(
    std::string_view path, int dir_fd) {
  auto text = read_private_file(path, kLaunchRecordLimit, ::geteuid(), dir_fd);
  if (!text) {
    if (text.error().kind == FileSafetyError::Kind::NotFound) return std::nullopt;
    return std::unexpected(LauncherError{LauncherError::File{std::move(text.error())}});
  }
  auto record = parse_launch_record(*text);
  if (!record) return std::unexpected(LauncherError{LauncherError::BadRecord{std::string(path)}});
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

[[nodiscard]] std::expected<void, LauncherError> write_launch_record(std::string_view path,
                                                                     const LaunchRecord& record) {
  auto written = write_private_file(path, format_launch_record(record));
  if (!written)
    return std::unexpected(LauncherError{LauncherError::File{std::move(written.error())}});
  return {};
}

std::string largest_launch_record(std::string_view bridge_file) {
  constexpr std::uint32_t widest = 4294967295;
  return format_launch_record({widest, RecordedBridge{widest, std::string(bridge_file)}});
}

[[nodiscard]] std::expected<bool, LauncherError> cmdline_contains(std::string_view proc_root,
                                                                  std::uint32_t pid,
                                                                  std::string_view text) {
  const std::string entry = join_path(proc_root, std::to_string(pid));
  const auto cmdline = read_proc_file(AT_FDCWD, join_path(entry, "cmdline"), ::geteuid());
  if (!cmdline) {
    const int code = cmdline.error().code;
    if (code == EACCES || code == EPERM) {  // the user's process, which still runs
      return fail(LauncherError::ProcessCheckFailed{pid, cmdline.error()});
    }
    return fail(LauncherError::ListProcesses{cmdline.error()});
  }
  if (!*cmdline) return false;
  std::string_view rest = **cmdline;
  for (;;) {
    const std::size_t nul = rest.find('\0');
    const std::string_view argument = rest.substr(0, nul);
    // Compare each argument as the record would give it back, or a bridge started from a path
    // that is not UTF-8 or ends in a carriage return would never be recognised again.
    if (argument == text || as_read_back(argument) == text) return true;
    if (nul == std::string_view::npos) return false;
    rest.remove_prefix(nul + 1);
  }
}

}  // namespace qs
