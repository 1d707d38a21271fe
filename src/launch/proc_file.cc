#include "launch/proc_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/errno_class.h"
#include "base/path.h"
#include "base/utf8.h"
#include "files/guarded_file.h"

namespace qs {
bool means_no_process(int error_code) {
  // Ended or ending, an entry that is no process directory, or another user's hidden from us.
  return means_gone(error_code) || error_code == ENOTDIR || means_refused(error_code);
}

namespace {

// Whether the process entry `entry` belongs to `user`; an entry gone or unreadable meanwhile is
// no longer anyone's.
bool entry_belongs_to(const std::string& entry, uid_t user) {
  struct stat status {};
  return ::lstat(entry.c_str(), &status) == 0 && status.st_uid == user;
}

// What a read of a process file answers: its contents, nothing (not a process of ours, or one
// that has ended), or a failure of the launcher's own. A refusal is a failure where
// `refused_is_failure()`.
using BoundedRead = std::expected<std::string, FileSafetyError>;

template <typename RefusedIsFailure>
[[nodiscard]] std::expected<std::optional<std::string>, SystemError> answer_of(
    BoundedRead contents, RefusedIsFailure refused_is_failure) {
  if (contents) return std::move(*contents);
  const auto* failed = std::get_if<FileSafetyError::CannotAccess>(&contents.error().kind);
  if (failed == nullptr) return std::nullopt;
  const int code = failed->error.code;
  if ((means_refused(code) && refused_is_failure()) || !means_no_process(code)) {
    return std::unexpected(failed->error);
  }
  return std::nullopt;
}

constexpr auto kNever = [] { return false; };

// A command-line argument as the record gives it back once written and read: invalid UTF-8
// replaced, and a final carriage return lost to the CR LF line terminator.
std::string as_read_back(std::string_view argument) {
  std::string text = lossy_utf8(argument);
  if (text.ends_with('\r')) text.pop_back();
  return text;
}

// Whether a command line already read (its arguments each ended by a NUL byte) runs the bridge
// file as runs_bridge_file says.
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

}  // namespace

[[nodiscard]] std::expected<std::optional<std::string>, SystemError> read_proc_file_at(
    const DirectoryRef& proc, std::string_view relative) {
  return answer_of(read_bounded_file_at(proc, relative), kNever);
}

[[nodiscard]] std::expected<bool, LauncherError> runs_bridge_file(std::string_view proc_root,
                                                                  std::uint32_t pid,
                                                                  std::string_view python_program,
                                                                  std::string_view bridge_file) {
  const std::string entry = join_path(proc_root, std::to_string(pid));
  const auto cmdline = answer_of(read_bounded_file(join_path(entry, "cmdline")),
                                 [&] { return entry_belongs_to(entry, ::geteuid()); });
  if (!cmdline) {
    const int code = cmdline.error().code;
    if (means_refused(code)) {  // the user's process, which still runs
      return fail(LauncherError::ProcessCheckFailed{pid, cmdline.error()});
    }
    return fail(LauncherError::ListProcesses{cmdline.error()});
  }
  return *cmdline && command_line_runs(**cmdline, python_program, bridge_file);
}

}  // namespace qs
