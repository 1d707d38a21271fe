#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace qs {

enum class AppMode { Tcp, Uno, Cli };

// The port settings of an application; `key_name` gives each as the file names it.
enum class PortKey { Port, UnoPort, BridgePort };

constexpr std::string_view key_name(PortKey key) {
  switch (key) {
    case PortKey::Port:
      return "port";
    case PortKey::UnoPort:
      return "uno_port";
    case PortKey::BridgePort:
      return "bridge_port";
  }
  return "";
}

// The applications of the hub, in the order of its table, with their defaults: the one list
// that the command line, the configuration's rules and the messages derive theirs from.
struct KnownApp {
  std::string_view name;
  AppMode mode{};
  // Launched by this program; the bridges of the others are started by hand.
  bool libreoffice = false;
  // The ports the file may leave unset; none where the application has no default.
  std::optional<std::uint16_t> port;
  std::optional<std::uint16_t> uno_port;
  std::optional<std::uint16_t> bridge_port;
};

inline constexpr std::optional<std::uint16_t> kNone;
inline constexpr std::array<KnownApp, 7> kKnownApps = {{
    {"gimp", AppMode::Tcp, false, 9301, kNone, kNone},
    {"krita", AppMode::Tcp, false, 9302, kNone, kNone},
    {"blender", AppMode::Tcp, false, 9303, kNone, kNone},
    {"inkscape", AppMode::Cli, false, kNone, kNone, kNone},
    {"libreoffice-writer", AppMode::Uno, true, kNone, 2002, 9304},
    {"libreoffice-calc", AppMode::Uno, true, kNone, 2002, 9304},
    {"libreoffice-impress", AppMode::Uno, true, kNone, 2002, 9304},
}};

}  // namespace qs
