#include "launch/run_launch.h"

#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "base/program.h"
#include "config/libreoffice_targets.h"
#include "config/raw_config.h"
#include "config/validated_config.h"
#include "files/token_path.h"
#include "launch/bridge_file.h"
#include "launch/child_process.h"
#include "launch/launch_directory.h"
#include "launch/launch_record.h"
#include "launch/port_check.h"
#include "launch/proc_file.h"
#include "launch/process_scan.h"
#include "launch/report.h"
#include "launch/signal_hold.h"

namespace qs {
namespace {

[[nodiscard]] std::expected<BridgeSettings, LauncherError> settings_from_config(
    const BaseDirs& dirs, std::string_view bridge_file, uid_t user) {
  auto raw = load_config(dirs.config_dir, user);
  if (!raw) return fail(LauncherError::Config{std::move(raw.error())});
  auto config = validate_config(*raw);
  if (!config) return fail(LauncherError::Config{std::move(config.error())});
  auto targets = select_libreoffice_targets(*config);
  if (!targets) {
    return std::unexpected(
        std::visit([](auto error) { return LauncherError{std::move(error)}; }, targets.error()));
  }
  return BridgeSettings{.bridge_file = std::string(bridge_file),
                        .token_path = token_path(dirs.config_dir),
                        .uno_port = targets->uno_port,
                        .bridge_port = targets->bridge_port};
}

// Refuses while the bridge of an earlier launch or any LibreOffice of the user runs: the
// launcher never attaches to an instance that may hold unsaved work.
[[nodiscard]] std::expected<void, LauncherError> refuse_running(const SystemPaths& paths,
                                                                const LaunchDirectory& directory,
                                                                std::uint16_t uno_port,
                                                                uid_t user) {
  auto earlier = directory.read_record();
  if (!earlier) return std::unexpected(std::move(earlier.error()));
  if (*earlier && (*earlier)->bridge) {
    const RecordedBridge& bridge = *(*earlier)->bridge;
    auto runs = runs_bridge_file(paths.proc_root, bridge.bridge_pid, paths.python_program,
                                 bridge.bridge_file);
    if (!runs) return std::unexpected(std::move(runs.error()));
    if (*runs) return fail(LauncherError::BridgeStillRunning{bridge.bridge_pid});
  }
  auto running = find_soffice_processes(paths.proc_root, user);
  if (!running) return std::unexpected(std::move(running.error()));
  if (!running->empty()) return fail(LauncherError::AlreadyRunning{uno_port, std::move(*running)});
  return {};
}

// A port where another program listens would give the hub that program instead of ours: a
// LibreOffice of another user, say, which the process scan cannot see. A port taken between
// this check and LibreOffice's own bind is the race that remains.
[[nodiscard]] std::expected<void, LauncherError> refuse_taken_ports(
    const BridgeSettings& settings) {
  const std::pair<std::uint16_t, PortKey> ports[] = {{settings.uno_port, PortKey::UnoPort},
                                                     {settings.bridge_port, PortKey::BridgePort}};
  for (const auto& [port, key] : ports) {
    auto taken = loopback_port_taken(port);
    if (!taken) return fail(LauncherError::PortCheckFailed{port, taken.error()});
    if (*taken) return fail(LauncherError::PortTaken{port, key});
  }
  return {};
}

// posix_spawn returns once the child's exec is under way: a moment before its command line is in
// place, and even before the child has left the memory it shares with us, when its command line
// still reads as ours (which names the bridge file, but not after the interpreter). A stop or
// launch that read the record then would not recognise the bridge: it would forget it, or start
// a second LibreOffice. Waits until the child's command line runs the bridge file (microseconds,
// more under load), or for the bridge to have ended, at most a second. The bridge is our own
// child, so the real process table is asked, whatever table the checks of earlier processes read.
void await_command_line(std::uint32_t pid, std::string_view python_program,
                        const std::string& bridge_file) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  const auto in_place = [&] {
    const auto runs = runs_bridge_file(SystemPaths{}.proc_root, pid, python_program, bridge_file);
    return runs && *runs;
  };
  while (!in_place()) {
    siginfo_t ended{};
    if (::waitid(P_PID, pid, &ended, WEXITED | WNOHANG | WNOWAIT) != 0 || ended.si_pid != 0 ||
        std::chrono::steady_clock::now() > deadline) {
      return;
    }
    const timespec pause{0, 50000};
    (void)::nanosleep(&pause, nullptr);
  }
}

struct Started {
  std::uint32_t soffice_pid = 0;
  std::uint32_t bridge_pid = 0;
};

// Starts both children and records them, holding the launch directory's lock throughout and the
// termination signals from the first start until the record is in place.
[[nodiscard]] std::expected<Started, LauncherError> start_and_record(const SystemPaths& paths,
                                                                     const BridgeSettings& settings,
                                                                     const EnvSnapshot& env,
                                                                     PendingFile record) {
  const SignalHold hold;
  const sigset_t* given = &hold.given_mask();
  auto soffice =
      spawn_child(make_soffice_spec(paths.soffice_program, settings.uno_port, env), given);
  if (!soffice) return fail(std::move(soffice.error()));
  auto bridge = spawn_child(make_bridge_spec(paths.python_program, settings, env), given);
  if (!bridge) {
    // The record still tells the next launch and the stop which LibreOffice this was; the
    // failure to write it would hide the more important message, so it is dropped.
    (void)write_launch_record(std::move(record), {*soffice, std::nullopt});
    return fail(LauncherError::LeftRunning{*soffice, std::move(bridge.error())});
  }
  await_command_line(*bridge, paths.python_program, settings.bridge_file);
  const LaunchRecord launched{*soffice, RecordedBridge{*bridge, settings.bridge_file}};
  if (auto placed = write_launch_record(std::move(record), launched); !placed) {
    return fail(LauncherError::LeftUnrecorded{std::move(placed.error()), *soffice, *bridge});
  }
  return Started{*soffice, *bridge};
}

// Everything from the earlier record to the new one, under the launch directory's lock: two
// launches cannot both find the way clear, and a stop cannot remove a record it did not read.
[[nodiscard]] std::expected<Started, LauncherError> launch_locked(
    const SystemPaths& paths, const BaseDirs& dirs, const BridgeSettings& settings,
    std::string_view largest_record, const EnvSnapshot& env, uid_t user) {
  if (!dirs.runtime_dir)
    return fail(LauncherError::Config{ConfigError::message(kNoRuntimeDirMessage)});
  auto directory = LaunchDirectory::prepare_and_lock(*dirs.runtime_dir, user);
  if (!directory) return std::unexpected(std::move(directory.error()));
  if (auto refused = refuse_running(paths, *directory, settings.uno_port, user); !refused) {
    return std::unexpected(std::move(refused.error()));
  }
  if (auto refused = refuse_taken_ports(settings); !refused) {
    return std::unexpected(std::move(refused.error()));
  }
  // The room for the record is taken before anything starts: a full file system refuses here.
  auto record = directory->make_record_room(largest_record);
  if (!record) return std::unexpected(std::move(record.error()));
  // From here on nothing that was started is ever stopped by the launcher.
  return start_and_record(paths, settings, env, std::move(*record));
}

[[nodiscard]] std::expected<void, LauncherError> report(OutputStream& out, const Started& started,
                                                        const BridgeSettings& settings) {
  const std::string lines[] = {
      "LibreOffice started (process " + std::to_string(started.soffice_pid) +
          "), listening for UNO on 127.0.0.1:" + std::to_string(settings.uno_port),
      "bridge started (process " + std::to_string(started.bridge_pid) +
          "), listening on 127.0.0.1:" + std::to_string(settings.bridge_port),
      "a script runs on the current document of its target's family, or with doc set to None "
      "when none is open",
      "stop the bridge with '" + stop_command() + "'; LibreOffice is yours to close",
  };
  for (const std::string& line : lines) {
    if (auto written = write_report_line(out, line); !written) return written;
  }
  return {};
}

}  // namespace

[[nodiscard]] std::expected<void, LauncherError> run_launch(const SystemPaths& paths,
                                                            const BaseDirs& dirs,
                                                            std::string_view bridge_file,
                                                            const EnvSnapshot& env,
                                                            OutputStream& out) {
  // Every check that can refuse comes before anything is started.
  const uid_t user = ::geteuid();
  auto settings = settings_from_config(dirs, bridge_file, user);
  if (!settings) return std::unexpected(std::move(settings.error()));
  auto admitted = admit_bridge_file(bridge_file);
  if (!admitted) return std::unexpected(std::move(admitted.error()));
  // The lock is gone by the report: a slow reader of standard output holds up no one else.
  auto started = launch_locked(paths, dirs, *settings, admitted->largest_record, env, user);
  if (!started) return std::unexpected(std::move(started.error()));
  return report(out, *started, *settings);
}

}  // namespace qs
