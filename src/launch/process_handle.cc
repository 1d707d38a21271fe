#include "launch/process_handle.h"

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace qs {
namespace {

// Through syscall(): glibc 2.36's <sys/pidfd.h> declares its wrappers without C linkage.
int pidfd_open(pid_t pid) {
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0U));
}

int pidfd_send_signal(int fd, int signal) {
  return static_cast<int>(::syscall(SYS_pidfd_send_signal, fd, signal, nullptr, 0U));
}

}  // namespace

[[nodiscard]] std::expected<std::optional<ProcessHandle>, SystemError> ProcessHandle::open(
    pid_t pid) {
  UniqueFd fd(pidfd_open(pid));  // close-on-exec by definition
  if (fd.valid()) return ProcessHandle(pid, std::move(fd));
  if (errno == ESRCH) return std::nullopt;
  if (errno == ENOSYS) return ProcessHandle(pid, UniqueFd());
  return std::unexpected(SystemError::from_errno(errno));
}

[[nodiscard]] std::expected<bool, SystemError> ProcessHandle::exists() const {
  const int sent = fd_.valid() ? pidfd_send_signal(fd_.get(), 0) : ::kill(pid_, 0);
  if (sent == 0 || errno == EPERM) return true;
  if (errno == ESRCH) return false;
  return std::unexpected(SystemError::from_errno(errno));
}

[[nodiscard]] std::expected<void, SystemError> ProcessHandle::send(int signal) const {
  const int sent = fd_.valid() ? pidfd_send_signal(fd_.get(), signal) : ::kill(pid_, signal);
  if (sent != 0) return std::unexpected(SystemError::from_errno(errno));
  return {};
}

}  // namespace qs
