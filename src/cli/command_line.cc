#include "cli/command_line.h"

#include <string_view>

#include "base/program.h"
#include "base/utf8.h"
#include "config/known_apps.h"

namespace qs {

std::string usage_text() {
  const std::string program(kProgramName);
  return "usage:\n  " + program +
         " libreoffice --bridge-file <absolute path of uno_bridge.py>\n  " + stop_command() +
         "\nThe bridges of the other applications are started by hand: see " +
         std::string(kModulesDocs) + "<name>.md\n";
}

namespace {

using Command = LauncherCommand;

Command parse_libreoffice(std::span<const std::string> rest) {
  constexpr std::string_view kBridgeFileEquals = "--bridge-file=";
  if (rest.size() == 2) {
    if (rest[0] == "--bridge-file") return {Command::Launch{rest[1]}};
    return {Command::Usage{}};
  }
  if (rest.size() != 1) return {Command::Usage{}};
  const std::string_view option = rest[0];
  if (option == "--stop") return {Command::Stop{}};
  if (option == "--help") return {Command::Help{}};
  if (option.size() > kBridgeFileEquals.size() && option.starts_with(kBridgeFileEquals)) {
    return {Command::Launch{std::string(option.substr(kBridgeFileEquals.size()))}};
  }
  return {Command::Usage{}};
}

}  // namespace

LauncherCommand parse_command_line(std::span<const std::string> args) {
  if (args.size() < 2) return {Command::Usage{}};
  const std::string& first = args[1];
  if (!is_valid_utf8(first)) return {Command::Usage{}};
  if (first == "-h" || first == "--help") return {Command::Help{}};
  for (const KnownApp& app : kKnownApps) {
    if (!app.libreoffice && first == app.name) return {Command::ManualApp{first}};
  }
  if (first == "libreoffice") return parse_libreoffice(args.subspan(2));
  return {Command::Usage{}};
}

}  // namespace qs
