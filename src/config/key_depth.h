#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace qs {

// No setting lies deeper than three keys (apps.<name>.uno_port); a document may nest a few
// levels deeper and still get the schema's ordinary answer, but no further.
inline constexpr std::size_t kMaxKeyDepth = 16;

// The byte offset of the first key, in a table header or a key/value pair (inline tables
// included), that lies deeper than kMaxKeyDepth keys below the root; nothing when none does.
//
// The TOML parser and the walks over its tree recurse once per level, and a dotted key or a
// header can name a hundred thousand levels in a small file: this bound, applied before the
// text reaches the parser, keeps the stack depth independent of the input. Values nested in
// arrays and inline tables are bounded by the parser itself (256 levels). Linear in the text
// and iterative; text it cannot follow is skipped, since the parser refuses it anyway and
// builds nothing beyond the first error.
std::optional<std::size_t> first_key_too_deep(std::string_view text);

}  // namespace qs
