#pragma once

#include <string>
#include <string_view>

namespace qs {

// The facts about the program that its messages, usage text and reports state, each once.

inline constexpr std::string_view kProgramName = "quantelspire-launch";

// Where the hub documents each application's bridge (docs/modules/<name>.md).
inline constexpr std::string_view kModulesDocs = "docs/modules/";

// The command that stops a launch, in the words the user is told to run it.
inline std::string stop_command() {
  return std::string(kProgramName) + " libreoffice --stop";
}

}  // namespace qs
