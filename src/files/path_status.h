#pragma once

#include <sys/stat.h>

#include <expected>
#include <string_view>

#include "files/file_safety_error.h"

namespace qs {

// The status of a path itself, not of a link's target ("inspect" on failure). A path with a
// NUL byte is refused up front, since the system call would see a shorter path.
[[nodiscard]] std::expected<struct stat, FileSafetyError> status_of_path(std::string_view path);

}  // namespace qs
