#include "launch/run_stop.h"

#include <signal.h>

#include <string>

#include "launch/launch_directory.h"
#include "launch/proc_file.h"
#include "launch/process_handle.h"
#include "launch/report.h"

namespace qs {
namespace {

[[nodiscard]] std::expected<bool, LauncherError> runs_bridge(const SystemPaths& paths,
                                                             const RecordedBridge& bridge) {
  return runs_bridge_file(paths.proc_root, bridge.bridge_pid, paths.python_program,
                          bridge.bridge_file);
}

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
    auto runs = runs_bridge(paths, bridge);
    if (!runs) return std::unexpected(std::move(runs.error()));
    return *runs ? fail(LauncherError::BadRecord{path}) : gone();
  }
  // Held before the check, so that the signal reaches the process that was checked: if it
  // ends meanwhile and its id is reused, the check read another process and `exists` says so.
  const auto cannot_look = [&](SystemError error) {
    return fail(LauncherError::ProcessCheckFailed{bridge.bridge_pid, error});
  };
  auto handle = ProcessHandle::open(static_cast<pid_t>(signed_pid));
  if (!handle) return cannot_look(handle.error());
  if (!*handle) return gone();
  auto runs = runs_bridge(paths, bridge);
  if (!runs) return std::unexpected(std::move(runs.error()));
  if (!*runs) return gone();
  auto exists = (*handle)->exists();
  if (!exists) return cannot_look(exists.error());
  if (!*exists) return gone();
  if (auto sent = (*handle)->send(SIGTERM); !sent) {
    // Ended on its own since the look above: what the stop was to bring about.
    if (sent.error() == SystemError::from_errno(ESRCH)) return gone();
    return fail(LauncherError::SignalFailed{bridge.bridge_pid, sent.error()});
  }
  return write_report_line(out, "bridge stopped (process " + pid_text + ")");
}

// Reads the record, deals with its bridge and removes it, under the launch directory's lock: a
// launch that runs meanwhile waits, so the record removed is always the one read. Nothing when
// no launch is recorded.
[[nodiscard]] std::expected<std::optional<LaunchRecord>, LauncherError> forget_launch(
    const SystemPaths& paths, std::string_view runtime_dir, OutputStream& out) {
  auto directory = LaunchDirectory::lock(runtime_dir);
  if (!directory) {
    // The stop creates nothing: without the launch directory no launch is recorded.
    const auto* file = std::get_if<LauncherError::File>(&directory.error().kind);
    if (file != nullptr && file->error.is<FileSafetyError::NotFound>()) {
      return std::nullopt;
    }
    return std::unexpected(std::move(directory.error()));
  }
  const std::string path = directory->record_path();
  auto record = directory->read_record();
  if (!record || !*record) return record;
  const LaunchRecord& recorded = **record;
  auto dealt = recorded.bridge
                   ? stop_bridge(paths, path, *recorded.bridge, out)
                   : write_report_line(out, "no bridge is recorded: nothing was signalled");
  if (!dealt) return std::unexpected(std::move(dealt.error()));
  if (auto removed = directory->remove_record(); !removed) {
    return std::unexpected(std::move(removed.error()));
  }
  return record;
}

}  // namespace

[[nodiscard]] std::expected<void, LauncherError> run_stop(const SystemPaths& paths,
                                                          const BaseDirs& dirs, OutputStream& out) {
  if (!dirs.runtime_dir)
    return fail(LauncherError::Config{ConfigError::message(kNoRuntimeDirMessage)});
  auto forgotten = forget_launch(paths, *dirs.runtime_dir, out);
  if (!forgotten) return std::unexpected(std::move(forgotten.error()));
  if (!*forgotten) return write_report_line(out, "nothing to stop: no launch is recorded");
  const LaunchRecord& recorded = **forgotten;
  const std::string name =
      recorded.soffice_pid ? "LibreOffice (process " + std::to_string(*recorded.soffice_pid) + ")"
                           : std::string("LibreOffice");
  return write_report_line(out, name + " was left running: close it yourself when you are done");
}

}  // namespace qs
