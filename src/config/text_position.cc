#include "config/text_position.h"

#include "files/utf8.h"

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

std::size_t offset_of_parser_position(std::string_view text, std::uint32_t line,
                                      std::uint32_t column) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  std::size_t pos = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
  for (std::uint32_t l = 1; l < line; ++l) {
    const std::size_t feed = text.find('\n', pos);
    if (feed == std::string_view::npos) return text.size();
    pos = feed + 1;
  }
  for (std::uint32_t c = 1; c < column; ++c) {
    if (pos >= text.size() || text[pos] == '\n') return text.size();
    pos = next_char(text, pos);
  }
  return pos;
}

}  // namespace qs
