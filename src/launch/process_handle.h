#pragma once

#include <sys/types.h>

#include <expected>
#include <optional>

#include "base/system_error.h"
#include "base/unique_fd.h"

namespace qs {

// One process, held by a process descriptor: a check made on its id and a signal sent after it
// reach the same process, even if the process ends and its id is reused in between. Where the
// kernel has no process descriptors, the id alone stands in for it, as kill() would use it.
class ProcessHandle {
 public:
  // Nothing when no process has that id; `pid` must be positive.
  [[nodiscard]] static std::expected<std::optional<ProcessHandle>, SystemError> open(pid_t pid);

  // Whether the process still exists (a zombie does; so does another user's process).
  [[nodiscard]] std::expected<bool, SystemError> exists() const;

  [[nodiscard]] std::expected<void, SystemError> send(int signal) const;

 private:
  ProcessHandle(pid_t pid, UniqueFd fd) : pid_(pid), fd_(std::move(fd)) {}
  int signal(int signal) const;  // 0 or -1 with errno, as kill()

  pid_t pid_;
  UniqueFd fd_;  // not valid without process descriptors
};

}  // namespace qs
