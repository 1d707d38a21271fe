#include "files/guarded_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "base/eintr.h"
#include "base/output_stream.h"
#include "base/path.h"
#include "base/unique_fd.h"
#include "files/directory_walk.h"

namespace qs {
namespace {

using Kind = FileSafetyError::Kind;

struct OpenFile {
  UniqueFd fd;
  struct stat status;
};

// One open and one fstat; the checks of the callers all work on this one status, taken from
// the descriptor, so a path swapped after the open cannot change the answer. `name` is opened
// relative to `dir_fd`; messages name `path`.
[[nodiscard]] std::expected<OpenFile, FileSafetyError> open_regular(int dir_fd,
                                                                    const std::string& name,
                                                                    std::string_view path) {
  if (has_nul_byte(path))
    return std::unexpected(FileSafetyError::cannot(FileOperation::Open, path, EINVAL));
  const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  UniqueFd fd(retry_on_eintr([&] { return ::openat(dir_fd, name.c_str(), flags); }));
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
  auto file =
      open_regular(dir_fd, std::string(dir_fd == AT_FDCWD ? path : last_component(path)), path);
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

// What a file system answers a rename that must not replace a name with, where it cannot tell.
bool no_replace_refused(int code) {
  return code == EINVAL || code == EOPNOTSUPP || code == ENOSYS;
}

// Whether the unnamed file can be named through /proc later: where /proc does not show it (not
// mounted, or another table in its place), a named temporary stands in from the start, so that
// naming the record after the starts needs no room the launch did not take before them.
bool nameable_through_proc(const UniqueFd& fd) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
  struct stat shown {};
  struct stat own {};
  return ::stat(self.c_str(), &shown) == 0 && ::fstat(fd.get(), &own) == 0 &&
         shown.st_dev == own.st_dev && shown.st_ino == own.st_ino;
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
  auto file = open_regular(base_fd, std::string(path), path);
  if (!file) return std::unexpected(std::move(file.error()));
  return read_to_limit(file->fd, path, kBoundedFileLimit);
}

[[nodiscard]] std::expected<PendingFile, FileSafetyError> PendingFile::create(
    int dir_fd, std::string_view path, std::string_view contents) {
  UniqueFd fd(retry_on_eintr(
      [&] { return ::openat(dir_fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600); }));
  if (!fd.valid() && !unnamed_file_refused(errno))
    return std::unexpected(FileSafetyError::cannot(FileOperation::Open, path, errno));
  const bool named = !fd.valid() || !nameable_through_proc(fd);
  if (named) {
    auto temporary = create_temporary(dir_fd, path);
    if (!temporary) return std::unexpected(std::move(temporary.error()));
    fd = std::move(*temporary);
  }
  PendingFile file(dir_fd, path, std::move(fd), contents.size(), named);
  // The umask narrows the creation mode (0200 under 0477): the mode is set here, so that every
  // later launch and stop can read the record back.
  if (::fchmod(file.fd_.get(), 0600) != 0) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::Write, path, errno));
  }
  if (auto written = write_all(file.fd_.get(), contents); !written) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::Write, path, written.error()));
  }
  return file;
}

void PendingFile::remove_leftover(int dir_fd, std::string_view path) {
  const std::string name(last_component(temporary_path(path)));
  struct stat status {};
  if (::fstatat(dir_fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
    (void)::unlinkat(dir_fd, name.c_str(), 0);
  }
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

// A rename moves the inode it has: it takes no room, so a file system that was full since the
// room was taken still names the record. It refuses to replace a name that appeared meanwhile;
// where the file system cannot promise that, a plain rename follows (the old record is gone
// already, and the directory is the user's alone and locked).
[[nodiscard]] std::expected<void, FileSafetyError> PendingFile::name_temporary() {
  const std::string temporary(last_component(temporary_path(path_)));
  const std::string name(last_component(path_));
  if (::renameat2(dir_fd_, temporary.c_str(), dir_fd_, name.c_str(), RENAME_NOREPLACE) != 0 &&
      (!no_replace_refused(errno) ||
       ::renameat(dir_fd_, temporary.c_str(), dir_fd_, name.c_str()) != 0)) {
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
  // Through /proc, which showed the file when its room was taken. A name that appeared since the
  // unlink fails with EEXIST instead of being replaced.
  const std::string self = "/proc/self/fd/" + std::to_string(room.fd_.get());
  if (::linkat(AT_FDCWD, self.c_str(), dir_fd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return {};
  if (errno == EEXIST) return std::unexpected(FileSafetyError::of(Kind::AlreadyExists, path));
  if (errno != ENOENT && errno != EPERM && !unnamed_file_refused(errno)) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::Write, path, errno));
  }
  // A file system that makes unnamed files but will not link them: the contents go to a named
  // one after all, whose room was not taken beforehand (a full file system fails now).
  auto temporary = create_temporary(dir_fd, path);
  if (!temporary) return std::unexpected(std::move(temporary.error()));
  room.fd_ = std::move(*temporary);
  room.named_ = true;
  if (::fchmod(room.fd_.get(), 0600) != 0) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::Write, path, errno));
  }
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
  // Nobody else may be able to change the directories on the way either, or they could put
  // another file in its place between this check and the interpreter's own open.
  const uid_t user = ::geteuid();
  auto walked = walk_safe_directories(path, user);
  if (!walked) return std::unexpected(std::move(walked.error()));
  auto file = open_regular(walked->directory.get(), walked->name, path);
  if (!file) return std::unexpected(std::move(file.error()));
  const uid_t owner = file->status.st_uid;
  if (owner != user && owner != 0) {
    return std::unexpected(FileSafetyError::of(Kind::NotOwned, path));
  }
  if ((file->status.st_mode & 0022) != 0) {
    return std::unexpected(FileSafetyError::writable_by_others(path, file->status.st_mode & 07777));
  }
  return {};
}

}  // namespace qs
