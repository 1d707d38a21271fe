#include "cli/launcher_error.h"

#include "base/program.h"
#include "base/utf8.h"
#include "config/known_apps.h"

namespace qs {
namespace {

std::string join_ids(const std::vector<std::uint32_t>& pids) {
  std::string text;
  for (std::uint32_t pid : pids) {
    if (!text.empty()) text += ", ";
    text += std::to_string(pid);
  }
  return text;
}

struct Render {
  std::string operator()(const LauncherError::NoTargetEnabled&) const {
    std::vector<std::string_view> names;
    for (const KnownApp& app : kKnownApps) {
      if (app.libreoffice) names.push_back(app.name);
    }
    std::string tables;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (i > 0) tables += i + 1 == names.size() ? " or " : ", ";
      tables += "[apps." + std::string(names[i]) + "]";
    }
    return "no LibreOffice target is enabled: set enabled = true under " + tables +
           " in the configuration";
  }
  std::string operator()(const LauncherError::TargetsDisagree& e) const {
    std::string items;
    for (const auto& [name, port] : e.entries) {
      if (!items.empty()) items += "; ";
      items += "apps." + name + "." + std::string(key_name(e.key)) + " = " + std::to_string(port);
    }
    return "the enabled LibreOffice targets disagree on " + std::string(key_name(e.key)) + ": " +
           items +
           "; one LibreOffice and one bridge serve all of them, so give them the same value";
  }
  std::string operator()(const LauncherError::SamePort& e) const {
    return "uno_port and bridge_port are both " + std::to_string(e.port) +
           ": LibreOffice and the bridge cannot listen on the same port";
  }
  std::string operator()(const LauncherError::BridgeFileRefused& e) const {
    return "the bridge file is refused: " + message_of(e.reason) +
           "; pass the absolute path of uno_bridge.py with --bridge-file: "
           "bridges/generated/uno_bridge.py in a clone, "
           "/usr/share/quantelspire-mcp/bridges/uno_bridge.py from the package";
  }
  std::string operator()(const LauncherError::AlreadyRunning& e) const {
    return "LibreOffice is already running (process " + join_ids(e.pids) +
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

// The exit status of each kind. A kind added without one finds only the deleted template.
template <typename Kind>
int status_of(const Kind&) = delete;
using E = LauncherError;
constexpr int status_of(const E::NoTargetEnabled&) {
  return 2;
}
constexpr int status_of(const E::TargetsDisagree&) {
  return 2;
}
constexpr int status_of(const E::SamePort&) {
  return 2;
}
constexpr int status_of(const E::BridgeFileRefused&) {
  return 2;
}
constexpr int status_of(const E::AlreadyRunning&) {
  return 2;
}
constexpr int status_of(const E::BridgeStillRunning&) {
  return 2;
}
constexpr int status_of(const E::PortTaken&) {
  return 2;
}
constexpr int status_of(const E::Config&) {
  return 1;
}
constexpr int status_of(const E::File&) {
  return 1;
}
constexpr int status_of(const E::BadRecord&) {
  return 1;
}
constexpr int status_of(const E::ListProcesses&) {
  return 1;
}
constexpr int status_of(const E::StartFailed&) {
  return 1;
}
constexpr int status_of(const E::LeftRunning&) {
  return 1;
}
constexpr int status_of(const E::SignalFailed&) {
  return 1;
}
constexpr int status_of(const E::ReportFailed&) {
  return 1;
}
constexpr int status_of(const E::PortCheckFailed&) {
  return 1;
}
constexpr int status_of(const E::Busy&) {
  return 1;
}
constexpr int status_of(const E::ProcessCheckFailed&) {
  return 1;
}
constexpr int status_of(const E::LeftUnrecorded&) {
  return 1;
}

}  // namespace

std::string message_of(const LauncherError& error) {
  return std::visit(Render{}, error.kind);
}

int exit_status_of(const LauncherError& error) {
  return std::visit([](const auto& kind) { return status_of(kind); }, error.kind);
}

}  // namespace qs
