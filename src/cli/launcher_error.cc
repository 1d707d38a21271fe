#include "cli/launcher_error.h"

#include <type_traits>

#include "base/join.h"
#include "base/program.h"
#include "base/utf8.h"
#include "config/known_apps.h"

namespace qs {
namespace {

std::string decimal(std::uint32_t value) {
  return std::to_string(value);
}

std::string reason_text(const FileSafetyError& reason) {
  return message_of(reason);
}
// The path itself would break the message across lines.
std::string reason_text(const LauncherError::BridgeFileRefused::LineFeed&) {
  return "its path contains a line feed, which the launch record cannot hold (rename the file)";
}
// Thousands of bytes of path would bury the message.
std::string reason_text(const LauncherError::BridgeFileRefused::TooLongToRecord& e) {
  return "its path is too long for the launch record, which holds at most " +
         std::to_string(e.limit) + " bytes (move the file to a shorter path)";
}

struct Render {
  std::string operator()(const LauncherError::NoTargetEnabled&) const {
    std::vector<std::string_view> names;
    for (const KnownApp& app : kKnownApps) {
      if (app.libreoffice) names.push_back(app.name);
    }
    const std::string tables = join(
        names, [](std::string_view name) { return "[apps." + std::string(name) + "]"; }, ", ",
        " or ");
    return "no LibreOffice target is enabled: set enabled = true under " + tables +
           " in the configuration";
  }
  std::string operator()(const LauncherError::TargetsDisagree& e) const {
    const std::string items = join(
        e.entries,
        [&](const auto& entry) {
          return "apps." + entry.first + "." + std::string(key_name(e.key)) + " = " +
                 std::to_string(entry.second);
        },
        "; ");
    return "the enabled LibreOffice targets disagree on " + std::string(key_name(e.key)) + ": " +
           items +
           "; one LibreOffice and one bridge serve all of them, so give them the same value";
  }
  std::string operator()(const LauncherError::SamePort& e) const {
    return "uno_port and bridge_port are both " + std::to_string(e.port) +
           ": LibreOffice and the bridge cannot listen on the same port";
  }
  std::string operator()(const LauncherError::BridgeFileRefused& e) const {
    return "the bridge file is refused: " +
           std::visit([](const auto& reason) { return reason_text(reason); }, e.reason) +
           "; pass the absolute path of uno_bridge.py with --bridge-file: "
           "bridges/generated/uno_bridge.py in a clone, "
           "/usr/share/quantelspire-mcp/bridges/uno_bridge.py from the package";
  }
  std::string operator()(const LauncherError::AlreadyRunning& e) const {
    return "LibreOffice is already running (process " + join(e.pids, decimal, ", ") +
           "). The launcher does not attach to an instance that may hold unsaved work and never "
           "closes one it did not start. Close LibreOffice and run the launcher again, or start "
           "it yourself with the option --accept=\"socket,host=127.0.0.1,port=" +
           std::to_string(e.port) + ";urp;\" (see " + std::string(kModulesDocs) +
           "libreoffice.md) and start the bridge by hand.";
  }
  std::string operator()(const LauncherError::BridgeStillRunning& e) const {
    return "the bridge of an earlier launch is still running (process " + std::to_string(e.pid) +
           "); run '" + stop_command() + "' first";
  }
  std::string operator()(const LauncherError::PortTaken& e) const {
    const char* who = e.key == PortKey::UnoPort ? "LibreOffice" : "the bridge";
    return "port " + std::to_string(e.port) +
           " on 127.0.0.1 is already in use by another program, so " + who +
           " could not listen there; choose another " + std::string(key_name(e.key)) +
           " for the enabled LibreOffice targets in the configuration";
  }
  std::string operator()(const LauncherError::Config& e) const { return message_of(e.error); }
  std::string operator()(const LauncherError::File& e) const { return message_of(e.error); }
  std::string operator()(const LauncherError::BadRecord& e) const {
    return "the record of an earlier launch (" + lossy_utf8(e.path) +
           ") is not in the expected form; nothing was signalled. Check the processes yourself, "
           "then delete the file";
  }
  std::string operator()(const LauncherError::ListProcesses& e) const {
    return "cannot list the processes of the system: " + describe(e.error);
  }
  std::string operator()(const LauncherError::StartFailed& e) const {
    return "cannot start " + lossy_utf8(e.program) + ": " + describe(e.error);
  }
  std::string operator()(const LauncherError::LeftRunning& e) const {
    return (*this)(e.bridge) + ". LibreOffice was started (process " + std::to_string(e.pid) +
           ") and is left running: close it yourself";
  }
  std::string operator()(const LauncherError::SignalFailed& e) const {
    return "cannot signal process " + std::to_string(e.pid) + ": " + describe(e.error);
  }
  std::string operator()(const LauncherError::ReportFailed& e) const {
    return "cannot write the report: " + describe(e.error);
  }
  std::string operator()(const LauncherError::PortCheckFailed& e) const {
    return "cannot check whether port " + std::to_string(e.port) +
           " on 127.0.0.1 is free: " + describe(e.error);
  }
  std::string operator()(const LauncherError::Busy& e) const {
    return "another launch or stop of yours is using " + lossy_utf8(e.record_path) +
           "; try again when it has finished";
  }
  std::string operator()(const LauncherError::ProcessCheckFailed& e) const {
    return "cannot look at process " + std::to_string(e.pid) + ": " + describe(e.error);
  }
  std::string operator()(const LauncherError::LeftUnrecorded& e) const {
    const std::string bridge = std::to_string(e.bridge_pid);
    return message_of(e.error) + ". LibreOffice (process " + std::to_string(e.soffice_pid) +
           ") and the bridge (process " + bridge +
           ") were started and are left running, but no launch is recorded: end the bridge "
           "yourself (kill " +
           bridge + ") and close LibreOffice when you are done";
  }
};

using E = LauncherError;

template <typename... Kinds>
struct KindList {
  template <typename Kind>
  static constexpr bool holds() {
    return (std::is_same_v<Kind, Kinds> || ...);
  }
};

// Exit status 2: the refusals a user resolves by changing what they asked for.
using ChangeTheRequest =
    KindList<E::NoTargetEnabled, E::TargetsDisagree, E::SamePort, E::BridgeFileRefused,
             E::AlreadyRunning, E::BridgeStillRunning, E::PortTaken>;
// Exit status 1: everything else.
using Failed = KindList<E::Config, E::File, E::BadRecord, E::ListProcesses, E::StartFailed,
                        E::LeftRunning, E::SignalFailed, E::ReportFailed, E::PortCheckFailed,
                        E::Busy, E::ProcessCheckFailed, E::LeftUnrecorded>;

template <typename Variant>
struct EachInOneList;
template <typename... Kinds>
struct EachInOneList<std::variant<Kinds...>> {
  static constexpr bool value =
      ((ChangeTheRequest::holds<Kinds>() != Failed::holds<Kinds>()) && ...);
};
static_assert(EachInOneList<decltype(E::kind)>::value,
              "every kind of LauncherError has its exit status in exactly one list");

template <typename Kind>
constexpr int status_of(const Kind&) {
  return ChangeTheRequest::holds<Kind>() ? 2 : 1;
}

}  // namespace

std::string message_of(const LauncherError& error) {
  return std::visit(Render{}, error.kind);
}

int exit_status_of(const LauncherError& error) {
  return std::visit([](const auto& kind) { return status_of(kind); }, error.kind);
}

}  // namespace qs
