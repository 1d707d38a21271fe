#pragma once

#include <string>

namespace qs {

// The fixed locations the launcher uses; tests pass their own.
struct SystemPaths {
  std::string soffice_program = "/usr/bin/soffice";
  std::string python_program = "/usr/bin/python3";
  std::string proc_root = "/proc";
};

}  // namespace qs
