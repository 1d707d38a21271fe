#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qs {

// The TOML parser and the walks over its tree recurse once per level, and a dotted key or a
// header can name a hundred thousand levels in a small file. This bound, applied before the text
// reaches the parser, keeps the stack depth independent of the input: 256 keys, plus the 256
// levels of arrays and inline tables the parser allows itself, take well under a quarter of a
// 1 MiB stack even under AddressSanitizer (about 2000 overflowed it there). No setting lies
// deeper than three keys, so only pathological files meet the bound, and every realistic file,
// however wrong, gets the parser's own first error.
inline constexpr std::size_t kMaxKeyDepth = 256;

struct TooDeepKey {
  std::size_t key = 0;  // the first key segment beyond the bound
  // What completes the text before `key` into a document of the same statements, the deep key
  // replaced by one plain key: its '=' and value or its closing brackets, and the brackets of
  // the arrays and inline tables around it.
  std::string completion;
};

// The first key, in a table header or a key/value pair (inline tables included), that lies
// deeper than kMaxKeyDepth keys below the root; nothing when none does.
//
// What it promises: on every prefix of a text that the parser accepts, it follows the text as
// the parser does (strings, comments, headers, inline tables, arrays), so it counts exactly the
// parser's keys, and the text before `key` with the completion is within the bound: parsed, it
// gives the errors that come first in the file, as the parser would without the bound. Text it
// cannot follow is skipped, since the parser refuses it anyway. Linear in the text, iterative.
std::optional<TooDeepKey> first_key_too_deep(std::string_view text);

}  // namespace qs
