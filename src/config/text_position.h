#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qs {

struct TextPosition {
  std::uint32_t line = 1;
  std::uint32_t column = 1;
  friend bool operator==(const TextPosition&, const TextPosition&) = default;
};

// Line and column of byte `offset` in `text`: line = 1 + line feeds before it, column = 1 +
// code points since the last line feed. An offset past the end or inside a character stands
// for the end of the text.
TextPosition position_at(std::string_view text, std::size_t offset);

// Byte offsets of positions as the TOML parser reports them (lines counted by line feeds,
// columns in code points, a leading byte-order mark not counted). Built once per text, so that
// each lookup is constant time: a document with many keys must not cost a scan per key.
class ParserOffsets {
 public:
  explicit ParserOffsets(std::string_view text);

  // A position beyond its line or beyond the text gives the end of the text.
  std::size_t offset_of(std::uint32_t line, std::uint32_t column) const;

 private:
  std::size_t size_;
  std::vector<std::uint32_t> chars_;        // byte offset of every code point
  std::vector<std::uint32_t> line_starts_;  // index in chars_ of each line's first code point
};

}  // namespace qs
