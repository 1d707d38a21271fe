#include "files/directory_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <time.h>

#include <string>

#include "base/eintr.h"
#include "base/path.h"

namespace qs {

[[nodiscard]] std::expected<std::optional<DirectoryLock>, FileSafetyError> DirectoryLock::acquire(
    std::string_view path, std::chrono::milliseconds patience) {
  if (has_nul_byte(path))
    return std::unexpected(FileSafetyError::nul_in(FileOperation::Open, path));
  const std::string c_path(path);
  UniqueFd fd(retry_on_eintr(
      [&] { return ::open(c_path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }));
  if (!fd.valid()) {
    if (errno == ENOTDIR) {
      return std::unexpected(
          FileSafetyError{std::string(path), FileSafetyError::NotPlainDirectory{}});
    }
    return std::unexpected(FileSafetyError::of_failed_open(path, errno));
  }
  // Polled with a growing pause, as git waits for its lock files: a blocking flock could not
  // give up at a deadline without a timer signal of its own.
  const auto deadline = std::chrono::steady_clock::now() + patience;
  auto pause = std::chrono::microseconds(500);
  for (;;) {
    if (retry_on_eintr([&] { return ::flock(fd.get(), LOCK_EX | LOCK_NB); }) == 0) {
      return DirectoryLock(std::move(fd));
    }
    if (errno != EWOULDBLOCK) {
      return std::unexpected(FileSafetyError::cannot(FileOperation::Open, path, errno));
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    const timespec nap{0, std::chrono::nanoseconds(pause).count()};
    (void)::nanosleep(&nap, nullptr);  // an interrupted pause is only a shorter one
    pause = std::min(pause * 2, std::chrono::microseconds(50000));
  }
}

}  // namespace qs
