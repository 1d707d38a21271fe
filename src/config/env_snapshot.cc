#include "config/env_snapshot.h"

namespace qs {

EnvSnapshot capture_environment(const char* const* environ_entries) {
  EnvSnapshot env;
  if (environ_entries == nullptr) return env;
  for (const char* const* entry = environ_entries; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const std::size_t equals = text.find('=', 1);
    if (equals == std::string_view::npos) continue;
    env.emplace_back(text.substr(0, equals), text.substr(equals + 1));
  }
  return env;
}

std::optional<std::string_view> find_variable(const EnvSnapshot& env, std::string_view name) {
  // getenv returns the first match; glibc's setenv keeps one entry per name, so for a sane
  // environment first and last agree, and the first is what every other program would see.
  for (const auto& [entry_name, value] : env) {
    if (entry_name == name) return std::string_view(value);
  }
  return std::nullopt;
}

}  // namespace qs
