#pragma once

#include <cstdint>
#include <utility>

namespace qs::test {

// A socket listening at `address` (IPv4) and `port` (0: one the kernel picks), with
// SO_REUSEADDR as servers set it; the descriptor and the port it got.
std::pair<int, std::uint16_t> listen_on(const char* address, std::uint16_t port);

}  // namespace qs::test
