#pragma once

#include <string>
#include <string_view>

namespace qs {

// The text of each item (`text(item)`, a string) one after another, `separator` between them and
// `last_separator` before the last ("a, b or c").
template <typename Items, typename Text>
std::string join(const Items& items, Text text, std::string_view separator,
                 std::string_view last_separator) {
  std::string joined;
  std::size_t left = std::size(items);
  for (const auto& item : items) {
    joined += text(item);
    --left;
    if (left > 0) joined += left == 1 ? last_separator : separator;
  }
  return joined;
}

template <typename Items, typename Text>
std::string join(const Items& items, Text text, std::string_view separator) {
  return join(items, text, separator, separator);
}

}  // namespace qs
