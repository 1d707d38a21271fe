#include "launch/proc_file.h"

#include <fcntl.h>
#include <sys/stat.h>

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

namespace {

// Whether the process entry that holds `path` (its directory) belongs to `user`; an entry gone
// or unreadable meanwhile is no longer anyone's.
bool entry_belongs_to(int dir_fd, std::string_view path, uid_t user) {
  const std::string entry(path.substr(0, path.rfind('/')));
  struct stat status {};
  return ::fstatat(dir_fd, entry.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
         status.st_uid == user;
}

[[nodiscard]] std::expected<std::optional<std::string>, SystemError> read_with_owner(
    int dir_fd, std::string_view path, std::optional<uid_t> user) {
  auto contents = read_bounded_file_at(dir_fd, path);
  if (contents) return std::move(*contents);
  const FileSafetyError& error = contents.error();
  if (error.kind != FileSafetyError::Kind::CannotAccess) return std::nullopt;
  const int code = error.error.code;
  const bool refused = code == EACCES || code == EPERM;
  if (refused && user && entry_belongs_to(dir_fd, path, *user)) {
    return std::unexpected(error.error);
  }
  if (!means_no_process(code)) return std::unexpected(error.error);
  return std::nullopt;
}

}  // namespace

[[nodiscard]] std::expected<std::optional<std::string>, SystemError> read_proc_file(
    int dir_fd, std::string_view path) {
  return read_with_owner(dir_fd, path, std::nullopt);
}

[[nodiscard]] std::expected<std::optional<std::string>, SystemError> read_proc_file(
    int dir_fd, std::string_view path, uid_t user) {
  return read_with_owner(dir_fd, path, user);
}

}  // namespace qs
