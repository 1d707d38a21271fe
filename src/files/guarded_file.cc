#include "files/guarded_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "base/eintr.h"
#include "base/errno_class.h"
#include "base/output_stream.h"
#include "base/path.h"
#include "base/unique_fd.h"
#include "files/directory_walk.h"

namespace qs {
namespace {

struct OpenFile {
  UniqueFd fd;
  struct stat status;
};

// A file as the operations here reach it: `name` relative to `dir_fd`, `path` in messages.
struct Target {
  int dir_fd;
  std::string name;
  std::string path;
};

Target at_path(std::string_view path) {
  return {AT_FDCWD, std::string(path), std::string(path)};
}

Target in_directory(const DirectoryRef& dir, std::string_view name) {
  return {dir.fd, std::string(name), join_path(dir.path, name)};
}

// One open and one fstat; the checks of the callers all work on this one status, taken from
// the descriptor, so a path swapped after the open cannot change the answer.
[[nodiscard]] std::expected<OpenFile, FileSafetyError> open_regular(const Target& file) {
  if (has_nul_byte(file.name)) {
    return std::unexpected(FileSafetyError::nul_in(FileOperation::Open, file.path));
  }
  const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  UniqueFd fd(retry_on_eintr([&] { return ::openat(file.dir_fd, file.name.c_str(), flags); }));
  if (!fd.valid()) return std::unexpected(FileSafetyError::of_failed_open(file.path, errno));
  OpenFile opened{std::move(fd), {}};
  if (::fstat(opened.fd.get(), &opened.status) != 0) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::Inspect, file.path, errno));
  }
  if (!S_ISREG(opened.status.st_mode)) {
    return std::unexpected(FileSafetyError{file.path, FileSafetyError::NotRegularFile{}});
  }
  return opened;
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
  if (data.size() > limit) {
    return std::unexpected(FileSafetyError{std::string(path), FileSafetyError::TooLarge{limit}});
  }
  return data;
}

[[nodiscard]] std::expected<std::string, FileSafetyError> read_private(const Target& target,
                                                                       std::uint64_t limit,
                                                                       uid_t owner) {
  auto file = open_regular(target);
  if (!file) return std::unexpected(std::move(file.error()));
  // The owner test comes first: a foreign file says so, whatever its mode.
  if (file->status.st_uid != owner) {
    return std::unexpected(FileSafetyError{target.path, FileSafetyError::NotOwned{}});
  }
  if ((file->status.st_mode & 0077) != 0) {
    return std::unexpected(FileSafetyError{
        target.path, FileSafetyError::WrongMode{file->status.st_mode & 07777, 0600}});
  }
  return read_to_limit(file->fd, target.path, limit);
}

[[nodiscard]] std::expected<std::string, FileSafetyError> read_bounded(const Target& target) {
  auto file = open_regular(target);
  if (!file) return std::unexpected(std::move(file.error()));
  return read_to_limit(file->fd, target.path, kBoundedFileLimit);
}

// What a file system without unnamed files answers an O_TMPFILE open with (NFS, most FUSE file
// systems, an older kernel's overlay), or the link that names such a file.
bool unnamed_file_refused(int code) {
  return means_unsupported(code) || code == EISDIR;
}

// Whether the unnamed file can be named through /proc later: where /proc does not show it (not
// mounted, or another table in its place), a named temporary stands in from the start, so that
// naming the file later needs no room that was not taken when it was made.
bool nameable_through_proc(const UniqueFd& fd) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
  struct stat shown {};
  struct stat own {};
  return ::stat(self.c_str(), &shown) == 0 && ::fstat(fd.get(), &own) == 0 &&
         shown.st_dev == own.st_dev && shown.st_ino == own.st_ino;
}

// The named temporary of `name`; messages name `path`, the file it stands in for.
[[nodiscard]] std::expected<UniqueFd, FileSafetyError> create_temporary(int dir_fd,
                                                                        const std::string& name,
                                                                        const std::string& path) {
  const std::string temporary = PendingFile::temporary_path(name);
  UniqueFd fd(retry_on_eintr([&] {
    return ::openat(dir_fd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0600);
  }));
  if (fd.valid()) return fd;
  if (errno == EEXIST) {
    return std::unexpected(
        FileSafetyError{PendingFile::temporary_path(path), FileSafetyError::AlreadyExists{}});
  }
  return std::unexpected(FileSafetyError::cannot(FileOperation::Open, path, errno));
}

}  // namespace

[[nodiscard]] std::expected<std::string, FileSafetyError> read_private_file(std::string_view path,
                                                                            std::uint64_t limit,
                                                                            uid_t owner) {
  return read_private(at_path(path), limit, owner);
}

[[nodiscard]] std::expected<std::string, FileSafetyError> read_private_file_at(
    const DirectoryRef& dir, std::string_view name, std::uint64_t limit, uid_t owner) {
  return read_private(in_directory(dir, name), limit, owner);
}

[[nodiscard]] std::expected<std::string, FileSafetyError> read_bounded_file(std::string_view path) {
  return read_bounded(at_path(path));
}

[[nodiscard]] std::expected<std::string, FileSafetyError> read_bounded_file_at(
    const DirectoryRef& dir, std::string_view relative) {
  return read_bounded(in_directory(dir, relative));
}

