#pragma once

#include <signal.h>

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "cli/launcher_error.h"
#include "config/env_snapshot.h"

namespace qs {

// One child: its arguments, working directory and complete environment. Its standard streams
// are fixed by spawn_child.
struct ChildSpec {
  std::string program;                 // absolute, not searched in PATH; also argv[0]
  std::vector<std::string> arguments;  // after argv[0]
  std::string working_directory = "/";
  EnvSnapshot environment;  // the whole environment; a name given twice: the later value wins
};

struct BridgeSettings {
  std::string bridge_file;
  std::string token_path;
  std::uint16_t uno_port = 0;
  std::uint16_t bridge_port = 0;
};

// LibreOffice listening for UNO on 127.0.0.1; our environment without QUANTELSPIRE_ variables.
ChildSpec make_soffice_spec(std::string_view soffice_program, std::uint16_t uno_port,
                            const EnvSnapshot& env);

// The interpreter with the bridge script as its one argument, so that the script's path stays
// visible in the process's command line; an allow-listed environment plus the bridge's settings.
ChildSpec make_bridge_spec(std::string_view python_program, const BridgeSettings& settings,
                           const EnvSnapshot& env);

// Starts the child in its own process group, in its working directory, with its standard
// streams on /dev/null, no other descriptor of ours, the default action for SIGPIPE and the
// signal mask `signal_mask` (nullptr: the caller's own). Returns once the program has been
// executed or has failed to; never waits for the child.
[[nodiscard]] std::expected<std::uint32_t, LauncherError::StartFailed> spawn_child(
    const ChildSpec& spec, const sigset_t* signal_mask = nullptr);

}  // namespace qs
