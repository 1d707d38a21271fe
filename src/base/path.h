#pragma once

#include <string>
#include <string_view>

namespace qs {

// Paths are raw bytes. Joining inserts one '/' unless the left side already ends with one;
// nothing is normalised or resolved.
std::string join_path(std::string_view base, std::string_view component);

inline bool is_absolute_path(std::string_view path) {
  return !path.empty() && path[0] == '/';
}

// A NUL byte would end the text early for a system call: such a path or argument is refused,
// never passed on shortened.
inline bool has_nul_byte(std::string_view text) {
  return text.find('\0') != std::string_view::npos;
}

}  // namespace qs
