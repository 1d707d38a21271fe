#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <variant>
#include <vector>

#include "base/system_error.h"
#include "config/config_error.h"
#include "config/target_errors.h"
#include "files/file_safety_error.h"

namespace qs {

// The one error a launch or a stop returns. Errors of the layers below are carried whole.
struct LauncherError {
  using NoTargetEnabled = qs::NoTargetEnabled;
  using TargetsDisagree = qs::TargetsDisagree;
  using SamePort = qs::SamePort;
  struct BridgeFileRefused {
    // A line feed would let the record's next line name another process, which a stop would
    // then signal.
    struct LineFeed {};
    // The record would be longer than what its reader takes.
    struct TooLongToRecord {
      std::uint64_t limit = 0;
    };
    std::variant<FileSafetyError, LineFeed, TooLongToRecord> reason;
  };
  struct AlreadyRunning {
    std::uint16_t port = 0;
    std::vector<std::uint32_t> pids;
  };
  struct BridgeStillRunning {
    std::uint32_t pid = 0;
  };
  struct Config {
    ConfigError error;
  };
  struct File {
    FileSafetyError error;
  };
  struct BadRecord {
    std::string path;
  };
  struct ListProcesses {
    SystemError error;
  };
  struct StartFailed {
    std::string program;
    SystemError error;
  };
  struct LeftRunning {
    std::uint32_t pid = 0;
    StartFailed bridge;  // why the bridge did not start
  };
  struct SignalFailed {
    std::uint32_t pid = 0;
    SystemError error;
  };
  struct ReportFailed {
    SystemError error;
  };
  // Another program listens where LibreOffice or the bridge would: the hub would talk to it.
  struct PortTaken {
    std::uint16_t port = 0;
    PortKey key = PortKey::UnoPort;  // UnoPort or BridgePort
  };
  struct PortCheckFailed {
    std::uint16_t port = 0;
    SystemError error;
  };
  // Another launch or stop of the same user kept the record for longer than the launcher waits.
  struct Busy {
    std::string record_path;
  };
  // Whether a recorded process still runs could not be told.
  struct ProcessCheckFailed {
    std::uint32_t pid = 0;
    SystemError error;
  };
  // Both children run, but the record naming them could not be put in place.
  struct LeftUnrecorded {
    FileSafetyError error;
    std::uint32_t soffice_pid = 0;
    std::uint32_t bridge_pid = 0;
  };

  std::variant<NoTargetEnabled, TargetsDisagree, SamePort, BridgeFileRefused, AlreadyRunning,
               BridgeStillRunning, PortTaken, Config, File, BadRecord, ListProcesses, StartFailed,
               LeftRunning, SignalFailed, ReportFailed, PortCheckFailed, Busy, ProcessCheckFailed,
               LeftUnrecorded>
      kind;
};

std::string message_of(const LauncherError& error);

// A failure of the given kind, as the operations of a launch or a stop return it.
template <typename Kind>
std::unexpected<LauncherError> fail(Kind kind) {
  return std::unexpected(LauncherError{std::move(kind)});
}

// 2 for the refusals a user resolves by changing what they asked for, 1 for everything else:
// two lists in launcher_error.cc, where a kind in neither or in both does not compile.
int exit_status_of(const LauncherError& error);

}  // namespace qs
