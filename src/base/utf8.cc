#include "base/utf8.h"

namespace qs {

std::size_t utf8_char_length(std::string_view text, std::size_t pos, std::size_t* invalid_run) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  }
  std::size_t seen = 1;
  if (length != 0) {
    for (; seen < length && pos + seen < text.size(); ++seen) {
      const unsigned char c = byte(pos + seen);
      const unsigned char min = seen == 1 ? low : 0x80;
      const unsigned char max = seen == 1 ? high : 0xBF;
      if (c < min || c > max) break;
    }
    if (seen == length) return length;
  }
  if (invalid_run != nullptr) *invalid_run = seen;
  return 0;
}

bool is_valid_utf8(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = utf8_char_length(text, pos, nullptr);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

std::string lossy_utf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t pos = 0; pos < bytes.size();) {
    std::size_t invalid_run = 0;
    const std::size_t length = utf8_char_length(bytes, pos, &invalid_run);
    if (length != 0) {
      text.append(bytes.substr(pos, length));
      pos += length;
    } else {
      text.append("\xEF\xBF\xBD");
      pos += invalid_run;
    }
  }
  return text;
}

}  // namespace qs
