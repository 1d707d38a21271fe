#include "launch/proc_file.h"

#include <cerrno>

#include "files/guarded_file.h"

namespace qs {
bool means_no_process(int error_code) {
  switch (error_code) {
    case ENOENT:   // ended
    case ESRCH:    // ending
    case ENOTDIR:  // an entry that is no process directory
    case EACCES:   // another user's, hidden from us
    case EPERM:
      return true;
    default:
      return false;
  }
}

[[nodiscard]] std::expected<std::optional<std::string>, SystemError> read_proc_file(
    int dir_fd, std::string_view path) {
  auto contents = read_bounded_file_at(dir_fd, path);
  if (contents) return std::move(*contents);
  const FileSafetyError& error = contents.error();
  if (error.kind == FileSafetyError::Kind::CannotAccess && !means_no_process(error.error.code)) {
    return std::unexpected(error.error);
  }
  return std::nullopt;
}

}  // namespace qs
