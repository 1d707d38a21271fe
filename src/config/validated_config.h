#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_error.h"
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

enum class AppMode { Tcp, Uno, Cli };

struct AppSettings {
  std::string name;
  std::optional<std::uint16_t> port;
  std::optional<std::uint16_t> uno_port;
  std::optional<std::uint16_t> bridge_port;
  AppMode mode = AppMode::Tcp;
  bool enabled = false;
};

inline constexpr std::size_t kKnownAppCount = 7;

struct ValidatedConfig {
  HubLimits hub;
  SecuritySettings security;
  std::array<AppSettings, kKnownAppCount> apps;  // in the order of the known application table
};

// Defaults applied, every rule in its fixed order; the first violation is the error.
std::expected<ValidatedConfig, ConfigError> validate_config(const RawConfig& raw);

// The value or the default, at least `minimum` and, for a port, at most 65535.
std::expected<std::int64_t, ConfigError> check_integer_setting(std::string_view name,
                                                               std::optional<std::int64_t> value,
                                                               std::int64_t fallback,
                                                               std::int64_t minimum, bool is_port);

}  // namespace qs
