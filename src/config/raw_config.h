#pragma once

#include <sys/types.h>

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/config_error.h"

namespace qs {

// config.toml as read: every field absent unless the file sets it.
struct RawHub {
  std::optional<std::int64_t> max_script_bytes;
  std::optional<std::int64_t> max_output_bytes;
  std::optional<std::int64_t> max_line_bytes;
  std::optional<std::int64_t> default_timeout_s;
  std::optional<std::int64_t> max_timeout_s;
};

struct RawSecurity {
  std::optional<bool> allow_dangerous_scripts;
  std::optional<bool> audit_script_text;
  std::optional<std::vector<std::string>> extra_write_roots;
};

struct RawApp {
  std::optional<bool> enabled;
  std::optional<std::string> mode;
  std::optional<std::int64_t> port;
  std::optional<std::int64_t> uno_port;
  std::optional<std::int64_t> bridge_port;
};

struct RawConfig {
  std::optional<RawHub> hub;
  std::optional<RawSecurity> security;
  // Application name (any key, as bytes) to its table, in the order of the file.
  std::optional<std::vector<std::pair<std::string, RawApp>>> apps;
};

inline constexpr std::uint64_t kConfigFileLimit = 1048576;

// Reads config.toml from `config_dir`; a missing file is an empty RawConfig.
[[nodiscard]] std::expected<RawConfig, ConfigError> load_config(std::string_view config_dir,
                                                                uid_t user);

// The text of config.toml to RawConfig: UTF-8, TOML 1.1.0, then the schema. A key deeper than
// kMaxKeyDepth (config/key_depth.h) is an unknown key, after any error before its statement.
[[nodiscard]] std::expected<RawConfig, ConfigError> parse_config(std::string_view text);

// The same without the bound on key depth: the fuzz target compares the two on texts that
// cannot be deep. A deep text exhausts the stack here.
[[nodiscard]] std::expected<RawConfig, ConfigError> parse_config_without_depth_bound(
    std::string_view text);

}  // namespace qs
