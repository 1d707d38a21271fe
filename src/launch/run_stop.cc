#include "launch/run_stop.h"

#include <signal.h>

#include <string>

#include "files/guarded_file.h"
#include "launch/launch_record.h"
#include "launch/process_handle.h"
#include "launch/report.h"

namespace qs {
namespace {

// Signals the recorded bridge if it still runs the recorded script; never a process group,
// never anything but one SIGTERM.
[[nodiscard]] std::expected<void, LauncherError> stop_bridge(const SystemPaths& paths,
                                                             const std::string& path,
                                                             const RecordedBridge& bridge,
                                                             OutputStream& out) {
  const std::string pid_text = std::to_string(bridge.bridge_pid);
  const auto gone = [&] {
    return write_report_line(
        out, "the bridge (process " + pid_text + ") is no longer running: nothing was signalled");
  };
  // kill() reads 0 and negative ids as process groups; such an id in the record is malformed.
  const auto signed_pid = static_cast<std::int32_t>(bridge.bridge_pid);
  if (signed_pid < 1) {
    auto runs = cmdline_contains(paths.proc_root, bridge.bridge_pid, bridge.bridge_file);
    if (!runs) return std::unexpected(std::move(runs.error()));
    return *runs ? fail(LauncherError::BadRecord{path}) : gone();
  }
  // Held before the check, so that the signal reaches the process that was checked: if it
  // ends meanwhile and its id is reused, the check read another process and `exists` says so.
  auto handle = ProcessHandle::open(static_cast<pid_t>(signed_pid));
  if (!handle) return fail(LauncherError::ListProcesses{handle.error()});
  if (!*handle) return gone();
  auto runs = cmdline_contains(paths.proc_root, bridge.bridge_pid, bridge.bridge_file);
  if (!runs) return std::unexpected(std::move(runs.error()));
  if (!*runs) return gone();
  auto exists = (*handle)->exists();
  if (!exists) return fail(LauncherError::ListProcesses{exists.error()});
  if (!*exists) return gone();
  if (auto sent = (*handle)->send(SIGTERM); !sent) {
    return fail(LauncherError::SignalFailed{bridge.bridge_pid, sent.error()});
  }
  return write_report_line(out, "bridge stopped (process " + pid_text + ")");
}

}  // namespace

[[nodiscard]] std::expected<void, LauncherError> run_stop(const SystemPaths& paths,
                                                          const BaseDirs& dirs, OutputStream& out) {
  if (!dirs.runtime_dir)
    return fail(LauncherError::Config{ConfigError::message(kNoRuntimeDirMessage)});
  const std::string path = launch_record_path(*dirs.runtime_dir);
  auto record = read_launch_record(path);
  if (!record) return std::unexpected(std::move(record.error()));
  if (!*record) return write_report_line(out, "nothing to stop: no launch is recorded");

  const LaunchRecord& recorded = **record;
  auto dealt = recorded.bridge
                   ? stop_bridge(paths, path, *recorded.bridge, out)
                   : write_report_line(out, "no bridge is recorded: nothing was signalled");
  if (!dealt) return dealt;
  if (auto removed = remove_file_if_present(path); !removed) {
    return fail(LauncherError::File{std::move(removed.error())});
  }
  const std::string name =
      recorded.soffice_pid ? "LibreOffice (process " + std::to_string(*recorded.soffice_pid) + ")"
                           : std::string("LibreOffice");
  return write_report_line(out, name + " was left running: close it yourself when you are done");
}

}  // namespace qs
