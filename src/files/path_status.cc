#include "files/path_status.h"

#include <string>

namespace qs {

std::expected<struct stat, FileSafetyError> status_of_path(std::string_view path) {
  struct stat status {};
  if (path.find('\0') != std::string_view::npos) {
    return std::unexpected(
        FileSafetyError::cannot(FileOperation::Inspect, path, SystemError::nul_in_path()));
  }
  if (::lstat(std::string(path).c_str(), &status) != 0) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::Inspect, path, errno));
  }
  return status;
}

}  // namespace qs
