// config.toml bytes through loading, schema mapping, positions, validation and target choice.
// Inputs go up to the file's real limit (1 MiB), and a structural mutator grows the shapes that
// byte mutations reach only slowly: deep dotted keys and headers, nested arrays and inline
// tables, long arrays and many tables.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include "cli/launcher_error.h"
#include "config/key_depth.h"
#include "config/libreoffice_targets.h"
#include "config/raw_config.h"
#include "config/validated_config.h"
#include "fuzz/fuzz_checks.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t max_size);

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

// A piece of TOML of a random shape and size; `n` scales it.
std::string structure(std::minstd_rand& random, std::size_t n) {
  const auto repeat = [](std::string_view piece, std::size_t count) {
    std::string text;
    text.reserve(piece.size() * count);
    for (std::size_t i = 0; i < count; ++i)
      text += piece;
    return text;
  };
  switch (random() % 8) {
    case 0:  // a deep dotted key
      return "a" + repeat(".a", n) + " = 1\n";
    case 1:  // a deep table header
      return "[a" + repeat(".a", n) + "]\n";
    case 2:  // nested arrays
      return "a = " + repeat("[", n) + repeat("]", n) + "\n";
    case 3:  // nested inline tables
      return "a = " + repeat("{b = ", n) + "1" + repeat("}", n) + "\n";
    case 4:  // a long array
      return "[security]\nextra_write_roots = [" + repeat("\"/x\", ", n) + "]\n";
    case 5:  // many tables
      return repeat("[[apps.t]]\n", n);
    case 6:  // dotted keys inside nested inline tables
      return "a = " + repeat("{b.c.d = ", n) + "1" + repeat("}", n) + "\n";
    default:  // many keys in one table
      return "[apps.libreoffice-writer]\n" + repeat("enabled = true\n", n);
  }
}

}  // namespace

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t max_size, unsigned int seed) {
  std::minstd_rand random(seed);
  if (random() % 4 != 0) return LLVMFuzzerMutate(data, size, max_size);
  // Sizes spread over orders of magnitude, from a few levels to the whole allowance.
  const std::size_t n = std::size_t{1} << (random() % 19);
  std::string piece = structure(random, n);
  if (piece.size() >= max_size) piece.resize(max_size / 2);
  const std::size_t at = size == 0 ? 0 : random() % (size + 1);
  std::string text(reinterpret_cast<const char*>(data), size);
  text.insert(at, piece);
  if (text.size() > max_size) text.resize(max_size);
  std::memcpy(data, text.data(), text.size());
  return text.size();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto raw = qs::parse_config(text);
  // A text with fewer key separators than the bound cannot be deep: there the pass that bounds
  // key depth must change no answer (and the parser alone cannot exhaust the stack).
  const auto separators =
      std::ranges::count_if(text, [](char c) { return c == '.' || c == '[' || c == '{'; });
  if (separators < static_cast<std::ptrdiff_t>(qs::kMaxKeyDepth)) {
    const auto alone = qs::parse_config_without_depth_bound(text);
    const auto answer = [](const auto& parsed) {
      return parsed ? std::string("ok") : qs::message_of(parsed.error());
    };
    if (answer(raw) != answer(alone)) fail("the depth bound changed an answer", text);
  }
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
