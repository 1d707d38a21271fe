// config.toml bytes through loading, schema mapping, positions, validation and target choice.
#include <cstdint>
#include <string_view>

#include "cli/launcher_error.h"
#include "config/libreoffice_targets.h"
#include "config/raw_config.h"
#include "config/validated_config.h"
#include "fuzz/fuzz_checks.h"

namespace {

using qs::fuzz::check_message;
using qs::fuzz::fail;

// A reported position must name a place inside the text (or just after its end).
void check_position(const qs::ConfigError& error, std::string_view text) {
  const auto* syntax = std::get_if<qs::ConfigError::Syntax>(&error.kind);
  if (syntax == nullptr || !syntax->position) return;
  std::size_t line_start = 0;
  for (std::uint32_t line = 1; line < syntax->position->line; ++line) {
    line_start = text.find('\n', line_start);
    if (line_start == std::string_view::npos) fail("line beyond the text", text);
    ++line_start;
  }
  const std::string_view line = text.substr(line_start, text.find('\n', line_start) - line_start);
  std::uint32_t characters = 0;
  for (std::size_t pos = 0; pos < line.size(); ++characters) {
    const std::size_t length = qs::utf8_char_length(line, pos, nullptr);
    pos += length == 0 ? 1 : length;
  }
  if (syntax->position->column < 1 || syntax->position->column > characters + 1) {
    fail("column beyond its line", text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto raw = qs::parse_config(text);
  if (!raw) {
    check_message(qs::message_of(raw.error()));
    check_position(raw.error(), text);
    return 0;
  }
  const auto config = qs::validate_config(*raw);
  if (!config) {
    check_message(qs::message_of(config.error()));
    return 0;
  }
  const auto targets = qs::select_libreoffice_targets(*config);
  if (!targets) {
    const qs::LauncherError error =
        std::visit([](auto e) { return qs::LauncherError{std::move(e)}; }, targets.error());
    check_message(qs::message_of(error));
    if (qs::exit_status_of(error) != 2) fail("a target refusal without status 2", text);
    return 0;
  }
  if (targets->names.empty() || targets->uno_port == targets->bridge_port ||
      targets->uno_port < 1024 || targets->bridge_port < 1024) {
    fail("targets break their invariants", text);
  }
  return 0;
}
