#include "base/path.h"

namespace qs {

std::string join_path(std::string_view base, std::string_view component) {
  std::string joined(base);
  if (joined.empty() || joined.back() != '/') joined.push_back('/');
  joined.append(component);
  return joined;
}

}  // namespace qs
