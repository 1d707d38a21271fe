#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "config/known_apps.h"

namespace qs {

// Why no LibreOffice targets could be chosen; each is also a kind of LauncherError.
struct NoTargetEnabled {};
struct TargetsDisagree {
  PortKey key = PortKey::UnoPort;                              // UnoPort or BridgePort
  std::vector<std::pair<std::string, std::uint16_t>> entries;  // every target, in table order
};
struct SamePort {
  std::uint16_t port = 0;
};

using TargetError = std::variant<NoTargetEnabled, TargetsDisagree, SamePort>;

}  // namespace qs
