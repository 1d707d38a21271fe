#include "launch/process_scan.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>

#include "files/dir_stream.h"
#include "files/guarded_file.h"
#include "files/path.h"
#include "files/unique_fd.h"
#include "launch/process_id.h"

namespace qs {
namespace {

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

bool runs_soffice(int proc_fd, std::string_view entry) {
  const auto comm = read_bounded_file_at(proc_fd, join_path(entry, "comm"));
  // A process that ended during the scan, or an unreadable comm, is simply not counted.
  return comm && trim(*comm) == "soffice.bin";
}

}  // namespace

std::expected<std::vector<std::uint32_t>, LauncherError> find_soffice_processes(
    std::string_view proc_root, uid_t user) {
  const std::string root(proc_root);
  UniqueFd dir_fd(
      retry_on_eintr([&] { return ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
  if (!dir_fd.valid()) {
    return std::unexpected(
        LauncherError{LauncherError::ListProcesses{SystemError::from_errno(errno)}});
  }
  const int fd = dir_fd.get();
  DirStream listing(::fdopendir(fd));
  if (!listing) {
    return std::unexpected(
        LauncherError{LauncherError::ListProcesses{SystemError::from_errno(errno)}});
  }
  (void)dir_fd.release();  // the listing owns the descriptor now

  std::vector<std::uint32_t> found;
  // readdir returns null both at the end and on an error; either ends the listing.
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::string_view name = entry->d_name;
    const auto pid = parse_process_id(name);
    if (!pid) continue;
    struct stat status {};
    if (::fstatat(fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (status.st_uid != user) continue;
    if (runs_soffice(fd, name)) found.push_back(*pid);
  }
  std::ranges::sort(found);
  return found;
}

}  // namespace qs
