#include "config/libreoffice_targets.h"

namespace qs {
namespace {

using Port = std::optional<std::uint16_t> AppSettings::*;

// Every LibreOffice application has both ports (its row gives their defaults).
std::optional<TargetsDisagree> disagreement(const std::vector<const AppSettings*>& targets,
                                            PortKey key, Port port) {
  const std::uint16_t reference = *(targets.front()->*port);
  bool agree = true;
  TargetsDisagree error{key, {}};
  for (const AppSettings* target : targets) {
    agree = agree && *(target->*port) == reference;
    error.entries.emplace_back(target->name, *(target->*port));
  }
  if (agree) return std::nullopt;
  return error;
}

}  // namespace

[[nodiscard]] std::expected<LibreOfficeTargets, TargetError> select_libreoffice_targets(
    const ValidatedConfig& config) {
  std::vector<const AppSettings*> targets;
  for (std::size_t i = 0; i < kKnownApps.size(); ++i) {
    const AppSettings& app = config.apps[i];
    if (kKnownApps[i].libreoffice && app.enabled && app.mode == AppMode::Uno) {
      targets.push_back(&app);
    }
  }
  if (targets.empty()) return std::unexpected(NoTargetEnabled{});
  if (auto e = disagreement(targets, PortKey::UnoPort, &AppSettings::uno_port)) {
    return std::unexpected(*e);
  }
  if (auto e = disagreement(targets, PortKey::BridgePort, &AppSettings::bridge_port)) {
    return std::unexpected(*e);
  }
  LibreOfficeTargets chosen;
  chosen.uno_port = *targets.front()->uno_port;
  chosen.bridge_port = *targets.front()->bridge_port;
  if (chosen.uno_port == chosen.bridge_port) return std::unexpected(SamePort{chosen.uno_port});
  for (const AppSettings* target : targets)
    chosen.names.push_back(target->name);
  return chosen;
}

}  // namespace qs
