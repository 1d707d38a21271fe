#include "launch/port_check.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

#include "base/unique_fd.h"

namespace qs {

[[nodiscard]] std::expected<bool, SystemError> loopback_port_taken(std::uint16_t port) {
  const UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return std::unexpected(SystemError::from_errno(errno));
  // Without it, the TIME_WAIT connections of a bridge that just ended would read as a listener.
  const int on = 1;
  if (::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
    return std::unexpected(SystemError::from_errno(errno));
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    return false;
  }
  if (errno == EADDRINUSE) return true;
  return std::unexpected(SystemError::from_errno(errno));
}

}  // namespace qs
