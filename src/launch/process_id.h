#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace qs {

// One or more ASCII digits, optionally after one '+', at most 4294967295: the names of process
// entries under /proc and the numbers of the launch record.
std::optional<std::uint32_t> parse_process_id(std::string_view text);

}  // namespace qs
