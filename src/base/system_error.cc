#include "base/system_error.h"

#include <string.h>

namespace qs {

std::string describe(const SystemError& error) {
  if (error.fixed_text != nullptr) return error.fixed_text;
  char buffer[256];
  // The GNU strerror_r returns a pointer that may or may not point into `buffer`; unlike
  // strerror it never shares a static buffer.
  const char* text = strerror_r(error.code, buffer, sizeof buffer);
  return std::string(text) + " (os error " + std::to_string(error.code) + ")";
}

}  // namespace qs
