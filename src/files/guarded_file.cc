#include "files/guarded_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

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
// `path` is opened relative to `dir_fd` as it stands, or by its last component where `by_name`.
[[nodiscard]] std::expected<OpenFile, FileSafetyError> open_regular(std::string_view path,
                                                                    int dir_fd = AT_FDCWD,
                                                                    bool by_name = false) {
  const std::string c_path(by_name ? last_component(path) : path);
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
                                                                          uid_t owner, int dir_fd) {
  auto file = open_regular(path, dir_fd, dir_fd != AT_FDCWD);
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

// What a file system without unnamed files answers an O_TMPFILE open with (NFS, most FUSE file
// systems, an older kernel's overlay), or the link that names such a file.
bool unnamed_file_refused(int code) {
  return code == EOPNOTSUPP || code == EISDIR || code == EINVAL || code == ENOSYS;
}

// What a file system without hard links answers a link with.
bool hard_link_refused(int code) {
  return code == EPERM || code == EOPNOTSUPP || code == ENOSYS;
}

[[nodiscard]] std::expected<UniqueFd, FileSafetyError> create_temporary(int dir_fd,
                                                                        std::string_view path) {
  const std::string temporary = PendingFile::temporary_path(path);
  const std::string name(last_component(temporary));
  UniqueFd fd(retry_on_eintr([&] {
    return ::openat(dir_fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0600);
  }));
  if (fd.valid()) return fd;
  if (errno == EEXIST) return std::unexpected(FileSafetyError::of(Kind::AlreadyExists, temporary));
  return std::unexpected(FileSafetyError::cannot(FileOperation::Open, path, errno));
}

}  // namespace

[[nodiscard]] std::expected<std::string, FileSafetyError> read_private_file(std::string_view path,
                                                                            std::uint64_t limit,
                                                                            uid_t owner,
                                                                            int dir_fd) {
  auto file = open_owned_private(path, owner, dir_fd);
  if (!file) return std::unexpected(std::move(file.error()));
  return read_to_limit(file->fd, path, limit);
}

[[nodiscard]] std::expected<std::string, FileSafetyError> read_bounded_file(std::string_view path,
                                                                            int base_fd) {
  auto file = open_regular(path, base_fd);
  if (!file) return std::unexpected(std::move(file.error()));
  return read_to_limit(file->fd, path, kBoundedFileLimit);
}

[[nodiscard]] std::expected<PendingFile, FileSafetyError> PendingFile::create(
    int dir_fd, std::string_view path, std::string_view contents) {
  UniqueFd fd(retry_on_eintr(
      [&] { return ::openat(dir_fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600); }));
  const bool named = !fd.valid() && unnamed_file_refused(errno);
  if (named) {
    auto temporary = create_temporary(dir_fd, path);
    if (!temporary) return std::unexpected(std::move(temporary.error()));
    fd = std::move(*temporary);
  }
  if (!fd.valid())
    return std::unexpected(FileSafetyError::cannot(FileOperation::Open, path, errno));
  PendingFile file(dir_fd, path, std::move(fd), contents.size(), named);
  if (auto written = write_all(file.fd_.get(), contents); !written) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::Write, path, written.error()));
  }
  return file;
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : dir_fd_(other.dir_fd_),
      path_(std::move(other.path_)),
      fd_(std::move(other.fd_)),
      size_(other.size_),
      named_(std::exchange(other.named_, false)) {}

PendingFile::~PendingFile() {
  if (named_) {
    (void)::unlinkat(dir_fd_, std::string(last_component(temporary_path(path_))).c_str(), 0);
  }
}

// Overwriting bytes the file already has needs no new room; shortening it frees some.
[[nodiscard]] std::expected<void, FileSafetyError> PendingFile::rewrite(std::string_view contents) {
  if (contents.size() > size_)
    return std::unexpected(FileSafetyError::cannot(FileOperation::Write, path_, ENOSPC));
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
    return std::unexpected(FileSafetyError::cannot(FileOperation::Write, path_, errno));
  }
  size_ = contents.size();
  return {};
}

// A link refuses to replace a name that appeared meanwhile; where the file system has no hard
// links, a rename (the old record is gone already) puts it in place in one step all the same.
[[nodiscard]] std::expected<void, FileSafetyError> PendingFile::name_temporary() {
  const std::string temporary(last_component(temporary_path(path_)));
  const std::string name(last_component(path_));
  if (::linkat(dir_fd_, temporary.c_str(), dir_fd_, name.c_str(), 0) == 0) {
    (void)::unlinkat(dir_fd_, temporary.c_str(), 0);  // else the next launch or stop removes it
  } else if (!hard_link_refused(errno) ||
             ::renameat(dir_fd_, temporary.c_str(), dir_fd_, name.c_str()) != 0) {
    if (errno == EEXIST) return std::unexpected(FileSafetyError::of(Kind::AlreadyExists, path_));
    return std::unexpected(FileSafetyError::cannot(FileOperation::Write, path_, errno));
  }
  named_ = false;
  return {};
}

[[nodiscard]] std::expected<void, FileSafetyError> write_private_file(PendingFile room,
                                                                      std::string_view contents) {
  if (auto rewritten = room.rewrite(contents); !rewritten) return rewritten;
  const int dir_fd = room.dir_fd_;
  const std::string& path = room.path_;
  const std::string name(last_component(path));
  // Whatever else stands there goes, a symbolic link itself and never its target.
  if (::unlinkat(dir_fd, name.c_str(), 0) != 0 && errno != ENOENT) {
    if (errno == EISDIR) return std::unexpected(FileSafetyError::of(Kind::NotRegularFile, path));
    return std::unexpected(FileSafetyError::cannot(FileOperation::Remove, path, errno));
  }
  if (room.named_) return room.name_temporary();
  // Through /proc, since linking the descriptor itself (AT_EMPTY_PATH) needs a privilege on
  // kernels before 6.10; without /proc mounted, that is the one way left. A name that appeared
  // since the unlink fails with EEXIST instead of being replaced.
  const std::string self = "/proc/self/fd/" + std::to_string(room.fd_.get());
  int linked = ::linkat(AT_FDCWD, self.c_str(), dir_fd, name.c_str(), AT_SYMLINK_FOLLOW);
  if (linked != 0 && errno == ENOENT) {
    linked = ::linkat(room.fd_.get(), "", dir_fd, name.c_str(), AT_EMPTY_PATH);
  }
  if (linked == 0) return {};
  if (errno == EEXIST) return std::unexpected(FileSafetyError::of(Kind::AlreadyExists, path));
  if (errno != ENOENT && errno != EPERM && !unnamed_file_refused(errno)) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::Write, path, errno));
  }
  // The unnamed file cannot be named here after all: its contents go to a named one, whose
  // room was not taken beforehand (a full file system fails now, after the starts).
  auto temporary = create_temporary(dir_fd, path);
  if (!temporary) return std::unexpected(std::move(temporary.error()));
  room.fd_ = std::move(*temporary);
  room.named_ = true;
  if (auto written = write_all(room.fd_.get(), contents); !written) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::Write, path, written.error()));
  }
  return room.name_temporary();
}

[[nodiscard]] std::expected<void, FileSafetyError> remove_file_if_present(std::string_view path,
                                                                          int dir_fd) {
  if (has_nul_byte(path)) {
    return std::unexpected(
        FileSafetyError::cannot(FileOperation::Remove, path, SystemError::nul_in_path()));
  }
  const std::string removed(dir_fd == AT_FDCWD ? path : last_component(path));
  if (::unlinkat(dir_fd, removed.c_str(), 0) != 0 && errno != ENOENT) {
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
