#pragma once

#include <span>
#include <string>
#include <variant>

namespace qs {

struct LauncherCommand {
  struct Help {};
  struct Usage {};
  struct ManualApp {
    std::string name;
  };
  struct Launch {
    std::string bridge_file;  // bytes exactly as typed, possibly empty
  };
  struct Stop {};

  std::variant<Help, Usage, ManualApp, Launch, Stop> action;
};

// `args` holds the program name first; it is ignored.
LauncherCommand parse_command_line(std::span<const std::string> args);

// What --help prints, and a usage error.
std::string usage_text();

}  // namespace qs
