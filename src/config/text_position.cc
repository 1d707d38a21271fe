#include "config/text_position.h"

#include "base/utf8.h"

namespace qs {
namespace {

bool is_continuation_byte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::size_t next_char(std::string_view text, std::size_t pos) {
  const std::size_t length = utf8_char_length(text, pos, nullptr);
  return pos + (length == 0 ? 1 : length);
}

}  // namespace

TextPosition position_at(std::string_view text, std::size_t offset) {
  if (offset > text.size() || (offset < text.size() && is_continuation_byte(text[offset]))) {
    offset = text.size();
  }
  TextPosition position;
  for (std::size_t pos = 0; pos < offset;) {
    if (text[pos] == '\n') {
      ++position.line;
      position.column = 1;
      ++pos;
    } else {
      ++position.column;
      pos = next_char(text, pos);
    }
  }
  return position;
}

ParserOffsets::ParserOffsets(std::string_view text) : size_(text.size()) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  std::size_t pos = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
  line_starts_.push_back(0);
  while (pos < text.size()) {
    chars_.push_back(static_cast<std::uint32_t>(pos));
    if (text[pos] == '\n') {
      ++pos;
      line_starts_.push_back(static_cast<std::uint32_t>(chars_.size()));
    } else {
      pos = next_char(text, pos);
    }
  }
}

std::size_t ParserOffsets::offset_of(std::uint32_t line, std::uint32_t column) const {
  if (line == 0 || line > line_starts_.size()) return size_;
  // A line ends with its line feed, which a position may name; the last line ends with the text.
  const std::uint64_t last = line < line_starts_.size() ? line_starts_[line] - 1 : chars_.size();
  const std::uint64_t index =
      std::uint64_t{line_starts_[line - 1]} + (column == 0 ? 0 : column - 1);
  if (index > last || index >= chars_.size()) return size_;
  return chars_[index];
}

}  // namespace qs
