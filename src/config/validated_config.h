#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_error.h"
#include "config/known_apps.h"
#include "config/raw_config.h"

namespace qs {

struct HubLimits {
  std::uint64_t max_script_bytes = 0;
  std::uint64_t max_output_bytes = 0;
  std::uint64_t max_line_bytes = 0;
  std::uint32_t default_timeout_s = 0;
  std::uint32_t max_timeout_s = 0;
};

struct SecuritySettings {
  bool allow_dangerous_scripts = false;
  bool audit_script_text = false;
  std::vector<std::string> extra_write_roots;
};

// An application's settings, its row's defaults where the file gives none: a LibreOffice
// application always has both uno_port and bridge_port.
struct AppSettings {
  std::string name;
  std::optional<std::uint16_t> port;
  std::optional<std::uint16_t> uno_port;
  std::optional<std::uint16_t> bridge_port;
  AppMode mode = AppMode::Tcp;
  bool enabled = false;
};

struct ValidatedConfig {
  HubLimits hub;
  SecuritySettings security;
  std::array<AppSettings, kKnownApps.size()> apps;  // in the order of kKnownApps
};

// Defaults applied, every rule in its fixed order; the first violation is the error.
[[nodiscard]] std::expected<ValidatedConfig, ConfigError> validate_config(const RawConfig& raw);

}  // namespace qs
