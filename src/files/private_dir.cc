#include "files/private_dir.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/eintr.h"
#include "base/unique_fd.h"
#include "files/path_status.h"

namespace qs {
namespace {

// The path without its last component; none for the root or a single relative name.
std::optional<std::string> parent_of(std::string_view path) {
  while (path.size() > 1 && path.back() == '/')
    path.remove_suffix(1);
  const std::size_t slash = path.rfind('/');
  if (path == "/" || slash == std::string_view::npos) return std::nullopt;
  std::string_view parent = path.substr(0, slash);
  while (parent.size() > 1 && parent.back() == '/')
    parent.remove_suffix(1);
  return std::string(parent.empty() ? "/" : parent);
}

bool is_directory_following_links(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Made with mode 0700 whatever the umask, which narrows mkdir's mode (to 0500 under 0277, which
// would lock every later launch out); 0 or -1 with errno, as mkdir.
int make_directory(const std::string& path) {
  if (retry_on_eintr([&] { return ::mkdir(path.c_str(), 0700); }) != 0) return -1;
  const UniqueFd fd(retry_on_eintr(
      [&] { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }));
  if (fd.valid()) return ::fchmod(fd.get(), 0700);
  // A umask that leaves its owner no read permission (0477): by name, never through a link.
  if (errno == EACCES) return ::fchmodat(AT_FDCWD, path.c_str(), 0700, AT_SYMLINK_NOFOLLOW);
  // Something else stands there since (a link, a file): the tests that follow refuse it.
  return errno == ELOOP || errno == ENOTDIR ? 0 : -1;
}

// Creates `dir` and every missing ancestor with mode 0700; returns the errno of a failure.
// Iterative, so a hostile path of many components cannot exhaust the stack.
int make_directories(const std::string& dir) {
  struct Pending {
    std::string path;
    bool parent_made = false;
  };
  std::vector<Pending> pending{{dir}};
  while (!pending.empty()) {
    Pending& current = pending.back();
    if (make_directory(current.path) == 0) {
      pending.pop_back();
      continue;
    }
    const int error = errno;
    if (error == ENOENT && !current.parent_made) {
      if (auto parent = parent_of(current.path)) {
        current.parent_made = true;
        pending.push_back({std::move(*parent)});
        continue;
      }
    }
    // Another process may have made it meanwhile; a link to a directory is fine here too,
    // since only the final directory is tested.
    if (error != ENOENT && is_directory_following_links(current.path)) {
      pending.pop_back();
      continue;
    }
    return error;
  }
  return 0;
}

[[nodiscard]] std::expected<void, FileSafetyError> test_directory(std::string_view path,
                                                                  const struct stat& status,
                                                                  uid_t owner) {
  if (!S_ISDIR(status.st_mode)) {
    return std::unexpected(
        FileSafetyError{std::string(path), FileSafetyError::NotPlainDirectory{}});
  }
  if (status.st_uid != owner) {
    return std::unexpected(FileSafetyError{std::string(path), FileSafetyError::NotOwned{}});
  }
  if ((status.st_mode & 0077) != 0) {
    return std::unexpected(FileSafetyError{
        std::string(path), FileSafetyError::WrongMode{status.st_mode & 07777, 0700}});
  }
  return {};
}

}  // namespace

[[nodiscard]] std::expected<void, FileSafetyError> ensure_private_dir(std::string_view path,
                                                                      uid_t owner) {
  auto status = status_of_path(path);
  if (status) return test_directory(path, *status, owner);
  // ENOTDIR also means the path is missing: an ancestor is not a directory. Going on lets the
  // creation report it against the path's parent: "File exists" when the parent is that file,
  // "Not a directory" when the file lies further up.
  const auto* failed = std::get_if<FileSafetyError::CannotAccess>(&status.error().kind);
  if (failed == nullptr || (failed->error != SystemError::from_errno(ENOENT) &&
                            failed->error != SystemError::from_errno(ENOTDIR))) {
    return std::unexpected(std::move(status.error()));
  }
  if (auto parent = parent_of(path)) {
    if (const int error = make_directories(*parent); error != 0) {
      return std::unexpected(
          FileSafetyError::cannot(FileOperation::CreateDirectory, *parent, error));
    }
  }
  const std::string c_path(path);
  if (make_directory(c_path) != 0 && errno != EEXIST) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::CreateDirectory, path, errno));
  }
  status = status_of_path(path);
  if (!status) return std::unexpected(std::move(status.error()));
  return test_directory(path, *status, owner);
}

}  // namespace qs
