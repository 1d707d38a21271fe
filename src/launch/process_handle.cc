#include "launch/process_handle.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

// glibc 2.36's <sys/pidfd.h> declares these without C linkage; declared here as glibc defines
// them.
extern "C" int pidfd_open(pid_t pid, unsigned int flags) noexcept;
extern "C" int pidfd_send_signal(int pidfd, int signal, siginfo_t* info,
                                 unsigned int flags) noexcept;

namespace qs {
namespace {

int send_through(int fd, int signal) {
  return ::pidfd_send_signal(fd, signal, nullptr, 0);
}

}  // namespace

[[nodiscard]] std::expected<std::optional<ProcessHandle>, SystemError> ProcessHandle::open(
    pid_t pid) {
  UniqueFd fd(::pidfd_open(pid, 0));  // close-on-exec by definition
  if (fd.valid()) return ProcessHandle(pid, std::move(fd));
  switch (errno) {
    case ESRCH:
    case ENOENT:  // the id is a thread's, not a process's (EINVAL before Linux 6.9)
    case EINVAL:
      return std::nullopt;
    case ENOSYS:  // no process descriptors, or a sandbox that refuses them
    case EPERM:
    case EACCES:
      return ProcessHandle(pid, UniqueFd());
    default:
      return std::unexpected(SystemError::from_errno(errno));
  }
}

[[nodiscard]] std::expected<bool, SystemError> ProcessHandle::exists() const {
  const int sent = fd_.valid() ? send_through(fd_.get(), 0) : ::kill(pid_, 0);
  if (sent == 0 || errno == EPERM) return true;
  if (errno == ESRCH) return false;
  return std::unexpected(SystemError::from_errno(errno));
}

[[nodiscard]] std::expected<void, SystemError> ProcessHandle::send(int signal) const {
  const int sent = fd_.valid() ? send_through(fd_.get(), signal) : ::kill(pid_, signal);
  if (sent != 0) return std::unexpected(SystemError::from_errno(errno));
  return {};
}

}  // namespace qs