[[nodiscard]] std::expected<PendingFile, FileSafetyError> PendingFile::create(
    const DirectoryRef& dir, std::string_view name, std::string_view contents) {
  UniqueFd fd(retry_on_eintr(
      [&] { return ::openat(dir.fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600); }));
  const std::string path = join_path(dir.path, name);
  if (!fd.valid() && !unnamed_file_refused(errno))
    return std::unexpected(FileSafetyError::cannot(FileOperation::Open, path, errno));
  const bool named = !fd.valid() || !nameable_through_proc(fd);
  if (named) {
    auto temporary = create_temporary(dir.fd, std::string(name), path);
    if (!temporary) return std::unexpected(std::move(temporary.error()));
    fd = std::move(*temporary);
  }
  PendingFile file(dir, name, std::move(fd), contents.size(), named);
  // The umask narrows the creation mode (0200 under 0477): the mode is set here, so that its
  // owner can always read the file back.
  if (::fchmod(file.fd_.get(), 0600) != 0) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::Write, path, errno));
  }
  if (auto written = write_all(file.fd_.get(), contents); !written) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::Write, path, written.error()));
  }
  return file;
}

void PendingFile::remove_leftover(const DirectoryRef& dir, std::string_view name) {
  const std::string temporary = temporary_path(name);
  struct stat status {};
  if (::fstatat(dir.fd, temporary.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
    (void)::unlinkat(dir.fd, temporary.c_str(), 0);
  }
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : dir_fd_(other.dir_fd_),
      name_(std::move(other.name_)),
      path_(std::move(other.path_)),
      fd_(std::move(other.fd_)),
      size_(other.size_),
      named_(std::exchange(other.named_, false)) {}

PendingFile::~PendingFile() {
  if (named_) {
    (void)::unlinkat(dir_fd_, temporary_path(name_).c_str(), 0);
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
// room was taken still names the file. It refuses to replace a name that appeared meanwhile;
// where the file system cannot promise that, a plain rename follows (the old file is gone
// already, and the caller's directory is private and locked).
[[nodiscard]] std::expected<void, FileSafetyError> PendingFile::name_temporary() {
  const std::string temporary = temporary_path(name_);
  if (::renameat2(dir_fd_, temporary.c_str(), dir_fd_, name_.c_str(), RENAME_NOREPLACE) != 0 &&
      (!means_unsupported(errno) ||
       ::renameat(dir_fd_, temporary.c_str(), dir_fd_, name_.c_str()) != 0)) {
    if (errno == EEXIST) {
      return std::unexpected(FileSafetyError{path_, FileSafetyError::AlreadyExists{}});
    }
    return std::unexpected(FileSafetyError::cannot(FileOperation::Write, path_, errno));
  }
  named_ = false;
  return {};
}

[[nodiscard]] std::expected<void, FileSafetyError> write_private_file(PendingFile room,
                                                                      std::string_view contents) {
  if (auto rewritten = room.rewrite(contents); !rewritten) return rewritten;
  const int dir_fd = room.dir_fd_;
  const std::string& name = room.name_;
  const std::string& path = room.path_;
  // Whatever else stands there goes, a symbolic link itself and never its target.
  if (::unlinkat(dir_fd, name.c_str(), 0) != 0 && errno != ENOENT) {
    if (errno == EISDIR) {
      return std::unexpected(FileSafetyError{path, FileSafetyError::NotRegularFile{}});
    }
    return std::unexpected(FileSafetyError::cannot(FileOperation::Remove, path, errno));
  }
  if (room.named_) return room.name_temporary();
  // Through /proc, which showed the file when its room was taken. A name that appeared since the
  // unlink fails with EEXIST instead of being replaced.
  const std::string self = "/proc/self/fd/" + std::to_string(room.fd_.get());
  if (::linkat(AT_FDCWD, self.c_str(), dir_fd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return {};
  if (errno == EEXIST) {
    return std::unexpected(FileSafetyError{path, FileSafetyError::AlreadyExists{}});
  }
  if (errno != ENOENT && errno != EPERM && !unnamed_file_refused(errno)) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::Write, path, errno));
  }
  // A file system that makes unnamed files but will not link them: the contents go to a named
  // one after all, whose room was not taken beforehand (a full file system fails now).
  auto temporary = create_temporary(dir_fd, name, path);
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

[[nodiscard]] std::expected<void, FileSafetyError> remove_file_at(const DirectoryRef& dir,
                                                                  std::string_view name) {
  const Target file = in_directory(dir, name);
  if (has_nul_byte(file.name)) {
    return std::unexpected(FileSafetyError::nul_in(FileOperation::Remove, file.path));
  }
  if (::unlinkat(file.dir_fd, file.name.c_str(), 0) != 0 && errno != ENOENT) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::Remove, file.path, errno));
  }
  return {};
}

[[nodiscard]] std::expected<void, FileSafetyError> check_bridge_script(std::string_view path) {
  // Nobody else may be able to change the directories on the way either, or they could put
  // another file in its place between this check and the interpreter's own open.
  const uid_t user = ::geteuid();
  auto walked = walk_safe_directories(path, user);
  if (!walked) return std::unexpected(std::move(walked.error()));
  auto file = open_regular({walked->directory.get(), walked->name, std::string(path)});
  if (!file) return std::unexpected(std::move(file.error()));
  const uid_t owner = file->status.st_uid;
  if (owner != user && owner != 0) {
    return std::unexpected(FileSafetyError{std::string(path), FileSafetyError::NotOwned{}});
  }
  if ((file->status.st_mode & 0022) != 0) {
    return std::unexpected(FileSafetyError{
        std::string(path), FileSafetyError::WritableByOthers{file->status.st_mode & 07777}});
  }
  return {};
}

}  // namespace qs
