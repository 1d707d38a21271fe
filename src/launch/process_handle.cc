#include "launch/process_handle.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "base/errno_class.h"

// glibc 2.36's <sys/pidfd.h> declares these without C linkage; declared here as glibc defines
// them.
extern "C" int pidfd_open(pid_t pid, unsigned int flags) noexcept;
extern "C" int pidfd_send_signal(int pidfd, int signal, siginfo_t* info,
                                 unsigned int flags) noexcept;

namespace qs {

// Through the descriptor; by id where the descriptor was refused, or where signals through
// descriptors are not supported although descriptors are (valgrind 3.24 knows pidfd_open but
// not pidfd_send_signal).
int ProcessHandle::signal(int signal) const {
  if (fd_.valid()) {
    const int sent = ::pidfd_send_signal(fd_.get(), signal, nullptr, 0);
    if (sent == 0 || errno != ENOSYS) return sent;
  }
  return ::kill(pid_, signal);
}

[[nodiscard]] std::expected<std::optional<ProcessHandle>, SystemError> ProcessHandle::open(
    pid_t pid) {
  UniqueFd fd(::pidfd_open(pid, 0));  // close-on-exec by definition
  if (fd.valid()) return ProcessHandle(pid, std::move(fd));
  // ENOENT: the id is a thread's, not a process's (EINVAL before Linux 6.9).
  if (means_gone(errno) || errno == EINVAL) return std::nullopt;
  // No process descriptors, or a sandbox that refuses them.
  if (errno == ENOSYS || means_refused(errno)) return ProcessHandle(pid, UniqueFd());
  return std::unexpected(SystemError::from_errno(errno));
}

[[nodiscard]] std::expected<bool, SystemError> ProcessHandle::exists() const {
  if (signal(0) == 0 || errno == EPERM) return true;
  if (errno == ESRCH) return false;
  return std::unexpected(SystemError::from_errno(errno));
}

[[nodiscard]] std::expected<void, SystemError> ProcessHandle::send(int signal) const {
  if (this->signal(signal) != 0) return std::unexpected(SystemError::from_errno(errno));
  return {};
}

}  // namespace qs
