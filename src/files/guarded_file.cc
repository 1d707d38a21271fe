#include "files/guarded_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/eintr.h"
#include "base/output_stream.h"
#include "base/path.h"
#include "base/unique_fd.h"

namespace qs {
namespace {

using Kind = FileSafetyError::Kind;

struct OpenFile {
  UniqueFd fd;
  struct stat status;
};

// One open and one fstat; the checks of the callers all work on this one status, taken from
// the descriptor, so a path swapped after the open cannot change the answer.
[[nodiscard]] std::expected<OpenFile, FileSafetyError> open_regular(std::string_view path,
                                                                    int dir_fd = AT_FDCWD) {
  const std::string c_path(path);
  if (has_nul_byte(path))
    return std::unexpected(FileSafetyError::cannot(FileOperation::Open, path, EINVAL));
  const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  UniqueFd fd(retry_on_eintr([&] { return ::openat(dir_fd, c_path.c_str(), flags); }));
  if (!fd.valid()) {
    switch (errno) {
      case ELOOP:
        return std::unexpected(FileSafetyError::of(Kind::SymbolicLink, path));
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
                                                                          uid_t owner) {
  auto file = open_regular(path);
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
  auto file = open_owned_private(path, owner);
  if (!file) return std::unexpected(std::move(file.error()));
  return read_to_limit(file->fd, path, limit);
}

[[nodiscard]] std::expected<std::string, FileSafetyError> read_bounded_file(std::string_view path) {
  return read_bounded_file_at(AT_FDCWD, path);
}

[[nodiscard]] std::expected<std::string, FileSafetyError> read_bounded_file_at(
    int dir_fd, std::string_view path) {
  auto file = open_regular(path, dir_fd);
  if (!file) return std::unexpected(std::move(file.error()));
  return read_to_limit(file->fd, path, kBoundedFileLimit);
}

[[nodiscard]] std::expected<UnnamedFile, FileSafetyError> UnnamedFile::create(
    int dir_fd, std::string_view path, std::string_view contents) {
  UniqueFd fd(retry_on_eintr(
      [&] { return ::openat(dir_fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600); }));
  if (!fd.valid())
    return std::unexpected(FileSafetyError::cannot(FileOperation::Open, path, errno));
  if (auto written = write_all(fd.get(), contents); !written) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::Write, path, written.error()));
  }
  return UnnamedFile(dir_fd, std::string(path), std::move(fd), contents.size());
}

[[nodiscard]] std::expected<void, FileSafetyError> UnnamedFile::put_in_place(
    std::string_view contents) {
  const auto cannot = [&](FileOperation operation, int code) {
    return std::unexpected(FileSafetyError::cannot(operation, path_, code));
  };
  if (contents.size() > size_) return cannot(FileOperation::Write, ENOSPC);
  // Overwriting bytes the file already has needs no new room; shortening it frees some.
  for (std::size_t done = 0; done < contents.size();) {
    const ssize_t n = retry_on_eintr([&] {
      return ::pwrite(fd_.get(), contents.data() + done, contents.size() - done,
                      static_cast<off_t>(done));
    });
    if (n <= 0) {
      return std::unexpected(FileSafetyError::cannot(
          FileOperation::Write, path_,
          n < 0 ? SystemError::from_errno(errno) : SystemError::short_write()));
    }
    done += static_cast<std::size_t>(n);
  }
  if (contents.size() < size_ &&
      retry_on_eintr([&] { return ::ftruncate(fd_.get(), static_cast<off_t>(contents.size())); }) !=
          0) {
    return cannot(FileOperation::Write, errno);
  }
  size_ = contents.size();

  const std::string name(path_.substr(path_.rfind('/') + 1));
  // Whatever else stands there goes, a symbolic link itself and never its target.
  if (::unlinkat(dir_fd_, name.c_str(), 0) != 0 && errno != ENOENT) {
    if (errno == EISDIR) return std::unexpected(FileSafetyError::of(Kind::NotRegularFile, path_));
    return cannot(FileOperation::Remove, errno);
  }
  // Through /proc, since linking the descriptor itself (AT_EMPTY_PATH) needs a privilege on
  // kernels before 6.10; without /proc mounted, that is the one way left. A name that appeared
  // since the unlink fails with EEXIST instead of being replaced.
  const std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
  int linked = ::linkat(AT_FDCWD, self.c_str(), dir_fd_, name.c_str(), AT_SYMLINK_FOLLOW);
  if (linked != 0 && errno == ENOENT) {
    linked = ::linkat(fd_.get(), "", dir_fd_, name.c_str(), AT_EMPTY_PATH);
  }
  if (linked != 0) {
    if (errno == EEXIST) return std::unexpected(FileSafetyError::of(Kind::AlreadyExists, path_));
    return cannot(FileOperation::Write, errno);
  }
  return {};
}

[[nodiscard]] std::expected<void, FileSafetyError> write_private_file(std::string_view path,
                                                                      std::string_view contents) {
  if (has_nul_byte(path))
    return std::unexpected(FileSafetyError::cannot(FileOperation::Open, path, EINVAL));
  const std::size_t slash = path.rfind('/');
  const std::string dir(slash == std::string_view::npos ? "." : path.substr(0, slash + 1));
  const UniqueFd dir_fd(
      retry_on_eintr([&] { return ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
  if (!dir_fd.valid()) {
    if (errno == ENOENT) return std::unexpected(FileSafetyError::of(Kind::NotFound, path));
    return std::unexpected(FileSafetyError::cannot(FileOperation::Open, path, errno));
  }
  auto file = UnnamedFile::create(dir_fd.get(), path, contents);
  if (!file) return std::unexpected(std::move(file.error()));
  return file->put_in_place(contents);
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
  auto file = open_regular(path);
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
