#include "config/validated_config.h"
#include "base/join.h"

#include <algorithm>

namespace qs {
namespace {

constexpr std::int64_t kMaxPort = 65535;
constexpr std::int64_t kMaxSeconds = 4294967295;

std::unexpected<ConfigError> invalid(std::string text) {
  return std::unexpected(ConfigError::message(std::move(text)));
}

// The value or the default, at least `minimum`.
[[nodiscard]] std::expected<std::int64_t, ConfigError> check_at_least(
    std::string_view name, std::optional<std::int64_t> value, std::int64_t fallback,
    std::int64_t minimum) {
  const std::int64_t taken = value.value_or(fallback);
  if (taken < minimum)
    return invalid(std::string(name) + " must be at least " + std::to_string(minimum));
  return taken;
}

[[nodiscard]] std::expected<std::uint32_t, ConfigError> check_seconds(
    std::string_view name, std::optional<std::int64_t> value, std::int64_t fallback) {
  auto seconds = check_at_least(name, value, fallback, 1);
  if (!seconds) return std::unexpected(std::move(seconds.error()));
  if (*seconds > kMaxSeconds) return invalid(std::string(name) + " is too large");
  return static_cast<std::uint32_t>(*seconds);
}

[[nodiscard]] std::expected<HubLimits, ConfigError> validate_hub(const RawHub& raw) {
  HubLimits hub;
  struct Bytes {
    const char* name;
    const std::optional<std::int64_t>& value;
    std::int64_t fallback;
    std::uint64_t& field;
  };
  for (const Bytes& b :
       {Bytes{"hub.max_script_bytes", raw.max_script_bytes, 262144, hub.max_script_bytes},
        Bytes{"hub.max_output_bytes", raw.max_output_bytes, 1048576, hub.max_output_bytes},
        Bytes{"hub.max_line_bytes", raw.max_line_bytes, 8388608, hub.max_line_bytes}}) {
    auto checked = check_at_least(b.name, b.value, b.fallback, 1024);
    if (!checked) return std::unexpected(std::move(checked.error()));
    b.field = static_cast<std::uint64_t>(*checked);
  }
  auto default_timeout = check_seconds("hub.default_timeout_s", raw.default_timeout_s, 30);
  if (!default_timeout) return std::unexpected(std::move(default_timeout.error()));
  auto max_timeout = check_seconds("hub.max_timeout_s", raw.max_timeout_s, 300);
  if (!max_timeout) return std::unexpected(std::move(max_timeout.error()));
  if (*max_timeout < *default_timeout) {
    return invalid("hub.max_timeout_s must not be smaller than hub.default_timeout_s");
  }
  hub.default_timeout_s = *default_timeout;
  hub.max_timeout_s = *max_timeout;
  return hub;
}

[[nodiscard]] std::expected<SecuritySettings, ConfigError> validate_security(
    const RawSecurity& raw) {
  SecuritySettings security;
  if (raw.extra_write_roots) {
    const auto& roots = *raw.extra_write_roots;
    // The whole list must be free of empty entries before absoluteness is looked at.
    if (std::ranges::any_of(roots, [](const std::string& r) { return r.empty(); })) {
      return invalid("security.extra_write_roots must be a list of non-empty strings");
    }
    if (std::ranges::any_of(roots, [](const std::string& r) { return r[0] != '/'; })) {
      return invalid("security.extra_write_roots entries must be absolute paths");
    }
    security.extra_write_roots = roots;
  }
  security.allow_dangerous_scripts = raw.allow_dangerous_scripts.value_or(false);
  security.audit_script_text = raw.audit_script_text.value_or(false);
  return security;
}

// The value, a port a user may listen on, or the application's default.
[[nodiscard]] std::expected<std::optional<std::uint16_t>, ConfigError> validate_port(
    const std::string& app, std::string_view key, std::optional<std::int64_t> value,
    std::optional<std::uint16_t> fallback) {
  constexpr std::int64_t kMinPort = 1024;
  if (!value) return fallback;
  if (*value < kMinPort || *value > kMaxPort) {
    return invalid("apps." + app + "." + std::string(key) + " must be between " +
                   std::to_string(kMinPort) + " and " + std::to_string(kMaxPort));
  }
  return static_cast<std::uint16_t>(*value);
}

[[nodiscard]] std::expected<AppSettings, ConfigError> validate_app(const KnownApp& known,
                                                                   const RawApp* raw) {
  static const RawApp kUnset;
  const RawApp& given = raw != nullptr ? *raw : kUnset;
  AppSettings app{
      std::string(known.name),      std::nullopt, std::nullopt, std::nullopt, known.mode,
      given.enabled.value_or(false)};
  if (given.mode) {
    if (*given.mode == "tcp") {
      app.mode = AppMode::Tcp;
    } else if (*given.mode == "uno") {
      app.mode = AppMode::Uno;
    } else if (*given.mode == "cli") {
      app.mode = AppMode::Cli;
    } else {
      return invalid("apps." + app.name + ".mode must be one of: tcp, uno, cli");
    }
  }
  struct Port {
    PortKey key{};
    std::optional<std::int64_t> given;
    std::optional<std::uint16_t> fallback;
    // cppcheck-suppress uninitMemberVarNoCtor ; a reference is bound where a Port is made
    std::optional<std::uint16_t>& field;
  };
  for (const Port& p :
       {Port{PortKey::Port, given.port, known.port, app.port},
        Port{PortKey::UnoPort, given.uno_port, known.uno_port, app.uno_port},
        Port{PortKey::BridgePort, given.bridge_port, known.bridge_port, app.bridge_port}}) {
    auto port = validate_port(app.name, key_name(p.key), p.given, p.fallback);
    if (!port) return std::unexpected(std::move(port.error()));
    p.field = *port;
  }
  return app;
}

}  // namespace

[[nodiscard]] std::expected<ValidatedConfig, ConfigError> validate_config(const RawConfig& raw) {
  ValidatedConfig config;
  auto hub = validate_hub(raw.hub.value_or(RawHub{}));
  if (!hub) return std::unexpected(std::move(hub.error()));
  config.hub = *hub;
  auto security = validate_security(raw.security.value_or(RawSecurity{}));
  if (!security) return std::unexpected(std::move(security.error()));
  config.security = std::move(*security);

  static const std::vector<std::pair<std::string, RawApp>> kNoApps;
  const auto& apps = raw.apps ? *raw.apps : kNoApps;
  for (const auto& [name, app] : apps) {
    if (std::ranges::none_of(kKnownApps, [&](const KnownApp& k) { return name == k.name; })) {
      const std::string names = join(
          kKnownApps, [](const KnownApp& known) { return std::string(known.name); }, ", ");
      return invalid("unknown application in [apps]; known applications: " + names);
    }
  }
  for (std::size_t i = 0; i < kKnownApps.size(); ++i) {
    const auto given =
        std::ranges::find_if(apps, [&](const auto& a) { return a.first == kKnownApps[i].name; });
    auto app = validate_app(kKnownApps[i], given == apps.end() ? nullptr : &given->second);
    if (!app) return std::unexpected(std::move(app.error()));
    config.apps[i] = std::move(*app);
  }
  return config;
}

}  // namespace qs
