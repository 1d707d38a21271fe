#include "launch/proc_file.h"

#include <cerrno>

#include "files/guarded_file.h"

namespace qs {
namespace {

// Whether a failed look at a process means that it has ended or is not ours to read.
bool means_process_absent(int error_code) {
  return error_code == ENOENT || error_code == ESRCH || error_code == EACCES || error_code == EPERM;
}

}  // namespace

[[nodiscard]] std::expected<std::optional<std::string>, SystemError> read_proc_file(
    int dir_fd, std::string_view path) {
  auto contents = read_bounded_file_at(dir_fd, path);
  if (contents) return std::move(*contents);
  const FileSafetyError& error = contents.error();
  if (error.kind == FileSafetyError::Kind::CannotAccess &&
      !means_process_absent(error.error.code)) {
    return std::unexpected(error.error);
  }
  return std::nullopt;
}

}  // namespace qs
