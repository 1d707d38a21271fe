#include "config/libreoffice_targets.h"

namespace qs {
namespace {

// Every target has both ports: the LibreOffice rows have defaults and nothing removes a port.
std::optional<TargetsDisagree> disagreement(const std::vector<const AppSettings*>& targets,
                                            const char* key,
                                            std::optional<std::uint16_t> AppSettings::*port) {
  const std::uint16_t reference = (targets.front()->*port).value_or(0);
  bool agree = true;
  TargetsDisagree error{key, {}};
  for (const AppSettings* target : targets) {
    const std::uint16_t value = (target->*port).value_or(0);
    agree = agree && value == reference;
    error.entries.emplace_back(target->name, value);
  }
  if (agree) return std::nullopt;
  return error;
}

}  // namespace

std::expected<LibreOfficeTargets, TargetError> select_libreoffice_targets(
    const ValidatedConfig& config) {
  std::vector<const AppSettings*> targets;
  for (const AppSettings& app : config.apps) {
    if (app.enabled && app.mode == AppMode::Uno && app.name.starts_with("libreoffice-")) {
      targets.push_back(&app);
    }
  }
  if (targets.empty()) return std::unexpected(NoTargetEnabled{});
  if (auto e = disagreement(targets, "uno_port", &AppSettings::uno_port))
    return std::unexpected(*e);
  if (auto e = disagreement(targets, "bridge_port", &AppSettings::bridge_port)) {
    return std::unexpected(*e);
  }
  LibreOfficeTargets chosen;
  chosen.uno_port = targets.front()->uno_port.value_or(0);
  chosen.bridge_port = targets.front()->bridge_port.value_or(0);
  if (chosen.uno_port == chosen.bridge_port) return std::unexpected(SamePort{chosen.uno_port});
  for (const AppSettings* target : targets)
    chosen.names.push_back(target->name);
  return chosen;
}

}  // namespace qs
