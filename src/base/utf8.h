#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qs {

// Length of the well-formed UTF-8 character at `text[pos]`, or 0 when the bytes there do not
// start one. `invalid_run` receives the length of the maximal prefix of a well-formed sequence
// (at least 1) when 0 is returned, so that lossy decoding replaces exactly that run.
std::size_t utf8_char_length(std::string_view text, std::size_t pos, std::size_t* invalid_run);

bool is_valid_utf8(std::string_view text);

// The bytes as text: every maximal invalid sequence becomes one U+FFFD.
std::string lossy_utf8(std::string_view bytes);

}  // namespace qs
