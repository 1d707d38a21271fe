#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "config/validated_config.h"

namespace qs {

// The LibreOffice applications that one LibreOffice and one bridge serve, with their one pair
// of ports.
struct LibreOfficeTargets {
  std::vector<std::string> names;
  std::uint16_t uno_port = 0;
  std::uint16_t bridge_port = 0;
};

// Why no targets could be chosen; each is also a variant of LauncherError.
struct NoTargetEnabled {};
struct TargetsDisagree {
  std::string key;                                             // "uno_port" or "bridge_port"
  std::vector<std::pair<std::string, std::uint16_t>> entries;  // every target, in table order
};
struct SamePort {
  std::uint16_t port = 0;
};

using TargetError = std::variant<NoTargetEnabled, TargetsDisagree, SamePort>;

// The enabled LibreOffice applications of mode uno, which must share one uno_port and
// one bridge_port, and those two must differ.
[[nodiscard]] std::expected<LibreOfficeTargets, TargetError> select_libreoffice_targets(
    const ValidatedConfig& config);

}  // namespace qs
