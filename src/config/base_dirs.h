#pragma once

#include <expected>
#include <optional>
#include <string>

#include "config/config_error.h"
#include "config/env_snapshot.h"

namespace qs {

// The hub's directories, each a base directory joined with "quantelspire-mcp".
struct BaseDirs {
  std::string config_dir;
  std::string state_dir;
  std::optional<std::string> runtime_dir;
};

[[nodiscard]] std::expected<BaseDirs, ConfigError> resolve_base_dirs(const EnvSnapshot& env);

// What a launch or a stop says when there is no runtime directory to keep the record in.
inline constexpr const char* kNoRuntimeDirMessage =
    "XDG_RUNTIME_DIR is not set; refusing to write volatile files elsewhere";

}  // namespace qs
