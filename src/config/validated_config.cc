#include "config/validated_config.h"

#include <algorithm>

namespace qs {
namespace {

constexpr std::int64_t kMaxPort = 65535;
constexpr std::int64_t kMaxSeconds = 4294967295;

struct KnownApp {
  const char* name;
  std::optional<std::uint16_t> port, uno_port, bridge_port;
  AppMode mode;
};

const std::array<KnownApp, kKnownAppCount> kKnownApps = {{
    {"gimp", 9301, std::nullopt, std::nullopt, AppMode::Tcp},
    {"krita", 9302, std::nullopt, std::nullopt, AppMode::Tcp},
    {"blender", 9303, std::nullopt, std::nullopt, AppMode::Tcp},
    {"inkscape", std::nullopt, std::nullopt, std::nullopt, AppMode::Cli},
    {"libreoffice-writer", std::nullopt, 2002, 9304, AppMode::Uno},
    {"libreoffice-calc", std::nullopt, 2002, 9304, AppMode::Uno},
    {"libreoffice-impress", std::nullopt, 2002, 9304, AppMode::Uno},
}};

std::unexpected<ConfigError> fail(std::string text) {
  return std::unexpected(ConfigError::message(std::move(text)));
}

std::expected<std::uint32_t, ConfigError> check_seconds(std::string_view name,
                                                        std::optional<std::int64_t> value,
                                                        std::int64_t fallback) {
  auto seconds = check_integer_setting(name, value, fallback, 1, false);
  if (!seconds) return std::unexpected(std::move(seconds.error()));
  if (*seconds > kMaxSeconds) return fail(std::string(name) + " is too large");
  return static_cast<std::uint32_t>(*seconds);
}

std::expected<HubLimits, ConfigError> validate_hub(const RawHub& raw) {
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
    auto checked = check_integer_setting(b.name, b.value, b.fallback, 1024, false);
    if (!checked) return std::unexpected(std::move(checked.error()));
    b.field = static_cast<std::uint64_t>(*checked);
  }
  auto default_timeout = check_seconds("hub.default_timeout_s", raw.default_timeout_s, 30);
  if (!default_timeout) return std::unexpected(std::move(default_timeout.error()));
  auto max_timeout = check_seconds("hub.max_timeout_s", raw.max_timeout_s, 300);
  if (!max_timeout) return std::unexpected(std::move(max_timeout.error()));
  if (*max_timeout < *default_timeout) {
    return fail("hub.max_timeout_s must not be smaller than hub.default_timeout_s");
  }
  hub.default_timeout_s = *default_timeout;
  hub.max_timeout_s = *max_timeout;
  return hub;
}

std::expected<SecuritySettings, ConfigError> validate_security(const RawSecurity& raw) {
  SecuritySettings security;
  if (raw.extra_write_roots) {
    const auto& roots = *raw.extra_write_roots;
    // The whole list must be free of empty entries before absoluteness is looked at.
    if (std::ranges::any_of(roots, [](const std::string& r) { return r.empty(); })) {
      return fail("security.extra_write_roots must be a list of non-empty strings");
    }
    if (std::ranges::any_of(roots, [](const std::string& r) { return r[0] != '/'; })) {
      return fail("security.extra_write_roots entries must be absolute paths");
    }
    security.extra_write_roots = roots;
  }
  security.allow_dangerous_scripts = raw.allow_dangerous_scripts.value_or(false);
  security.audit_script_text = raw.audit_script_text.value_or(false);
  return security;
}

std::expected<std::optional<std::uint16_t>, ConfigError> validate_port(
    const std::string& app, const char* key, std::optional<std::int64_t> value,
    std::optional<std::uint16_t> fallback) {
  if (!value) return fallback;
  auto checked = check_integer_setting("apps." + app + "." + key, value, 0, 1024, true);
  if (!checked) return std::unexpected(std::move(checked.error()));
  return static_cast<std::uint16_t>(*checked);
}

std::expected<AppSettings, ConfigError> validate_app(const KnownApp& known, const RawApp* raw) {
  AppSettings app{known.name, known.port, known.uno_port, known.bridge_port, known.mode, false};
  if (raw == nullptr) return app;
  if (raw->mode) {
    if (*raw->mode == "tcp") {
      app.mode = AppMode::Tcp;
    } else if (*raw->mode == "uno") {
      app.mode = AppMode::Uno;
    } else if (*raw->mode == "cli") {
      app.mode = AppMode::Cli;
    } else {
      return fail("apps." + app.name + ".mode must be one of: tcp, uno, cli");
    }
  }
  struct Port {
    const char* key;
    const std::optional<std::int64_t>& value;
    std::optional<std::uint16_t>& field;
  };
  for (const Port& p :
       {Port{"port", raw->port, app.port}, Port{"uno_port", raw->uno_port, app.uno_port},
        Port{"bridge_port", raw->bridge_port, app.bridge_port}}) {
    auto checked = validate_port(app.name, p.key, p.value, p.field);
    if (!checked) return std::unexpected(std::move(checked.error()));
    p.field = *checked;
  }
  app.enabled = raw->enabled.value_or(false);
  return app;
}

}  // namespace

std::expected<std::int64_t, ConfigError> check_integer_setting(std::string_view name,
                                                               std::optional<std::int64_t> value,
                                                               std::int64_t fallback,
                                                               std::int64_t minimum, bool is_port) {
  const std::int64_t taken = value.value_or(fallback);
  if (taken < minimum || (is_port && taken > kMaxPort)) {
    const std::string range =
        is_port ? "between " + std::to_string(minimum) + " and " + std::to_string(kMaxPort)
                : "at least " + std::to_string(minimum);
    return fail(std::string(name) + " must be " + range);
  }
  return taken;
}

std::expected<ValidatedConfig, ConfigError> validate_config(const RawConfig& raw) {
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
      return fail(
          "unknown application in [apps]; known applications: gimp, krita, blender, inkscape, "
          "libreoffice-writer, libreoffice-calc, libreoffice-impress");
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
