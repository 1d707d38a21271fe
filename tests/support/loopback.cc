#include "support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace qs::test {

std::pair<int, std::uint16_t> listen_on(const char* address, std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a{.sin_family = AF_INET, .sin_port = htons(port)};
  ::inet_pton(AF_INET, address, &a.sin_addr);
  EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << address;
  EXPECT_EQ(::listen(fd, 1), 0);
  socklen_t length = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  return {fd, ntohs(a.sin_port)};
}

}  // namespace qs::test
