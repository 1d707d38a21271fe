#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "base/utf8.h"

namespace qs::fuzz {

// A finding: print what broke and abort, so that libFuzzer saves the input.
[[noreturn]] inline void fail(const char* what, std::string_view detail) {
  std::fprintf(stderr, "property violated: %s: %.*s\n", what, static_cast<int>(detail.size()),
               detail.data());
  std::abort();
}

// Messages reach a terminal: valid UTF-8, no control bytes (a line feed ends them later).
inline void check_message(std::string_view message) {
  if (!is_valid_utf8(message)) fail("message is not UTF-8", message);
  for (const char c : message) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) fail("message holds a control byte", message);
  }
}

}  // namespace qs::fuzz
