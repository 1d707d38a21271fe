#include "launch/proc_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/path.h"
#include "base/utf8.h"
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
  auto contents = read_bounded_file(path, dir_fd);
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

// A command-line argument as the record gives it back once written and read: invalid UTF-8
// replaced, and a final carriage return lost to the CR LF line terminator.
std::string as_read_back(std::string_view argument) {
  std::string text = lossy_utf8(argument);
  if (text.ends_with('\r')) text.pop_back();
  return text;
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

[[nodiscard]] std::expected<bool, LauncherError> runs_bridge_file(std::string_view proc_root,
                                                                  std::uint32_t pid,
                                                                  std::string_view python_program,
                                                                  std::string_view bridge_file) {
  const std::string entry = join_path(proc_root, std::to_string(pid));
  const auto cmdline = read_proc_file(AT_FDCWD, join_path(entry, "cmdline"), ::geteuid());
  if (!cmdline) {
    const int code = cmdline.error().code;
    if (code == EACCES || code == EPERM) {  // the user's process, which still runs
      return fail(LauncherError::ProcessCheckFailed{pid, cmdline.error()});
    }
    return fail(LauncherError::ListProcesses{cmdline.error()});
  }
  return *cmdline && command_line_runs(**cmdline, python_program, bridge_file);
}

bool command_line_runs(std::string_view cmdline, std::string_view python_program,
                       std::string_view bridge_file) {
  if (cmdline.ends_with('\0')) cmdline.remove_suffix(1);
  const std::size_t last = cmdline.rfind('\0');
  if (last == std::string_view::npos) return false;
  const std::string_view file = cmdline.substr(last + 1);
  const std::string_view before = cmdline.substr(0, last);
  const std::size_t program = before.rfind('\0');
  if (before.substr(program == std::string_view::npos ? 0 : program + 1) != python_program) {
    return false;
  }
  // Compare the file as the record would give it back, or a bridge started from a path that is
  // not UTF-8 or ends in a carriage return would never be recognised again.
  return file == bridge_file || as_read_back(file) == bridge_file;
}

}  // namespace qs
