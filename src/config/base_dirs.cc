#include "config/base_dirs.h"

#include "base/path.h"

namespace qs {
namespace {

constexpr const char* kComponent = "quantelspire-mcp";

// An empty value counts as unset everywhere here.
std::optional<std::string_view> non_empty(const EnvSnapshot& env, std::string_view name) {
  auto value = find_variable(env, name);
  if (value && value->empty()) return std::nullopt;
  return value;
}

// The override variable, when set: absolute, or an error naming it.
[[nodiscard]] std::expected<std::optional<std::string>, ConfigError> from_override(
    const EnvSnapshot& env, std::string_view variable) {
  const auto value = non_empty(env, variable);
  if (!value) return std::nullopt;
  if (!is_absolute_path(*value)) {
    return std::unexpected(
        ConfigError::message(std::string(variable) + " must be an absolute path"));
  }
  return std::string(*value);
}

std::optional<std::string> from_xdg(const EnvSnapshot& env, std::string_view variable) {
  const auto value = non_empty(env, variable);
  if (value && is_absolute_path(*value)) return std::string(*value);
  return std::nullopt;
}

[[nodiscard]] std::expected<std::string, ConfigError> home_dir(const EnvSnapshot& env) {
  const auto home = non_empty(env, "HOME");
  if (!home) return std::unexpected(ConfigError::message("cannot determine the home directory"));
  if (!is_absolute_path(*home)) {
    return std::unexpected(ConfigError::message("the home directory must be an absolute path"));
  }
  return std::string(*home);
}

[[nodiscard]] std::expected<std::string, ConfigError> resolve_base(
    const EnvSnapshot& env, std::string_view override_variable, std::string_view xdg_variable,
    std::initializer_list<std::string_view> fallback) {
  auto overridden = from_override(env, override_variable);
  if (!overridden) return std::unexpected(std::move(overridden.error()));
  if (*overridden) return std::move(**overridden);
  if (auto xdg = from_xdg(env, xdg_variable)) return std::move(*xdg);
  auto home = home_dir(env);
  if (!home) return home;
  std::string base = std::move(*home);
  for (std::string_view component : fallback)
    base = join_path(base, component);
  return base;
}

}  // namespace

[[nodiscard]] std::expected<BaseDirs, ConfigError> resolve_base_dirs(const EnvSnapshot& env) {
  auto config = resolve_base(env, "QUANTELSPIRE_CONFIG_DIR", "XDG_CONFIG_HOME", {".config"});
  if (!config) return std::unexpected(std::move(config.error()));
  auto state = resolve_base(env, "QUANTELSPIRE_STATE_DIR", "XDG_STATE_HOME", {".local", "state"});
  if (!state) return std::unexpected(std::move(state.error()));
  auto runtime = from_override(env, "QUANTELSPIRE_RUNTIME_DIR");
  if (!runtime) return std::unexpected(std::move(runtime.error()));
  if (!*runtime) *runtime = from_xdg(env, "XDG_RUNTIME_DIR");

  BaseDirs dirs{join_path(*config, kComponent), join_path(*state, kComponent), std::nullopt};
  if (*runtime) dirs.runtime_dir = join_path(**runtime, kComponent);
  return dirs;
}

}  // namespace qs
