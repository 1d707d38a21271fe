#include "config/libreoffice_targets.h"

namespace qs {
namespace {

std::optional<TargetsDisagree> disagreement(const std::vector<const LibreOfficeApp*>& targets,
                                            const char* key, std::uint16_t LibreOfficeApp::*port) {
  const std::uint16_t reference = targets.front()->*port;
  bool agree = true;
  TargetsDisagree error{key, {}};
  for (const LibreOfficeApp* target : targets) {
    agree = agree && target->*port == reference;
    error.entries.emplace_back(target->name, target->*port);
  }
  if (agree) return std::nullopt;
  return error;
}

}  // namespace

[[nodiscard]] std::expected<LibreOfficeTargets, TargetError> select_libreoffice_targets(
    const ValidatedConfig& config) {
  std::vector<const LibreOfficeApp*> targets;
  for (const LibreOfficeApp& app : config.libreoffice) {
    if (app.enabled && app.mode == AppMode::Uno) targets.push_back(&app);
  }
  if (targets.empty()) return std::unexpected(NoTargetEnabled{});
  if (auto e = disagreement(targets, "uno_port", &LibreOfficeApp::uno_port)) {
    return std::unexpected(*e);
  }
  if (auto e = disagreement(targets, "bridge_port", &LibreOfficeApp::bridge_port)) {
    return std::unexpected(*e);
  }
  LibreOfficeTargets chosen;
  chosen.uno_port = targets.front()->uno_port;
  chosen.bridge_port = targets.front()->bridge_port;
  if (chosen.uno_port == chosen.bridge_port) return std::unexpected(SamePort{chosen.uno_port});
  for (const LibreOfficeApp* target : targets)
    chosen.names.push_back(target->name);
  return chosen;
}

}  // namespace qs
