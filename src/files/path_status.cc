#include "files/path_status.h"

#include <string>

#include "base/path.h"

namespace qs {

[[nodiscard]] std::expected<struct stat, FileSafetyError> status_of_path(std::string_view path) {
  struct stat status {};
  if (has_nul_byte(path)) {
    return std::unexpected(FileSafetyError::nul_in(FileOperation::Inspect, path));
  }
  if (::lstat(std::string(path).c_str(), &status) != 0) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::Inspect, path, errno));
  }
  return status;
}

}  // namespace qs
