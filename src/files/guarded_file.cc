#include "files/guarded_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/eintr.h"
#include "base/output_stream.h"
#include "base/path.h"
#include "base/unique_fd.h"
#include "files/path_status.h"

namespace qs {
namespace {

using Kind = FileSafetyError::Kind;

enum class OpenMode { Read, CreateNew };

struct OpenFile {
  UniqueFd fd;
  struct stat status;
};

// One open and one fstat; the checks of the callers all work on this one status, taken from
// the descriptor, so a path swapped after the open cannot change the answer.
[[nodiscard]] std::expected<OpenFile, FileSafetyError> open_regular(std::string_view path,
                                                                    OpenMode mode,
                                                                    int dir_fd = AT_FDCWD) {
  const std::string c_path(path);
  if (has_nul_byte(path))
    return std::unexpected(FileSafetyError::cannot(FileOperation::Open, path, EINVAL));
  const int access = mode == OpenMode::Read ? O_RDONLY : (O_WRONLY | O_CREAT | O_EXCL);
  const int flags = access | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  UniqueFd fd(retry_on_eintr([&] { return ::openat(dir_fd, c_path.c_str(), flags, 0600); }));
  if (!fd.valid()) {
    switch (errno) {
      case ELOOP:
        return std::unexpected(FileSafetyError::of(Kind::SymbolicLink, path));
      case EEXIST:
        return std::unexpected(FileSafetyError::of(Kind::AlreadyExists, path));
      case ENOENT:
        return std::unexpected(FileSafetyError::of(Kind::NotFound, path));
      default:
        return std::unexpected(FileSafetyError::cannot(FileOperation::Open, path, errno));
    }
  }
  OpenFile file{std::move(fd), {}};
  if (::fstat(file.fd.get(), &file.status) != 0) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::Inspect, path, errno));
  }
  if (!S_ISREG(file.status.st_mode)) {
    return std::unexpected(FileSafetyError::of(Kind::NotRegularFile, path));
  }
  return file;
}

[[nodiscard]] std::expected<OpenFile, FileSafetyError> open_owned_private(std::string_view path,
                                                                          OpenMode mode,
                                                                          uid_t owner) {
  auto file = open_regular(path, mode);
  if (!file) return file;
  // The owner test comes first: a foreign file says so, whatever its mode.
  if (file->status.st_uid != owner) {
    return std::unexpected(FileSafetyError::of(Kind::NotOwned, path));
  }
  if ((file->status.st_mode & 0077) != 0) {
    return std::unexpected(FileSafetyError::wrong_mode(path, file->status.st_mode & 07777, 0600));
  }
  return file;
}

// Reads to the end, asking for no more than what remains of limit + 1 bytes in all, so that
// an endless file costs one byte beyond the limit.
[[nodiscard]] std::expected<std::string, FileSafetyError> read_to_limit(const UniqueFd& fd,
                                                                        std::string_view path,
                                                                        std::uint64_t limit) {
  std::string data;
  const std::uint64_t allowance = limit + 1;
  for (;;) {
    const std::uint64_t remaining = allowance - data.size();
    if (remaining == 0) break;
    const std::size_t request = static_cast<std::size_t>(
        std::min<std::uint64_t>(remaining, std::max<std::size_t>(4096, data.size())));
    const std::size_t old_size = data.size();
    data.resize(old_size + request);
    const ssize_t n =
        retry_on_eintr([&] { return ::read(fd.get(), data.data() + old_size, request); });
    if (n < 0) return std::unexpected(FileSafetyError::cannot(FileOperation::Read, path, errno));
    data.resize(old_size + static_cast<std::size_t>(n));
    if (n == 0) break;
  }
  if (data.size() > limit) return std::unexpected(FileSafetyError::too_large(path, limit));
  return data;
}

}  // namespace

[[nodiscard]] std::expected<std::string, FileSafetyError> read_private_file(std::string_view path,
                                                                            std::uint64_t limit,
                                                                            uid_t owner) {
  auto file = open_owned_private(path, OpenMode::Read, owner);
  if (!file) return std::unexpected(std::move(file.error()));
  return read_to_limit(file->fd, path, limit);
}

[[nodiscard]] std::expected<std::string, FileSafetyError> read_bounded_file(std::string_view path) {
  return read_bounded_file_at(AT_FDCWD, path);
}

[[nodiscard]] std::expected<std::string, FileSafetyError> read_bounded_file_at(
    int dir_fd, std::string_view path) {
  auto file = open_regular(path, OpenMode::Read, dir_fd);
  if (!file) return std::unexpected(std::move(file.error()));
  return read_to_limit(file->fd, path, kBoundedFileLimit);
}

[[nodiscard]] std::expected<void, FileSafetyError> write_private_file(std::string_view path,
                                                                      std::string_view contents) {
  if (auto status = status_of_path(path)) {
    if (S_ISDIR(status->st_mode)) {
      return std::unexpected(FileSafetyError::of(Kind::NotRegularFile, path));
    }
    // Whatever else stands there goes, a symbolic link itself and never its target.
    if (::unlink(std::string(path).c_str()) != 0) {
      return std::unexpected(FileSafetyError::cannot(FileOperation::Remove, path, errno));
    }
  } else if (status.error().error != SystemError::from_errno(ENOENT)) {
    return std::unexpected(std::move(status.error()));
  }
  // O_EXCL: a file planted since the unlink makes this fail instead of being written through.
  auto file = open_owned_private(path, OpenMode::CreateNew, ::geteuid());
  if (!file) return std::unexpected(std::move(file.error()));
  if (auto written = write_all(file->fd.get(), contents); !written) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::Write, path, written.error()));
  }
  return {};
}

[[nodiscard]] std::expected<void, FileSafetyError> remove_file_if_present(std::string_view path) {
  if (has_nul_byte(path)) {
    return std::unexpected(
        FileSafetyError::cannot(FileOperation::Remove, path, SystemError::nul_in_path()));
  }
  if (::unlink(std::string(path).c_str()) != 0 && errno != ENOENT) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::Remove, path, errno));
  }
  return {};
}

[[nodiscard]] std::expected<void, FileSafetyError> check_bridge_script(std::string_view path) {
  if (!is_absolute_path(path)) return std::unexpected(FileSafetyError::of(Kind::InvalidPath, path));
  // The record names the bridge by this path on one line: a line feed would let the next line
  // name another process, which the stop would then signal.
  if (path.find('\n') != std::string_view::npos) {
    return std::unexpected(FileSafetyError::of(Kind::LineFeedInPath, path));
  }
  auto file = open_regular(path, OpenMode::Read);
  if (!file) return std::unexpected(std::move(file.error()));
  const uid_t owner = file->status.st_uid;
  if (owner != ::geteuid() && owner != 0) {
    return std::unexpected(FileSafetyError::of(Kind::NotOwned, path));
  }
  if ((file->status.st_mode & 0022) != 0) {
    return std::unexpected(FileSafetyError::writable_by_others(path, file->status.st_mode & 07777));
  }
  return {};
}

}  // namespace qs
