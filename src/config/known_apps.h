#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace qs {

enum class AppMode { Tcp, Uno, Cli };

// The applications of the hub, in the order of its table, with their defaults: the one list
// that the command line, the configuration's rules and the messages derive theirs from.
struct KnownApp {
  std::string_view name;
  std::optional<std::uint16_t> port;
  AppMode mode;
  bool libreoffice;  // launched by this program; the bridges of the others are started by hand
};

inline constexpr std::array<KnownApp, 7> kKnownApps = {{
    {"gimp", 9301, AppMode::Tcp, false},
    {"krita", 9302, AppMode::Tcp, false},
    {"blender", 9303, AppMode::Tcp, false},
    {"inkscape", std::nullopt, AppMode::Cli, false},
    {"libreoffice-writer", std::nullopt, AppMode::Uno, true},
    {"libreoffice-calc", std::nullopt, AppMode::Uno, true},
    {"libreoffice-impress", std::nullopt, AppMode::Uno, true},
}};

// The ports of every LibreOffice application that the file leaves unset; the others have none.
inline constexpr std::uint16_t kDefaultUnoPort = 2002;
inline constexpr std::uint16_t kDefaultBridgePort = 9304;

}  // namespace qs
