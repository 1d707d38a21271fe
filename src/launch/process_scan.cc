#include "launch/process_scan.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>

#include "base/dir_stream.h"
#include "base/eintr.h"
#include "base/path.h"
#include "base/unique_fd.h"
#include "launch/proc_file.h"
#include "launch/process_id.h"

namespace qs {
namespace {

std::unexpected<LauncherError> cannot_list(int code) {
  return fail(LauncherError::ListProcesses{SystemError::from_errno(code)});
}

// ASCII white space without the vertical tab.
bool is_trimmed(char c) {
  return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && is_trimmed(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && is_trimmed(text.back()))
    text.remove_suffix(1);
  return text;
}

}  // namespace

[[nodiscard]] std::expected<std::vector<std::uint32_t>, LauncherError> find_soffice_processes(
    std::string_view proc_root, uid_t user) {
  const std::string root(proc_root);
  UniqueFd dir_fd(
      retry_on_eintr([&] { return ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
  if (!dir_fd.valid()) return cannot_list(errno);
  const int fd = dir_fd.get();
  DirStream listing(::fdopendir(fd));
  if (!listing) return cannot_list(errno);
  (void)dir_fd.release();  // the listing owns the descriptor now

  // A process missed for a failure of ours would let the launch attach to it: only a process
  // that has ended, or is not ours to read, is passed over.
  std::vector<std::uint32_t> found;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(listing.get());
    if (entry == nullptr) {
      if (errno != 0) return cannot_list(errno);
      break;
    }
    const std::string_view name = entry->d_name;
    const auto pid = parse_process_id(name);
    if (!pid) continue;
    struct stat status {};
    if (::fstatat(fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
      if (means_no_process(errno)) continue;
      return cannot_list(errno);
    }
    if (status.st_uid != user) continue;
    auto comm = read_proc_file_at({fd, proc_root}, join_path(name, "comm"));
    if (!comm) return fail(LauncherError::ListProcesses{comm.error()});
    if (*comm && trim(**comm) == "soffice.bin") found.push_back(*pid);
  }
  std::ranges::sort(found);
  return found;
}

}  // namespace qs
