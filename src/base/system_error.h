#pragma once

#include <string>

namespace qs {

// A failure of the operating system: an errno value, or one of the few failures that have no
// number and carry a fixed description instead.
struct SystemError {
  int code = 0;  // errno value; 0 when `fixed_text` describes the failure
  const char* fixed_text = nullptr;

  static SystemError from_errno(int code) { return SystemError{code, nullptr}; }
  static SystemError short_write() { return SystemError{0, "failed to write whole buffer"}; }
  static SystemError nul_in_path() {
    return SystemError{0, "file name contained an unexpected NUL byte"};
  }

  friend bool operator==(const SystemError&, const SystemError&) = default;
};

// "Permission denied (os error 13)", or the fixed text.
std::string describe(const SystemError& error);

}  // namespace qs
