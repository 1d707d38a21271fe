#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <vector>

#include "config/target_errors.h"
#include "config/validated_config.h"

namespace qs {

// The LibreOffice applications that one LibreOffice and one bridge serve, with their one pair
// of ports.
struct LibreOfficeTargets {
  std::vector<std::string> names;
  std::uint16_t uno_port = 0;
  std::uint16_t bridge_port = 0;
};

// The enabled LibreOffice applications of mode uno, which must share one uno_port and
// one bridge_port, and those two must differ.
[[nodiscard]] std::expected<LibreOfficeTargets, TargetError> select_libreoffice_targets(
    const ValidatedConfig& config);

}  // namespace qs
