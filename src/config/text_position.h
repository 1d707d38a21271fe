#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "config/config_error.h"

namespace qs {

// Line and column of byte `offset` in `text`: line = 1 + line feeds before it, column = 1 +
// code points since the last line feed. An offset past the end or inside a character stands
// for the end of the text.
TextPosition position_at(std::string_view text, std::size_t offset);

// The byte offset of a position as the TOML parser reports it (lines counted by line feeds,
// columns in code points, a leading byte-order mark not counted). A position beyond its line
// or beyond the text gives the end of the text.
std::size_t offset_of_parser_position(std::string_view text, std::uint32_t line,
                                      std::uint32_t column);

}  // namespace qs
