#pragma once

#include <chrono>
#include <expected>
#include <optional>
#include <string_view>

#include "base/unique_fd.h"
#include "files/file_safety_error.h"

namespace qs {

// An exclusive lock on a directory that already exists, so that taking it stores nothing. The
// kernel drops it when the descriptor closes, and so when its holder ends however it ends: a
// killed process never leaves a stale lock behind.
class DirectoryLock {
 public:
  // Opens `path` (not through a final symbolic link) and locks it, waiting up to `patience` for
  // another holder to let go; nothing when that holder kept it all that time.
  [[nodiscard]] static std::expected<std::optional<DirectoryLock>, FileSafetyError> acquire(
      std::string_view path, std::chrono::milliseconds patience);

  int fd() const { return fd_.get(); }

 private:
  explicit DirectoryLock(UniqueFd fd) : fd_(std::move(fd)) {}

  UniqueFd fd_;
};

}  // namespace qs
