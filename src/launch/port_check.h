#pragma once

#include <cstdint>
#include <expected>

#include "base/system_error.h"

namespace qs {

// Whether a program listens on 127.0.0.1 at `port`, found by binding a socket there and closing
// it at once. Connections of an earlier listener that are still closing do not count.
[[nodiscard]] std::expected<bool, SystemError> loopback_port_taken(std::uint16_t port);

}  // namespace qs
