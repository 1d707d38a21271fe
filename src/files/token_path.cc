#include "files/token_path.h"

#include "base/path.h"

namespace qs {

std::string token_path(std::string_view config_dir) {
  return join_path(config_dir, "token");
}

}  // namespace qs
